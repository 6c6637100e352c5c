// The encoder contexts an output gets from the option state: size, aspect, formats, rates and every
// encoder option.

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "output_file_test_support.h"

namespace ok::test {
namespace {

TEST_F(OutputFile, TheVideoEncoderTakesSizeAspectAndFormatFromTheState) {
  OpenInput(AvFixture());
  engine->ApplyOption("s", "160x120");
  engine->ApplyOption("padtop", "16");
  engine->ApplyOption("padbottom", "16");
  engine->ApplyOption("aspect", "16:9");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "sized.avi"), 1);
  AVCodecContext* v = Encoder(0);
  EXPECT_EQ(v->width, 160);
  EXPECT_EQ(v->height, 152);
  // 16:9 shown on 160x152 pixels: 152 × 16/9 / 160 = 76/45.
  EXPECT_EQ(v->sample_aspect_ratio.num, 76);
  EXPECT_EQ(v->sample_aspect_ratio.den, 45);
  EXPECT_EQ(Output().Streams[0].Stream->sample_aspect_ratio.num, 76);
  EXPECT_EQ(Output().Streams[0].Stream->sample_aspect_ratio.den, 45);
  EXPECT_EQ(v->pix_fmt, AV_PIX_FMT_YUV420P);

  // No size known: the display ratio is taken as 4:3-based.
  engine->ResetOptions();
  engine->ApplyOption("aspect", "1.333");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "unsized.avi"), 1);
  EXPECT_EQ(Encoder(0)->sample_aspect_ratio.num, 1);
  EXPECT_EQ(Encoder(0)->sample_aspect_ratio.den, 1);

  // An encoder that cannot take the input's pixel format gets its first one.
  engine->ResetOptions();
  OpenInput(AvFixture());
  engine->ApplyOption("vcodec", "png");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "png.mkv"), 1);
  const AVCodec* png = Output().Streams[0].Codec;
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(Encoder(0)->pix_fmt, png->pix_fmts[0]);
  EXPECT_NE(Encoder(0)->pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(engine->FramePixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(engine->OutputCodecs[0], png);
}

TEST_F(OutputFile, FrameRatesComeFromTheEncodersListUnlessForced) {
  OpenInput(AvFixture());
  engine->ApplyOption("r", "26");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "list.mpeg"), 1);
  EXPECT_EQ(Encoder(0)->time_base.num, 1);
  EXPECT_EQ(Encoder(0)->time_base.den, 25);
  ASSERT_TRUE(WriteShortFile(Output()));

  engine->ApplyOption("force_fps", "1");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "forced.mpeg"), 2);
  EXPECT_EQ(Encoder(0, 1)->time_base.den, 26);

  // No rate known: 25 fps.
  engine->ResetOptions();
  ASSERT_EQ(engine->OpenOutput(tmp_ / "norate.avi"), 1);
  EXPECT_EQ(Encoder(0)->time_base.num, 1);
  EXPECT_EQ(Encoder(0)->time_base.den, 25);
}

TEST_F(OutputFile, TheAudioEncoderTakesRateFormatAndChannelsFromTheState) {
  OpenInput(Fixture("out_src_aac.mp4", "-f lavfi -i sine=duration=1:sample_rate=48000 -ac 2 -c:a aac"));
  ASSERT_EQ(engine->AudioSampleFmt, AV_SAMPLE_FMT_FLTP);
  ASSERT_EQ(engine->OpenOutput(tmp_ / "mp2.mpeg"), 1);
  AVCodecContext* a = Encoder(0);
  EXPECT_EQ(a->codec_id, AV_CODEC_ID_MP2);
  EXPECT_EQ(a->sample_fmt, AV_SAMPLE_FMT_S16);  // the only one MP2 takes
  EXPECT_EQ(a->sample_rate, 48000);
  EXPECT_EQ(a->time_base.den, 48000);
  EXPECT_EQ(a->ch_layout.nb_channels, 2);
  EXPECT_EQ(a->ch_layout.u.mask, AV_CH_LAYOUT_STEREO);

  // AC-3 has no 22050 Hz: the nearest rate it has.
  engine->ApplyOption("ar", "22050");
  engine->ApplyOption("ac", "1");
  ASSERT_EQ(engine->OpenOutput(tmp_ / "ac3.rm"), 2);
  ASSERT_EQ(Output(1).Streams.size(), 1u);
  a = Encoder(0, 1);
  EXPECT_EQ(a->sample_rate, 32000);
  EXPECT_EQ(a->time_base.den, 32000);
  EXPECT_EQ(a->ch_layout.nb_channels, 1);
  ASSERT_TRUE(WriteShortFile(Output(1)));
}

struct TEncoderOption {
  const char* name;
  std::vector<std::pair<const char*, const char*>> options;
  std::function<void(const AVCodecContext&, const TOutputStream&)> check;
};

void PrintTo(const TEncoderOption& o, std::ostream* os) { *os << o.name; }

class VideoEncoderOptions : public OutputFile, public ::testing::WithParamInterface<TEncoderOption> {};

TEST_P(VideoEncoderOptions, ReachTheEncoderContext) {
  OpenInput(AvFixture());
  for (const auto& [name, value] : GetParam().options) engine->ApplyOption(name, value);
  ASSERT_EQ(engine->OpenOutput(tmp_ / "options.mp4"), 1);
  GetParam().check(*Encoder(0), Output().Streams[0]);
}

