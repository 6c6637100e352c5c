// Frame hooks and preview: deinterlacing, the custom hook and the frame-hook modules on every
// decoded picture, and the preview of encoded pictures.

#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

struct TPlanarLayout {
  int Planes;
  int ChromaShiftX;
  int ChromaShiftY;
};

// The formats the old library deinterlacer took.
bool PlanarLayoutOf(AVPixelFormat format, TPlanarLayout& layout) {
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
      layout = {3, 1, 1};
      return true;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
      layout = {3, 1, 0};
      return true;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
      layout = {3, 0, 0};
      return true;
    case AV_PIX_FMT_YUV411P:
      layout = {3, 2, 0};
      return true;
    case AV_PIX_FMT_GRAY8:
      layout = {1, 0, 0};
      return true;
    default:
      return false;
  }
}

// The first field's lines are kept; each line of the second becomes (-1, 4, 2, 4, -1) / 8 of the
// lines around it, edge lines repeated. Filtering every line instead would not remove a comb but
// swap its fields (the taps give -1 at the highest vertical frequency).
void DeinterlacePlane(uint8_t* dst, int dstLinesize, const uint8_t* src, int srcLinesize, int width,
                      int height) {
  auto line = [&](int y) { return src + ptrdiff_t(std::clamp(y, 0, height - 1)) * srcLinesize; };
  for (int y = 0; y < height; ++y) {
    uint8_t* out = dst + ptrdiff_t(y) * dstLinesize;
    if (y % 2 == 0) {
      std::memcpy(out, line(y), size_t(width));
      continue;
    }
    const uint8_t *m2 = line(y - 2), *m1 = line(y - 1), *c = line(y), *p1 = line(y + 1), *p2 = line(y + 2);
    for (int x = 0; x < width; ++x) {
      const int sum = -m2[x] + 4 * m1[x] + 2 * c[x] + 4 * p1[x] - p2[x];
      out[x] = uint8_t(std::clamp((sum + 4) >> 3, 0, 255));
    }
  }
}

// The successor of avpicture_deinterlace, which this library generation no longer has; it refused
// the same formats and sizes.
int DeinterlacePicture(const AVFrame& dst, const AVFrame& src, AVPixelFormat format, int width, int height) {
  TPlanarLayout layout;
  if (!PlanarLayoutOf(format, layout) || width <= 0 || height <= 0 || width % 4 != 0 || height % 4 != 0)
    return -1;
  for (int p = 0; p < layout.Planes; ++p) {
    const int shiftX = p == 0 ? 0 : layout.ChromaShiftX, shiftY = p == 0 ? 0 : layout.ChromaShiftY;
    DeinterlacePlane(dst.data[p], dst.linesize[p], src.data[p], src.linesize[p], width >> shiftX,
                     height >> shiftY);
  }
  return 0;
}

// What the outputs read of a picture besides its pixels.
void CopyPictureProperties(AVFrame& dst, const AVFrame& src) {
  dst.pts = src.pts;
  dst.pkt_dts = src.pkt_dts;
  dst.best_effort_timestamp = src.best_effort_timestamp;
  dst.pkt_duration = src.pkt_duration;
  dst.pkt_pos = src.pkt_pos;
  dst.pkt_size = src.pkt_size;
  dst.time_base = src.time_base;
  dst.key_frame = src.key_frame;
  dst.pict_type = src.pict_type;
  dst.quality = src.quality;
  dst.repeat_pict = src.repeat_pict;
  dst.interlaced_frame = src.interlaced_frame;
  dst.top_field_first = src.top_field_first;
  dst.sample_aspect_ratio = src.sample_aspect_ratio;
  dst.color_range = src.color_range;
  dst.color_primaries = src.color_primaries;
  dst.color_trc = src.color_trc;
  dst.colorspace = src.colorspace;
  dst.chroma_location = src.chroma_location;
}

}  // namespace

std::shared_ptr<TPreviewer> StoreHookFlags(uint8_t& hookFlags, THookBuffers& buffers, uint8_t flags) {
  hookFlags = flags;
  if (flags & hfPreview) return nullptr;
  return std::move(buffers.PreviewWindow);
}

