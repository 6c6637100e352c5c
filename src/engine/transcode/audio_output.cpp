// Audio output. This library generation decodes into many sample formats, often planar, so each
// decoded frame is first turned into interleaved work samples at its own rate and layout (16-bit
// for narrow integer sources, float for the others); the volume, the synchronisation and the FIFO
// then work on those throughout, counting whole samples whatever their size. swresample stands
// for the old resampler (work samples at the decoder's rate and channels to work samples at the
// encoder's) and for the old sample-format converter (each frame cut from the FIFO into the
// encoder's format, planar or not). Encoding is the send/receive pair of EncodeAndWrite; the
// encoder's output buffer of the old one-call encoders is gone with it.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// The work format for audio decoded in `format`: integer sources of at most 16 bits stay 16-bit,
// the others become float so that nothing is rounded away.
AVSampleFormat WorkFormatFor(int format) {
  switch (format) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
      return AV_SAMPLE_FMT_S16;
    default:
      return AV_SAMPLE_FMT_FLT;
  }
}

int SampleBytes(AVSampleFormat format) { return format == AV_SAMPLE_FMT_FLT ? 4 : 2; }
// The largest block that silence insertion produces.
constexpr int MaxSilenceBlock = 131072;
// Smallest sizes of the work buffers, so that ordinary blocks never reallocate.
constexpr int MinSamplesSize = 192000;
constexpr int MinAudioBufSize = 262144;
constexpr int FifoInitialSize = 1024;
// Room for the samples a drift compensation may add to one resampled block.
constexpr int CompensationMargin = 256;

struct TChannelLayout {
  AVChannelLayout Layout{};
  TChannelLayout() = default;
  TChannelLayout(const TChannelLayout&) = delete;
  TChannelLayout& operator=(const TChannelLayout&) = delete;
  ~TChannelLayout() { FF.av_channel_layout_uninit(&Layout); }
};

// A layout the resampler can map channels by: one of unspecified order becomes the default
// layout of its channel count.
void KnownLayout(const AVChannelLayout& layout, TChannelLayout& out) {
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC || FF.av_channel_layout_copy(&out.Layout, &layout) < 0)
    FF.av_channel_layout_default(&out.Layout, layout.nb_channels);
}

const char* SampleFormatName(int format) {
  const char* name = FF.av_get_sample_fmt_name(AVSampleFormat(format));
  return name ? name : "none";
}

TSwrContextPtr MakeConverter(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                             const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate,
                             bool oldResamplerFilter = false) {
  SwrContext* allocated = nullptr;
  // The layouts are only read; this generation's declaration lacks the const.
  if (FF.swr_alloc_set_opts2(&allocated, const_cast<AVChannelLayout*>(&outLayout), outFormat, outRate,
                             const_cast<AVChannelLayout*>(&inLayout), inFormat, inRate, 0, nullptr) < 0)
    return nullptr;
  TSwrContextPtr swr(allocated);
  if (oldResamplerFilter) {
    // The old resampler's filter: 16 taps, 2^10 phases, no linear interpolation, cut-off 0.8.
    FF.av_opt_set_int(swr.get(), "filter_size", 16, 0);
    FF.av_opt_set_int(swr.get(), "phase_shift", 10, 0);
    FF.av_opt_set_int(swr.get(), "linear_interp", 0, 0);
    FF.av_opt_set(swr.get(), "cutoff", "0.8", 0);
  }
  if (FF.swr_init(swr.get()) < 0) return nullptr;
  return swr;
}

// Float to int without undefined behaviour for drifts beyond the int range.
int TruncToInt(double value) { return int(std::clamp(value, double(INT32_MIN), double(INT32_MAX))); }

// The samples an allocated audio frame has room for.
int FrameCapacity(const AVFrame& frame) {
  const int bytes = FF.av_get_bytes_per_sample(AVSampleFormat(frame.format));
  const int unit =
      FF.av_sample_fmt_is_planar(AVSampleFormat(frame.format)) ? bytes : bytes * frame.ch_layout.nb_channels;
  return unit > 0 ? frame.linesize[0] / unit : 0;
}

