// Job building: the input and output records of one list row's file from the active settings
// page, the picture fitted into the target size with pads, the output suffix rules and the output
// file name, and queuing the job with the component.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "app/workbench/output_files.h"
#include "app/workbench/profile_catalogue.h"
#include "app/workbench/profile_jobs.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "media/ff_functions.h"
#include "media/media_info.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// A whole decimal integer (blanks around it allowed), or `fallback`.
int64_t IntOr(const std::string& text, int64_t fallback) {
  const std::string trimmed = TrimText(text);
  if (trimmed.empty()) return fallback;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(trimmed.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return fallback;
  return value;
}

int TruncEven(int64_t value) { return int(value - value % 2); }

// Half away from zero of numerator / denominator, both positive.
int64_t RoundedQuotient(int64_t numerator, int64_t denominator) {
  return (2 * numerator + denominator) / (2 * denominator);
}

// "W <sep> H" split at `separator`, blanks ignored; false unless both are positive integers.
bool SplitSize(const std::string& text, char separator, int64_t& width, int64_t& height) {
  const size_t at = text.find(separator);
  if (at == std::string::npos) return false;
  width = IntOr(text.substr(0, at), -1);
  height = IntOr(text.substr(at + 1), -1);
  return width > 0 && height > 0;
}

// "W:H" of the whole output frame (picture and pads), "" when the size is not known. The engine
// takes the crop off the frame size it is given, so the crop is no part of the frame.
std::string FrameAspect(const TOutputOptions& o) {
  int64_t width = 0, height = 0;
  if (!SplitSize(o.FrameSize, 'X', width, height) && !SplitSize(o.FrameSize, 'x', width, height)) return "";
  width +=
      std::max(o.PadLeft, 0) + std::max(o.PadRight, 0) - std::max(o.CropLeft, 0) - std::max(o.CropRight, 0);
  height +=
      std::max(o.PadTop, 0) + std::max(o.PadBottom, 0) - std::max(o.CropTop, 0) - std::max(o.CropBottom, 0);
  return std::to_string(width) + ":" + std::to_string(height);
}

// The video bit rate of a file, else its overall bit rate; 0 when neither is known (the engine's
// default then applies).
int SourceVideoBitrate(const std::string& path) {
  const auto library = TMediaInfoLibrary::Process();
  if (!library->IsLoaded()) return 0;
  const TMediaInfoDll info(path, library);
  double bitrate = info.GetBitRate();
  if (bitrate <= 0 && info.GetHandle())
    bitrate = StrToFloatDef(library->Get(info.GetHandle(), mskGeneral, 0, "OverallBitRate"), 0);
  return bitrate > 0 && bitrate < INT32_MAX ? int(bitrate) : 0;
}

int Positive(int value) { return std::max(value, 0); }

// The picture a player shows of `source` (upright, at its display aspect) once `custom`'s crop is
// cut off; the display size when the stored size is unknown.
void CroppedPicture(const TSourceRow& source, const TOutputOptions& custom, int64_t& width, int64_t& height) {
  width = source.DisplayWidth;
  height = source.DisplayHeight;
  if (width <= 0 || height <= 0 || source.Width <= 0 || source.Height <= 0) return;
  // Crops count in the upright picture's pixels; the display size may be wider (anamorphic).
  const bool quarter = source.Rotation % 180 != 0;
  const int64_t uprightWidth = quarter ? source.Height : source.Width;
  const int64_t uprightHeight = quarter ? source.Width : source.Height;
  const int64_t keptWidth = uprightWidth - Positive(custom.CropLeft) - Positive(custom.CropRight);
  const int64_t keptHeight = uprightHeight - Positive(custom.CropTop) - Positive(custom.CropBottom);
  if (keptWidth <= 0 || keptHeight <= 0) throw std::runtime_error(NothingLeftAfterCropText);
  width = width * keptWidth / uprightWidth;
  height = height * keptHeight / uprightHeight;
}

// A profile's crop and pads (a custom page saved as a preset), as the custom page gives them, on
// the sides the check boxes leave alone.
void ProfileCropPad(const profile_rec& p, TOutputOptions& o) {
  const auto values = CropPadFields(p);
  const auto fields = CropPadFields(o);
  for (size_t i = 0; i < fields.size(); ++i)
    if (*fields[i] < 0 && *values[i] >= 0) *fields[i] = *values[i] / 2 * 2;
}

// `custom`'s crop and pads on a job whose frame size is the fitted picture: the engine takes a
// crop off the frame size it is given, so it gets the picture plus the crop; the pads add to the
// fitting's own.
void AddCustomCropPad(TOutputOptions& o, const TOutputOptions& custom) {
  o.CropTop = custom.CropTop;
  o.CropBottom = custom.CropBottom;
  o.CropLeft = custom.CropLeft;
  o.CropRight = custom.CropRight;
  const int cropWidth = Positive(custom.CropLeft) + Positive(custom.CropRight);
  const int cropHeight = Positive(custom.CropTop) + Positive(custom.CropBottom);
  int64_t frameWidth = 0, frameHeight = 0;
  for (const char separator : {'X', 'x'})
    if ((cropWidth > 0 || cropHeight > 0) && SplitSize(o.FrameSize, separator, frameWidth, frameHeight)) {
      o.FrameSize =
          std::to_string(frameWidth + cropWidth) + separator + std::to_string(frameHeight + cropHeight);
      break;
    }
  if (Positive(custom.PadLeft) + Positive(custom.PadRight) + Positive(custom.PadTop) +
          Positive(custom.PadBottom) >
      0) {
    o.PadTop = Positive(o.PadTop) + Positive(custom.PadTop);
    o.PadBottom = Positive(o.PadBottom) + Positive(custom.PadBottom);
    o.PadLeft = Positive(o.PadLeft) + Positive(custom.PadLeft);
    o.PadRight = Positive(o.PadRight) + Positive(custom.PadRight);
  }
}

struct TSuffixRule {
  const char* Suffix;
  void (*Apply)(TOutputOptions& o, std::string& suffix);
};

// First match only; exact and case-sensitive.
const TSuffixRule SuffixRules[] = {
    {".flv",
     [](TOutputOptions& o, std::string&) {
       if (o.AudioSampleRate != 11025 && o.AudioSampleRate != 22050 && o.AudioSampleRate != 44100)
         o.AudioSampleRate = 22050;
     }},
    {".swf",
     [](TOutputOptions& o, std::string&) {
       if (o.AudioSampleRate != 11025 && o.AudioSampleRate != 22050 && o.AudioSampleRate != 44100)
         o.AudioSampleRate = 22050;
     }},
    {".ogg",
     [](TOutputOptions& o, std::string&) {
       o.VideoCodec = "libtheora";
       o.AudioCodec = "flac";
     }},
    {".psp",
     [](TOutputOptions& o, std::string& s) {
       o.FileFormat = "psp";
       o.VideoCodec = "mpeg4";
       o.AudioCodec = "libfaac";
       o.AudioSampleRate = 24000;
       o.FrameRate = "15000/1001";
       s = "_psp.mp4";
     }},
    {".ipod",
     [](TOutputOptions& o, std::string& s) {
       o.VideoCodec = "mpeg4";
       o.AudioCodec = "libfaac";
       o.FrameSize = "320x240";
       s = "_ipod.mp4";
     }},
    {".rm10",
     [](TOutputOptions& o, std::string& s) {
       o.VideoCodec = "rv10";
       s = "_rv10.rm";
     }},
    {".rm20",
     [](TOutputOptions& o, std::string& s) {
       o.VideoCodec = "rv20";
       s = "_rv20.rm";
     }},
    {".mp4", [](TOutputOptions&, std::string&) {}},
    {".wmv",
     [](TOutputOptions& o, std::string&) {
       o.VideoCodec = "wmv2";
       o.AudioCodec = "wmav2";
     }},
    {".mkv", [](TOutputOptions& o, std::string&) { o.VideoCodec = "libx264"; }},
    {".wma",
     [](TOutputOptions& o, std::string&) {
       o.DisableVideo = true;
       o.AudioCodec = "wmav2";
     }},
    {".3gp",
     [](TOutputOptions& o, std::string&) {
       o.AudioChannels = 1;
       o.AudioSampleRate = 8000;
       o.AudioBitrate = 7400;
     }},
};

// The audio codec the summary label names, after its prefix.
struct TAudioLabel {
  const char* Name;
  const char* Codec;
};

const TAudioLabel AudioLabels[] = {
    {"AAC", "libfaac"}, {"AC3", "ac3"}, {"FLAC", "flac"}, {"MP2", "mp2"}, {"MP3", "libmp3lame"},
};

}  // namespace

