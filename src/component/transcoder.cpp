#include "component/transcoder.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <utility>

#include "engine/run/log_levels.h"
#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "platform/main_thread.h"
#include "platform/worker_thread.h"

namespace ok {

namespace {

const char* const TargetTypes[] = {"vcd", "svcd", "dvd"};

const char* NormName(int norm) {
  switch (norm) {
    case 1:
      return "pal";
    case 2:
      return "ntsc";
    default:
      return "auto";
  }
}

const char* Flag(bool value) { return value ? "1" : "0"; }

}  // namespace

TFFmpeg::~TFFmpeg() { StopAndWait(); }

TFFmpeg& TFFmpegList::Items(int i) const {
  TFFmpeg* task = items_.at(size_t(i)).get();
  if (!task) throw std::out_of_range("task " + std::to_string(i) + " was released");
  return *task;
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
  task->Index = Count();
  items_.push_back(std::move(task));
  ++held_;
  return Count() - 1;
}

void TFFmpegList::Delete(int i) { Extract(i).reset(); }

void TFFmpegList::Clear() { ExtractAll().clear(); }

std::unique_ptr<TFFmpeg> TFFmpegList::Extract(int i) {
  std::unique_ptr<TFFmpeg> task = std::move(items_.at(size_t(i)));
  items_.erase(items_.begin() + i);
  if (task) {
    task->Index = -1;
    --held_;
  }
  for (int k = i; k < Count(); ++k)
    if (items_[size_t(k)]) items_[size_t(k)]->Index = k;
  return task;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::ExtractAll() {
  std::vector<std::unique_ptr<TFFmpeg>> tasks = std::move(items_);
  items_.clear();
  held_ = 0;
  for (auto& task : tasks)
    if (task) task->Index = -1;
  return tasks;
}

std::unique_ptr<TFFmpeg> TFFmpegList::Release(int i) {
  std::unique_ptr<TFFmpeg> task = std::move(items_.at(size_t(i)));
  if (task) {
    task->Index = -1;
    --held_;
  }
  return task;
}

TFFmpeg* TFFmpegList::FindByThreadID(uint32_t threadId) const {
  for (const auto& task : items_)
    if (task && task->ThreadID == threadId) return task.get();
  return nullptr;
}

TCustomTranscoder::TCustomTranscoder() { RegisterLiveComponent(this); }

TCustomTranscoder::~TCustomTranscoder() {
  UnregisterLiveComponent(this);
  std::vector<std::unique_ptr<TFFmpeg>> tasks;
  {
    // Also waits for an event in progress. No run continues, and no task left reports its end.
    std::lock_guard lock(Lock);
    runActive_ = false;
    remainingCount_ = 0;
    tasks = tasks_.ExtractAll();
    ended_.clear();
  }
  // Outside the Lock: a running task's last reports need it while it is waited for.
  tasks.clear();
}

bool TCustomTranscoder::LoadLibraries(const std::string& path) {
  FFLoader.SetLibraryPath(path);
  if (!FFLoader.LoadLibs(RequiredLibraries)) {
    lastError_ = FFLoader.GetLastErrMsg();
    return false;
  }
  FF.av_log_set_callback(&LogCallback);
  ApplyLibraryLogLevel();
  return true;
}

bool TCustomTranscoder::LibrariesLoaded() const { return FFLoader.AllLoaded(RequiredLibraries); }

void TCustomTranscoder::ApplyLibraryLogLevel() {
  if (!FFLoader.IsLoaded(ltAVUtil) || !FF.av_log_set_level || !FF.av_log_get_level) return;
  FF.av_log_set_level(LibraryLevelOf(int(logLevel_) - 1));
  LogThreshold = EngineLevelOf(FF.av_log_get_level());
}

void TCustomTranscoder::SetLogLevel(TLogLevel value) {
  logLevel_ = value;
  ApplyLibraryLogLevel();
}

void TCustomTranscoder::SetProgressInterval(int value) { progressInterval_ = value <= 100 ? 100 : value; }

uint8_t TCustomTranscoder::HookFlags() const {
  return uint8_t((preview_ ? hfPreview : 0) | (previewBitmap_ ? hfPreviewBitmap : 0));
}

void TCustomTranscoder::SetHookBit(uint8_t bit, bool value) {
  std::lock_guard lock(Lock);
  for (int i = 0; i < tasks_.Count(); ++i) {
    TFFmpeg* task = tasks_.Find(i);
    if (!task) continue;
    uint8_t flags = 0;
    {
      std::lock_guard preview(PreviewLock);
      flags = task->HookFlags;
    }
    task->SetHookFlags(uint8_t(value ? flags | bit : flags & ~bit));
  }
}

void TCustomTranscoder::SetPreview(bool value) {
  SetHookBit(hfPreview, value);
  preview_ = value;
}

void TCustomTranscoder::SetPreviewBitmap(bool value) {
  SetHookBit(hfPreviewBitmap, value);
  previewBitmap_ = value;
}

int TCustomTranscoder::NextTaskIndex() const {
  std::lock_guard lock(Lock);
  return nextTaskIndex_;
}

int TCustomTranscoder::FinishedCount() const {
  std::lock_guard lock(Lock);
  return finishedCount_;
}

int TCustomTranscoder::RemainingCount() const {
  std::lock_guard lock(Lock);
  return remainingCount_;
}

bool TCustomTranscoder::Async() const {
  std::lock_guard lock(Lock);
  return async_;
}

bool TCustomTranscoder::Running() const {
  std::lock_guard lock(Lock);
  return runActive_;
}

int TCustomTranscoder::TasksAtOnce(int parallel) { return std::max(64, 4 * parallel); }

int TCustomTranscoder::PendingCount() const {
  std::lock_guard lock(Lock);
  return tasks_.Held() - int(ended_.size());
}

void TCustomTranscoder::ReleaseEndedTasks() {
  std::vector<std::unique_ptr<TFFmpeg>> released;
  {
    std::lock_guard lock(Lock);
    for (TFFmpeg* task : ended_) released.push_back(tasks_.Release(task->Index));
    ended_.clear();
  }
  // Outside the Lock: a task's thread may still be leaving its report, which needs it.
  released.clear();
}

int TCustomTranscoder::AddTask(const std::string& fileName, TInputOptions* options) {
  auto owned = std::make_unique<TFFmpeg>();
  TFFmpeg* task = owned.get();
  task->OnLog = [this, task](int level, const std::string& text) { DoLog(task, level, text); };
  try {
    task->ResetOptions();
    task->SetVerbose(int(logLevel_) - 1);
    task->SetHookFlags(HookFlags());
    task->OnPreviewBitmap = [this, task](const TBitmap& bitmap, int frameNumber, int64_t pts) {
      DoPreviewBitmap(task, bitmap, frameNumber, pts);
    };
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      task->InputOptions = *options;
    } else {
      ResetInputOptions(task->InputOptions);
    }
    task->InputFileName = fileName;
    task->InputOptionsGiven = options != nullptr;
    OpenTaskInput(*task);
    task->OnProgress = [this, task](int frameNumber, int fps, int currentDuration, float quality,
                                    float bitRate, int64_t currentSize, int totalOutputDuration) {
      DoProgress(task, frameNumber, fps, currentDuration, quality, bitRate, currentSize, totalOutputDuration);
    };
    task->OnTerminate = [this, task] { DoTerminate(task); };
    std::lock_guard lock(Lock);
    return tasks_.Add(std::move(owned));
  } catch (const std::exception& e) {
    // The task goes without ever joining the list: nothing of it is reported.
    task->OnLog = nullptr;
    lastError_ = e.what();
    return -1;
  }
}

std::string TCustomTranscoder::ResolvedOutputPath(const std::string& fileName) {
  const std::string local = LocalPathOf(fileName);
  if (local.empty()) return "";
  std::error_code ec;
  return std::filesystem::weakly_canonical(std::filesystem::absolute(local, ec), ec).string();
}

bool TCustomTranscoder::SetOutput(int index, const std::string& fileName, TOutputOptions* options) {
  TFFmpeg* task = nullptr;
  std::string path;
  {
    std::lock_guard lock(Lock);
    task = &tasks_.Items(index);
    // Two tasks writing one file would both finish and one result would be lost.
    path = ResolvedOutputPath(fileName);
    for (int i = 0; i < tasks_.Count() && !path.empty(); ++i)
      if (const TFFmpeg* other = tasks_.Find(i); i != index && other && other->OutputPath == path) {
        lastError_ = fileName + " is already the output of task " + std::to_string(i);
        return false;
      }
  }
  try {
    // An earlier SetOutput let the input go.
    if (task->NbInputFiles == 0) OpenTaskInput(*task);
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      task->OutputOptions = *options;
    } else {
      ResetOutputOptions(task->OutputOptions);
    }
    task->OutputFileName = fileName;
    task->OutputOptionsGiven = options != nullptr;
    OpenTaskOutput(*task);
    // Both files opened, so what they refuse is known now. Nothing stays open or allocated while
    // the task waits: a batch is limited neither by open files nor by memory.
    task->Probe.CloseFile();
    task->ReleaseState();
    task->OnSetUp = [this, task] { SetUpTask(*task); };
    std::lock_guard lock(Lock);
    task->OutputPath = path;
    return true;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return false;
  }
}

