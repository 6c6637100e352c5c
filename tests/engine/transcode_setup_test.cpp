// The transcode setup over real files: stream mapping, codec parameters, the refusals, two-pass
// logs, filters, metadata maps and headers that ffprobe can read.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

std::string AvSource() {
  return Fixture("setup_av.mkv",
                 "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                 "-metadata title=Setup -c:v mpeg4 -c:a mp2");
}

std::string VideoSource() {
  return Fixture("setup_video.mkv", "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -c:v mpeg4");
}

class TranscodeSetupTest : public EngineTest {
 protected:
  // The codec names set before an input is opened name its decoders: `outputOptions` runs
  // between the two openings.
  void Open(const std::string& input, const std::string& output,
            const std::function<void(TCustomFFmpeg&)>& outputOptions = nullptr) {
    ASSERT_NO_THROW(engine->OpenInputFile(input));
    if (outputOptions) outputOptions(*engine);
    ASSERT_GT(engine->OpenOutput(output), 0);
  }
  // The setup's failure text, "" when it succeeds; the tables are gone either way after a failure.
  std::string SetupFailure() {
    try {
      engine->TranscodeSetup();
    } catch (const FFmpegException& e) {
      EXPECT_EQ(engine->Tables.NbOutputStreams(), 0);
      EXPECT_TRUE(engine->OpenEncoders.Empty());
      EXPECT_TRUE(engine->OpenDecoders.Empty());
      return e.what();
    }
    return "";
  }
  // Ends the run right after the headers: everything released, the files closed.
  void Release(bool trailers = true) {
    // A trailer makes the header that the setup wrote readable for every container.
    if (trailers)
      for (int f = 0; f < engine->NbOutputFiles; ++f)
        FF.av_write_trailer(engine->OutputFiles[f].Context.get());
    engine->ReleaseTranscodeTables();
    engine->ReleaseOutputFiles();
    engine->ReleaseInputFiles();
  }
  TOutputStreamState& Out(int n) { return *engine->Tables.OutputStreams[n]; }

  TempDir dir;
};

TEST_F(TranscodeSetupTest, MapsInOrderOpensCodecsAndWritesReadableHeaders) {
  CaptureLog();
  const std::string out = dir / "out.avi";
  Open(AvSource(), out, [](TCustomFFmpeg& e) {
    e.VideoCodecName = "mpeg4";
    e.AudioCodecName = "mp2";
  });
  engine->TranscodeSetup();
  ASSERT_EQ(engine->Tables.NbOutputStreams(), 2);
  EXPECT_EQ(Out(0).SourceIndex, 0);
  EXPECT_EQ(Out(1).SourceIndex, 1);
  EXPECT_EQ(Out(0).SyncInput, engine->Tables.InputStreams[0].get());
  EXPECT_TRUE(Logged("Stream mapping:"));
  EXPECT_TRUE(Logged("  Stream #0.0 -> #0.0"));
  EXPECT_TRUE(Logged("  Stream #0.1 -> #0.1"));
  EXPECT_EQ(LoggedCount(" [sync"), 0);
  EXPECT_TRUE(engine->OpenEncoders.Contains(&Out(0)));
  EXPECT_TRUE(engine->OpenEncoders.Contains(&Out(1)));
  for (const auto& ist : engine->Tables.InputStreams) {
    EXPECT_TRUE(ist->DecodingNeeded);
    EXPECT_EQ(ist->NextPts, AV_NOPTS_VALUE);
    EXPECT_EQ(ist->IsStart, 1);
  }
  EXPECT_GT(engine->TimerStart, 0);
  Release();
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), "mp2");
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "176");
}

TEST_F(TranscodeSetupTest, ThreadsGivenAfterTheInputReachEveryVideoCodecAndTheFilterGraph) {
  Open(VideoSource(), dir / "threads.avi", [](TCustomFFmpeg& e) {
    e.ApplyOption("threads", "3");
    e.ApplyOption("vcodec", "mpeg4");
    e.ApplyOption("vfilters", "hflip");
  });
  engine->TranscodeSetup();
  ASSERT_EQ(engine->Tables.NbOutputStreams(), 1);
  // No more than the machine's cores.
  const int threads = std::min(3, int(std::thread::hardware_concurrency()));
  EXPECT_EQ(engine->Tables.InputStreams[0]->Decoder->thread_count, threads);
  EXPECT_EQ(Out(0).Encoder->thread_count, threads);
  AVFilterContext* source = engine->Tables.InputStreams[0]->InputVideoFilter();
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->graph->nb_threads, threads);
  Release();
}

