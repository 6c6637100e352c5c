// Output file and stream creation over the real libraries: formats guessed from the file names
// with their default streams, the encoder contexts filled from the option state, every message
// OpenOutput and the builders can give, and the byte stream (also through the unicode I/O).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "output_file_test_support.h"

namespace ok::test {
namespace {

struct TContainer {
  const char* fileName;
  const char* format;
  AVCodecID video;
  AVCodecID audio;
};

void PrintTo(const TContainer& c, std::ostream* os) { *os << c.fileName; }

class OutputContainers : public OutputFile, public ::testing::WithParamInterface<TContainer> {};

TEST_P(OutputContainers, AreGuessedFromTheNameWithTheirDefaultStreams) {
  const TContainer& c = GetParam();
  OpenInput(AvFixture());
  std::string path = tmp_ / c.fileName;
  ASSERT_EQ(engine->OpenOutput(path), 1);
  EXPECT_EQ(engine->ForcedOutputFormat, nullptr);
  AVFormatContext* oc = Output().Context.get();
  EXPECT_STREQ(oc->oformat->name, c.format);
  ASSERT_EQ(oc->nb_streams, 2u);
  ASSERT_EQ(Output().Streams.size(), 2u);
  EXPECT_EQ(engine->NbOutputCodecs(), 2);
  EXPECT_EQ(engine->OutputCodecs[0], nullptr);  // not chosen by name

  const bool globalHeader = (oc->oformat->flags & AVFMT_GLOBALHEADER) != 0;
  AVCodecContext* v = Encoder(0);
  EXPECT_EQ(v->codec_type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(v->codec_id, c.video);
  ASSERT_NE(Output().Streams[0].Codec, nullptr);
  EXPECT_EQ(Output().Streams[0].Codec->id, c.video);
  EXPECT_EQ(v->width, 176);
  EXPECT_EQ(v->height, 144);
  EXPECT_EQ(v->time_base.num, 1);
  EXPECT_EQ(v->time_base.den, 25);
  EXPECT_EQ((v->flags & AV_CODEC_FLAG_GLOBAL_HEADER) != 0, globalHeader);
  EXPECT_EQ(oc->streams[0]->codecpar->codec_id, c.video);

  AVCodecContext* a = Encoder(1);
  EXPECT_EQ(a->codec_type, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(a->codec_id, c.audio);
  EXPECT_EQ(a->sample_rate, 44100);
  EXPECT_EQ(a->ch_layout.nb_channels, 1);
  EXPECT_EQ((a->flags & AV_CODEC_FLAG_GLOBAL_HEADER) != 0, globalHeader);

  // The file is open and still empty.
  EXPECT_EQ(FileSizeOf(path), 0);
  if (!Output().Streams[1].Codec) {
    // This build has no encoder for the 3GP default audio (AMR-NB): the setup will say so.
    EXPECT_EQ(c.audio, AV_CODEC_ID_AMR_NB);
    return;
  }
  ASSERT_TRUE(WriteShortFile(Output()));
  engine->ResetOptions();
  EXPECT_EQ(ProbeValue(path, "stream=codec_name", "v:0"), FF.avcodec_get_name(c.video));
  EXPECT_EQ(ProbeValue(path, "stream=codec_name", "a:0"), FF.avcodec_get_name(c.audio));
}

INSTANTIATE_TEST_SUITE_P(
    Offered, OutputContainers,
    ::testing::Values(TContainer{"out.avi", "avi", AV_CODEC_ID_MPEG4, AV_CODEC_ID_MP3},
                      TContainer{"out.mp4", "mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC},
                      TContainer{"out.3gp", "3gp", AV_CODEC_ID_H263, AV_CODEC_ID_AMR_NB},
                      TContainer{"out.mkv", "matroska", AV_CODEC_ID_H264, AV_CODEC_ID_VORBIS},
                      TContainer{"out.flv", "flv", AV_CODEC_ID_FLV1, AV_CODEC_ID_MP3},
                      TContainer{"out.wmv", "asf", AV_CODEC_ID_MSMPEG4V3, AV_CODEC_ID_WMAV2},
                      TContainer{"out.mpeg", "mpeg", AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MP2},
                      TContainer{"out.mov", "mov", AV_CODEC_ID_H264, AV_CODEC_ID_AAC},
                      // RealMedia takes only RV10/RV20 video and AC-3 audio; both defaults encode.
                      TContainer{"out.rm", "rm", AV_CODEC_ID_RV10, AV_CODEC_ID_AC3}),
    [](const auto& info) { return std::string(info.param.fileName).substr(4); });

TEST_F(OutputFile, TheStreamsFollowTheInputsKinds) {
  OpenInput(VideoOnlyFixture());
  ASSERT_EQ(engine->OpenOutput(tmp_ / "video.mp4"), 1);
  ASSERT_EQ(Output().Streams.size(), 1u);
  EXPECT_EQ(Encoder(0)->codec_type, AVMEDIA_TYPE_VIDEO);

  // Without inputs only the format decides; a subtitle stream also needs a named codec then, since
  // no source says how subtitles would go in.
  engine->ResetOptions();
  ASSERT_EQ(engine->OpenOutput(tmp_ / "all.mkv"), 1);
  ASSERT_EQ(Output().Streams.size(), 2u);

  engine->ResetOptions();
  engine->ApplyOption("scodec", "ass");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "named.mkv"), 1);
  ASSERT_NE(Output().Streams[2].Codec, nullptr);
  EXPECT_STREQ(Output().Streams[2].Codec->name, "ass");
  EXPECT_EQ(engine->OutputCodecs[2], Output().Streams[2].Codec);
  EXPECT_EQ(engine->SubtitleCodecName, "");
}

struct TSubtitleCase {
  const char* format;
  AVCodecID source;
  decltype(TSubtitleCarriage::How) how;
  const char* encoder;  // for Convert
};

TEST_F(OutputFile, SubtitlesGoInAsTheContainerTakesThemOrAsItsText) {
  constexpr auto Copy = TSubtitleCarriage::Copy, Convert = TSubtitleCarriage::Convert,
                 Leave = TSubtitleCarriage::Leave;
  const std::vector<TSubtitleCase> cases = {
      {"mp4", AV_CODEC_ID_MOV_TEXT, Copy, ""},
      {"mp4", AV_CODEC_ID_SUBRIP, Convert, "mov_text"},
      {"mp4", AV_CODEC_ID_ASS, Convert, "mov_text"},
      {"mp4", AV_CODEC_ID_DVD_SUBTITLE, Leave, ""},
      {"mp4", AV_CODEC_ID_HDMV_PGS_SUBTITLE, Leave, ""},
      {"mov", AV_CODEC_ID_SUBRIP, Convert, "mov_text"},
      {"matroska", AV_CODEC_ID_SUBRIP, Copy, ""},
      {"matroska", AV_CODEC_ID_ASS, Copy, ""},
      {"matroska", AV_CODEC_ID_MOV_TEXT, Convert, "ass"},
      {"matroska", AV_CODEC_ID_DVD_SUBTITLE, Copy, ""},
      {"matroska", AV_CODEC_ID_HDMV_PGS_SUBTITLE, Copy, ""},
      {"webm", AV_CODEC_ID_WEBVTT, Copy, ""},
      {"webm", AV_CODEC_ID_SUBRIP, Convert, "webvtt"},
      {"webm", AV_CODEC_ID_DVD_SUBTITLE, Leave, ""},
      {"avi", AV_CODEC_ID_SUBRIP, Leave, ""},
      {"mpegts", AV_CODEC_ID_SUBRIP, Leave, ""},
  };
  for (const TSubtitleCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " " + FF.avcodec_get_name(c.source));
    const AVOutputFormat* format = FF.av_guess_format(c.format, nullptr, nullptr);
    ASSERT_NE(format, nullptr);
    const TSubtitleCarriage plan = PlanSubtitleCarriage(format, c.source);
    EXPECT_EQ(plan.How, c.how);
    EXPECT_STREQ(plan.Encoder ? plan.Encoder->name : "", c.encoder);
  }
}

TEST_F(OutputFile, AudioAndVideoCanBeSwitchedOff) {
  OpenInput(AvFixture());
  engine->ApplyOption("an", "1");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "silent.avi"), 1);
  ASSERT_EQ(Output().Streams.size(), 1u);
  EXPECT_EQ(Encoder(0)->codec_type, AVMEDIA_TYPE_VIDEO);