void TCustomTranscoder::OpenTaskInput(TFFmpeg& task) {
  if (task.InputOptionsGiven) {
    const TInputOptions& options = task.InputOptions;
    task.ApplyOptionLines(options.ExtraOptions, 0);
    task.SetInputFormat(options.FileFormat);
    if (options.StartTime > 0) task.SetStartTime(int64_t(options.StartTime) * 1000);
    task.SetStartTime(options.StartTimeUS);
    task.SetProgramID(options.ProgramID);
  }
  task.OpenInputFile(task.InputFileName);
  task.Probe.AttachContext(task.InputFiles[size_t(task.NbInputFiles - 1)].Context.get());
}

void TCustomTranscoder::OpenTaskOutput(TFFmpeg& task) {
  if (task.OutputOptionsGiven) ApplyOutputOptions(task, task.OutputOptions);
  task.OpenOutput(task.OutputFileName);
  if (task.OutputOptionsGiven) task.ApplyOptionLines(task.OutputOptions.ExtraOptions, 1);
}

void TCustomTranscoder::SetUpTask(TFFmpeg& task) {
  uint8_t hookFlags = 0;
  {
    std::lock_guard preview(PreviewLock);
    hookFlags = task.HookFlags;
  }
  const int64_t progressInterval = task.ProgressInterval;
  const int verbose = task.Verbose;
  // The run's own flags stay: it is running, and a stop asked for meanwhile still holds.
  task.ResetOptions(true);
  task.ProgressInterval = progressInterval;
  task.SetVerbose(verbose);
  task.SetHookFlags(hookFlags);
  OpenTaskInput(task);
  OpenTaskOutput(task);
}

