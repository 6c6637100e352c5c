// The named setters behind the option table: each parses its option's value into the option state
// and refuses a bad value with the option's message.

#include <algorithm>
#include <cstring>
#include <ctime>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "engine/options/value_parsing.h"
#include "platform/program_folder.h"
#include "platform/text_utils.h"

namespace ok {

void TCustomFFmpeg::SetFrameRate(const std::string& value) {
  if (FF.av_parse_video_rate(&FrameRate, value.c_str()) < 0) throw FFmpegException("Incorrect frame rate");
}

void TCustomFFmpeg::SetFrameSize(const std::string& value) {
  if (FF.av_parse_video_size(&FrameWidth, &FrameHeight, value.c_str()) < 0)
    throw FFmpegException("Incorrect frame size");
  if (FrameWidth % 2 != 0 || FrameHeight % 2 != 0)
    throw FFmpegException("Frame size must be a multiple of 2");
}

void TCustomFFmpeg::SetFrameAspectRatio(const std::string& value) {
  double ratio = 0;
  size_t colon = value.find(':');
  if (colon != std::string::npos) {
    int w = StrToIntDef(value.substr(0, colon), 0);
    int h = StrToIntDef(value.substr(colon + 1), 0);
    ratio = h <= 0 ? 0 : double(w) / h;
  } else {
    ratio = StrToFloatDef(value, 0);
  }
  if (!(ratio > 0)) throw FFmpegException("Incorrect aspect ratio specification.");
  FrameAspectRatio = float(ratio);
}

void TCustomFFmpeg::LogFormatList(bool pixelFormats) {
  if (!HasLogHandler()) return;
  char line[128];
  int count = pixelFormats ? int(AV_PIX_FMT_NB) : int(AV_SAMPLE_FMT_NB);
  for (int i = -1; i < count; ++i) {
    if (pixelFormats) {
      const AVPixFmtDescriptor* d = i < 0 ? nullptr : FF.av_pix_fmt_desc_get(AVPixelFormat(i));
      if (i >= 0 && (!d || !d->name)) continue;
      FF.av_get_pix_fmt_string(line, sizeof line, AVPixelFormat(i));
    } else {
      FF.av_get_sample_fmt_string(line, sizeof line, AVSampleFormat(i));
    }
    Log(1, TrimText(line));
  }
}

void TCustomFFmpeg::SetFramePixFmt(const std::string& value) {
  if (value == "list") {
    LogFormatList(true);
    return;
  }
  FramePixFmt = FF.av_get_pix_fmt(value.c_str());
}

void TCustomFFmpeg::SetAudioSampleFmt(const std::string& value) {
  if (value == "list") {
    LogFormatList(false);
    return;
  }
  AudioSampleFmt = FF.av_get_sample_fmt(value.c_str());
}

void TCustomFFmpeg::SetCrop(int& field, int value, const char* side, bool vertical) {
  if (value < 0) throw FFmpegException(FormatText("%s crop size must not be negative", side));
  if (value % 2 != 0) throw FFmpegException(FormatText("%s crop size must be a multiple of 2", side));
  int& size = vertical ? FrameHeight : FrameWidth;
  if (value >= size)
    throw FFmpegException(std::string(vertical ? "Vertical" : "Horizontal") +
                          " crop dimensions are outside the range of the original image.\n"
                          "Remember to crop first and scale second.");
  field = value;
  size -= value;
}

void TCustomFFmpeg::SetCropTop(int value) { SetCrop(CropTop, value, "Top", true); }
void TCustomFFmpeg::SetCropBottom(int value) { SetCrop(CropBottom, value, "Bottom", true); }
void TCustomFFmpeg::SetCropLeft(int value) { SetCrop(CropLeft, value, "Left", false); }
void TCustomFFmpeg::SetCropRight(int value) { SetCrop(CropRight, value, "Right", false); }

void TCustomFFmpeg::SetPad(int& field, int value, const char* side) {
  if (value < 0) throw FFmpegException(FormatText("%s pad size must not be negative", side));
  if (value % 2 != 0) throw FFmpegException(FormatText("%s pad size must be a multiple of 2", side));
  field = value;
}

void TCustomFFmpeg::SetPadTop(int value) { SetPad(PadTop, value, "Top"); }
void TCustomFFmpeg::SetPadBottom(int value) { SetPad(PadBottom, value, "Bottom"); }
void TCustomFFmpeg::SetPadLeft(int value) { SetPad(PadLeft, value, "Left"); }
void TCustomFFmpeg::SetPadRight(int value) { SetPad(PadRight, value, "Right"); }

void TCustomFFmpeg::SetPadColor(int rgb) {
  // Full-range coefficients times 1024; >> floors, also for the negative sums of U and V.
  int r = rgb & 0xFF;
  int g = (rgb >> 8) & 0xFF;
  int b = (rgb >> 16) & 0xFF;
  PadColorY = (307 * r + 602 * g + 117 * b + 512) >> 10;
  PadColorU = ((-173 * r - 340 * g + 512 * b + 511) >> 10) + 128;
  PadColorV = ((512 * r - 429 * g - 84 * b + 511) >> 10) + 128;
}

void TCustomFFmpeg::SetQScale(const std::string& value) {
  double q = StrToFloat(value);
  if (!(q > 0 && q <= 255)) throw FFmpegException("qscale must be > 0.0 and <= 255");
  VideoQScale = float(q);
}

void TCustomFFmpeg::SetCodecName(std::string& field, bool& streamCopy, const std::string& name) {
  if (name.empty()) return;
  field.clear();
  if (name == "copy")
    streamCopy = true;
  else
    field = name;
}

void TCustomFFmpeg::SetVideoCodec(const std::string& name) {
  SetCodecName(VideoCodecName, VideoStreamCopy, name);
}
void TCustomFFmpeg::SetAudioCodec(const std::string& name) {
  SetCodecName(AudioCodecName, AudioStreamCopy, name);
}
void TCustomFFmpeg::SetSubtitleCodec(const std::string& name) {
  SetCodecName(SubtitleCodecName, SubtitleStreamCopy, name);
}

uint32_t TCustomFFmpeg::ParseTag(const std::string& tag, const char* kind, std::source_location where) {
  if (tag.size() != 4) {
    const char* file = std::strrchr(where.file_name(), '/');
    throw EAssertionFailed(FormatText("%s tag parameter must be 4 chars (%s, line %u)", kind,
                                      file ? file + 1 : where.file_name(), unsigned(where.line())));
  }
  auto byte = [&](int i) { return uint32_t(static_cast<unsigned char>(tag[i])); };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

void TCustomFFmpeg::SetVideoTag(const std::string& tag) {
  if (!tag.empty()) VideoCodecTag = ParseTag(tag, "video", std::source_location::current());
}

void TCustomFFmpeg::SetAudioTag(const std::string& tag) {
  if (!tag.empty()) AudioCodecTag = ParseTag(tag, "audio", std::source_location::current());
}

void TCustomFFmpeg::SetPass(const std::string& value) {
  int pass = StrToInt(value);
  if (pass != 1 && pass != 2) throw FFmpegException("pass number can be only 1 or 2");
  DoPass = pass;
}

void TCustomFFmpeg::SetVideoHook(const std::string& value) {
  const char separator = value.find('|') != std::string::npos ? '|' : ' ';
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && value[i] == separator) ++i;
    if (i == value.size()) break;
    size_t end = value.find(separator, i);
    if (end == std::string::npos) end = value.size();
    if (int(tokens.size()) == MaxHookTokens)
      throw FFmpegException(
          FormatText("Too many video hook arguments: at most %d tokens are allowed in \"%s\"", MaxHookTokens,
                     value.c_str()));
    tokens.push_back(value.substr(i, end - i));
    i = end;
  }
  if (FrameHookAdd(FrameHooks, tokens) != 0)
    throw FFmpegException("Failed to add video hook function: " + value);
  UsingVhook = true;
}

