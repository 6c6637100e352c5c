// Fitting outputs into the size limit: the limit's controls and settings, the plan of each row's
// job, the list's expected sizes, and the phases of a batch: an analysis pass where the encoder
// takes one, the encode at the planned rate, and, when that came out over the limit, one more
// at a rate lowered by the measured overshoot. An output over the limit never counts as finished.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "app/workbench/output_files.h"
#include "app/workbench/profile_jobs.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "media/media_info.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

const char* const LimitUnits[] = {"KB", "MB", "GB"};
constexpr const char* LimitSection = "sizelimit";

// The library's own rates for a job that leaves them unset (bits/s).
constexpr int64_t DefaultVideoBitrate = 200000;
constexpr int64_t DefaultAudioBitrate = 128000;

std::string EncoderName(const std::string& codec) {
  std::string name = codec;
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  return name == "avc" || name == "h264" ? "libx264" : name;
}

// Encoders whose rate control reads a first pass's statistics through the engine's log: the
// library's MPEG family. (x264's own ABR lands closer in one pass than its two passes did here.)
bool TwoPassEncoder(const std::string& encoder) {
  static const char* const names[] = {"mpeg4", "msmpeg4", "msmpeg4v2", "wmv1", "wmv2",       "h263",
                                      "h263p", "flv",     "rv10",      "rv20", "mpeg1video", "mpeg2video"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return encoder == n; });
}

// "25", "29.97" or "30000/1001"; 0 when it is none of these.
double FrameRateOf(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return StrToFloatDef(TrimText(text), 0);
  const double denominator = StrToFloatDef(TrimText(text.substr(slash + 1)), 0);
  return denominator > 0 ? StrToFloatDef(TrimText(text.substr(0, slash)), 0) / denominator : 0;
}

// "W" + x or X + "H".
bool SizeOf(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  width = std::atoi(text.c_str());
  height = std::atoi(text.c_str() + x + 1);
  return width > 0 && height > 0;
}

int EvenAtLeastTwo(double value) { return std::max(2, int(std::lround(value / 2)) * 2); }

int Positive(int value) { return std::max(value, 0); }

// The whole output frame of a job: the fitted picture (its size holds the crop the engine takes
// off) and the pads around it.
bool OutputFrame(const TOutputOptions& o, int& width, int& height) {
  if (!SizeOf(o.FrameSize, width, height)) return false;
  width += Positive(o.PadLeft) + Positive(o.PadRight) - Positive(o.CropLeft) - Positive(o.CropRight);
  height += Positive(o.PadTop) + Positive(o.PadBottom) - Positive(o.CropTop) - Positive(o.CropBottom);
  return width > 0 && height > 0;
}

// Lowers the job's frame to `width` x `height`, picture and pads alike.
void ScaleFrame(TOutputOptions& o, int width, int height) {
  int oldWidth = 0, oldHeight = 0, picWidth = 0, picHeight = 0;
  if (!OutputFrame(o, oldWidth, oldHeight) || !SizeOf(o.FrameSize, picWidth, picHeight)) return;
  if (width == oldWidth && height == oldHeight) return;
  const double fx = double(width) / oldWidth, fy = double(height) / oldHeight;
  picWidth -= Positive(o.CropLeft) + Positive(o.CropRight);
  picHeight -= Positive(o.CropTop) + Positive(o.CropBottom);
  auto pad = [](int& side, double f) {
    if (side > 0) side = std::max(0, int(side * f) / 2 * 2);
  };
  pad(o.PadLeft, fx);
  pad(o.PadRight, fx);
  pad(o.PadTop, fy);
  pad(o.PadBottom, fy);
  const int newPicWidth = std::max(2, width - Positive(o.PadLeft) - Positive(o.PadRight));
  const int newPicHeight = std::max(2, height - Positive(o.PadTop) - Positive(o.PadBottom));
  o.FrameSize = std::to_string(newPicWidth + Positive(o.CropLeft) + Positive(o.CropRight)) + "X" +
                std::to_string(newPicHeight + Positive(o.CropTop) + Positive(o.CropBottom));
  if (o.Target == 0 && !o.FrameAspectRatio.empty())
    o.FrameAspectRatio = std::to_string(width) + ":" + std::to_string(height);
}

