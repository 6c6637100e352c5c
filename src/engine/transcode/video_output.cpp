// Video output: frame-rate conversion against the sync clock, crop, scale and pad into the
// encoder's picture, the encode itself and the statistics lines.
//
// This generation's pictures are reference-counted frames and encoders may keep references to
// what they were sent (B-frames, frame threads), so:
// - the crop view is a set of plane pointers into the decoded picture, and what goes to the
//   encoder is a new reference of that picture with the pointers moved;
// - PictTmp is made writable before every write into it (a fresh buffer while the encoder still
//   holds the last one; the borders are filled for every picture anyway);
// - the old picture padding call is gone: the borders are filled here;
// - the raw-picture muxers of the old generation are gone too: raw video goes through the
//   rawvideo encoder like any other format.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

constexpr double MinSyncTimeBase = 0.001;  // seconds; below it no automatic drop or duplicate
constexpr double DropThreshold = -1.1;
constexpr double VfrDropThreshold = -0.6;
constexpr double VfrJumpThreshold = 0.6;
constexpr double DupThreshold = 1.1;

// Nearest integer, halves to the even neighbour (the default rounding mode); clamped so that
// absurd clocks cannot overflow the conversion.
int64_t RoundToInt64(double value) {
  constexpr double limit = 9.0e18;
  return int64_t(std::nearbyint(std::clamp(value, -limit, limit)));
}

// Plane pointers of a picture or of a rectangle inside one.
struct TPlanes {
  uint8_t* data[4] = {};
  int linesize[4] = {};
  int width = 0;
  int height = 0;
  AVPixelFormat format = AV_PIX_FMT_NONE;
};

TPlanes PlanesOf(const AVFrame& frame) {
  TPlanes p;
  for (int i = 0; i < 4; ++i) {
    p.data[i] = frame.data[i];
    p.linesize[i] = frame.linesize[i];
  }
  p.width = frame.width;
  p.height = frame.height;
  p.format = AVPixelFormat(frame.format);
  return p;
}

// The component of `desc` that lives in `plane`, -1 when none.
int ComponentOfPlane(const AVPixFmtDescriptor& desc, int plane) {
  for (int c = 0; c < desc.nb_components; ++c)
    if (desc.comp[c].plane == plane) return c;
  return -1;
}

bool Subsampled(int component) { return component == 1 || component == 2; }

// Moves `p` to start at row `top`, column `left`. Only planar formats qualify, and the offsets
// must fall on whole chroma samples.
bool MoveTo(TPlanes& p, int top, int left) {
  const AVPixFmtDescriptor* desc = FF.av_pix_fmt_desc_get(p.format);
  if (!desc || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) ||
      (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)))
    return false;
  if (top < 0 || left < 0 || top >= p.height || left >= p.width) return false;
  if (top & ((1 << desc->log2_chroma_h) - 1) || left & ((1 << desc->log2_chroma_w) - 1)) return false;
  for (int plane = 0; plane < 4; ++plane) {
    const int c = ComponentOfPlane(*desc, plane);
    if (c < 0 || !p.data[plane]) continue;
    const int rows = Subsampled(c) ? top >> desc->log2_chroma_h : top;
    const int columns = Subsampled(c) ? left >> desc->log2_chroma_w : left;
    p.data[plane] += ptrdiff_t(rows) * p.linesize[plane] + ptrdiff_t(columns) * desc->comp[c].step;
  }
  p.width -= left;
  p.height -= top;
  return true;
}

struct TPadding {
  int Top, Bottom, Left, Right;
  int Colour[3];  // Y, U, V
};

// Planar YUV (or grey) with one component per plane and a byte or native 16-bit sample: what the
// pad colour can be written into.
bool PaddableFormat(const AVPixFmtDescriptor* desc) {
  if (!desc || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) ||
      (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_BITSTREAM |
                      AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT)))
    return false;
  for (int c = 0; c < desc->nb_components; ++c) {
    const AVComponentDescriptor& comp = desc->comp[c];
    if (comp.plane != c || comp.shift != 0 || comp.offset != 0) return false;
    if (!((comp.depth == 8 && comp.step == 1) || (comp.depth > 8 && comp.depth <= 16 && comp.step == 2)))
      return false;
  }
  return true;
}

void FillRun(uint8_t* row, int count, int value, int step) {
  if (count <= 0) return;
  if (step == 1) {
    std::memset(row, value, size_t(count));
    return;
  }
  const uint16_t v = uint16_t(value);
  for (int i = 0; i < count; ++i) std::memcpy(row + 2 * i, &v, 2);
}