std::string TWorkbench::FitFrameSize(int row, const std::string& target) {
  // The picture as a player shows it (upright, at its display aspect), so that an anamorphic or
  // rotated source keeps its shape.
  const TSourceRow* source = row >= 0 && row < int(Sources.size()) ? &Sources[size_t(row)] : nullptr;
  return FitPicture(source ? source->DisplayWidth : 0, source ? source->DisplayHeight : 0, target);
}

std::string TWorkbench::FitPicture(int64_t width, int64_t height, const std::string& target) {
  int64_t targetWidth = 0, targetHeight = 0;
  if (!SplitSize(target, 'x', targetWidth, targetHeight)) throw std::runtime_error(BadFrameSizeText(target));
  PadVertically = true;
  if (width <= 0 || height <= 0) {
    // Nothing to keep the proportions of: the picture takes the whole target.
    FittedSize = std::to_string(targetWidth) + "X" + std::to_string(targetHeight);
    return "0";
  }
  const int64_t ratio100 = RoundedQuotient(width * 100, height);  // W / H with two decimals, x100
  const int64_t fittedHeight = TruncEven(RoundedQuotient(targetWidth * 100, ratio100));
  int64_t half = 0;
  if (fittedHeight < targetHeight) {
    const int64_t pads = TruncEven(targetHeight - fittedHeight);
    half = pads / 2;
    FittedSize = std::to_string(targetWidth) + "X" +
                 std::to_string(half % 2 != 0 ? targetHeight - pads + 2 : fittedHeight);
  } else {
    PadVertically = false;
    const int64_t fittedWidth = TruncEven(RoundedQuotient(targetHeight * ratio100, 100));
    const int64_t overhang = std::abs(fittedWidth - targetWidth);
    const int64_t pads = TruncEven(overhang);
    half = pads / 2;
    FittedSize = std::to_string(half % 2 != 0 ? targetWidth - pads + 2 : targetWidth - overhang) + "X" +
                 std::to_string(targetHeight);
  }
  return std::to_string(half);
}