  engine->ResetOptions();
  OpenInput(AvFixture());
  engine->ApplyOption("vn", "1");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "audio1.avi"), 1);
  ASSERT_EQ(Output(0).Streams.size(), 1u);
  EXPECT_EQ(Encoder(0)->codec_type, AVMEDIA_TYPE_AUDIO);
  // Only the video builder clears the flag: the next output of the task has no video either.
  EXPECT_TRUE(engine->VideoDisable);
  ASSERT_EQ(engine->OpenOutput(tmp_ / "audio2.avi"), 2);
  ASSERT_EQ(Output(1).Streams.size(), 1u);
  EXPECT_EQ(Encoder(0, 1)->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST_F(OutputFile, CropAndPadRefuseFiltersThatCollideWithThem) {
  OpenInput(AvFixture());
  engine->ApplyOption("vfilters", "hflip");
  engine->ApplyOption("croptop", "8");
  engine->ApplyOption("f", "avi");
  std::string path = tmp_ / "crop.avi";
  EXPECT_EQ(EngineFailure([&] { engine->OpenOutput(path); }),
            "Cannot enable crop options and filters at the same time.");
  EXPECT_EQ(engine->NbOutputFiles, 0);
  EXPECT_EQ(engine->ForcedOutputFormat, nullptr);
  EXPECT_FALSE(fs::exists(path));

  const std::string padMessage =
      "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, scale, "
      "transpose, etc.)";
  engine->ResetOptions();
  OpenInput(AvFixture());
  engine->ApplyOption("vfilters", "scale=88:72,hflip");
  engine->ApplyOption("padtop", "8");
  EXPECT_EQ(EngineFailure([&] { engine->OpenOutput(tmp_ / "pad.avi"); }), padMessage);

  engine->ResetOptions();
  OpenInput(AvFixture());
  engine->ApplyOption("vfilters", "hflip,vflip");
  engine->ApplyOption("padtop", "8");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "pad.avi"), 1);
  EXPECT_TRUE(engine->UseVideoFilters);
  EXPECT_EQ(Encoder(0)->height, 144 + 8);
}