void TCustomFFmpeg::SetMatrix(std::unique_ptr<TQuantMatrix>& matrix, const std::string& value) {
  if (!matrix) matrix = std::make_unique<TQuantMatrix>();
  matrix->fill(0);
  const char* p = value.c_str();
  for (int i = 0; i < 64; ++i) {
    (*matrix)[i] = uint16_t(std::strtol(p, nullptr, 10));
    if (i == 63) break;
    p = std::strchr(p, ',');
    if (!p) throw FFmpegException(FormatText("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
    ++p;
  }
}

void TCustomFFmpeg::SetIntraMatrix(const std::string& value) { SetMatrix(IntraMatrix, value); }
void TCustomFFmpeg::SetInterMatrix(const std::string& value) { SetMatrix(InterMatrix, value); }

void TCustomFFmpeg::SetStreamMap(const std::string& value) {
  if (NbStreamMaps >= MaxStreamMaps)
    throw FFmpegException(FormatText("Too many stream maps: at most %d are allowed", MaxStreamMaps));
  TStreamMap& map = StreamMaps[NbStreamMaps];
  const char* p = value.c_str();
  // Text read as 0 would map a stream nobody asked for; only a missing stream index means 0.
  auto index = [&] {
    const char* start = p;
    const int n = ReadPrefixedInt(p);
    if (p == start && (start == value.c_str() || *start != '\0'))
      throw FFmpegException("Incorrect stream map specification: " + value);
    return n;
  };
  map.FileIndex = index();
  if (*p) ++p;
  map.StreamIndex = index();
  if (*p) {
    ++p;
    map.SyncFileIndex = index();
    if (*p) ++p;
    map.SyncStreamIndex = index();
  } else {
    map.SyncFileIndex = map.FileIndex;
    map.SyncStreamIndex = map.StreamIndex;
  }
  ++NbStreamMaps;
}

void TCustomFFmpeg::SetMetaDataMap(const std::string& value) {
  if (NbMetaDataMaps >= MaxMetaDataMaps)
    throw FFmpegException(FormatText("Too many metadata maps: at most %d are allowed", MaxMetaDataMaps));
  TMetaDataMap& map = MetaDataMaps[NbMetaDataMaps];
  const char* p = value.c_str();
  map.OutFile = ReadPrefixedInt(p);
  if (*p) ++p;
  map.InFile = ReadPrefixedInt(p);
  ++NbMetaDataMaps;
}

void TCustomFFmpeg::SetMetadata(const std::string& value) {
  size_t eq = value.find('=');
  if (eq == std::string::npos) throw FFmpegException("Missing =");
  AddMetadata(value.substr(0, eq), value.substr(eq + 1));
}

int64_t TCustomFFmpeg::ParseTimeOption(const std::string& option, const std::string& value, bool duration) {
  int64_t us = 0;
  if (FF.av_parse_time(&us, value.c_str(), duration ? 1 : 0) < 0)
    throw FFmpegException(FormatText("Invalid %s specification for %s: %s", duration ? "duration" : "date",
                                     option.c_str(), value.c_str()));
  return us;
}

// A recording of no time records nothing, and a start before the file's beginning would pad it.
void TCustomFFmpeg::SetRecordingTimeOption(const std::string& value) {
  const int64_t us = ParseTimeOption("t", value, true);
  if (us <= 0) throw FFmpegException("Invalid duration specification for t: " + value);
  SetRecordingTime(us);
}

void TCustomFFmpeg::SetStartTimeOption(const std::string& value) {
  const int64_t us = ParseTimeOption("ss", value, true);
  if (us < 0) throw FFmpegException("Invalid duration specification for ss: " + value);
  StartTime = us;
}

void TCustomFFmpeg::SetTsOffsetOption(const std::string& value) {
  TsOffset = ParseTimeOption("itsoffset", value, true);
}

void TCustomFFmpeg::SetTimestampOption(const std::string& value) {
  RecTimestamp = RoundHalfEven(double(ParseTimeOption("timestamp", value, false)) / 1000000.0);
}

void TCustomFFmpeg::SetTsScale(const std::string& value) {
  const char* p = value.c_str();
  int stream = ReadPrefixedInt(p);
  if (*p) ++p;
  double scale = ReadDecimalPrefix(p);
  if (stream < 0 || stream >= MaxStreams)
    throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
  // The row of the next input file; past the last file there is none.
  if (NbInputFiles >= MaxFiles)
    throw FFmpegException(FormatText("Too many input files: at most %d are allowed", MaxFiles));
  InputFilesTsScale[NbInputFiles][stream] = scale;
}

void TCustomFFmpeg::SetBitstreamFilter(const std::string& option, const std::string& value) {
  if (value.empty() || value[0] == '=') return;
  std::string name = value.substr(0, value.find('='));
  const AVBitStreamFilter* filter = FF.av_bsf_get_by_name(name.c_str());
  if (!filter) throw FFmpegException(FormatText("Unknown bitstream filter %s", TrimText(value).c_str()));
  AVBSFContext* context = nullptr;
  if (FF.av_bsf_alloc(filter, &context) < 0 || !context)
    throw FFmpegException(FormatText("Could not allocate bitstream filter %s", name.c_str()));
  TBsfContextPtr owned(context);
  TBitstreamFilterChain& chain = option[0] == 'v'   ? VideoBitstreamFilters
                                 : option[0] == 'a' ? AudioBitstreamFilters
                                                    : SubtitleBitstreamFilters;
  chain.push_back(std::move(owned));
}

void TCustomFFmpeg::SetVstatsFile(const std::string& fileName) { VstatsFileName = fileName; }

void TCustomFFmpeg::SetVstats() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H%M%S", &local);
  // The settings folder is the program's folder whenever the program may write there.
  VstatsFileName = FormatText("%svstats_%s.log", SettingsFolder().c_str(), clock);
}

}  // namespace ok