std::string TWorkbench::OutputFileName(int row, const std::string& suffix, bool reserve) {
  // A queued task's output, by the name it writes or, for a part, the name the row's output takes.
  auto queued = [this](const std::string& name) {
    for (int i = 0; i < Transcoder.Tasks().Count(); ++i)
      if (Transcoder.Tasks().Items(i).OutputOptions.FileName == name) return true;
    for (const TSourceRow& source : Sources)
      if (!source.PartPath.empty() && source.OutputPath == name) return true;
    return false;
  };
  const std::string folder = IncludeTrailingPathDelimiter(TrimText(outputFolderEdit.Text));
  const std::string file = ExtractFileName(Sources.at(size_t(row)).Path);
  const std::string stem = file.substr(0, file.size() - ExtractFileExt(file).size());
  const size_t longest = MaxFileNameBytes(folder);
  for (int n = 0; n < 100000; ++n) {
    const std::string tag = n == 0 ? "_(new)" : "_(new_" + std::to_string(n) + ")";
    const size_t taken = tag.size() + suffix.size() + PartNameExtraBytes;
    const size_t room = longest > taken ? longest - taken : 0;
    const std::string name = folder + CutUtf8(stem, room) + tag + suffix;
    if (queued(name)) continue;
    struct stat st {};
    if (!reserve) {
      if (::lstat(name.c_str(), &st) != 0) return name;
      continue;
    }
    int error = 0;
    if (CreateFileExclusive(name, &error)) return name;
    if (error != EEXIST) throw std::runtime_error(CannotCreateOutputText(name, std::strerror(error)));
  }
  throw std::runtime_error(NoFreeOutputNameText(stem));
}

