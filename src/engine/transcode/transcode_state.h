#pragma once
// transcode/: one conversion over the opened files: the tables (here), the setup, the main loop,
// audio and video output, the video filter graph, frame processing, packet writing and progress.
//
// The transcode tables: what one run of Transcode builds over the opened input and output files
// and releases when it ends. Every entry starts zeroed as the setup expects; the library objects
// are owned here (the codec contexts stay with the files that allocated them).

#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <vector>

#include "engine/files/input_file.h"
#include "engine/files/output_file.h"
#include "engine/transcode/video_filter_graph.h"
#include "media/ff_functions.h"
#include "media/ff_holders.h"

namespace ok {

struct TFileClose {
  void operator()(FILE* file) const {
    if (file) std::fclose(file);
  }
};
using TFilePtr = std::unique_ptr<FILE, TFileClose>;

struct TInputFileState {
  int EofReached = 0;
  int FirstStream = 0;
  int NbStreams = 0;
};

struct TInputStreamState {
  TInputStreamState() = default;
  ~TInputStreamState() {
    if (FF.av_channel_layout_uninit) FF.av_channel_layout_uninit(&ToWorkLayout);
  }
  TInputStreamState(const TInputStreamState&) = delete;
  TInputStreamState& operator=(const TInputStreamState&) = delete;

  int FileIndex = 0;
  int Index = 0;
  AVStream* Stream = nullptr;
  // The stream's record in its TInputFile, which owns the decoder context (null for data streams).
  TInputStream* Input = nullptr;
  AVCodecContext* Decoder = nullptr;
  int Discard = 0;
  int DecodingNeeded = 0;
  int64_t ReadStartTime = 0;  // µs
  int64_t NextPts = 0;        // µs
  int64_t Pts = 0;            // µs
  int IsStart = 0;
  // The quality of the last decoded picture (what "sameq" encodes with).
  float Quality = 0;
  // The graph of the video output fed by this stream; OutVideoFilter and InputVideoFilter are its
  // sink and source.
  TVideoFilterGraph FilterGraph;
  AVFilterContext* OutVideoFilter() const { return FilterGraph.OutVideoFilter(); }
  AVFilterContext* InputVideoFilter() const { return FilterGraph.InputVideoFilter(); }
  // The graph that turns the decoded pictures upright, made for the first picture (and again
  // when the size or format changes), and the picture it turned last.
  TVideoFilterGraph TurnGraph;
  TFramePtr Turned;
  // The picture last taken from the filter graph.
  TFramePtr PictureRef;
  // The frame the decoder fills, reused for every packet.
  TFramePtr Frame;
  // Decoded audio as interleaved work samples: 16-bit for integer sources of at most 16 bits,
  // 32-bit float for every other source (float, 32-bit and double decoders), so that nothing is
  // lost to a 16-bit step (an encoder fed 16-bit-rounded float audio works harder and sounds no
  // better). Chosen with the first frame and kept for the stream.
  AVSampleFormat WorkFormat = AV_SAMPLE_FMT_NONE;
  // The converter from the decoder's format to the work format (made
  // for the first frame, re-made when the format, rate or layout changes) and what it was made for.
  TSwrContextPtr ToWork;
  int ToWorkFormat = -1;
  int ToWorkRate = 0;
  AVChannelLayout ToWorkLayout{};
};

struct TOutputStreamState {
  int FileIndex = 0;
  int Index = 0;
  int SourceIndex = 0;
  AVStream* Stream = nullptr;
  // The stream's encoder context, owned by its TOutputFile's stream.
  AVCodecContext* Encoder = nullptr;
  // The output stream record of the file: bitstream filters, quality, the encoder chosen by name.
  TOutputStream* Output = nullptr;
  int EncodingNeeded = 0;
  int FrameNumber = 0;
  struct TInputStreamState* SyncInput = nullptr;
  int64_t SyncOpts = 0;
  int VideoResample = 0;
  // The scaler's target or the padding canvas: a frame with its own buffer in the encoder's pixel
  // format and size.
  TFramePtr PictTmp;
  TSwsContextPtr ImgResampleCtx;
  int ResampleHeight = 0;
  // The picture ImgResampleCtx was last made for by the output path; the setup's scaler is made
  // from the decoder's guess, which the decoded pictures need not match.
  int ScaleSourceWidth = 0, ScaleSourceHeight = 0;
  AVPixelFormat ScaleSourceFormat = AV_PIX_FMT_NONE;
  int VideoCrop = 0;
  int TopBand = 0, LeftBand = 0;
  int VideoPad = 0;
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
  int AudioResample = 0;
  TSwrContextPtr Resample;
  int ReformatPair = -6;
  TSwrContextPtr ReformatCtx;
  // Bytes of interleaved work samples at the encoder's rate and channel count.
  TFifoPtr Fifo;
  // The work format of the input stream that feeds this output.
  AVSampleFormat WorkFormat = AV_SAMPLE_FMT_S16;
  TFilePtr LogFile;
  // The pass-2 statistics the encoder reads (its stats_in points here).
  TAVMemoryPtr<char> StatsIn;
  // The frame handed to the encoder, reused; and the packet received from it.
  TFramePtr EncodeFrame;
  TPacketPtr EncodedPacket;
  // The last coded picture's quality (lambda), picture type and key flag, and the presentation
  // time of the last packet (encoder time base): what the old coded frame told the report, the
  // statistics and the preview.
  int CodedQuality = 0;
  AVPictureType CodedPictType = AV_PICTURE_TYPE_NONE;
  bool CodedKeyFrame = false;
  int64_t CodedPts = AV_NOPTS_VALUE;
  // The last decoding time handed to the muxer, in the output stream's time base.
  int64_t LastMuxedDts = AV_NOPTS_VALUE;
  // The sum of squared errors per plane of the last coded picture (PSNR).
  uint64_t CodedError[4] = {};
};

// The streams whose codec is open, newest first, so that run control can close them after a
// failure.
template <typename T>
class TOpenCodecRegistry {
 public:
  void Add(T* stream) { nodes_.push_front(stream); }
  void Remove(T* stream) { nodes_.remove(stream); }
  bool Contains(const T* stream) const {
    for (const T* s : nodes_)
      if (s == stream) return true;
    return false;
  }
  bool Empty() const { return nodes_.empty(); }
  const std::list<T*>& Nodes() const { return nodes_; }
  void Clear() { nodes_.clear(); }

 private:
  std::list<T*> nodes_;
};

// The tables of one run of Transcode. Entries never move once built (the registries, SyncInput
// and the filter graphs point at them).
struct TTranscodeTables {
  std::vector<TInputFileState> InputFileStates;
  std::vector<std::unique_ptr<TInputStreamState>> InputStreams;
  std::vector<std::unique_ptr<TOutputStreamState>> OutputStreams;
  // Encoded subtitles, allocated on first use.
  std::vector<uint8_t> SubtitleOutBuffer;

  int NbInputStreams() const { return int(InputStreams.size()); }
  int NbOutputStreams() const { return int(OutputStreams.size()); }
};

}  // namespace ok
