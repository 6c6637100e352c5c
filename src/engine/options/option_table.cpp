// The option vocabulary: the dispatcher table and the setters that parse option values.

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unordered_map>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "engine/options/value_parsing.h"
#include "platform/program_folder.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

using THandler = void (*)(TCustomFFmpeg& e, const std::string& name, const std::string& value);

template <auto Field>
void FlagOption(TCustomFFmpeg& e, const std::string&, const std::string& value) {
  e.*Field = IsTrueFlag(value);
}

template <auto Field>
void IntOption(TCustomFFmpeg& e, const std::string&, const std::string& value) {
  e.*Field = StrToInt(value);
}

template <auto Field>
void Int64Option(TCustomFFmpeg& e, const std::string&, const std::string& value) {
  e.*Field = StrToInt64(value);
}

template <auto Field>
void SingleOption(TCustomFFmpeg& e, const std::string&, const std::string& value) {
  e.*Field = float(StrToFloat(value));
}

// A negative limit would let no frame through, reported as an input that cannot be decoded.
template <int MediaType>
void MaxFramesOption(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
  const int n = StrToInt(value);
  if (n < 0)
    throw FFmpegException(
        FormatText("%s must be a whole number >= 0, not '%s'", name.c_str(), value.c_str()));
  e.MaxFrames[MediaType] = n;
}

template <auto Field>
void TextOption(TCustomFFmpeg& e, const std::string&, const std::string& value) {
  e.*Field = value;
}

void DoNothing(TCustomFFmpeg& e, const std::string& name, const std::string&) {
  e.Log(1, "Do nothing: option - " + name);
}

// 0 leaves the count to the libraries, which take one thread per core. A larger count than the
// cores buys nothing, and every frame thread of a codec holds a whole copy of its context: a
// count in the thousands exhausts memory. The codecs' own advice is at most 16.
void ThreadsOption(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
  const int n = StrToIntDef(value, -1);
  if (n < 0)
    throw FFmpegException(FormatText("%s must be a whole number >= 0 (0: one per core), not '%s'",
                                     name.c_str(), value.c_str()));
  constexpr int CodecThreadLimit = 16;
  e.ThreadCount = std::min({n, std::max(1, FF.av_cpu_count()), CodecThreadLimit});
}

// A count that only makes sense above zero; the records' "unset" never comes this way.
int Positive(const std::string& name, const std::string& value) {
  const int n = StrToInt(value);
  if (n <= 0)
    throw FFmpegException(FormatText("%s must be a whole number > 0, not '%s'", name.c_str(), value.c_str()));
  return n;
}

