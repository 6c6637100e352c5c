// Run control over real conversions: starting suspended or synchronously, the single termination
// report, stop, pause and resume, failures turned into reports, and the destructor's wait.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engine_test_support.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

using namespace std::chrono_literals;

std::string Clip() {
  return Fixture(
      "rc_clip.avi",
      "-f lavfi -i testsrc=size=96x64:rate=25:duration=1 -f lavfi -i sine=frequency=440:duration=1 "
      "-c:v mpeg4 -c:a mp2 -shortest");
}

class RunControl : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CaptureLog();
    engine->OnTerminate = [this] {
      std::lock_guard lock(mutex_);
      ++terminations_;
      terminatedOn_ = std::this_thread::get_id();
      changed_.notify_all();
    };
  }

  // One input and one output of mpeg4 video and mp2 audio; `realTime` reads at the clip's rate.
  void Open(const std::string& output, bool realTime = false) {
    ASSERT_NO_THROW(engine->OpenInputFile(Clip()));
    engine->ApplyOption("vcodec", "mpeg4");
    engine->ApplyOption("acodec", "mp2");
    engine->RateEmu = realTime;
    ASSERT_EQ(engine->OpenOutput(output), 1);
  }

  bool WaitTerminated(std::chrono::milliseconds timeout = 20s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return terminations_ > 0; });
  }
  int Terminations() {
    std::lock_guard lock(mutex_);
    return terminations_;
  }

  // Pauses the worker at its first progress report, from the worker itself.
  void PauseAtFirstProgress() {
    engine->ProgressInterval = 0;
    engine->OnProgress = [this](int, int, int, float, float, int64_t, int) {
      if (++progressEvents_ > 1) return;
      engine->Pause();
      firstProgress_ = true;
    };
  }

  TempDir tmp_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int terminations_ = 0;
  std::thread::id terminatedOn_;
  std::atomic<bool> firstProgress_{false};
  std::atomic<int> progressEvents_{0};
};

int FrameCount(const std::string& file) {
  return std::atoi(ProbeValue(file, "stream=nb_read_frames", "v:0 -count_frames").c_str());
}

TEST_F(RunControl, StartWithoutFilesTerminatesAtOnceWithTheMessage) {
  EXPECT_EQ(engine->Start(true, tpNormal), nullptr);
  EXPECT_EQ(Terminations(), 1) << "reported before Start returned";
  EXPECT_EQ(terminatedOn_, std::this_thread::get_id());
  EXPECT_TRUE(engine->Terminated);
  EXPECT_TRUE(engine->ExceptionRaised);
  EXPECT_EQ(engine->ExceptionMessage, "At least one output file must be specified");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().Level, -1);
  EXPECT_EQ(log.back().Text, "At least one output file must be specified");
  // Terminated is final: neither Start nor Stop reports again.
  EXPECT_EQ(engine->Start(false, tpNormal), nullptr);
  engine->Stop();
  engine->StopAndWait();
  EXPECT_EQ(Terminations(), 1);
}

TEST_F(RunControl, AsyncStartReturnsASuspendedWorkerAtItsPriority) {
  const std::string out = tmp_ / "suspended.avi";
  Open(out);
  TFFmpegThread* worker = engine->Start(true, tpLower);
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(engine->WorkerThread(), worker);
  EXPECT_TRUE(worker->Suspended());
  EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(worker->ThreadID())), 10);
  EXPECT_EQ(engine->Start(true, tpLower), nullptr) << "a second Start while it runs";
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Terminations(), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 0u) << "nothing ran before the resume";
  worker->Resume();
  ASSERT_TRUE(WaitTerminated());
  EXPECT_NE(terminatedOn_, std::this_thread::get_id());
  EXPECT_TRUE(engine->Finished);
  EXPECT_FALSE(engine->ExceptionRaised);
  EXPECT_EQ(engine->WorkerThread(), nullptr);
  EXPECT_EQ(engine->NbOutputFiles, 0) << "released after the run";
  EXPECT_EQ(engine->NbInputFiles, 0);
  EXPECT_EQ(FrameCount(out), 25);
}