void TWorkbench::ReleaseEmptyOutputs() {
  for (TSourceRow& source : Sources) {
    SettlePart(source.PartPath, source.OutputPath);
    source.PartPath.clear();
    if (!source.OutputPath.empty() && FileSize64(source.OutputPath) == 0 && DeleteFile(source.OutputPath))
      source.OutputPath.clear();
  }
}

TOutputOptions TWorkbench::BuildOutputOptions(int row) {
  if (row < 0 || row >= int(Sources.size())) throw std::out_of_range("no list row " + std::to_string(row));
  TOutputOptions o;
  ResetOutputOptions(o);

  const int page = settingsPages.ActivePageIndex;
  switch (page) {
    case spPreset:
      FillPresetParams(page, fileTypeBox.ItemIndex, presetBox.ItemIndex);
      break;
    case spDevice:
    case spExisting:
      FillPresetParams(page, brandBox.ItemIndex, modelBox.ItemIndex);
      break;
    default:
      FillPresetParams(page, customTypeBox.ItemIndex, 0);
      break;
  }

  std::string suffix = JobExt;
  o.VideoCodec = JobVideoCodec;
  o.AudioCodec = JobAudioCodec;

  const TSourceRow& source = Sources[size_t(row)];
  // The custom crop cuts from the source; the custom pads take room inside the target frame, and
  // the picture is fitted into what they leave. Only the custom page's boxes can be checked.
  TOutputOptions custom;
  ApplyCustomCropPad(custom);
  if (page != spCustom) ProfileCropPad(JobProfile, custom);
  const int customPadWidth = Positive(custom.PadLeft) + Positive(custom.PadRight);
  const int customPadHeight = Positive(custom.PadTop) + Positive(custom.PadBottom);
  int64_t pictureWidth = 0, pictureHeight = 0;
  CroppedPicture(source, custom, pictureWidth, pictureHeight);
  if (IsQualityProfile(JobProfile)) {
    // The engine carries a text subtitle in the container's own text form and leaves out what
    // the container cannot hold; the source's title, date and chapters come along too.
    o.DisableSubtitle = false;
    if (JobProfile.Remux.empty()) {
      // The picture, cropped, fits in what the pads leave of the box.
      profile_rec profile = JobProfile;
      TSourceRow picture = source;
      picture.DisplayWidth = int(pictureWidth);
      picture.DisplayHeight = int(pictureHeight);
      if (profile.Width > 0 && profile.Height > 0 && (customPadWidth > 0 || customPadHeight > 0)) {
        profile.Width -= customPadWidth;
        profile.Height -= customPadHeight;
        if (profile.Width <= 0 || profile.Height <= 0) throw std::runtime_error(NothingLeftAfterPadText);
      }
      ApplyQualityProfile(profile, picture, JobEncoder(), o, suffix);
      AddCustomCropPad(o, custom);
      if (!o.FrameAspectRatio.empty()) o.FrameAspectRatio = FrameAspect(o);
    } else {
      ApplyRemuxProfile(JobProfile, source, o, suffix);
    }
    if (ClipActive(row)) o.RecordingTime = GetClipDurationMs(row);
    o.FileExt = suffix;
    o.FileName = OutputFileName(row, suffix, false);
    o.ExtraOptions += "threads=" + std::to_string(CodecThreads);
    return o;
  }
  // No frame size (a sample without video): the source's own.
  const std::string target = JobFrameSize.empty() && source.DisplayWidth > 0 && source.DisplayHeight > 0
                                 ? std::to_string(TruncEven(source.DisplayWidth)) + "x" +
                                       std::to_string(TruncEven(source.DisplayHeight))
                                 : JobFrameSize;
  int64_t targetWidth = 0, targetHeight = 0;
  std::string area = target;
  if ((customPadWidth > 0 || customPadHeight > 0) && SplitSize(target, 'x', targetWidth, targetHeight)) {
    if (targetWidth - customPadWidth <= 0 || targetHeight - customPadHeight <= 0)
      throw std::runtime_error(NothingLeftAfterPadText);
    area =
        std::to_string(targetWidth - customPadWidth) + "x" + std::to_string(targetHeight - customPadHeight);
  }
  const int pad = TruncEven(IntOr(FitPicture(pictureWidth, pictureHeight, area), 0));
  o.FrameSize = FittedSize;
  (PadVertically ? o.PadTop : o.PadLeft) = pad;
  (PadVertically ? o.PadBottom : o.PadRight) = pad;
  o.PadColor = 0;

  // A value of 0 is one the page could not tell: the source's own.
  o.VideoBitrate = JobVideoBitrate > 0 ? JobVideoBitrate : SourceVideoBitrate(source.Path);
  if (JobFrameRate > 0) o.FrameRate = std::to_string(JobFrameRate);

  // The label names the audio of the catalogue profile; the other two pages choose their own.
  if (page == spPreset || page == spDevice)
    for (const TAudioLabel& label : AudioLabels)
      if (audioCodecLabel.Caption == AudioCodecPrefix + std::string(label.Name)) o.AudioCodec = label.Codec;

  o.CustomHook = false;
  o.CopyTimestamps = false;
  if (ClipActive(row)) o.RecordingTime = GetClipDurationMs(row);

  for (const TSuffixRule& rule : SuffixRules)
    if (suffix == rule.Suffix) {
      rule.Apply(o, suffix);
      break;
    }

  o.Metadata.TimeStamp = 0;

  if (!suffix.empty() && std::string(".vcd.svcd.dvd").find(suffix) != std::string::npos)
    suffix = "_" + suffix.substr(1) +
             (o.TargetNorm == 1   ? "_pal.mpg"
              : o.TargetNorm == 2 ? "_ntsc.mpg"
                                  : "_auto.mpg");

  AddCustomCropPad(o, custom);

  // The engine flags the output with the source's display aspect unless told otherwise; after
  // fitting, the picture's shape is the whole frame's, so the pixels are square. A target keeps
  // the display aspect of its disc format.
  if (o.Target == 0) o.FrameAspectRatio = FrameAspect(o);

  o.FileExt = suffix;
  o.FileName = OutputFileName(row, suffix, false);
  o.DisableSubtitle = true;
  o.ExtraOptions = "threads=" + std::to_string(CodecThreads);  // codec threads per task, 0: one per core
  return o;
}