void TCustomFFmpeg::TurnUpright(TInputStreamState& ist, AVFrame* picture) {
  const TPictureTurn& turn = ist.Input->Turn;
  if (turn.None()) return;
  TVideoFilterGraph& graph = ist.TurnGraph;
  auto failed = [&] {
    return FFmpegException(
        FormatText("Cannot turn the pictures of input stream #%d.%d upright", ist.FileIndex, ist.Index));
  };
  // The graph is made for what the decoder really gives, which may change midway.
  if (!graph.Configured() || graph.Input().Width != picture->width ||
      graph.Input().Height != picture->height || graph.Input().PixFmt != picture->format) {
    TVideoFilterInput input = DecodedPictures(ist.Decoder);
    input.Width = picture->width;
    input.Height = picture->height;
    input.PixFmt = AVPixelFormat(picture->format);
    if (graph.ConfigureTurn(input, turn, ThreadCount) != 0) throw failed();
  }
  if (!ist.Turned) ist.Turned.reset(FF.av_frame_alloc());
  int64_t pts = AV_NOPTS_VALUE;
  if (!ist.Turned || graph.PushPicture(picture, ist.Pts) < 0 ||
      graph.GetFilteredVideoPicture(ist.Turned.get(), pts) != 1)
    throw failed();
  // The turned picture takes the decoded one's place; its properties came along with it.
  FF.av_frame_unref(picture);
  FF.av_frame_move_ref(picture, ist.Turned.get());
}

void TCustomFFmpeg::PreProcessVideoFrame(TInputStreamState& ist, AVFrame* picture) {
  const AVCodecContext* dec = ist.Decoder;
  const int64_t pts = ist.Pts;
  ++HookFrameNumber;

  if (!OnCustomHook && UsingVhook) {
    if (OnBeforeHook) {
      try {
        OnBeforeHook(pts, HookAction);
      } catch (const std::exception& e) {
        Log(0, std::string("Error occurs OnBeforeHook: ") + e.what());
        HookAction = haStop;
      }
      if (HookAction == haStop) UsingVhook = false;
    } else if (TimeRangeCount > 0) {
      // Sorted by end: the search starts at the range last matched and never looks back.
      HookAction = haIgnore;
      const int count = std::min(TimeRangeCount, int(TimeRanges.size()));
      for (int i = TimeRangeIndex; i < count; ++i) {
        const TTimeRange& range = TimeRanges[size_t(i)];
        if (range.Start <= pts && pts <= range.End) {
          TimeRangeIndex = i;
          HookAction = haContinue;
          break;
        }
        if (i == count - 1 && range.End < pts) {
          HookAction = haStop;
          UsingVhook = false;
        }
      }
    }
  }

  const bool frameHooks = UsingVhook && HookAction == haContinue;
  if (!Deinterlace && !OnCustomHook && !frameHooks) return;

  const AVPixelFormat format = dec->pix_fmt;
  const int width = dec->width, height = dec->height;
  AVFrame* work = HookBuffers.Work.get();
  if (!work || work->format != format || work->width != width || work->height != height) {
    HookBuffers.Work.reset(FF.av_frame_alloc());
    work = HookBuffers.Work.get();
    if (work) {
      work->format = format;
      work->width = width;
      work->height = height;
      if (FF.av_frame_get_buffer(work, 0) < 0) {
        HookBuffers.Work.reset();
        work = nullptr;
      }
    }
  } else if (FF.av_frame_make_writable(work) < 0) {
    work = nullptr;
  }
  if (!HookBuffers.Reference) HookBuffers.Reference.reset(FF.av_frame_alloc());
  if (!work || !HookBuffers.Reference) {
    Log(0, "hook buf malloc error.");
    return;
  }

  bool deinterlaced = false;
  if (Deinterlace) {
    deinterlaced = DeinterlacePicture(*work, *picture, format, width, height) >= 0;
    if (!deinterlaced) Log(0, "Deinterlacing failed.");
  }
  if (!deinterlaced && !OnCustomHook && !frameHooks) return;
  // Not deinterlaced, the hooks still work on a copy: the decoded picture may be one the decoder
  // predicts later pictures from.
  if (!deinterlaced)
    FF.av_image_copy(work->data, work->linesize, const_cast<const uint8_t**>(picture->data),
                     picture->linesize, format, width, height);

  TPicture workPicture = PictureOf(*work);
  if (OnCustomHook)
    ApplyCustomHook(workPicture, dec, pts);
  else if (frameHooks)
    FrameHookProcess(FrameHooks, workPicture, format, width, height, pts);

  CopyPictureProperties(*work, *picture);
  if (deinterlaced) work->interlaced_frame = 0;
  if (FF.av_frame_ref(HookBuffers.Reference.get(), work) < 0) {
    Log(0, "hook buf malloc error.");
    return;
  }
  FF.av_frame_unref(picture);
  FF.av_frame_move_ref(picture, HookBuffers.Reference.get());
}