TEST_F(RunControl, StopDuringTheLoopWritesAShorterCompleteFile) {
  const std::string out = tmp_ / "stopped.avi";
  Open(out, true);
  engine->ProgressInterval = 0;
  engine->OnProgress = [this](int frame, int, int, float, float, int64_t, int) {
    if (frame >= 5) engine->Stop();
  };
  engine->Start(true, tpNormal)->Resume();
  ASSERT_TRUE(WaitTerminated());
  EXPECT_FALSE(engine->Finished);
  EXPECT_FALSE(engine->ExceptionRaised);
  const int frames = FrameCount(out);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 20) << "the loop ended at the next packet, not at the end";
}

TEST_F(RunControl, PauseHoldsTheWorkerUntilResumeOrStop) {
  const std::string out = tmp_ / "paused.avi";
  Open(out);
  PauseAtFirstProgress();
  engine->Start(true, tpNormal)->Resume();
  ASSERT_TRUE(WaitPumping([this] { return firstProgress_.load(); }, 10000ms));
  const int before = progressEvents_;
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(progressEvents_, before) << "progress while paused";
  EXPECT_EQ(Terminations(), 0);
  engine->Resume();
  ASSERT_TRUE(WaitTerminated());
  EXPECT_TRUE(engine->Finished);
  EXPECT_EQ(FrameCount(out), 25);
}

TEST_F(RunControl, StopWhilePausedEndsTheWorker) {
  Open(tmp_ / "paused_stop.avi");
  PauseAtFirstProgress();
  engine->Start(true, tpNormal)->Resume();
  ASSERT_TRUE(WaitPumping([this] { return firstProgress_.load(); }, 10000ms));
  engine->Stop();
  ASSERT_TRUE(WaitTerminated());
  EXPECT_FALSE(engine->Finished);
  engine->Pause();  // the gate stays open after a stop
  EXPECT_FALSE(engine->PauseGate.Paused());
}

TEST_F(RunControl, StopBeforeStartIsReportedByAThreadOfItsOwn) {
  Open(tmp_ / "never.avi");
  engine->Stop();
  ASSERT_TRUE(WaitTerminated());
  EXPECT_NE(terminatedOn_, std::this_thread::get_id());
  engine->Stop();
  EXPECT_EQ(engine->Start(true, tpNormal), nullptr) << "a terminated task does not start";
  engine->StopAndWait();
  EXPECT_EQ(Terminations(), 1);
  EXPECT_FALSE(engine->Finished);
  EXPECT_FALSE(engine->ExceptionRaised);
}