TEST(ResizingFilters, AreFoundByTheirNamesInTheChain) {
  EXPECT_FALSE(HasResizingFilter(""));
  EXPECT_FALSE(HasResizingFilter("hflip,vflip"));
  EXPECT_FALSE(HasResizingFilter("scaler"));
  EXPECT_FALSE(HasResizingFilter("drawtext=text=scale"));
  EXPECT_TRUE(HasResizingFilter("scale=320:240"));
  EXPECT_TRUE(HasResizingFilter("hflip,Transpose=1"));
  EXPECT_TRUE(HasResizingFilter("CROP=10:10:0:0"));
  EXPECT_TRUE(HasResizingFilter("hflip,rotate"));
}

struct TOutputFailure {
  const char* name;
  std::vector<std::pair<const char*, const char*>> options;
  const char* fileName;  // in the test folder
  // The message, "%s" standing for the path.
  std::string message;
};

void PrintTo(const TOutputFailure& f, std::ostream* os) { *os << f.name; }

class OutputFailures : public OutputFile, public ::testing::WithParamInterface<TOutputFailure> {};

TEST_P(OutputFailures, LeaveTheirTextAndNothingBuilt) {
  const TOutputFailure& f = GetParam();
  for (const auto& [name, value] : f.options) engine->ApplyOption(name, value);
  std::string path = tmp_ / f.fileName;
  std::string expected = f.message;
  if (size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, path);
  EXPECT_EQ(EngineFailure([&] { engine->OpenOutput(path); }), expected);
  EXPECT_EQ(engine->NbOutputFiles, 0);
  EXPECT_EQ(engine->NbOutputCodecs(), 0);
  EXPECT_EQ(engine->ForcedOutputFormat, nullptr);
  EXPECT_EQ(engine->ForcedInputFormat, nullptr);
  EXPECT_EQ(engine->VideoCodecName + engine->AudioCodecName + engine->SubtitleCodecName, "");
  EXPECT_FALSE(fs::exists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OutputFailures,
    ::testing::Values(
        TOutputFailure{"unknown_format", {}, "out.xyz", "Unable to find a suitable output format for '%s'"},
        TOutputFailure{"no_folder", {}, "missing/out.avi", "Could not open '%s'"},
        TOutputFailure{
            "frame_number_needed", {{"f", "webm_chunk"}}, "out.chk", OpenErrorText("%s", AVERROR(EDOM))},
        TOutputFailure{"unknown_video_encoder",
                       {{"vcodec", "nonesuch"}},
                       "out.avi",
                       "new_video_stream fail: Unknown encoder 'nonesuch'"},
        TOutputFailure{"audio_encoder_as_video",
                       {{"vcodec", "mp2"}},
                       "out.avi",
                       "new_video_stream fail: Invalid encoder type 'mp2'"},
        TOutputFailure{"unknown_audio_encoder",
                       {{"acodec", "nonesuch"}, {"vcodec", "mpeg4"}},
                       "out.avi",
                       "new_audio_stream fail: Unknown encoder 'nonesuch'"},
        TOutputFailure{"video_encoder_as_audio",
                       {{"acodec", "mpeg4"}},
                       "out.avi",
                       "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
        TOutputFailure{"unknown_subtitle_encoder",
                       {{"scodec", "nonesuch"}, {"vcodec", "mpeg4"}, {"acodec", "mp2"}},
                       "out.mkv",
                       "new_subtitle_stream fail: Unknown encoder 'nonesuch'"},
        TOutputFailure{"video_encoder_as_subtitle",
                       {{"scodec", "mpeg4"}},
                       "out.mkv",
                       "new_subtitle_stream fail: Invalid encoder type 'mpeg4'"},
        TOutputFailure{"rc_override_single_number",
                       {{"rc_override", "10"}},
                       "out.avi",
                       "new_video_stream fail: error parsing rc_override"},
        TOutputFailure{"rc_override_two_numbers",
                       {{"rc_override", "0,100,2/1,2"}},
                       "out.avi",
                       "new_video_stream fail: error parsing rc_override"},
        TOutputFailure{"rc_override_not_numbers",
                       {{"rc_override", "a,b,c"}},
                       "out.avi",
                       "new_video_stream fail: error parsing rc_override"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OutputFile, AFailedOutputReleasesItsStreamsAndKeepsTheEncoderTableAligned) {
  engine->ApplyOption("vcodec", "mpeg4");
  engine->ApplyOption("acodec", "mp2");
  engine->ApplyOption("scodec", "nonesuch");
  ASSERT_THROW(engine->OpenOutput(tmp_ / "failed.mkv"), FFmpegException);
  EXPECT_EQ(engine->NbOutputCodecs(), 0);

  engine->ApplyOption("vcodec", "msmpeg4v2");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "good.avi"), 1);
  ASSERT_EQ(engine->NbOutputCodecs(), 2);
  ASSERT_NE(engine->OutputCodecs[0], nullptr);
  EXPECT_STREQ(engine->OutputCodecs[0]->name, "msmpeg4v2");
  EXPECT_EQ(engine->OutputCodecs[1], nullptr);
}

TEST_F(OutputFile, AnInputIsNeverTheOutput) {
  std::string input = tmp_ / "source.avi";
  fs::copy_file(AvFixture(), input);
  const std::string before = ReadAll(input);
  OpenInput(input);
  EXPECT_EQ(EngineFailure([&] { engine->OpenOutput(input); }),
            "Output file '" + input + "' is input file #0; an input is never overwritten");
  EXPECT_EQ(engine->NbOutputFiles, 0);

  // Another name of the same file.
  std::string link = tmp_ / "link.avi";
  fs::create_hard_link(input, link);
  EXPECT_EQ(EngineFailure([&] { engine->OpenOutput(link); }),
            "Output file '" + link + "' is input file #0; an input is never overwritten");
  engine->ResetOptions();
  EXPECT_EQ(ReadAll(input), before);

  OpenInput(input);
  EXPECT_EQ(engine->OpenOutput(tmp_ / "other.avi"), 1);
}

TEST_F(OutputFile, AnEmptyOutputIsDeletedWhenTheTaskIsReleased) {
  std::string empty = tmp_ / "empty.avi";
  ASSERT_EQ(engine->OpenOutput(empty), 1);
  EXPECT_TRUE(fs::exists(empty));
  engine->ResetOptions();
  EXPECT_FALSE(fs::exists(empty));

  std::string written = tmp_ / "written.avi";
  OpenInput(AvFixture());
  ASSERT_EQ(engine->OpenOutput(written), 1);
  ASSERT_TRUE(WriteShortFile(Output()));
  engine.reset();  // the destructor releases the same way
  EXPECT_GT(FileSizeOf(written), 0);

  // An empty file this engine did not create stays.
  engine = std::make_unique<TEngineTestAccess>();
  engine->ResetOptions();
  std::string foreign = tmp_ / "foreign.avi";
  std::ofstream{foreign};
  engine->ApplyOption("vcodec", "nonesuch");
  EXPECT_THROW(engine->OpenOutput(foreign), FFmpegException);
  engine->ResetOptions();
  EXPECT_TRUE(fs::exists(foreign));
}

TEST_F(OutputFile, TheBuildersConsumeTheirStreamOptions) {
  OpenInput(AvFixture());
  engine->ApplyOption("vcodec", "copy");
  engine->ApplyOption("alang", "chi");
  engine->ApplyOption("absf", "aac_adtstoasc");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "consumed.mkv"), 1);
  EXPECT_FALSE(engine->VideoStreamCopy);
  EXPECT_EQ(engine->AudioLanguage, "");
  EXPECT_TRUE(engine->AudioBitstreamFilters.empty());
  const AVDictionaryEntry* language =
      FF.av_dict_get(Output().Streams[1].Stream->metadata, "language", nullptr, 0);
  ASSERT_NE(language, nullptr);
  EXPECT_STREQ(language->value, "chi");
  EXPECT_EQ(Output().Streams[1].BitstreamFilters.size(), 1u);
  EXPECT_TRUE(Output().Streams[0].StreamCopy);
  EXPECT_FALSE(Output().Streams[1].StreamCopy);
}

