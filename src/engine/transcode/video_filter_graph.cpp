#include "engine/transcode/video_filter_graph.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"

namespace ok {

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

struct TFilterInOutFree {
  void operator()(AVFilterInOut* inout) const {
    if (inout && FF.avfilter_inout_free) FF.avfilter_inout_free(&inout);
  }
};
using TFilterInOutPtr = std::unique_ptr<AVFilterInOut, TFilterInOutFree>;

bool ValidRational(AVRational q) { return q.num > 0 && q.den > 0; }

// One open end of the graph for the chain parser, named by a library-allocated copy of `name`.
TFilterInOutPtr OpenEnd(const char* name, AVFilterContext* filter) {
  TFilterInOutPtr end(FF.avfilter_inout_alloc());
  if (!end) return nullptr;
  end->name = FF.av_strdup(name);
  if (!end->name) return nullptr;
  end->filter_ctx = filter;
  end->pad_idx = 0;
  end->next = nullptr;
  return end;
}

}  // namespace

TVideoFilterSettings VideoFilterSettings(const TCustomFFmpeg& engine) {
  TVideoFilterSettings s;
  s.CropTop = engine.CropTop;
  s.CropBottom = engine.CropBottom;
  s.CropLeft = engine.CropLeft;
  s.CropRight = engine.CropRight;
  s.PadTop = engine.PadTop;
  s.PadBottom = engine.PadBottom;
  s.PadLeft = engine.PadLeft;
  s.PadRight = engine.PadRight;
  s.FrameWidth = engine.FrameWidth;
  s.FrameHeight = engine.FrameHeight;
  s.VideoFilters = engine.VideoFilters;
  s.SwsFlags = engine.SwsFlags;
  s.ThreadCount = engine.ThreadCount;
  int64_t flags = 0;
  if (SwsContext* scaler = engine.OptionContexts.ScalerOptions.get();
      scaler && FF.av_opt_get_int(scaler, "sws_flags", 0, &flags) >= 0)
    s.SwsFlags = int(flags);
  return s;
}

void TVideoFilterGraph::Configure(const TVideoFilterInput& input, TVideoFilterEncoder& encoder,
                                  const TVideoFilterSettings& settings) {
  Release();
  std::string error;
  if (Build(input, encoder, settings, error) == 0) return;
  // A half-built graph is never left for the picture side to use.
  Release();
  throw FFmpegException(error.empty() ? std::string("Error opening filters!")
                                      : "Error opening filters: " + error);
}

int TVideoFilterGraph::Build(const TVideoFilterInput& input, TVideoFilterEncoder& encoder,
                             const TVideoFilterSettings& s, std::string& error) {
  if (s.CropTop + s.CropBottom + s.CropLeft + s.CropRight != 0) {
    error = CropMessage;
    return -1;
  }
  if (CreateEnds(input, encoder.PixFmt, s.ThreadCount) != 0) return -1;

  AVFilterContext* last = source_;
  char args[255];

  // This generation's scale filter takes the scaler flags as "flags"; a number is accepted there.
  const int padW = s.PadLeft + s.PadRight, padH = s.PadTop + s.PadBottom;
  if (input.Width + padW - s.CropLeft - s.CropRight != encoder.Width ||
      input.Height + padH - s.CropTop - s.CropBottom != encoder.Height) {
    // Pads as large as the encoder picture leave nothing to scale to (and 0 or a negative size
    // would mean "keep the input's" to the scale filter).
    if (encoder.Width - padW <= 0 || encoder.Height - padH <= 0) return -1;
    const AVFilter* scaleFilter = FF.avfilter_get_by_name("scale");
    if (!scaleFilter) return -1;
    std::snprintf(args, sizeof args, "%d:%d:flags=%d", encoder.Width - padW, encoder.Height - padH,
                  s.SwsFlags);
    AVFilterContext* scaler = nullptr;
    if (FF.avfilter_graph_create_filter(&scaler, scaleFilter, nullptr, args, nullptr, graph_.get()) < 0)
      return -1;
    if (FF.avfilter_link(last, 0, scaler, 0) != 0) return -1;
    last = scaler;
  }

  if (!s.VideoFilters.empty()) {
    if (LinkChain(last, s.VideoFilters) < 0) return -1;
  } else if (FF.avfilter_link(last, 0, sink_, 0) < 0) {
    return -1;
  }

  // The scaler flags of the format conversions the graph inserts itself.
  std::snprintf(args, sizeof args, "flags=%d", s.SwsFlags);
  graph_->scale_sws_opts = FF.av_strdup(args);
  if (!graph_->scale_sws_opts) return -1;

  if (FF.avfilter_graph_config(graph_.get(), nullptr) < 0) return -1;

  const int w = FF.av_buffersink_get_w(sink_), h = FF.av_buffersink_get_h(sink_);
  if (s.PadTop + s.PadBottom + s.PadLeft + s.PadRight == 0 || (w == s.FrameWidth && h == s.FrameHeight)) {
    encoder.Width = w + s.PadLeft + s.PadRight;
    encoder.Height = h + s.PadTop + s.PadBottom;
    return 0;
  }
  error = PadMessage;
  return -1;
}

