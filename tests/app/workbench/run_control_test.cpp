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
    model->settingsPages.ActivePageIndex = spPreset;
    model->fileTypeBox.ItemIndex = 1;
    model->presetBox.ItemIndex = 0;
    model->audioCodecLabel.Caption = "音频编码：AAC";
  }
  bool Idle() const {
    return model->startButton.Enabled && !model->pauseButton.Enabled && !model->resumeButton.Enabled &&
           !model->stopButton.Enabled && model->addButton.Enabled && model->removeButton.Enabled &&
           model->clearButton.Enabled && !model->Running();
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
  model->outputFolderEdit.Text = tmp / "out/typed/deeper";  // created with its parents at Start
  model->OnStartClicked();
  EXPECT_FALSE(model->startButton.Enabled);
  EXPECT_TRUE(model->pauseButton.Enabled && model->stopButton.Enabled);
  EXPECT_FALSE(model->resumeButton.Enabled || model->removeButton.Enabled);
  ASSERT_EQ(model->Transcoder.Tasks().Count(), 3);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(model->Transcoder.Tasks().Items(k).InputOptions.FileName, model->Sources[size_t(k)].Path);
  ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(180)));

  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  EXPECT_EQ(view.Messages.back().Kind, mkInformation);
  EXPECT_TRUE(Idle());
  EXPECT_EQ(model->Transcoder.Tasks().Count(), 0);
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

// The rows beyond TasksAtOnce wait as records and join the run that goes on as tasks end: a
// whole phase never ends before the next begins (the list's places reach every row), and no
// more than TasksAtOnce tasks are ever set up at once.
TEST_F(RunControlTest, AListLongerThanAPhaseWaitsAsRecordsAndConvertsEveryRow) {
  const std::string clip =
      Fixture("wb_tiny.avi", "-f lavfi -i testsrc=size=32x24:rate=10:duration=0.2 -c:v mpeg4");
  const int rows = model->TasksAtOnce() + 6;
  std::vector<std::string> copies;
  for (int k = 0; k < rows; ++k) {
    copies.push_back(tmp / ("c" + std::to_string(k) + ".avi"));
    std::filesystem::copy_file(clip, copies.back());
  }
  model->AddFiles(copies);
  ASSERT_EQ(int(model->Sources.size()), rows);
  ChooseMp4Preset();
  model->ParallelTasks = 2;
  model->OnStartClicked();
  EXPECT_EQ(model->Transcoder.Tasks().Count(), model->TasksAtOnce()) << "the rest hold no task yet";
  int most = 0, places = 0;
  ASSERT_TRUE(loop.RunUntil(
      [&] {
        most = std::max(most, model->Transcoder.PendingCount());
        places = std::max(places, model->Transcoder.Tasks().Count());
        return !model->Running();
      },
      std::chrono::seconds(300)));
  EXPECT_EQ(most, model->TasksAtOnce());
  EXPECT_EQ(places, rows);
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  for (int k = 0; k < rows; ++k) EXPECT_EQ(Progress(k), "100%") << k;
  for (const int k : {0, rows - 1})
    EXPECT_EQ(ProbeValue(model->Sources[size_t(k)].OutputPath, "stream=codec_name", "v:0"), "mpeg4") << k;

  // Stopped in the first phase: the rows after it never start and count as stopped.
  view.Messages.clear();
  model->OnStartClicked();
  model->OnStopClicked();
  ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(120)));
  for (int k = 0; k < rows; ++k) {
    const TRowState state = model->Sources[size_t(k)].State;
    EXPECT_TRUE(state == rsStopped || (state == rsFinished && k < model->TasksAtOnce())) << k;
  }
  EXPECT_TRUE(Idle());
}

TEST_F(RunControlTest, ChecksBeforeStartStopAtTheFirstFailure) {
  model->OnStartClicked();
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"请选择视频！"});

  model->AddFiles({SmallClip()});
  model->settingsPages.ActivePageIndex = spCustom;
  model->customTypeBox.Items = {{"3GP", 0}};
  model->OnApplyCustomClicked();
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
    model->customTypeBox.ItemIndex = c.TypeIndex;
    model->customWidthEdit.Text = c.Width;
    model->customHeightEdit.Text = c.Height;
    model->customBitrateEdit.Text = c.Bitrate;
    model->customFrameRateEdit.Text = c.Rate;
    model->OnStartClicked();
    ASSERT_EQ(view.Messages.size(), 1u);
    EXPECT_EQ(view.Messages[0].Text, c.Message);
    EXPECT_EQ(view.Messages[0].Kind, mkError);
    EXPECT_TRUE(Idle());
  }

  ChooseMp4Preset();
  view.Messages.clear();
  std::ofstream(tmp / "plain") << "x";
  model->outputFolderEdit.Text = tmp / "plain/out";
  model->OnStartClicked();
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"未能创建 " + tmp / "plain/out" + " 目录！"});
  EXPECT_TRUE(Idle());
  EXPECT_EQ(model->Transcoder.Tasks().Count(), 0);
}

