// The progress report over real output files: the values handed to the progress handler, the
// status line in the log, and the summary of the written sizes.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

struct TProgress {
  int FrameNumber, Fps, CurrentDuration;
  float Quality, BitRate;
  int64_t CurrentSize;
  int TotalOutputDuration;
};

class ProgressReport : public EngineTest {
 protected:
  TOutputStreamState& AddStream(TOutputStream& s) {
    auto ost = std::make_unique<TOutputStreamState>();
    ost->Stream = s.Stream;
    ost->Encoder = s.Encoder.get();
    ost->Output = &s;
    engine->Tables.OutputStreams.push_back(std::move(ost));
    return *engine->Tables.OutputStreams.back();
  }

  // A video output (nothing muxed) whose first stream has coded `frames` pictures at quantiser `q`.
  TOutputStreamState& OpenVideo(int frames, int q) {
    engine->AudioDisable = true;
    EXPECT_EQ(engine->OpenOutput(tmp_ / "report.avi"), 1);
    TOutputStream& s = engine->OutputFiles[0].Streams.at(0);
    s.Encoder->width = 176;
    s.Encoder->height = 144;
    TOutputStreamState& ost = AddStream(s);
    ost.FrameNumber = frames;
    ost.CodedQuality = q * FF_QP2LAMBDA;
    return ost;
  }

  // An audio-only output that has muxed up to `seconds` and holds `bytes` bytes.
  void OpenAudio(int seconds, int64_t bytes) {
    engine->VideoDisable = true;
    engine->AudioCodecName = "pcm_s16le";
    ASSERT_EQ(engine->OpenOutput(tmp_ / "report.wav"), 1);
    TOutputFile& file = engine->OutputFiles[0];
    TOutputStream& s = file.Streams[0];
    ASSERT_GE(FF.avcodec_open2(s.Encoder.get(), s.Codec, nullptr), 0);
    ASSERT_GE(s.UpdateStreamParameters(), 0);
    ASSERT_GE(FF.avformat_write_header(file.Context.get(), nullptr), 0);
    AddStream(s);
    // One stereo sample that ends at `seconds`.
    TPacketPtr packet(FF.av_packet_alloc());
    uint8_t sample[4] = {};
    packet->data = sample;
    packet->size = 4;
    packet->pts = packet->dts = FF.av_rescale_q(seconds, AVRational{1, 1}, s.Stream->time_base) - 1;
    packet->duration = 1;
    ASSERT_GE(FF.av_interleaved_write_frame(file.Context.get(), packet.get()), 0);
    AVIOContext* pb = file.Context->pb;
    const std::vector<uint8_t> zeros(size_t(bytes - FF.avio_seek(pb, 0, SEEK_CUR)));
    FF.avio_write(pb, zeros.data(), int(zeros.size()));
    FF.avio_flush(pb);
  }

  void CaptureProgress() {
    engine->OnProgress = [this](int frameNumber, int fps, int currentDuration, float quality, float bitRate,
                                int64_t currentSize, int totalOutputDuration) {
      progress.push_back(
          {frameNumber, fps, currentDuration, quality, bitRate, currentSize, totalOutputDuration});
    };
  }

  // Makes the main loop look started `seconds` ago.
  void StartedAgo(double seconds) { engine->TimerStart = FF.av_gettime() - int64_t(seconds * 1000000); }

  TempDir tmp_;
  std::vector<TProgress> progress;
};

TEST_F(ProgressReport, VideoValuesGoToTheHandler) {
  CaptureProgress();
  engine->RecordingTimeMs = 60000;
  TOutputStreamState& ost = OpenVideo(120, 5);
  StartedAgo(2.5);
  engine->PrintReport(false);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].FrameNumber, 120);
  EXPECT_EQ(progress[0].Fps, 48);  // 120 / 2.5 + 0.5 truncated
  EXPECT_FLOAT_EQ(progress[0].Quality, 5.0f);
  // Nothing muxed yet: the output time is the 10 ms floor.
  EXPECT_EQ(progress[0].CurrentDuration, 10);
  EXPECT_EQ(progress[0].CurrentSize, 0);
  EXPECT_EQ(progress[0].TotalOutputDuration, 60000);

  StartedAgo(0.8);
  ost.Output->StreamCopy = true;
  engine->PrintReport(false);
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[1].Fps, 0);
  EXPECT_FLOAT_EQ(progress[1].Quality, -1.0f);

  // A video output without a picture yet reports nothing, not even at the end.
  CaptureLog();
  ost.FrameNumber = 0;
  engine->PrintReport(true);
  EXPECT_EQ(progress.size(), 2u);
  EXPECT_TRUE(log.empty());
}