TEST_F(RunControl, AFailingEncoderIsReportedAndItsEmptyOutputDeleted) {
  const std::string out = tmp_ / "bad.avi";
  ASSERT_NO_THROW(engine->OpenInputFile(Clip()));
  engine->ApplyOption("vcodec", "h263");  // refuses a 96x64 picture when it opens
  engine->AudioDisable = true;
  ASSERT_EQ(engine->OpenOutput(out), 1);
  EXPECT_EQ(engine->Start(false, tpNormal), nullptr);
  EXPECT_EQ(Terminations(), 1);
  EXPECT_TRUE(engine->ExceptionRaised);
  EXPECT_FALSE(engine->Finished);
  EXPECT_FALSE(engine->ExceptionMessage.empty());
  EXPECT_EQ(LoggedCount(engine->ExceptionMessage), 1);
  EXPECT_TRUE(engine->OpenEncoders.Empty());
  EXPECT_TRUE(engine->OpenDecoders.Empty());
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(RunControl, AnyStdExceptionEndsTheTaskWithItsMessage) {
  Open(tmp_ / "thrown.avi");
  engine->ProgressInterval = 0;
  engine->OnProgress = [](int, int, int, float, float, int64_t, int) {
    throw std::logic_error("handler failed");
  };
  engine->Start(true, tpNormal)->Resume();
  ASSERT_TRUE(WaitTerminated());
  EXPECT_TRUE(engine->ExceptionRaised);
  // The header is written by then: the half-made output goes, and the message says so.
  EXPECT_EQ(engine->ExceptionMessage,
            "handler failed; the unfinished output was removed: " + tmp_ / "thrown.avi");
  EXPECT_FALSE(std::filesystem::exists(tmp_ / "thrown.avi"));
  EXPECT_TRUE(Logged(engine->ExceptionMessage));
}

TEST_F(RunControl, OtherExceptionsPassAfterTheReport) {
  Open(tmp_ / "foreign.avi");
  engine->ProgressInterval = 0;
  engine->OnProgress = [](int, int, int, float, float, int64_t, int) { throw 42; };
  EXPECT_THROW(engine->Start(false, tpNormal), int);
  EXPECT_EQ(Terminations(), 1);
  EXPECT_FALSE(engine->ExceptionRaised);
  EXPECT_EQ(engine->NbOutputFiles, 0);
}

TEST_F(RunControl, TheDestructorWaitsForTheWorker) {
  const std::string out = tmp_ / "destroyed.avi";
  Open(out, true);
  std::atomic<bool> handlerDone{false};
  engine->OnTerminate = [&] {
    std::this_thread::sleep_for(200ms);  // the report still runs after the worker let go
    handlerDone = true;
  };
  engine->Start(true, tpNormal)->Resume();
  std::this_thread::sleep_for(300ms);
  engine.reset();
  EXPECT_TRUE(handlerDone);
  EXPECT_GT(FrameCount(out), 0) << "stopped with its trailer";
}

TEST_F(RunControl, TheDestructorKeepsWaitingPastItsPollsAndSaysSo) {
  Open(tmp_ / "slow.avi");
  std::atomic<bool> ended{false};
  engine->ProgressInterval = 0;
  engine->OnProgress = [&](int, int, int, float, float, int64_t, int) {
    if (!firstProgress_.exchange(true)) std::this_thread::sleep_for(1500ms);
  };
  engine->OnTerminate = [&] { ended = true; };
  engine->Start(true, tpNormal)->Resume();
  ASSERT_TRUE(WaitPumping([this] { return firstProgress_.load(); }, 10000ms));
  engine.reset();
  EXPECT_TRUE(ended);
  EXPECT_EQ(LoggedCount("The conversion has not ended after its stop request"), 1);
}

TEST_F(RunControl, CloseOpenCodecsClosesWhatIsRegistered) {
  TOutputStream output;
  output.Encoder.reset(FF.avcodec_alloc_context3(nullptr));
  TOutputStreamState encoding;
  encoding.EncodingNeeded = 1;
  encoding.Output = &output;
  encoding.Encoder = output.Encoder.get();
  TOutputStream copied;
  copied.Encoder.reset(FF.avcodec_alloc_context3(nullptr));
  TOutputStreamState copy;
  copy.Output = &copied;
  engine->OpenEncoders.Add(&encoding);
  engine->OpenEncoders.Add(&copy);
  TInputStream input;
  input.Decoder.reset(FF.avcodec_alloc_context3(nullptr));
  TInputStreamState decoding;
  decoding.DecodingNeeded = 1;
  decoding.Input = &input;
  engine->OpenDecoders.Add(&decoding);

  engine->CloseOpenEncoders();
  engine->CloseOpenDecoders();
  EXPECT_TRUE(engine->OpenEncoders.Empty());
  EXPECT_TRUE(engine->OpenDecoders.Empty());
  EXPECT_EQ(output.Encoder, nullptr);
  EXPECT_EQ(encoding.Encoder, nullptr);
  EXPECT_NE(copied.Encoder, nullptr) << "a stream without encoding keeps its context";
  EXPECT_EQ(input.Decoder, nullptr);
}

}  // namespace
}  // namespace ok::test
