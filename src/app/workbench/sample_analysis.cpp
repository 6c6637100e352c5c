#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "media/media_info.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// A value the analysis could not read: the job keeps the source's own.
constexpr const TText& SourcesOwn = SourcesOwnText;

// The nearest whole number of a stored decimal (29.97 frames per second run as 30, halves to the
// even neighbour: 1500000.5 gives 1500000); `def` when
// the value is missing, not a number or beyond the range of a job value.
int NearestWhole(const TIniFile& ini, const char* section, const char* key, int def) {
  const double value = ini.ReadFloat(section, key, std::numeric_limits<double>::quiet_NaN());
  if (!std::isfinite(value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max())
    return def;
  return int(RoundHalfEven(value));
}

// A codec as the analysis names it, and the encoder that writes it.
struct TCodecChoice {
  const char* Text;
  const char* Encoder;
};

// A container by its file extensions, with the codecs it takes that devices play, the nearest fit
// first: a sample's own codec is kept when it is listed, else the first is used.
struct TContainer {
  const char* Exts;  // blank-separated, lower case
  std::vector<TCodecChoice> Video, Audio;
};

const std::vector<TContainer>& Containers() {
  static const std::vector<TContainer> containers = {
      {"mp4 m4v mov",
       {{"MPEG-4 Visual", "mpeg4"}, {"AVC", "libx264"}},
       {{"AAC", "libfaac"}, {"MP3", "libmp3lame"}}},
      {"3gp 3g2", {{"MPEG-4 Visual", "mpeg4"}, {"AVC", "libx264"}, {"H.263", "h263"}}, {{"AAC", "libfaac"}}},
      {"flv", {{"Sorenson Spark", "flv"}, {"AVC", "libx264"}}, {{"MP3", "libmp3lame"}, {"AAC", "libfaac"}}},
      {"webm", {{"VP8", "libvpx"}, {"VP9", "libvpx-vp9"}}, {{"Vorbis", "libvorbis"}, {"Opus", "libopus"}}},
      {"mkv",
       {{"AVC", "libx264"}},
       {{"MP3", "libmp3lame"},
        {"AAC", "libfaac"},
        {"AC3", "ac3"},
        {"Vorbis", "libvorbis"},
        {"FLAC", "flac"}}},
      {"avi",
       {{"MPEG-4 Visual", "mpeg4"}, {"AVC", "libx264"}},
       {{"MP3", "libmp3lame"}, {"AC3", "ac3"}, {"MP2", "mp2"}}},
      {"ts m2ts mts",
       {{"MPEG Video", "mpeg2video"}, {"AVC", "libx264"}},
       {{"MP2", "mp2"}, {"AAC", "libfaac"}, {"AC3", "ac3"}, {"MP3", "libmp3lame"}}},
      {"mpg mpeg vob",
       {{"MPEG Video", "mpeg2video"}},
       {{"MP2", "mp2"}, {"AC3", "ac3"}, {"MP3", "libmp3lame"}}},
      {"ogg ogv", {{"Theora", "libtheora"}}, {{"FLAC", "flac"}}},
      {"wmv asf", {{"WMV2", "wmv2"}}, {{"WMA", "wmav2"}}},
  };
  return containers;
}

// The container whose extensions hold `ext` (case ignored); nullptr when none does.
const TContainer* FindContainer(const std::string& ext) {
  for (const TContainer& container : Containers()) {
    std::istringstream exts(container.Exts);
    for (std::string known; exts >> known;)
      if (!ext.empty() && strcasecmp(known.c_str(), ext.c_str()) == 0) return &container;
  }
  return nullptr;
}

// The listed choice named `text`, else the first.
const TCodecChoice& Choose(const std::vector<TCodecChoice>& choices, const std::string& text) {
  for (const TCodecChoice& choice : choices)
    if (strcasecmp(choice.Text, text.c_str()) == 0) return choice;
  return choices.front();
}

// A container the analysis names by format, for a sample whose extension says nothing.
const char* ExtOfFormat(const std::string& format) {
  static const TCodecChoice formats[] = {
      {"MPEG-4", "mp4"}, {"Flash Video", "flv"}, {"WebM", "webm"}, {"Matroska", "mkv"},     {"AVI", "avi"},
      {"MPEG-TS", "ts"}, {"MPEG-PS", "mpg"},     {"Ogg", "ogg"},   {"Windows Media", "wmv"}};
  for (const TCodecChoice& f : formats)
    if (format == f.Text) return f.Encoder;
  return nullptr;
}

struct TSampleValues {
  std::string Type, VideoCodec, AudioCodec;
  double BitRate = 0, FrameRate = 0;
  int Width = 0, Height = 0;
};

// The sample's parameters; false when the library cannot read the file.
bool ReadSample(const std::string& fileName, TSampleValues& values) {
  if (!FileExists(fileName)) return false;
  const auto library = TMediaInfoLibrary::Process();
  if (!library->IsLoaded()) return false;
  const TMediaInfoDll info(fileName, library);
  const std::string format = info.GetHandle() ? library->Get(info.GetHandle(), mskGeneral, 0, "Format") : "";
  if (format.empty()) return false;
  try {
    values.FrameRate = info.GetFrameRate();
  } catch (const std::invalid_argument&) {
    return false;
  }
  values.Type = info.GetFileExtension();
  if (FindContainer(values.Type)) {
    // The suffix rules of job building compare in lower case (".FLV" is ".flv").
    for (char& c : values.Type) c = char(std::tolower(static_cast<unsigned char>(c)));
  } else if (const char* ext = ExtOfFormat(format)) {
    values.Type = ext;
  }
  values.VideoCodec = info.GetVideoCodec();
  values.BitRate = info.GetBitRate();
  values.Width = info.GetWidth();
  values.Height = info.GetHeight();
  values.AudioCodec = info.GetAudioCodec(0);
  return true;
}

// What a job of the analysis page does, from "extfile.ini". A size, bit rate or frame rate of 0
// is one the analysis could not read.
struct TSampleJob {
  std::string Ext;
  int Width = 0, Height = 0;
  std::string VideoCodec, VideoText, AudioCodec, AudioText;
  int VideoBitrate = 0, FrameRate = 0;
};

// The sample's size as `encoder` takes it: even (4:2:0 pictures, cut down, at least 2), within the
// encoder's largest, and for H.263 the largest of its standard sizes that fits (else its smallest).
void FitSizeToEncoder(const std::string& encoder, int& width, int& height) {
  if (width <= 0 || height <= 0) return;  // the source's own
  const auto even = [](int value) { return std::max(2, value - value % 2); };
  width = even(width);
  height = even(height);
  if (encoder == "mpeg4") {
    width = std::min(width, 8190);  // 13-bit fields
    height = std::min(height, 8190);
  } else if (encoder == "mpeg2video") {
    // Its 12 low bits go in the sequence header and may not all be zero.
    if (width % 4096 == 0) width -= 2;
    if (height % 4096 == 0) height -= 2;
  } else if (encoder == "h263") {
    static const int standard[][2] = {{1408, 1152}, {704, 576}, {352, 288}, {176, 144}, {128, 96}};
    for (const auto& size : standard)
      if ((size[0] <= width && size[1] <= height) || size[0] == 128) {
        width = size[0];
        height = size[1];
        break;
      }
  }
}

TSampleJob SampleJob(const TIniFile& ext) {
  TSampleJob job;
  std::string type = ext.ReadString("mediatype", "Type", ".avi");
  type.erase(0, type.find_first_not_of('.'));  // stored with its dot or without
  job.Ext = "." + type;
  job.Width = StrToIntDef(TrimText(ext.ReadString("video", "Width", "320")), 0);
  job.Height = StrToIntDef(TrimText(ext.ReadString("video", "Height", "240")), 0);
  job.VideoBitrate = NearestWhole(ext, "video", "VideoBitrate", 512000);
  job.FrameRate = NearestWhole(ext, "video", "FPS", 24);
  const std::string videoText = ext.ReadString("video", "VideoCodec", "");
  const std::string audioText = ext.ReadString("audio", "AudioCodec", "");
  if (const TContainer* container = FindContainer(type)) {
    const TCodecChoice& video = Choose(container->Video, videoText);
    const TCodecChoice& audio = Choose(container->Audio, audioText);
    job.VideoCodec = video.Encoder;
    job.VideoText = video.Text;
    job.AudioCodec = audio.Encoder;
    job.AudioText = audio.Text;
  } else {
    // A container this table does not know: MPEG-4 Part 2 and the sample's audio where it is one
    // of the common four, else the container's own default.
    static const std::vector<TCodecChoice> common = {
        {"", ""}, {"AAC", "libfaac"}, {"AC3", "ac3"}, {"FLAC", "flac"}, {"MP3", "libmp3lame"}};
    job.VideoCodec = "mpeg4";
    job.VideoText = "MPEG-4 Visual";
    job.AudioCodec = Choose(common, audioText).Encoder;
    job.AudioText = audioText;
  }
  FitSizeToEncoder(job.VideoCodec, job.Width, job.Height);
  return job;
}

std::string NumberOrSourcesOwn(int value) {
  return value > 0 ? std::to_string(value) : std::string(SourcesOwn);
}

}  // namespace

