#pragma once
// The transcoding component: an ordered list of tasks (one engine instance each, one input and
// one output file), run one after another on the calling thread or several at a time on worker
// threads, with their progress, log lines, hooks and termination as the component's events.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "component/transcoder_events.h"
#include "component/transcoder_options.h"
#include "engine/custom_ffmpeg.h"
#include "media/av_probe.h"

namespace ok {

class TFFmpeg : public TCustomFFmpeg {
 public:
  TFFmpeg() = default;
  // Stops the task and waits for its thread before anything of it goes.
  ~TFFmpeg() override;

  // The position in the list (the AIndex of its events); -1 outside a list.
  std::atomic<int> Index{-1};
  // The thread that runs the task; 0 when starting created none.
  std::atomic<uint32_t> ThreadID{0};
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;
  // Reads the task's input once it is open; does not own it.
  TAVProbe Probe;
  // The output file with links and ".." resolved, once SetOutput opened it ("" for none or for
  // another protocol's address).
  std::string OutputPath;
  // What AddTask and SetOutput were given: the task opens its files again when it starts.
  std::string InputFileName;
  std::string OutputFileName;
  bool InputOptionsGiven = false;
  bool OutputOptionsGiven = false;

  // Run-loop bookkeeping of the component, under its Lock.
  bool TerminationReported = false;  // DoTerminate has run for it
  bool DispatchedInRun = false;      // the current run has started it (or tried to)
  bool CountedInRun = false;         // the current run has counted it as finished
};

class TFFmpegList {
 public:
  // Places in the list, released ones included.
  int Count() const { return int(items_.size()); }
  // Raises std::out_of_range for an index outside the list or a released task.
  TFFmpeg& Items(int i) const;
  // Task i, or nullptr when i is outside the list or the task was released.
  TFFmpeg* Find(int i) const { return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr; }
  // Appends; the task's Index becomes its position, which is returned.
  int Add(std::unique_ptr<TFFmpeg> task);
  // Frees task i; the tasks behind it move up.
  void Delete(int i);
  void Clear();
  // Takes task i out (its Index becomes -1) without freeing it; the tasks behind it move up.
  std::unique_ptr<TFFmpeg> Extract(int i);
  std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
  // Takes task i out but keeps its place empty, so that no other task's index changes.
  std::unique_ptr<TFFmpeg> Release(int i);
  TFFmpeg* FindByThreadID(uint32_t threadId) const;
  // The tasks not released.
  int Held() const { return held_; }

 private:
  std::vector<std::unique_ptr<TFFmpeg>> items_;
  int held_ = 0;
};

class TCustomTranscoder {
 public:
  TCustomTranscoder();
  virtual ~TCustomTranscoder();
  TCustomTranscoder(const TCustomTranscoder&) = delete;
  TCustomTranscoder& operator=(const TCustomTranscoder&) = delete;

  // Loads the media libraries from `path` (then the system's search), installs the library log
  // callback and the log level. False with LastError set on failure.
  bool LoadLibraries(const std::string& path);
  bool LibrariesLoaded() const;
  // Creates a task over the input `fileName`; its index, or -1 with LastError set. An empty
  // FileName in `options` is filled with `fileName`.
  int AddTask(const std::string& fileName, TInputOptions* options = nullptr);
  // The file `fileName` names with links and ".." resolved; "" for another protocol's address.
  static std::string ResolvedOutputPath(const std::string& fileName);
  // Applies `options` to task `index` and opens its output; false with LastError set. A file
  // that another task held by the component writes is refused.
  bool SetOutput(int index, const std::string& fileName, TOutputOptions* options = nullptr);
  // Frees the task; the tasks behind it move up. A running task is stopped and waited for.
  void RemoveTask(int index);
  void ClearTasks();
  // Count > 0: up to Count tasks at once on worker threads, each termination starting the next;
  // otherwise every task in list order on the calling thread before Start returns. During a
  // run on worker threads the tasks added since join it, and start as soon as a slot is free.
  void Start(int count);
  // No further task starts; every task is told to stop.
  void Stop();
  void Pause();
  void Resume();
  TAVProbe& Probe() { return probe_; }

  const std::string& LastError() const { return lastError_; }
  TFFmpegList& Tasks() { return tasks_; }
  // The run counters, read under the Lock.
  int NextTaskIndex() const;
  int FinishedCount() const;
  int RemainingCount() const;
  bool Async() const;
  // A run has a termination to report yet (its last is OnTerminate(-1, ...)).
  bool Running() const;
  // The tasks whose end is not reported yet (waiting or running).
  int PendingCount() const;
  // How many tasks a caller keeps set up ahead of a run on `parallel` workers: enough that a slot
  // seldom waits for the next to be added, few enough that a batch's size costs nothing.
  static int TasksAtOnce(int parallel);
  // Frees the tasks whose end has been reported; each keeps its place in the list (and every
  // index stays), so that a long batch holds only the tasks still to end.
  void ReleaseEndedTasks();