// The unit the list shows a size in without a limit.
std::string UnitFor(int64_t bytes) { return bytes >= 1000 * 1000 ? "MB" : "KB"; }

}  // namespace

void TWorkbench::SetUpSizeLimitControls() {
  sizeLimitCheckBox.Caption = SizeLimitCaption;
  sizeLimitCheckBox.Hint = SizeLimitHint;
  sizeLimitEdit.Text = "25";
  sizeLimitEdit.MaxLength = 8;
  for (const char* unit : LimitUnits) sizeLimitUnitBox.Items.push_back({unit, -1});
  sizeLimitUnitBox.ItemIndex = 1;
  sizeLimitEdit.Enabled = sizeLimitUnitBox.Enabled = false;
}

void TWorkbench::ReadSizeLimitSettings() {
  const TIniFile config(ConfigFileName());
  sizeLimitCheckBox.Checked = config.ReadInteger(LimitSection, "enabled", 0) != 0;
  TSizeLimit limit;
  const std::string size = TrimText(config.ReadString(LimitSection, "size", sizeLimitEdit.Text));
  if (ParseSizeLimit(size, limit)) sizeLimitEdit.Text = size;
  const std::string unit = config.ReadString(LimitSection, "unit", sizeLimitUnitBox.Text());
  for (size_t i = 0; i < std::size(LimitUnits); ++i)
    if (unit == LimitUnits[i]) sizeLimitUnitBox.ItemIndex = int(i);
  sizeLimitEdit.Enabled = sizeLimitUnitBox.Enabled = sizeLimitCheckBox.Checked;
}

void TWorkbench::WriteSizeLimitSettings() {
  TIniFile config(ConfigFileName());
  SettingsSaved(config.WriteInteger(LimitSection, "enabled", sizeLimitCheckBox.Checked ? 1 : 0) &&
                config.WriteString(LimitSection, "size", TrimText(sizeLimitEdit.Text)) &&
                config.WriteString(LimitSection, "unit", sizeLimitUnitBox.Text()));
}

void TWorkbench::OnSizeLimitCheckBoxClicked(bool checked) {
  sizeLimitCheckBox.Checked = checked;
  sizeLimitEdit.Enabled = sizeLimitUnitBox.Enabled = checked;
  WriteSizeLimitSettings();
  view_.Changed(wcSettings);
  RefreshExpectedSizes();
}

void TWorkbench::OnSizeLimitEdited(const std::string& text) {
  sizeLimitEdit.Text = text;
  WriteSizeLimitSettings();
  RefreshExpectedSizes();
}

void TWorkbench::OnSizeLimitUnitChanged(int index) {
  if (index < 0 || index >= int(std::size(LimitUnits))) return;
  sizeLimitUnitBox.ItemIndex = index;
  WriteSizeLimitSettings();
  view_.Changed(wcSettings);
  RefreshExpectedSizes();
}

void TWorkbench::RefreshExpectedSizes() {
  if (running_ || Sources.empty()) return;
  for (int row = 0; row < int(Sources.size()); ++row)
    if (Sources[size_t(row)].State == rsWaiting) RenderRow(row);
  view_.Changed(wcList);
}

bool TWorkbench::ActiveSizeLimit(TSizeLimit& limit) const {
  const std::string number = TrimText(sizeLimitEdit.Text);
  // Without a unit chosen in the box (the command line's limit) the text carries its own.
  if (sizeLimitUnitBox.ItemIndex < 0) return sizeLimitCheckBox.Checked && ParseSizeLimit(number, limit);
  return sizeLimitCheckBox.Checked && number.find_first_not_of("0123456789.") == std::string::npos &&
         ParseSizeLimit(number + sizeLimitUnitBox.Text(), limit);
}