// Fills the borders of `canvas` around its inner rectangle with the pad colour and copies `source`
// into the rectangle when there is one (else the scaler has written it). The format was checked
// with PaddableFormat and the offsets with MoveTo.
void PadPicture(const TPlanes& canvas, const TPlanes* source, const TPadding& pad) {
  const AVPixFmtDescriptor* desc = FF.av_pix_fmt_desc_get(canvas.format);
  const int innerWidth = canvas.width - pad.Left - pad.Right;
  const int innerHeight = canvas.height - pad.Top - pad.Bottom;
  for (int c = 0; c < desc->nb_components; ++c) {
    const AVComponentDescriptor& comp = desc->comp[c];
    const int sw = Subsampled(c) ? desc->log2_chroma_w : 0;
    const int sh = Subsampled(c) ? desc->log2_chroma_h : 0;
    const int width = AV_CEIL_RSHIFT(canvas.width, sw), height = AV_CEIL_RSHIFT(canvas.height, sh);
    const int x0 = pad.Left >> sw, y0 = pad.Top >> sh;
    const int iw = std::min(AV_CEIL_RSHIFT(innerWidth, sw), width - x0);
    const int ih = std::min(AV_CEIL_RSHIFT(innerHeight, sh), height - y0);
    const int value = c < 3 ? pad.Colour[c] << (comp.depth - 8) : (1 << comp.depth) - 1;  // opaque alpha
    uint8_t* plane = canvas.data[c];
    const int stride = canvas.linesize[c];
    for (int y = 0; y < height; ++y) {
      uint8_t* row = plane + ptrdiff_t(y) * stride;
      if (y < y0 || y >= y0 + ih) {
        FillRun(row, width, value, comp.step);
      } else {
        FillRun(row, x0, value, comp.step);
        FillRun(row + ptrdiff_t(x0 + iw) * comp.step, width - x0 - iw, value, comp.step);
      }
    }
  }
  if (!source) return;
  TPlanes inner = canvas;
  MoveTo(inner, pad.Top, pad.Left);
  const uint8_t* from[4] = {source->data[0], source->data[1], source->data[2], source->data[3]};
  FF.av_image_copy(inner.data, inner.linesize, from, source->linesize, canvas.format, innerWidth,
                   innerHeight);
}

}  // namespace