std::string MatrixText() {
  std::string text;
  for (int i = 0; i < 64; ++i) text += (i ? "," : "") + std::to_string(8 + i);
  return text;
}
const std::string Matrix = MatrixText();

INSTANTIATE_TEST_SUITE_P(
    Table, VideoEncoderOptions,
    ::testing::Values(TEncoderOption{"qscale",
                                     {{"qscale", "3"}},
                                     [](const AVCodecContext& c, const TOutputStream& s) {
                                       EXPECT_TRUE(c.flags & AV_CODEC_FLAG_QSCALE);
                                       EXPECT_EQ(c.global_quality, 3 * FF_QP2LAMBDA);
                                       EXPECT_FLOAT_EQ(s.Quality, 3.0f * FF_QP2LAMBDA);
                                     }},
                      TEncoderOption{"no_qscale",
                                     {},
                                     [](const AVCodecContext& c, const TOutputStream& s) {
                                       EXPECT_FALSE(c.flags & AV_CODEC_FLAG_QSCALE);
                                       EXPECT_EQ(s.Quality, 0);
                                       EXPECT_FALSE(c.flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2));
                                       EXPECT_TRUE(c.flags & AV_CODEC_FLAG_GLOBAL_HEADER);  // MP4 wants them
                                     }},
                      TEncoderOption{"pass1",
                                     {{"pass", "1"}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       EXPECT_TRUE(c.flags & AV_CODEC_FLAG_PASS1);
                                       EXPECT_FALSE(c.flags & AV_CODEC_FLAG_PASS2);
                                     }},
                      TEncoderOption{"pass2",
                                     {{"pass", "2"}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       EXPECT_TRUE(c.flags & AV_CODEC_FLAG_PASS2);
                                       EXPECT_FALSE(c.flags & AV_CODEC_FLAG_PASS1);
                                     }},
                      TEncoderOption{"psnr_intra_dc",
                                     {{"vcodec", "mpeg4"}, {"psnr", ""}, {"intra", ""}, {"dc", "10"}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       EXPECT_TRUE(c.flags & AV_CODEC_FLAG_PSNR);
                                       EXPECT_EQ(c.gop_size, 0);
                                       EXPECT_EQ(c.intra_dc_precision, 2);
                                     }},
                      TEncoderOption{"local_header_only",
                                     {{"vglobal", "2"}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       EXPECT_TRUE(c.flags2 & AV_CODEC_FLAG2_LOCAL_HEADER);
                                       EXPECT_FALSE(c.flags & AV_CODEC_FLAG_GLOBAL_HEADER);
                                     }},
                      TEncoderOption{"matrices",
                                     {{"vcodec", "mpeg4"}, {"intra_matrix", Matrix.c_str()}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       ASSERT_NE(c.intra_matrix, nullptr);
                                       EXPECT_EQ(c.intra_matrix[0], 8);
                                       EXPECT_EQ(c.intra_matrix[63], 71);
                                       EXPECT_EQ(c.inter_matrix, nullptr);
                                     }},
                      TEncoderOption{"rc_override",
                                     {{"rc_override", "0,100,2/200,300,-50"}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       ASSERT_EQ(c.rc_override_count, 2);
                                       EXPECT_EQ(c.rc_override[0].start_frame, 0);
                                       EXPECT_EQ(c.rc_override[0].end_frame, 100);
                                       EXPECT_EQ(c.rc_override[0].qscale, 2);
                                       EXPECT_FLOAT_EQ(c.rc_override[0].quality_factor, 1.0f);
                                       EXPECT_EQ(c.rc_override[1].start_frame, 200);
                                       EXPECT_EQ(c.rc_override[1].end_frame, 300);
                                       EXPECT_EQ(c.rc_override[1].qscale, 0);
                                       EXPECT_FLOAT_EQ(c.rc_override[1].quality_factor, 0.5f);
                                     }},
                      TEncoderOption{"buffer",
                                     {{"bufsize", "1000000"}, {"b", "300000"}},
                                     [](const AVCodecContext& c, const TOutputStream&) {
                                       EXPECT_EQ(c.rc_buffer_size, 1000000);
                                       EXPECT_EQ(c.rc_initial_buffer_occupancy, 750000);
                                       EXPECT_EQ(c.bit_rate, 300000);
                                     }},
                      TEncoderOption{"tag_and_filters",
                                     {{"vcodec", "mpeg4"}, {"vtag", "XVID"}, {"vbsf", "dump_extra"}},
                                     [](const AVCodecContext& c, const TOutputStream& s) {
                                       EXPECT_EQ(c.codec_tag, MKTAG('X', 'V', 'I', 'D'));
                                       ASSERT_EQ(s.BitstreamFilters.size(), 1u);
                                       EXPECT_STREQ(s.BitstreamFilters[0]->filter->name, "dump_extra");
                                     }},
                      TEncoderOption{"stream_copy",
                                     {{"vcodec", "copy"}},
                                     [](const AVCodecContext& c, const TOutputStream& s) {
                                       EXPECT_TRUE(s.StreamCopy);
                                       EXPECT_EQ(s.Codec, nullptr);
                                       EXPECT_EQ(c.codec_type, AVMEDIA_TYPE_VIDEO);
                                       EXPECT_EQ(c.sample_aspect_ratio.num, 1);
                                       EXPECT_EQ(c.sample_aspect_ratio.den, 1);
                                     }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ok::test