TRowEncode TWorkbench::PlanRowEncode(int row) {
  TRowEncode encode;
  encode.Output = BuildOutputOptions(row);
  encode.Input = BuildInputOptions(row);
  TOutputOptions& o = encode.Output;
  const TSourceRow& source = Sources[size_t(row)];

  TSizeJob job;
  job.Container = ExtractFileExt(o.FileName);
  const auto library = TMediaInfoLibrary::Process();
  const bool known = library->IsLoaded();
  const TMediaInfoDll info(source.Path, library);
  const bool sourceAudio = !known || !info.GetAudioCodec(0).empty();
  const int64_t durationMs = o.RecordingTime > 0 ? o.RecordingTime : source.DurationMs;
  job.DurationSeconds = durationMs > 0 ? double(durationMs) / 1000 : 0;

  encode.VideoCodec = o.DisableVideo ? "" : EncoderName(o.VideoCodec.empty() ? "mpeg4" : o.VideoCodec);
  job.VideoCodec = encode.VideoCodec;
  if (!OutputFrame(o, job.Width, job.Height)) {
    job.Width = source.DisplayWidth;
    job.Height = source.DisplayHeight;
  }
  encode.FrameRate = FrameRateOf(o.FrameRate);
  if (!(encode.FrameRate > 0) && known) encode.FrameRate = info.GetFrameRate();
  if (!(encode.FrameRate > 0)) encode.FrameRate = 25;
  job.FrameRate = encode.FrameRate;
  // A quality-based job has no rate of its own: its cap stands for it.
  job.VideoBitrate = o.VideoBitrate > 0   ? o.VideoBitrate
                     : o.VideoMaxRate > 0 ? o.VideoMaxRate
                                          : DefaultVideoBitrate;
  if (!o.DisableAudio && sourceAudio) {
    job.AudioCodec = EncoderName(o.AudioCodec.empty() ? "aac" : o.AudioCodec);
    job.AudioBitrate = o.AudioBitrate > 0 ? o.AudioBitrate : DefaultAudioBitrate;
    job.AudioChannels = o.AudioChannels > 0 ? o.AudioChannels : 2;
  }

  encode.Limited = ActiveSizeLimit(encode.Limit);
  const int64_t limit = encode.Limited ? encode.Limit.Bytes : INT64_MAX / 4;
  if (encode.VideoCodec == "copy") {
    // Nothing is encoded: the source's own bytes, cut to the clip.
    const int64_t sourceBytes = FileSize64(source.Path);
    encode.Plan.Fits = true;
    encode.Plan.ExpectedBytes = sourceBytes;
    if (sourceBytes > 0 && source.DurationMs > 0 && durationMs < source.DurationMs)
      encode.Plan.ExpectedBytes = sourceBytes * durationMs / source.DurationMs;
    if (encode.Limited && encode.Plan.ExpectedBytes > limit)
      encode.Refusal = CopyOverTheLimitText(FormatSize(encode.Plan.ExpectedBytes, encode.Limit.Unit),
                                            FormatSize(limit, encode.Limit.Unit));
    return encode;
  }
  encode.Plan = PlanSizeLimit(job, limit);
  if (!encode.Limited) return encode;
  // Under a limit the rate rules: a quality setting would override any rate the plan or a second
  // try gives the encoder.
  ReplaceQualityByRate(o, int(job.VideoBitrate));
  if (!encode.Plan.Fits) {
    encode.Refusal = LimitOutOfReachText(FormatSize(limit, encode.Limit.Unit),
                                         FormatSize(encode.Plan.MinimumBytes, encode.Limit.Unit));
    return encode;
  }
  if (encode.Plan.Changed) {
    if (!encode.VideoCodec.empty()) {
      o.VideoBitrate = int(encode.Plan.VideoBitrate);
      ScaleFrame(o, encode.Plan.Width, encode.Plan.Height);
    }
    if (!job.AudioCodec.empty()) {
      o.AudioBitrate = int(encode.Plan.AudioBitrate);
      if (encode.Plan.AudioChannels < job.AudioChannels) o.AudioChannels = encode.Plan.AudioChannels;
    }
    encode.TwoPass = TwoPassEncoder(encode.VideoCodec);
  }
  const int streams = int(!encode.VideoCodec.empty()) + int(!job.AudioCodec.empty());
  encode.FixedBytes =
      ContainerOverhead(job.Container, job.DurationSeconds, std::max(streams, 1), job.FrameRate) +
      int64_t(double(encode.Plan.AudioBitrate) * job.DurationSeconds / 8);
  return encode;
}

