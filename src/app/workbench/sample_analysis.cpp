#include <strings.h>

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
constexpr const char* SourcesOwn = "同源视频";

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
  return job;
}

std::string NumberOrSourcesOwn(int value) { return value > 0 ? std::to_string(value) : SourcesOwn; }

}  // namespace

bool TWorkbench::SampleAnalysed() const {
  return !TrimText(TIniFile(ExtFileName()).ReadString("mediatype", "Type", "")).empty();
}

void TWorkbench::ShowSampleJob() {
  if (!SampleAnalysed()) {
    frameSizeLabel.Caption = "视频像素：";
    videoCodecLabel.Caption = "视频编码：请先分析视频文件";
    videoBitrateLabel.Caption = "视频码率：";
    frameRateLabel.Caption = "帧速率：";
    audioCodecLabel.Caption = "音频编码：";
    return;
  }
  const TSampleJob job = SampleJob(TIniFile(ExtFileName()));
  frameSizeLabel.Caption = "视频像素：" + (job.Width > 0 && job.Height > 0
                                               ? std::to_string(job.Width) + "X" + std::to_string(job.Height)
                                               : std::string(SourcesOwn));
  videoCodecLabel.Caption = "视频编码：" + job.VideoText;
  videoBitrateLabel.Caption = "视频码率：" + NumberOrSourcesOwn(job.VideoBitrate);
  frameRateLabel.Caption = "帧速率：" + NumberOrSourcesOwn(job.FrameRate);
  audioCodecLabel.Caption = "音频编码：" + job.AudioText;
}

void TWorkbench::OnAnalyseClicked() {
  const std::vector<std::string> chosen = view_.OpenFileDialog(VideoFileFilter, false);
  if (chosen.empty()) return;
  const std::string& fileName = chosen.front();
  TSampleValues v;
  if (!ReadSample(fileName, v)) {
    view_.ShowMessage("无法分析视频文件 " + fileName + "！", mkError);
    return;
  }
  view_.ShowMessage("您选择的视频格式为 ." + v.Type, mkInformation);
  TIniFile ext(ExtFileName());
  bool written =
      ext.WriteString("mediatype", "Type", v.Type) && ext.WriteString("video", "VideoCodec", v.VideoCodec) &&
      ext.WriteString("video", "VideoBitrate", FloatText(v.BitRate)) &&
      ext.WriteInteger("video", "Width", v.Width) && ext.WriteInteger("video", "Height", v.Height) &&
      ext.WriteString("video", "FPS", FloatText(v.FrameRate)) &&
      ext.WriteString("audio", "AudioCodec", v.AudioCodec);
  if (!written) view_.ShowMessage("未能写入 " + ExtFileName() + "！", mkError);
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
