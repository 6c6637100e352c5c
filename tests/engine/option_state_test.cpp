// The option state after each option and named setter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <thread>

#include "engine/ffmpeg_exception.h"
#include "engine/run/log_levels.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

using OptionState = EngineTest;

TEST_F(OptionState, ResetRestoresTheDefaultsAndFreshContexts) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("s", "640x480");
  e.ApplyOption("croptop", "10");
  e.ApplyOption("vcodec", "copy");
  e.ApplyOption("acodec", "mp2");
  e.ApplyOption("intra_matrix", Numbers(64));
  e.ApplyOption("map", "0.1");
  e.ApplyOption("map_meta_data", "0:0");
  e.ApplyOption("metadata", "title=x");
  e.ApplyOption("vbsf", "h264_mp4toannexb");
  e.ApplyOption("g", "30");
  e.ApplyOption("flags", "+scan_offset");
  e.ApplyOption("alang", "eng");
  e.ApplyOption("t", "5");
  e.ApplyOption("itsscale", "1:2.0");
  e.NbInputFiles = 1;
  e.InputStreamParams.push_back({{AVMEDIA_TYPE_VIDEO, {1, 25}}});
  e.Finished = true;
  e.StopRequested = true;

  e.ResetOptions();

  EXPECT_EQ(e.FrameWidth, 0);
  EXPECT_EQ(e.FrameHeight, 0);
  EXPECT_EQ(e.CropTop, 0);
  EXPECT_FALSE(e.VideoStreamCopy);
  EXPECT_TRUE(e.AudioCodecName.empty());
  EXPECT_EQ(e.IntraMatrix, nullptr);
  EXPECT_EQ(e.NbStreamMaps, 0);
  EXPECT_EQ(e.NbMetaDataMaps, 0);
  EXPECT_EQ(e.MetadataCount(), 0);
  EXPECT_TRUE(e.VideoBitstreamFilters.empty());
  EXPECT_TRUE(e.AudioLanguage.empty());
  EXPECT_EQ(e.RecordingTime, INT64_MAX);
  EXPECT_EQ(e.RecordingTimeMs, -1);
  EXPECT_EQ(e.InputFilesTsScale[0][1], 0.0);
  EXPECT_EQ(e.NbInputFiles, 0);
  EXPECT_TRUE(e.InputStreamParams.empty());
  EXPECT_FALSE(e.Finished);
  EXPECT_FALSE(e.StopRequested);
  // New contexts with the library defaults, no recorded names, no private options.
  EXPECT_EQ(e.OptionContexts.OptionNameCount(), 0);
  EXPECT_EQ(CodecInt(MediaVideo, "g"), 12);
  EXPECT_EQ(e.OptionContexts.CodecPrivateOptions[MediaVideo].Count(), 0);
  int64_t swsFlags = 0;
  ASSERT_GE(FF.av_opt_get_int(e.OptionContexts.ScalerOptions.get(), "sws_flags", 0, &swsFlags), 0);
  EXPECT_EQ(swsFlags, SWS_BICUBIC);
}

TEST_F(OptionState, FlagOptionsAreTrueForEveryValueButZero) {
  struct Row {
    const char* name;
    bool TOptionState::*field;
  };
  const Row rows[] = {{"dump", &TOptionState::PktDump},
                      {"hex", &TOptionState::HexDump},
                      {"re", &TOptionState::RateEmu},
                      {"loop_input", &TOptionState::LoopInput},
                      {"shortest", &TOptionState::Shortest},
                      {"intra", &TOptionState::IntraOnly},
                      {"vn", &TOptionState::VideoDisable},
                      {"sameq", &TOptionState::SameQuality},
                      {"deinterlace", &TOptionState::Deinterlace},
                      {"psnr", &TOptionState::DoPsnr},
                      {"qphist", &TOptionState::QpHistogram},
                      {"force_fps", &TOptionState::ForceFps},
                      {"an", &TOptionState::AudioDisable},
                      {"sn", &TOptionState::SubtitleDisable},
                      {"isync", &TOptionState::InputSync}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    engine->ApplyOption(r.name, "");
    EXPECT_TRUE(engine.get()->*r.field);
    engine->ApplyOption(r.name, "0");
    EXPECT_FALSE(engine.get()->*r.field);
    engine->ApplyOption(r.name, "00");
    EXPECT_TRUE(engine.get()->*r.field);
  }
  engine->ApplyOption("copyts", "0");
  EXPECT_TRUE(engine->CopyTs);
  engine->ApplyOption("xerror", "0");
  EXPECT_TRUE(engine->ExitOnError);
}