std::string TWorkbench::ExpectedSizeText(int row) {
  if (SettingsPageMissing()) return "";  // no job yet, and no box about it before Start
  try {
    const TRowEncode encode = PlanRowEncode(row);
    if (!encode.Refusal.empty())
      return encode.Plan.MinimumBytes > 0
                 ? LeastSizeText(FormatSize(encode.Plan.MinimumBytes, encode.Limit.Unit))
                 : std::string(OverTheLimitText);
    const int64_t bytes = encode.Plan.ExpectedBytes;
    if (bytes <= 0) return "";
    return ExpectedBytesText(FormatSize(bytes, encode.Limited ? encode.Limit.Unit : UnitFor(bytes)));
  } catch (const std::exception&) {
    return "";  // the page does not hold a job yet
  }
}

std::string TWorkbench::PassFolder() {
  if (passFolder_.empty()) passFolder_ = CreatePrivateTempFolder("ostrelkalvexa-pass-");
  return passFolder_;
}

void TWorkbench::RemovePassFolder() {
  if (!passFolder_.empty()) RemoveFolderTree(passFolder_);
  passFolder_.clear();
}

int TWorkbench::QueueRowEncode(int row, TEncodeStage stage) {
  TRowEncode& encode = rowEncodes_[size_t(row)];
  TInputOptions input = encode.Input;
  TOutputOptions output = encode.Output;
  TSourceRow& source = Sources[size_t(row)];
  // Written under the part name until it ends; a second try's part stays beside the first try,
  // which is kept when it fits and the second does not.
  output.FileName = PartFileName(source.OutputPath);
  if (stage == esRetry)
    encode.RetryPath = output.FileName;
  else if (stage != esAnalysis)
    source.PartPath = output.FileName;
  if (encode.TwoPass) {
    const std::string folder = PassFolder();
    if (folder.empty()) throw std::runtime_error(NoPassFolderText);
    const std::string log = folder + "/row" + std::to_string(row);
    output.ExtraOptions += "\npass=" + std::string(stage == esAnalysis ? "1" : "2") + "\npasslogfile=" + log;
    if (stage == esAnalysis) {
      // Only the picture's statistics matter: the analysis writes no sound and goes nowhere kept.
      output.FileName = log + "-analysis" + ExtractFileExt(output.FileName);
      output.DisableAudio = true;
    }
  }
  const int index = AddConversionTask(input, output);
  if (index >= 0) batchTasks_.push_back({row, stage});
  return index;
}

int TWorkbench::RowOfTask(int index) const {
  if (batchTasks_.empty()) return index;  // outside a batch's phases: task k is row k
  return index >= 0 && index < int(batchTasks_.size()) ? batchTasks_[size_t(index)].Row : -1;
}

