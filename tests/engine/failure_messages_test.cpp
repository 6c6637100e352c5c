// Every message an option can raise, and the limits of the fixed-size tables.

#include <gtest/gtest.h>

#include <functional>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"

namespace ok::test {
namespace {

enum TKind { kEngine, kConvert, kAssertion };

struct TFailure {
  const char* what;
  std::function<void(TCustomFFmpeg&)> run;
  TKind kind;
  std::string message;  // exact, or the start for assertions
};

void Option(TCustomFFmpeg& e, const char* name, const char* value) { e.ApplyOption(name, value); }

std::function<void(TCustomFFmpeg&)> Opt(const char* name, const char* value) {
  return [=](TCustomFFmpeg& e) { Option(e, name, value); };
}

// With a 320x240 frame first, for the crops.
std::function<void(TCustomFFmpeg&)> Framed(const char* name, const char* value) {
  return [=](TCustomFFmpeg& e) {
    Option(e, "s", "320x240");
    Option(e, name, value);
  };
}

const char* const CropHint = "\nRemember to crop first and scale second.";

std::vector<TFailure> Failures() {
  return {
      {"f", Opt("f", "xyz"), kEngine, "Unknown input or output format: xyz"},
      {"input format", [](TCustomFFmpeg& e) { e.SetInputFormat("xyz"); }, kEngine,
       "Unknown input format: xyz"},
      {"input format of a muxer", [](TCustomFFmpeg& e) { e.SetInputFormat("svcd"); }, kEngine,
       "Unknown input format: svcd"},
      {"output format", [](TCustomFFmpeg& e) { e.SetOutputFormat("xyz"); }, kEngine,
       "Unknown output format: xyz"},
      {"threads negative", Opt("threads", "-1"), kEngine,
       "threads must be a whole number >= 0 (0: one per core), not '-1'"},
      {"threads not a number", Opt("threads", "2.5"), kEngine,
       "threads must be a whole number >= 0 (0: one per core), not '2.5'"},
      {"r", Opt("r", "abc"), kEngine, "Incorrect frame rate"},
      {"r negative", Opt("r", "-25"), kEngine, "Incorrect frame rate"},
      {"s", Opt("s", "abc"), kEngine, "Incorrect frame size"},
      {"s odd", Opt("s", "320x241"), kEngine, "Frame size must be a multiple of 2"},
      {"croptop", Framed("croptop", "7"), kEngine, "Top crop size must be a multiple of 2"},
      {"cropbottom", Framed("cropbottom", "3"), kEngine, "Bottom crop size must be a multiple of 2"},
      {"cropleft", Framed("cropleft", "5"), kEngine, "Left crop size must be a multiple of 2"},
      {"cropright", Framed("cropright", "1"), kEngine, "Right crop size must be a multiple of 2"},
      {"croptop range", Framed("croptop", "240"), kEngine,
       std::string("Vertical crop dimensions are outside the range of the original image.") + CropHint},
      {"cropbottom without size", Opt("cropbottom", "0"), kEngine,
       std::string("Vertical crop dimensions are outside the range of the original image.") + CropHint},
      {"cropleft range", Framed("cropleft", "320"), kEngine,
       std::string("Horizontal crop dimensions are outside the range of the original image.") + CropHint},
      {"cropright range", Framed("cropright", "400"), kEngine,
       std::string("Horizontal crop dimensions are outside the range of the original image.") + CropHint},
      {"padtop", Opt("padtop", "3"), kEngine, "Top pad size must be a multiple of 2"},
      {"padbottom", Opt("padbottom", "5"), kEngine, "Bottom pad size must be a multiple of 2"},
      {"padleft", Opt("padleft", "7"), kEngine, "Left pad size must be a multiple of 2"},
      {"padright", Opt("padright", "9"), kEngine, "Right pad size must be a multiple of 2"},
      {"aspect 4:0", Opt("aspect", "4:0"), kEngine, "Incorrect aspect ratio specification."},
      {"aspect abc", Opt("aspect", "abc"), kEngine, "Incorrect aspect ratio specification."},
      {"aspect 0", Opt("aspect", "0"), kEngine, "Incorrect aspect ratio specification."},
      {"aspect negative", Opt("aspect", "-1:1"), kEngine, "Incorrect aspect ratio specification."},
      {"croptop negative", Framed("croptop", "-2"), kEngine, "Top crop size must not be negative"},
      {"padleft negative", Opt("padleft", "-2"), kEngine, "Left pad size must not be negative"},
      {"ar negative", Opt("ar", "-44100"), kEngine, "ar must be a whole number > 0, not '-44100'"},
      {"ac zero", Opt("ac", "0"), kEngine, "ac must be a whole number > 0, not '0'"},
      {"t zero", Opt("t", "0"), kEngine, "Invalid duration specification for t: 0"},
      {"t negative", Opt("t", "-1"), kEngine, "Invalid duration specification for t: -1"},
      {"ss negative", Opt("ss", "-5"), kEngine, "Invalid duration specification for ss: -5"},
      {"vframes negative", Opt("vframes", "-1"), kEngine, "vframes must be a whole number >= 0, not '-1'"},
      {"map not a number", Opt("map", "abc"), kEngine, "Incorrect stream map specification: abc"},
      {"map stream not a number", Opt("map", "0:v"), kEngine, "Incorrect stream map specification: 0:v"},
      {"metadata", Opt("metadata", "title"), kEngine, "Missing ="},
      {"qscale 0", Opt("qscale", "0"), kEngine, "qscale must be > 0.0 and <= 255"},
      {"qscale 256", Opt("qscale", "256"), kEngine, "qscale must be > 0.0 and <= 255"},
      {"vtag", Opt("vtag", "abc"), kAssertion, "video tag parameter must be 4 chars"},
      {"atag", Opt("atag", "mp4a "), kAssertion, "audio tag parameter must be 4 chars"},
      {"vhook", Opt("vhook", "/nonexistent/hook.so 1 2"), kEngine,
       "Failed to add video hook function: /nonexistent/hook.so 1 2"},
      {"vhook empty", Opt("vhook", ""), kEngine, "Failed to add video hook function: "},
      {"itsscale", Opt("itsscale", "20:1.0"), kEngine, "stream index over MAX_STREAMS(20)"},
      {"t", Opt("t", "abc"), kEngine, "Invalid duration specification for t: abc"},
      {"ss", Opt("ss", "1:xx"), kEngine, "Invalid duration specification for ss: 1:xx"},
      {"itsoffset", Opt("itsoffset", "soon"), kEngine, "Invalid duration specification for itsoffset: soon"},
      {"timestamp", Opt("timestamp", "yesterday"), kEngine,
       "Invalid date specification for timestamp: yesterday"},
      {"pass", Opt("pass", "3"), kEngine, "pass number can be only 1 or 2"},
      {"intra_matrix", Opt("intra_matrix", "1,2,3"), kEngine, "Syntax error in matrix \"1,2,3\" at coeff 2"},
      {"inter_matrix", Opt("inter_matrix", "8"), kEngine, "Syntax error in matrix \"8\" at coeff 0"},
      {"vbsf", Opt("vbsf", " nosuch=x "), kEngine, "Unknown bitstream filter nosuch=x"},
      {"absf", Opt("absf", "nosuch"), kEngine, "Unknown bitstream filter nosuch"},
      {"newvideo", Opt("newvideo", ""), kEngine, "At least one output file must be specified"},
      {"newaudio", Opt("newaudio", ""), kEngine, "At least one output file must be specified"},
      {"newsubtitle", Opt("newsubtitle", ""), kEngine, "At least one output file must be specified"},
      {"target type", Opt("target", "pal-xyz"), kEngine, "Unknown target type"},
      {"target rate", Opt("target", "vcd"), kEngine, "frame_rate is invalid."},
      {"integer", Opt("vframes", "12x"), kConvert, "'12x' is not a valid integer value"},
      {"integer range", Opt("vol", "2147483648"), kConvert, "'2147483648' is not a valid integer value"},
      {"int64", Opt("fs", "1.5"), kConvert, "'1.5' is not a valid integer value"},
      {"empty integer", Opt("ar", ""), kConvert, "'' is not a valid integer value"},
      {"crop integer", Opt("croptop", "ten"), kConvert, "'ten' is not a valid integer value"},
      {"padcolor", Opt("padcolor", "red"), kConvert, "'red' is not a valid integer value"},
      {"pass integer", Opt("pass", "first"), kConvert, "'first' is not a valid integer value"},
      {"v", Opt("v", "loud"), kConvert, "'loud' is not a valid integer value"},
      {"float", Opt("aq", "abc"), kConvert, "'abc' is not a valid floating point value"},
      {"float inf", Opt("muxdelay", "inf"), kConvert, "'inf' is not a valid floating point value"},
      {"qscale float", Opt("qscale", "1,5"), kConvert, "'1,5' is not a valid floating point value"},
  };
}

class FailureMessages : public EngineTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(FailureMessages, RaisesItsExactMessage) {
  const TFailure f = Failures()[GetParam()];
  SCOPED_TRACE(f.what);
  try {
    f.run(*engine);
    ADD_FAILURE() << "nothing raised";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(f.kind, kEngine);
    EXPECT_EQ(e.what(), f.message);
  } catch (const EConvertError& e) {
    EXPECT_EQ(f.kind, kConvert);
    EXPECT_EQ(e.what(), f.message);
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(f.kind, kAssertion);
    std::string text = e.what();
    EXPECT_EQ(text.substr(0, f.message.size()), f.message);
    EXPECT_NE(text.find("line "), std::string::npos) << "carries where it was checked: " << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, FailureMessages, ::testing::Range<size_t>(0, Failures().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string name;
                           for (char c : std::string(Failures()[info.param].what))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

using Limits = EngineTest;

TEST_F(Limits, StreamMapsBeyondTheTableAreRefused) {
  for (int i = 0; i < MaxStreamMaps; ++i) engine->ApplyOption("map", "0." + std::to_string(i % 20));
  EXPECT_EQ(engine->NbStreamMaps, 400);
  try {
    engine->ApplyOption("map", "0.1");
    ADD_FAILURE() << "map 401 accepted";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Too many stream maps: at most 400 are allowed");
  }
  EXPECT_EQ(engine->NbStreamMaps, 400);
  EXPECT_EQ(engine->StreamMaps[399].StreamIndex, 399 % 20);
}

TEST_F(Limits, MetadataMapsBeyondTheTableAreRefused) {
  for (int i = 0; i < MaxMetaDataMaps; ++i) engine->ApplyOption("map_meta_data", "0:" + std::to_string(i));
  try {
    engine->ApplyOption("map_meta_data", "0:0");
    ADD_FAILURE() << "metadata map 21 accepted";
  } catch (const FFmpegException& e) {
    EXPECT_STREQ(e.what(), "Too many metadata maps: at most 20 are allowed");
  }
  EXPECT_EQ(engine->NbMetaDataMaps, 20);
  EXPECT_EQ(engine->MetaDataMaps[19].InFile, 19);
}

TEST_F(Limits, HookValuesOfMoreThanSixtyFourTokensAreRefused) {
  std::string value = "/nonexistent/hook.so";
  for (int i = 1; i < MaxHookTokens; ++i) value += " " + std::to_string(i);
  // 64 tokens reach the module loader (which cannot load this one).
  try {
    engine->ApplyOption("vhook", value);
    ADD_FAILURE() << "a missing module accepted";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.what(), "Failed to add video hook function: " + value);
  }
  value += " 64";
  try {
    engine->ApplyOption("vhook", value);
    ADD_FAILURE() << "65 tokens accepted";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.what(), "Too many video hook arguments: at most 64 tokens are allowed in \"" + value + "\"");
  }
  EXPECT_FALSE(engine->UsingVhook);
  EXPECT_EQ(engine->FrameHooks.Count(), 0);
}

}  // namespace
}  // namespace ok::test