TEST_F(OptionState, NumberOptionsStoreTheirValue) {
  TEngineTestAccess& e = *engine;
  struct IntRow {
    const char* name;
    const int* field;
  };
  const IntRow ints[] = {{"vframes", &e.MaxFrames[MediaVideo]},
                         {"aframes", &e.MaxFrames[MediaAudio]},
                         {"dframes", &e.MaxFrames[MediaData]},
                         {"loop_output", &e.LoopOutput},
                         {"vsync", &e.VideoSyncMethod},
                         {"async", &e.AudioSyncMethod},
                         {"vglobal", &e.VideoGlobalHeader},
                         {"programid", &e.ProgramID},
                         {"copyinkf", &e.CopyInitialNonKeyframes},
                         {"vdt", &e.VideoDiscard},
                         {"me_threshold", &e.MeThreshold},
                         {"top", &e.TopFieldFirst},
                         {"dc", &e.IntraDcPrecision},
                         {"vol", &e.AudioVolume},
                         {"vc", &e.VideoChannel}};
  int value = 2;  // frame limits take no negative value
  for (const IntRow& r : ints) {
    SCOPED_TRACE(r.name);
    e.ApplyOption(r.name, " " + std::to_string(value));
    EXPECT_EQ(*r.field, value);
    EXPECT_THROW(e.ApplyOption(r.name, "7 "), EConvertError);
    value += 5;
  }
  EXPECT_EQ(e.MaxFrames[MediaSubtitle], 2147483647) << "no option sets the subtitle frame limit";

  EXPECT_EQ(e.ThreadCount, 1);
  e.ApplyOption("threads", "0");
  EXPECT_EQ(e.ThreadCount, 0);
  // More threads than cores are never started: a huge count would exhaust memory.
  const int cores = int(std::thread::hardware_concurrency());
  e.ApplyOption("threads", " 8");
  EXPECT_EQ(e.ThreadCount, std::min(8, cores));
  e.ApplyOption("threads", "100000");
  EXPECT_GE(e.ThreadCount, 1);
  EXPECT_LE(e.ThreadCount, std::min(16, cores));

  e.ApplyOption("fs", "5000000000");
  EXPECT_EQ(e.LimitFileSize, 5000000000LL);

  struct FloatRow {
    const char* name;
    const float* field;
  };
  const FloatRow floats[] = {{"adrift_threshold", &e.AudioDriftThreshold},
                             {"dts_delta_threshold", &e.DtsDeltaThreshold},
                             {"aq", &e.AudioQScale},
                             {"muxdelay", &e.MuxMaxDelay},
                             {"muxpreload", &e.MuxPreload}};
  for (const FloatRow& r : floats) {
    SCOPED_TRACE(r.name);
    e.ApplyOption(r.name, " 2.5e-1 ");
    EXPECT_FLOAT_EQ(*r.field, 0.25f);
    EXPECT_THROW(e.ApplyOption(r.name, "0,5"), EConvertError);
  }
}

TEST_F(OptionState, SampleRateAndChannelsOnlyWhenPositive) {
  engine->ApplyOption("ar", "22050");
  engine->ApplyOption("ac", "1");
  EXPECT_THROW(engine->ApplyOption("ar", "0"), FFmpegException);
  EXPECT_THROW(engine->ApplyOption("ac", "-2"), FFmpegException);
  EXPECT_EQ(engine->AudioSampleRate, 22050);
  EXPECT_EQ(engine->AudioChannels, 1);
}

