// Run control through the model with the real component: batches converted end to end and checked
// with ffprobe, the checks before a start, stop, a failing task, the clip and the power-off.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "model_test_support.h"

namespace ok::test {
namespace {

class RunControlTest : public ModelTest {
 protected:
  // MP4 preset 0 of the preset page: 320x240, mpeg4, 18 fps.
  void ChooseMp4Preset() {
    model->sPageControl2.ActivePageIndex = spPreset;
    model->sComboBoxEx1.ItemIndex = 1;
    model->sComboBoxEx2.ItemIndex = 0;
    model->sLabelFX8.Caption = "音频编码：AAC";
  }
  bool Idle() const {
    return model->btnStart.Enabled && !model->btnPause.Enabled && !model->btnResume.Enabled &&
           !model->btnStop.Enabled && model->sSpeedButton1.Enabled && model->sSpeedButton2.Enabled &&
           model->sSpeedButton3.Enabled && !model->Running();
  }
};

TEST_F(RunControlTest, PresetBatchOfThreeSamplesConvertsEveryRow) {
  OK_SAMPLE(avi, "sample.avi");
  const std::string mkv = SamplesDir() + "/sample.mkv", mp4 = SamplesDir() + "/sample.mp4";
  const std::string copy = tmp / "Sample.mp4";  // the source name keeps its letter case
  std::filesystem::copy_file(mp4, copy);
  model->AddFiles({avi, mkv, copy});
  ASSERT_EQ(model->Sources.size(), 3u);
  ChooseMp4Preset();
  model->sComboEdit1.Text = tmp / "out/typed/deeper";  // created with its parents at Start
  model->btnStartClick();
  EXPECT_FALSE(model->btnStart.Enabled);
  EXPECT_TRUE(model->btnPause.Enabled && model->btnStop.Enabled);
  EXPECT_FALSE(model->btnResume.Enabled || model->sSpeedButton2.Enabled);
  ASSERT_EQ(model->Transcoder1.Tasks().Count(), 3);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(model->Transcoder1.Tasks().Items(k).InputOptions.FileName, model->Sources[size_t(k)].Path);
  ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(180)));

  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  EXPECT_EQ(view.Messages.back().Kind, mkInformation);
  EXPECT_TRUE(Idle());
  EXPECT_EQ(model->Transcoder1.Tasks().Count(), 0);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Progress(k), "100%") << k;
  // Two sources called "sample" in one batch get two names; "Sample" is a third.
  for (const char* name : {"sample_(new).mp4", "sample_(new_1).mp4", "Sample_(new).mp4"}) {
    const std::string out = tmp / (std::string("out/typed/deeper/") + name);
    SCOPED_TRACE(name);
    EXPECT_NE(ProbeValue(out, "format=format_name").find("mp4"), std::string::npos);
    EXPECT_EQ(ProbeValue(out, "stream=codec_name,width,height,r_frame_rate", "v:0"), "mpeg4\n320\n240\n18/1");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), "aac");
  }
}

TEST_F(RunControlTest, ChecksBeforeStartStopAtTheFirstFailure) {
  model->btnStartClick();
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"请选择视频！"});

  model->AddFiles({SmallClip()});
  model->sPageControl2.ActivePageIndex = spCustom;
  model->sComboBoxEx5.Items = {{"3GP", 0}};
  model->sSpeedButton5Click();
  struct TCase {
    int TypeIndex;
    const char *Width, *Height, *Bitrate, *Rate, *Message;
  };
  for (const TCase& c : {TCase{-1, "220", "176", "38400", "15", "请选择视频要转换的类型！"},
                         TCase{0, " ", "176", "38400", "15", "请输入视频尺寸！"},
                         TCase{0, "220", "", "38400", "15", "请输入视频尺寸！"},
                         TCase{0, "220", "176", "", "15", "请输入视频比特率！"},
                         TCase{0, "220", "176", "38400", "", "请输入视频帧速率！"}}) {
    view.Messages.clear();
    model->sComboBoxEx5.ItemIndex = c.TypeIndex;
    model->sEdit1.Text = c.Width;
    model->sEdit2.Text = c.Height;
    model->sEdit3.Text = c.Bitrate;
    model->sEdit4.Text = c.Rate;
    model->btnStartClick();
    ASSERT_EQ(view.Messages.size(), 1u);
    EXPECT_EQ(view.Messages[0].Text, c.Message);
    EXPECT_EQ(view.Messages[0].Kind, mkError);
    EXPECT_TRUE(Idle());
  }

  ChooseMp4Preset();
  view.Messages.clear();
  std::ofstream(tmp / "plain") << "x";
  model->sComboEdit1.Text = tmp / "plain/out";
  model->btnStartClick();
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"未能创建 " + tmp / "plain/out" + " 目录！"});
  EXPECT_TRUE(Idle());
  EXPECT_EQ(model->Transcoder1.Tasks().Count(), 0);
}

TEST_F(RunControlTest, JobThatCannotBeBuiltEndsTheStartBackAtIdle) {
  const std::string gone = tmp / "gone.avi";
  std::filesystem::copy_file(SmallClip(), gone);
  model->AddFiles({SmallClip(), gone});
  std::filesystem::remove(gone);
  ChooseMp4Preset();
  model->btnStartClick();
  ASSERT_EQ(view.Messages.size(), 1u);
  EXPECT_EQ(view.Messages[0].Text.rfind("无法建立 " + gone + " 的转换任务：\n", 0), 0u)
      << view.Messages[0].Text;
  EXPECT_TRUE(Idle());
  EXPECT_EQ(model->Transcoder1.Tasks().Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(Output("small_(new).mp4")));  // nothing left behind
}