void TCustomTranscoder::ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& o) {
  if (o.Target >= 1 && o.Target <= 3)
    task.SetTarget(TargetTypes[o.Target - 1], NormName(o.TargetNorm),
                   o.TargetDefaultNorm == 1 ? "pal" : "ntsc");
  task.ApplyOptionLines(o.ExtraOptions, 0);

  // The declared order of the record: FrameSize comes before the crops that are taken off it, the
  // µs fields after their ms twins so that they win.
  task.SetOutputFormat(o.FileFormat);
  if (o.PacketSize > 0) task.SetGenericIntOption("packetsize", o.PacketSize);
  if (o.MuxRate > 0) task.SetGenericIntOption("muxrate", o.MuxRate);
  task.SetMuxDelay(o.MuxDelay);
  task.SetMuxPreload(o.MuxPreload);
  if (!o.AudioCodec.empty()) task.SetAudioCodec(o.AudioCodec);
  task.ApplyOption("an", Flag(o.DisableAudio));
  task.SetAudioVolume(o.AudioVolume);
  if (o.AudioChannels > 0) task.ApplyOption("ac", std::to_string(o.AudioChannels));
  if (o.AudioSampleRate > 0) task.ApplyOption("ar", std::to_string(o.AudioSampleRate));
  if (o.AudioBitrate > 0) task.SetGenericIntOption("ab", o.AudioBitrate);
  if (o.AudioBitrateTolerance > 0) task.SetGenericIntOption("abt", o.AudioBitrateTolerance);
  task.ApplyOption("alang", o.AudioLanguage);
  task.SetAudioSyncMethod(o.AudioSync);
  if (!o.AudioTag.empty()) task.SetAudioTag(o.AudioTag);
  if (!o.VideoCodec.empty()) task.SetVideoCodec(o.VideoCodec);
  task.ApplyOption("vn", Flag(o.DisableVideo));
  if (!o.FrameRate.empty()) task.SetFrameRate(o.FrameRate);
  if (!o.FrameSize.empty()) task.SetFrameSize(o.FrameSize);
  if (!o.FrameAspectRatio.empty()) task.SetFrameAspectRatio(o.FrameAspectRatio);
  if (o.CropTop >= 0) task.SetCropTop(o.CropTop);
  if (o.CropBottom >= 0) task.SetCropBottom(o.CropBottom);
  if (o.CropLeft >= 0) task.SetCropLeft(o.CropLeft);
  if (o.CropRight >= 0) task.SetCropRight(o.CropRight);
  if (o.PadTop >= 0) task.SetPadTop(o.PadTop);
  if (o.PadBottom >= 0) task.SetPadBottom(o.PadBottom);
  if (o.PadLeft >= 0) task.SetPadLeft(o.PadLeft);
  if (o.PadRight >= 0) task.SetPadRight(o.PadRight);
  task.SetPadColor(ColorToRGB(o.PadColor));
  if (o.GopSize > 0) task.SetGenericIntOption("gop", o.GopSize);
  if (o.VideoBitrate > 0) task.SetGenericIntOption("vb", o.VideoBitrate);
  if (o.VideoMaxRate > 0) task.SetGenericIntOption("maxrate", o.VideoMaxRate);
  if (o.VideoMinRate > 0) task.SetGenericIntOption("minrate", o.VideoMinRate);
  if (o.VideoBitrateTolerance > 0) task.SetGenericIntOption("bt", o.VideoBitrateTolerance);
  if (o.VideoBufSize > 0) task.SetGenericIntOption("bufsize", o.VideoBufSize);
  task.SetVideoSyncMethod(o.VideoSync);
  if (!o.VideoTag.empty()) task.SetVideoTag(o.VideoTag);
  if (!o.VideoFilters.empty()) task.ApplyOption("vfilters", o.VideoFilters);
  task.ApplyOption("sn", Flag(o.DisableSubtitle));
  task.ApplyOption("slang", o.SubtitleLanguage);
  task.CopyTs = o.CopyTimestamps;
  if (o.StartTime > 0) task.SetStartTime(int64_t(o.StartTime) * 1000);
  task.SetStartTime(o.StartTimeUS);
  task.SetRecordingTimeMs(o.RecordingTime);
  task.SetRecordingTime(o.RecordingTimeUS);

  const TStreamInfo& m = o.Metadata;
  if (m.TimeStamp == 0)
    task.SetRecTimestamp(int64_t(std::time(nullptr)));
  else if (m.TimeStamp > 0)
    task.SetRecTimestamp(DateTimeToUnixSeconds(m.TimeStamp));
  if (m.Year > 0) task.AddMetadata("year", std::to_string(m.Year));
  if (m.Track > 0) task.AddMetadata("track", std::to_string(m.Track));
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Copyright},
      {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
  for (const auto& [key, value] : texts)
    if (!value->empty()) task.AddMetadata(key, *value);

  TFFmpeg* t = &task;
  if (o.CustomHook) {
    task.OnCustomHook = [this, t](TBitmap& bitmap, int frameNumber, int64_t pts, bool& update,
                                  bool& stopHook) {
      DoCustomHook(t, bitmap, frameNumber, pts, update, stopHook);
    };
  } else if (o.BeforeHook) {
    task.OnBeforeHook = [this, t](int64_t pts, int& hookAction) {
      THookAction action = THookAction(hookAction);
      DoBeforeHook(t, pts, action);
      hookAction = action;
    };
  } else {
    task.SetTimeRanges(ParseTimeRanges(o.TimeRanges));
  }
}

