// Job building: the picture fitted into the target size, the records of a row's file, the output
// names on disk and within a batch.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model_test_support.h"

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

TEST_F(JobBuildingTest, RecordsOfARowFromItsOwnFile) {
  const std::string first = tmp / "First.avi";
  std::filesystem::copy_file(SmallClip(), first);
  model->AddFiles({first, SmallClip()});
  model->sListView1Change(1);  // the preview holds the other file
  model->sPageControl2.ActivePageIndex = spPreset;
  model->sComboBoxEx1.ItemIndex = 1;
  model->sComboBoxEx2.ItemIndex = 0;
  model->sLabelFX8.Caption = "音频编码：MP3";
  model->sCheckBox2.Checked = true;
  model->sEdit5.Text = "11";
  model->sEdit6.Text = "x";

  const TInputOptions in = model->BuildInputOptions(0);
  EXPECT_EQ(in.FileName, first);
  EXPECT_EQ(in.StartTime, -1);  // no clip marked

  const TOutputOptions out = model->BuildOutputOptions(0);
  EXPECT_EQ(out.FileName, Output("First_(new).mp4"));
  EXPECT_EQ(out.FileExt, ".mp4");
  EXPECT_EQ(out.VideoCodec, "mpeg4");
  EXPECT_EQ(out.AudioCodec, "libmp3lame");
  EXPECT_EQ(out.FrameSize, "320X180");  // 160 X 90 into 320x240
  EXPECT_EQ(out.PadTop, 30);
  EXPECT_EQ(out.PadBottom, 30);
  EXPECT_EQ(out.PadLeft, -1);
  EXPECT_EQ(out.FrameRate, "18");
  EXPECT_EQ(out.CropTop, 10);
  EXPECT_EQ(out.CropBottom, 0);
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
  model->sPageControl2.ActivePageIndex = spPreset;
  model->sComboBoxEx1.ItemIndex = 1;
  model->sComboBoxEx2.ItemIndex = 0;
  for (int row = 0; row < 2; ++row) {
    TOutputOptions out = model->BuildOutputOptions(row);
    TInputOptions in = model->BuildInputOptions(row);
    EXPECT_EQ(model->AddConversionTask(in, out), row) << model->Transcoder1.LastError();
  }
  EXPECT_EQ(model->Transcoder1.Tasks().Items(0).OutputOptions.FileName, Output("clip_(new_1).mp4"));
  EXPECT_EQ(model->Transcoder1.Tasks().Items(1).OutputOptions.FileName, Output("clip_(new_2).mp4"));
  model->Transcoder1.ClearTasks();
  std::ifstream earlier(Output("clip_(new).mp4"));
  std::string text;
  earlier >> text;
  EXPECT_EQ(text, "earlier");
}

}  // namespace
}  // namespace ok::test
