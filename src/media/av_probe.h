#pragma once
// The media probe: opens a file (or takes an input the engine opened), describes its streams and
// tags, and decodes single video frames at a given time into a TBitmap.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "media/bitmap.h"
#include "media/ff_holders.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace ok {

// The probe's raised errors: libraries not loaded, reading frames through an attached context.
class EProbeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The probed description of a media file. Without an open file every number is -1 and every text
// empty. Times are microseconds.
struct TFileStreamInfo {
  int64_t StartTime = -1;  // -1: unknown
  int64_t Duration = -1;   // -1: unknown
  int32_t BitRate = -1;    // bits per second, 0 when unknown
  // Creation time in microseconds since 1970 (the container's "creation_time" tag), 0 when absent.
  int64_t Timestamp = -1;
  int32_t Year = -1;   // 0 when absent
  int32_t Track = -1;  // 0 when absent
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

// The picture of a video stream as a player shows it.
struct TVideoGeometry {
  int Width = 0, Height = 0;                // stored frame size
  int DisplayWidth = 0, DisplayHeight = 0;  // upright, scaled to the display aspect
  int Rotation = 0;       // degrees clockwise to turn the stored picture upright: 0, 90, 180, 270
  bool Mirrored = false;  // flipped left to right after the turn
};

// True for the name of a still-image input format: "image2" (any case) and the single-picture
// demuxers of the same family ("png_pipe", "jpeg_pipe", ...), which this library generation picks
// for one image file where the old one picked "image2".
bool IsImage2Format(const std::string& formatName);

class TCustomAVProbe {
 public:
  TCustomAVProbe();
  virtual ~TCustomAVProbe();
  TCustomAVProbe(const TCustomAVProbe&) = delete;
  TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

  // Opens `fileName` (UTF-8) with the input format `formatName`, or detects it when empty.
  // Raises EProbeError when a library is missing; other failures return false with ErrorMessage.
  bool LoadFile(const std::string& fileName, const std::string& formatName = "");
  // Describes a context someone else opened and will close; frames cannot be read through it.
  virtual void AttachContext(AVFormatContext* context);
  virtual void CloseFile();

  // Raises EProbeError naming the first of avcodec, avformat, avutil, swscale not loaded.
  bool CheckLibraries();

  // Fills `info`; false (and the record for no file) when nothing is open.
  bool GetFileStreamInfo(TFileStreamInfo& info);
  // The geometry of video stream `streamIndex` (-1: the first); false when there is none. The
  // display size is upright: sides swapped for a quarter turn.
  bool GetVideoGeometry(TVideoGeometry& geometry, int streamIndex = -1) const;
  // The name the context was opened with, as the caller gave it.
  std::string GetFileName();
  // The short name of the context's input format. The single-picture demuxers answer "image2".
  std::string GetFormatName();

  AVFormatContext* Context() const { return context_; }
  bool OwnsContext() const { return ownsContext_; }
  const std::string& ErrorMessage() const { return errorMessage_; }
  const std::string& FormatName() const { return formatName_; }
  int StreamCount() const { return streamCount_; }
  int ProgramCount() const { return programCount_; }
  int AudioStreamCount() const { return audioStreamCount_; }
  int VideoStreamCount() const { return videoStreamCount_; }
  int SubtitleStreamCount() const { return subtitleStreamCount_; }
  int FirstAudioStream() const { return firstAudioStream_; }
  int FirstVideoStream() const { return firstVideoStream_; }
  int FirstSubtitleStream() const { return firstSubtitleStream_; }

 protected:
  void CountStreams();
  // Writes `text` to the library log at the probe's level 0 (error), 1 (information) or 2 (debug).
  static void Log(int level, const std::string& text);
  bool ContextIsImage2() const;

  AVFormatContext* context_ = nullptr;
  bool ownsContext_ = false;
  std::string errorMessage_;
  std::string formatName_;
  int streamCount_ = -1;
  int programCount_ = -1;
  int audioStreamCount_ = -1;
  int videoStreamCount_ = -1;
  int subtitleStreamCount_ = -1;
  int firstAudioStream_ = -1;
  int firstVideoStream_ = -1;
  int firstSubtitleStream_ = -1;

 private:
  TInputContextPtr ownedContext_;
};

class TAVProbe : public TCustomAVProbe {
 public:
  TAVProbe();
  ~TAVProbe() override;

  void CloseFile() override;

  // Positions the input at `time` (microseconds) on stream `streamIndex` (-1: the first video,
  // audio or subtitle stream, else the whole file).
  bool Seek(int streamIndex, bool anyFrame, int64_t time);
  // The frame of video stream `streamIndex` (-1: the first), upright, at `time` microseconds, or the next
  // frame when `time` is negative. Always returns FrameBitmap(); FrameReady() tells whether it
  // holds a frame. Raises EProbeError only for an attached (read-only) context.
  TBitmap& GetFrameBitmap(int streamIndex, int64_t time);
  // A copy of the last frame decoded.
  TBitmap& GetLastFrameBitmap() { return lastFrameBitmap_; }
  TBitmap& FrameBitmap() { return frameBitmap_; }

  bool IsImage2() const { return isImage2_; }
  bool FrameReady() const { return frameReady_; }
  int64_t LastPTS() const { return lastPTS_; }
  bool SeekBackward() const { return seekBackward_; }
  int64_t LastTimestamp() const { return lastTimestamp_; }
  int LastStreamIndex() const { return lastStreamIndex_; }
  bool EndOfStream() const { return endOfStream_; }
  AVCodecContext* DecoderContext() const { return decoderContext_.get(); }
  // Capacity of the conversion buffer in bytes; it grows and never shrinks while a file is open.
  int RGBBufferSize() const { return rgbBufferSize_; }
  // Packets read from the input since it was opened (diagnostics: shows when a request was
  // answered without reading).
  int64_t PacketsRead() const { return packetsRead_; }

 private:
  void Fail(const std::string& message, const std::string& logText = "");
  void EndOfStreamReached(int64_t time, int streamIndex);
  bool OpenDecoder(int streamIndex);
  // Reads and decodes until a frame at or after `target` (stream time base) arrives; false at the
  // end of the input.
  bool DecodeFrame(int streamIndex, int64_t target);
  // The fallback when a forward seek found no frame at or after the time (this generation's
  // forward seek past the last key frame "succeeds" to the end): back to the key frame before it.
  bool SeekBackwardTo(int streamIndex, int64_t streamTime);
  bool CopyFrameToBitmap();
  void ResetFrameState();

  TCodecContextPtr decoderContext_;
  int decoderStream_ = -1;
  bool decoderDrained_ = false;
  TSwsContextPtr scaleContext_;
  TAVMemoryPtr<uint8_t> rgbBuffer_;
  int rgbBufferSize_ = 0;
  TFramePtr frame_;
  // The latest frame skipped before the target: the one showing at a time after the last frame.
  TFramePtr earlierFrame_;
  TPacketPtr packet_;
  TBitmap frameBitmap_;
  TBitmap lastFrameBitmap_;
  bool isImage2_ = false;
  bool frameReady_ = false;
  int64_t lastPTS_ = -1;
  bool seekBackward_ = false;
  int64_t lastTimestamp_ = -1;
  int lastStreamIndex_ = -1;
  bool endOfStream_ = false;
  int64_t packetsRead_ = 0;
};

}  // namespace ok