TEST_F(OutputFile, MetadataPairsAreWrittenLastAddedFirst) {
  engine->ApplyOption("metadata", "title=A");
  engine->AddMetadata("title", "B");
  engine->AddMetadata("artist", "C");
  engine->SetRecTimestamp(1577934245);
  ASSERT_EQ(engine->OpenOutput(tmp_ / "tags.mkv"), 1);
  EXPECT_EQ(engine->MetadataCount(), 0);
  const AVDictionary* tags = Output().Context->metadata;
  // B is written first, A last, so A is what remains under the key.
  EXPECT_STREQ(FF.av_dict_get(tags, "title", nullptr, 0)->value, "A");
  EXPECT_STREQ(FF.av_dict_get(tags, "artist", nullptr, 0)->value, "C");
  EXPECT_STREQ(FF.av_dict_get(tags, "creation_time", nullptr, 0)->value, "2020-01-02T03:04:05.000000Z");
}

TEST_F(OutputFile, MuxerSettingsReachTheMuxer) {
  OpenInput(AvFixture());
  engine->ApplyOption("muxpreload", "0.3");
  engine->ApplyOption("muxdelay", "0.2");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "mux.mpeg"), 1);
  int64_t preload = 0;
  ASSERT_GE(FF.av_opt_get_int(Output().Context->priv_data, "preload", 0, &preload), 0);
  EXPECT_EQ(preload, 300000);
  EXPECT_EQ(Output().Context->max_delay, 200000);
  ASSERT_TRUE(WriteShortFile(Output()));
}

