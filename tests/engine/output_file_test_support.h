#pragma once
// What the output file tests share: the source clips, a short write of an output and the fixture.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "media/lib_file_name.h"
#include "platform/code_page.h"
#include "support/code_page_scope.h"
#include "support/test_support.h"

namespace ok::test {
namespace fs = std::filesystem;

// 176x144 suits every default encoder of the offered formats (H.263 takes only a few sizes).
inline std::string AvFixture() {
  return Fixture("out_src_av.mkv",
                 "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                 "-c:v mpeg4 -c:a mp2");
}

inline std::string VideoOnlyFixture() {
  return Fixture("out_src_video.mkv", "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -c:v mpeg4");
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline ::testing::AssertionResult Drain(AVFormatContext* oc, TOutputStream& s, const AVFrame* frame) {
  AVCodecContext* c = s.Encoder.get();
  if (int r = FF.avcodec_send_frame(c, frame); r < 0) return ::testing::AssertionFailure() << "send: " << r;
  TPacketPtr packet(FF.av_packet_alloc());
  for (;;) {
    int r = FF.avcodec_receive_packet(c, packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return ::testing::AssertionSuccess();
    if (r < 0) return ::testing::AssertionFailure() << "receive: " << r;
    packet->stream_index = s.Stream->index;
    for (int64_t* t : {&packet->pts, &packet->dts})
      if (*t != AV_NOPTS_VALUE) *t = FF.av_rescale_q(*t, c->time_base, s.Stream->time_base);
    packet->duration = FF.av_rescale_q(packet->duration, c->time_base, s.Stream->time_base);
    if (FF.av_interleaved_write_frame(oc, packet.get()) < 0) return ::testing::AssertionFailure() << "write";
  }
}

// What the transcode setup and loop will do, in short, so that ffprobe can read the file: open the
// encoders, copy them into the streams, write the header, a few grey or silent frames per stream
// and the trailer.
inline ::testing::AssertionResult WriteShortFile(TOutputFile& file) {
  for (TOutputStream& s : file.Streams) {
    if (s.Codec && !s.StreamCopy) {
      int r = FF.avcodec_open2(s.Encoder.get(), s.Codec, nullptr);
      if (r < 0) return ::testing::AssertionFailure() << "cannot open " << s.Codec->name << ": " << r;
    }
    if (s.UpdateStreamParameters() < 0) return ::testing::AssertionFailure() << "no stream parameters";
  }
  AVFormatContext* oc = file.Context.get();
  if (int r = FF.avformat_write_header(oc, nullptr); r < 0)
    return ::testing::AssertionFailure() << "header: " << r;
  for (TOutputStream& s : file.Streams) {
    AVCodecContext* c = s.Encoder.get();
    if (!s.Codec || s.StreamCopy || c->codec_type == AVMEDIA_TYPE_SUBTITLE) continue;
    for (int i = 0; i < 5; ++i) {
      TFramePtr frame(FF.av_frame_alloc());
      uint8_t fill = 128;
      if (c->codec_type == AVMEDIA_TYPE_VIDEO) {
        frame->format = c->pix_fmt;
        frame->width = c->width;
        frame->height = c->height;
        frame->pts = i;
      } else {
        fill = 0;
        frame->format = c->sample_fmt;
        frame->ch_layout = c->ch_layout;  // a native layout: nothing to copy deeply
        frame->sample_rate = c->sample_rate;
        frame->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
        frame->pts = int64_t(i) * frame->nb_samples;
      }
      if (FF.av_frame_get_buffer(frame.get(), 0) < 0) return ::testing::AssertionFailure() << "frame buffer";
      for (AVBufferRef* b : frame->buf)
        if (b) std::memset(b->data, fill, b->size);
      if (auto r = Drain(oc, s, frame.get()); !r) return r;
      if (c->codec_type == AVMEDIA_TYPE_AUDIO) frame->ch_layout = AVChannelLayout{};
    }
    if (auto r = Drain(oc, s, nullptr); !r) return r;
  }
  if (int r = FF.av_write_trailer(oc); r < 0) return ::testing::AssertionFailure() << "trailer: " << r;
  return ::testing::AssertionSuccess();
}

class OutputFile : public EngineTest {
 protected:
  TOutputFile& Output(int index = 0) { return engine->OutputFiles[index]; }
  AVCodecContext* Encoder(int stream, int file = 0) { return Output(file).Streams[stream].Encoder.get(); }
  void OpenInput(const std::string& file) { ASSERT_NO_THROW(engine->OpenInputFile(file)); }

  TempDir tmp_;
};

}  // namespace ok::test
