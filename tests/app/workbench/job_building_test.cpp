// Job building: the picture fitted into the target size, the records of a row's file, the output
// names on disk and within a batch.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model_test_support.h"
#include "platform/file_utils.h"

namespace ok::test {
namespace {

class JobBuildingTest : public ModelTest {};

TEST_F(JobBuildingTest, FitFrameSizeKeepsTheProportionsWithEvenPads) {
  struct TCase {
    int Width, Height;  // as displayed
    const char *Target, *Pad, *Fitted;
    bool Vertically;
  };
  for (const TCase& c :
       {TCase{1280, 720, "320x240", "30", "320X180", true},
        TCase{640, 480, "480x272", "59", "364X272", false}, TCase{640, 480, "320x240", "1", "320X240", false},
        TCase{640, 360, "220x176", "26", "220X124", true}, TCase{176, 144, "176x144", "0", "176X144", false},
        // Unknown sizes are not fitted: the whole target, no pads.
        TCase{0, 0, "320x240", "0", "320X240", true}, TCase{640, 0, "320x240", "0", "320X240", true}}) {
    model->Sources.resize(2);
    model->Sources[0].DisplayWidth = model->Sources[0].DisplayHeight = 100;
    model->Sources[1].DisplayWidth = c.Width;
    model->Sources[1].DisplayHeight = c.Height;
    SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height) + " into " + c.Target);
    EXPECT_EQ(model->FitFrameSize(1, c.Target), c.Pad);
    EXPECT_EQ(model->FittedSize, c.Fitted);
    EXPECT_EQ(model->PadVertically, c.Vertically);
  }
  EXPECT_THROW(model->FitFrameSize(1, ""), std::runtime_error);  // no target size to fit into
}

// Luma of the first picture at (x, y).
int LumaAt(const std::string& file, int x, int y) {
  const CommandResult r =
      RunCommand("ffmpeg -v error -i " + ShellQuote(file) + " -vf format=gray,crop=1:1:" + std::to_string(x) +
                 ":" + std::to_string(y) + " -frames:v 1 -f rawvideo -");
  return r.output.size() == 1 ? uint8_t(r.output[0]) : -1;
}

// Grey pictures with a white block in the stored top-left corner, so that a probe finds where the
// corner went: fitted (pads black), scaled to the display aspect, turned upright.
TEST_F(JobBuildingTest, PicturesAreFittedUprightAtTheirDisplayShapeWithSquarePixels) {
  const std::string square = Fixture("fit_square.mp4",
                                     "-f lavfi -i color=c=gray:s=320x180:r=25:d=1 "
                                     "-vf drawbox=w=80:h=45:c=white:t=fill -c:v mpeg4 -q:v 2");
  const std::string wide = Fixture("fit_wide.mp4",
                                   "-f lavfi -i color=c=gray:s=720x480:r=25:d=1 "
                                   "-vf drawbox=w=180:h=120:c=white:t=fill,setsar=32/27 -c:v mpeg4 -q:v 2");
  // The tag is written as a display matrix on a stream copy; it turns the picture counterclockwise.
  auto turned = [&](int clockwise) {
    return Fixture(
        "fit_turn" + std::to_string(clockwise) + ".mp4",
        "-i " + ShellQuote(square) + " -c copy -metadata:s:v:0 rotate=" + std::to_string(360 - clockwise));
  };
  struct TCase {
    std::string Source;
    const char *Width, *Height;  // the custom page's frame size
    int X, Y;
    bool White;  // the probe finds the block, else a pad
  };
  const TCase cases[] = {
      {square, "320", "240", 40, 52, true},        {square, "640", "360", 80, 45, true},
      {wide, "640", "360", 20, 45, true},  // taken as 3:2 it would have pads up to x 50
      {wide, "320", "240", 160, 22, false},        {turned(90), "640", "360", 396, 45, true},
      {turned(90), "180", "320", 158, 40, true},   {turned(180), "320", "240", 280, 188, true},
      {turned(180), "640", "360", 560, 315, true}, {turned(270), "640", "360", 243, 315, true},
      {turned(270), "180", "320", 22, 280, true},
  };
  model->settingsPages.ActivePageIndex = spCustom;
  model->OnApplyCustomClicked();
  model->SelectCustomType(2);  // AVI, MPEG-4 Part 2
  model->customBitrateEdit.Text = "2000000";
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source + " into " + c.Width + "x" + c.Height);
    model->OnClearClicked();
    model->AddFiles({c.Source});
    model->customWidthEdit.Text = c.Width;
    model->customHeightEdit.Text = c.Height;
    view.Messages.clear();
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
    const std::string name = ExtractFileName(c.Source);
    const std::string out = Output(name.substr(0, name.size() - 4) + "_(new).avi");
    EXPECT_EQ(ProbeValue(out, "stream=width,height,sample_aspect_ratio", "v:0"),
              std::string(c.Width) + "\n" + c.Height + "\n1:1");
    const int luma = LumaAt(out, c.X, c.Y);
    EXPECT_TRUE(c.White ? luma > 200 : luma >= 0 && luma < 40) << "luma " << luma;
    std::filesystem::remove(out);  // the next case of the same source gets the same name
  }
}