TEST_F(OutputFile, StreamOptionsAddStreamsToTheLastOutput) {
  OpenInput(AvFixture());
  ASSERT_EQ(engine->OpenOutput(tmp_ / "more.mkv"), 1);
  engine->ApplyOption("acodec", "mp2");
  engine->ApplyOptionLines("newaudio=\nvcodec=nonesuch\n", 1);  // pass 1 applies only the stream lines
  ASSERT_EQ(Output().Streams.size(), 3u);
  ASSERT_EQ(engine->NbOutputCodecs(), 3);
  EXPECT_STREQ(engine->OutputCodecs[2]->name, "mp2");
  EXPECT_EQ(Output().Streams[2].Encoder->codec_id, AV_CODEC_ID_MP2);

  // A builder that fails adds no stream.
  engine->ApplyOption("vcodec", "nonesuch");
  try {
    engine->ApplyOption("newvideo", "");
    ADD_FAILURE() << "no exception";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown encoder 'nonesuch'");
  }
  EXPECT_EQ(Output().Context->nb_streams, 3u);
  EXPECT_EQ(engine->VideoCodecName, "");
  engine->ApplyOption("newvideo", "");
  engine->ApplyOption("newsubtitle", "");
  EXPECT_EQ(Output().Context->nb_streams, 5u);

  while (Output().Context->nb_streams < unsigned(MaxStreams)) engine->ApplyOption("newaudio", "");
  try {
    engine->ApplyOption("newaudio", "");
    ADD_FAILURE() << "no exception";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Could not alloc stream");
  }
  EXPECT_EQ(Output().Context->nb_streams, unsigned(MaxStreams));
  EXPECT_EQ(Output().Streams.size(), size_t(MaxStreams));
  EXPECT_EQ(engine->NbOutputCodecs(), MaxStreams);
}