TEST_F(OptionState, TextOptionsKeepTheirTextForLater) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("alang", "eng");
  e.ApplyOption("slang", "chi");
  e.ApplyOption("passlogfile", "/tmp/pass");
  e.ApplyOption("vfilters", "hflip");
  e.ApplyOption("vfilters", "");
  e.ApplyOption("rc_override", "0,100,2/200,300,-50");
  e.ApplyOption("tvstd", "pal");
  e.ApplyOption("vstats_file", "/tmp/a.log");
  EXPECT_EQ(e.AudioLanguage, "eng");
  EXPECT_EQ(e.SubtitleLanguage, "chi");
  EXPECT_EQ(e.PassLogFileName, "/tmp/pass");
  EXPECT_EQ(e.VideoFilters, "hflip") << "an empty chain does not replace the one given";
  EXPECT_EQ(e.VideoRcOverride, "0,100,2/200,300,-50");
  EXPECT_EQ(e.VideoStandard, "pal");
  EXPECT_EQ(e.VstatsFileName, "/tmp/a.log");

  e.ApplyOption("vstats", "");
  EXPECT_TRUE(
      std::regex_match(e.VstatsFileName, std::regex(".*/vstats_[0-2][0-9][0-5][0-9][0-5][0-9]\\.log")))
      << e.VstatsFileName;
}

TEST_F(OptionState, CropsReduceTheFrameSize) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("s", "320x240");
  e.ApplyOption("croptop", "10");
  EXPECT_EQ(e.CropTop, 10);
  EXPECT_EQ(e.FrameHeight, 230);
  e.ApplyOption("croptop", "10");
  EXPECT_EQ(e.FrameHeight, 220);
  e.ApplyOption("cropbottom", "20");
  e.ApplyOption("cropleft", "8");
  e.ApplyOption("cropright", "12");
  EXPECT_EQ(e.CropBottom, 20);
  EXPECT_EQ(e.CropLeft, 8);
  EXPECT_EQ(e.CropRight, 12);
  EXPECT_EQ(e.FrameHeight, 200);
  EXPECT_EQ(e.FrameWidth, 300);
  EXPECT_THROW(e.ApplyOption("croptop", "-4"), FFmpegException);
  EXPECT_EQ(e.CropTop, 10);
  EXPECT_EQ(e.FrameHeight, 200);
  // The whole remaining height cannot go.
  EXPECT_THROW(e.SetCropBottom(200), FFmpegException);
  e.SetCropBottom(198);
  EXPECT_EQ(e.FrameHeight, 2);
  // Pads are stored on their own side and leave the size alone.
  e.ApplyOption("padtop", "8");
  e.ApplyOption("padbottom", "10");
  e.ApplyOption("padleft", "12");
  e.ApplyOption("padright", "16");
  EXPECT_THROW(e.ApplyOption("padtop", "-2"), FFmpegException);
  EXPECT_EQ(std::vector<int>({e.PadTop, e.PadBottom, e.PadLeft, e.PadRight}),
            std::vector<int>({8, 10, 12, 16}));
  EXPECT_EQ(e.FrameHeight, 2);
}

TEST_F(OptionState, PadColourIsConvertedToFullRangeYuv) {
  struct Row {
    int rgb;
    int y, u, v;
  };
  const Row rows[] = {{0x000000, 0, 128, 128},
                      {0x0000FF, 76, 85, 255},
                      {0x00FF00, 150, 43, 21},
                      {0xFF0000, 29, 255, 107},
                      {0xFFFFFF, 255, 128, 128},
                      {0x808080, 128, 128, 128},
                      {0x7F0000FF - 0x7F000000 + 0x1000000, 76, 85, 255}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.rgb);
    engine->ApplyOption("padcolor", std::to_string(r.rgb));
    EXPECT_EQ(engine->PadColorY, r.y);
    EXPECT_EQ(engine->PadColorU, r.u);
    EXPECT_EQ(engine->PadColorV, r.v);
  }
}

