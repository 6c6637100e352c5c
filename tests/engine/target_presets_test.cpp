// Target presets: the state each preset leaves in each norm, and norm detection.

#include <gtest/gtest.h>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"

namespace ok::test {
namespace {

struct TPresetState {
  const char* type;
  const char* norm;
  const char* videoCodec;
  const char* audioCodec;
  const char* format;
  int width, height;
  AVRational rate;
  int pixFmt;
  int64_t gop, bitrate, maxrate, minrate, bufsize, audioBitrate;
  int sampleRate;
  int64_t packetSize;
  const char* muxrate;  // "" when the preset sets none
  const char* scanOffset;
  float preload;
  float aspect;
};

void PrintTo(const TPresetState& state, std::ostream* os) { *os << state.type << " " << state.norm; }

constexpr AVRational P{25, 1}, N{30000, 1001}, F{24000, 1001};
constexpr float A43 = 4.0f / 3.0f, A169 = 16.0f / 9.0f;
// Library defaults the DV presets leave alone.
constexpr int64_t G0 = 12, B0 = 200000, M0 = 0, AB0 = 128000, PS0 = 0;

const TPresetState Presets[] = {
    {"vcd",   "pal",   "mpeg1video", "mp2",  "vcd", 352,  288,       P,  -1,    15, 1150000,
     1150000, 1150000, 327680,       224000, 44100, 2324, "1411200", "", 0.44f, A43},
    {"vcd",   "ntsc",  "mpeg1video", "mp2",  "vcd", 352,  240,       N,  -1,    18, 1150000,
     1150000, 1150000, 327680,       224000, 44100, 2324, "1411200", "", 0.44f, A43},
    {"vcd",   "film",  "mpeg1video", "mp2",  "vcd", 352,  240,       F,  -1,    18, 1150000,
     1150000, 1150000, 327680,       224000, 44100, 2324, "1411200", "", 0.44f, A43},
    {"svcd",  "pal", "mpeg2video", "mp2",  "svcd", 480,  576, P,   -1,   15, 2040000,
     2516000, 0,     1835008,      224000, 44100,  2324, "",  "1", 0.5f, A43},
    {"svcd",  "ntsc", "mpeg2video", "mp2",  "svcd", 480,  480, N,   -1,   18, 2040000,
     2516000, 0,      1835008,      224000, 44100,  2324, "",  "1", 0.5f, A43},
    {"svcd",  "film", "mpeg2video", "mp2",  "svcd", 480,  480, F,   -1,   18, 2040000,
     2516000, 0,      1835008,      224000, 44100,  2324, "",  "1", 0.5f, A43},
    {"dvd",   "pal", "mpeg2video", "ac3",  "dvd", 720,  576,        P,  -1,   15,  6000000,
     9000000, 0,     1835008,      448000, 48000, 2048, "10080000", "", 0.5f, A169},
    {"dvd",   "ntsc", "mpeg2video", "ac3",  "dvd", 720,  480,        N,  -1,   18,  6000000,
     9000000, 0,      1835008,      448000, 48000, 2048, "10080000", "", 0.5f, A169},
    {"dvd",   "film", "mpeg2video", "ac3",  "dvd", 720,  480,        F,  -1,   18,  6000000,
     9000000, 0,      1835008,      448000, 48000, 2048, "10080000", "", 0.5f, A169},
    {"dv", "pal", "",    "",  "dv", 720, 576,  P, AV_PIX_FMT_YUV420P, G0, B0, M0, 0,
     M0,   AB0,   48000, PS0, "",   "",  0.5f, 0},
    {"dv", "ntsc", "",    "",  "dv", 720, 480,  N, AV_PIX_FMT_YUV411P, G0, B0, M0, 0,
     M0,   AB0,    48000, PS0, "",   "",  0.5f, 0},
    {"dv", "film", "",    "",  "dv", 720, 480,  F, AV_PIX_FMT_YUV411P, G0, B0, M0, 0,
     M0,   AB0,    48000, PS0, "",   "",  0.5f, 0},
    {"dv50", "pal", "",    "",  "dv", 720, 576,  P, AV_PIX_FMT_YUV422P, G0, B0, M0, 0,
     M0,     AB0,   48000, PS0, "",   "",  0.5f, 0},
    {"dv50", "ntsc", "",    "",  "dv", 720, 480,  N, AV_PIX_FMT_YUV422P, G0, B0, M0, 0,
     M0,     AB0,    48000, PS0, "",   "",  0.5f, 0},
    {"dv50", "film", "",    "",  "dv", 720, 480,  F, AV_PIX_FMT_YUV422P, G0, B0, M0, 0,
     M0,     AB0,    48000, PS0, "",   "",  0.5f, 0},
};

class PresetStates : public EngineTest, public ::testing::WithParamInterface<TPresetState> {};

TEST_P(PresetStates, LeaveTheStateOfTheirColumn) {
  const TPresetState& x = GetParam();
  TEngineTestAccess& e = *engine;
  CaptureLog();
  e.AudioChannels = 1;
  e.SetTarget(x.type, x.norm, "pal");
  EXPECT_EQ(e.VideoCodecName, x.videoCodec);
  EXPECT_EQ(e.AudioCodecName, x.audioCodec);
  ASSERT_NE(e.ForcedOutputFormat, nullptr);
  EXPECT_STREQ(e.ForcedOutputFormat->name, x.format);
  EXPECT_EQ(e.FrameWidth, x.width);
  EXPECT_EQ(e.FrameHeight, x.height);
  EXPECT_EQ(e.FrameRate.num, x.rate.num);
  EXPECT_EQ(e.FrameRate.den, x.rate.den);
  EXPECT_EQ(e.FramePixFmt, x.pixFmt);
  EXPECT_EQ(CodecInt(MediaVideo, "g"), x.gop);
  EXPECT_EQ(CodecInt(MediaVideo, "b"), x.bitrate);
  EXPECT_EQ(CodecInt(MediaVideo, "maxrate"), x.maxrate);
  EXPECT_EQ(CodecInt(MediaVideo, "minrate"), x.minrate);
  EXPECT_EQ(CodecInt(MediaVideo, "bufsize"), x.bufsize);
  EXPECT_EQ(CodecInt(MediaAudio, "b"), x.audioBitrate);
  EXPECT_EQ(e.AudioSampleRate, x.sampleRate);
  EXPECT_EQ(e.AudioChannels, 2);
  EXPECT_EQ(FormatInt("packetsize"), x.packetSize);
  EXPECT_EQ(e.OptionContexts.FormatPrivateOptions.Value("muxrate"), x.muxrate);
  EXPECT_EQ(e.OptionContexts.CodecPrivateOptions[MediaVideo].Value("scan_offset"), x.scanOffset);
  EXPECT_FLOAT_EQ(e.MuxPreload, x.preload);
  EXPECT_FLOAT_EQ(e.FrameAspectRatio, x.aspect);
  EXPECT_EQ(Logged("Assuming 4:3 for aspect ratio") || Logged("Assuming 16:9 for aspect ratio"),
            x.aspect != 0);
  EXPECT_EQ(LoggedCount("Assuming PAL") + LoggedCount("Assuming NTSC"), 0) << "the norm was given";
}

INSTANTIATE_TEST_SUITE_P(EveryNorm, PresetStates, ::testing::ValuesIn(Presets),
                         [](const ::testing::TestParamInfo<TPresetState>& info) {
                           return std::string(info.param.type) + "_" + info.param.norm;
                         });

using TargetPresets = EngineTest;

TEST_F(TargetPresets, TheRecordedOptionsReachTheEncodersLater) {
  engine->SetTarget("svcd", "pal", "pal");
  const AVCodec* codec = FF.avcodec_find_encoder_by_name(engine->VideoCodecName.c_str());
  ASSERT_NE(codec, nullptr);
  TCodecContextPtr video(FF.avcodec_alloc_context3(codec));
  engine->ApplyContextOptions(video.get(), engine->OptionContexts.CodecOptions[MediaVideo].get(), 17);
  engine->ApplyPrivateCodecOptions(video.get(), MediaVideo);
  EXPECT_EQ(video->gop_size, 15);
  EXPECT_EQ(video->bit_rate, 2040000);
  EXPECT_EQ(video->rc_max_rate, 2516000);
  EXPECT_EQ(video->rc_buffer_size, 1835008);
  int64_t scanOffset = 0;
  ASSERT_GE(FF.av_opt_get_int(video->priv_data, "scan_offset", 0, &scanOffset), 0);
  EXPECT_EQ(scanOffset, 1);

  codec = FF.avcodec_find_encoder_by_name(engine->AudioCodecName.c_str());
  TCodecContextPtr audio(FF.avcodec_alloc_context3(codec));
  engine->ApplyContextOptions(audio.get(), engine->OptionContexts.CodecOptions[MediaAudio].get(), 9);
  EXPECT_EQ(audio->bit_rate, 224000);
  EXPECT_EQ(audio->rc_max_rate, 0);
}

TEST_F(TargetPresets, TheNormIsDetectedFromTheFrameRate) {
  CaptureLog();
  engine->FrameRate = {30000, 1001};
  engine->ApplyOption("target", "dvd");
  EXPECT_EQ(engine->FrameWidth, 720);
  EXPECT_EQ(engine->FrameHeight, 480);
  EXPECT_TRUE(Logged("Assuming NTSC for target."));

  log.clear();
  engine->FrameRate = {25, 1};
  engine->ApplyOption("target", "vcd");
  EXPECT_EQ(engine->FrameHeight, 288);
  EXPECT_TRUE(Logged("Assuming PAL for target."));

  // Film material counts as NTSC: the NTSC column and rate, not the film rate.
  log.clear();
  engine->FrameRate = {24000, 1001};
  engine->ApplyOption("target", "svcd");
  EXPECT_EQ(engine->FrameHeight, 480);
  EXPECT_EQ(engine->FrameRate.num, 30000);
  EXPECT_TRUE(Logged("Assuming NTSC for target."));

  // 29.9704 rounds to 29970 as well; nothing is said at verbosity 0.
  log.clear();
  engine->Verbose = 0;
  engine->FrameRate = {2997040, 100000};
  engine->ApplyOption("target", "dv");
  EXPECT_EQ(engine->FramePixFmt, AV_PIX_FMT_YUV411P);
  EXPECT_TRUE(log.empty());
}

TEST_F(TargetPresets, TheInputStreamsDecideWhenTheFrameRateDoesNot) {
  CaptureLog();
  engine->FrameRate = {15, 1};
  engine->InputStreamParams = {
      {{AVMEDIA_TYPE_AUDIO, {1, 25}}, {AVMEDIA_TYPE_VIDEO, {0, 1}}, {AVMEDIA_TYPE_VIDEO, {1, 15}}},
      {{AVMEDIA_TYPE_VIDEO, {1001, 30000}}, {AVMEDIA_TYPE_VIDEO, {1, 25}}},
  };
  engine->ApplyOption("target", "dvd");
  EXPECT_EQ(engine->FrameHeight, 480) << "the first video stream that decides wins";
  EXPECT_TRUE(Logged("Assuming NTSC for target."));

  engine->InputStreamParams = {{{AVMEDIA_TYPE_VIDEO, {1, 25}}}};
  engine->FrameRate = {15, 1};
  engine->SetTarget("dvd", "auto", "ntsc");
  EXPECT_EQ(engine->FrameHeight, 576);
}

TEST_F(TargetPresets, TheDefaultNormWhenNothingDecides) {
  struct Row {
    const char* defaultNorm;
    int height;
    AVRational rate;
    const char* said;
  };
  const Row rows[] = {{"film", 240, F, "Assuming NTSC for target."},
                      {"ntsc", 240, N, "Assuming NTSC for target."},
                      {"pal", 288, P, "Assuming PAL for target."},
                      {"PAL", 288, P, "Assuming PAL for target."},
                      {"", 288, P, "Assuming PAL for target."}};
  CaptureLog();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.defaultNorm);
    log.clear();
    engine->FrameRate = {10, 1};
    engine->InputStreamParams = {{{AVMEDIA_TYPE_VIDEO, {1, 10}}, {AVMEDIA_TYPE_SUBTITLE, {1, 25}}}};
    engine->SetTarget("vcd", "auto", r.defaultNorm);
    EXPECT_EQ(engine->FrameHeight, r.height);
    EXPECT_EQ(engine->FrameRate.num, r.rate.num);
    EXPECT_EQ(engine->FrameRate.den, r.rate.den);
    EXPECT_TRUE(Logged(r.said));
  }
}

