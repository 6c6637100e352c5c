#include "engine/custom_ffmpeg.h"

#include <algorithm>

#include "engine/ffmpeg_exception.h"
#include "engine/run/log_levels.h"
#include "media/ff_loader.h"
#include "platform/text_utils.h"

namespace ok {

std::mutex PreviewLock;

TCustomFFmpeg::TCustomFFmpeg() {
  VerboseSetter = [this](int level) { SetVerbose(level); };
}

TCustomFFmpeg::~TCustomFFmpeg() {
  StopAndWait();
  ReleaseState();
  // Without the libraries ReleaseState does nothing; the tables point into the files; outputs
  // next (an empty one is deleted once its byte stream is closed), then inputs.
  ReleaseTranscodeTables();
  ReleaseOutputFiles();
  ReleaseInputFiles();
}

void TCustomFFmpeg::ReleaseOptionState() {
  OptionContexts.Release();
  ReleaseTranscodeTables();
  ReleaseOutputFiles();
  ReleaseInputFiles();
  FrameHookRelease(FrameHooks);
  HookConverter.ResetConverter();
  PreviewConverter.ResetConverter();
  // The work buffers of the audio, video and hook paths; the previewer is freed outside the
  // preview lock, since freeing it waits for the main thread.
  AudioBuffers.Release();
  VideoOutputFiles = TVideoOutputFiles{};
  HookBuffers.ReleaseFrames();
  std::shared_ptr<TPreviewer> previewer;
  {
    std::lock_guard<std::mutex> lock(PreviewLock);
    previewer = std::move(HookBuffers.PreviewWindow);
  }
  previewer.reset();
}

void TCustomFFmpeg::ResetOptions(bool keepRunState) {
  if (!FFLoader.AllLoaded(RequiredLibraries)) return;
  ReleaseState();
  // Assigning fresh defaults also frees the matrices, texts and bitstream-filter chains.
  static_cast<TOptionState&>(*this) = TOptionState{};
  static_cast<TInputState&>(*this) = TInputState{};
  static_cast<TOutputState&>(*this) = TOutputState{};
  if (!keepRunState) ResetRunState();
  RecordingTimeMs = -1;
  OptionContexts.Create(SwsFlags);
}

void TCustomFFmpeg::Log(int level, const std::string& text) const {
  if (OnLog) OnLog(level, text);
}

std::string TCustomFFmpeg::ResolveFormatName(const std::string& name) {
  if (name != "pgmyuv") return name;
  PgmyuvCompatibility = true;
  Log(1, "pgmyuv format is deprecated, use image2");
  return "image2";
}

void TCustomFFmpeg::SetInputFormat(const std::string& name) {
  if (name.empty()) return;
  std::string n = ResolveFormatName(name);
  ForcedInputFormat = FF.av_find_input_format(n.c_str());
  if (!ForcedInputFormat) throw FFmpegException(FormatText("Unknown input format: %s", n.c_str()));
}

void TCustomFFmpeg::SetOutputFormat(const std::string& name) {
  if (name.empty()) return;
  std::string n = ResolveFormatName(name);
  ForcedOutputFormat = FF.av_guess_format(n.c_str(), nullptr, nullptr);
  if (!ForcedOutputFormat) throw FFmpegException(FormatText("Unknown output format: %s", n.c_str()));
}

void TCustomFFmpeg::SetInputOutputFormat(const std::string& name) {
  if (name.empty()) return;
  std::string n = ResolveFormatName(name);
  ForcedInputFormat = FF.av_find_input_format(n.c_str());
  ForcedOutputFormat = FF.av_guess_format(n.c_str(), nullptr, nullptr);
  if (!ForcedInputFormat && !ForcedOutputFormat)
    throw FFmpegException(FormatText("Unknown input or output format: %s", n.c_str()));
}

void TCustomFFmpeg::SetVerbose(int level) {
  Verbose = level;
  if (FF.av_log_set_level) FF.av_log_set_level(LibraryLevelOf(level));
  LogThreshold = level;
}

void TCustomFFmpeg::SetStartTime(int64_t value) {
  if (value > 0) StartTime = value;
}

void TCustomFFmpeg::SetRecordingTime(int64_t value) {
  if (value <= 0) return;
  RecordingTime = value;
  RecordingTimeMs = int(std::min<int64_t>(value / 1000, INT32_MAX));
}

void TCustomFFmpeg::SetRecordingTimeMs(int value) {
  if (value <= 0) return;
  RecordingTime = int64_t(value) * 1000;
  RecordingTimeMs = value;
}

void TCustomFFmpeg::SetProgramID(int value) {
  if (value >= 0) ProgramID = value;
}

void TCustomFFmpeg::SetAudioVolume(int value) {
  if (value >= 0) AudioVolume = value;
}

void TCustomFFmpeg::SetAudioSyncMethod(int value) { AudioSyncMethod = value; }

void TCustomFFmpeg::SetVideoSyncMethod(int value) { VideoSyncMethod = value; }

void TCustomFFmpeg::SetMuxDelay(float value) {
  if (value > 0) MuxMaxDelay = value;
}

void TCustomFFmpeg::SetMuxPreload(float value) {
  if (value > 0) MuxPreload = value;
}

void TCustomFFmpeg::SetRecTimestamp(int64_t value) { RecTimestamp = value; }

void TCustomFFmpeg::AddMetadata(const std::string& key, const std::string& value) {
  Metadata.push_back({key, value});
}

void TCustomFFmpeg::SetHookFlags(uint8_t flags) {
  // Declared before the lock, so that a previewer given back is freed after it is released.
  std::shared_ptr<TPreviewer> released;
  std::lock_guard<std::mutex> lock(PreviewLock);
  released = StoreHookFlags(HookFlags, HookBuffers, flags);
}

void TCustomFFmpeg::SetTimeRanges(const std::vector<TTimeRange>& ranges) {
  TimeRanges = ranges;
  std::stable_sort(TimeRanges.begin(), TimeRanges.end(),
                   [](const TTimeRange& a, const TTimeRange& b) { return a.End < b.End; });
  TimeRangeIndex = 0;
  TimeRangeCount = int(TimeRanges.size());
}

}  // namespace ok
