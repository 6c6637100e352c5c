// Audio output over the real libraries: decoded frames to 16-bit samples, the volume, the FIFO
// framing, the PCM path, resampling, the synchronisation and the flush, each checked on a real
// output file with ffprobe where the file tells.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

using TSampleValue = std::function<double(int channel, int index)>;

// A decoded frame as a decoder of this generation gives it.
TFramePtr MakeFrame(AVSampleFormat format, int rate, int channels, int samples, const TSampleValue& value) {
  TFramePtr frame(FF.av_frame_alloc());
  frame->format = format;
  frame->sample_rate = rate;
  frame->nb_samples = samples;
  FF.av_channel_layout_default(&frame->ch_layout, channels);
  EXPECT_GE(FF.av_frame_get_buffer(frame.get(), 0), 0);
  const bool planar = FF.av_sample_fmt_is_planar(format);
  const int bytes = FF.av_get_bytes_per_sample(format);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < samples; ++i) {
      uint8_t* at = planar ? frame->extended_data[c] + size_t(i) * bytes
                           : frame->data[0] + (size_t(i) * channels + c) * bytes;
      const double v = value(c, i);
      if (format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P) {
        const int16_t s = int16_t(std::lrint(v * 32767));
        std::memcpy(at, &s, sizeof s);
      } else if (format == AV_SAMPLE_FMT_S32 || format == AV_SAMPLE_FMT_S32P) {
        const int32_t s = int32_t(std::lrint(v * 2147483647.0));
        std::memcpy(at, &s, sizeof s);
      } else {
        const float s = float(v);
        std::memcpy(at, &s, sizeof s);
      }
    }
  return frame;
}

double Tone(int, int index) { return 0.5 * std::sin(index * 0.05); }

int16_t SampleAt(const uint8_t* data, int index) {
  int16_t s;
  std::memcpy(&s, data + 2 * index, sizeof s);
  return s;
}

class AudioOutput : public EngineTest {
 protected:
  // One output file with one audio stream of `codec`, its encoder opened and the header written;
  // the stream is fed by `ist`.
  void Open(const std::string& name, const std::string& codec, int rate, int channels) {
    engine->AudioCodecName = codec;
    engine->VideoDisable = true;
    engine->AudioSampleRate = rate;
    engine->AudioChannels = channels;
    path_ = tmp_ / name;
    rate_ = rate;
    ASSERT_EQ(engine->OpenOutput(path_), 1);
    TOutputStream& s = File().Streams[0];
    ASSERT_GE(FF.avcodec_open2(s.Encoder.get(), s.Codec, nullptr), 0) << codec;
    ASSERT_GE(s.UpdateStreamParameters(), 0);
    ASSERT_GE(FF.avformat_write_header(File().Context.get(), nullptr), 0);
    ist_ = std::make_unique<TInputStreamState>();
    ist_->IsStart = 1;
    ost_ = std::make_unique<TOutputStreamState>();
    ost_->Stream = s.Stream;
    ost_->Encoder = s.Encoder.get();
    ost_->Output = &s;
    ost_->SyncInput = ist_.get();
    ost_->Fifo.reset(FF.av_fifo_alloc2(1024, 1, 0));
  }

  TOutputFile& File() { return engine->OutputFiles[0]; }
  AVCodecContext* Encoder() { return ost_->Encoder; }
  size_t FifoBytes() { return FF.av_fifo_can_read(ost_->Fifo.get()); }

  // A decoded frame through the 16-bit conversion (and the volume) into the output; the input's
  // time then moves on by the frame's duration, as decoding does.
  void Feed(AVSampleFormat format, int rate, int channels, int samples, const TSampleValue& value = Tone) {
    TFramePtr frame = MakeFrame(format, rate, channels, samples, value);
    uint8_t* data = nullptr;
    int size = 0;
    ASSERT_TRUE(engine->DecodedAudioToWorkSamples(*ist_, *frame, data, size));
    ASSERT_EQ(size, samples * channels * FF.av_get_bytes_per_sample(ist_->WorkFormat));
    engine->ApplyAudioVolume(data, size, ist_->WorkFormat);
    engine->DoAudioOut(File(), *ost_, *ist_, data, size);
    ist_->Pts += std::llround(samples * 1e6 / rate);
  }