bool TWorkbench::SampleAnalysed() const {
  return !TrimText(TIniFile(ExtFileName()).ReadString("mediatype", "Type", "")).empty();
}

void TWorkbench::ShowSampleJob() {
  if (!SampleAnalysed()) {
    frameSizeLabel.Caption = FrameSizePrefix;
    videoCodecLabel.Caption = std::string(VideoCodecPrefix) + AnalyseFirstText;
    videoBitrateLabel.Caption = VideoBitratePrefix;
    frameRateLabel.Caption = FrameRatePrefix;
    audioCodecLabel.Caption = AudioCodecPrefix;
    return;
  }
  const TSampleJob job = SampleJob(TIniFile(ExtFileName()));
  frameSizeLabel.Caption =
      FrameSizePrefix + (job.Width > 0 && job.Height > 0
                             ? std::to_string(job.Width) + "X" + std::to_string(job.Height)
                             : std::string(SourcesOwn));
  videoCodecLabel.Caption = VideoCodecPrefix + job.VideoText;
  videoBitrateLabel.Caption = VideoBitratePrefix + NumberOrSourcesOwn(job.VideoBitrate);
  frameRateLabel.Caption = FrameRatePrefix + NumberOrSourcesOwn(job.FrameRate);
  audioCodecLabel.Caption = AudioCodecPrefix + job.AudioText;
}

