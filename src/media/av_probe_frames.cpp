// Reading a picture at a time from a probed file: seeking, decoding and converting to a bitmap.
#include <algorithm>
#include <cerrno>
#include <mutex>

#include "media/av_probe.h"
#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "media/video_stream.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

// A stream's time base; a demuxer that leaves it unset (0/0) must not make the rescaling divide
// by zero, so such a stream counts in microseconds.
AVRational TimeBaseOf(const AVStream* stream) {
  AVRational tb = stream->time_base;
  return tb.num > 0 && tb.den > 0 ? tb : MicrosecondBase;
}

// The presentation time of a decoded frame: decoders deliver frames later than the packets that
// carry them, so the time comes from the frame, not from the last packet read.
int64_t FrameTime(const AVFrame* frame) {
  if (frame->best_effort_timestamp != AV_NOPTS_VALUE) return frame->best_effort_timestamp;
  if (frame->pts != AV_NOPTS_VALUE) return frame->pts;
  return frame->pkt_dts;
}

}  // namespace

TAVProbe::TAVProbe() = default;

TAVProbe::~TAVProbe() { TAVProbe::CloseFile(); }

void TAVProbe::CloseFile() {
  isImage2_ = frameReady_ = endOfStream_ = seekBackward_ = false;
  lastPTS_ = lastTimestamp_ = -1;
  lastStreamIndex_ = -1;
  frameBitmap_.Empty();
  lastFrameBitmap_.Empty();
  scaleContext_.reset();
  decoderContext_.reset();
  decoderStream_ = -1;
  decoderDrained_ = false;
  rgbBuffer_.reset();
  rgbBufferSize_ = 0;
  packetsRead_ = 0;
  if (frame_) FF.av_frame_unref(frame_.get());
  if (packet_) FF.av_packet_unref(packet_.get());
  TCustomAVProbe::CloseFile();
}

bool TAVProbe::Seek(int streamIndex, bool anyFrame, int64_t time) {
  seekBackward_ = false;
  if (!context_) {
    Log(1, "file not loaded.\n");
    errorMessage_ = "file not loaded.";
    return false;
  }
  if (ContextIsImage2()) {
    Log(1, "\"image2\" format cannot to be seeked.\n");
    return true;
  }

  int64_t t = time < 0 ? 0 : time;
  if (streamIndex < 0) {
    streamIndex = firstVideoStream_ >= 0   ? firstVideoStream_
                  : firstAudioStream_ >= 0 ? firstAudioStream_
                                           : firstSubtitleStream_;
  } else if (streamIndex >= streamCount_) {
    Log(0, FormatText("stream index #%d is invalid.\n", streamIndex));
    errorMessage_ = FormatText("stream index #%d is invalid.", streamIndex);
    return false;
  }

  int64_t start;
  if (streamIndex >= 0) {
    const AVStream* st = context_->streams[streamIndex];
    t = FF.av_rescale_q(t, MicrosecondBase, TimeBaseOf(st));
    start = st->start_time;
  } else {
    start = context_->start_time;
  }
  if (start != AV_NOPTS_VALUE) t += start;

  if (decoderContext_) {
    FF.avcodec_flush_buffers(decoderContext_.get());
    decoderDrained_ = false;
  }
  lastTimestamp_ = -1;
  endOfStream_ = false;

  int ret;
  if (time > 0) {
    ret = FF.av_seek_frame(context_, streamIndex, t, 0);
    if (ret < 0 && anyFrame) {
      seekBackward_ = true;
      ret = FF.av_seek_frame(context_, streamIndex, t, AVSEEK_FLAG_BACKWARD);
    }
  } else {
    ret = FF.av_seek_frame(context_, streamIndex, 0, AVSEEK_FLAG_BACKWARD);
    if (ret < 0) ret = FF.av_seek_frame(context_, streamIndex, t, 0);
  }
  if (ret < 0) {
    const float s = float(time) / 1000000.0f;
    Log(0, FormatText("could not seek to position %0.3f\n", double(s)));
    errorMessage_ = FormatText("could not seek to position %0.3f", double(s));
    return false;
  }
  return true;
}