// ost.EncodeFrame, writable, in the encoder's format with room for `count` samples.
AVFrame* PrepareEncodeFrame(TOutputStreamState& ost, int count) {
  const AVCodecContext* enc = ost.Encoder;
  AVFrame* frame = ost.EncodeFrame.get();
  if (frame && frame->buf[0] && FrameCapacity(*frame) >= count) {
    // The encoder may still hold the previous frame's buffer.
    if (FF.av_frame_make_writable(frame) < 0) throw FFmpegException("av_malloc failed");
  } else {
    if (!frame) {
      ost.EncodeFrame.reset(FF.av_frame_alloc());
      frame = ost.EncodeFrame.get();
      if (!frame) throw FFmpegException("av_malloc failed");
    } else {
      FF.av_frame_unref(frame);
    }
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    frame->nb_samples = std::max(count, enc->frame_size);
    if (FF.av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
        FF.av_frame_get_buffer(frame, 0) < 0)
      throw FFmpegException("av_malloc failed");
  }
  frame->nb_samples = count;
  return frame;
}

}  // namespace

// `count` samples of interleaved work audio at the encoder's rate and channels (taken from the
// FIFO when `samples` is null) to the encoder, stamped with the samples written so far.
void EncodeSamples(TCustomFFmpeg& engine, TOutputFile& os, TOutputStreamState& ost, const uint8_t* samples,
                   int count) {
  AVCodecContext* enc = ost.Encoder;
  const int bytes = count * SampleBytes(ost.WorkFormat) * enc->ch_layout.nb_channels;
  TAudioBuffers& buffers = engine.AudioBuffers;
  AVFrame* frame = PrepareEncodeFrame(ost, count);
  if (!ost.ReformatCtx) {
    if (samples)
      std::memcpy(frame->data[0], samples, size_t(bytes));
    else
      FF.av_fifo_read(ost.Fifo.get(), frame->data[0], size_t(bytes));
  } else {
    if (!samples) {
      if (!ReserveAudioBuffer(buffers.AudioBuf, buffers.AudioBufSize, std::max(bytes, MinAudioBufSize))) {
        // Dropped like a block whose work buffer cannot be had.
        FF.av_fifo_drain2(ost.Fifo.get(), size_t(bytes));
        return;
      }
      FF.av_fifo_read(ost.Fifo.get(), buffers.AudioBuf.get(), size_t(bytes));
      samples = buffers.AudioBuf.get();
    }
    const uint8_t* in[1] = {samples};
    const int n = FF.swr_convert(ost.ReformatCtx.get(), frame->extended_data, count, in, count);
    if (n < 0) {
      if (engine.ExitOnError) throw FFmpegException("av_audio_convert() failed");
      engine.Log(0, "av_audio_convert() failed");
      return;
    }
    frame->nb_samples = n;
  }
  frame->pts = FF.av_rescale_q(ost.SyncOpts, AVRational{1, enc->sample_rate}, enc->time_base);
  ost.SyncOpts += frame->nb_samples;
  engine.AudioSize += engine.EncodeAndWrite(os, ost, frame, "Audio encoding failed");
}

namespace {

// A block of interleaved work audio at the encoder's rate and channels to the encoder: exact
// frames through the FIFO for encoders with a fixed frame size, the whole block as one frame for
// the others (PCM and variable-size encoders).
void EncodeBlock(TCustomFFmpeg& engine, TOutputFile& os, TOutputStreamState& ost, const uint8_t* out,
                 int size) {
  AVCodecContext* enc = ost.Encoder;
  const int frameUnit = SampleBytes(ost.WorkFormat) * enc->ch_layout.nb_channels;
  if (enc->frame_size > 1) {
    if (!ost.Fifo) ost.Fifo.reset(FF.av_fifo_alloc2(FifoInitialSize, 1, 0));
    if (!ost.Fifo) throw FFmpegException("av_fifo_realloc2() failed");
    AVFifo* fifo = ost.Fifo.get();
    const size_t room = FF.av_fifo_can_write(fifo);
    if (room < size_t(size) && FF.av_fifo_grow2(fifo, size_t(size) - room) < 0)
      throw FFmpegException("av_fifo_realloc2() failed");
    if (size > 0) FF.av_fifo_write(fifo, out, size_t(size));
    const size_t frameBytes = size_t(enc->frame_size) * size_t(frameUnit);
    while (FF.av_fifo_can_read(fifo) >= frameBytes) EncodeSamples(engine, os, ost, nullptr, enc->frame_size);
  } else {
    const int count = size / frameUnit;
    if (count > 0) EncodeSamples(engine, os, ost, out, count);
  }
}

}  // namespace