TEST_F(TranscodeSetupTest, TwoAudioOutputsShareTheOneInputAudioStream) {
  engine->VideoDisable = true;
  Open(AvSource(), dir / "two.mkv");
  engine->NewStreamInLastOutput(AVMEDIA_TYPE_AUDIO);
  engine->TranscodeSetup();
  ASSERT_EQ(engine->Tables.NbOutputStreams(), 2);
  EXPECT_EQ(Out(0).SourceIndex, 1);
  EXPECT_EQ(Out(1).SourceIndex, 1);
  EXPECT_EQ(engine->Tables.InputStreams[0]->Discard, 1);  // the video is not used
  EXPECT_FALSE(engine->Tables.InputStreams[0]->DecodingNeeded);
  Release();
}

TEST_F(TranscodeSetupTest, MapToAStreamOfAnotherTypeIsRefused) {
  CaptureLog();
  engine->SetStreamMap("0:1");
  engine->SetStreamMap("0:0:0:1");
  engine->AudioDisable = true;
  Open(AvSource(), dir / "maps.mkv");
  engine->NewStreamInLastOutput(AVMEDIA_TYPE_AUDIO);
  // Output streams: video, audio; maps: audio first, so the types do not match.
  EXPECT_EQ(SetupFailure(), "Codec type mismatch for mapping #0.1 -> #0.0");
}

TEST_F(TranscodeSetupTest, SyncStreamOfAMapIsListed) {
  CaptureLog();
  engine->SetStreamMap("0:0:0:1");
  engine->SetStreamMap("0:1");
  Open(AvSource(), dir / "sync.mkv");
  engine->TranscodeSetup();
  EXPECT_EQ(Out(0).SyncInput, engine->Tables.InputStreams[1].get());
  EXPECT_TRUE(Logged(" [sync #0.1]"));
  Release();
}

