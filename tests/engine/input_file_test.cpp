// Input file opening over the real libraries: the old parameter record as demuxer options, the
// start-time seek and timestamp offset, the option state taken from the streams, the decoder slots
// and the per-input options consumed whatever the outcome.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "media/lib_file_name.h"
#include "platform/code_page.h"
#include "support/code_page_scope.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

std::string AvFixture() {
  return Fixture("in_av.mkv",
                 "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 -ac 2 "
                 "-c:v mpeg4 -c:a mp2");
}

std::string ShortFixture() {
  return Fixture("in_short.mkv", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg4");
}

class InputFile : public EngineTest {
 protected:
  AVFormatContext* Context(int file = 0) const { return engine->InputFiles[file].Context.get(); }
  AVStream* Stream(int index, int file = 0) const { return Context(file)->streams[index]; }

  TempDir tmp_;
};

TEST_F(InputFile, RawVideoTakesSizePixelFormatAndRateFromTheOptions) {
  std::string raw =
      Fixture("in_raw_64x48.yuv", "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -pix_fmt yuv420p");
  engine->ApplyOption("f", "rawvideo");
  engine->ApplyOption("s", "64x48");
  engine->ApplyOption("pix_fmt", "yuv422p");  // reads the 4:2:0 data as 4:2:2: only the option says so
  engine->ApplyOption("r", "10");
  ASSERT_NO_THROW(engine->OpenInputFile(raw));
  const AVCodecParameters* par = Stream(0)->codecpar;
  EXPECT_EQ(par->width, 64);
  EXPECT_EQ(par->height, 48);
  EXPECT_EQ(par->format, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(engine->FramePixFmt, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(engine->FrameRate.num, 10);
  EXPECT_EQ(engine->FrameRate.den, 1);
  EXPECT_EQ(engine->ForcedInputFormat, nullptr);
}

TEST_F(InputFile, StreamsWithoutParametersFailUnlessQuiet) {
  // The ".dat" extension makes the libraries guess a format whose streams this data cannot fill.
  std::string dat =
      Fixture("in_tone_s16.dat", "-f lavfi -i sine=duration=1:sample_rate=22050 -ac 1 -f s16le");
  engine->ApplyOption("acodec", "mp2");
  EXPECT_EQ(EngineFailure([&] { engine->OpenInputFile(dat); }), dat + ": could not find codec parameters");
  EXPECT_EQ(engine->NbInputFiles, 0);
  EXPECT_EQ(engine->AudioCodecName, "");
  engine->SetVerbose(-1);
  EXPECT_NO_THROW(engine->OpenInputFile(dat));
  EXPECT_EQ(engine->NbInputFiles, 1);
}

TEST_F(InputFile, RawAudioNeedsAForcedFormatAndTakesRateAndChannelsFromTheState) {
  std::string raw =
      Fixture("in_tone_s16.pcm", "-f lavfi -i sine=duration=1:sample_rate=22050 -ac 1 -f s16le");
  EXPECT_EQ(EngineFailure([&] { engine->OpenInputFile(raw); }), raw + ": Unknown format");
  EXPECT_EQ(engine->NbInputFiles, 0);

  // The old record's defaults: 44100 Hz, 2 channels.
  engine->ApplyOption("f", "s16le");
  ASSERT_NO_THROW(engine->OpenInputFile(raw));
  EXPECT_EQ(Stream(0)->codecpar->sample_rate, 44100);
  EXPECT_EQ(engine->AudioChannels, 2);
  EXPECT_EQ(engine->AudioChannelLayout, int64_t(AV_CH_LAYOUT_STEREO));

  engine->ResetOptions();
  engine->ApplyOption("f", "s16le");
  engine->ApplyOption("ar", "22050");
  engine->ApplyOption("ac", "1");
  ASSERT_NO_THROW(engine->OpenInputFile(raw));
  EXPECT_EQ(Stream(0)->codecpar->sample_rate, 22050);
  EXPECT_EQ(Stream(0)->codecpar->ch_layout.nb_channels, 1);
  EXPECT_EQ(engine->AudioSampleRate, 22050);
  EXPECT_EQ(engine->AudioChannels, 1);
  EXPECT_EQ(engine->AudioSampleFmt, AV_SAMPLE_FMT_S16);
  EXPECT_NEAR(engine->RecordingTimeMs, 1000, 1);
}

class InputStartTime : public InputFile {
 protected:
  // 13 s starting at 1.4 s, a key frame every 0.2 s.
  std::string File() {
    return Fixture(
        "in_offset.mkv",
        "-f lavfi -i testsrc=size=64x48:rate=25:duration=13 -c:v mpeg4 -g 5 -output_ts_offset 1.4");
  }
  int64_t FirstPacketTime() {
    TPacketPtr packet(FF.av_packet_alloc());
    EXPECT_GE(FF.av_read_frame(Context(), packet.get()), 0);
    return FF.av_rescale_q(packet->pts, Stream(0)->time_base, AVRational{1, 1000000});
  }
};

TEST_F(InputStartTime, WithoutStartTheOffsetCancelsTheInputsStart) {
  ASSERT_NO_THROW(engine->OpenInputFile(File()));
  ASSERT_EQ(Context()->start_time, 1400000);
  EXPECT_EQ(engine->InputFilesTsOffset[0], -1400000);
  EXPECT_EQ(engine->InputFilesCutTime[0], INT64_MIN);
  EXPECT_EQ(FirstPacketTime(), 1400000);
}

TEST_F(InputStartTime, AStartTimeSeeksBackwardFromInputStartPlusStart) {
  engine->ApplyOption("itsoffset", "2");
  engine->ApplyOption("ss", "10");
  ASSERT_EQ(engine->StartTime, 10000000);
  ASSERT_NO_THROW(engine->OpenInputFile(File()));
  EXPECT_EQ(engine->StartTime, 0);
  EXPECT_EQ(engine->InputFilesTsOffset[0], 2000000 - 11400000);
  // What is decoded before the start, which lies at the input's offset, is not encoded.
  EXPECT_EQ(engine->InputFilesCutTime[0], 2000000);
  // The key frame at or before 11.4 s.
  int64_t first = FirstPacketTime();
  EXPECT_LE(first, 11400000);
  EXPECT_GE(first, 11200000);
}

TEST_F(InputStartTime, CopyTsKeepsTheOffsetAsGiven) {
  engine->ApplyOption("copyts", "1");
  engine->ApplyOption("itsoffset", "2");
  engine->ApplyOption("ss", "10");
  ASSERT_NO_THROW(engine->OpenInputFile(File()));
  EXPECT_EQ(engine->InputFilesTsOffset[0], 2000000);
  EXPECT_EQ(engine->InputFilesCutTime[0], INT64_MIN);
}

TEST_F(InputFile, AMissingFileConsumesThePerInputOptions) {
  engine->ApplyOption("f", "matroska");
  engine->SetOutputFormat("avi");
  engine->ApplyOption("vcodec", "mpeg4");
  engine->ApplyOption("acodec", "mp2");
  engine->ApplyOption("scodec", "ass");
  engine->ApplyOption("vc", "3");
  engine->ApplyOption("ss", "5");
  std::string missing = tmp_ / "missing.mkv";
  EXPECT_EQ(EngineFailure([&] { engine->OpenInputFile(missing); }), missing + ": no such file or directory");
  EXPECT_EQ(engine->NbInputFiles, 0);
  EXPECT_EQ(engine->ForcedInputFormat, nullptr);
  EXPECT_EQ(engine->ForcedOutputFormat, nullptr);
  EXPECT_EQ(engine->VideoCodecName, "");
  EXPECT_EQ(engine->AudioCodecName, "");
  EXPECT_EQ(engine->SubtitleCodecName, "");
  EXPECT_EQ(engine->VideoChannel, 0);
  EXPECT_EQ(engine->StartTime, 0);
  // The next input is opened without them.
  EXPECT_NO_THROW(engine->OpenInputFile(ShortFixture()));
  EXPECT_EQ(engine->NbInputFiles, 1);
}

struct TBadCodec {
  const char* option;
  const char* name;
  const char* message;
};

void PrintTo(const TBadCodec& c, std::ostream* os) { *os << c.option << " " << c.name; }

class InputCodecNames : public InputFile, public ::testing::WithParamInterface<TBadCodec> {};

TEST_P(InputCodecNames, FailWithTheirTextAndAreConsumed) {
  engine->ApplyOption(GetParam().option, GetParam().name);
  EXPECT_EQ(EngineFailure([&] { engine->OpenInputFile(AvFixture()); }), GetParam().message);
  EXPECT_EQ(engine->NbInputFiles, 0);
  EXPECT_EQ(engine->VideoCodecName + engine->AudioCodecName + engine->SubtitleCodecName, "");
}

INSTANTIATE_TEST_SUITE_P(Messages, InputCodecNames,
                         ::testing::Values(TBadCodec{"vcodec", "nonesuch", "Unknown decoder 'nonesuch'"},
                                           TBadCodec{"acodec", "nonesuch", "Unknown decoder 'nonesuch'"},
                                           TBadCodec{"scodec", "nonesuch", "Unknown decoder 'nonesuch'"},
                                           TBadCodec{"vcodec", "mp2", "Invalid decoder type 'mp2'"},
                                           TBadCodec{"acodec", "mpeg4", "Invalid decoder type 'mpeg4'"},
                                           TBadCodec{"scodec", "mp2", "Invalid decoder type 'mp2'"}),
                         [](const auto& info) {
                           return std::string(info.param.option) + "_" + info.param.name;
                         });

TEST_F(InputFile, ForcedDecodersFillTheSlotsAndPrepareTheDecoderContexts) {
  engine->ApplyOption("vcodec", "mpeg4");
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  ASSERT_EQ(engine->NbInputCodecs(), 2);
  ASSERT_NE(engine->InputCodecs[0], nullptr);
  EXPECT_STREQ(engine->InputCodecs[0]->name, "mpeg4");
  EXPECT_EQ(engine->InputCodecs[1], nullptr);
  EXPECT_EQ(Context()->video_codec, engine->InputCodecs[0]);
  EXPECT_EQ(Context()->video_codec_id, AV_CODEC_ID_MPEG4);

  const TInputFile& file = engine->InputFiles[0];
  ASSERT_EQ(file.Streams.size(), 2u);
  EXPECT_EQ(file.Streams[0].ForcedDecoder, engine->InputCodecs[0]);
  ASSERT_TRUE(file.Streams[0].Decoder);
  EXPECT_EQ(file.Streams[0].Decoder->codec_id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(file.Streams[0].Decoder->width, 320);
  ASSERT_TRUE(file.Streams[1].Decoder);
  EXPECT_EQ(file.Streams[1].Decoder->codec_id, AV_CODEC_ID_MP2);
  EXPECT_EQ(file.Streams[1].Decoder->sample_rate, 44100);
}

TEST_F(InputFile, DecodingOptionsReachTheDecoderContexts) {
  ASSERT_TRUE(engine->SetGenericOption("skip_loop_filter", "all"));  // a video decoding option
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  EXPECT_EQ(engine->InputFiles[0].Streams[0].Decoder->skip_loop_filter, AVDISCARD_ALL);
  EXPECT_EQ(engine->InputFiles[0].Streams[1].Decoder->skip_loop_filter, AVDISCARD_DEFAULT);
}

TEST_F(InputFile, TheOptionStateTakesTheAspectRatioOfA720x576Stream) {
  struct {
    const char* name;
    const char* sar;
    float aspect;
  } cases[] = {{"in_pal_sar0.nut", "0", 1.25f}, {"in_pal_sar16.nut", "16/15", 1.3333334f}};
  for (const auto& c : cases) {
    std::string file =
        Fixture(c.name, std::string("-f lavfi -i testsrc=size=720x576:rate=25:duration=0.08 -vf setsar=") +
                            c.sar + " -c:v rawvideo -pix_fmt yuv420p");
    engine->ResetOptions();
    ASSERT_NO_THROW(engine->OpenInputFile(file));
    EXPECT_EQ(engine->FrameWidth, 720) << c.name;
    EXPECT_EQ(engine->FrameHeight, 576) << c.name;
    EXPECT_FLOAT_EQ(engine->FrameAspectRatio, c.aspect) << c.name;
    EXPECT_EQ(engine->FramePixFmt, AV_PIX_FMT_YUV420P) << c.name;
    EXPECT_EQ(engine->FrameRate.num, 25) << c.name;
    EXPECT_EQ(engine->FrameRate.den, 1) << c.name;
  }
}

TEST_F(InputFile, TheOptionStateTakesTheAudioParameters) {
  ASSERT_NO_THROW(engine->OpenInputFile(
      Fixture("in_tone_48k.wav", "-f lavfi -i sine=duration=1:sample_rate=48000 -ac 1 -c:a pcm_s32le")));
  EXPECT_EQ(engine->AudioSampleRate, 48000);
  EXPECT_EQ(engine->AudioChannels, 1);
  EXPECT_EQ(engine->AudioChannelLayout, int64_t(AV_CH_LAYOUT_MONO));
  EXPECT_EQ(engine->AudioSampleFmt, AV_SAMPLE_FMT_S32);
}

TEST_F(InputFile, AFrameRateMismatchIsReportedOnlyWhenVerbose) {
  // Every third frame of 25 fps dropped: 17 frames a second on average, 25 fps timestamps.
  std::string vfr = Fixture("in_vfr.mp4",
                            "-f lavfi -i testsrc=size=64x48:rate=25:duration=2 "
                            "-vf select='not(eq(mod(n\\,3)\\,2))' -fps_mode vfr -c:v mpeg4");
  const std::string prefix = "Seems stream 0 codec frame rate differs from container frame rate: ";
  CaptureLog();
  engine->SetVerbose(1);
  ASSERT_NO_THROW(engine->OpenInputFile(vfr));
  ASSERT_EQ(LoggedCount(prefix), 1);
  for (const TLogLine& l : log)
    if (l.Text.rfind(prefix, 0) == 0) {
      EXPECT_EQ(l.Level, 1);
      EXPECT_EQ(l.Text, prefix + "17.00 (17/1) -> 25.00 (25/1)");
    }
  EXPECT_EQ(engine->FrameRate.num, 25);
  EXPECT_EQ(engine->FrameRate.den, 1);
  // Target-norm detection sees the average rate.
  EXPECT_EQ(engine->InputStreamParams[0][0].CodecTimeBase.num, 1);
  EXPECT_EQ(engine->InputStreamParams[0][0].CodecTimeBase.den, 17);

  log.clear();
  engine->ResetOptions();
  CaptureLog();
  engine->SetVerbose(0);
  ASSERT_NO_THROW(engine->OpenInputFile(vfr));
  EXPECT_EQ(LoggedCount(prefix), 0);
  EXPECT_EQ(engine->FrameRate.num, 25);

  engine->ResetOptions();
  engine->SetVerbose(1);
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  EXPECT_EQ(LoggedCount("Seems stream"), 0);
}

TEST_F(InputFile, DataStreamsGetNoDecoderSlot) {
  std::string mov = Fixture("in_timecode.mov",
                            "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                            "-c:v mpeg4 -c:a aac -timecode 00:00:00:00");
  ASSERT_NO_THROW(engine->OpenInputFile(mov));
  ASSERT_EQ(Context()->nb_streams, 3u);
  ASSERT_EQ(Stream(2)->codecpar->codec_type, AVMEDIA_TYPE_DATA);
  EXPECT_EQ(engine->NbInputCodecs(), 2);
  ASSERT_EQ(engine->InputFiles[0].Streams.size(), 3u);
  EXPECT_FALSE(engine->InputFiles[0].Streams[2].Decoder);
  ASSERT_EQ(engine->InputStreamParams.size(), 1u);
  EXPECT_EQ(engine->InputStreamParams[0].size(), 3u);
}

TEST_F(InputFile, RecordingTimeRisesToTheLongestInput) {
  ASSERT_EQ(engine->RecordingTimeMs, -1);
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  int64_t longest = Context()->duration / 1000;
  EXPECT_NEAR(longest, 2000, 100);
  EXPECT_EQ(engine->RecordingTimeMs, longest);
  ASSERT_NO_THROW(engine->OpenInputFile(ShortFixture()));
  EXPECT_EQ(engine->NbInputFiles, 2);
  EXPECT_EQ(engine->RecordingTimeMs, longest);
  ASSERT_EQ(engine->InputStreamParams.size(), 2u);
}

TEST_F(InputFile, DisableFlagsAndDiscardLevelsMarkTheStreams) {
  engine->ApplyOption("vn", "1");
  engine->ApplyOption("an", "1");
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  EXPECT_EQ(Stream(0)->discard, AVDISCARD_ALL);
  EXPECT_EQ(Stream(1)->discard, AVDISCARD_ALL);

  engine->ResetOptions();
  engine->ApplyOption("vdt", "8");
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  EXPECT_EQ(Stream(0)->discard, AVDISCARD_NONREF);
  EXPECT_EQ(Stream(1)->discard, AVDISCARD_DEFAULT);
}

TEST_F(InputFile, AProgramIdDiscardsTheOtherPrograms) {
  std::string ts =
      Fixture("in_two_programs.ts",
              "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -f lavfi -i sine=duration=1 -map 0 "
              "-map 1 -c:v mpeg2video -c:a mp2 -program program_num=1:st=0 -program program_num=2:st=1");
  engine->SetProgramID(2);
  ASSERT_NO_THROW(engine->OpenInputFile(ts));
  ASSERT_EQ(Context()->nb_programs, 2u);
  for (unsigned i = 0; i < 2; ++i) {
    const AVProgram* p = Context()->programs[i];
    if (p->id == 2)
      EXPECT_NE(p->discard, AVDISCARD_ALL);
    else
      EXPECT_EQ(p->discard, AVDISCARD_ALL) << p->id;
  }
}

TEST_F(InputFile, TheFormatIsDescribedToTheLibraryLogUnlessQuiet) {
  {
    TLibraryLogCapture capture;
    engine->SetVerbose(0);
    ASSERT_NO_THROW(engine->OpenInputFile(ShortFixture()));
    bool described = false;
    for (const TLogLine& l : capture.Lines())
      described = described || l.Text.rfind("Input #0, matroska", 0) == 0;
    EXPECT_TRUE(described);
  }
  engine->ResetOptions();
  TLibraryLogCapture capture;
  engine->SetVerbose(-1);
  ASSERT_NO_THROW(engine->OpenInputFile(ShortFixture()));
  for (const TLogLine& l : capture.Lines()) EXPECT_NE(l.Text.rfind("Input #", 0), 0u) << l.Text;
}

TEST_F(InputFile, StreamTypesOfTheOpenedInputs) {
  bool v = true, a = true, s = true;
  engine->CheckInputStreamTypes(v, a, s);
  EXPECT_FALSE(v || a || s);
  ASSERT_NO_THROW(engine->OpenInputFile(ShortFixture()));
  engine->CheckInputStreamTypes(v, a, s);
  EXPECT_TRUE(v);
  EXPECT_FALSE(a || s);
  ASSERT_NO_THROW(engine->OpenInputFile(AvFixture()));
  engine->CheckInputStreamTypes(v, a, s);
  EXPECT_TRUE(v && a);
  EXPECT_FALSE(s);
}

TEST_F(InputFile, AtMostTwentyInputs) {
  for (int i = 0; i < MaxFiles; ++i) ASSERT_NO_THROW(engine->OpenInputFile(ShortFixture())) << i;
  engine->ApplyOption("vcodec", "mpeg4");
  EXPECT_EQ(EngineFailure([&] { engine->OpenInputFile(ShortFixture()); }),
            "Too many input files: at most 20 are allowed");
  EXPECT_EQ(engine->NbInputFiles, MaxFiles);
  EXPECT_EQ(engine->VideoCodecName, "");
}

TEST_F(InputFile, ANameOutsideTheCodePageIsReadThroughTheUnicodeStream) {
  std::string path = tmp_ / "源\xF0\x9F\x98\x80.mkv";  // U+1F600 is not in CP936
  std::filesystem::copy_file(AvFixture(), path);
  CodePageScope cp936(TCodePage::Cp936);
  ASSERT_NO_THROW(engine->OpenInputFile(path));
  EXPECT_TRUE(IsUnicodeIO(Context()->pb));
  EXPECT_EQ(engine->InputFiles[0].FileName, path);
  EXPECT_EQ(Context()->nb_streams, 2u);
  EXPECT_EQ(engine->FrameWidth, 320);
  // A missing name of that kind reports the wide name.
  std::string missing = tmp_ / "无\xF0\x9F\x98\x80.mkv";
  EXPECT_EQ(EngineFailure([&] { engine->OpenInputFile(missing); }), missing + ": no such file or directory");
}

}  // namespace
}  // namespace ok::test
