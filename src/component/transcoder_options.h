#pragma once
// The option records the caller fills for a task's input and output, with their defaults, and
// the pieces of their application that stand on their own.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/options/option_state.h"

namespace ok {

// A colour as 0x00BBGGRR.
using TColor = int32_t;

struct TStreamInfo {
  // Days since 1899-12-30, local time: exactly 0 = now, negative = not applied.
  double TimeStamp = -1.0;
  int Year = -1;
  int Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

struct TInputOptions {
  std::string FileName;
  std::string FileFormat;
  int StartTime = -1;        // ms
  int64_t StartTimeUS = -1;  // µs, wins over StartTime
  int ProgramID = -1;
  std::string ExtraOptions;  // "name=value" per line
};

struct TOutputOptions {
  std::string FileName;
  std::string FileExt;  // kept for the caller
  std::string FileFormat;
  int PacketSize = -1;
  int MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;
  bool DisableAudio = false;
  int AudioVolume = -1;
  int AudioChannels = -1;
  int AudioSampleRate = -1;
  int AudioBitrate = -1;  // bits/s
  int AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int AudioSync = 0;
  std::string AudioTag;
  std::string VideoCodec;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
  TColor PadColor = 0;
  int GopSize = -1;
  int VideoBitrate = -1;  // bits/s
  int VideoMaxRate = -1;
  int VideoMinRate = -1;
  int VideoBitrateTolerance = -1;
  int VideoBufSize = -1;
  int VideoSync = -1;  // -1: automatic
  std::string VideoTag;
  std::string VideoFilters;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool CopyTimestamps = false;
  int StartTime = -1;            // ms
  int64_t StartTimeUS = -1;      // µs, wins over StartTime
  int RecordingTime = -1;        // ms
  int64_t RecordingTimeUS = -1;  // µs, wins over RecordingTime
  TStreamInfo Metadata;
  int Target = 0;             // 1 vcd, 2 svcd, 3 dvd
  int TargetNorm = 0;         // 0 auto, 1 pal, 2 ntsc
  int TargetDefaultNorm = 1;  // 1 pal, else ntsc
  bool CustomHook = false;
  bool BeforeHook = false;
  std::string TimeRanges;  // "start-end" in ms, pairs separated by ","
  std::string ExtraOptions;
};

// Copies into `options` the "name=value" lines of `extraOptions` whose record field the component
// applies after the extra options (an, vn, sn, padcolor, async, vsync, alang, slang, copyts), so
// that each line takes effect. A value that is not a number leaves its field alone: the engine
// refuses it when the lines are applied.
void TakeRecordFieldsFromLines(const std::string& extraOptions, TOutputOptions& options);

void ResetInputOptions(TInputOptions& options);
void ResetOutputOptions(TOutputOptions& options);

// The kept ranges of a TimeRanges text in µs, in the order written: pieces without "-", with the
// end before the start or with a negative end are dropped; a text that is not a number counts as
// -1 (ms).
std::vector<TTimeRange> ParseTimeRanges(const std::string& text);

// A local date-time in days since 1899-12-30 as whole seconds since 1970-01-01 UTC.
int64_t DateTimeToUnixSeconds(double dateTime);

// A colour as the plain 0x00BBGGRR value (this platform has no system colours to resolve).
int ColorToRGB(TColor color);

}  // namespace ok
