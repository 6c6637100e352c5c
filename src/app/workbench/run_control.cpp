// Run control: Start with its checks, one task per list row (task k is row k), pause, resume and
// stop, and the component's progress and termination. The component raises its events on worker
// threads under its Lock; the bound handlers only post them to the model's main thread.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "app/workbench/workbench.h"
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
    const char* Text;
  };
  static const TCause causes[] = {
      {"nothing could be decoded", "源文件中没有可以解码的画面或声音"},
      {"gave no video frame", "源文件中没有可以解码的画面"},
      {"no space left", "磁盘空间不足"},
      {"permission denied", "没有权限"},
      {"no such file", "文件不存在"},
      {"invalid data", "文件已损坏或格式不支持"},
      {"encoder", "无法打开编码器"},
      {"unsupported codec", "不支持的编码"},
      {"codec not found", "不支持的编码"},
      {"alloc", "内存不足"},
      {"frame size", "视频尺寸不正确"},
      {"frame rate", "帧速率不正确"},
      {"frame_rate", "帧速率不正确"},
      {"decod", "解码出错"},
  };
  std::string lower = message;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  const char* cause = "转换出错";
  for (const TCause& known : causes) {
    if (lower.find(known.Phrase) != std::string::npos) {
      cause = known.Text;
      break;
    }
  }
  const std::string detail = TrimText(message);
  return cause + (detail.empty() ? "" : "（" + detail + "）");
}

}  // namespace

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
    view_.ShowMessage("请选择视频！", mkError);
    return;
  }
  if (!CheckSettingsPage()) return;
  const std::string folder = TrimText(outputFolderEdit.Text);
  if (folder.empty() || !ForceDirectories(folder)) {
    view_.ShowMessage("未能创建 " + folder + " 目录！", mkError);
    return;
  }
  OnOutputFolderEditLeft();  // the folder typed is the one used, and remembered

  Transcoder.SetLogLevel(llInfo);
  Transcoder.ThreadPriority = tpLower;
  SetRunningButtons();
  Transcoder.ClearTasks();
  BindTranscoderEvents();
  for (int row = 0; row < int(sourceList.Rows.size()); ++row) {
    view_.ProcessMessages();
    std::string failure;
    try {
      TOutputOptions output = BuildOutputOptions(row);
      output.FileName = Sources[size_t(row)].OutputPath = OutputFileName(row, output.FileExt, true);
      TInputOptions input = BuildInputOptions(row);
      if (AddConversionTask(input, output) != row) failure = Transcoder.LastError();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (failure.empty() && Transcoder.Tasks().Count() != row + 1) failure = "未知错误";
    if (!failure.empty()) {
      Transcoder.ClearTasks();
      ReleaseEmptyOutputs();
      SetIdleButtons();
      view_.ShowMessage("无法建立 " + Sources[size_t(row)].Path + " 的转换任务：\n" + FailureCause(failure),
                        mkError);
      return;
    }
  }
  // Every row starts again from nothing.
  for (int row = 0; row < int(Sources.size()); ++row) {
    TSourceRow& source = Sources[size_t(row)];
    source.State = rsWaiting;
    source.Progress = -1;
    source.FailureText.clear();
    RenderRow(row);
  }
  view_.Changed(wcList);
  running_ = true;
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
  Transcoder.Stop();
}

void TWorkbench::OnPowerOffCheckBoxClicked(bool checked) { powerOffCheckBox.Checked = checked; }

void TWorkbench::OnTranscoderProgress(int index, int currentDuration, int totalOutputDuration) {
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

void TWorkbench::OnTranscoderTerminate(int index, bool finished, bool exception, const std::string& message) {
  if (index < 0) {
    if (running_) EndBatch();
    return;
  }
  if (index >= int(Sources.size())) return;
  TSourceRow& source = Sources[size_t(index)];
  source.State = finished ? rsFinished : exception ? rsFailed : rsStopped;
  if (finished) source.Progress = 100;
  source.FailureText = source.State == rsFailed ? "转换失败：" + FailureCause(message) : "";
  RenderRow(index);
  view_.Changed(wcList);
}

void TWorkbench::EndBatch() {
  running_ = false;
  SetIdleButtons();
  Transcoder.ClearTasks();
  ReleaseEmptyOutputs();
  // The window is going: the user asked for the stop, there is nobody to report to.
  if (closing_) return;
  if (powerOffCheckBox.Checked && view_.ConfirmPowerOff(PowerOffCountdownSeconds)) {
    std::string error;
    if (!Shutdown().PowerOff(error)) view_.ShowMessage("无法关机：" + error, mkError);
  }
  int finished = 0, failed = 0, stopped = 0;
  std::string failures;
  for (const TSourceRow& source : Sources) {
    finished += source.State == rsFinished;
    stopped += source.State == rsStopped || source.State == rsWaiting || source.State == rsRunning;
    if (source.State == rsFailed) {
      ++failed;
      failures += "\n" + ExtractFileName(source.Path) + "：" + source.FailureText;
    }
  }
  if (finished == int(Sources.size())) {
    view_.BatchEnded("视频成功转换！", true);
    view_.ShowMessage("视频成功转换！", mkInformation);
    return;
  }
  const std::string report = "转换结束：成功 " + std::to_string(finished) + " 个，失败 " +
                             std::to_string(failed) + " 个，已停止 " + std::to_string(stopped) + " 个。" +
                             failures;
  view_.BatchEnded(report, false);
  view_.ShowMessage(report, mkWarning);
}

bool TWorkbench::CloseRequested() {
  if (!running_) return true;
  if (!view_.AskYesNo("视频正在转换，是否停止转换并退出？")) return false;
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
