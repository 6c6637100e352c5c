// Packet writing: every packet of a transcode leaves through WriteFrame, the output stream's
// bitstream filters first, then the interleaving muxer. EncodeAndWrite is the send/receive
// successor of the old one-call encoders: one frame in, every packet the encoder gives out.

#include <cerrno>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "media/lib_file_name.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// What the old coded frame carried: quality, picture type and the planes' squared errors, which
// this generation hands out as side data of the packet.
void TakeCodedPictureValues(TOutputStreamState& ost, const AVPacket& packet) {
  ost.CodedKeyFrame = (packet.flags & AV_PKT_FLAG_KEY) != 0;
  size_t size = 0;
  const uint8_t* stats = FF.av_packet_get_side_data(&packet, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!stats || size < 6) return;
  ost.CodedQuality =
      int(uint32_t(stats[0]) | uint32_t(stats[1]) << 8 | uint32_t(stats[2]) << 16 | uint32_t(stats[3]) << 24);
  ost.CodedPictType = AVPictureType(stats[4]);
  const int errors = stats[5];
  for (int i = 0; i < 4; ++i) {
    ost.CodedError[i] = 0;
    if (i >= errors || size < size_t(8 + 8 * (i + 1))) continue;
    uint64_t value = 0;
    for (int b = 7; b >= 0; --b) value = value << 8 | stats[8 + 8 * i + b];
    ost.CodedError[i] = value;
  }
}

// Muxers want strictly increasing decoding times. Audio times follow the input clock, whose
// jitter (or a coarse stream time base, one tick per frame in AVI) can make two packets share one
// tick: the later one moves on by a tick.
void KeepIncreasing(TOutputStreamState& ost, AVPacket& packet) {
  if (packet.dts == AV_NOPTS_VALUE) packet.dts = packet.pts;
  if (packet.dts == AV_NOPTS_VALUE) return;
  if (ost.LastMuxedDts != AV_NOPTS_VALUE && packet.dts <= ost.LastMuxedDts) {
    packet.dts = ost.LastMuxedDts + 1;
    if (packet.pts != AV_NOPTS_VALUE && packet.pts < packet.dts) packet.pts = packet.dts;
  }
  ost.LastMuxedDts = packet.dts;
}

}  // namespace

void TCustomFFmpeg::WriteFrame(TOutputFile& os, AVPacket* packet, const AVCodecContext* encoder,
                               TBitstreamFilterChain& chain) {
  // The av_bsf filters take a packet and give any number back: each packet they give goes
  // through the rest of the chain.
  auto filterFrom = [&](auto& self, size_t level, AVPacket* pkt) -> void {
    if (level == chain.size()) {
      int r = FF.av_interleaved_write_frame(os.Context.get(), pkt);
      if (r < 0) throw FFmpegException(OpenErrorText("av_interleaved_write_frame()", r));
      ++PacketsWritten;
      return;
    }
    AVBSFContext* bsf = chain[level].get();
    auto failed = [&](int code) {
      if (!HasLogHandler() && !ExitOnError) return;
      const char* codecName = encoder && encoder->codec ? encoder->codec->name : "copy";
      std::string text = OpenErrorText(
          FormatText("%s failed for stream %d, codec %s", bsf->filter->name, pkt->stream_index, codecName),
          code);
      if (ExitOnError) throw FFmpegException(text);
      Log(0, text);
    };
    const int streamIndex = pkt->stream_index;
    int r = FF.av_bsf_send_packet(bsf, pkt);
    if (r < 0) {
      // The packet goes on as it came.
      failed(r);
      self(self, level + 1, pkt);
      return;
    }
    TPacketPtr out(FF.av_packet_alloc());
    if (!out) throw FFmpegException("av_malloc fail");
    while ((r = FF.av_bsf_receive_packet(bsf, out.get())) >= 0) {
      out->stream_index = streamIndex;
      self(self, level + 1, out.get());
      FF.av_packet_unref(out.get());
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
      out->stream_index = streamIndex;
      failed(r);
    }
  };
  filterFrom(filterFrom, 0, packet);
}

int TCustomFFmpeg::EncodeAndWrite(TOutputFile& os, TOutputStreamState& ost, const AVFrame* frame,
                                  const char* failure) {
  AVCodecContext* enc = ost.Encoder;
  int r = FF.avcodec_send_frame(enc, frame);
  if (r == AVERROR_EOF) return 0;  // drained before
  if (r < 0 && r != AVERROR(EAGAIN)) throw FFmpegException(failure);
  if (!ost.EncodedPacket) {
    ost.EncodedPacket.reset(FF.av_packet_alloc());
    if (!ost.EncodedPacket) throw FFmpegException("av_malloc fail");
  }
  AVPacket* packet = ost.EncodedPacket.get();
  int written = 0;
  for (;;) {
    r = FF.avcodec_receive_packet(enc, packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
    if (r < 0) throw FFmpegException(failure);
    TakeCodedPictureValues(ost, *packet);
    ost.CodedPts = packet->pts;
    if (ost.LogFile && enc->stats_out) std::fprintf(ost.LogFile.get(), "%s", enc->stats_out);
    packet->stream_index = ost.Index;
    FF.av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
    KeepIncreasing(ost, *packet);
    const int size = packet->size;
    WriteFrame(os, packet, enc, ost.Output->BitstreamFilters);
    FF.av_packet_unref(packet);
    written += size;
  }
  return written;
}

double TCustomFFmpeg::GetSyncIpts(const TOutputStreamState& ost) const {
  return double(ost.SyncInput->Pts - StartTime) / 1000000.0;
}

}  // namespace ok