// The typed frame is the output's: custom pads take room inside it, zeros change nothing, and a
// crop or pad that leaves no picture is refused.
TEST_F(JobBuildingTest, CustomPadsStayInsideTheTypedFrame) {
  model->AddFiles({SmallClip()});  // 160 x 90
  model->settingsPages.ActivePageIndex = spCustom;
  model->OnApplyCustomClicked();
  model->SelectCustomType(2);
  model->customWidthEdit.Text = "640";
  model->customHeightEdit.Text = "360";
  struct TCase {
    bool Crop;
    const char* Values;  // top, bottom, left, right
    const char* FrameSize;
    int Top, Bottom, Left, Right;  // the output's pads; -1: none asked
    const char* Refusal;
  } cases[] = {
      {false, "0,0,0,0", "640X360", -1, -1, 0, 0, nullptr},  // as with no pads at all
      {false, "90,90,0,0", "320X180", 90, 90, 160, 160, nullptr},
      {false, "180,180,0,0", "", 0, 0, 0, 0, "填充后没有剩下画面"},
      {true, "0,0,0,0", "640X360", -1, -1, 0, 0, nullptr},
      {true, "0,90,0,0", "", 0, 0, 0, 0, "裁剪后没有剩下画面"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Crop ? "crop " : "pad ") + c.Values);
    model->cropCheckBox.Checked = c.Crop;
    model->padCheckBox.Checked = !c.Crop;
    TEditState* edits[] = {c.Crop ? &model->cropTopEdit : &model->padTopEdit,
                           c.Crop ? &model->cropBottomEdit : &model->padBottomEdit,
                           c.Crop ? &model->cropLeftEdit : &model->padLeftEdit,
                           c.Crop ? &model->cropRightEdit : &model->padRightEdit};
    std::string values = c.Values;
    for (TEditState* edit : edits) {
      edit->Text = values.substr(0, values.find(','));
      values.erase(0, values.find(',') == std::string::npos ? values.size() : values.find(',') + 1);
    }
    if (c.Refusal) {
      try {
        model->BuildOutputOptions(0);
        ADD_FAILURE() << "not refused";
      } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), c.Refusal);
      }
      continue;
    }
    const TOutputOptions out = model->BuildOutputOptions(0);
    EXPECT_EQ(out.FrameSize, c.FrameSize);
    EXPECT_EQ(std::vector<int>({out.PadTop, out.PadBottom, out.PadLeft, out.PadRight}),
              std::vector<int>({c.Top, c.Bottom, c.Left, c.Right}));
  }
}