TEST_F(OptionState, AspectRatioFromAFractionOrANumber) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("aspect", "16:9");
  EXPECT_FLOAT_EQ(e.FrameAspectRatio, 16.0f / 9.0f);
  e.ApplyOption("aspect", "1.25");
  EXPECT_FLOAT_EQ(e.FrameAspectRatio, 1.25f);
  EXPECT_THROW(e.ApplyOption("aspect", "-1.5"), FFmpegException);
  EXPECT_THROW(e.ApplyOption("aspect", "x:3"), FFmpegException);
  EXPECT_FLOAT_EQ(e.FrameAspectRatio, 1.25f) << "a refused ratio changes nothing";
}

TEST_F(OptionState, FrameSizeAndRateThroughTheLibraryParsers) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("s", "vga");
  EXPECT_EQ(e.FrameWidth, 640);
  EXPECT_EQ(e.FrameHeight, 480);
  e.ApplyOption("s", "352x288");
  EXPECT_EQ(e.FrameWidth, 352);
  EXPECT_EQ(e.FrameHeight, 288);
  // Parsed before the evenness check, so the odd size stays.
  EXPECT_THROW(e.ApplyOption("s", "321x240"), FFmpegException);
  EXPECT_EQ(e.FrameWidth, 321);

  e.ApplyOption("r", "30000/1001");
  EXPECT_EQ(e.FrameRate.num, 30000);
  EXPECT_EQ(e.FrameRate.den, 1001);
  e.ApplyOption("r", "pal");
  EXPECT_EQ(av_q2d(e.FrameRate), 25.0);
  e.ApplyOption("r", "29.97");
  EXPECT_NEAR(av_q2d(e.FrameRate), 29.97, 1e-9);
}

TEST_F(OptionState, PixelAndSampleFormatsByName) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("pix_fmt", "yuv422p");
  EXPECT_EQ(e.FramePixFmt, AV_PIX_FMT_YUV422P);
  e.ApplyOption("sample_fmt", "s16");
  EXPECT_EQ(e.AudioSampleFmt, AV_SAMPLE_FMT_S16);
  e.ApplyOption("pix_fmt", "nosuch");
  e.ApplyOption("sample_fmt", "nosuch");
  EXPECT_EQ(e.FramePixFmt, -1);
  EXPECT_EQ(e.AudioSampleFmt, -1);
}

TEST_F(OptionState, FormatListsAreLoggedOnlyWithAHandlerAndStoreNothing) {
  engine->ApplyOption("pix_fmt", "yuv420p");
  engine->ApplyOption("pix_fmt", "list");  // no handler: nothing at all
  EXPECT_EQ(engine->FramePixFmt, AV_PIX_FMT_YUV420P);
  CaptureLog();
  engine->ApplyOption("pix_fmt", "list");
  ASSERT_GT(log.size(), 100u);
  EXPECT_EQ(log[0].Text.substr(0, 4), "name") << "the header line";
  EXPECT_EQ(log[1].Text.substr(0, 7), "yuv420p");
  for (const TLogLine& l : log) {
    EXPECT_EQ(l.Level, 1);
    EXPECT_FALSE(l.Text.empty() || l.Text.back() == ' ') << "trimmed: '" << l.Text << "'";
  }
  EXPECT_EQ(engine->FramePixFmt, AV_PIX_FMT_YUV420P);
  log.clear();
  engine->ApplyOption("sample_fmt", "list");
  ASSERT_EQ(log.size(), size_t(AV_SAMPLE_FMT_NB) + 1);
  EXPECT_EQ(log[1].Text.substr(0, 2), "u8");
  EXPECT_EQ(engine->AudioSampleFmt, -1);
}

TEST_F(OptionState, QScaleWithinItsRange) {
  engine->ApplyOption("qscale", "255");
  EXPECT_FLOAT_EQ(engine->VideoQScale, 255.0f);
  engine->ApplyOption("qscale", "0.5");
  EXPECT_FLOAT_EQ(engine->VideoQScale, 0.5f);
  EXPECT_THROW(engine->ApplyOption("qscale", "255.5"), FFmpegException);
  EXPECT_FLOAT_EQ(engine->VideoQScale, 0.5f);
}

