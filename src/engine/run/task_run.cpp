// Run control: starting a task on its own worker or on the calling thread, the run body that
// turns every failure into a termination report, stop, pause and resume, and the clean-up.

#include <chrono>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"

namespace ok {

using namespace std::chrono_literals;

TFFmpegThread::TFFmpegThread(TCustomFFmpeg& engine, TThreadPriority priority)
    : TWorkerThread([&engine] { engine.RunTranscode(); }, priority), Engine(&engine) {}

TDoTerminateThread::TDoTerminateThread(TCustomFFmpeg& engine)
    : TWorkerThread([&engine] { engine.FinishRun(); }, tpIdle), Engine(&engine) {}

void TCustomFFmpeg::ResetRunState() {
  std::lock_guard lock(runMutex_);
  Running = false;
  StopRequested = false;
  Finished = false;
  Terminated = false;
  terminationPending_ = false;
  ExceptionRaised = false;
  ExceptionMessage.clear();
}

TFFmpegThread* TCustomFFmpeg::Start(bool async, TThreadPriority priority) {
  std::string failure;
  TFFmpegThread* worker = nullptr;
  {
    std::lock_guard lock(runMutex_);
    if (Running || Terminated || terminationPending_) return nullptr;
    try {
      // With a set-up handler the run opens the files itself.
      if (!OnSetUp && NbOutputFiles <= 0) {
        ReleaseState();
        throw FFmpegException("At least one output file must be specified");
      }
      if (!OnSetUp && NbInputFiles == 0) {
        ReleaseState();
        throw FFmpegException("At least one input file must be specified");
      }
    } catch (const std::exception& e) {
      failure = e.what();
      terminationPending_ = true;
    }
    if (failure.empty()) {
      Running = true;
      StopRequested = false;
      Finished = false;
      Terminated = false;
      if (async) {
        ownedWorker_ = std::make_unique<TFFmpegThread>(*this, priority);
        worker = ownedWorker_.get();
        workerThread_ = worker;
      } else {
        // A destructor on another thread waits for this run.
        syncRunner_ = std::this_thread::get_id();
      }
    }
  }
  if (!failure.empty()) {
    ExceptionRaised = true;
    ExceptionMessage = failure;
    Log(-1, failure);
    FinishRun();
    return nullptr;
  }
  if (async) return worker;

  // Cleared also when an exception of another family passes through.
  struct TSyncRun {
    std::atomic<std::thread::id>& Runner;
    ~TSyncRun() { Runner = std::thread::id{}; }
  } syncRun{syncRunner_};
  RunTranscode();
  return nullptr;
}

void TCustomFFmpeg::RunTranscode() {
  Finished = false;
  auto endRun = [this] {
    CloseOpenEncoders();
    CloseOpenDecoders();
    ReleaseState();
    FinishRun();
  };
  try {
    try {
      if (OnSetUp) OnSetUp();
      Transcode();
    } catch (const std::exception& e) {
      // Recorded before the log: a log handler that throws must not lose the failure.
      ExceptionRaised = true;
      ExceptionMessage = e.what() + DiscardUnfinishedOutputs();
      Log(-1, ExceptionMessage);
    }
  } catch (...) {
    endRun();
    throw;
  }
  endRun();
}

std::string TCustomFFmpeg::DiscardUnfinishedOutputs() {
  std::string removed;
  for (int f = 0; f < NbOutputFiles; ++f) {
    TOutputFile& file = OutputFiles[f];
    // What the muxer wrote may still sit in the byte stream's buffer (a header it refused halfway):
    // on disk first, so that the size tells. Empty ones go anyway, without a word.
    if (file.FileOpened && file.Context && file.Context->pb) FF.avio_flush(file.Context->pb);
    if (!file.FileOpened || file.TrailerWritten || file.DeleteOnClose || FileSizeOf(file.FileName) <= 0)
      continue;
    file.DeleteOnClose = true;
    removed += (removed.empty() ? "" : ", ") + file.FileName;
  }
  return removed.empty() ? "" : "; the unfinished output was removed: " + removed;
}

void TCustomFFmpeg::FinishRun() {
  {
    std::lock_guard lock(runMutex_);
    if (Terminated) return;
    Running = false;
    Terminated = true;
    workerThread_ = nullptr;
  }
  // A copy: the handler may free this engine's owner list entry, and with it the handler.
  std::function<void()> handler = OnTerminate;
  if (handler) handler();
}

void TCustomFFmpeg::Stop() {
  std::lock_guard lock(runMutex_);
  if (Running) {
    StopRequested = true;
    PauseGate.Open();
    if (TFFmpegThread* worker = WorkerThread()) worker->Resume();
    return;
  }
  if (Terminated || terminationPending_) return;
  // Never started: the report comes from a thread of its own, as it would from a worker.
  terminationPending_ = true;
  StopRequested = true;
  terminateThread_ = std::make_unique<TDoTerminateThread>(*this);
  terminateThread_->Resume();
}

void TCustomFFmpeg::Pause() {
  TFFmpegThread* worker = WorkerThread();
  if (worker && !worker->Suspended()) PauseGate.Pause();
}

void TCustomFFmpeg::Resume() {
  TFFmpegThread* worker = WorkerThread();
  if (!worker) return;
  worker->Resume();
  PauseGate.Resume();
}

void TCustomFFmpeg::RequestStop() {
  std::lock_guard lock(runMutex_);
  StopRequested = true;
  PauseGate.Open();
  if (TFFmpegThread* worker = WorkerThread()) worker->Resume();
}

bool TCustomFFmpeg::RunEnded() const {
  const std::thread::id runner = syncRunner_.load();
  return WorkerThread() == nullptr && (runner == std::thread::id{} || runner == std::this_thread::get_id());
}

void TCustomFFmpeg::StopAndWait() {
  RequestStop();
  auto ended = [this] { return RunEnded(); };
  for (int poll = 0; poll < 10 && !ended(); ++poll) WaitPumping(ended, 100ms);
  if (!ended()) {
    // Freeing the engine under a running conversion is not an option: wait on, and say so.
    Log(0, "The conversion has not ended after its stop request; waiting for it");
    while (!WaitPumping(ended, 1h)) {
    }
  }
  std::unique_ptr<TFFmpegThread> worker;
  std::unique_ptr<TDoTerminateThread> terminator;
  {
    std::lock_guard lock(runMutex_);
    worker = std::move(ownedWorker_);
    terminator = std::move(terminateThread_);
  }
  // The termination report may still run on either thread.
  if (worker) worker->WaitFor();
  if (terminator) terminator->WaitFor();
}

void TCustomFFmpeg::CloseOpenEncoders() {
  // The registry lists the newest first.
  for (TOutputStreamState* ost : OpenEncoders.Nodes()) {
    if (!ost->EncodingNeeded) continue;
    if (ost->Encoder) ost->Encoder->stats_in = nullptr;
    ost->StatsIn.reset();
    ost->Output->Encoder.reset();  // closed under the codec lock by its deleter
    ost->Encoder = nullptr;
  }
  OpenEncoders.Clear();
}

void TCustomFFmpeg::CloseOpenDecoders() {
  for (TInputStreamState* ist : OpenDecoders.Nodes()) {
    if (!ist->DecodingNeeded) continue;
    ist->Input->Decoder.reset();  // closed under the codec lock by its deleter
    ist->Decoder = nullptr;
  }
  OpenDecoders.Clear();
}

void TCustomFFmpeg::ReleaseState() {
  if (!FFLoader.AllLoaded(RequiredLibraries)) return;
  // Option contexts, transcode tables, output files (empty ones deleted), input files, the hook
  // chain, both converters, the work buffers and the previewer.
  ReleaseOptionState();
  IntraMatrix.reset();
  InterMatrix.reset();
  VstatsFileName.clear();
  VideoCodecName.clear();
  AudioCodecName.clear();
  SubtitleCodecName.clear();
  VideoStandard.clear();
  VideoRcOverride.clear();
  AudioLanguage.clear();
  SubtitleLanguage.clear();
  LastPreviewTime = 0;
}

}  // namespace ok