bool TAVProbe::SeekBackwardTo(int streamIndex, int64_t streamTime) {
  if (FF.av_seek_frame(context_, streamIndex, streamTime, AVSEEK_FLAG_BACKWARD) < 0) return false;
  FF.avcodec_flush_buffers(decoderContext_.get());
  decoderDrained_ = false;
  seekBackward_ = true;
  return true;
}

void TAVProbe::Fail(const std::string& message, const std::string& logText) {
  Log(0, logText.empty() ? message + "\n" : logText);
  errorMessage_ = message;
  frameBitmap_.Empty();
}

void TAVProbe::EndOfStreamReached(int64_t time, int streamIndex) {
  Log(2, "stream eof reached.\n");
  errorMessage_ = "stream eof reached.";
  frameBitmap_.FillBlack();
  lastTimestamp_ = time;
  lastStreamIndex_ = streamIndex;
  endOfStream_ = true;
}

bool TAVProbe::OpenDecoder(int streamIndex) {
  // The old generation decoded with the stream's own codec context; this one decodes with a
  // context the probe allocates from the stream parameters and frees again.
  decoderContext_.reset();
  decoderStream_ = -1;
  decoderDrained_ = false;

  const AVStream* st = context_->streams[streamIndex];
  const AVCodec* codec = FF.avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) {
    Fail(FormatText("Unsupported codec (id=%d) for input file stream #%d", int(st->codecpar->codec_id),
                    streamIndex));
    return false;
  }
  const std::string openError =
      FormatText("Error while opening codec for input file stream #%d", streamIndex);
  TCodecContextPtr dec(FF.avcodec_alloc_context3(codec));
  if (!dec || FF.avcodec_parameters_to_context(dec.get(), st->codecpar) < 0) {
    Fail(openError);
    return false;
  }
  dec->pkt_timebase = TimeBaseOf(st);
  int ret;
  {
    std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
    ret = FF.avcodec_open2(dec.get(), codec, nullptr);
  }
  if (ret < 0) {
    Fail(openError);
    return false;
  }
  decoderContext_ = std::move(dec);
  decoderStream_ = streamIndex;
  return true;
}

bool TAVProbe::DecodeFrame(int streamIndex, int64_t target) {
  AVCodecContext* dec = decoderContext_.get();
  AVFrame* frame = frame_.get();
  AVPacket* packet = packet_.get();
  for (;;) {
    // Frames the decoder already holds come first; only when it wants input is a packet read.
    int ret = FF.avcodec_receive_frame(dec, frame);
    if (ret >= 0) {
      const int64_t pts = FrameTime(frame);
      // After a backward seek, frames before the target are skipped. A frame without a time
      // cannot be placed and is taken.
      if (seekBackward_ && pts != AV_NOPTS_VALUE && pts < target) {
        if (earlierFrame_) {
          FF.av_frame_unref(earlierFrame_.get());
          FF.av_frame_move_ref(earlierFrame_.get(), frame);
        } else {
          FF.av_frame_unref(frame);
        }
        continue;
      }
      if (earlierFrame_) FF.av_frame_unref(earlierFrame_.get());
      return true;
    }
    // Drained (or failing while draining): nothing more will come, but the last frame skipped
    // still shows at the time asked for.
    if (ret == AVERROR_EOF || decoderDrained_) {
      if (!earlierFrame_ || !earlierFrame_->buf[0]) return false;
      const bool showing = earlierFrame_->pkt_duration > 0 &&
                           FrameTime(earlierFrame_.get()) + earlierFrame_->pkt_duration > target;
      if (!showing) return false;
      FF.av_frame_move_ref(frame, earlierFrame_.get());
      return true;
    }

    // EAGAIN, or a damaged packet the decoder rejected: read on. The end of the input ends the
    // loop, since av_read_frame fails there.
    ret = FF.av_read_frame(context_, packet);
    if (ret < 0) {
      // The decoder may still hold delayed frames (reordering); a null packet lets them out.
      FF.avcodec_send_packet(dec, nullptr);
      decoderDrained_ = true;
      continue;
    }
    ++packetsRead_;
    if (packet->stream_index == streamIndex) FF.avcodec_send_packet(dec, packet);  // errors: read on
    FF.av_packet_unref(packet);
  }
}