bool ReserveAudioBuffer(TAVMemoryPtr<uint8_t>& buffer, int& size, int64_t needed) {
  if (buffer && size >= needed) return true;
  if (needed > INT32_MAX) return false;
  auto* memory = static_cast<uint8_t*>(FF.av_malloc(size_t(needed)));
  if (!memory) return false;
  buffer.reset(memory);
  size = int(needed);
  return true;
}

void TAudioBuffers::Release() {
  Samples.reset();
  SamplesSize = 0;
  AudioBuf.reset();
  AudioBufSize = 0;
  InputTmp.reset();
  InputTmpSize = 0;
}

bool TCustomFFmpeg::DecodedAudioToWorkSamples(TInputStreamState& ist, const AVFrame& frame, uint8_t*& data,
                                              int& size) {
  data = nullptr;
  size = 0;
  const int channels = frame.ch_layout.nb_channels;
  if (frame.nb_samples <= 0 || channels <= 0 || frame.sample_rate <= 0) return false;
  if (ist.WorkFormat == AV_SAMPLE_FMT_NONE) ist.WorkFormat = WorkFormatFor(frame.format);
  const AVSampleFormat work = ist.WorkFormat;
  if (!ist.ToWork || ist.ToWorkFormat != frame.format || ist.ToWorkRate != frame.sample_rate ||
      FF.av_channel_layout_compare(&ist.ToWorkLayout, &frame.ch_layout) != 0) {
    ist.ToWork.reset();
    ist.ToWorkFormat = -1;
    ist.ToWorkRate = 0;
    FF.av_channel_layout_uninit(&ist.ToWorkLayout);
    ist.ToWork = MakeConverter(frame.ch_layout, work, frame.sample_rate, frame.ch_layout,
                               AVSampleFormat(frame.format), frame.sample_rate);
    if (!ist.ToWork || FF.av_channel_layout_copy(&ist.ToWorkLayout, &frame.ch_layout) < 0) {
      ist.ToWork.reset();
      Log(0, FormatText("Cannot convert %s sample format to %s sample format", SampleFormatName(frame.format),
                        SampleFormatName(work)));
      return false;
    }
    ist.ToWorkFormat = frame.format;
    ist.ToWorkRate = frame.sample_rate;
  }
  const int64_t needed = int64_t(frame.nb_samples) * channels * SampleBytes(work);
  if (!ReserveAudioBuffer(AudioBuffers.Samples, AudioBuffers.SamplesSize,
                          std::max<int64_t>(needed, MinSamplesSize)))
    return false;
  uint8_t* out[1] = {AudioBuffers.Samples.get()};
  // Same rate in and out: every input sample comes out at once.
  const int n = FF.swr_convert(ist.ToWork.get(), out, frame.nb_samples,
                               const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
  if (n <= 0) return false;
  data = out[0];
  size = n * channels * SampleBytes(work);
  return true;
}

void TCustomFFmpeg::ApplyAudioVolume(uint8_t* samples, int size, AVSampleFormat format) const {
  if (AudioVolume == 256) return;
  if (format == AV_SAMPLE_FMT_FLT) {
    // The same scale with the same full-scale clamp, without the 16-bit rounding.
    const float scale = float(AudioVolume) / 256.0f;
    for (int i = 0; i + 3 < size; i += 4) {
      float s;
      std::memcpy(&s, samples + i, sizeof s);
      s = std::clamp(s * scale, -1.0f, 1.0f);
      std::memcpy(samples + i, &s, sizeof s);
    }
    return;
  }
  for (int i = 0; i + 1 < size; i += 2) {
    int16_t s;
    std::memcpy(&s, samples + i, sizeof s);
    // >> on a negative value rounds towards minus infinity.
    const int v = std::clamp((int(s) * AudioVolume + 128) >> 8, -32768, 32767);
    s = int16_t(v);
    std::memcpy(samples + i, &s, sizeof s);
  }
}

void TCustomFFmpeg::DoAudioOut(TOutputFile& os, TOutputStreamState& ost, TInputStreamState& ist,
                               const uint8_t* buffer, int size) {
  AVCodecContext* enc = ost.Encoder;
  const AVCodecContext* dec = ist.Decoder;
  // The decoder's side is what the last frame was converted from.
  const bool converted = ist.ToWorkRate > 0 || !dec;
  const AVChannelLayout& decLayout = converted ? ist.ToWorkLayout : dec->ch_layout;
  const int decRate = converted ? ist.ToWorkRate : dec->sample_rate;
  const int decChannels = decLayout.nb_channels;
  const int encChannels = enc->ch_layout.nb_channels;
  const int encRate = enc->sample_rate;
  if (size <= 0 || decChannels <= 0 || decRate <= 0 || encChannels <= 0 || encRate <= 0) return;
  const AVSampleFormat work = ist.WorkFormat == AV_SAMPLE_FMT_NONE ? AV_SAMPLE_FMT_S16 : ist.WorkFormat;
  ost.WorkFormat = work;
  const int sampleBytes = SampleBytes(work);

  // A rate the setup did not foresee needs the resampler as much as a channel count does.
  if (encChannels != decChannels || encRate != decRate) ost.AudioResample = 1;
  if (ost.AudioResample && !ost.Resample) {
    TChannelLayout in, out;
    KnownLayout(decLayout, in);
    KnownLayout(enc->ch_layout, out);
    ost.Resample = MakeConverter(out.Layout, work, encRate, in.Layout, work, decRate, true);
    if (!ost.Resample)
      throw FFmpegException(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                       decChannels, decRate, encChannels, encRate));
  }
  // The FIFO holds work samples whether or not they were resampled, so the converter to the
  // encoder's format follows the FIFO and is needed whenever that format is not the work format.
  const int reformatPair = enc->sample_fmt + 5 * work;
  if (enc->sample_fmt != work && reformatPair != ost.ReformatPair) {
    ost.ReformatCtx.reset();
    ost.ReformatCtx = MakeConverter(enc->ch_layout, enc->sample_fmt, encRate, enc->ch_layout, work, encRate);
    if (!ost.ReformatCtx)
      throw FFmpegException(FormatText("Cannot convert %s sample format to %s sample format",
                                       SampleFormatName(work), SampleFormatName(enc->sample_fmt)));
    ost.ReformatPair = reformatPair;
  }

  const int64_t fifoBytes = ost.Fifo ? int64_t(FF.av_fifo_can_read(ost.Fifo.get())) : 0;
  // Samples the resampler holds back belong to the output's past like those in the FIFO: without
  // them the packet times run ahead of the data (muxers that count bytes, DV, then starve).
  const int64_t held = ost.Resample ? FF.swr_get_delay(ost.Resample.get(), encRate) : 0;
  if (AudioSyncMethod != 0) {
    const double delta = GetSyncIpts(ost) * encRate - double(ost.SyncOpts) -
                         double(fifoBytes) / (double(sampleBytes) * encChannels) - double(held);
    const double idelta = std::clamp(delta * decRate / encRate, -1e12, 1e12);
    const int decFrameBytes = sampleBytes * decChannels;
    int64_t byteDelta = int64_t(idelta) * decFrameBytes;
    if (std::fabs(delta) > 50) {
      if (ist.IsStart || std::fabs(delta) > AudioDriftThreshold * encRate) {
        if (byteDelta < 0) {
          byteDelta = std::max<int64_t>(byteDelta, -size);
          buffer += -byteDelta;
          size += int(byteDelta);
          if (Verbose > 2 && HasLogHandler())
            Log(1, FormatText("discarding %d audio samples", TruncToInt(-delta)));
          if (size == 0) return;
          ist.IsStart = 0;
        } else {
          if (byteDelta + size <= MaxSilenceBlock) {
            ist.IsStart = 0;
          } else {
            // Whole sample frames only: a partial one would shift the channels of all that follows.
            byteDelta = std::max(MaxSilenceBlock - size, 0);
            byteDelta -= byteDelta % decFrameBytes;
          }
          TAudioBuffers& b = AudioBuffers;
          if (!ReserveAudioBuffer(b.InputTmp, b.InputTmpSize, byteDelta + size)) return;
          std::memset(b.InputTmp.get(), 0, size_t(byteDelta));
          std::memcpy(b.InputTmp.get() + byteDelta, buffer, size_t(size));
          buffer = b.InputTmp.get();
          size += int(byteDelta);
          if (Verbose > 2 && HasLogHandler())
            Log(1, FormatText("adding %d audio samples of silence", TruncToInt(delta)));
        }
      } else if (AudioSyncMethod > 1) {
        const int comp = std::clamp(TruncToInt(delta), -AudioSyncMethod, AudioSyncMethod);
        if (Verbose > 2 && HasLogHandler())
          Log(1, FormatText("compensating audio timestamp drift:%.2f compensation:%d in:%d", delta, comp,
                            encRate));
        // swr_set_compensation is the successor of av_resample_compensate.
        if (ost.Resample) FF.swr_set_compensation(ost.Resample.get(), comp, encRate);
      }
    }
  } else {
    ost.SyncOpts = std::llrint(GetSyncIpts(ost) * encRate) - fifoBytes / (sampleBytes * encChannels) - held;
  }

  const uint8_t* out = buffer;
  int outSize = size;
  if (ost.AudioResample) {
    SwrContext* swr = ost.Resample.get();
    const int inSamples = size / (decChannels * sampleBytes);
    const int64_t room =
        FF.av_rescale_rnd(FF.swr_get_delay(swr, decRate) + inSamples, encRate, decRate, AV_ROUND_UP) +
        CompensationMargin;
    TAudioBuffers& b = AudioBuffers;
    if (room > INT32_MAX / (sampleBytes * encChannels) ||
        !ReserveAudioBuffer(b.AudioBuf, b.AudioBufSize,
                            std::max<int64_t>(room * sampleBytes * encChannels, MinAudioBufSize)))
      return;
    uint8_t* resampled[1] = {b.AudioBuf.get()};
    const uint8_t* in[1] = {buffer};
    // What does not fit stays inside the resampler for the next block.
    const int n = FF.swr_convert(swr, resampled, int(room), in, inSamples);
    if (n <= 0) return;
    out = b.AudioBuf.get();
    outSize = n * encChannels * sampleBytes;
  }
  EncodeBlock(*this, os, ost, out, outSize);
}

