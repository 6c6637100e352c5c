// Run control: Start with its checks, one task per list row (task k is row k), pause, resume and
// stop, and the component's progress and termination. The component raises its events on worker
// threads under its Lock; the bound handlers only post them to the model's main thread.

#include <algorithm>

#include "app/workbench/workbench.h"
#include "engine/value_parsing.h"
#include "platform/file_utils.h"
#include "platform/main_thread.h"
#include "platform/system_shutdown.h"

namespace ok {

namespace {

// Seconds the user has to cancel the power-off.
constexpr int PowerOffCountdownSeconds = 30;

}  // namespace

TMainThread& TWorkbench::MainThread() const {
  return environment_.MainThread ? *environment_.MainThread : CurrentMainThread();
}

TSystemShutdown& TWorkbench::Shutdown() const {
  return environment_.Shutdown ? *environment_.Shutdown : DefaultSystemShutdown();
}

void TWorkbench::SetIdleButtons() {
  btnStart.Enabled = true;
  btnPause.Enabled = btnResume.Enabled = btnStop.Enabled = false;
  sSpeedButton1.Enabled = sSpeedButton2.Enabled = sSpeedButton3.Enabled = sSpeedButton7.Enabled = true;
  view_.Changed(wcRunButtons);
}

void TWorkbench::SetRunningButtons() {
  btnStart.Enabled = btnResume.Enabled = false;
  btnPause.Enabled = btnStop.Enabled = true;
  sSpeedButton1.Enabled = sSpeedButton2.Enabled = sSpeedButton3.Enabled = sSpeedButton7.Enabled = false;
  view_.Changed(wcRunButtons);
}

void TWorkbench::BindTranscoderEvents() {
  TMainThread* main = &MainThread();
  const std::weak_ptr<bool> alive = alive_;
  Transcoder1.OnProgress = [this, main, alive](int index, int, int, int currentDuration, float, float,
                                               int64_t, int totalOutputDuration) {
    main->Post([this, alive, index, currentDuration, totalOutputDuration] {
      if (alive.lock()) Transcoder1Progress(index, currentDuration, totalOutputDuration);
    });
  };
  Transcoder1.OnTerminate = [this, main, alive](int index, bool finished, bool exception,
                                                const std::string& message) {
    main->Post([this, alive, index, finished, exception, message] {
      if (alive.lock()) Transcoder1Terminate(index, finished, exception, message);
    });
  };
}

void TWorkbench::btnStartClick() {
  if (running_) return;
  if (sListView1.Rows.empty()) {
    view_.ShowMessage("请选择视频！", mkError);
    return;
  }
  if (!CheckSettingsPage()) return;
  const std::string folder = TrimText(sComboEdit1.Text);
  if (folder.empty() || !ForceDirectories(folder)) {
    view_.ShowMessage("未能创建 " + folder + " 目录！", mkError);
    return;
  }

  Transcoder1.SetLogLevel(llInfo);
  Transcoder1.ThreadPriority = tpLower;
  SetRunningButtons();
  Transcoder1.ClearTasks();
  BindTranscoderEvents();
  for (int row = 0; row < int(sListView1.Rows.size()); ++row) {
    view_.ProcessMessages();
    std::string failure;
    try {
      TOutputOptions output = BuildOutputOptions(row);
      TInputOptions input = BuildInputOptions(row);
      if (AddConversionTask(input, output) != row) failure = Transcoder1.LastError();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (failure.empty() && Transcoder1.Tasks().Count() != row + 1) failure = "未知错误";
    if (!failure.empty()) {
      Transcoder1.ClearTasks();
      SetIdleButtons();
      view_.ShowMessage("无法建立 " + Sources[size_t(row)].Path + " 的转换任务：\n" + failure, mkError);
      return;
    }
    sListView1.Rows[size_t(row)].SubItems.resize(4);
    sListView1.Rows[size_t(row)].SubItems[3].clear();
  }
  view_.Changed(wcList);
  batchSize_ = int(sListView1.Rows.size());
  batchFinished_ = batchFailed_ = batchStopped_ = 0;
  running_ = true;
  Transcoder1.Start(std::max(1, ParallelTasks));
}

void TWorkbench::btnPauseClick() {
  if (!running_) return;
  btnPause.Enabled = false;
  btnResume.Enabled = true;
  view_.Changed(wcRunButtons);
  Transcoder1.Pause();
}

void TWorkbench::btnResumeClick() {
  if (!running_) return;
  btnPause.Enabled = true;
  btnResume.Enabled = false;
  view_.Changed(wcRunButtons);
  Transcoder1.Resume();
}

void TWorkbench::btnStopClick() {
  if (!running_) return;
  btnStop.Enabled = false;
  view_.Changed(wcRunButtons);
  Transcoder1.Stop();
}

void TWorkbench::sCheckBox1Click(bool checked) { sCheckBox1.Checked = checked; }

void TWorkbench::Transcoder1Progress(int index, int currentDuration, int totalOutputDuration) {
  if (index < 0 || index >= int(sListView1.Rows.size())) return;
  std::vector<std::string>& items = sListView1.Rows[size_t(index)].SubItems;
  items.resize(std::max<size_t>(items.size(), 4));
  // The audio tail can run a little past the expected duration: a running task shows at most 100%.
  const int64_t percent = totalOutputDuration < 1
                              ? -1
                              : std::min<int64_t>(100, int64_t(currentDuration) * 100 / totalOutputDuration);
  items[3] = percent < 0 ? "" : std::to_string(percent) + "%";
  view_.Changed(wcList);
}

void TWorkbench::Transcoder1Terminate(int index, bool finished, bool exception, const std::string& message) {
  if (index < 0) {
    if (running_) EndBatch();
    return;
  }
  if (finished)
    ++batchFinished_;
  else if (exception)
    ++batchFailed_;
  else
    ++batchStopped_;
  const bool hasRow = index < int(sListView1.Rows.size());
  if (finished && hasRow) {
    std::vector<std::string>& items = sListView1.Rows[size_t(index)].SubItems;
    items.resize(std::max<size_t>(items.size(), 4));
    items[3] = "100%";
    view_.Changed(wcList);
  }
  if (exception) {
    const std::string file = hasRow && size_t(index) < Sources.size() ? Sources[size_t(index)].Path : "";
    view_.ShowMessage(file.empty() ? message : "转换失败：" + file + "\n" + message, mkWarning);
  }
}

void TWorkbench::EndBatch() {
  running_ = false;
  SetIdleButtons();
  Transcoder1.ClearTasks();
  if (sCheckBox1.Checked && view_.ConfirmPowerOff(PowerOffCountdownSeconds)) {
    std::string error;
    if (!Shutdown().PowerOff(error)) view_.ShowMessage("无法关机：" + error, mkError);
  }
  if (batchFinished_ == batchSize_)
    view_.ShowMessage("视频成功转换！", mkInformation);
  else
    view_.ShowMessage("转换结束：成功 " + std::to_string(batchFinished_) + " 个，失败 " +
                          std::to_string(batchFailed_) + " 个，已停止 " + std::to_string(batchStopped_) +
                          " 个。",
                      mkWarning);
}

}  // namespace ok