TEST_F(RunControlTest, JobThatCannotBeBuiltEndsTheStartBackAtIdle) {
  const std::string gone = tmp / "gone.avi";
  std::filesystem::copy_file(SmallClip(), gone);
  model->AddFiles({SmallClip(), gone});
  std::filesystem::remove(gone);
  ChooseMp4Preset();
  model->OnStartClicked();
  ASSERT_EQ(view.Messages.size(), 1u);
  EXPECT_EQ(view.Messages[0].Text.rfind("无法建立 " + gone + " 的转换任务：\n", 0), 0u)
      << view.Messages[0].Text;
  EXPECT_TRUE(Idle());
  EXPECT_EQ(model->Transcoder.Tasks().Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(Output("small_(new).mp4")));  // nothing left behind
}

TEST_F(RunControlTest, FailedTaskIsNamedAndTheOthersFinish) {
  OK_SAMPLE(broken, "short-cenc.mp4");  // opens, but nothing in it can be decoded
  model->AddFiles({SmallClip(), broken, SamplesDir() + "/sample.mp4"});
  ASSERT_EQ(model->Sources.size(), 3u) << testing::PrintToString(view.MessageTexts());
  ChooseMp4Preset();
  model->OnPowerOffCheckBoxClicked(true);
  view.PowerOffAnswer = false;  // the user cancels the countdown
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    view.Messages.clear();
    model->OnStartClicked();
    // A row converted again starts from nothing.
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Progress(k), "") << k;
    EXPECT_TRUE(model->Sources[1].FailureText.empty());
    ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(120)));
    // One box ends the batch: the counts from the rows and why the failed one failed.
    ASSERT_EQ(view.Messages.size(), 1u) << testing::PrintToString(view.MessageTexts());
    EXPECT_EQ(view.Messages[0].Kind, mkWarning);
    const std::string& report = view.Messages[0].Text;
    EXPECT_EQ(report.rfind("转换结束：成功 2 个，失败 1 个，已停止 0 个。\nshort-cenc.mp4：转换失败：", 0),
              0u)
        << report;
    EXPECT_NE(report.find("没有可以解码"), std::string::npos) << report;
    EXPECT_EQ(model->Sources[1].State, rsFailed);
    EXPECT_EQ(Progress(0), "100%");
    EXPECT_EQ(Progress(1), "失败");
    EXPECT_EQ(model->sourceList.Rows[1].Hint, model->Sources[1].FailureText);
    EXPECT_EQ(Progress(2), "100%");
  }
  EXPECT_EQ(view.PowerOffCountdown, 30);
  EXPECT_EQ(shutdown.Requests, 0);
}

TEST_F(RunControlTest, StopInTheMiddleCountsTheStoppedAndStillPowersOff) {
  OK_SAMPLE(longer, "phone.3gp");  // three and a half minutes: still running when stopped
  model->AddFiles({longer, SamplesDir() + "/sample.avi"});
  ChooseMp4Preset();
  model->OnPowerOffCheckBoxClicked(true);
  model->OnStartClicked();
  ASSERT_TRUE(loop.RunUntil([this] { return !Progress(0).empty(); }, std::chrono::seconds(60)));
  model->OnPauseClicked();
  EXPECT_FALSE(model->pauseButton.Enabled);
  EXPECT_TRUE(model->resumeButton.Enabled);
  model->OnResumeClicked();
  EXPECT_TRUE(model->pauseButton.Enabled);
  EXPECT_FALSE(model->resumeButton.Enabled);
  model->OnStopClicked();
  EXPECT_FALSE(model->stopButton.Enabled);
  ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(60)));
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"转换结束：成功 0 个，失败 0 个，已停止 2 个。"});
  EXPECT_EQ(Progress(0), "已停止");
  EXPECT_EQ(Progress(1), "已停止");
  EXPECT_TRUE(Idle());
  EXPECT_EQ(shutdown.Requests, 1);
}