TEST_F(TargetPresets, TheOptionValueNamesTheNorm) {
  CaptureLog();
  engine->ApplyOption("target", " pal-dvd\t");
  EXPECT_EQ(engine->FrameHeight, 576);
  EXPECT_EQ(engine->FrameRate.num, 25);
  EXPECT_EQ(CodecInt(MediaVideo, "g"), 15);
  engine->ApplyOption("target", "film-vcd");
  EXPECT_EQ(engine->FrameHeight, 240);
  EXPECT_EQ(engine->FrameRate.num, 24000);
  EXPECT_EQ(CodecInt(MediaVideo, "g"), 18);
  engine->ApplyOption("target", "ntsc-dv50");
  EXPECT_EQ(engine->FrameHeight, 480);
  EXPECT_EQ(LoggedCount("Assuming PAL") + LoggedCount("Assuming NTSC"), 0);
  // Norms are exact lower case; anything else means detection (here from the NTSC rate just set).
  engine->SetTarget("vcd", "PAL", "pal");
  EXPECT_TRUE(Logged("Assuming NTSC for target."));
  EXPECT_EQ(engine->FrameHeight, 240);
}

TEST_F(TargetPresets, AnAspectRatioGivenBeforeIsKept) {
  CaptureLog();
  engine->ApplyOption("aspect", "1.5");
  engine->SetTarget("dvd", "pal", "pal");
  EXPECT_FLOAT_EQ(engine->FrameAspectRatio, 1.5f);
  EXPECT_EQ(LoggedCount("Assuming 16:9"), 0);
  engine->FrameAspectRatio = 0;
  engine->OnLog = nullptr;
  engine->SetTarget("vcd", "pal", "pal");
  EXPECT_FLOAT_EQ(engine->FrameAspectRatio, 4.0f / 3.0f) << "applied without a log handler too";
}

