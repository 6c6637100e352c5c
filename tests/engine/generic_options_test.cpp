// Generic options: which option context a name reaches, what is recorded and copied later, the
// old-generation names and values that this library generation keeps elsewhere, and the codec
// look-up.

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "media/ff_functions.h"

namespace ok::test {
namespace {

using GenericOptions = EngineTest;

TCodecContextPtr EncoderContext(const char* name) {
  const AVCodec* codec = FF.avcodec_find_encoder_by_name(name);
  if (!codec) return nullptr;
  return TCodecContextPtr(FF.avcodec_alloc_context3(codec));
}

int64_t PrivateInt(AVCodecContext* context, const char* option) {
  int64_t value = -12345;
  EXPECT_GE(FF.av_opt_get_int(context->priv_data, option, 0, &value), 0) << option;
  return value;
}

// The value of a named constant of a private flags option, e.g. ("mpv_flags", "naq").
int64_t PrivateConst(AVCodecContext* context, const char* unit, const char* name) {
  const AVOption* o = FF.av_opt_find(context->priv_data, name, unit, 0, 0);
  EXPECT_NE(o, nullptr) << name;
  return o ? o->default_val.i64 : 0;
}

TEST_F(GenericOptions, AVideoOptionReachesOnlyTheContextsThatTakeVideoOptions) {
  EXPECT_TRUE(engine->SetGenericOption("g", "33"));
  EXPECT_EQ(CodecInt(MediaVideo, "g"), 33);
  EXPECT_EQ(CodecInt(MediaAudio, "g"), 12);
  EXPECT_EQ(CodecInt(MediaSubtitle, "g"), 12);
  // Data and attachment contexts take every option.
  EXPECT_EQ(CodecInt(MediaData, "g"), 33);
  EXPECT_EQ(CodecInt(MediaAttachment, "g"), 33);
  ASSERT_EQ(engine->OptionContexts.OptionNames, std::vector<std::string>{"g"});

  EXPECT_TRUE(engine->SetGenericIntOption("cutoff", 15000));
  EXPECT_EQ(CodecInt(MediaAudio, "cutoff"), 15000);
  EXPECT_EQ(CodecInt(MediaVideo, "cutoff"), 0);
}

TEST_F(GenericOptions, CodecContextsStartWithTheDefaultsOfTheirMediaType) {
  EXPECT_EQ(CodecInt(MediaVideo, "b"), 200000);
  EXPECT_EQ(CodecInt(MediaAudio, "b"), 128000);
  EXPECT_EQ(engine->OptionContexts.CodecOptions[MediaAudio]->codec_type, AVMEDIA_TYPE_AUDIO);
}

TEST_F(GenericOptions, VideoAndAudioBitratesLandOnTheirOwnContext) {
  CaptureLog();
  engine->ApplyOption("vb", "500");
  EXPECT_EQ(CodecInt(MediaVideo, "b"), 500);
  EXPECT_EQ(CodecInt(MediaAudio, "b"), 128000);
  EXPECT_EQ(engine->OptionContexts.OptionNames.back(), "b");
  EXPECT_EQ(LoggedCount("WARNING: The bitrate parameter is set too low"), 1);

  engine->ApplyOption("ab", "64000");
  EXPECT_EQ(CodecInt(MediaAudio, "b"), 64000);
  EXPECT_EQ(CodecInt(MediaVideo, "b"), 500);
  EXPECT_EQ(LoggedCount("WARNING:"), 1);

  // "b" was a video option in the old generation: it must not change the audio bitrate.
  engine->ApplyOption("b", "900000");
  EXPECT_EQ(CodecInt(MediaVideo, "b"), 900000);
  EXPECT_EQ(CodecInt(MediaAudio, "b"), 64000);

  engine->ApplyOption("ab", "999");
  EXPECT_EQ(LoggedCount("WARNING:"), 2) << "the warning reads the audio context for audio names";
  EXPECT_EQ(log.back().Level, 1);
}

TEST_F(GenericOptions, AnInvalidValueIsLoggedByTheLibraryAndIgnored) {
  TLibraryLogCapture libraryLog;
  EXPECT_FALSE(engine->SetGenericOption("g", "abc"));
  EXPECT_TRUE(libraryLog.Contains("Invalid value \"abc\" for option \"g\"\n"));
  EXPECT_EQ(engine->OptionContexts.OptionNameCount(), 0);
  EXPECT_EQ(CodecInt(MediaVideo, "g"), 12);
  // Through the dispatcher nothing is raised.
  EXPECT_NO_THROW(engine->ApplyOption("bufsize", "lots"));
  EXPECT_TRUE(libraryLog.Contains("Invalid value \"lots\" for option \"bufsize\"\n"));
}

TEST_F(GenericOptions, UnknownAndEmptyNamesAreIgnoredWithoutAMessage) {
  TLibraryLogCapture libraryLog;
  EXPECT_FALSE(engine->SetGenericOption("no_such_option", "1"));
  EXPECT_FALSE(engine->SetGenericOption(" \t", "1"));
  EXPECT_FALSE(engine->SetGenericOption("g", " \r\n"));
  EXPECT_NO_THROW(engine->ApplyOption("", ""));
  EXPECT_TRUE(libraryLog.Lines().empty());
  EXPECT_EQ(engine->OptionContexts.OptionNameCount(), 0);
}

TEST_F(GenericOptions, FormatThenScalerOptionsWhenNoCodecOptionHasTheName) {
  EXPECT_TRUE(engine->SetGenericOption("packetsize", "2324"));
  EXPECT_EQ(FormatInt("packetsize"), 2324);
  EXPECT_TRUE(engine->SetGenericOption("sws_flags", "bilinear"));
  int64_t flags = 0;
  ASSERT_GE(FF.av_opt_get_int(engine->OptionContexts.ScalerOptions.get(), "sws_flags", 0, &flags), 0);
  EXPECT_EQ(flags, SWS_BILINEAR);
  EXPECT_EQ(engine->OptionContexts.OptionNames, (std::vector<std::string>{"packetsize", "sws_flags"}));
}

TEST_F(GenericOptions, APrefixedNameFallsBackToTheBareNameOfThatMediaType) {
  // "abt" is not an option of this generation: "bt" of the audio context.
  EXPECT_TRUE(engine->SetGenericOption("abt", "32000"));
  EXPECT_EQ(CodecInt(MediaAudio, "bt"), 32000);
  EXPECT_NE(CodecInt(MediaVideo, "bt"), 32000);
  EXPECT_TRUE(engine->SetGenericOption("vqmin", "3"));
  EXPECT_EQ(CodecInt(MediaVideo, "qmin"), 3);
  EXPECT_EQ(CodecInt(MediaAudio, "qmin"), 2);
}

TEST_F(GenericOptions, DebugOptionsRaiseTheLogLevelThroughTheVerboseSetter) {
  int reported = -100;
  engine->VerboseSetter = [&](int level) { reported = level; };
  engine->SetGenericOption("g", "10");
  EXPECT_EQ(reported, -100);
  EXPECT_TRUE(engine->SetGenericOption("fdebug", "ts"));
  EXPECT_EQ(reported, 2);
  engine->VerboseSetter = nullptr;
  engine->SetGenericOption("g", "11");  // still debugging: set directly
  EXPECT_EQ(engine->Verbose, 2);
}

TEST_F(GenericOptions, ContextOptionsAreCopiedByTheirFlags) {
  engine->ApplyOption("g", "15");
  engine->ApplyOption("b", "900000");
  engine->ApplyOption("ab", "96000");
  engine->ApplyOption("cutoff", "15000");
  engine->ApplyOption("flags", "+global_header+qpel");
  engine->ApplyOption("maxrate", "2000000");
  engine->ApplyOption("packetsize", "2048");

  TCodecContextPtr video = EncoderContext("mpeg4");
  ASSERT_NE(video, nullptr);
  auto& opts = engine->OptionContexts;
  engine->ApplyContextOptions(video.get(), opts.CodecOptions[MediaVideo].get(),
                              AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(video->gop_size, 15);
  EXPECT_EQ(video->bit_rate, 900000);
  EXPECT_EQ(video->cutoff, 0);
  EXPECT_EQ(video->rc_max_rate, 2000000);
  EXPECT_TRUE(video->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
  EXPECT_TRUE(video->flags & AV_CODEC_FLAG_QPEL);

  TCodecContextPtr audio = EncoderContext("mp2");
  ASSERT_NE(audio, nullptr);
  int defaultGop = audio->gop_size;
  engine->ApplyContextOptions(audio.get(), opts.CodecOptions[MediaAudio].get(),
                              AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(audio->bit_rate, 96000);
  EXPECT_EQ(audio->cutoff, 15000);
  EXPECT_EQ(audio->gop_size, defaultGop);
  EXPECT_EQ(audio->rc_max_rate, 0) << "the video preset's maxrate stays off the audio encoder";
  EXPECT_TRUE(audio->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
}

TEST_F(GenericOptions, OldCodecFlagsThatBecamePrivateOptionsStillTakeEffect) {
  TLibraryLogCapture libraryLog;
  EXPECT_TRUE(engine->SetGenericOption("flags", "+scan_offset"));
  EXPECT_EQ(engine->OptionContexts.OptionNameCount(), 0) << "nothing was left for the generic flags";
  EXPECT_TRUE(engine->SetGenericOption("flags", "+mv4+naq-alt"));
  EXPECT_TRUE(engine->SetGenericOption("flags2", "+sgop"));
  EXPECT_TRUE(engine->SetGenericOption("flags", "+trell"));
  EXPECT_TRUE(libraryLog.Lines().empty());
  EXPECT_EQ(CodecInt(MediaVideo, "trellis"), 1);
  EXPECT_EQ(engine->OptionContexts.CodecPrivateOptions[MediaVideo].Value("mpv_flags"), "+naq+strict_gop");

  TCodecContextPtr mpeg2 = EncoderContext("mpeg2video");
  ASSERT_NE(mpeg2, nullptr);
  engine->ApplyPrivateCodecOptions(mpeg2.get(), MediaVideo);
  EXPECT_EQ(PrivateInt(mpeg2.get(), "scan_offset"), 1);
  EXPECT_EQ(PrivateInt(mpeg2.get(), "alternate_scan"), 0);
  int64_t naq = PrivateConst(mpeg2.get(), "mpv_flags", "naq");
  int64_t strictGop = PrivateConst(mpeg2.get(), "mpv_flags", "strict_gop");
  EXPECT_EQ(PrivateInt(mpeg2.get(), "mpv_flags") & (naq | strictGop), naq | strictGop);

  // An encoder without those options takes what it has and nothing else.
  TCodecContextPtr mpeg4 = EncoderContext("mpeg4");
  engine->ApplyPrivateCodecOptions(mpeg4.get(), MediaVideo);
  EXPECT_EQ(PrivateInt(mpeg4.get(), "mpv_flags") & naq, naq);
  EXPECT_TRUE(libraryLog.Lines().empty());
  engine->ApplyContextOptions(mpeg4.get(), engine->OptionContexts.CodecOptions[MediaVideo].get(), 17);
  EXPECT_TRUE(mpeg4->flags & AV_CODEC_FLAG_4MV);
  EXPECT_EQ(mpeg4->trellis, 1);
}

TEST_F(GenericOptions, OldFormatOptionsThatMovedIntoMuxers) {
  EXPECT_TRUE(engine->SetGenericOption("muxrate", "1411200"));
  EXPECT_EQ(engine->OptionContexts.FormatPrivateOptions.Value("muxrate"), "1411200");
  AVFormatContext* raw = nullptr;
  ASSERT_GE(FF.avformat_alloc_output_context2(&raw, nullptr, "vcd", nullptr), 0);
  TFormatContextPtr output(raw);
  engine->ApplyPrivateFormatOptions(output.get());
  int64_t muxrate = 0;
  ASSERT_GE(FF.av_opt_get_int(output->priv_data, "muxrate", 0, &muxrate), 0);
  EXPECT_EQ(muxrate, 1411200);
}

TEST_F(GenericOptions, RenamedOptionsReachTheirSuccessor) {
  EXPECT_TRUE(engine->SetGenericOption("gop", "30"));
  EXPECT_EQ(CodecInt(MediaVideo, "g"), 30);
  EXPECT_EQ(engine->OptionContexts.OptionNames.back(), "g");
  EXPECT_TRUE(engine->SetGenericOption("nr", "200"));
  EXPECT_TRUE(engine->SetGenericOption("me_method", "x1"));
  TCodecContextPtr mpeg4 = EncoderContext("mpeg4");
  engine->ApplyPrivateCodecOptions(mpeg4.get(), MediaVideo);
  EXPECT_EQ(PrivateInt(mpeg4.get(), "noise_reduction"), 200);
  EXPECT_EQ(PrivateInt(mpeg4.get(), "motion_est"), PrivateConst(mpeg4.get(), "motion_est", "xone"));
}

TEST_F(GenericOptions, PrivateEncoderOptionsAreKeptPerMediaTypeAndCheckedWhenApplied) {
  EXPECT_TRUE(engine->SetGenericOption("data_partitioning", "1"));
  EXPECT_TRUE(engine->SetGenericOption("reservoir", "0"));
  auto& priv = engine->OptionContexts.CodecPrivateOptions;
  EXPECT_TRUE(priv[MediaVideo].Has("data_partitioning"));
  EXPECT_FALSE(priv[MediaAudio].Has("data_partitioning"));
  EXPECT_TRUE(priv[MediaAudio].Has("reservoir"));
  TCodecContextPtr mpeg4 = EncoderContext("mpeg4");
  engine->ApplyPrivateCodecOptions(mpeg4.get(), MediaVideo);
  EXPECT_EQ(PrivateInt(mpeg4.get(), "data_partitioning"), 1);

  engine->SetGenericOption("data_partitioning", "perhaps");
  TLibraryLogCapture libraryLog;
  TCodecContextPtr other = EncoderContext("mpeg4");
  engine->ApplyPrivateCodecOptions(other.get(), MediaVideo);
  EXPECT_TRUE(libraryLog.Contains("Invalid value \"perhaps\" for option \"data_partitioning\"\n"));
  EXPECT_EQ(PrivateInt(other.get(), "data_partitioning"), 0);
}

TEST_F(GenericOptions, FindCodecByNameWithItsMessages) {
  TEngineTestAccess& e = *engine;
  AVCodecID id = AV_CODEC_ID_MPEG1VIDEO;
  const AVCodec* codec = nullptr;
  e.FindCodecByName("", AVMEDIA_TYPE_VIDEO, true, id);
  EXPECT_EQ(id, AV_CODEC_ID_NONE);
  e.FindCodecByName("mpeg4", AVMEDIA_TYPE_VIDEO, true, id, &codec);
  EXPECT_EQ(id, AV_CODEC_ID_MPEG4);
  ASSERT_NE(codec, nullptr);
  EXPECT_TRUE(FF.av_codec_is_encoder(codec));

  struct Row {
    const char* name;
    AVMediaType type;
    bool encoder;
    const char* error;
  };
  const Row rows[] = {{"nosuch", AVMEDIA_TYPE_VIDEO, true, "Unknown encoder 'nosuch'"},
                      {"nosuch", AVMEDIA_TYPE_AUDIO, false, "Unknown decoder 'nosuch'"},
                      {"mpeg4", AVMEDIA_TYPE_AUDIO, true, "Invalid encoder type 'mpeg4'"},
                      {"mp3", AVMEDIA_TYPE_VIDEO, false, "Invalid decoder type 'mp3'"},
                      {"libfaac", AVMEDIA_TYPE_AUDIO, false, "Unknown decoder 'libfaac'"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(EngineFailure([&] { e.FindCodecByName(r.name, r.type, r.encoder, id); }), r.error);
  }

  // Encoders of the old generation that this one lacks: their successors.
  e.FindCodecByName("libfaac", AVMEDIA_TYPE_AUDIO, true, id, &codec);
  EXPECT_EQ(id, AV_CODEC_ID_AAC);
  bool haveX264 = FF.avcodec_find_encoder_by_name("libx264") != nullptr;
  const std::string failure =
      EngineFailure([&] { e.FindCodecByName("avc", AVMEDIA_TYPE_VIDEO, true, id, &codec); });
  if (haveX264) {
    EXPECT_EQ(failure, "(nothing raised)");
    EXPECT_EQ(id, AV_CODEC_ID_H264);
  } else {
    EXPECT_EQ(failure, "Unknown encoder 'avc'");
  }
}

}  // namespace
}  // namespace ok::test