TEST_F(OutputFile, NamesOutsideTheCodePageGoThroughTheUnicodeStreamBothWays) {
  const std::string smiley = "\xF0\x9F\x98\x80";  // not in CP936
  std::string input = tmp_ / ("源" + smiley + ".mkv");
  std::string output = tmp_ / ("输出" + smiley + ".avi");
  fs::copy_file(AvFixture(), input);
  CodePageScope cp936(TCodePage::Cp936);
  OpenInput(input);
  EXPECT_TRUE(IsUnicodeIO(engine->InputFiles[0].Context->pb));
  ASSERT_EQ(engine->OpenOutput(output), 1);
  EXPECT_TRUE(IsUnicodeIO(Output().Context->pb));
  EXPECT_STREQ(Output().Context->oformat->name, "avi");
  ASSERT_TRUE(WriteShortFile(Output()));
  engine->ResetOptions();
  EXPECT_EQ(ProbeValue(output, "stream=codec_name", "v:0"), "mpeg4");
  EXPECT_EQ(ProbeValue(output, "stream=codec_name", "a:0"), "mp3");
}

TEST_F(OutputFile, AtMostTwentyOutputs) {
  for (int i = 0; i < MaxFiles; ++i)
    ASSERT_EQ(engine->OpenOutput(tmp_ / ("o" + std::to_string(i) + ".avi")), i + 1);
  EXPECT_EQ(EngineFailure([&] { engine->OpenOutput(tmp_ / "o20.avi"); }),
            "Too many output files: at most 20 are allowed");
}

}  // namespace
}  // namespace ok::test