void TCustomTranscoder::RemoveTask(int index) {
  std::unique_ptr<TFFmpeg> removed;
  {
    std::lock_guard lock(Lock);
    removed = tasks_.Extract(index);
    if (removed) std::erase(ended_, removed.get());
    if (runActive_) {
      // Keep the counters of the run in step with the shorter list; the tasks still to start are
      // those from nextTaskIndex_ on, remainingCount_ of them.
      if (index < nextTaskIndex_) {
        --nextTaskIndex_;
        if (!removed || removed->CountedInRun) --finishedCount_;
      } else if (index < nextTaskIndex_ + remainingCount_) {
        --remainingCount_;
      }
      const bool wasRunning = removed && removed->DispatchedInRun && !removed->TerminationReported;
      if (wasRunning) --dispatched_;
      if (wasRunning && async_ && remainingCount_ > 0) StartNext();  // it no longer reports its end
      CheckRunComplete();
    }
  }
  // Outside the Lock: a running task's last reports need it while it is waited for.
  removed.reset();
}

void TCustomTranscoder::ClearTasks() {
  std::vector<std::unique_ptr<TFFmpeg>> removed;
  {
    std::lock_guard lock(Lock);
    removed = tasks_.ExtractAll();
    ended_.clear();
    remainingCount_ = 0;
    finishedCount_ = 0;
    dispatched_ = 0;
    nextTaskIndex_ = -1;
    lastError_.clear();
    async_ = false;
    CheckRunComplete();
  }
  removed.clear();
}