TEST_F(RunControlTest, FailedTaskIsNamedAndTheOthersFinish) {
  OK_SAMPLE(broken, "short-cenc.mp4");  // opens, but nothing in it can be decoded
  model->AddFiles({SmallClip(), broken, SamplesDir() + "/sample.mp4"});
  ASSERT_EQ(model->Sources.size(), 3u) << testing::PrintToString(view.MessageTexts());
  ChooseMp4Preset();
  model->sCheckBox1Click(true);
  view.PowerOffAnswer = false;  // the user cancels the countdown
  ASSERT_TRUE(RunBatch());
  ASSERT_EQ(view.Messages.size(), 2u) << testing::PrintToString(view.MessageTexts());
  EXPECT_EQ(view.Messages[0].Kind, mkWarning);
  EXPECT_EQ(view.Messages[0].Text.rfind("转换失败：" + broken + "\n", 0), 0u) << view.Messages[0].Text;
  EXPECT_EQ(view.Messages[1].Text, "转换结束：成功 2 个，失败 1 个，已停止 0 个。");
  EXPECT_EQ(view.Messages[1].Kind, mkWarning);
  EXPECT_EQ(Progress(0), "100%");
  EXPECT_NE(Progress(1), "100%");
  EXPECT_EQ(Progress(2), "100%");
  EXPECT_EQ(view.PowerOffCountdown, 30);
  EXPECT_EQ(shutdown.Requests, 0);
}

TEST_F(RunControlTest, StopInTheMiddleCountsTheStoppedAndStillPowersOff) {
  OK_SAMPLE(longer, "phone.3gp");  // three and a half minutes: still running when stopped
  model->AddFiles({longer, SamplesDir() + "/sample.avi"});
  ChooseMp4Preset();
  model->sCheckBox1Click(true);
  model->btnStartClick();
  ASSERT_TRUE(loop.RunUntil([this] { return !Progress(0).empty(); }, std::chrono::seconds(60)));
  model->btnPauseClick();
  EXPECT_FALSE(model->btnPause.Enabled);
  EXPECT_TRUE(model->btnResume.Enabled);
  model->btnResumeClick();
  EXPECT_TRUE(model->btnPause.Enabled);
  EXPECT_FALSE(model->btnResume.Enabled);
  model->btnStopClick();
  EXPECT_FALSE(model->btnStop.Enabled);
  ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(60)));
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"转换结束：成功 0 个，失败 0 个，已停止 2 个。"});
  EXPECT_NE(Progress(0), "100%");
  EXPECT_TRUE(Idle());
  EXPECT_EQ(shutdown.Requests, 1);
}

TEST_F(RunControlTest, ModelGoneMidBatchLeavesItsPostedEventsHarmless) {
  OK_SAMPLE(longer, "phone.3gp");
  model->AddFiles({longer});
  ChooseMp4Preset();
  model->btnStartClick();
  ASSERT_TRUE(loop.RunUntil([this] { return !Progress(0).empty(); }, std::chrono::seconds(60)));
  // Progress keeps being posted while nothing pumps; then the model goes with the calls queued.
  for (int waited = 0; loop.PendingCount() == 0 && waited < 1000; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GT(loop.PendingCount(), 0u);
  model.reset();
  EXPECT_GT(loop.ProcessPending(), 0);
  EXPECT_EQ(view.OffMainThreadCalls, 0);
}

TEST_F(RunControlTest, ClipFromThePreviewMarks) {
  OK_SAMPLE(mp4, "sample.mp4");  // 4 s: scale 1000, positions in ms
  model->AddFiles({mp4});
  ASSERT_EQ(model->FTimeScale, 1000);
  model->trcPreviewChange(1000);
  model->btnStartTimeClick();
  model->trcPreviewChange(2500);
  model->btnEndTimeClick();
  model->chkCutClip.Checked = true;
  ChooseMp4Preset();
  EXPECT_EQ(model->BuildInputOptions(0).StartTime, 1000);
  EXPECT_EQ(model->BuildOutputOptions(0).RecordingTime, 1500);
  ASSERT_TRUE(RunBatch());
  const std::string out = Output("sample_(new).mp4");
  const double duration = std::stod(ProbeValue(out, "stream=duration", "v:0"));
  EXPECT_NEAR(duration, 1.5, 1.0 / 18 + 0.01);
  const double start = std::stod(ProbeValue(out, "stream=start_time", "v:0"));
  EXPECT_NEAR(start, 0.0, 1.0 / 18 + 0.01);
}

TEST_F(RunControlTest, ProgressTextsOfTheRows) {
  model->sListView1.Rows = {{"a", {".AVI", "1 X 1", " 00:00:01", ""}}};
  struct TCase {
    int Index, Current, Total;
    const char* Text;
  };
  for (const TCase& c : {TCase{0, 4500, 9000, "50%"}, TCase{0, 1, 3, "33%"}, TCase{0, 5, 0, ""},
                         TCase{0, 2147483647, 2147483647, "100%"}, TCase{0, 9100, 9000, "100%"},
                         TCase{1, 10, 10, ""}, TCase{-1, 10, 10, ""}}) {
    model->sListView1.Rows[0].SubItems[3] = "";
    model->Transcoder1Progress(c.Index, c.Current, c.Total);
    EXPECT_EQ(Progress(0), c.Text) << c.Current << "/" << c.Total << " row " << c.Index;
  }
}

}  // namespace
}  // namespace ok::test
