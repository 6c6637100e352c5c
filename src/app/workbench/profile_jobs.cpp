#include "app/workbench/profile_jobs.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "media/ff_functions.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

int Even(double value) {
  const int64_t whole = std::llround(value);
  return int(std::max<int64_t>(2, whole - whole % 2));
}

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// The audio encoder a profile's codec name stands for.
std::string AudioEncoder(const std::string& codec) {
  const std::string lower = LowerAscii(codec);
  if (lower == "opus") return "libopus";
  return lower;  // "aac", "copy", or an encoder's own name
}

// The library's profile number for the names of H.264 and H.265 profiles; other texts go as given.
std::string ProfileValue(const std::string& encoder, const std::string& name) {
  struct TNamed {
    const char* Encoder;
    const char* Name;
    const char* Value;
  };
  // FF_PROFILE_H264_* and FF_PROFILE_HEVC_*; the H.264 encoder's baseline is the constrained one.
  static const TNamed names[] = {{"libx264", "baseline", "66"}, {"libx264", "constrained_baseline", "66"},
                                 {"libx264", "main", "77"},     {"libx264", "high", "100"},
                                 {"libx265", "main", "1"},      {"libx265", "main10", "2"}};
  for (const TNamed& n : names)
    if (encoder == n.Encoder && strcasecmp(name.c_str(), n.Name) == 0) return n.Value;
  return name;
}

// The level as the library counts it: "3.1" is 31 for H.264 and 93 for H.265; a whole number
// above 9 goes as given.
std::string LevelValue(const std::string& encoder, const std::string& level) {
  const double value = StrToFloatDef(level, -1);
  if (value <= 0 || (value > 9 && value == std::floor(value))) return level;
  return std::to_string(std::lround(value * (encoder == "libx265" ? 30 : 10)));
}

const char* NewStreamOption(AVMediaType type) {
  return type == AVMEDIA_TYPE_VIDEO ? "newvideo" : type == AVMEDIA_TYPE_AUDIO ? "newaudio" : "newsubtitle";
}

const char* CodecOption(AVMediaType type) {
  return type == AVMEDIA_TYPE_VIDEO ? "vcodec" : type == AVMEDIA_TYPE_AUDIO ? "acodec" : "scodec";
}

bool IsCopied(const TSourceStream& stream) {
  return stream.MediaType == AVMEDIA_TYPE_VIDEO || stream.MediaType == AVMEDIA_TYPE_AUDIO ||
         stream.MediaType == AVMEDIA_TYPE_SUBTITLE;
}

// Whether the muxer of `suffix` can carry the stream; a muxer that does not say takes it.
bool Holds(const std::string& suffix, const TSourceStream& stream) {
  const AVOutputFormat* format = FF.av_guess_format(nullptr, ("x" + suffix).c_str(), nullptr);
  return !format || FF.avformat_query_codec(format, AVCodecID(stream.CodecId), FF_COMPLIANCE_NORMAL) != 0;
}

// The first stream the container cannot hold, or null.
const TSourceStream* FirstNotHeld(const std::string& suffix, const TSourceRow& source) {
  for (const TSourceStream& stream : source.Streams)
    if (IsCopied(stream) && !Holds(suffix, stream)) return &stream;
  return nullptr;
}

}  // namespace

std::string RemuxSuffix(const profile_rec& p, const TSourceRow& source) {
  if (p.Remux == "auto") return FirstNotHeld(".mp4", source) ? ".mkv" : ".mp4";
  const std::string suffix = "." + p.Remux;
  if (const TSourceStream* stream = FirstNotHeld(suffix, source)) {
    const int index = int(stream - source.Streams.data());
    throw std::runtime_error(
        ContainerCannotHoldText(p.Type, index + 1, FF.avcodec_get_name(AVCodecID(stream->CodecId))));
  }
  return suffix;
}

void ApplyRemuxProfile(const profile_rec& p, const TSourceRow& source, TOutputOptions& o,
                       std::string& suffix) {
  suffix = RemuxSuffix(p, source);
  o.VideoCodec = o.AudioCodec = "copy";
  o.DisableSubtitle = false;
  o.FrameSize.clear();
  o.FrameRate.clear();
  o.VideoBitrate = o.AudioBitrate = -1;
  o.PadTop = o.PadBottom = o.PadLeft = o.PadRight = -1;
  // The engine makes one stream of each kind (video, audio, subtitle, in this order) and one more
  // for each "new" line after it; the maps give them their source streams in that order.
  std::string firsts, extras, news;
  for (const AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE}) {
    bool first = true;
    for (size_t i = 0; i < source.Streams.size(); ++i) {
      const TSourceStream& stream = source.Streams[i];
      if (stream.MediaType != type || !Holds(suffix, stream)) continue;
      (first ? firsts : extras) += "map=0:" + std::to_string(i) + "\n";
      if (!first) news += std::string(CodecOption(type)) + "=copy\n" + NewStreamOption(type) + "=\n";
      first = false;
    }
  }
  o.ExtraOptions = firsts + extras + "scodec=copy\n" + news + o.ExtraOptions;
  if (suffix == ".mp4") o.ExtraOptions = "movflags=+faststart\n" + o.ExtraOptions;
}

bool ReplaceQualityByRate(TOutputOptions& o, int bitrate) {
  std::string& lines = o.ExtraOptions;
  size_t at = 0;
  while (at < lines.size() && lines.compare(at, 4, "crf=") != 0) {
    at = lines.find('\n', at);
    at = at == std::string::npos ? lines.size() : at + 1;
  }
  if (at >= lines.size()) return false;
  const size_t end = lines.find('\n', at);
  lines.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
  o.VideoBitrate = bitrate;
  return true;
}

