#pragma once
// options/: what options set and how: the option state (here), the option table and its named
// setters (option_table.cpp), value parsing, the libraries' option contexts and renamed options
// (option_contexts, option_successors, generic_options.cpp) and the target presets.
//
// The option state of one engine instance: every field an option sets and the conversion reads,
// with its default. Texts that the engine owns and that may be absent are strings whose empty
// value means "none" (no option stores an empty text in them).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ff_functions.h"

namespace ok {

constexpr int MaxFiles = 20;         // input files and output files per task
constexpr int MaxStreams = 20;       // streams per file
constexpr int MaxStreamMaps = 400;   // "map" entries
constexpr int MaxMetaDataMaps = 20;  // "map_meta_data" entries
constexpr int MaxHookTokens = 64;    // the module and its arguments in one "vhook" value

// Media types as indices of the per-type tables (the library's numbering).
constexpr int MediaVideo = AVMEDIA_TYPE_VIDEO;
constexpr int MediaAudio = AVMEDIA_TYPE_AUDIO;
constexpr int MediaData = AVMEDIA_TYPE_DATA;
constexpr int MediaSubtitle = AVMEDIA_TYPE_SUBTITLE;
constexpr int MediaAttachment = AVMEDIA_TYPE_ATTACHMENT;
constexpr int MediaTypeCount = 5;

struct TStreamMap {
  int FileIndex = 0;
  int StreamIndex = 0;
  int SyncFileIndex = 0;
  int SyncStreamIndex = 0;
};

// "map_chapters" unset: the chapters of the first input that has any.
constexpr int FirstInputWithChapters = -2;

struct TMetaDataMap {
  int OutFile = 0;
  int InFile = 0;
};

struct TMetadataPair {
  std::string Key;
  std::string Value;
};

// A stretch of output time in microseconds during which the frame hook applies.
struct TTimeRange {
  int64_t Start = 0;
  int64_t End = 0;
};

using TQuantMatrix = std::array<uint16_t, 64>;

struct TBsfContextDeleter {
  void operator()(AVBSFContext* context) const;
};
using TBsfContextPtr = std::unique_ptr<AVBSFContext, TBsfContextDeleter>;
// A chain of bitstream filters, applied in order; the stream builders move it to their stream.
using TBitstreamFilterChain = std::vector<TBsfContextPtr>;

// What target-norm detection needs of an opened input stream. Input opening appends one record
// per stream of each file it opens, in stream order.
struct TInputStreamParams {
  AVMediaType CodecType = AVMEDIA_TYPE_UNKNOWN;
  // The decoder's time base: one tick of a frame for video (1001/30000 for NTSC material).
  AVRational CodecTimeBase{0, 1};
};

struct TOptionState {
  const AVInputFormat* ForcedInputFormat = nullptr;
  const AVOutputFormat* ForcedOutputFormat = nullptr;
  int FrameWidth = 0;
  int FrameHeight = 0;
  float FrameAspectRatio = 0;
  int FramePixFmt = -1;
  int AudioSampleFmt = -1;
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
  int PadColorY = 16, PadColorU = 128, PadColorV = 128;
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  // Indexed by media type: video, audio, data, subtitle.
  std::array<int, 4> MaxFrames{2147483647, 2147483647, 2147483647, 2147483647};
  AVRational FrameRate{0, 0};  // 0/0: not set
  float VideoQScale = 0;
  std::unique_ptr<TQuantMatrix> IntraMatrix;
  std::unique_ptr<TQuantMatrix> InterMatrix;
  std::string VideoRcOverride;  // parsed when the video stream is built
  bool VideoDisable = false;
  // Pictures turned upright as the input's display matrix says ("autorotate"); read at opening.
  bool AutoRotate = true;
  int VideoDiscard = 0;
  std::string VideoCodecName;
  uint32_t VideoCodecTag = 0;
  bool SameQuality = false;
  bool Deinterlace = false;
  int TopFieldFirst = -1;
  int MeThreshold = 0;
  int IntraDcPrecision = 8;
  bool LoopInput = false;
  int LoopOutput = -1;
  bool QpHistogram = false;
  std::string VideoFilters;
  bool UseVideoFilters = false;
  bool IntraOnly = false;
  int AudioSampleRate = 44100;
  int64_t AudioChannelLayout = 0;
  float AudioQScale = -99999.0f;  // -99999: none
  bool AudioDisable = false;
  int AudioChannels = 2;
  bool AudioChannelsGiven = false;    // by "ac", not taken from the input
  bool AudioSampleRateGiven = false;  // by "ar"
  std::string AudioCodecName;
  uint32_t AudioCodecTag = 0;
  std::string AudioLanguage;
  bool SubtitleDisable = false;
  std::string SubtitleCodecName;
  std::string SubtitleLanguage;
  float MuxPreload = 0.5f;            // seconds
  float MuxMaxDelay = 0.7f;           // seconds
  int64_t RecordingTime = INT64_MAX;  // µs; no limit
  int RecordingTimeMs = -1;           // ms; the total output duration of the progress report
  int64_t StartTime = 0;              // µs
  int64_t RecTimestamp = 0;           // seconds since 1970
  int64_t TsOffset = 0;               // µs
  std::array<std::array<double, MaxStreams>, MaxFiles> InputFilesTsScale{};
  std::array<TStreamMap, MaxStreamMaps> StreamMaps{};
  int NbStreamMaps = 0;
  std::array<TMetaDataMap, MaxMetaDataMaps> MetaDataMaps{};
  int NbMetaDataMaps = 0;
  std::vector<TMetadataPair> Metadata;  // written to the next output file
  // Without a metadata map the outputs get the first input's global metadata ("map_metadata" -1:
  // none), and the chapters of ChapterInput ("map_chapters"; FirstInputWithChapters, or -1: none).
  bool CopyInputMetadata = true;
  int ChapterInput = FirstInputWithChapters;
  bool HexDump = false;
  bool PktDump = false;
  bool DoPsnr = false;
  int DoPass = 0;
  std::string PassLogFileName;
  bool VideoStreamCopy = false;
  bool AudioStreamCopy = false;
  bool SubtitleStreamCopy = false;
  int VideoSyncMethod = -1;
  int AudioSyncMethod = 0;
  float AudioDriftThreshold = 0.1f;
  bool CopyTs = false;
  bool Shortest = false;
  int VideoGlobalHeader = 0;
  std::string VstatsFileName;
  int ProgramID = 0;
  int CopyInitialNonKeyframes = 0;
  bool RateEmu = false;
  int VideoChannel = 0;
  std::string VideoStandard;
  int AudioVolume = 256;  // 256: unchanged
  bool ExitOnError = false;
  bool UsingVhook = false;
  int Verbose = 1;
  int ThreadCount = 1;
  bool InputSync = false;
  int64_t LimitFileSize = 0;  // bytes; 0: none
  bool ForceFps = false;
  bool PgmyuvCompatibility = false;
  float DtsDeltaThreshold = 10.0f;  // seconds
  int SwsFlags = SWS_BICUBIC;
  TBitstreamFilterChain VideoBitstreamFilters;
  TBitstreamFilterChain AudioBitstreamFilters;
  TBitstreamFilterChain SubtitleBitstreamFilters;
  uint8_t HookFlags = 0;               // bit 0 preview, bit 1 preview bitmap
  std::vector<TTimeRange> TimeRanges;  // sorted by End
  int TimeRangeIndex = 0;
  int TimeRangeCount = 0;
  int64_t ProgressInterval = 500000;  // µs
  int64_t PreviewInterval = 100000;   // µs

  // Run-time values that the option reset clears with the rest.
  int HookAction = 0;           // THookAction: haContinue, haIgnore, haStop
  int HookFrameNumber = 0;      // decoded pictures pre-processed so far
  int64_t LastPreviewTime = 0;  // µs
  int BitBufferSize = 262144;   // bytes
  int64_t ExtraSize = 0;        // bytes of the opened encoders' global headers
  int64_t VideoSize = 0;        // bytes of video written
  int64_t AudioSize = 0;        // bytes of audio written
  int NbFramesDup = 0;
  int NbFramesDrop = 0;
  int64_t TimerStart = 0;      // µs, when the main loop started
  int64_t PacketsWritten = 0;  // packets handed to the muxers

  int MetadataCount() const { return int(Metadata.size()); }
};

}  // namespace ok