  // One line of the library log, logged on thread `threadId` at engine level `level`.
  void DoLibraryLog(uint32_t threadId, int level, const std::string& line);

 protected:
  // Properties and events, published by TTranscoder.
  std::string About;
  static std::string Version() { return "1.0"; }
  TLogLevel LogLevel() const { return logLevel_; }
  void SetLogLevel(TLogLevel value);
  int ProgressInterval() const { return progressInterval_; }
  void SetProgressInterval(int value);
  TConvertPriority ThreadPriority = tpNormal;
  bool Preview() const { return preview_; }
  void SetPreview(bool value);
  bool PreviewBitmap() const { return previewBitmap_; }
  void SetPreviewBitmap(bool value);

  TBeforeHookEvent OnBeforeHook;
  TCustomHookEvent OnCustomHook;
  TLogEvent OnLog;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

  // What the tasks' handlers call; OnLog, OnProgress and OnTerminate are raised under the Lock.
  virtual void DoBeforeHook(TFFmpeg* task, int64_t pts, THookAction& action);
  virtual void DoCustomHook(TFFmpeg* task, TBitmap& bitmap, int frameNumber, int64_t pts, bool& update,
                            bool& stopHook);
  virtual void DoLog(TFFmpeg* task, int level, const std::string& msg);
  // Raises OnPreviewBitmap on the main thread; the worker waits for it.
  virtual void DoPreviewBitmap(TFFmpeg* task, const TBitmap& bitmap, int frameNumber, int64_t pts);
  virtual void DoProgress(TFFmpeg* task, int frameNumber, int fps, int currentDuration, float quality,
                          float bitRate, int64_t currentSize, int totalOutputDuration);
  virtual void DoTerminate(TFFmpeg* task);

 private:
  // The run loop; everything below runs under the Lock.
  bool StartNext();
  int TakeNext();
  void RunTask(TFFmpeg& task);
  void CountFinished(TFFmpeg& task);
  void CheckRunComplete();
  void AllDone();
  void ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& options);
  // The input, then the output, from the task's stored records; they raise the engine's failures.
  void OpenTaskInput(TFFmpeg& task);
  void OpenTaskOutput(TFFmpeg& task);
  // On the task's thread when it starts: fresh options and both files opened again.
  void SetUpTask(TFFmpeg& task);
  void ApplyLibraryLogLevel();
  uint8_t HookFlags() const;
  void SetHookBit(uint8_t bit, bool value);

  std::string lastError_;
  TLogLevel logLevel_ = llInfo;
  int progressInterval_ = 500;  // ms
  bool preview_ = false;
  bool previewBitmap_ = false;
  TAVProbe probe_;
  TFFmpegList tasks_;
  // Serialises the log, progress and termination events and the run-loop bookkeeping. Recursive:
  // a termination starts the next task, whose start may fail and report at once on this thread.
  mutable std::recursive_mutex Lock;
  int nextTaskIndex_ = -1;
  bool async_ = false;
  int finishedCount_ = 0;
  int remainingCount_ = 0;
  int parallel_ = 0;    // worker threads the run uses at most
  int dispatched_ = 0;  // tasks the run started whose end is not reported yet
  // Reported and not yet released.
  std::vector<TFFmpeg*> ended_;
  // A termination is still owed its final OnTerminate(-1, ...).
  bool runActive_ = false;
};

class TTranscoder : public TCustomTranscoder {
 public:
  using TCustomTranscoder::About;
  using TCustomTranscoder::LogLevel;
  using TCustomTranscoder::OnBeforeHook;
  using TCustomTranscoder::OnCustomHook;
  using TCustomTranscoder::OnLog;
  using TCustomTranscoder::OnPreviewBitmap;
  using TCustomTranscoder::OnProgress;
  using TCustomTranscoder::OnTerminate;
  using TCustomTranscoder::Preview;
  using TCustomTranscoder::PreviewBitmap;
  using TCustomTranscoder::ProgressInterval;
  using TCustomTranscoder::SetLogLevel;
  using TCustomTranscoder::SetPreview;
  using TCustomTranscoder::SetPreviewBitmap;
  using TCustomTranscoder::SetProgressInterval;
  using TCustomTranscoder::ThreadPriority;
  using TCustomTranscoder::Version;
};

}  // namespace ok