void Bitrate(TCustomFFmpeg& e, const std::string& name, const std::string& value) {
  if (!e.SetGenericOption(name, value) || !e.HasLogHandler()) return;
  AVCodecContext* context = e.OptionContexts.CodecOptions[name[0] == 'a' ? MediaAudio : MediaVideo].get();
  int64_t bitrate = 0;
  if (FF.av_opt_get_int(context, "b", 0, &bitrate) >= 0 && bitrate < 1000)
    e.Log(1, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

template <AVMediaType MediaType>
void NewStream(TCustomFFmpeg& e, const std::string&, const std::string&) {
  e.NewStreamInLastOutput(MediaType);
}

const std::unordered_map<std::string_view, THandler>& OptionTable() {
  static const std::unordered_map<std::string_view, THandler> table = {
      // Options without effect in this engine.
      {"L", &DoNothing},
      {"h", &DoNothing},
      {"version", &DoNothing},
      {"formats", &DoNothing},
      {"i", &DoNothing},
      {"y", &DoNothing},
      {"benchmark", &DoNothing},
      {"apre", &DoNothing},
      {"vpre", &DoNothing},
      {"spre", &DoNothing},
      // Flags.
      {"dump", &FlagOption<&TOptionState::PktDump>},
      {"hex", &FlagOption<&TOptionState::HexDump>},
      {"re", &FlagOption<&TOptionState::RateEmu>},
      {"loop_input", &FlagOption<&TOptionState::LoopInput>},
      {"shortest", &FlagOption<&TOptionState::Shortest>},
      {"intra", &FlagOption<&TOptionState::IntraOnly>},
      {"vn", &FlagOption<&TOptionState::VideoDisable>},
      {"autorotate", &FlagOption<&TOptionState::AutoRotate>},
      {"sameq", &FlagOption<&TOptionState::SameQuality>},
      {"deinterlace", &FlagOption<&TOptionState::Deinterlace>},
      {"psnr", &FlagOption<&TOptionState::DoPsnr>},
      {"qphist", &FlagOption<&TOptionState::QpHistogram>},
      {"force_fps", &FlagOption<&TOptionState::ForceFps>},
      {"an", &FlagOption<&TOptionState::AudioDisable>},
      {"sn", &FlagOption<&TOptionState::SubtitleDisable>},
      {"isync", &FlagOption<&TOptionState::InputSync>},
      {"copyts", [](TCustomFFmpeg& e, const std::string&, const std::string&) { e.CopyTs = true; }},
      {"xerror", [](TCustomFFmpeg& e, const std::string&, const std::string&) { e.ExitOnError = true; }},
      // Numbers, stored as they are.
      {"threads", &ThreadsOption},
      {"vframes", &MaxFramesOption<MediaVideo>},
      {"aframes", &MaxFramesOption<MediaAudio>},
      {"dframes", &MaxFramesOption<MediaData>},
      {"loop_output", &IntOption<&TOptionState::LoopOutput>},
      {"vsync", &IntOption<&TOptionState::VideoSyncMethod>},
      {"async", &IntOption<&TOptionState::AudioSyncMethod>},
      {"vglobal", &IntOption<&TOptionState::VideoGlobalHeader>},
      {"programid", &IntOption<&TOptionState::ProgramID>},
      {"copyinkf", &IntOption<&TOptionState::CopyInitialNonKeyframes>},
      {"vdt", &IntOption<&TOptionState::VideoDiscard>},
      {"me_threshold", &IntOption<&TOptionState::MeThreshold>},
      {"top", &IntOption<&TOptionState::TopFieldFirst>},
      {"dc", &IntOption<&TOptionState::IntraDcPrecision>},
      {"vol", &IntOption<&TOptionState::AudioVolume>},
      {"vc", &IntOption<&TOptionState::VideoChannel>},
      {"fs", &Int64Option<&TOptionState::LimitFileSize>},
      {"adrift_threshold", &SingleOption<&TOptionState::AudioDriftThreshold>},
      {"dts_delta_threshold", &SingleOption<&TOptionState::DtsDeltaThreshold>},
      {"aq", &SingleOption<&TOptionState::AudioQScale>},
      {"muxdelay", &SingleOption<&TOptionState::MuxMaxDelay>},
      {"muxpreload", &SingleOption<&TOptionState::MuxPreload>},
      {"ar",
       [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
         e.AudioSampleRate = Positive(n, v);
         e.AudioSampleRateGiven = true;
       }},
      {"ac",
       [](TCustomFFmpeg& e, const std::string& n, const std::string& v) {
         e.AudioChannels = Positive(n, v);
         e.AudioChannelsGiven = true;
       }},
      // Texts.
      {"alang", &TextOption<&TOptionState::AudioLanguage>},
      {"slang", &TextOption<&TOptionState::SubtitleLanguage>},
      {"passlogfile", &TextOption<&TOptionState::PassLogFileName>},
      {"vfilters",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
         if (!v.empty()) e.VideoFilters = v;
       }},
      {"rc_override", &TextOption<&TOptionState::VideoRcOverride>},
      {"tvstd", &TextOption<&TOptionState::VideoStandard>},
      {"vstats_file", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetVstatsFile(v); }},
      {"vstats", [](TCustomFFmpeg& e, const std::string&, const std::string&) { e.SetVstats(); }},
      // Options with their own setter.
      {"f", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetInputOutputFormat(v); }},
      {"v", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetVerbose(StrToInt(v)); }},
      {"target", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetTargetOption(v); }},
      {"map", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetStreamMap(v); }},
      {"map_meta_data",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetMetaDataMap(v); }},
      // The newer spelling names only the input: -1 keeps the first input's metadata out.
      {"map_metadata",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) {
         if (const int input = StrToInt(v); input < 0)
           e.CopyInputMetadata = false;
         else
           e.SetMetaDataMap(std::to_string(e.NbOutputFiles) + ":" + std::to_string(input));
       }},
      {"map_chapters", [](TCustomFFmpeg& e, const std::string&,
                          const std::string& v) { e.ChapterInput = std::max(-1, StrToInt(v)); }},
      {"t", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetRecordingTimeOption(v); }},
      {"ss", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetStartTimeOption(v); }},
      {"itsoffset",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetTsOffsetOption(v); }},
      {"timestamp",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetTimestampOption(v); }},
      {"itsscale", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetTsScale(v); }},
      {"metadata", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetMetadata(v); }},
      {"b", &Bitrate},
      {"vb", &Bitrate},
      {"ab", &Bitrate},
      {"r", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetFrameRate(v); }},
      {"s", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetFrameSize(v); }},
      {"aspect",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetFrameAspectRatio(v); }},
      {"pix_fmt", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetFramePixFmt(v); }},
      {"sample_fmt",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetAudioSampleFmt(v); }},
      {"croptop",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetCropTop(StrToInt(v)); }},
      {"cropbottom",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetCropBottom(StrToInt(v)); }},
      {"cropleft",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetCropLeft(StrToInt(v)); }},
      {"cropright",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetCropRight(StrToInt(v)); }},
      {"padtop",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetPadTop(StrToInt(v)); }},
      {"padbottom",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetPadBottom(StrToInt(v)); }},
      {"padleft",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetPadLeft(StrToInt(v)); }},
      {"padright",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetPadRight(StrToInt(v)); }},
      {"padcolor",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetPadColor(StrToInt(v)); }},
      {"qscale", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetQScale(v); }},
      {"vcodec", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetVideoCodec(v); }},
      {"acodec", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetAudioCodec(v); }},
      {"scodec", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetSubtitleCodec(v); }},
      {"vtag", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetVideoTag(v); }},
      {"atag", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetAudioTag(v); }},
      {"pass", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetPass(v); }},
      {"vhook", [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetVideoHook(v); }},
      {"intra_matrix",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetIntraMatrix(v); }},
      {"inter_matrix",
       [](TCustomFFmpeg& e, const std::string&, const std::string& v) { e.SetInterMatrix(v); }},
      {"absf",
       [](TCustomFFmpeg& e, const std::string& n, const std::string& v) { e.SetBitstreamFilter(n, v); }},
      {"vbsf",
       [](TCustomFFmpeg& e, const std::string& n, const std::string& v) { e.SetBitstreamFilter(n, v); }},
      {"sbsf",
       [](TCustomFFmpeg& e, const std::string& n, const std::string& v) { e.SetBitstreamFilter(n, v); }},
      {"newvideo", &NewStream<AVMEDIA_TYPE_VIDEO>},
      {"newaudio", &NewStream<AVMEDIA_TYPE_AUDIO>},
      {"newsubtitle", &NewStream<AVMEDIA_TYPE_SUBTITLE>},
  };
  return table;
}

}  // namespace