TEST_F(TranscodeSetupTest, RefusalsReleaseTheTables) {
  struct Case {
    const char* name;
    std::function<void(TCustomFFmpeg&)> before;   // before the files are opened
    std::function<void(TCustomFFmpeg&)> between;  // after the output is opened
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"map_count", [](TCustomFFmpeg& e) { e.SetStreamMap("0:0"); }, nullptr,
       "Number of stream maps must match number of output streams"},
      {"map_stream",
       [](TCustomFFmpeg& e) {
         e.SetStreamMap("0:5");
         e.SetStreamMap("0:1");
       },
       nullptr, "Could not find input stream #0.5"},
      {"map_sync",
       [](TCustomFFmpeg& e) {
         e.SetStreamMap("0:0:1:0");
         e.SetStreamMap("0:1");
       },
       nullptr, "Could not find sync stream #1.0"},
      {"video_copy_preview",
       [](TCustomFFmpeg& e) {
         e.VideoStreamCopy = true;
         e.HookFlags = 1;
       },
       nullptr, "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
      {"video_copy_hook",
       [](TCustomFFmpeg& e) {
         e.VideoStreamCopy = true;
         e.OnCustomHook = [](TBitmap&, int, int64_t, bool&, bool&) {};
       },
       nullptr, "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
      {"video_copy_vhook",
       [](TCustomFFmpeg& e) {
         e.VideoStreamCopy = true;
         e.UsingVhook = true;
       },
       nullptr, "-vcodec copy and -vhook are incompatible (frames are not decoded)"},
      {"audio_copy_volume",
       [](TCustomFFmpeg& e) {
         e.AudioStreamCopy = true;
         e.AudioVolume = 300;
       },
       nullptr, "-acodec copy and -vol are incompatible (frames are not decoded)"},
      {"metadata_output", [](TCustomFFmpeg& e) { e.SetMetaDataMap("1:0"); }, nullptr,
       "Invalid output file index 1 map_meta_data(1,0)"},
      {"metadata_input", [](TCustomFFmpeg& e) { e.SetMetaDataMap("0:3"); }, nullptr,
       "Invalid input file index 3 map_meta_data(0,3)"},
      {"pass2_missing", [](TCustomFFmpeg& e) { e.SetPass("2"); }, nullptr,
       "Cannot read log file %DIR%/job-0.log for pass-2 encoding"},
      {"filters_rejected", [](TCustomFFmpeg& e) { e.VideoFilters = "nosuchfilter"; }, nullptr,
       "Error opening filters!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine->ResetOptions();
    engine->OnCustomHook = nullptr;
    engine->PassLogFileName = dir / "job";
    if (c.before) c.before(*engine);
    Open(AvSource(), dir / (std::string(c.name) + ".mkv"));
    if (c.between) c.between(*engine);
    std::string expected = c.expected;
    if (auto at = expected.find("%DIR%"); at != std::string::npos)
      expected.replace(at, 5, dir.Path().string());
    EXPECT_EQ(SetupFailure(), expected);
    Release(false);
  }
}

TEST_F(TranscodeSetupTest, NoInputStreamOfTheOutputType) {
  engine->VideoDisable = true;
  Open(VideoSource(), dir / "audio_only.mkv");
  engine->NewStreamInLastOutput(AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(SetupFailure(), "Could not find input stream matching output stream #0.0");
}

TEST_F(TranscodeSetupTest, CropWithoutScalingAndPadWithScaling) {
  Open(VideoSource(), dir / "crop.mkv", [](TCustomFFmpeg& e) {
    e.SetCropTop(8);
    e.SetCropBottom(8);
  });
  engine->TranscodeSetup();
  EXPECT_EQ(Out(0).Encoder->height, 128);
  EXPECT_EQ(Out(0).VideoResample, 0);
  EXPECT_EQ(Out(0).VideoCrop, 1);
  EXPECT_EQ(Out(0).TopBand, 8);
  Release();

  engine->ResetOptions();
  ASSERT_NO_THROW(engine->OpenInputFile(VideoSource()));
  engine->SetFrameSize("320x240");
  engine->SetPadTop(16);
  engine->SetPadBottom(16);
  ASSERT_GT(engine->OpenOutput(dir / "pad.avi"), 0);
  engine->TranscodeSetup();
  EXPECT_EQ(Out(0).Encoder->width, 320);
  EXPECT_EQ(Out(0).Encoder->height, 272);
  EXPECT_EQ(Out(0).VideoResample, 1);
  EXPECT_EQ(Out(0).VideoPad, 1);
  ASSERT_TRUE(Out(0).PictTmp);
  EXPECT_EQ(Out(0).PictTmp->height, 272);
  EXPECT_TRUE(Out(0).ImgResampleCtx);
  EXPECT_EQ(engine->BitBufferSize, 6 * 320 * 272 + 200);
  Release();
  EXPECT_EQ(ProbeValue(dir / "pad.avi", "stream=height", "v:0"), "272");
}

TEST_F(TranscodeSetupTest, FilterChainThatTransposesTurnsTheEncoderSize) {
  engine->VideoFilters = "transpose=1";
  Open(VideoSource(), dir / "transpose.avi");
  engine->TranscodeSetup();
  EXPECT_EQ(Out(0).Encoder->width, 144);
  EXPECT_EQ(Out(0).Encoder->height, 176);
  EXPECT_TRUE(engine->Tables.InputStreams[0]->InputVideoFilter());
  Release();
  EXPECT_EQ(ProbeValue(dir / "transpose.avi", "stream=width", "v:0"), "144");
}

TEST_F(TranscodeSetupTest, PassOneLogIsNamedAfterTheStreamPosition) {
  engine->PassLogFileName = dir / "job";
  engine->SetPass("1");
  Open(AvSource(), dir / "pass1.mkv", [](TCustomFFmpeg& e) { e.VideoCodecName = "mpeg4"; });
  engine->TranscodeSetup();
  EXPECT_TRUE(Out(0).LogFile);
  EXPECT_FALSE(Out(1).LogFile);  // the pass flags belong to the video encoder
  Release();
  EXPECT_TRUE(fs::exists(dir / "job-0.log"));

  // Pass 2 reads what pass 1 left.
  { std::ofstream(dir / "job-0.log") << "stats"; }
  engine->ResetOptions();
  engine->PassLogFileName = dir / "job";
  engine->SetPass("2");
  Open(AvSource(), dir / "pass2.mkv", [](TCustomFFmpeg& e) { e.VideoCodecName = "mpeg4"; });
  // mpeg4 refuses statistics it cannot parse: the open fails with its message, after the log
  // was read.
  EXPECT_EQ(SetupFailure(),
            "Error while opening codec for output stream #0.0 - maybe incorrect parameters such as bit_rate, "
            "rate, width or height");
  Release(false);
}

TEST_F(TranscodeSetupTest, StreamCopyKeepsTheInputCodecAndMetadataMapsCopyTags) {
  engine->VideoStreamCopy = true;
  engine->AudioStreamCopy = true;
  engine->SetMetaDataMap("0:0");
  const std::string out = dir / "copy.avi";
  Open(AvSource(), out);
  engine->TranscodeSetup();
  EXPECT_EQ(Out(0).EncodingNeeded, 0);
  EXPECT_FALSE(engine->Tables.InputStreams[0]->DecodingNeeded);
  EXPECT_TRUE(engine->OpenEncoders.Empty());
  Release();
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), "mp2");
  EXPECT_EQ(ProbeValue(out, "format_tags=title"), "Setup");
}

TEST_F(TranscodeSetupTest, RtpOutputsLogTheSessionDescription) {
  CaptureLog();
  engine->AudioDisable = true;
  Open(VideoSource(), "rtp://127.0.0.1:23456", [](TCustomFFmpeg& e) {
    e.SetOutputFormat("rtp");
    e.VideoCodecName = "mpeg4";
  });
  engine->TranscodeSetup();
  EXPECT_EQ(LoggedCount("SDP: v=0"), 1);
  Release();
}

}  // namespace
}  // namespace ok::test
