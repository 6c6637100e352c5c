// The preview pane: time texts, the track bar's numbers, the fitted drawing into the 220 x 145
// image, the marks and the clip they give.

#include <gtest/gtest.h>

#include "app/workbench/preview_drawing.h"
#include "model_test_support.h"

namespace ok::test {
namespace {

TEST(PreviewTextTest, DurationAndPositionTexts) {
  EXPECT_EQ(FormatDuration(90061500), " 01:01:01");  // the day dropped, the half second cut
  EXPECT_EQ(FormatDuration(0), " 00:00:00");
  EXPECT_EQ(FormatDuration(59999), " 00:00:59");
  EXPECT_EQ(FormatPosition(5432100), "5.432");
  EXPECT_EQ(FormatPosition(0), "0.000");
  EXPECT_EQ(FormatPosition(7200000000), "7200.000");
}

TEST(PreviewTrackBarTest, NumbersFollowTheDuration) {
  struct TCase {
    int64_t Duration, Scale;
    int Max, LineSize, Frequency;
  };
  for (const TCase& c : {TCase{7200000000, 1000000, 7200, 100, 360}, TCase{90000000, 10000, 9000, 100, 450},
                         TCase{3000000, 100, 30000, 1000, 1500}, TCase{327670, 10, 32767, 1000, 1638},
                         TCase{327680, 100, 3276, 100, 163}, TCase{-1, 10, 0, 1, 0}}) {
    TTrackBarState track;
    track.Position = 5;
    EXPECT_EQ(LayOutTrackBar(track, c.Duration), c.Scale) << c.Duration;
    EXPECT_EQ(track.Max, c.Max) << c.Duration;
    EXPECT_EQ(track.LineSize, c.LineSize) << c.Duration;
    EXPECT_EQ(track.PageSize, 5 * c.LineSize) << c.Duration;
    EXPECT_EQ(track.Frequency, c.Frequency) << c.Duration;
    EXPECT_EQ(track.Min, 0);
    EXPECT_EQ(track.Position, 0);
  }
}

TEST(PreviewDrawingTest, FittedRectangles) {
  const TPixelRect pane{0, 0, 220, 145};
  EXPECT_EQ(FittedRect(320, 180, pane), (TPixelRect{0, 11, 220, 134}));  // 10.625 rounds to 11
  EXPECT_EQ(FittedRect(640, 480, pane), (TPixelRect{13, 0, 207, 145}));
  EXPECT_EQ(FittedRect(440, 290, pane), pane);
  EXPECT_EQ(FittedRect(0, 480, pane), TPixelRect{});
}

class PreviewModelTest : public ModelTest {};

std::string Pixel(const TBitmap& bitmap, int x, int y) {
  const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  return std::to_string(p[2]) + "," + std::to_string(p[1]) + "," + std::to_string(p[0]);  // r,g,b
}

bool Reddish(const TBitmap& bitmap, int x, int y) {
  const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  return p[2] > 200 && p[1] < 60 && p[0] < 60;
}

TEST_F(PreviewModelTest, WideFrameIsLetterboxedAndMarksGiveTheClip) {
  const std::string wide =
      Fixture("wb_red_16x9.mkv", "-f lavfi -i color=c=red:size=320x180:rate=25:duration=1 -c:v mpeg4 -q:v 2");
  model->AddFiles({wide});
  ASSERT_EQ(model->sourceList.Rows.size(), 1u) << testing::PrintToString(view.MessageTexts());
  const TBitmap& image = model->previewImage;
  ASSERT_EQ(image.Width(), 220);
  ASSERT_EQ(image.Height(), 145);
  for (int y : {0, 10, 134, 144}) EXPECT_EQ(Pixel(image, 110, y), "166,202,240") << y;
  for (int y : {11, 72, 133}) EXPECT_TRUE(Reddish(image, 110, y)) << y << ": " << Pixel(image, 110, y);
  EXPECT_EQ(model->previewFrame.Width(), 320);
  EXPECT_EQ(model->previewTimeScale, 100);
  EXPECT_EQ(model->previewTrackBar.Max, 10000);
  EXPECT_EQ(model->previewTimeLabel.Caption, "PTS: 0.000");

  model->OnPreviewTrackBarChanged(model->previewTrackBar.Max);
  EXPECT_EQ(model->previewTimeLabel.Caption, "PTS: 1.000");

  model->OnPreviewTrackBarChanged(6000);
  model->OnMarkEndClicked();
  EXPECT_EQ(model->clipEndEdit.Text, "0.600");
  EXPECT_TRUE(model->clipCheckBox.Enabled);  // an end alone, the start at 0
  model->OnPreviewTrackBarChanged(2000);
  model->OnMarkStartClicked();
  EXPECT_EQ(model->clipStartEdit.Text, "0.200");
  EXPECT_TRUE(model->clipCheckBox.Enabled);
  EXPECT_EQ(model->GetClipStartMs(0), 200);
  EXPECT_EQ(model->GetClipDurationMs(0), 400);

  model->OnPreviewTrackBarChanged(7000);
  model->OnMarkStartClicked();
  EXPECT_FALSE(model->clipCheckBox.Enabled);  // the start past the end
  EXPECT_EQ(model->GetClipStartMs(0), 700);
  EXPECT_EQ(model->GetClipDurationMs(0), 300);  // to the end of the file
}

TEST_F(PreviewModelTest, StillImageHidesTheSliderAndShowsThePicture) {
  const std::string still = Fixture("wb_still.png", "-f lavfi -i color=c=red:size=160x120 -frames:v 1");
  model->AddFiles({still});
  ASSERT_EQ(model->sourceList.Rows.size(), 1u) << testing::PrintToString(view.MessageTexts());
  EXPECT_FALSE(model->previewTrackBar.SliderVisible);
  EXPECT_EQ(model->previewTrackBar.Max, 0);
  EXPECT_TRUE(Reddish(model->previewImage, 110, 72)) << Pixel(model->previewImage, 110, 72);
}

}  // namespace
}  // namespace ok::test