void TCustomFFmpeg::ApplyCustomHook(TPicture& work, const AVCodecContext* decoder, int64_t pts) {
  const AVPixelFormat format = decoder->pix_fmt;
  const int width = decoder->width, height = decoder->height;
  bool stop = !HookConverter.FrameToBitmap(work, format, height, width);
  if (stop) {
    Log(0, "Cannot initialize the toRGB conversion context");
  } else {
    // TBitmap has no drawing surface to lock: the handler draws straight into its rows.
    bool update = true;
    try {
      OnCustomHook(*HookConverter.ConverterBitmap(), HookFrameNumber, pts, update, stop);
    } catch (const std::exception& e) {
      Log(0, std::string("Error occurs OnCustomHook: ") + e.what());
      update = false;
    }
    if (update && !HookConverter.BitmapToFrame(work, format, height, width)) {
      Log(0, "Cannot initialize the fromRGB conversion context");
      stop = true;
    }
  }
  if (stop) {
    OnCustomHook = nullptr;
    HookAction = haStop;
    UsingVhook = false;
  }
}

void TCustomFFmpeg::ShowPreview(const TPicture& picture, const AVCodecContext* encoder, int64_t pts) {
  // PreviewLock guards the flags and the previewer's ownership. It is not held while the handler
  // or the previewer waits for the main thread: the main thread may itself be waiting for the
  // lock in SetHookFlags, and neither side would go on.
  uint8_t bit = 0;
  {
    std::lock_guard<std::mutex> lock(PreviewLock);
    if ((HookFlags & hfPreviewBitmap) && OnPreviewBitmap)
      bit = hfPreviewBitmap;
    else if (HookFlags & hfPreview)
      bit = hfPreview;
  }
  if (!bit) return;
  const int64_t now = FF.av_gettime();
  if (now - LastPreviewTime <= PreviewInterval) return;
  LastPreviewTime = now;

  bool ok = PreviewConverter.FrameToBitmap(picture, encoder->pix_fmt, encoder->height, encoder->width);
  if (!ok) {
    Log(0, "Cannot initialize the toRGB conversion context");
  } else if (bit == hfPreviewBitmap) {
    OnPreviewBitmap(*PreviewConverter.ConverterBitmap(), HookFrameNumber, pts);
  } else {
    std::shared_ptr<TPreviewer> previewer;
    {
      std::lock_guard<std::mutex> lock(PreviewLock);
      // The caller may have cleared the flag since: then there is nothing to show.
      if (HookFlags & hfPreview) {
        if (!HookBuffers.PreviewWindow) HookBuffers.PreviewWindow = std::make_shared<TPreviewer>();
        previewer = HookBuffers.PreviewWindow;
      }
    }
    if (previewer) ok = previewer->Preview(*PreviewConverter.ConverterBitmap(), HookFrameNumber, pts);
  }
  if (ok) return;
  // Declared before the lock, so freed after it is released.
  std::shared_ptr<TPreviewer> released;
  std::lock_guard<std::mutex> lock(PreviewLock);
  released = StoreHookFlags(HookFlags, HookBuffers, uint8_t(HookFlags & ~bit));
}

}  // namespace ok
