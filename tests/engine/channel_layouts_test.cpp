// The layout an encoder is given for a source layout it may not take.

#include "engine/files/channel_layouts.h"

#include <gtest/gtest.h>

#include <string>

#include "engine_test_support.h"

namespace ok::test {
namespace {

struct TLayoutCase {
  const char* Encoder;
  const char* Source;
  uint64_t Mask;       // of the source
  const char* Chosen;  // "" when the source's layout is kept
};

void PrintTo(const TLayoutCase& c, std::ostream* os) { *os << c.Encoder << " " << c.Source; }

class AcceptedLayouts : public EngineTest, public ::testing::WithParamInterface<TLayoutCase> {};

std::string Describe(const AVChannelLayout& layout) {
  char text[64] = "";
  FF.av_channel_layout_describe(&layout, text, sizeof text);
  return text;
}

TEST_P(AcceptedLayouts, AreTheNearestTheEncoderTakes) {
  const TLayoutCase& c = GetParam();
  const AVCodec* encoder = FF.avcodec_find_encoder_by_name(c.Encoder);
  ASSERT_NE(encoder, nullptr);
  AVChannelLayout source{}, chosen{};
  ASSERT_EQ(FF.av_channel_layout_from_mask(&source, c.Mask), 0);
  ASSERT_EQ(Describe(source), c.Source);
  const bool changed = NearestAcceptedLayout(encoder, source, chosen);
  EXPECT_EQ(changed ? Describe(chosen) : std::string(), c.Chosen);
  FF.av_channel_layout_uninit(&chosen);
  FF.av_channel_layout_uninit(&source);
}

INSTANTIATE_TEST_SUITE_P(Table, AcceptedLayouts,
                         ::testing::Values(TLayoutCase{"libmp3lame", "5.1", AV_CH_LAYOUT_5POINT1_BACK,
                                                       "stereo"},
                                           TLayoutCase{"libmp3lame", "7.1", AV_CH_LAYOUT_7POINT1, "stereo"},
                                           TLayoutCase{"libmp3lame", "mono", AV_CH_LAYOUT_MONO, ""},
                                           TLayoutCase{"mp2", "5.1(side)", AV_CH_LAYOUT_5POINT1, "stereo"},
                                           TLayoutCase{"mp2", "3.0", AV_CH_LAYOUT_SURROUND, "stereo"},
                                           TLayoutCase{"ac3", "5.1", AV_CH_LAYOUT_5POINT1_BACK, ""},
                                           TLayoutCase{"ac3", "7.1", AV_CH_LAYOUT_7POINT1, "stereo"},
                                           TLayoutCase{"nellymoser", "stereo", AV_CH_LAYOUT_STEREO, "mono"},
                                           TLayoutCase{"wmav2", "5.1", AV_CH_LAYOUT_5POINT1_BACK, "stereo"},
                                           TLayoutCase{"wmav2", "stereo", AV_CH_LAYOUT_STEREO, ""},
                                           TLayoutCase{"aac", "5.1", AV_CH_LAYOUT_5POINT1_BACK, ""},
                                           TLayoutCase{"flac", "5.1", AV_CH_LAYOUT_5POINT1_BACK, ""}),
                         [](const auto& info) {
                           std::string name = std::string(info.param.Encoder) + "_" + info.param.Source;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

}  // namespace
}  // namespace ok::test