int TVideoFilterGraph::CreateEnds(const TVideoFilterInput& input, AVPixelFormat sinkFormat, int threadCount) {
  graph_.reset(FF.avfilter_graph_alloc());
  if (!graph_) return -1;
  graph_->nb_threads = threadCount;
  input_ = input;

  const AVFilter* bufferFilter = FF.avfilter_get_by_name("buffer");
  const AVFilter* sinkFilter = FF.avfilter_get_by_name("buffersink");
  if (!bufferFilter || !sinkFilter) return -1;

  // Source: this generation's buffer also wants the time base; pushed times are µs converted to it.
  sourceTimeBase_ = ValidRational(input.TimeBase) ? input.TimeBase : MicrosecondBase;
  sampleAspectRatio_ = ValidRational(input.SampleAspectRatio) ? input.SampleAspectRatio : AVRational{0, 1};
  char args[255];
  int n = std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                        input.Width, input.Height, int(input.PixFmt), sourceTimeBase_.num,
                        sourceTimeBase_.den, sampleAspectRatio_.num, sampleAspectRatio_.den);
  if (ValidRational(input.FrameRate) && n > 0 && size_t(n) < sizeof args)
    n += std::snprintf(args + n, sizeof args - n, ":frame_rate=%d/%d", input.FrameRate.num,
                       input.FrameRate.den);
  if (n < 0 || size_t(n) >= sizeof args) return -1;
  if (FF.avfilter_graph_create_filter(&source_, bufferFilter, "src", args, nullptr, graph_.get()) < 0)
    return -1;

  // Sink: a buffersink that negotiates nothing but `sinkFormat`.
  if (sinkFormat == AV_PIX_FMT_NONE) return -1;
  sink_ = FF.avfilter_graph_alloc_filter(graph_.get(), sinkFilter, "out");
  if (!sink_) return -1;
  const AVPixelFormat formats[1] = {sinkFormat};
  if (FF.av_opt_set_bin(sink_, "pix_fmts", reinterpret_cast<const uint8_t*>(formats), int(sizeof formats),
                        AV_OPT_SEARCH_CHILDREN) < 0)
    return -1;
  if (FF.avfilter_init_str(sink_, nullptr) < 0) return -1;
  return 0;
}

int TVideoFilterGraph::LinkChain(AVFilterContext* last, const std::string& chain) {
  // The parser's view: the chain's input "in" is fed by `last`, its output "out" feeds the sink.
  TFilterInOutPtr outputs = OpenEnd("in", last);
  TFilterInOutPtr inputs = OpenEnd("out", sink_);
  if (!outputs || !inputs) return -1;
  AVFilterInOut* in = inputs.release();
  AVFilterInOut* out = outputs.release();
  const int r = FF.avfilter_graph_parse_ptr(graph_.get(), chain.c_str(), &in, &out, nullptr);
  // The parser leaves in the lists whatever it did not connect.
  inputs.reset(in);
  outputs.reset(out);
  return r;
}