  void Finish() {
    engine->FlushAudioOut(File(), *ost_);
    ASSERT_GE(FF.av_write_trailer(File().Context.get()), 0);
    File().Close();
  }

  double ProbedSamples() { return std::stod(ProbeValue(path_, "stream=duration")) * rate_; }

  TempDir tmp_;
  std::string path_;
  int rate_ = 0;
  std::unique_ptr<TInputStreamState> ist_;
  std::unique_ptr<TOutputStreamState> ost_;
};

TEST_F(AudioOutput, VolumeRoundsTowardsMinusInfinityAndClamps) {
  auto scaled = [&](int volume, std::vector<int16_t> samples) {
    engine->AudioVolume = volume;
    engine->ApplyAudioVolume(reinterpret_cast<uint8_t*>(samples.data()), int(samples.size() * 2));
    return samples;
  };
  EXPECT_EQ(scaled(512, {20000, -20000, 1000, -7}), (std::vector<int16_t>{32767, -32768, 2000, -14}));
  EXPECT_EQ(scaled(128, {20000, -20000, 2, -2, 3, -3}), (std::vector<int16_t>{10000, -10000, 1, -1, 2, -1}));
  // -5 × 100 + 128 = -372: -1.45 rounds down to -2, not towards zero.
  EXPECT_EQ(scaled(100, {-5, 5}), (std::vector<int16_t>{-2, 2}));
  EXPECT_EQ(scaled(256, {-5, 12345}), (std::vector<int16_t>{-5, 12345}));
}

float FloatAt(const uint8_t* data, int index) {
  float s;
  std::memcpy(&s, data + 4 * index, sizeof s);
  return s;
}

TEST_F(AudioOutput, DecodedFramesBecomeInterleavedWorkSamples) {
  // Float audio stays float: a 16-bit step would round it for nothing.
  TInputStreamState ist;
  uint8_t* data = nullptr;
  int size = 0;
  TFramePtr planar =
      MakeFrame(AV_SAMPLE_FMT_FLTP, 44100, 2, 300, [](int c, int) { return c == 0 ? 0.5 : -0.25; });
  ASSERT_TRUE(engine->DecodedAudioToWorkSamples(ist, *planar, data, size));
  EXPECT_EQ(ist.WorkFormat, AV_SAMPLE_FMT_FLT);
  ASSERT_EQ(size, 300 * 2 * 4);
  for (int i : {0, 1, 299}) {
    EXPECT_FLOAT_EQ(FloatAt(data, 2 * i), 0.5f) << i;
    EXPECT_FLOAT_EQ(FloatAt(data, 2 * i + 1), -0.25f) << i;
  }
  EXPECT_EQ(ist.ToWorkFormat, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(ist.ToWorkRate, 44100);
  EXPECT_EQ(ist.ToWorkLayout.nb_channels, 2);

  // Another format, rate and layout: the converter is made anew for them, into the same work
  // format.
  TFramePtr mono =
      MakeFrame(AV_SAMPLE_FMT_S32, 22050, 1, 5000, [](int, int i) { return i % 2 ? 0.25 : -0.5; });
  ASSERT_TRUE(engine->DecodedAudioToWorkSamples(ist, *mono, data, size));
  ASSERT_EQ(size, 5000 * 4);
  EXPECT_NEAR(FloatAt(data, 0), -0.5f, 1e-6);
  EXPECT_NEAR(FloatAt(data, 4999), 0.25f, 1e-6);
  EXPECT_EQ(ist.ToWorkFormat, AV_SAMPLE_FMT_S32);
  EXPECT_EQ(ist.ToWorkRate, 22050);
  EXPECT_EQ(ist.ToWorkLayout.nb_channels, 1);

  // Planar 16-bit audio becomes interleaved 16-bit samples.
  TInputStreamState narrow;
  TFramePtr s16p =
      MakeFrame(AV_SAMPLE_FMT_S16P, 44100, 2, 100, [](int c, int) { return c == 0 ? 0.5 : -0.25; });
  ASSERT_TRUE(engine->DecodedAudioToWorkSamples(narrow, *s16p, data, size));
  EXPECT_EQ(narrow.WorkFormat, AV_SAMPLE_FMT_S16);
  ASSERT_EQ(size, 100 * 2 * 2);
  EXPECT_EQ(SampleAt(data, 0), 16384);
  EXPECT_EQ(SampleAt(data, 1), -8192);
}

TEST_F(AudioOutput, FloatVolumeScalesAndClampsAtFullScale) {
  engine->AudioVolume = 512;
  std::vector<float> samples = {0.25f, -0.75f, 0.6f};
  engine->ApplyAudioVolume(reinterpret_cast<uint8_t*>(samples.data()), int(samples.size() * 4),
                           AV_SAMPLE_FMT_FLT);
  EXPECT_EQ(samples, (std::vector<float>{0.5f, -1.0f, 1.0f}));
}

TEST_F(AudioOutput, FixedFrameEncodersGetExactFramesFromTheFifo) {
  Open("framed.m4a", "aac", 44100, 2);
  ASSERT_EQ(Encoder()->frame_size, 1024);
  ASSERT_EQ(Encoder()->sample_fmt, AV_SAMPLE_FMT_FLTP);
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, 2500);  // 10000 bytes
  EXPECT_EQ(ost_->SyncOpts, 2048);
  EXPECT_EQ(FifoBytes(), 1808u);
  EXPECT_EQ(ost_->AudioResample, 0);
  EXPECT_EQ(ost_->ReformatPair, AV_SAMPLE_FMT_FLTP + 5 * AV_SAMPLE_FMT_S16);
  for (int i = 0; i < 40; ++i) Feed(AV_SAMPLE_FMT_S16, 44100, 2, 1000);
  Finish();
  EXPECT_GT(engine->AudioSize, 0);
  EXPECT_EQ(ProbeValue(path_, "stream=codec_name,channels"), "aac\n2");
  // 42500 samples with the aac tail: a frame less would be off by more than 1024.
  EXPECT_NEAR(ProbedSamples(), 42500, 1024);
}

