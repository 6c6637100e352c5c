#pragma once
// The video filter graph of one transcoded video output stream: a "buffer" source fed with the
// decoded pictures, an optional scaler that brings them to the encoder size without the pads, the
// user's chain (VideoFilters), and a sink that delivers only the encoder's pixel format.
//
// This library generation has no way to define an engine-side sink filter any more: the engine's
// own "ffmpeg_output" sink is a "buffersink" whose pixel format list holds just the encoder's
// format; pulling a picture is av_buffersink_get_frame instead of request_frame plus taking the
// link's current reference.

#include <cstdint>
#include <string>

#include "media/ff_functions.h"
#include "media/ff_holders.h"
#include "media/video_stream.h"

namespace ok {

class TCustomFFmpeg;

// The decoded pictures that enter the graph.
struct TVideoFilterInput {
  int Width = 0;
  int Height = 0;
  AVPixelFormat PixFmt = AV_PIX_FMT_NONE;
  // The time base of the source; pushed times are converted from µs into it. The default loses
  // nothing.
  AVRational TimeBase{1, 1000000};
  AVRational SampleAspectRatio{0, 1};
  AVRational FrameRate{0, 1};  // 0: unknown
};

// The encoder the graph feeds. Width and Height are written back on success: the chain's output
// size plus the pads.
struct TVideoFilterEncoder {
  int Width = 0;
  int Height = 0;
  AVPixelFormat PixFmt = AV_PIX_FMT_NONE;
};

// What the graph reads of the engine's option state.
struct TVideoFilterSettings {
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
  int FrameWidth = 0;
  int FrameHeight = 0;
  std::string VideoFilters;
  int SwsFlags = SWS_BICUBIC;  // "sws_flags" of the scaler option context
  int ThreadCount = 1;         // of the graph's filters; 0: one per core
};

// The settings of `engine`, with the scaler flags read from its scaler option context (the
// engine's SwsFlags when that context does not exist).
TVideoFilterSettings VideoFilterSettings(const TCustomFFmpeg& engine);

class TVideoFilterGraph {
 public:
  static constexpr const char* CropMessage = "Cannot enable crop options and filters at the same time.";
  static constexpr const char* PadMessage =
      "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, "
      "scale, transpose, etc.)";

  // Builds the graph, replacing any earlier one, and sets `encoder`'s size to what the graph
  // delivers plus the pads. On failure the graph is released and FFmpegException raised: "Error
  // opening filters: " with the text of the two combination errors (crop, pad), else "Error
  // opening filters!" (a library failure).
  void Configure(const TVideoFilterInput& input, TVideoFilterEncoder& encoder,
                 const TVideoFilterSettings& settings);

  // Builds a graph that only turns the pictures as `turn` says (transpose, flips), keeping their
  // pixel format. 0 on success; -1 on failure, the graph then released.
  int ConfigureTurn(const TVideoFilterInput& input, const TPictureTurn& turn, int threadCount);

  bool Configured() const { return graph_ != nullptr; }
  // The pictures the graph was made for.
  const TVideoFilterInput& Input() const { return input_; }
  AVFilterContext* InputVideoFilter() const { return source_; }
  AVFilterContext* OutVideoFilter() const { return sink_; }

  // Pushes a decoded picture with its time in µs (or AV_NOPTS_VALUE) and the input's sample aspect
  // ratio; the graph takes its own reference, `picture` is left as it was. 0 or a library error.
  int PushPicture(AVFrame* picture, int64_t pts);
  // Marks the end of the input so that the chain hands out what it still holds. 0 or a library
  // error.
  int Flush();
  // Takes the next filtered picture into `picture` (its previous content is released first) and
  // its time in µs into `pts`: 1; -1 when none is ready (more input needed, the end reached, or an
  // error).
  int GetFilteredVideoPicture(AVFrame* picture, int64_t& pts);
  // True once the sink has reported that no picture will follow the flush.
  bool AtEnd() const { return atEnd_; }

  void Release();

 private:
  // The graph, its source and a sink that takes only `sinkFormat`; 0 or -1.
  int CreateEnds(const TVideoFilterInput& input, AVPixelFormat sinkFormat, int threadCount);
  // Parses `chain` between `last` and the sink; the library's result.
  int LinkChain(AVFilterContext* last, const std::string& chain);
  int Build(const TVideoFilterInput& input, TVideoFilterEncoder& encoder,
            const TVideoFilterSettings& settings, std::string& error);

  TFilterGraphPtr graph_;
  TVideoFilterInput input_;
  AVFilterContext* source_ = nullptr;  // owned by graph_
  AVFilterContext* sink_ = nullptr;    // owned by graph_
  AVRational sourceTimeBase_{1, 1000000};
  AVRational sampleAspectRatio_{0, 1};
  bool atEnd_ = false;
};

// The pictures `decoder` gives, once turned as `turn` says.
TVideoFilterInput DecodedPictures(const AVCodecContext* decoder, const TPictureTurn& turn = {});

// The graph of one transcoded video stream fed by `decoder` (its pictures turned by `turn` first)
// and feeding `encoder` (whose width and height it sets), with `engine`'s settings; raises
// FFmpegException as Configure does.
void ConfigureFilters(TCustomFFmpeg& engine, TVideoFilterGraph& graph, const AVCodecContext* decoder,
                      AVCodecContext* encoder, const TPictureTurn& turn = {});

}  // namespace ok