void TCustomFFmpeg::ApplyOption(const std::string& name, const std::string& value) {
  const auto& table = OptionTable();
  auto it = table.find(name);
  if (it == table.end()) {
    SetGenericOption(name, value);
    return;
  }
  it->second(*this, name, value);
}

std::string TCustomFFmpeg::CheckOption(const std::string& name, const std::string& value) {
  // The bit rates go to the library tables through the dispatcher.
  const bool libraryValue = name == "b" || name == "ab";
  if (OptionTable().count(name) && !libraryValue) {
    if (name == "pix_fmt" && value != "list" && FF.av_get_pix_fmt(value.c_str()) == AV_PIX_FMT_NONE)
      return "unknown pixel format '" + value + "'";
    if (name == "sample_fmt" && value != "list" && FF.av_get_sample_fmt(value.c_str()) == AV_SAMPLE_FMT_NONE)
      return "unknown sample format '" + value + "'";
    return "";
  }
  if (!libraryValue && !KnowsGenericOption(name)) return "unknown option '" + name + "'";
  if (!SetGenericOption(name, value)) return "invalid value '" + value + "' for option '" + name + "'";
  return "";
}

void TCustomFFmpeg::ApplyOptionLines(const std::string& text, int pass) {
  std::string rest;
  std::string trimmed = TrimText(text);
  rest.reserve(trimmed.size());
  for (size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == '\r') {
      rest += '\n';
      if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
    } else {
      rest += trimmed[i];
    }
  }
  while (!rest.empty()) {
    size_t lf = rest.find('\n');
    std::string line = rest.substr(0, lf);
    rest = lf == std::string::npos ? std::string() : rest.substr(lf + 1);
    size_t eq = line.find('=');
    std::string name = line.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    bool streamOption = name == "newvideo" || name == "newaudio" || name == "newsubtitle";
    // A stream made later takes the codec named before it: the output's first streams consumed theirs.
    const bool codec = name == "vcodec" || name == "acodec" || name == "scodec";
    if (streamOption == (pass == 1) || (codec && pass == 1)) ApplyOption(name, value);
  }
}

void TCustomFFmpeg::NewStreamInLastOutput(AVMediaType mediaType) {
  if (NbOutputFiles == 0) throw FFmpegException("At least one output file must be specified");
  NewOutputStream(mediaType);
}

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