TEST_F(RunControlTest, ModelGoneMidBatchLeavesItsPostedEventsHarmless) {
  OK_SAMPLE(longer, "phone.3gp");
  model->AddFiles({longer});
  ChooseMp4Preset();
  model->OnStartClicked();
  ASSERT_TRUE(loop.RunUntil([this] { return !Progress(0).empty(); }, std::chrono::seconds(60)));
  // Progress keeps being posted while nothing pumps; then the model goes with the calls queued.
  for (int waited = 0; loop.PendingCount() == 0 && waited < 1000; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GT(loop.PendingCount(), 0u);
  model.reset();
  EXPECT_GT(loop.ProcessPending(), 0);
  EXPECT_EQ(view.OffMainThreadCalls, 0);
}

TEST_F(RunControlTest, EachRowKeepsItsOwnClip) {
  // Two seconds: scale 100, a position is a tenth of a millisecond.
  const std::string two =
      Fixture("wb_two.avi",
              "-f lavfi -i testsrc=size=160x90:rate=25:duration=2 -f lavfi -i sine=duration=2 "
              "-c:v mpeg4 -c:a mp2 -shortest");
  std::vector<std::string> files;
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
    files.push_back(tmp / name);
    std::filesystem::copy_file(two, files.back());
  }
  model->AddFiles(files);
  ASSERT_EQ(model->Sources.size(), 3u);
  auto mark = [&](int row, int startMs, int endMs) {
    model->OnSourceSelected(row);
    ASSERT_EQ(model->previewTimeScale, 100);
    model->OnPreviewTrackBarChanged(startMs * 10);
    model->OnMarkStartClicked();
    model->OnPreviewTrackBarChanged(endMs * 10);
    model->OnMarkEndClicked();
    model->OnClipCheckBoxClicked(true);
  };
  mark(0, 1000, 1500);
  mark(1, 200, 1400);
  model->OnSourceSelected(2);  // no marks: the pane shows none
  EXPECT_EQ(model->previewTrackBar.SelEnd, 0);
  EXPECT_EQ(model->clipEndEdit.Text, "0");
  EXPECT_FALSE(model->clipCheckBox.Checked);
  model->OnSourceSelected(0);  // its own marks again
  EXPECT_EQ(model->previewTrackBar.SelStart, 10000);
  EXPECT_EQ(model->previewTrackBar.SelEnd, 15000);
  EXPECT_EQ(model->clipStartEdit.Text, "1.000");
  EXPECT_TRUE(model->clipCheckBox.Enabled && model->clipCheckBox.Checked);
  // The list shows the clip's length.
  EXPECT_EQ(model->sourceList.Rows[1].SubItems[2], " 00:00:01");
  EXPECT_EQ(model->sourceList.Rows[2].SubItems[2], " 00:00:02");

  ChooseMp4Preset();
  model->OnStartClicked();
  ASSERT_EQ(model->Transcoder.Tasks().Count(), 3);
  const int starts[] = {1000, 200, -1}, lengths[] = {500, 1200, -1};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(model->Transcoder.Tasks().Items(k).InputOptions.StartTime, starts[k]) << k;
    EXPECT_EQ(model->Transcoder.Tasks().Items(k).OutputOptions.RecordingTime, lengths[k]) << k;
  }
  ASSERT_TRUE(loop.RunUntil([this] { return !model->Running(); }, std::chrono::seconds(120)));
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  const double durations[] = {0.5, 1.2, 2.0};
  for (int k = 0; k < 3; ++k) {
    const std::string out = Output(std::string(1, char('a' + k)) + "_(new).mp4");
    EXPECT_NEAR(std::stod(ProbeValue(out, "stream=duration", "v:0")), durations[k], 1.0 / 18 + 0.01) << k;
    EXPECT_NEAR(std::stod(ProbeValue(out, "stream=start_time", "v:0")), 0.0, 1.0 / 18 + 0.01) << k;
  }
}

TEST_F(RunControlTest, ProgressAndEndTextsOfTheRows) {
  model->Sources.resize(1);
  model->Sources[0].Path = "/films/a.avi";
  model->sourceList.Rows.resize(1);
  struct TCase {
    int Index, Current, Total;
    const char* Text;
    int Percent;
  };
  for (const TCase& c : {TCase{0, 4500, 9000, "50%", 50}, TCase{0, 1, 3, "33%", 33}, TCase{0, 5, 0, "", -1},
                         TCase{0, 2147483647, 2147483647, "100%", 100}, TCase{0, 9100, 9000, "100%", 100},
                         TCase{1, 10, 10, "", -1}, TCase{-1, 10, 10, "", -1}}) {
    model->Sources[0] = {};
    model->Sources[0].Path = "/films/a.avi";
    model->OnTranscoderProgress(0, 0, 0);
    model->OnTranscoderProgress(c.Index, c.Current, c.Total);
    EXPECT_EQ(Progress(0), c.Text) << c.Current << "/" << c.Total << " row " << c.Index;
    EXPECT_EQ(model->sourceList.Rows[0].Percent, c.Percent);
  }
  struct TEnd {
    bool Finished, Exception;
    const char* Message;
    const char *Text, *Hint;
  };
  for (const TEnd& e : {TEnd{true, false, "", "100%", ""}, TEnd{false, false, "", "已停止", ""},
                        TEnd{false, true, "No space left on device", "失败",
                             "转换失败：磁盘空间不足（No space left on device）"},
                        TEnd{false, true, "something odd", "失败", "转换失败：转换出错（something odd）"}}) {
    model->OnTranscoderProgress(0, 10, 20);
    model->OnTranscoderTerminate(0, e.Finished, e.Exception, e.Message);
    EXPECT_EQ(Progress(0), e.Text) << e.Message;
    EXPECT_EQ(model->sourceList.Rows[0].Hint, e.Hint);
  }
  EXPECT_TRUE(view.Messages.empty());  // no box per row
}

}  // namespace
}  // namespace ok::test