void TCustomTranscoder::Start(int count) {
  int slots = count;
  {
    std::lock_guard lock(Lock);
    if (runActive_ && async_ && count > 0) {
      // The tasks added since join the run that goes on; the free slots take them now.
      parallel_ = count;
      remainingCount_ = tasks_.Count() - nextTaskIndex_;
      slots = parallel_ - dispatched_;
      if (slots <= 0) return;
    } else {
      ClearLogList();
      nextTaskIndex_ = 0;
      finishedCount_ = 0;
      dispatched_ = 0;
      parallel_ = count;
      async_ = count > 0;
      remainingCount_ = tasks_.Count();
      runActive_ = remainingCount_ > 0;
      for (int i = 0; i < tasks_.Count(); ++i)
        if (TFFmpeg* task = tasks_.Find(i)) task->DispatchedInRun = task->CountedInRun = false;
    }
  }
  while (StartNext()) {
    if (slots > 0 && --slots <= 0) break;
  }
}

bool TCustomTranscoder::StartNext() {
  std::unique_lock lock(Lock);
  const int i = TakeNext();
  if (i < 0) return false;
  TFFmpeg& task = tasks_.Items(i);
  if (!async_) lock.unlock();  // a synchronous run must not keep Stop from other threads waiting
  RunTask(task);
  return true;
}

int TCustomTranscoder::TakeNext() {
  while (remainingCount_ > 0) {
    if (nextTaskIndex_ >= tasks_.Count()) {
      remainingCount_ = 0;
      break;
    }
    --remainingCount_;
    TFFmpeg* task = tasks_.Find(nextTaskIndex_++);
    // A released task ended before and reports no more: it counts as finished now, or the run
    // would never end; so does one that ended and is still held.
    if (!task) {
      ++finishedCount_;
      continue;
    }
    task->DispatchedInRun = true;
    if (!task->TerminationReported) {
      ++dispatched_;
      return task->Index;
    }
    CountFinished(*task);
  }
  CheckRunComplete();
  return -1;
}

void TCustomTranscoder::RunTask(TFFmpeg& task) {
  task.ProgressInterval = int64_t(progressInterval_) * 1000;
  task.SetVerbose(int(logLevel_) - 1);
  if (async_) {
    TFFmpegThread* thread = task.Start(true, ThreadPriority);
    task.ThreadID = thread ? thread->ThreadID() : 0;
    if (thread) thread->Resume();
    return;
  }
  // The thread that runs a synchronous task is the caller's (the main thread's when it calls).
  task.ThreadID = CurrentThreadID();
  task.Start(false, ThreadPriority);
}

void TCustomTranscoder::CountFinished(TFFmpeg& task) {
  if (task.CountedInRun) return;
  task.CountedInRun = true;
  ++finishedCount_;
}

