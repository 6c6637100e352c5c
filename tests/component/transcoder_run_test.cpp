// The run loop over real conversions: synchronous and parallel runs, a second Start, Stop, Pause,
// failures, renumbering, the preview hand-off and the destructor.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "component_test_support.h"
#include "platform/main_thread.h"
#include "platform/worker_thread.h"

namespace ok::test {
namespace {

using namespace std::chrono_literals;

int FrameCount(const std::string& file) {
  return std::atoi(ProbeValue(file, "stream=nb_read_frames", "v:0 -count_frames").c_str());
}

std::vector<int> Indices(const std::vector<TTerminateRecord>& records) {
  std::vector<int> indices;
  for (const TTerminateRecord& r : records) indices.push_back(r.Index);
  return indices;
}

class Run : public ComponentTest {
 protected:
  // Counts progress events per task; the first event of a task sets `progressed_`.
  void CountProgress() {
    component->SetProgressInterval(100);
    component->OnProgress = [this](int index, int, int, int, float, float, int64_t, int) {
      ++progressEvents_;
      if (index == 0) progressed_ = true;
      int running = 0;
      for (int i = 0; i < component->Tasks().Count(); ++i)
        if (component->Tasks().Items(i).WorkerThread()) ++running;
      maxRunning_ = std::max(maxRunning_.load(), running);
    };
  }
  bool WaitProgress() {
    return WaitPumping([this] { return progressed_.load(); }, 10000ms);
  }

  std::atomic<int> progressEvents_{0};
  std::atomic<bool> progressed_{false};
  std::atomic<int> maxRunning_{0};
};

TEST_F(Run, StartOnAnEmptyListRaisesNothing) {
  component->Start(2);
  component->Start(0);
  component->Stop();
  EXPECT_TRUE(Terminations().empty());
  EXPECT_TRUE(Logs().empty());
}

TEST_F(Run, ATaskWithoutOutputEndsAtOnceAndTheRunEnds) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  component->Start(1);
  ASSERT_TRUE(WaitAllDone());
  const std::string message = "At least one output file must be specified";
  EXPECT_TRUE(LoggedLine(0, llQuiet, message));
  std::vector<TTerminateRecord> t = Terminations();
  ASSERT_EQ(Indices(t), (std::vector<int>{0, -1}));
  EXPECT_FALSE(t[0].Finished);
  EXPECT_TRUE(t[0].Exception);
  EXPECT_EQ(t[0].Message, message);
  EXPECT_TRUE(t[1].Finished);
  EXPECT_FALSE(t[1].Exception);
  EXPECT_EQ(t[1].Message, "");
}

TEST_F(Run, StartZeroRunsEveryTaskInOrderOnTheCallingThread) {
  AddConverted("sync0.avi");
  AddConverted("sync1.avi");
  component->Start(0);
  std::vector<TTerminateRecord> t = Terminations();
  ASSERT_EQ(Indices(t), (std::vector<int>{0, 1, -1})) << "all of it before Start returned";
  for (const TTerminateRecord& r : t) EXPECT_EQ(r.Thread, std::this_thread::get_id());
  EXPECT_TRUE(t[0].Finished && t[1].Finished);
  EXPECT_EQ(component->Tasks().Items(1).ThreadID, CurrentThreadID());
  EXPECT_EQ(FrameCount(tmp_ / "sync0.avi"), 25);
  EXPECT_EQ(FrameCount(tmp_ / "sync1.avi"), 25);
}

TEST_F(Run, StartThreeOverFiveNeverRunsMoreThanThree) {
  CountProgress();
  for (int i = 0; i < 5; ++i) AddConverted("par" + std::to_string(i) + ".avi", true);
  component->Start(3);
  ASSERT_TRUE(WaitAllDone());
  std::vector<TTerminateRecord> t = Terminations();
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t.back().Index, -1);
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(t[size_t(i)].Finished) << t[size_t(i)].Index;
    EXPECT_EQ(FrameCount(tmp_ / ("par" + std::to_string(i) + ".avi")), 25);
  }
  EXPECT_EQ(maxRunning_, 3);
  EXPECT_EQ(component->FinishedCount(), 5);
}

TEST_F(Run, ASecondStartDoesNotRestartTheRunningTask) {
  CountProgress();
  AddConverted("again0.avi", true);
  AddConverted("again1.avi", true);
  component->Start(1);
  ASSERT_TRUE(WaitProgress());
  const uint32_t running = component->Tasks().Items(0).ThreadID;
  // The run goes on: its one slot is taken, so nothing starts now.
  component->Start(1);
  EXPECT_EQ(component->Tasks().Items(0).ThreadID, running);
  EXPECT_EQ(component->Tasks().Items(1).ThreadID, 0u);
  ASSERT_TRUE(WaitAllDone());
  std::vector<TTerminateRecord> t = Terminations();
  EXPECT_EQ(Indices(t), (std::vector<int>{0, 1, -1}));
  EXPECT_TRUE(t[0].Finished && t[1].Finished);
}

TEST_F(Run, StopEndsTheRunningTaskAndTerminatesTheOthers) {
  CountProgress();
  for (int i = 0; i < 3; ++i) AddConverted("stop" + std::to_string(i) + ".avi", true);
  component->Start(1);
  ASSERT_TRUE(WaitProgress());
  component->Stop();
  ASSERT_TRUE(WaitAllDone());
  std::vector<TTerminateRecord> t = Terminations();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t.back().Index, -1);
  EXPECT_TRUE(t.back().Finished);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(t[i].Finished) << t[i].Index;
    EXPECT_FALSE(t[i].Exception) << t[i].Index;
    EXPECT_NE(t[i].Thread, std::this_thread::get_id());
  }
  const int frames = FrameCount(tmp_ / "stop0.avi");
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 25);
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "stop1.avi")) << "a task that never started opened nothing";
  component->ClearTasks();
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "stop1.avi")) << "an output left empty goes with its task";
}