void TCustomFFmpeg::DoVideoOut(TOutputFile& os, TOutputStreamState& ost, TInputStreamState& ist,
                               AVFrame* picture, int& frameSize) {
  AVCodecContext* enc = ost.Encoder;
  frameSize = 0;
  int64_t frames = 1;

  // Frame-rate conversion against the sync input's clock.
  const double tb = av_q2d(enc->time_base);
  if (VideoSyncMethod > 0 || (VideoSyncMethod != 0 && tb > MinSyncTimeBase)) {
    const double ipts = GetSyncIpts(ost) / tb;
    const double vdelta = ipts - double(ost.SyncOpts);
    const bool variableRate =
        VideoSyncMethod == 2 || (VideoSyncMethod < 0 && (os.Context->oformat->flags & AVFMT_VARIABLE_FPS));
    if (vdelta < DropThreshold) {
      frames = 0;
    } else if (variableRate) {
      if (vdelta <= VfrDropThreshold)
        frames = 0;
      else if (vdelta > VfrJumpThreshold)
        ost.SyncOpts = RoundToInt64(ipts);
    } else if (vdelta > DupThreshold) {
      frames = std::min<int64_t>(RoundToInt64(vdelta), std::numeric_limits<int>::max());
    }
    if (frames == 0) {
      ++NbFramesDrop;
      if (Verbose > 2) Log(1, "*** drop!");
    } else if (frames > 1) {
      NbFramesDup += int(frames - 1);
      if (Verbose > 2) Log(1, FormatText("*** %d dup!", int(frames - 1)));
    }
  } else {
    ost.SyncOpts = RoundToInt64(GetSyncIpts(ost) / tb);
  }
  frames = std::min<int64_t>(frames, int64_t(MaxFrames[MediaVideo]) - ost.FrameNumber);
  if (frames <= 0) return;
  // The last picture is let go before the canvas is written, which it may share.
  if (ost.EncodeFrame) FF.av_frame_unref(ost.EncodeFrame.get());

  auto refuse = [this](const std::string& text) {
    if (ExitOnError) throw FFmpegException(text);
    Log(0, text);
  };

  TPlanes formatted = PlanesOf(*picture);
  if (!UseVideoFilters && ost.VideoCrop && !MoveTo(formatted, ost.TopBand, ost.LeftBand)) {
    refuse("error cropping picture");
    return;
  }

  const TPadding pad{ost.PadTop, ost.PadBottom, ost.PadLeft, ost.PadRight, {PadColorY, PadColorU, PadColorV}};
  auto unusable = [&] {
    return FFmpegException(FormatText("picture %dx%d %s cannot be converted for the output stream #%d.%d",
                                      formatted.width, formatted.height,
                                      FF.av_get_pix_fmt_name(formatted.format), ost.FileIndex, ost.Index));
  };

  // Whatever the decoder really gives (full-range formats, a size or format that changes midway)
  // is scaled into the encoder's picture; the setup's scaler was made from the decoder's guess.
  bool scale = false;
  if (!UseVideoFilters) {
    const int sourceWidth = formatted.width - (ost.VideoCrop ? CropRight : 0);
    const int sourceHeight = formatted.height - (ost.VideoCrop ? CropBottom : 0);
    const int innerWidth = enc->width - (ost.VideoPad ? ost.PadLeft + ost.PadRight : 0);
    const int innerHeight = enc->height - (ost.VideoPad ? ost.PadTop + ost.PadBottom : 0);
    if (sourceWidth <= 0 || sourceHeight <= 0 || innerWidth <= 0 || innerHeight <= 0) throw unusable();
    scale = sourceWidth != innerWidth || sourceHeight != innerHeight || formatted.format != enc->pix_fmt;
    if (scale && (!ost.ImgResampleCtx || ost.ScaleSourceWidth != sourceWidth ||
                  ost.ScaleSourceHeight != sourceHeight || ost.ScaleSourceFormat != formatted.format)) {
      ost.ImgResampleCtx.reset(FF.sws_getContext(sourceWidth, sourceHeight, formatted.format, innerWidth,
                                                 innerHeight, enc->pix_fmt, SwsFlags, nullptr, nullptr,
                                                 nullptr));
      if (!ost.ImgResampleCtx) throw unusable();
      ost.ScaleSourceWidth = sourceWidth;
      ost.ScaleSourceHeight = sourceHeight;
      ost.ScaleSourceFormat = formatted.format;
    }
    if (scale) ost.ResampleHeight = sourceHeight;
  } else if (formatted.width < enc->width || formatted.height < enc->height ||
             formatted.format != enc->pix_fmt) {
    throw unusable();
  }
  const bool usesCanvas = ost.VideoPad || scale;

  TPlanes canvas;
  if (usesCanvas) {
    AVFrame* tmp = ost.PictTmp.get();
    if (!tmp || !tmp->buf[0] || tmp->width != enc->width || tmp->height != enc->height ||
        tmp->format != enc->pix_fmt) {
      if (!tmp) {
        ost.PictTmp.reset(FF.av_frame_alloc());
        tmp = ost.PictTmp.get();
        if (!tmp) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
      }
      FF.av_frame_unref(tmp);
      tmp->format = enc->pix_fmt;
      tmp->width = enc->width;
      tmp->height = enc->height;
      if (FF.av_frame_get_buffer(tmp, 0) < 0)
        throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    }
    if (FF.av_frame_make_writable(tmp) < 0) throw FFmpegException("av_malloc fail");
    canvas = PlanesOf(*tmp);
  }

  TPlanes scalerTarget = canvas;
  if (ost.VideoPad) {
    TPlanes inner = canvas;
    if (!PaddableFormat(FF.av_pix_fmt_desc_get(canvas.format)) || pad.Top < 0 || pad.Bottom < 0 ||
        pad.Left < 0 || pad.Right < 0 || !MoveTo(inner, pad.Top, pad.Left)) {
      refuse("error padding picture");
      return;
    }
    scalerTarget = inner;
  }
  if (scale)
    FF.sws_scale(ost.ImgResampleCtx.get(), formatted.data, formatted.linesize, 0, ost.ResampleHeight,
                 scalerTarget.data, scalerTarget.linesize);
  if (ost.VideoPad) PadPicture(canvas, scale ? nullptr : &formatted, pad);

  // The encoder gets its own reference of the final picture.
  if (!ost.EncodeFrame) {
    ost.EncodeFrame.reset(FF.av_frame_alloc());
    if (!ost.EncodeFrame) throw FFmpegException("av_malloc fail");
  }
  AVFrame* frame = ost.EncodeFrame.get();
  FF.av_frame_unref(frame);
  // Kept after the call: the end of the input holds the last picture for its whole duration.
  if (FF.av_frame_ref(frame, usesCanvas ? ost.PictTmp.get() : picture) < 0)
    throw FFmpegException("av_malloc fail");
  if (!usesCanvas && !UseVideoFilters && ost.VideoCrop) {
    // The same view again over the reference: a picture without reference counting was copied
    // into a buffer of its own, with other line sizes.
    TPlanes view = PlanesOf(*frame);
    MoveTo(view, ost.TopBand, ost.LeftBand);
    for (int i = 0; i < 4; ++i) frame->data[i] = view.data[i];
  }
  frame->width = enc->width;
  frame->height = enc->height;
  frame->interlaced_frame = picture->interlaced_frame;
  const AVCodecContext* videoOptions = OptionContexts.CodecOptions[MediaVideo].get();
  if (videoOptions && (videoOptions->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)))
    frame->top_field_first = TopFieldFirst != -1 ? TopFieldFirst : picture->top_field_first;
  frame->quality = int(RoundToInt64(SameQuality ? ist.Quality : ost.Output->Quality));
  if (MeThreshold == 0) frame->pict_type = AV_PICTURE_TYPE_NONE;

  for (int64_t i = 0; i < frames; ++i) {
    if (StopRequested) return;
    frame->pts = ost.SyncOpts;
    const int r = EncodeAndWrite(os, ost, frame, "Video encoding failed");
    if (r > 0) {
      frameSize = r;
      VideoSize += r;
      if (HookFlags != 0) {
        const int64_t coded = ost.CodedPts != AV_NOPTS_VALUE ? ost.CodedPts : frame->pts;
        ShowPreview(PictureOf(*frame), enc, FF.av_rescale_q(coded, enc->time_base, AV_TIME_BASE_Q));
      }
    }
    ++ost.SyncOpts;
    ++ost.FrameNumber;
  }
}