TEST_F(OptionState, VideoHookModuleIsLoadedAndConfigured) {
  std::string module = BuildDir() + "/hooks/libokv_drawbox.so";
  if (!std::filesystem::exists(module)) GTEST_SKIP() << "the drawbox module is not built: " << module;
  engine->ApplyOption("vhook", module + "  10 10 4 4 235 128 128");
  EXPECT_TRUE(engine->UsingVhook);
  EXPECT_EQ(engine->FrameHooks.Count(), 1);
  // With "|" the words may hold spaces; the module refuses the wrong argument count.
  EXPECT_THROW(engine->ApplyOption("vhook", module + "|1 0|10|4|4|235|128|128"), FFmpegException);
  engine->ApplyOption("vhook", module + "|0|0|2|2|16|128|128");
  EXPECT_EQ(engine->FrameHooks.Count(), 2);
  engine->ResetOptions();
  EXPECT_EQ(engine->FrameHooks.Count(), 0);
  EXPECT_FALSE(engine->UsingVhook);
}

TEST_F(OptionState, OptionsWithoutEffectAreLoggedByName) {
  engine->ApplyOption("y", "");  // no handler: silent
  CaptureLog();
  for (const char* name : {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
    engine->ApplyOption(name, "whatever");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Text, std::string("Do nothing: option - ") + name);
    EXPECT_EQ(log.back().Level, 1);
  }
  EXPECT_EQ(log.size(), 10u);
}

TEST_F(OptionState, VerboseSetsTheEngineTheLibrariesAndTheThreshold) {
  engine->ApplyOption("v", "2");
  EXPECT_EQ(engine->Verbose, 2);
  EXPECT_EQ(LogThreshold.load(), 2);
  EXPECT_EQ(FF.av_log_get_level(), AV_LOG_DEBUG);
  engine->SetVerbose(-1);
  EXPECT_EQ(LogThreshold.load(), -1);
  EXPECT_EQ(FF.av_log_get_level(), AV_LOG_QUIET);
  engine->SetVerbose(0);
  EXPECT_EQ(FF.av_log_get_level(), AV_LOG_WARNING) << "warnings share level 0 with errors";
}

TEST_F(OptionState, NamedSettersApplyOnlyMeaningfulValues) {
  TEngineTestAccess& e = *engine;
  e.SetStartTime(0);
  e.SetStartTime(-5);
  EXPECT_EQ(e.StartTime, 0);
  e.SetStartTime(1500000);
  EXPECT_EQ(e.StartTime, 1500000);
  e.SetRecordingTime(2500999);
  EXPECT_EQ(e.RecordingTime, 2500999);
  EXPECT_EQ(e.RecordingTimeMs, 2500);
  e.SetRecordingTime(0);
  e.SetRecordingTimeMs(0);
  EXPECT_EQ(e.RecordingTime, 2500999);
  e.SetRecordingTimeMs(7000);
  EXPECT_EQ(e.RecordingTime, 7000000);
  EXPECT_EQ(e.RecordingTimeMs, 7000);
  e.SetProgramID(-1);
  EXPECT_EQ(e.ProgramID, 0);
  e.SetProgramID(0);
  e.SetAudioVolume(-1);
  EXPECT_EQ(e.AudioVolume, 256);
  e.SetAudioVolume(0);
  EXPECT_EQ(e.AudioVolume, 0);
  e.SetAudioSyncMethod(-7);
  e.SetVideoSyncMethod(-7);
  EXPECT_EQ(e.AudioSyncMethod, -7);
  EXPECT_EQ(e.VideoSyncMethod, -7);
  e.SetMuxDelay(0);
  e.SetMuxPreload(-1);
  EXPECT_FLOAT_EQ(e.MuxMaxDelay, 0.7f);
  EXPECT_FLOAT_EQ(e.MuxPreload, 0.5f);
  e.SetMuxDelay(0.1f);
  e.SetMuxPreload(0.2f);
  EXPECT_FLOAT_EQ(e.MuxMaxDelay, 0.1f);
  EXPECT_FLOAT_EQ(e.MuxPreload, 0.2f);
  e.SetRecTimestamp(-3);
  EXPECT_EQ(e.RecTimestamp, -3);
  e.SetHookFlags(3);
  EXPECT_EQ(e.HookFlags, 3);
}