bool TWorkbench::RowEncodeDone(int index, bool finished, std::string& failure) {
  if (index < 0 || index >= int(batchTasks_.size())) return true;
  const TBatchTask task = batchTasks_[size_t(index)];
  TRowEncode& encode = rowEncodes_.at(size_t(task.Row));
  if (!finished) {
    // A second try stopped or failed leaves nothing beside the output.
    if (task.Stage == esRetry) DeleteFile(encode.RetryPath);
    return true;
  }
  if (task.Stage == esAnalysis) {
    encode.Next = esFitted;
    return false;
  }
  if (!encode.Limited) return true;
  const std::string& output = Sources[size_t(task.Row)].OutputPath;
  const int64_t limit = encode.Limit.Bytes;
  int64_t bytes = FileSize64(output);
  if (task.Stage == esRetry) {
    const int64_t retried = FileSize64(encode.RetryPath);
    if (retried >= 0 && retried <= limit && std::rename(encode.RetryPath.c_str(), output.c_str()) == 0)
      return true;
    DeleteFile(encode.RetryPath);
    if (bytes >= 0 && bytes <= limit) return true;  // the first try fits
    bytes = retried;
  } else if (encode.VideoCodec != "copy" && !encode.VideoCodec.empty() &&
             (bytes > limit || (encode.Plan.Changed && bytes >= 0 && bytes < limit * 0.85))) {
    // Over the limit, or well under it when the limit set the rate: once more at the rate the
    // measured size calls for.
    TOutputOptions& o = encode.Output;
    int64_t rate = RetryVideoBitrate(o.VideoBitrate, limit, bytes, encode.FixedBytes);
    // Upwards only half the way: a rate control that undershot may overshoot as readily, and the
    // first try, which fits, is the one to keep then.
    if (bytes < limit) rate = o.VideoBitrate + (rate - o.VideoBitrate) / 2;
    // Never under the encoder's floor: the frame gives way in the plan's steps instead.
    int width = 0, height = 0;
    const bool sized = OutputFrame(o, width, height);
    const double floorBpp = VideoBitsPerPixelFloor(encode.VideoCodec);
    auto underFloor = [&] { return sized && rate < floorBpp * width * height * encode.FrameRate; };
    while (underFloor() && std::min(width, height) * 0.8 >= 96) {
      width = EvenAtLeastTwo(width * 0.8);
      height = EvenAtLeastTwo(height * 0.8);
    }
    if (rate > 0 && !underFloor()) {
      if (sized) ScaleFrame(o, width, height);
      o.VideoBitrate = int(std::min<int64_t>(rate, INT32_MAX));
      encode.Next = esRetry;
      return false;
    }
  }
  if (bytes >= 0 && bytes <= limit) return true;
  // An output over the limit is of no use to whoever set it.
  DeleteFile(output);
  failure =
      OutputOverTheLimitText(FormatSize(bytes, encode.Limit.Unit), FormatSize(limit, encode.Limit.Unit));
  return true;
}

bool TWorkbench::StartNextPhase() {
  Transcoder.ClearTasks();
  batchTasks_.clear();
  waitingFrom_ = 0;
  if (!QueueWaitingEncodes()) return false;
  Transcoder.Start(std::max(1, ParallelTasks));
  if (resumeButton.Enabled) Transcoder.Pause();  // the batch was paused as the phase ended
  return true;
}

void TWorkbench::TopUpBatch() {
  if (!running_ || batchStopped_) return;
  Transcoder.ReleaseEndedTasks();
  if (!QueueWaitingEncodes()) return;
  // The run goes on with them, or starts again when it ended meanwhile.
  Transcoder.Start(std::max(1, ParallelTasks));
  if (resumeButton.Enabled) Transcoder.Pause();
}

bool TWorkbench::QueueWaitingEncodes() {
  bool queued = false, rendered = false;
  // A row that fails to queue takes no room: the rows after it fill up the places.
  for (; waitingFrom_ < int(rowEncodes_.size()) && Transcoder.PendingCount() < TasksAtOnce();
       ++waitingFrom_) {
    const int row = waitingFrom_;
    TRowEncode& encode = rowEncodes_[size_t(row)];
    if (encode.Next == esNone) continue;
    const TEncodeStage stage = encode.Next;
    encode.Next = esNone;
    TSourceRow& source = Sources[size_t(row)];
    if (batchStopped_) {
      source.State = rsStopped;
    } else {
      std::string failure;
      try {
        if (QueueRowEncode(row, stage) < 0) failure = Transcoder.LastError();
      } catch (const std::exception& e) {
        failure = e.what();
      }
      if (failure.empty()) {
        queued = true;
        continue;
      }
      source.State = rsFailed;
      source.FailureText = ConversionFailedText(failure);
    }
    RenderRow(row);
    rendered = true;
  }
  if (rendered) view_.Changed(wcList);
  return queued;
}

}  // namespace ok