bool TWorkbench::HasEncoder(const std::string& name) const {
  if (environment_.Encoders) {
    const std::vector<std::string>& encoders = *environment_.Encoders;
    return std::find(encoders.begin(), encoders.end(), name) != encoders.end();
  }
  // Before the libraries are loaded nothing is known missing: Start asks for them first.
  return !FF.avcodec_find_encoder_by_name || FF.avcodec_find_encoder_by_name(name.c_str());
}

std::string TWorkbench::JobEncoder() const {
  const std::string found =
      FirstAvailableEncoder(JobProfile.Encoder, [this](const std::string& name) { return HasEncoder(name); });
  // None present: the first is named, and its absence is what the task reports.
  return found.empty() ? TrimText(JobProfile.Encoder.substr(0, JobProfile.Encoder.find(','))) : found;
}

TInputOptions TWorkbench::BuildInputOptions(int row) {
  if (row < 0 || row >= int(Sources.size())) throw std::out_of_range("no list row " + std::to_string(row));
  TInputOptions in;
  ResetInputOptions(in);
  in.FileName = Sources[size_t(row)].Path;
  in.FileFormat = "";
  if (ClipActive(row)) in.StartTime = GetClipStartMs(row);
  return in;
}

int TWorkbench::AddConversionTask(TInputOptions& input, TOutputOptions& output) {
  const int index = Transcoder.AddTask(input.FileName, &input);
  if (index < 0) return -1;
  if (!Transcoder.SetOutput(index, output.FileName, &output)) {
    Transcoder.RemoveTask(index);  // the component keeps the error text
    return -1;
  }
  return index;
}

}  // namespace ok