bool IsQualityProfile(const profile_rec& p) {
  return p.Quality >= 0 || p.Fit == "box" || p.FPSCap > 0 || !p.PixelFormat.empty() || !p.Remux.empty() ||
         p.MaxRate > 0 || !p.Speed.empty() || p.MaxChannels > 0;
}

TFrameBox FitInBox(int64_t width, int64_t height, int boxWidth, int boxHeight) {
  if (boxWidth <= 0 || boxHeight <= 0) {
    if (width <= 0 || height <= 0) return {};
    return {Even(double(width)), Even(double(height))};
  }
  if (width <= 0 || height <= 0) return {Even(boxWidth), Even(boxHeight)};
  // A standing picture is measured against the box standing too.
  if ((height > width) != (boxHeight > boxWidth)) std::swap(boxWidth, boxHeight);
  const double scale = std::min({1.0, double(boxWidth) / double(width), double(boxHeight) / double(height)});
  return {std::min(Even(double(width) * scale), Even(boxWidth)),
          std::min(Even(double(height) * scale), Even(boxHeight))};
}

std::string CappedFrameRate(int num, int den, double cap) {
  if (num <= 0 || den <= 0 || cap <= 0) return "";
  const double rate = double(num) / double(den);
  // A hair over the cap (30000/1001 under 30, a rate stored as 30.0001) is under it.
  if (rate <= cap * 1.001) return "";
  const int64_t divisor = int64_t(std::ceil(rate / cap - 0.001));
  int64_t n = num, d = int64_t(den) * divisor;
  const int64_t common = std::gcd(n, d);
  return std::to_string(n / common) + "/" + std::to_string(d / common);
}

std::string FirstAvailableEncoder(const std::string& list, const TEncoderCheck& available) {
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = TrimText(list.substr(start, comma - start));
    if (!name.empty() && available(name)) return name;
    start = comma + 1;
  }
  return "";
}

void ApplyQualityProfile(const profile_rec& p, const TSourceRow& source, const std::string& encoder,
                         TOutputOptions& o, std::string& suffix) {
  std::string lines;
  auto line = [&lines](const std::string& name, const std::string& value) {
    lines += name + "=" + value + "\n";
  };

  o.VideoCodec = encoder;
  // Quality-based rate control: a bit rate the profile names is then the encoder's cap (VP9's
  // constrained quality), not a target.
  if (p.Quality >= 0) line("crf", FloatText(p.Quality));
  o.VideoBitrate = p.VideoBitrate > 0 ? p.VideoBitrate : -1;
  if (p.MaxRate > 0) o.VideoMaxRate = p.MaxRate;
  if (p.BufSize > 0) o.VideoBufSize = p.BufSize;
  if (!p.Speed.empty())
    line(IsOneOf(encoder, {"libvpx-vp9", "libvpx", "libaom-av1"}) ? "cpu-used" : "preset", p.Speed);
  if (p.PixelFormat == "keep10")
    line("pix_fmt", source.BitDepth > 8 ? "yuv420p10le" : "yuv420p");
  else if (!p.PixelFormat.empty())
    line("pix_fmt", p.PixelFormat);
  // "v" keeps them off the audio encoder, whose profiles number differently.
  if (!p.Profile.empty()) line("vprofile", ProfileValue(encoder, p.Profile));
  if (!p.Level.empty()) line("vlevel", LevelValue(encoder, p.Level));
  if (!p.Tag.empty()) o.VideoTag = p.Tag;
  // Only interlaced pictures: deinterlacing a progressive source would only soften it.
  if (p.Deinterlace && source.Interlaced) line("deinterlace", "1");

  // The picture as a player shows it, in the box, with square pixels and no pads (players
  // letterbox themselves).
  const TFrameBox frame = p.Fit == "box" || (p.Width <= 0 && p.Height <= 0)
                              ? FitInBox(source.DisplayWidth, source.DisplayHeight, p.Width, p.Height)
                              : TFrameBox{p.Width, p.Height};
  if (frame.Width > 0 && frame.Height > 0) {
    o.FrameSize = std::to_string(frame.Width) + "x" + std::to_string(frame.Height);
    o.FrameAspectRatio = std::to_string(frame.Width) + ":" + std::to_string(frame.Height);
  }
  o.PadTop = o.PadBottom = o.PadLeft = o.PadRight = 0;

  if (p.FPS > 0)
    o.FrameRate = FloatText(p.FPS);
  else
    o.FrameRate = CappedFrameRate(source.FrameRateNum, source.FrameRateDen, p.FPSCap > 0 ? p.FPSCap : 60);

  if (!p.AudioCodec.empty()) o.AudioCodec = AudioEncoder(p.AudioCodec);
  if (p.MaxChannels > 0 && source.AudioChannels > p.MaxChannels) o.AudioChannels = p.MaxChannels;
  // The profile's audio rate is a stereo pair's; surround that is kept gets it per pair.
  const int channels =
      std::min(source.AudioChannels, p.MaxChannels > 0 ? p.MaxChannels : source.AudioChannels);
  if (p.AudioBitrate > 0)
    o.AudioBitrate = channels > 2 ? int(int64_t(p.AudioBitrate) * channels / 2) : p.AudioBitrate;
  if (p.SampleRate > 0) o.AudioSampleRate = p.SampleRate;

  // MP4's index goes before the media data, so a player starts before the file is whole.
  if (strcasecmp(suffix.c_str(), ".mp4") == 0 || strcasecmp(suffix.c_str(), ".mov") == 0)
    line("movflags", "+faststart");
  o.ExtraOptions = lines + o.ExtraOptions;
}

}  // namespace ok