int TVideoFilterGraph::ConfigureTurn(const TVideoFilterInput& input, const TPictureTurn& turn,
                                     int threadCount) {
  Release();
  std::string chain;
  switch (turn.Rotation) {
    case 90:
      chain = "transpose=clock";
      break;
    case 180:
      chain = "hflip,vflip";
      break;
    case 270:
      chain = "transpose=cclock";
      break;
    default:
      break;
  }
  if (turn.Mirrored) chain += chain.empty() ? "hflip" : ",hflip";
  if (chain.empty()) chain = "null";
  // The turned picture keeps the decoder's pixel format: crop and scale work on it as before.
  if (CreateEnds(input, input.PixFmt, threadCount) != 0 || LinkChain(source_, chain) < 0 ||
      FF.avfilter_graph_config(graph_.get(), nullptr) < 0) {
    Release();
    return -1;
  }
  return 0;
}

int TVideoFilterGraph::PushPicture(AVFrame* picture, int64_t pts) {
  if (!source_) return AVERROR(EINVAL);
  if (!picture) return Flush();
  // The source copies the properties into its own reference; the caller's picture is restored.
  const int64_t oldPts = picture->pts;
  const AVRational oldAspect = picture->sample_aspect_ratio;
  picture->pts =
      pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : FF.av_rescale_q(pts, MicrosecondBase, sourceTimeBase_);
  picture->sample_aspect_ratio = sampleAspectRatio_;
  const int r = FF.av_buffersrc_add_frame_flags(source_, picture, AV_BUFFERSRC_FLAG_KEEP_REF);
  picture->pts = oldPts;
  picture->sample_aspect_ratio = oldAspect;
  return r;
}

int TVideoFilterGraph::Flush() {
  if (!source_) return AVERROR(EINVAL);
  return FF.av_buffersrc_add_frame_flags(source_, nullptr, 0);
}

int TVideoFilterGraph::GetFilteredVideoPicture(AVFrame* picture, int64_t& pts) {
  if (!sink_ || !picture) return -1;
  // The sink moves its reference into the picture, which must hold none.
  FF.av_frame_unref(picture);
  const int r = FF.av_buffersink_get_frame(sink_, picture);
  if (r == AVERROR_EOF) atEnd_ = true;
  if (r < 0) return -1;
  pts = picture->pts == AV_NOPTS_VALUE
            ? AV_NOPTS_VALUE
            : FF.av_rescale_q(picture->pts, FF.av_buffersink_get_time_base(sink_), MicrosecondBase);
  return 1;
}

void TVideoFilterGraph::Release() {
  source_ = nullptr;
  sink_ = nullptr;
  atEnd_ = false;
  graph_.reset();
}

TVideoFilterInput DecodedPictures(const AVCodecContext* decoder, const TPictureTurn& turn) {
  TVideoFilterInput input;
  input.Width = decoder->width;
  input.Height = decoder->height;
  input.PixFmt = decoder->pix_fmt;
  if (ValidRational(decoder->pkt_timebase)) input.TimeBase = decoder->pkt_timebase;
  input.SampleAspectRatio = decoder->sample_aspect_ratio;
  input.FrameRate = decoder->framerate;
  if (turn.SwapsSides()) {
    std::swap(input.Width, input.Height);
    std::swap(input.SampleAspectRatio.num, input.SampleAspectRatio.den);
  }
  return input;
}

void ConfigureFilters(TCustomFFmpeg& engine, TVideoFilterGraph& graph, const AVCodecContext* decoder,
                      AVCodecContext* encoder, const TPictureTurn& turn) {
  const TVideoFilterInput input = DecodedPictures(decoder, turn);
  TVideoFilterEncoder target{encoder->width, encoder->height, encoder->pix_fmt};
  graph.Configure(input, target, VideoFilterSettings(engine));
  encoder->width = target.Width;
  encoder->height = target.Height;
}

}  // namespace ok