TEST_F(TargetPresets, AudioChannelRules) {
  struct Row {
    const char* type;
    int before, after;
  };
  const Row rows[] = {{"vcd", 1, 2}, {"vcd", 6, 2}, {"svcd", 1, 2}, {"svcd", 6, 6},
                      {"dvd", 1, 2}, {"dvd", 6, 6}, {"dv", 6, 2},   {"dv50", 1, 2}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.type) + " " + std::to_string(r.before));
    engine->AudioChannels = r.before;
    engine->SetTarget(r.type, "ntsc", "ntsc");
    EXPECT_EQ(engine->AudioChannels, r.after);
  }
}

TEST_F(TargetPresets, TheNormIsSettledBeforeTheTypeIsChecked) {
  engine->FrameRate = {0, 0};
  try {
    engine->SetTarget("xyz", "auto", "pal");
    ADD_FAILURE();
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "frame_rate is invalid.");
  }
  EXPECT_NO_THROW(engine->ApplyOption("target", "pal-vcd")) << "a given norm needs no frame rate";
  CaptureLog();
  engine->FrameRate = {25, 1};
  EXPECT_THROW(engine->SetTarget("DVD", "auto", "pal"), FFmpegException);
  EXPECT_TRUE(Logged("Assuming PAL for target.")) << "the norm message comes before the type check";
}

}  // namespace
}  // namespace ok::test