void TWorkbench::OnAnalyseClicked() {
  const std::vector<std::string> chosen = view_.OpenFileDialog(VideoFileFilter, false);
  if (chosen.empty()) return;
  const std::string& fileName = chosen.front();
  TSampleValues v;
  if (!ReadSample(fileName, v)) {
    view_.ShowMessage(CannotAnalyseText(fileName), mkError);
    return;
  }
  view_.ShowMessage(SampleFormatText(v.Type), mkInformation);
  TIniFile ext(ExtFileName());
  bool written =
      ext.WriteString("mediatype", "Type", v.Type) && ext.WriteString("video", "VideoCodec", v.VideoCodec) &&
      ext.WriteString("video", "VideoBitrate", FloatText(v.BitRate)) &&
      ext.WriteInteger("video", "Width", v.Width) && ext.WriteInteger("video", "Height", v.Height) &&
      ext.WriteString("video", "FPS", FloatText(v.FrameRate)) &&
      ext.WriteString("audio", "AudioCodec", v.AudioCodec);
  if (!written) view_.ShowMessage(CannotWriteText(ExtFileName()), mkError);
  ShowSampleJob();
  view_.Changed(wcSettings);
}

void TWorkbench::FillExistingVideoParams() {
  const TSampleJob job = SampleJob(TIniFile(ExtFileName()));
  JobExt = job.Ext;
  // An empty size, bit rate or frame rate (0) makes the job keep the source's own.
  JobFrameSize =
      job.Width > 0 && job.Height > 0 ? std::to_string(job.Width) + "x" + std::to_string(job.Height) : "";
  JobVideoCodec = job.VideoCodec;
  JobAudioCodec = job.AudioCodec;
  JobVideoBitrate = job.VideoBitrate;
  JobFrameRate = job.FrameRate;
}

}  // namespace ok