void TCustomFFmpeg::FlushVideoOut(TOutputFile& os, TOutputStreamState& ost) {
  // The last picture lasts until its input frame ends: otherwise a rate that goes up loses all of
  // that frame's time but one output frame (5 fps into 25 fps: 0.8 s of a 1 s clip).
  AVFrame* last = ost.EncodeFrame.get();
  const double tb = av_q2d(ost.Encoder->time_base);
  if (last && last->buf[0] && ost.SyncInput && !StopRequested &&
      (VideoSyncMethod > 0 || (VideoSyncMethod != 0 && tb > MinSyncTimeBase))) {
    constexpr int64_t LongestHold = 10 * AV_TIME_BASE;  // beyond it the stream's rate is bogus
    const TInputStreamState& clock = *ost.SyncInput;
    int64_t end = std::min(clock.NextPts, clock.Pts + LongestHold);
    if (RecordingTime != INT64_MAX) end = std::min(end, StartTime + RecordingTime);
    const int64_t target = RoundToInt64(double(end - StartTime) / 1000000.0 / tb);
    int64_t hold = std::min<int64_t>(target - ost.SyncOpts, int64_t(MaxFrames[MediaVideo]) - ost.FrameNumber);
    if (hold > 0 && (VideoSyncMethod == 2 ||
                     (VideoSyncMethod < 0 && (os.Context->oformat->flags & AVFMT_VARIABLE_FPS)))) {
      // A variable rate shows the picture once more, at the end of its time.
      ost.SyncOpts = target - 1;
      hold = 1;
    }
    for (; hold > 0 && !StopRequested; --hold) {
      last->pts = ost.SyncOpts;
      VideoSize += EncodeAndWrite(os, ost, last, "Video encoding failed");
      ++ost.SyncOpts;
      ++ost.FrameNumber;
    }
  }
  if (last) FF.av_frame_unref(last);
  VideoSize += EncodeAndWrite(os, ost, nullptr, "Video encoding failed");
}

void TCustomFFmpeg::DoVideoStats(TOutputFile&, TOutputStreamState& ost, int frameSize) {
  if (!VideoOutputFiles.VstatsFile) {
    VideoOutputFiles.VstatsFile.reset(FF.my_fopen(VstatsFileName.c_str(), "w"));
    if (!VideoOutputFiles.VstatsFile) throw FFmpegException("fopen fail: " + VstatsFileName);
  }
  const AVCodecContext* enc = ost.Encoder;
  if (enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  FILE* file = VideoOutputFiles.VstatsFile.get();
  FF.my_fprintf(file, "frame= %5d q= %2.1f ", ost.FrameNumber, ost.CodedQuality / double(FF_QP2LAMBDA));
  if (enc->flags & AV_CODEC_FLAG_PSNR) {
    const double error = double(ost.CodedError[0]) / (double(enc->width) * enc->height * 255.0 * 255.0);
    FF.my_fprintf(file, "PSNR= %6.2f ", -10.0 * std::log10(error));
  }
  FF.my_fprintf(file, "f_size= %6d ", frameSize);
  const double tb = av_q2d(enc->time_base);
  const double ti1 = std::max(double(ost.SyncOpts) * tb, 0.01);
  const double bitrate = frameSize * 8.0 / tb / 1000.0;
  const double average = double(VideoSize) * 8.0 / ti1 / 1000.0;
  FF.my_fprintf(file, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                double(VideoSize) / 1024.0, ti1, bitrate, average);
  FF.my_fprintf(file, "type= %c\n", FF.av_get_picture_type_char(ost.CodedPictType));
}

}  // namespace ok