TEST_F(OptionState, TimeRangesAreSortedByTheirEnd) {
  engine->TimeRangeIndex = 5;
  engine->SetTimeRanges({{5000000, 9000000}, {1000000, 2000000}, {0, 2000000}, {3000000, 4000000}});
  ASSERT_EQ(engine->TimeRangeCount, 4);
  EXPECT_EQ(engine->TimeRangeIndex, 0);
  EXPECT_EQ(engine->TimeRanges[0].Start, 1000000) << "equal ends keep their order";
  EXPECT_EQ(engine->TimeRanges[1].Start, 0);
  EXPECT_EQ(engine->TimeRanges[2].End, 4000000);
  EXPECT_EQ(engine->TimeRanges[3].End, 9000000);
}

TEST_F(OptionState, FormatsByNameForInputOutputOrBoth) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("f", "avi");
  ASSERT_NE(e.ForcedInputFormat, nullptr);
  ASSERT_NE(e.ForcedOutputFormat, nullptr);
  EXPECT_STREQ(e.ForcedInputFormat->name, "avi");
  EXPECT_STREQ(e.ForcedOutputFormat->name, "avi");
  e.ApplyOption("f", "svcd");  // a muxer only
  EXPECT_EQ(e.ForcedInputFormat, nullptr);
  EXPECT_STREQ(e.ForcedOutputFormat->name, "svcd");
  e.ApplyOption("f", "");
  EXPECT_STREQ(e.ForcedOutputFormat->name, "svcd");
  e.SetInputFormat("wav");
  EXPECT_STREQ(e.ForcedInputFormat->name, "wav");
  e.SetOutputFormat("matroska");
  EXPECT_STREQ(e.ForcedOutputFormat->name, "matroska");

  CaptureLog();
  e.ApplyOption("f", "pgmyuv");
  EXPECT_TRUE(e.PgmyuvCompatibility);
  EXPECT_STREQ(e.ForcedInputFormat->name, "image2");
  EXPECT_STREQ(e.ForcedOutputFormat->name, "image2");
  EXPECT_TRUE(Logged("pgmyuv format is deprecated, use image2"));
}

TEST_F(OptionState, OptionLinesInTwoPasses) {
  TEngineTestAccess& e = *engine;
  e.ApplyOptionLines("vn=1\r\nnewaudio", 0);
  EXPECT_TRUE(e.VideoDisable);
  e.ApplyOptionLines(" \r\nvn=0\r\ralang=en=g\nan\n\n", 0);
  EXPECT_FALSE(e.VideoDisable);
  EXPECT_TRUE(e.AudioDisable) << "a line without '=' is a name with an empty value";
  EXPECT_EQ(e.AudioLanguage, "en=g") << "the value keeps everything after the first '='";
  e.ApplyOptionLines("metadata=a= b \nmetadata= c=d", 0);
  ASSERT_EQ(e.MetadataCount(), 2);
  EXPECT_EQ(e.Metadata[0].Value, " b ") << "names and values are not trimmed";
  EXPECT_EQ(e.Metadata[1].Key, " c");
  // Pass 1 takes only the stream options, which need an output file.
  EXPECT_NO_THROW(e.ApplyOptionLines("vn=1\nsn=1", 1));
  EXPECT_FALSE(e.VideoDisable);
  EXPECT_FALSE(e.SubtitleDisable);
  try {
    e.ApplyOptionLines("vn=1\nnewaudio", 1);
    ADD_FAILURE() << "newaudio without an output file";
  } catch (const FFmpegException& ex) {
    EXPECT_STREQ(ex.what(), "At least one output file must be specified");
  }
  EXPECT_FALSE(e.VideoDisable);
}

}  // namespace
}  // namespace ok::test