void TCustomTranscoder::CheckRunComplete() {
  if (runActive_ && remainingCount_ <= 0 && finishedCount_ >= tasks_.Count()) AllDone();
}

void TCustomTranscoder::AllDone() {
  runActive_ = false;
  if (OnTerminate) OnTerminate(-1, true, false, "");
  ClearLogList();
}

void TCustomTranscoder::Stop() {
  std::lock_guard lock(Lock);
  remainingCount_ = 0;
  bool reportsPending = false;
  for (int i = 0; i < tasks_.Count(); ++i) {
    TFFmpeg* task = tasks_.Find(i);
    if (!task) continue;
    if (!task->TerminationReported) reportsPending = true;
    task->Stop();
  }
  // Every task not yet reported terminates now; the last one ends the run.
  if (reportsPending) runActive_ = true;
}

void TCustomTranscoder::Pause() {
  std::lock_guard lock(Lock);
  for (int i = 0; i < tasks_.Count(); ++i)
    if (TFFmpeg* task = tasks_.Find(i)) task->Pause();
}

void TCustomTranscoder::Resume() {
  std::lock_guard lock(Lock);
  for (int i = 0; i < tasks_.Count(); ++i)
    if (TFFmpeg* task = tasks_.Find(i)) task->Resume();
}

void TCustomTranscoder::DoLibraryLog(uint32_t threadId, int level, const std::string& line) {
  std::lock_guard lock(Lock);
  DoLog(tasks_.FindByThreadID(threadId), level, line);
}

void TCustomTranscoder::DoBeforeHook(TFFmpeg* task, int64_t pts, THookAction& action) {
  if (OnBeforeHook) OnBeforeHook(task->Index, pts, action);
}

void TCustomTranscoder::DoCustomHook(TFFmpeg* task, TBitmap& bitmap, int frameNumber, int64_t pts,
                                     bool& update, bool& stopHook) {
  if (OnCustomHook) OnCustomHook(task->Index, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomTranscoder::DoLog(TFFmpeg* task, int level, const std::string& msg) {
  std::lock_guard lock(Lock);
  if (OnLog) OnLog(task ? task->Index.load() : -1, LogLevelOfEngineLevel(level), msg);
}

void TCustomTranscoder::DoPreviewBitmap(TFFmpeg* task, const TBitmap& bitmap, int frameNumber, int64_t pts) {
  const int index = task->Index;
  if (!OnPreviewBitmap || index < 0) return;
  // The arguments travel with the call: several workers may hand over previews at once.
  CurrentMainThread().RunAndWait([this, index, &bitmap, frameNumber, pts] {
    if (OnPreviewBitmap) OnPreviewBitmap(index, bitmap, frameNumber, pts);
  });
}

void TCustomTranscoder::DoProgress(TFFmpeg* task, int frameNumber, int fps, int currentDuration,
                                   float quality, float bitRate, int64_t currentSize,
                                   int totalOutputDuration) {
  std::lock_guard lock(Lock);
  if (OnProgress && task->Index >= 0)
    OnProgress(task->Index, frameNumber, fps, currentDuration, quality, bitRate, currentSize,
               totalOutputDuration);
}

void TCustomTranscoder::DoTerminate(TFFmpeg* task) {
  std::lock_guard lock(Lock);
  // The run closed the input the probe was given.
  task->Probe.CloseFile();
  const bool reportedBefore = task->TerminationReported;
  task->TerminationReported = true;
  // A task taken out of the list reports nothing; its removal has settled the counters.
  if (task->Index < 0) return;
  if (!reportedBefore) {
    ended_.push_back(task);
    if (task->DispatchedInRun && dispatched_ > 0) --dispatched_;
  }
  if (OnTerminate) OnTerminate(task->Index, task->Finished, task->ExceptionRaised, task->ExceptionMessage);
  CountFinished(*task);
  // Its run is over and reported: its thread goes now (on that thread this lets it end on its
  // own), not when the list is cleared, or a long batch would keep every ended thread's stack.
  task->StopAndWait();
  if (async_ && task->ThreadID != 0) ForgetLogThread(task->ThreadID);
  if (remainingCount_ > 0) {
    if (async_) StartNext();
  } else {
    CheckRunComplete();
  }
}

}  // namespace ok