TEST_F(AudioOutput, PcmEncodersTakeEachBlockWhole) {
  Open("pcm.wav", "pcm_f32le", 44100, 2);
  ASSERT_LE(Encoder()->frame_size, 1);
  for (int i = 0; i < 10; ++i) {
    Feed(AV_SAMPLE_FMT_S16P, 44100, 2, 4410);
    EXPECT_EQ(ost_->SyncOpts, 4410 * (i + 1));
    EXPECT_EQ(FifoBytes(), 0u);
  }
  Finish();
  EXPECT_EQ(engine->AudioSize, 44100 * 2 * 4);
  EXPECT_EQ(ProbeValue(path_, "stream=codec_name,sample_rate,channels"), "pcm_f32le\n44100\n2");
  EXPECT_EQ(ProbedSamples(), 44100);
}

TEST_F(AudioOutput, ResamplesToTheEncodersRate) {
  Open("rate.wav", "pcm_s16le", 44100, 2);
  for (int i = 0; i < 47; ++i) Feed(AV_SAMPLE_FMT_FLTP, 48000, 2, 1024);
  EXPECT_EQ(ost_->AudioResample, 1);
  Finish();
  // 48128 samples at 48000 Hz.
  EXPECT_NEAR(ProbedSamples(), 48128.0 * 44100 / 48000, 4);
}

TEST_F(AudioOutput, MixesSixChannelsDownToTwo) {
  Open("down.wav", "pcm_s16le", 44100, 2);
  for (int i = 0; i < 40; ++i) Feed(AV_SAMPLE_FMT_S16, 44100, 6, 1000);
  EXPECT_EQ(ost_->AudioResample, 1);
  Finish();
  EXPECT_EQ(ProbeValue(path_, "stream=channels"), "2");
  EXPECT_NEAR(ProbedSamples(), 40000, 4);
}

// The bytes of a WAV file's "data" chunk.
std::string WavData(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  const size_t at = all.find("data");
  return at == std::string::npos ? std::string() : all.substr(at + 8);
}