TEST_F(ProgressReport, AudioOnlyOutputsReportNoVideoValues) {
  CaptureProgress();
  OpenAudio(10, 1048576);
  engine->PrintReport(false);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].FrameNumber, -1);
  EXPECT_EQ(progress[0].Fps, -1);
  EXPECT_FLOAT_EQ(progress[0].Quality, -1.0f);
  EXPECT_EQ(progress[0].CurrentDuration, 10000);
  EXPECT_EQ(progress[0].CurrentSize, 1048576);
  EXPECT_NEAR(progress[0].BitRate, 838.8608, 1e-3);
  EXPECT_EQ(progress[0].TotalOutputDuration, -1);
}

TEST_F(ProgressReport, TheStatusLineGoesToTheLogOnlyWithoutAHandler) {
  CaptureLog();
  OpenAudio(10, 1048576);
  engine->PrintReport(false);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Level, 1);
  EXPECT_EQ(log[0].Text, "size=    1024kB time=10.00 bitrate= 838.9kbits/s");

  engine->Verbose = 2;
  engine->NbFramesDup = 3;
  engine->NbFramesDrop = 4;
  engine->PrintReport(false);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].Text, "size=    1024kB time=10.00 bitrate= 838.9kbits/s dup=3 drop=4");

  engine->Verbose = 0;
  engine->PrintReport(false);
  EXPECT_EQ(log.size(), 2u);

  engine->Verbose = 1;
  CaptureProgress();
  engine->PrintReport(false);
  engine->PrintReport(true);
  EXPECT_EQ(progress.size(), 2u);
  // Only the summary of the last report reaches the log.
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].Text.rfind("video:", 0), 0u);
}

TEST_F(ProgressReport, VideoPiecesOfTheStatusLine) {
  CaptureLog();
  TOutputStreamState& first = OpenVideo(7, 3);
  TOutputStreamState& second = AddStream(*first.Output);
  second.FrameNumber = 9;
  second.CodedQuality = 31 * FF_QP2LAMBDA;
  StartedAgo(0);
  engine->PrintReport(false);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text, "frame=    7 fps=  0 q=3.0 q=31.0 size=       0kB time=0.01 bitrate=   0.0kbits/s");

  // Squared errors of a hundredth of the full scale on every plane: 20 dB; the last report takes
  // the encoder's sums over all frames.
  engine->Tables.OutputStreams.pop_back();
  AVCodecContext* enc = first.Encoder;
  enc->flags |= AV_CODEC_FLAG_PSNR;
  const uint64_t full = 176 * 144 * 255 * 255;
  first.CodedError[0] = full / 100;
  first.CodedError[1] = first.CodedError[2] = full / 400;
  for (int j = 0; j < 3; ++j) enc->error[j] = first.CodedError[j] * 7;
  engine->QpHistogram = true;
  first.CodedQuality = 2 * FF_QP2LAMBDA;
  engine->PrintReport(true);
  ASSERT_GE(log.size(), 2u);
  const std::string& line = log[1].Text;
  const std::string head = "frame=    7 fps=  0 q=2.0 L";
  ASSERT_EQ(line.rfind(head, 0), 0u) << line;
  const std::string histogram = line.substr(head.size(), 32);
  EXPECT_EQ(histogram.find_first_not_of('0'), 2u) << histogram;
  EXPECT_EQ(histogram.find_first_not_of('0', 3), std::string::npos) << histogram;
  EXPECT_EQ(line.substr(head.size() + 32),
            "PSNR=Y:20.00 U:20.00 V:20.00 *:20.00 size=       0kB time=0.01 bitrate=   0.0kbits/s");
}

TEST_F(ProgressReport, TheSummaryGivesTheMuxingOverhead) {
  CaptureLog();
  OpenAudio(10, 1137664);  // 1111.0 KiB
  engine->VideoSize = 1000 * 1024;
  engine->AudioSize = 100 * 1024;
  engine->PrintReport(true);
  EXPECT_TRUE(Logged("video:1000kB audio:100kB global headers:0kB muxing overhead 1.00%\r\n"));

  // Nothing encoded: no overhead to divide by.
  engine->VideoSize = engine->AudioSize = 0;
  engine->PrintReport(true);
  EXPECT_TRUE(Logged("video:0kB audio:0kB global headers:0kB\r\n"));
}

}  // namespace
}  // namespace ok::test
