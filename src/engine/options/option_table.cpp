// The option vocabulary: the dispatcher table from option names to the setters (named_setters.cpp).

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

}  // namespace ok