TEST_F(JobBuildingTest, RecordsOfARowFromItsOwnFile) {
  const std::string first = tmp / "First.avi";
  std::filesystem::copy_file(SmallClip(), first);
  model->AddFiles({first, SmallClip()});
  model->OnSourceSelected(1);  // the preview holds the other file
  model->settingsPages.ActivePageIndex = spPreset;
  model->fileTypeBox.ItemIndex = 1;
  model->presetBox.ItemIndex = 0;
  model->audioCodecLabel.Caption = "音频编码：MP3";
  model->cropCheckBox.Checked = true;
  model->cropTopEdit.Text = "11";
  model->cropBottomEdit.Text = "x";

  const TInputOptions in = model->BuildInputOptions(0);
  EXPECT_EQ(in.FileName, first);
  EXPECT_EQ(in.StartTime, -1);  // no clip marked

  const TOutputOptions out = model->BuildOutputOptions(0);
  EXPECT_EQ(out.FileName, Output("First_(new).mp4"));
  EXPECT_EQ(out.FileExt, ".mp4");
  EXPECT_EQ(out.VideoCodec, "mpeg4");
  EXPECT_EQ(out.AudioCodec, "libmp3lame");
  // 160 X 80 (after the crop) fitted into 320x240 is 320x160; the engine takes the crop off.
  EXPECT_EQ(out.FrameSize, "320X170");
  EXPECT_EQ(out.PadTop, 40);
  EXPECT_EQ(out.PadBottom, 40);
  EXPECT_EQ(out.PadLeft, -1);
  EXPECT_EQ(out.FrameRate, "18");
  EXPECT_EQ(out.CropTop, 10);
  EXPECT_EQ(out.CropBottom, 0);
  EXPECT_EQ(out.FrameAspectRatio, "320:240");  // square pixels: the crop is no part of the frame
  EXPECT_EQ(out.RecordingTime, -1);
  EXPECT_EQ(out.Metadata.TimeStamp, 0);
  EXPECT_TRUE(out.DisableSubtitle);
  EXPECT_FALSE(out.CustomHook);
  EXPECT_EQ(out.ExtraOptions, "threads=0");
  model->CodecThreads = 2;
  EXPECT_EQ(model->BuildOutputOptions(0).ExtraOptions, "threads=2");
}

TEST_F(JobBuildingTest, EarlierOutputsAndTheBatchKeepTheirNames) {
  std::filesystem::create_directories(tmp / "out");
  std::filesystem::create_directories(tmp / "a");
  std::filesystem::create_directories(tmp / "b");
  std::ofstream(Output("clip_(new).mp4")) << "earlier";
  std::filesystem::copy_file(SmallClip(), tmp / "a/clip.avi");
  std::filesystem::copy_file(SmallClip(), tmp / "b/clip.avi");
  model->AddFiles({tmp / "a/clip.avi", tmp / "b/clip.avi"});
  model->settingsPages.ActivePageIndex = spPreset;
  model->fileTypeBox.ItemIndex = 1;
  model->presetBox.ItemIndex = 0;
  for (int row = 0; row < 2; ++row) {
    TOutputOptions out = model->BuildOutputOptions(row);
    TInputOptions in = model->BuildInputOptions(row);
    EXPECT_EQ(model->AddConversionTask(in, out), row) << model->Transcoder.LastError();
  }
  EXPECT_EQ(model->Transcoder.Tasks().Items(0).OutputOptions.FileName, Output("clip_(new_1).mp4"));
  EXPECT_EQ(model->Transcoder.Tasks().Items(1).OutputOptions.FileName, Output("clip_(new_2).mp4"));
  model->Transcoder.ClearTasks();
  std::ifstream earlier(Output("clip_(new).mp4"));
  std::string text;
  earlier >> text;
  EXPECT_EQ(text, "earlier");
}

}  // namespace
}  // namespace ok::test
