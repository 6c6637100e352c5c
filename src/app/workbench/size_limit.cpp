#include "app/workbench/size_limit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/text_utils.h"

namespace ok {

namespace {

struct TUnit {
  const char* Name;  // as written, upper case
  const char* Shown;
  int64_t Bytes;
};

const TUnit Units[] = {
    {"", "B", 1},
    {"B", "B", 1},
    {"K", "KB", 1000},
    {"KB", "KB", 1000},
    {"M", "MB", 1000 * 1000},
    {"MB", "MB", 1000 * 1000},
    {"G", "GB", 1000 * 1000 * 1000},
    {"GB", "GB", 1000 * 1000 * 1000},
    {"KIB", "KiB", 1024},
    {"MIB", "MiB", 1024 * 1024},
    {"GIB", "GiB", 1024 * 1024 * 1024},
};

const TUnit* FindUnit(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  for (const TUnit& unit : Units)
    if (upper == unit.Name) return &unit;
  return nullptr;
}

bool InList(const std::string& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// What a container costs beyond its streams' payload: a fixed part (headers, index roots), a
// part per second (per-frame index entries and packet headers) and a share of the payload
// (packetisation into fixed-size packs).
struct TContainerCost {
  double Fixed = 16384;
  double PerFrame = 0;  // bytes per video frame and per audio frame
  double Share = 0.05;
};

TContainerCost CostOf(std::string container) {
  if (!container.empty() && container[0] == '.') container = container.substr(1);
  for (char& c : container) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (InList(container, {"mp4", "mov", "m4v", "3gp", "3g2", "psp", "ipod"})) return {4096, 16, 0.002};
  if (InList(container, {"mkv", "matroska", "webm"})) return {8192, 16, 0.005};
  if (InList(container, {"avi"})) return {16384, 32, 0.002};
  if (InList(container, {"flv", "swf"})) return {1024, 15, 0.0};
  if (InList(container, {"mpg", "mpeg", "vob", "dvd", "vcd", "svcd", "mpeg1video"})) return {4096, 0, 0.04};
  if (InList(container, {"ts", "mpegts", "m2ts"})) return {4096, 0, 0.07};
  if (InList(container, {"wmv", "asf", "wma"})) return {8192, 0, 0.03};
  return {};
}

// Audio frames a second: most encoders cut 1024 to 1152 samples per frame.
constexpr double AudioFramesPerSecond = 48;

struct TStreams {
  bool Video = false;
  bool Audio = false;
};

// Bytes of an output with these rates, container included.
double EstimatedBytes(const TContainerCost& cost, const TStreams& streams, double seconds, double frameRate,
                      double videoBitrate, double audioBitrate) {
  const double frames = (streams.Video ? frameRate : 0) + (streams.Audio ? AudioFramesPerSecond : 0);
  const double payload = (videoBitrate + audioBitrate) * seconds / 8;
  return cost.Fixed + cost.PerFrame * frames * seconds + payload * (1 + cost.Share);
}

// The payload rate (bits/s) that fills `bytes` with this container.
double PayloadBitrate(const TContainerCost& cost, const TStreams& streams, double seconds, double frameRate,
                      double bytes) {
  const double frames = (streams.Video ? frameRate : 0) + (streams.Audio ? AudioFramesPerSecond : 0);
  return (bytes - cost.Fixed - cost.PerFrame * frames * seconds) / (1 + cost.Share) * 8 / seconds;
}

// The smaller side of the smallest frame a limit may lower the picture to.
constexpr int SmallestSide = 96;
// Each step keeps this share of the width and the height.
constexpr double FrameStep = 0.8;

int Even(double value) { return std::max(2, int(std::lround(value / 2)) * 2); }

}  // namespace

bool ParseSizeLimit(const std::string& text, TSizeLimit& limit) {
  const std::string trimmed = TrimBlanks(text);
  size_t end = 0;
  bool digits = false, point = false;
  for (; end < trimmed.size(); ++end) {
    const char c = trimmed[end];
    if (std::isdigit(static_cast<unsigned char>(c)))
      digits = true;
    else if (c == '.' && !point)
      point = true;
    else
      break;
  }
  if (!digits) return false;  // also refuses a sign
  const TUnit* unit = FindUnit(TrimBlanks(trimmed.substr(end)));
  if (!unit) return false;
  const long double bytes = std::strtold(trimmed.substr(0, end).c_str(), nullptr) * unit->Bytes;
  if (!(bytes >= 1) || bytes > 1e15L) return false;
  limit.Bytes = int64_t(std::floor(bytes));  // never above what the user allowed
  limit.Unit = unit->Shown;
  return true;
}

std::string FormatSize(int64_t bytes, const std::string& unitName) {
  const TUnit* unit = FindUnit(unitName);
  const int64_t scale = unit ? unit->Bytes : 1;
  // Rounded up to a tenth: "at least" must not promise less than is needed.
  const double tenths = std::ceil(double(bytes) * 10 / double(scale) - 1e-9);
  char text[64];
  if (std::fmod(tenths, 10) == 0)
    std::snprintf(text, sizeof text, "%.0f %s", tenths / 10, unit ? unit->Shown : "B");
  else
    std::snprintf(text, sizeof text, "%.1f %s", tenths / 10, unit ? unit->Shown : "B");
  return text;
}

int64_t ContainerOverhead(const std::string& container, double seconds, int streams, double frameRate) {
  const TContainerCost cost = CostOf(container);
  const double frames =
      (streams > 0 ? frameRate : 0) + (streams > 1 ? AudioFramesPerSecond * (streams - 1) : 0);
  return int64_t(std::ceil(cost.Fixed + cost.PerFrame * frames * std::max(0.0, seconds)));
}

double VideoBitsPerPixelFloor(const std::string& codec) {
  if (InList(codec, {"libx264", "h264", "avc"})) return 0.02;
  if (InList(codec, {"libx265", "hevc"})) return 0.014;
  if (InList(codec, {"libvpx-vp9", "vp9"})) return 0.015;
  if (InList(codec, {"libsvtav1", "libaom-av1", "av1"})) return 0.012;
  if (InList(codec, {"libvpx", "vp8", "libtheora", "theora"})) return 0.035;
  if (InList(codec, {"mpeg1video", "mpeg2video"})) return 0.08;
  // MPEG-4 Part 2 and its relatives (H.263, FLV1, WMV, RealVideo): below this their rate control
  // gives up on grainy pictures.
  return 0.06;
}

int64_t AudioBitrateFloor(const std::string& codec, int channels) {
  const bool mono = channels == 1;
  if (InList(codec, {"libopus", "opus"})) return mono ? 24000 : 48000;
  if (InList(codec, {"ac3", "eac3"})) return mono ? 64000 : 96000;
  if (InList(codec, {"wmav1", "wmav2"})) return mono ? 32000 : 48000;
  if (InList(codec, {"libvorbis", "vorbis"})) return mono ? 48000 : 64000;
  if (InList(codec, {"mp2"})) return mono ? 48000 : 96000;
  if (InList(codec, {"libopencore_amrnb", "amr_nb"})) return 7400;
  return mono ? 32000 : 64000;  // AAC, MP3 and the rest
}

TSizePlan PlanSizeLimit(const TSizeJob& job, int64_t limitBytes) {
  TSizePlan plan;
  plan.VideoBitrate = job.VideoBitrate;
  plan.AudioBitrate = job.AudioBitrate;
  plan.AudioChannels = job.AudioChannels;
  plan.Width = job.Width;
  plan.Height = job.Height;
  const double seconds = job.DurationSeconds;
  const TStreams streams{!job.VideoCodec.empty(), !job.AudioCodec.empty()};
  const TContainerCost cost = CostOf(job.Container);
  const double fps = job.FrameRate > 0 ? job.FrameRate : 25;
  if (!(seconds > 0)) {  // nothing to divide by: the encode's measured size decides
    plan.Fits = true;
    return plan;
  }

  // An audio rate of 0 (unknown) counts as the codec's floor.
  const double jobAudio = !streams.Audio ? 0.0
                          : job.AudioBitrate > 0
                              ? double(job.AudioBitrate)
                              : double(AudioBitrateFloor(job.AudioCodec, job.AudioChannels));
  const double own = EstimatedBytes(cost, streams, seconds, fps, double(job.VideoBitrate), jobAudio);
  plan.ExpectedBytes = int64_t(std::ceil(own));
  const double floorBpp = VideoBitsPerPixelFloor(job.VideoCodec);
  auto videoFloor = [&](int width, int height) {
    return streams.Video ? floorBpp * width * height * fps : 0.0;
  };
  auto audioFloor = [&](int channels) {
    return streams.Audio ? std::min(double(AudioBitrateFloor(job.AudioCodec, channels)), jobAudio) : 0.0;
  };
  auto canShrink = [&](int width, int height) {
    return streams.Video && std::min(width, height) * FrameStep >= SmallestSide;
  };

  // The smallest output: the smallest frame at its floor, with mono audio at its floor.
  int smallWidth = job.Width, smallHeight = job.Height;
  while (canShrink(smallWidth, smallHeight)) {
    smallWidth = Even(smallWidth * FrameStep);
    smallHeight = Even(smallHeight * FrameStep);
  }
  plan.MinimumBytes = int64_t(std::ceil(
      EstimatedBytes(cost, streams, seconds, fps, videoFloor(smallWidth, smallHeight), audioFloor(1))));
  if (own <= double(limitBytes)) {  // a ceiling, not a target
    plan.Fits = true;
    return plan;
  }
  if (double(plan.MinimumBytes) > double(limitBytes)) return plan;

  plan.Fits = plan.Changed = true;
  const double payload = PayloadBitrate(cost, streams, seconds, fps, double(limitBytes) * SizeLimitAim);
  int width = job.Width, height = job.Height, channels = std::max(1, job.AudioChannels);
  double audio = 0, video = 0;
  if (!streams.Video) {
    audio = std::min(jobAudio, payload);
    if (audio < audioFloor(channels)) channels = 1;
    audio = std::max(audio, audioFloor(channels));
  } else {
    // Audio gives way first (to its floor, channels kept), then the frame in steps, then the
    // second channel.
    if (streams.Audio) audio = std::min(jobAudio, std::max(audioFloor(channels), payload / 4));
    while (payload - audio < videoFloor(width, height) && canShrink(width, height)) {
      width = Even(width * FrameStep);
      height = Even(height * FrameStep);
    }
    if (payload - audio < videoFloor(width, height) && streams.Audio && channels > 1) {
      channels = 1;
      audio = audioFloor(1);
    }
    video = std::max(payload - audio, videoFloor(width, height));
    if (job.VideoBitrate > 0) video = std::min(video, double(job.VideoBitrate));
  }
  plan.VideoBitrate = int64_t(video);
  plan.AudioBitrate = int64_t(audio);
  plan.AudioChannels = channels;
  plan.Width = width;
  plan.Height = height;
  plan.ExpectedBytes = int64_t(std::ceil(EstimatedBytes(cost, streams, seconds, fps, video, audio)));
  return plan;
}

int64_t RetryVideoBitrate(int64_t videoBitrate, int64_t limitBytes, int64_t actualBytes, int64_t fixedBytes) {
  const double videoBytes = double(actualBytes - fixedBytes);
  const double room = double(limitBytes) * SizeLimitAim - double(fixedBytes);
  if (videoBytes <= 0 || room <= 0) return videoBitrate / 2;
  // The measured overshoot, and 3% more: encoders miss the second time in the same direction.
  return int64_t(double(videoBitrate) * room / videoBytes * 0.97);
}

}  // namespace ok