void TCustomFFmpeg::FlushAudioOut(TOutputFile& os, TOutputStreamState& ost) {
  AVCodecContext* enc = ost.Encoder;
  const int encChannels = enc->ch_layout.nb_channels;
  const int sampleBytes = SampleBytes(ost.WorkFormat);
  // The samples the resampler's filter still holds back.
  if (ost.Resample && encChannels > 0) {
    TAudioBuffers& b = AudioBuffers;
    const int64_t room = FF.swr_get_delay(ost.Resample.get(), enc->sample_rate) + CompensationMargin;
    if (ReserveAudioBuffer(b.AudioBuf, b.AudioBufSize,
                           std::max<int64_t>(room * sampleBytes * encChannels, MinAudioBufSize))) {
      uint8_t* resampled[1] = {b.AudioBuf.get()};
      const int n = FF.swr_convert(ost.Resample.get(), resampled, int(room), nullptr, 0);
      if (n > 0) EncodeBlock(*this, os, ost, b.AudioBuf.get(), n * encChannels * sampleBytes);
    }
  }
  if (enc->frame_size > 1 && ost.Fifo && encChannels > 0) {
    const int count = int(FF.av_fifo_can_read(ost.Fifo.get()) / size_t(sampleBytes * encChannels));
    if (count > 0 && enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME))
      EncodeSamples(*this, os, ost, nullptr, count);
  }
  AudioSize += EncodeAndWrite(os, ost, nullptr, "Audio encoding failed");
}

}  // namespace ok
