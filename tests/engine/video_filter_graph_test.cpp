#include "engine/transcode/video_filter_graph.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "media/ff_loader.h"

namespace ok {
namespace {

class VideoFilterGraph : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg();
  }

  // A grey 4:2:0 picture of the input size.
  TFramePtr Picture(int64_t pts) {
    TFramePtr f(FF.av_frame_alloc());
    f->format = AV_PIX_FMT_YUV420P;
    f->width = input.Width;
    f->height = input.Height;
    EXPECT_EQ(FF.av_frame_get_buffer(f.get(), 0), 0);
    for (int plane = 0; plane < 3; ++plane) {
      int rows = plane ? (f->height + 1) / 2 : f->height;
      for (int y = 0; y < rows; ++y)
        std::memset(f->data[plane] + y * f->linesize[plane], 128, f->linesize[plane]);
    }
    f->pts = pts;
    return f;
  }

  // Pushes `count` pictures 40 ms apart, flushes, and collects what comes out.
  std::vector<std::pair<int64_t, std::array<int, 3>>> Run(int count) {
    std::vector<std::pair<int64_t, std::array<int, 3>>> out;
    TFramePtr filtered(FF.av_frame_alloc());
    auto drain = [&] {
      int64_t pts = 0;
      while (graph.GetFilteredVideoPicture(filtered.get(), pts) == 1)
        out.push_back({pts, {filtered->width, filtered->height, filtered->format}});
    };
    for (int i = 0; i < count; ++i) {
      TFramePtr p = Picture(i * 40000);
      EXPECT_EQ(graph.PushPicture(p.get(), i * 40000), 0);
      drain();
    }
    beforeFlush = out.size();
    EXPECT_EQ(graph.Flush(), 0);
    drain();
    return out;
  }

  size_t beforeFlush = 0;
  TVideoFilterInput input{640, 480, AV_PIX_FMT_YUV420P};
  TVideoFilterEncoder encoder{640, 480, AV_PIX_FMT_YUV420P};
  TVideoFilterSettings settings;
  TVideoFilterGraph graph;
};

TEST_F(VideoFilterGraph, ScalesToTheEncoderSizeBeforeASizeKeepingChain) {
  encoder.Width = 320;
  encoder.Height = 240;
  settings.VideoFilters = "hflip";
  ASSERT_NO_THROW(graph.Configure(input, encoder, settings));
  EXPECT_EQ(encoder.Width, 320);
  EXPECT_EQ(encoder.Height, 240);
  auto out = Run(3);
  ASSERT_EQ(out.size(), 3u);
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].first, int64_t(i) * 40000) << "times pass through";
    EXPECT_EQ(out[i].second, (std::array<int, 3>{320, 240, AV_PIX_FMT_YUV420P}));
  }
}

TEST_F(VideoFilterGraph, ASizeChangingChainSetsTheEncoderSizeUnlessPadsAreSet) {
  settings.VideoFilters = "transpose";
  settings.FrameWidth = 640;
  settings.FrameHeight = 480;
  ASSERT_NO_THROW(graph.Configure(input, encoder, settings));
  EXPECT_EQ(encoder.Width, 480);
  EXPECT_EQ(encoder.Height, 640);
  auto out = Run(2);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].second[0], 480);
  EXPECT_EQ(out[0].second[1], 640);

  TVideoFilterEncoder padded{640, 512, AV_PIX_FMT_YUV420P};
  settings.PadTop = settings.PadBottom = 16;
  EXPECT_EQ(test::EngineFailure([&] { graph.Configure(input, padded, settings); }),
            std::string("Error opening filters: ") + TVideoFilterGraph::PadMessage);
  EXPECT_FALSE(graph.Configured());
}

TEST_F(VideoFilterGraph, RefusesCropsAndChainsTheLibraryRejects) {
  settings.VideoFilters = "hflip";
  settings.CropTop = 8;
  EXPECT_EQ(test::EngineFailure([&] { graph.Configure(input, encoder, settings); }),
            std::string("Error opening filters: ") + TVideoFilterGraph::CropMessage);

  settings.CropTop = 0;
  settings.VideoFilters = "nosuchfilter=1,,";
  EXPECT_EQ(test::EngineFailure([&] { graph.Configure(input, encoder, settings); }), "Error opening filters!")
      << "library failures carry no text of their own";
  EXPECT_FALSE(graph.Configured());
}

TEST_F(VideoFilterGraph, TheSinkDeliversOnlyTheEncodersPixelFormat) {
  encoder.PixFmt = AV_PIX_FMT_YUV422P;
  ASSERT_NO_THROW(graph.Configure(input, encoder, settings));
  auto out = Run(2);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].second[2], AV_PIX_FMT_YUV422P);
}

TEST_F(VideoFilterGraph, ChainsThatChangeTheFrameCountOrHoldPicturesBackAreServed) {
  input.FrameRate = AVRational{25, 1};
  settings.VideoFilters = "fps=50";
  ASSERT_NO_THROW(graph.Configure(input, encoder, settings));
  // 10 pictures 40 ms apart (the last at 360 ms, no duration known): one every 20 ms up to there.
  auto doubled = Run(10);
  EXPECT_GE(doubled.size(), 18u);
  EXPECT_LE(doubled.size(), 20u);

  // "reverse" hands out nothing before the end of the input: only the flush brings the pictures.
  settings.VideoFilters = "reverse";
  ASSERT_NO_THROW(graph.Configure(input, encoder, settings));
  auto reversed = Run(4);
  EXPECT_EQ(beforeFlush, 0u);
  ASSERT_EQ(reversed.size(), 4u);
  EXPECT_TRUE(graph.AtEnd());
}

}  // namespace
}  // namespace ok