TEST_F(AudioOutput, SyncFillsTheStartAndThenOnlyLargeDrifts) {
  CaptureLog();
  engine->Verbose = 3;
  engine->AudioSyncMethod = 1;
  Open("sync.wav", "pcm_s16le", 44100, 2);
  ist_->Pts = 100000;  // the first block comes 100 ms late
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, 1024, [](int, int) { return 0.3; });
  EXPECT_TRUE(Logged("adding 4410 audio samples of silence"));
  EXPECT_EQ(ost_->SyncOpts, 4410 + 1024);
  EXPECT_EQ(ist_->IsStart, 0);

  // 0.05 s behind: below the drift threshold, nothing happens.
  log.clear();
  ist_->Pts = std::llround((ost_->SyncOpts + 2205) * 1e6 / 44100);
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, 1024, [](int, int) { return 0.3; });
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(ost_->SyncOpts, 4410 + 2048);

  // 0.2 s behind: beyond it.
  ist_->Pts = std::llround((ost_->SyncOpts + 8820) * 1e6 / 44100);
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, 1024, [](int, int) { return 0.3; });
  EXPECT_TRUE(Logged("adding 8820 audio samples of silence"));
  EXPECT_EQ(ost_->SyncOpts, 4410 + 2048 + 8820 + 1024);
  Finish();

  const std::string data = WavData(path_);
  ASSERT_EQ(data.size(), size_t(ost_->SyncOpts) * 4);
  EXPECT_EQ(data.find_first_not_of('\0'), 4410u * 4);
  EXPECT_EQ(data.find_first_not_of('\0', (4410 + 2048) * 4), (4410u + 2048 + 8820) * 4);
}

TEST_F(AudioOutput, SyncDropsWhatIsAheadAndStretchesSmallDrifts) {
  CaptureLog();
  engine->Verbose = 3;
  engine->AudioSyncMethod = 100;
  Open("drop.wav", "pcm_s16le", 44100, 2);
  ost_->AudioResample = 1;  // what the setup does for a stretching sync method
  ost_->SyncOpts = 4410;
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, 8192);
  EXPECT_TRUE(Logged("discarding 4410 audio samples"));
  EXPECT_EQ(ist_->IsStart, 0);
  const int64_t afterDrop = ost_->SyncOpts;
  EXPECT_NEAR(double(afterDrop), 4410 + 3782, 32);  // less the resampler's delay

  log.clear();
  ist_->Pts = std::llround((afterDrop + 200) * 1e6 / 44100);
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, 1024);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text.rfind("compensating audio timestamp drift:", 0), 0u) << log[0].Text;
  EXPECT_NE(log[0].Text.find(" compensation:100 in:44100"), std::string::npos) << log[0].Text;
}

TEST_F(AudioOutput, InsertedSilenceKeepsWholeSampleFrames) {
  engine->AudioSyncMethod = 1;
  Open("six.ac3", "ac3", 44100, 6);
  ASSERT_GT(Encoder()->frame_size, 1);
  ist_->Pts = 1000000;  // 44100 samples behind: more than one block of silence
  Feed(AV_SAMPLE_FMT_S16, 44100, 6, 1000);
  EXPECT_EQ(ist_->IsStart, 1);
  // 131072 is no multiple of 12 bytes: a partial sample frame would shift every channel after it.
  EXPECT_EQ(FifoBytes() % 12, 0u);
  EXPECT_EQ(ost_->SyncOpts + int64_t(FifoBytes() / 12), 131072 / 12);
  Finish();
}

TEST_F(AudioOutput, FlushEncodesTheShortLastFrame) {
  Open("tail.flac", "flac", 44100, 2);
  ASSERT_TRUE(Encoder()->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
  const int frame = Encoder()->frame_size;
  ASSERT_GT(frame, 250);
  Feed(AV_SAMPLE_FMT_S16, 44100, 2, frame + 250);
  EXPECT_EQ(FifoBytes(), 1000u);
  Finish();
  EXPECT_EQ(ost_->SyncOpts, frame + 250);
  EXPECT_EQ(ProbeValue(path_, "stream=duration_ts"), std::to_string(frame + 250));
}

}  // namespace
}  // namespace ok::test