TEST_F(Run, AFailingTaskEndsWithItsMessageAndTheNextRuns) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  TOutputOptions bad;
  bad.VideoCodec = "h263";  // refuses a 96x64 picture when it opens
  bad.DisableAudio = true;
  ASSERT_TRUE(component->SetOutput(0, tmp_ / "bad.avi", &bad)) << component->LastError();
  AddConverted("good.avi");
  component->Start(1);
  ASSERT_TRUE(WaitAllDone());
  std::vector<TTerminateRecord> t = Terminations();
  ASSERT_EQ(Indices(t), (std::vector<int>{0, 1, -1}));
  EXPECT_TRUE(t[0].Exception);
  EXPECT_FALSE(t[0].Message.empty());
  EXPECT_TRUE(LoggedLine(0, llQuiet, t[0].Message));
  EXPECT_TRUE(t[1].Finished);
  EXPECT_FALSE(t[1].Exception);
  EXPECT_EQ(FrameCount(tmp_ / "good.avi"), 25);
}

// A queued task holds nothing open; its files open when it starts, and one that cannot be opened
// then fails that task alone, with its cause.
TEST_F(Run, ATaskWhoseInputWentAfterQueueingFailsAloneWithItsCause) {
  AddConverted("before.avi");
  const std::string gone = tmp_ / "gone.mkv";
  fs::copy_file(ComponentClip(), gone);
  ASSERT_EQ(component->AddTask(gone), 1) << component->LastError();
  TOutputOptions out;
  out.VideoCodec = "mpeg4";
  ASSERT_TRUE(component->SetOutput(1, tmp_ / "gone.avi", &out)) << component->LastError();
  AddConverted("after.avi");
  fs::remove(gone);
  component->Start(0);
  std::vector<TTerminateRecord> t = Terminations();
  ASSERT_EQ(Indices(t), (std::vector<int>{0, 1, 2, -1}));
  EXPECT_TRUE(t[0].Finished && t[2].Finished);
  EXPECT_TRUE(t[1].Exception);
  EXPECT_EQ(t[1].Message, gone + ": no such file or directory");
  EXPECT_FALSE(fs::exists(tmp_ / "gone.avi"));
}

TEST_F(Run, ASecondTaskOnTheSameOutputIsRefusedNamingTheFirst) {
  ASSERT_EQ(AddConverted("one.avi"), 0);
  fs::create_directory(tmp_.Path() / "sub");
  fs::create_directory_symlink(tmp_.Path(), tmp_.Path() / "link");
  TOutputOptions out;
  out.VideoCodec = "mpeg4";
  // The same file through a link and "..": refused before anything of the task changes.
  for (const std::string& name : {tmp_ / "one.avi", tmp_ / "sub/../one.avi", tmp_ / "link/one.avi"}) {
    SCOPED_TRACE(name);
    const int index = component->AddTask(ComponentClip(), nullptr);
    ASSERT_GE(index, 1);
    EXPECT_FALSE(component->SetOutput(index, name, &out));
    EXPECT_EQ(component->LastError(), name + " is already the output of task 0");
    component->RemoveTask(index);
  }
  // Another name is fine.
  EXPECT_EQ(AddConverted("two.avi"), 1);
}

TEST_F(Run, RemoveTaskRenumbersTheTasksBehind) {
  AddConverted("a.avi");
  AddConverted("b.avi");
  AddConverted("c.avi");
  component->RemoveTask(1);
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "b.avi")) << "its empty output went with it";
  component->Start(0);
  EXPECT_EQ(Indices(Terminations()), (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(component->Tasks().Items(1).OutputOptions.FileName, tmp_ / "c.avi");
  EXPECT_EQ(FrameCount(tmp_ / "c.avi"), 25);
}

TEST_F(Run, PauseHoldsEveryTaskUntilResume) {
  CountProgress();
  AddConverted("paused.avi", true, 0);
  component->Start(1);
  ASSERT_TRUE(WaitProgress());
  component->Pause();
  std::this_thread::sleep_for(150ms);
  const int before = progressEvents_;
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(progressEvents_, before) << "progress while paused";
  EXPECT_TRUE(Terminations().empty());
  component->Resume();
  ASSERT_TRUE(WaitAllDone());
  EXPECT_TRUE(Terminations()[0].Finished);
  EXPECT_EQ(FrameCount(tmp_ / "paused.avi"), 25);
}

TEST_F(Run, PreviewBitmapsArriveOnTheMainThread) {
  component->SetPreview(true);
  component->SetPreviewBitmap(true);
  std::atomic<int> previews{0};
  std::atomic<bool> offMain{false};
  component->OnPreviewBitmap = [&](int index, const TBitmap& bitmap, int, int64_t) {
    if (!DefaultMainThreadLoop().IsMainThread() || index != 0 || bitmap.Width() != 96) offMain = true;
    ++previews;
  };
  AddConverted("preview.avi", true);
  component->Start(1);
  // The worker waits for each preview, so the main thread pumps.
  ASSERT_TRUE(DefaultMainThreadLoop().RunUntil(
      [this] { return !Terminations().empty() && Terminations().back().Index == -1; }, 20s));
  EXPECT_GT(previews, 0);
  EXPECT_FALSE(offMain);
}

TEST_F(Run, DestroyingTheComponentStopsAndWaitsForItsTasks) {
  CountProgress();
  AddConverted("destroyed.avi", true);
  component->Start(1);
  ASSERT_TRUE(WaitProgress());
  component.reset();
  const int frames = FrameCount(tmp_ / "destroyed.avi");
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 25);
}

}  // namespace
}  // namespace ok::test
