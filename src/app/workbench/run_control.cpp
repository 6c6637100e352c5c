// Run control: Start with its checks, one task per list row (task k is row k), pause, resume and
// stop, and the component's progress and termination. The component raises its events on worker
// threads under its Lock; the bound handlers only post them to the model's main thread.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "app/workbench/output_files.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "platform/file_utils.h"
#include "platform/main_thread.h"
#include "platform/system_shutdown.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// Seconds the user has to cancel the power-off.
constexpr int PowerOffCountdownSeconds = 30;

// The cause of a failure in the window's words, from the engine's (or the system's) English
// message, which follows it: "磁盘空间不足（No space left on device）".
std::string FailureCause(const std::string& message) {
  struct TCause {
    const char* Phrase;
    const TText& Text;
  };
  static const TCause causes[] = {
      {"nothing could be decoded", NothingDecodableCause},
      {"gave no video frame", NoPictureCause},
      {"no space left", NoSpaceCause},
      {"permission denied", NoPermissionCause},
      {"no such file", NoSuchFileText},
      {"invalid data", DamagedFileCause},
      {"encoder", EncoderCause},
      {"unsupported codec", UnsupportedCodecCause},
      {"codec not found", UnsupportedCodecCause},
      {"alloc", OutOfMemoryCause},
      {"frame size", BadFrameSizeCause},
      {"frame rate", BadFrameRateCause},
      {"frame_rate", BadFrameRateCause},
      {"decod", DecodingCause},
  };
  std::string lower = message;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  const TText* cause = &ConversionErrorCause;
  for (const TCause& known : causes) {
    if (lower.find(known.Phrase) != std::string::npos) {
      cause = &known.Text;
      break;
    }
  }
  const std::string detail = TrimText(message);
  return FailureCauseText(*cause, detail);
}

}  // namespace

int TWorkbench::TasksAtOnce() const { return TTranscoder::TasksAtOnce(ParallelTasks); }

TMainThread& TWorkbench::MainThread() const {
  return environment_.MainThread ? *environment_.MainThread : CurrentMainThread();
}

TSystemShutdown& TWorkbench::Shutdown() const {
  return environment_.Shutdown ? *environment_.Shutdown : DefaultSystemShutdown();
}

void TWorkbench::SetIdleButtons() {
  startButton.Enabled = true;
  pauseButton.Enabled = resumeButton.Enabled = stopButton.Enabled = false;
  addButton.Enabled = removeButton.Enabled = clearButton.Enabled = addFilesButton.Enabled = true;
  view_.Changed(wcRunButtons);
}

void TWorkbench::SetRunningButtons() {
  startButton.Enabled = resumeButton.Enabled = false;
  pauseButton.Enabled = stopButton.Enabled = true;
  addButton.Enabled = removeButton.Enabled = clearButton.Enabled = addFilesButton.Enabled = false;
  view_.Changed(wcRunButtons);
}

void TWorkbench::BindTranscoderEvents() {
  TMainThread* main = &MainThread();
  const std::weak_ptr<bool> alive = alive_;
  Transcoder.OnProgress = [this, main, alive](int index, int, int, int currentDuration, float, float, int64_t,
                                              int totalOutputDuration) {
    main->Post([this, alive, index, currentDuration, totalOutputDuration] {
      if (alive.lock()) OnTranscoderProgress(index, currentDuration, totalOutputDuration);
    });
  };
  Transcoder.OnTerminate = [this, main, alive](int index, bool finished, bool exception,
                                               const std::string& message) {
    main->Post([this, alive, index, finished, exception, message] {
      if (alive.lock()) OnTranscoderTerminate(index, finished, exception, message);
    });
  };
}