bool TAVProbe::CopyFrameToBitmap() {
  AVFrame* frame = frame_.get();
  // The decoded picture, not the stream parameters, says what to convert: the two can differ
  // (size changes inside a stream, pixel format known only after decoding).
  const int width = frame->width;
  const int height = frame->height;
  const AVPixelFormat pixFmt = AVPixelFormat(frame->format);
  const int size = FF.av_image_get_buffer_size(AV_PIX_FMT_BGR24, width, height, 1);

  const uint8_t* const* srcData = frame->data;
  const int* srcLinesize = frame->linesize;
  uint8_t* dstData[4] = {};
  int dstLinesize[4] = {};

  const bool direct = pixFmt == AV_PIX_FMT_BGR24 && width % 2 == 0 && height % 2 == 0 &&
                      TBitmap::RowSizeFor(width) == frame->linesize[0];
  if (!direct) {
    SwsContext* sws = nullptr;
    if (size > 0) {
      if (!rgbBuffer_ || rgbBufferSize_ < size) {
        rgbBuffer_.reset();
        rgbBufferSize_ = 0;
        rgbBuffer_.reset(static_cast<uint8_t*>(FF.av_malloc(size_t(size))));
        if (rgbBuffer_) rgbBufferSize_ = size;
      }
      if (rgbBuffer_ && FF.av_image_fill_arrays(dstData, dstLinesize, rgbBuffer_.get(), AV_PIX_FMT_BGR24,
                                                width, height, 1) >= 0) {
        sws = FF.sws_getCachedContext(scaleContext_.release(), width, height, pixFmt, width, height,
                                      AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        scaleContext_.reset(sws);
      }
    }
    if (!sws) {
      Log(0, "Cannot initialize the toRGB conversion context\n");
      errorMessage_ = "Cannot initialize the toRGB conversion context";
      frameBitmap_.FillBlack();
      return false;
    }
    FF.sws_scale(sws, srcData, srcLinesize, 0, height, dstData, dstLinesize);
    srcData = dstData;
    srcLinesize = dstLinesize;
  }

  frameBitmap_.SetSize(width, height);
  const size_t rowBytes = size_t(width) * 3;
  const uint8_t* src = srcData[0];
  for (int row = 0; row < height; ++row, src += srcLinesize[0])
    std::copy(src, src + rowBytes, frameBitmap_.ScanLine(row));
  return true;
}

TBitmap& TAVProbe::GetFrameBitmap(int streamIndex, int64_t time) {
  const bool prevReady = frameReady_;
  frameReady_ = false;
  lastPTS_ = -1;

  if (context_ && !ownsContext_) {
    const std::string text = "frame cannot be read, handle is readonly.";
    Log(1, text + "\n");
    errorMessage_ = text;
    throw EProbeError(text);
  }
  if (!context_) {
    Fail("file not loaded.");
    return frameBitmap_;
  }
  if (streamIndex < 0) {
    streamIndex = firstVideoStream_;
    if (streamIndex < 0) {
      Fail("no video stream.");
      return frameBitmap_;
    }
  } else if (streamIndex >= streamCount_) {
    Fail(FormatText("stream index #%d is invalid.", streamIndex));
    return frameBitmap_;
  }
  const AVStream* st = context_->streams[streamIndex];
  if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    Fail(FormatText("stream #%d is not video stream.", streamIndex));
    return frameBitmap_;
  }

  // A still image is decoded once.
  if (isImage2_ && ContextIsImage2()) {
    frameBitmap_.Assign(lastFrameBitmap_);
    frameReady_ = true;
    return frameBitmap_;
  }

  const AVRational tb = TimeBaseOf(st);
  int64_t target = -1;
  bool decodeOn = false;
  if (time >= 0) {
    if (prevReady && time == lastTimestamp_ && streamIndex == lastStreamIndex_) {
      frameBitmap_.Assign(lastFrameBitmap_);
      frameReady_ = true;
      return frameBitmap_;
    }
    if (endOfStream_ && time == lastTimestamp_ && streamIndex == lastStreamIndex_) {
      Log(2, "stream eof reached.\n");
      errorMessage_ = "stream eof reached.";
      frameBitmap_.FillBlack();
      return frameBitmap_;
    }
    // After a backward fallback, a later frame of the same stream lies ahead: decode on.
    decodeOn = seekBackward_ && prevReady && lastTimestamp_ >= 0 && time > lastTimestamp_ &&
               streamIndex == lastStreamIndex_;
    if (!decodeOn && !Seek(streamIndex, true, time)) {
      Log(0, errorMessage_ + "\n");
      return frameBitmap_;
    }
    target = FF.av_rescale_q(time, MicrosecondBase, tb);
    if (st->start_time != AV_NOPTS_VALUE) target += st->start_time;
  }

  const AVCodecParameters* par = st->codecpar;
  // A declared size the image functions reject (zero, negative or too large) is never allocated.
  if (par->width <= 0 || par->height <= 0 ||
      FF.av_image_get_buffer_size(AV_PIX_FMT_BGR24, par->width, par->height, 1) < 0) {
    Fail("frame size of codec is invalid", "frame size of codec is invalid.\n");
    return frameBitmap_;
  }

  if (!decoderContext_ || decoderStream_ != streamIndex) {
    if (!OpenDecoder(streamIndex)) return frameBitmap_;
  }
  if (!frame_) frame_.reset(FF.av_frame_alloc());
  if (!earlierFrame_) earlierFrame_.reset(FF.av_frame_alloc());
  if (!packet_) packet_.reset(FF.av_packet_alloc());
  if (!frame_ || !earlierFrame_ || !packet_) {
    Fail(OpenErrorText(GetFileName(), AVERROR(ENOMEM)));
    return frameBitmap_;
  }

  // Pictures are shown upright, as players show them.
  const TPictureTurn turn = PictureTurnOf(st);
  if (turn.SwapsSides())
    frameBitmap_.SetSize(par->height, par->width);
  else
    frameBitmap_.SetSize(par->width, par->height);

  FF.av_frame_unref(earlierFrame_.get());
  bool decoded = DecodeFrame(streamIndex, target);
  if (!decoded && time > 0 && !decodeOn && !seekBackward_ && SeekBackwardTo(streamIndex, target))
    decoded = DecodeFrame(streamIndex, target);
  if (!decoded) {
    EndOfStreamReached(time, streamIndex);
    return frameBitmap_;
  }

  const bool converted = CopyFrameToBitmap();
  const int64_t pts = FrameTime(frame_.get());
  FF.av_frame_unref(frame_.get());
  if (!converted) return frameBitmap_;
  TurnBitmap(frameBitmap_, turn);

  if (pts != AV_NOPTS_VALUE)
    lastPTS_ =
        FF.av_rescale_q(st->start_time != AV_NOPTS_VALUE ? pts - st->start_time : pts, tb, MicrosecondBase);
  lastFrameBitmap_.Assign(frameBitmap_);
  isImage2_ = ContextIsImage2();
  frameReady_ = true;
  endOfStream_ = false;
  lastTimestamp_ = time;
  lastStreamIndex_ = streamIndex;
  return frameBitmap_;
}

}  // namespace ok
