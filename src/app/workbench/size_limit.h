#pragma once
// Fitting an output into a size limit: the limit as the user writes it, and the plan that turns
// a limit into rates (and, when the rate per pixel would be too low to watch, a smaller frame and
// leaner audio) before anything is encoded. Pure arithmetic: the run that encodes, measures and
// encodes again lives with the jobs.

#include <cstdint>
#include <string>

namespace ok {

// A limit in bytes with the unit the user wrote it in (for messages in that unit).
struct TSizeLimit {
  int64_t Bytes = 0;
  std::string Unit = "B";  // "B", "KB", "MB", "GB", "KiB", "MiB", "GiB"
};

// "25M", "25 MB", "1.5GiB", "800000" (bytes), any case: K/KB, M/MB, G/GB are powers of 1000,
// KiB/MiB/GiB powers of 1024. False for anything else (empty, zero, negative, unknown unit, a
// value over 1 PB).
bool ParseSizeLimit(const std::string& text, TSizeLimit& limit);
// `bytes` in `unit`, rounded up and without needless decimals: "25 MB", "1.5 GB", "800 KB".
std::string FormatSize(int64_t bytes, const std::string& unit);

// What the job would do without a limit.
struct TSizeJob {
  std::string Container;   // the output format's short name or suffix: "mp4", "mkv", "avi", ...
  std::string VideoCodec;  // the engine's codec name; "" when there is no video
  int Width = 0, Height = 0;
  double FrameRate = 25;
  int64_t VideoBitrate = 0;  // bits/s the job asks for
  std::string AudioCodec;    // "" when there is no audio
  int64_t AudioBitrate = 0;  // bits/s
  int AudioChannels = 2;
  double DurationSeconds = 0;  // of the output: the clip's when clipped
};

// What the job does under the limit.
struct TSizePlan {
  bool Fits = false;          // false: even the floors need more than the limit
  bool Changed = false;       // the job's own values would overshoot: the rates below replace them
  int64_t MinimumBytes = 0;   // the smallest output the floors allow
  int64_t ExpectedBytes = 0;  // what the plan aims at (the job's own estimate when unchanged)
  int64_t VideoBitrate = 0;
  int64_t AudioBitrate = 0;
  int AudioChannels = 2;
  int Width = 0, Height = 0;  // the frame, lowered in aspect-keeping steps when needed
};

// The share of the limit a changed plan aims at: under it, so that the encoder's spread stays in.
inline constexpr double SizeLimitAim = 0.95;

// Bytes the container adds to its streams for `seconds` of `streams` streams.
int64_t ContainerOverhead(const std::string& container, double seconds, int streams, double frameRate);
// The lowest video rate per pixel and frame (bits) that a codec still shows watchably; encoders
// below it break down (and FFmpeg 5.1's MPEG-4 Part 2 aborts the process in its second pass).
double VideoBitsPerPixelFloor(const std::string& codec);
// The lowest audio rate (bits/s) for a codec and channel count.
int64_t AudioBitrateFloor(const std::string& codec, int channels);

TSizePlan PlanSizeLimit(const TSizeJob& job, int64_t limitBytes);

// The video rate for another encode after one came out at `actualBytes` with `videoBitrate`: lowered
// by the measured overshoot of the budget plus a margin.
int64_t RetryVideoBitrate(int64_t videoBitrate, int64_t limitBytes, int64_t actualBytes, int64_t fixedBytes);

}  // namespace ok