void TWorkbench::OnStartClicked() {
  if (running_) return;
  if (sourceList.Rows.empty()) {
    view_.ShowMessage(SelectVideosText, mkError);
    return;
  }
  if (!CheckSettingsPage()) return;
  const std::string folder = TrimText(outputFolderEdit.Text);
  if (folder.empty() || !ForceDirectories(folder)) {
    view_.ShowMessage(CannotCreateFolderText(folder), mkError);
    return;
  }
  OnOutputFolderEditLeft();  // the folder typed is the one used, and remembered
  RemoveAbandonedParts(folder);

  Transcoder.SetLogLevel(llInfo);
  Transcoder.ThreadPriority = tpLower;
  SetRunningButtons();
  Transcoder.ClearTasks();
  BindTranscoderEvents();
  // Each row's first encode makes the first phase; the rows that need another (the encode after
  // an analysis pass, a second try under the size limit) make the next.
  rowEncodes_.assign(Sources.size(), {});
  batchTasks_.clear();
  waitingFrom_ = 0;
  batchStopped_ = false;
  for (int row = 0; row < int(sourceList.Rows.size()); ++row) {
    view_.ProcessMessages();
    std::string failure;
    try {
      TRowEncode& encode = rowEncodes_[size_t(row)] = PlanRowEncode(row);
      Sources[size_t(row)].OutputPath.clear();
      // A limit that cannot be met writes nothing.
      if (!encode.Refusal.empty()) continue;
      Sources[size_t(row)].OutputPath = OutputFileName(row, encode.Output.FileExt, true);
      const TEncodeStage first = encode.TwoPass ? esAnalysis : esOnly;
      const size_t queued = batchTasks_.size();
      if (int(queued) >= TasksAtOnce()) {
        encode.Next = first;  // a later phase takes it
        continue;
      }
      if (QueueRowEncode(row, first) < 0) failure = Transcoder.LastError();
      if (failure.empty() && Transcoder.Tasks().Count() != int(queued) + 1) failure = UnknownErrorText;
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (!failure.empty()) {
      Transcoder.ClearTasks();
      ReleaseEmptyOutputs();
      RemovePassFolder();
      SetIdleButtons();
      view_.ShowMessage(CannotBuildTaskText(Sources[size_t(row)].Path, FailureCause(failure)), mkError);
      return;
    }
  }
  running_ = true;  // the rows render as a batch's, without their expected sizes
  // Every row starts again from nothing.
  for (int row = 0; row < int(Sources.size()); ++row) {
    TSourceRow& source = Sources[size_t(row)];
    source.State = rsWaiting;
    source.Progress = -1;
    source.FailureText.clear();
    if (!rowEncodes_[size_t(row)].Refusal.empty()) {
      source.State = rsFailed;
      source.FailureText = ConversionFailedText(rowEncodes_[size_t(row)].Refusal);
    }
    RenderRow(row);
  }
  view_.Changed(wcList);
  if (batchTasks_.empty()) return EndBatch();  // every row refused
  Transcoder.Start(std::max(1, ParallelTasks));
}

void TWorkbench::OnPauseClicked() {
  if (!running_) return;
  pauseButton.Enabled = false;
  resumeButton.Enabled = true;
  view_.Changed(wcRunButtons);
  Transcoder.Pause();
}

void TWorkbench::OnResumeClicked() {
  if (!running_) return;
  pauseButton.Enabled = true;
  resumeButton.Enabled = false;
  view_.Changed(wcRunButtons);
  Transcoder.Resume();
}

void TWorkbench::OnStopClicked() {
  if (!running_) return;
  stopButton.Enabled = false;
  view_.Changed(wcRunButtons);
  batchStopped_ = true;
  Transcoder.Stop();
}

void TWorkbench::OnPowerOffCheckBoxClicked(bool checked) { powerOffCheckBox.Checked = checked; }

void TWorkbench::OnTranscoderProgress(int task, int currentDuration, int totalOutputDuration) {
  const int index = RowOfTask(task);
  if (index < 0 || index >= int(Sources.size())) return;
  TSourceRow& source = Sources[size_t(index)];
  source.State = rsRunning;
  // The audio tail can run a little past the expected duration: a running task shows at most 100%.
  source.Progress = totalOutputDuration < 1
                        ? -1
                        : int(std::min<int64_t>(100, int64_t(currentDuration) * 100 / totalOutputDuration));
  RenderRow(index);
  view_.Changed(wcList);
}

void TWorkbench::OnTranscoderTerminate(int task, bool finished, bool exception, const std::string& message) {
  if (task < 0) {
    // The run ended while the main thread queued more, which started it again: not the end.
    if (Transcoder.Running()) return;
    if (running_ && (batchStopped_ || !StartNextPhase())) EndBatch();
    return;
  }
  SettleTask(task, finished, exception, message);
  TopUpBatch();
}

void TWorkbench::SettleTask(int task, bool finished, bool exception, const std::string& message) {
  const int index = RowOfTask(task);
  if (index < 0 || index >= int(Sources.size())) return;
  TSourceRow& source = Sources[size_t(index)];
  // What the task wrote under its part name takes the output's name first, so that the size
  // check measures it and a failure names the file the user knows.
  std::string cause = message;
  if (const size_t at = cause.find(source.PartPath); !source.PartPath.empty() && at != std::string::npos)
    cause.replace(at, source.PartPath.size(), source.OutputPath);
  SettlePart(source.PartPath, source.OutputPath);
  source.PartPath.clear();
  std::string sizeFailure;
  if (!RowEncodeDone(task, finished, sizeFailure)) {  // another encode follows
    waitingFrom_ = std::min(waitingFrom_, index);
    return;
  }
  if (!sizeFailure.empty()) finished = false, exception = true;
  source.State = finished ? rsFinished : exception ? rsFailed : rsStopped;
  if (finished) source.Progress = 100;
  source.FailureText = source.State != rsFailed
                           ? ""
                           : ConversionFailedText(!sizeFailure.empty() ? sizeFailure : FailureCause(cause));
  RenderRow(index);
  view_.Changed(wcList);
}

void TWorkbench::EndBatch() {
  running_ = false;
  SetIdleButtons();
  Transcoder.ClearTasks();
  ReleaseEmptyOutputs();
  RemovePassFolder();
  // Rows a stop caught between two encodes.
  for (int row = 0; row < int(rowEncodes_.size()) && row < int(Sources.size()); ++row)
    if (rowEncodes_[size_t(row)].Next != esNone) {
      rowEncodes_[size_t(row)].Next = esNone;
      Sources[size_t(row)].State = rsStopped;
      RenderRow(row);
    }
  // The window is going: the user asked for the stop, there is nobody to report to.
  if (closing_) return;
  if (powerOffCheckBox.Checked && view_.ConfirmPowerOff(PowerOffCountdownSeconds)) {
    std::string error;
    if (!Shutdown().PowerOff(error)) view_.ShowMessage(CannotPowerOffText(error), mkError);
  }
  int finished = 0, failed = 0, stopped = 0;
  std::string failures;
  for (const TSourceRow& source : Sources) {
    finished += source.State == rsFinished;
    stopped += source.State == rsStopped || source.State == rsWaiting || source.State == rsRunning;
    if (source.State == rsFailed) {
      ++failed;
      failures += "\n" + FailedFileText(ExtractFileName(source.Path), source.FailureText);
    }
  }
  if (finished == int(Sources.size())) {
    view_.BatchEnded(AllConvertedText, true);
    view_.ShowMessage(AllConvertedText, mkInformation);
    return;
  }
  const std::string report = BatchReportText(finished, failed, stopped) + failures;
  view_.BatchEnded(report, false);
  view_.ShowMessage(report, mkWarning);
}

bool TWorkbench::CloseRequested() {
  if (!running_) return true;
  if (!view_.AskYesNo(StopAndExitText)) return false;
  if (!running_) return true;  // the batch ended while the question was open
  closing_ = true;
  OnStopClicked();
  // The stopped tasks end their outputs properly before the window goes; their events arrive
  // through the main thread's queue.
  if (auto* loop = dynamic_cast<TMainThreadLoop*>(&MainThread()))
    loop->WaitPumping([this] { return !running_; });
  while (running_) {
    view_.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  closing_ = false;
  return true;
}

}  // namespace ok
