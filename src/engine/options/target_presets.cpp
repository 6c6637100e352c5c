// Target presets: one step that configures a task for video CD, super video CD, DVD or DV.

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "engine/options/value_parsing.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

enum TNorm { nmPAL, nmNTSC, nmFILM };

const char* const NormFrameRates[] = {"25", "30000/1001", "24000/1001"};

// 25000 is PAL, 29970 and 23976 are NTSC; anything else decides nothing (-1).
int NormOfRate(int64_t milliFps) {
  if (milliFps == 25000) return nmPAL;
  if (milliFps == 29970 || milliFps == 23976) return nmNTSC;
  return -1;
}

}  // namespace

void TCustomFFmpeg::AssumeAspect(const char* aspect) {
  if (FrameAspectRatio != 0) return;
  Log(1, FormatText("Assuming %s for aspect ratio", aspect));
  SetFrameAspectRatio(aspect);
}

void TCustomFFmpeg::SetTarget(const std::string& type, const std::string& norm,
                              const std::string& defaultNorm) {
  int n;
  if (norm == "pal") {
    n = nmPAL;
  } else if (norm == "ntsc") {
    n = nmNTSC;
  } else if (norm == "film") {
    n = nmFILM;
  } else {
    if (FrameRate.den == 0) throw FFmpegException("frame_rate is invalid.");
    n = NormOfRate(RoundHalfEven(double(FrameRate.num) * 1000.0 / FrameRate.den));
    for (const auto& file : InputStreamParams) {
      if (n >= 0) break;
      for (const TInputStreamParams& stream : file) {
        if (stream.CodecType != AVMEDIA_TYPE_VIDEO || stream.CodecTimeBase.num == 0) continue;
        n = NormOfRate(RoundHalfEven(double(stream.CodecTimeBase.den) * 1000.0 / stream.CodecTimeBase.num));
        if (n >= 0) break;
      }
    }
    if (n < 0) n = defaultNorm == "film" ? nmFILM : defaultNorm == "ntsc" ? nmNTSC : nmPAL;
    if (Verbose > 0) Log(1, FormatText("Assuming %s for target.", n == nmPAL ? "PAL" : "NTSC"));
  }
  ApplyPreset(type, n);
}

void TCustomFFmpeg::ApplyPreset(const std::string& type, int norm) {
  const bool pal = norm == nmPAL;
  const char* rate = NormFrameRates[norm];
  if (type == "vcd") {
    SetVideoCodec("mpeg1video");
    SetAudioCodec("mp2");
    SetOutputFormat("vcd");
    SetFrameSize(pal ? "352x288" : "352x240");
    SetFrameRate(rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "1150000");
    SetGenericOption("maxrate", "1150000");
    SetGenericOption("minrate", "1150000");
    SetGenericOption("bufsize", "327680");
    SetGenericOption("ab", "224000");
    AudioSampleRate = 44100;
    AudioChannels = 2;
    SetGenericOption("packetsize", "2324");
    SetGenericOption("muxrate", "1411200");
    // The VCD standard's tight buffer wants 0.44 s rather than the usual 0.5 s of preload.
    MuxPreload = 0.44f;
    AssumeAspect("4:3");
  } else if (type == "svcd") {
    SetVideoCodec("mpeg2video");
    SetAudioCodec("mp2");
    SetOutputFormat("svcd");
    SetFrameSize(pal ? "480x576" : "480x480");
    SetFrameRate(rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "2040000");
    SetGenericOption("maxrate", "2516000");
    SetGenericOption("minrate", "0");
    SetGenericOption("bufsize", "1835008");
    SetGenericOption("flags", "+scan_offset");
    SetGenericOption("ab", "224000");
    AudioSampleRate = 44100;
    SetGenericOption("packetsize", "2324");
    if (AudioChannels == 1) AudioChannels = 2;
    AssumeAspect("4:3");
  } else if (type == "dvd") {
    SetVideoCodec("mpeg2video");
    SetAudioCodec("ac3");
    SetOutputFormat("dvd");
    SetFrameSize(pal ? "720x576" : "720x480");
    SetFrameRate(rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "6000000");
    SetGenericOption("maxrate", "9000000");
    SetGenericOption("minrate", "0");
    SetGenericOption("bufsize", "1835008");
    SetGenericOption("packetsize", "2048");
    SetGenericOption("muxrate", "10080000");
    SetGenericOption("ab", "448000");
    AudioSampleRate = 48000;
    if (AudioChannels == 1) AudioChannels = 2;
    AssumeAspect("16:9");
  } else if (type == "dv" || type == "dv50") {
    SetOutputFormat("dv");
    SetFrameSize(pal ? "720x576" : "720x480");
    SetFramePixFmt(type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    SetFrameRate(rate);
    AudioSampleRate = 48000;
    AudioChannels = 2;
  } else {
    throw FFmpegException("Unknown target type");
  }
}

void TCustomFFmpeg::SetTargetOption(const std::string& value) {
  std::string v = TrimText(value);
  std::string norm = "auto";
  std::string type = v;
  for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
    std::string p = prefix;
    if (v.compare(0, p.size(), p) == 0) {
      norm = p.substr(0, p.size() - 1);
      type = v.substr(p.size());
      break;
    }
  }
  SetTarget(type, norm, "ntsc");
}

}  // namespace ok
