// Video output over real encoders and muxers: the drop and duplicate decisions of each sync
// method, the frame limit and the stop request, crop, scale and pad checked on the decoded
// output, pictures kept by a B-frame encoder, and the statistics lines.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "engine/ffmpeg_exception.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

using TPixel = std::function<uint8_t(int plane, int x, int y)>;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

class VideoOut : public EngineTest {
 protected:
  // One video stream of `codec` in `name`, its encoder opened (after `configure`) and the header
  // written; the output stream state follows `ist`.
  void Open(const std::string& name, const char* codec, int width, int height, AVRational timeBase,
            AVPixelFormat format = AV_PIX_FMT_YUV420P,
            const std::function<void(AVCodecContext*)>& configure = {}) {
    path = tmp / name;
    engine->VideoCodecName = codec;
    engine->AudioDisable = true;
    engine->SubtitleDisable = true;
    ASSERT_EQ(engine->OpenOutput(path), 1);
    TOutputStream& s = File().Streams[0];
    AVCodecContext* c = s.Encoder.get();
    c->width = width;
    c->height = height;
    c->pix_fmt = format;
    c->time_base = timeBase;
    c->framerate = AVRational{timeBase.den, timeBase.num};
    if (configure) configure(c);
    ASSERT_GE(FF.avcodec_open2(c, s.Codec, nullptr), 0);
    ASSERT_GE(s.UpdateStreamParameters(), 0);
    ASSERT_GE(FF.avformat_write_header(File().Context.get(), nullptr), 0);
    ost.Stream = s.Stream;
    ost.Encoder = c;
    ost.Output = &s;
    ost.EncodingNeeded = 1;
    ost.SyncInput = &ist;
  }

  TOutputFile& File() { return engine->OutputFiles[0]; }
  int& OptionContextFlags() { return engine->OptionContexts.CodecOptions[MediaVideo]->flags; }
  AVCodecContext* Encoder() { return ost.Encoder; }

  static TFramePtr Picture(int width, int height, const TPixel& pixel,
                           AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    TFramePtr f(FF.av_frame_alloc());
    f->format = format;
    f->width = width;
    f->height = height;
    EXPECT_EQ(FF.av_frame_get_buffer(f.get(), 0), 0);
    const int planes = format == AV_PIX_FMT_YUV420P ? 3 : 1;
    for (int p = 0; p < planes; ++p) {
      const int w = p ? (width + 1) / 2 : format == AV_PIX_FMT_RGB24 ? 3 * width : width;
      const int h = p ? (height + 1) / 2 : height;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f->data[p][y * f->linesize[p] + x] = pixel(p, x, y);
    }
    return f;
  }
  static TPixel Flat(uint8_t y, uint8_t u = 128, uint8_t v = 128) {
    return [=](int plane, int, int) { return plane == 0 ? y : plane == 1 ? u : v; };
  }

  // One decoded picture at `frameTime` (in encoder frames) of the sync input; the size written.
  int Feed(double frameTime, AVFrame* picture) {
    ist.Pts = std::llround(frameTime * av_q2d(Encoder()->time_base) * 1e6);
    int frameSize = -1;
    engine->DoVideoOut(File(), ost, ist, picture, frameSize);
    return frameSize;
  }
  int Feed(double frameTime) {
    TFramePtr p = Picture(Encoder()->width, Encoder()->height, Flat(100));
    return Feed(frameTime, p.get());
  }

  void Finish() {
    engine->FlushVideoOut(File(), ost);
    ASSERT_GE(FF.av_write_trailer(File().Context.get()), 0);
    File().Close();
  }

  std::vector<std::string> Packets(const char* entry = "packet=pts") {
    return Lines(ProbeValue(path, entry, "v:0"));
  }

  // Every picture of the output decoded to planar 4:2:0.
  std::string Decoded() {
    std::string raw = tmp / "decoded.yuv";
    CommandResult r = RunCommand("ffmpeg -v error -y -i " + ShellQuote(path) +
                                 " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p " + ShellQuote(raw));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return ReadAll(raw);
  }

  TempDir tmp;
  std::string path;
  TInputStreamState ist;
  TOutputStreamState ost;
};

TEST_F(VideoOut, AutomaticSyncDuplicatesAndDropsOnAConstantRateFormat) {
  CaptureLog();
  engine->Verbose = 3;
  Open("sync.avi", "mpeg4", 64, 48, {1, 25});
  ASSERT_FALSE(File().Context->oformat->flags & AVFMT_VARIABLE_FPS);

  EXPECT_GT(Feed(2.2), 0);  // 2.2 frames ahead: twice
  EXPECT_EQ(ost.SyncOpts, 2);
  EXPECT_EQ(ost.FrameNumber, 2);
  EXPECT_EQ(engine->NbFramesDup, 1);
  EXPECT_TRUE(Logged("*** 1 dup!"));

  EXPECT_EQ(Feed(0.8), 0);  // 1.2 behind: dropped
  EXPECT_EQ(ost.SyncOpts, 2);
  EXPECT_EQ(ost.FrameNumber, 2);
  EXPECT_EQ(engine->NbFramesDrop, 1);
  EXPECT_TRUE(Logged("*** drop!"));

  EXPECT_GT(Feed(2.5), 0);  // within the thresholds: once
  EXPECT_GT(Feed(3.0), 0);
  EXPECT_EQ(ost.SyncOpts, 4);
  EXPECT_EQ(engine->NbFramesDup, 1);
  EXPECT_EQ(engine->NbFramesDrop, 1);
  EXPECT_GT(engine->VideoSize, 0);
  Finish();
  EXPECT_EQ(Packets().size(), 4u);

  // Below Verbose 3 the counters still count, silently.
  log.clear();
  ost = TOutputStreamState{};
  engine->ResetOptions();
  engine->Verbose = 2;
  Open("quiet.avi", "mpeg4", 64, 48, {1, 25});
  Feed(3.0);
  EXPECT_EQ(engine->NbFramesDup, 2);
  EXPECT_TRUE(log.empty());
  Finish();
}

TEST_F(VideoOut, AutomaticSyncOnAVariableRateFormatJumpsInsteadOfDuplicating) {
  CaptureLog();
  engine->Verbose = 3;
  Open("vfr.mkv", "mpeg4", 64, 48, {1, 25});
  ASSERT_TRUE(File().Context->oformat->flags & AVFMT_VARIABLE_FPS);
  Feed(0.0);
  EXPECT_EQ(Feed(0.3), 0);  // vdelta -0.7
  EXPECT_EQ(engine->NbFramesDrop, 1);
  EXPECT_GT(Feed(4.0), 0);  // vdelta 3.0: once, at the input clock
  EXPECT_EQ(ost.SyncOpts, 5);
  EXPECT_EQ(ost.FrameNumber, 2);
  EXPECT_EQ(engine->NbFramesDup, 0);
  Finish();
  EXPECT_EQ(Packets("packet=pts_time"), (std::vector<std::string>{"0.000000", "0.160000"}));

  // Method 1 duplicates whatever the format.
  ost = TOutputStreamState{};
  engine->ResetOptions();
  engine->VideoSyncMethod = 1;
  Open("cfr.mkv", "mpeg4", 64, 48, {1, 25});
  Feed(3.0);
  EXPECT_EQ(ost.FrameNumber, 3);
  Finish();
}

TEST_F(VideoOut, WithoutSyncTheOutputClockFollowsTheInputRoundedToEven) {
  engine->VideoSyncMethod = 0;
  Open("nosync.nut", "rawvideo", 32, 32, {1, 32});
  Feed(4.5);
  EXPECT_EQ(ost.SyncOpts, 5);  // written at 4
  Feed(5.5);
  Feed(10.0);
  EXPECT_EQ(ost.SyncOpts, 11);
  EXPECT_EQ(engine->NbFramesDup + engine->NbFramesDrop, 0);
  Finish();
  EXPECT_EQ(Packets("packet=pts_time"), (std::vector<std::string>{"0.125000", "0.187500", "0.312500"}));
}

TEST_F(VideoOut, AFineTimeBaseTakesTheInputClockUnderAutomaticSync) {
  Open("fine.nut", "rawvideo", 32, 32, {1, 90000});
  Feed(45000.0);
  Feed(180000.0);  // 135000 frames ahead: still once
  EXPECT_EQ(ost.FrameNumber, 2);
  EXPECT_EQ(engine->NbFramesDup, 0);
  Finish();
  EXPECT_EQ(Packets(), (std::vector<std::string>{"45000", "180000"}));
}

TEST_F(VideoOut, TheFrameLimitCutsDuplicates) {
  engine->MaxFrames[MediaVideo] = 10;
  Open("limit.avi", "mpeg4", 64, 48, {1, 25});
  ost.FrameNumber = 9;
  Feed(3.0);
  EXPECT_EQ(ost.FrameNumber, 10);
  EXPECT_EQ(ost.SyncOpts, 1);
  EXPECT_EQ(Feed(4.0), 0);
  EXPECT_EQ(ost.FrameNumber, 10);
  Finish();
  EXPECT_EQ(Packets().size(), 1u);
}

// Raises the stop request the first time pass-1 statistics are written, that is while the first
// of several repetitions is being written.
ssize_t StopOnWrite(void* cookie, const char*, size_t size) {
  static_cast<TCustomFFmpeg*>(cookie)->StopRequested = true;
  return ssize_t(size);
}

TEST_F(VideoOut, AStopRequestCutsTheRepetitionsShort) {
  Open("stop.avi", "mpeg4", 64, 48, {1, 25}, AV_PIX_FMT_YUV420P,
       [](AVCodecContext* c) { c->flags |= AV_CODEC_FLAG_PASS1; });
  cookie_io_functions_t io{};
  io.write = &StopOnWrite;
  ost.LogFile.reset(fopencookie(engine.get(), "w", io));
  ASSERT_TRUE(ost.LogFile);
  std::setvbuf(ost.LogFile.get(), nullptr, _IONBF, 0);

  Feed(5.0);  // five repetitions due
  EXPECT_EQ(engine->NbFramesDup, 4);
  EXPECT_EQ(ost.FrameNumber, 1);
  EXPECT_EQ(Feed(6.0), 0);
  EXPECT_EQ(ost.FrameNumber, 1);
  ost.LogFile.reset();
  Finish();
  EXPECT_EQ(Packets().size(), 1u);
}

TEST_F(VideoOut, CroppingStartsTheEncodedPictureAtTheBands) {
  CaptureLog();
  Open("crop.nut", "rawvideo", 56, 32, {1, 25});
  ost.VideoCrop = 1;
  ost.TopBand = 16;
  ost.LeftBand = 8;
  // Luma carries 4 x row + column, chroma its row (U) and column (V).
  TFramePtr picture = Picture(64, 48, [](int plane, int x, int y) {
    return uint8_t(plane == 0 ? 4 * y + x : plane == 1 ? y : 100 + x);
  });
  EXPECT_GT(Feed(0, picture.get()), 0);

  // Odd bands cannot be taken from 4:2:0 chroma: the picture is left out.
  ost.TopBand = 3;
  EXPECT_EQ(Feed(1, picture.get()), 0);
  EXPECT_TRUE(Logged("error cropping picture"));
  EXPECT_EQ(ost.FrameNumber, 1);
  engine->ExitOnError = true;
  EXPECT_THROW(
      try { Feed(1, picture.get()); } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "error cropping picture");
        throw;
      },
      FFmpegException);
  Finish();

  std::string out = Decoded();
  ASSERT_EQ(out.size(), 56u * 32 * 3 / 2);
  auto at = [&](size_t offset) { return int(uint8_t(out[offset])); };
  for (int y : {0, 1, 31})
    for (int x : {0, 1, 55}) EXPECT_EQ(at(size_t(y) * 56 + x), 4 * (y + 16) + x + 8) << y << "," << x;
  const size_t u = 56 * 32, v = u + 28 * 16;
  EXPECT_EQ(at(u), 8);
  EXPECT_EQ(at(u + 28 * 15), 23);
  EXPECT_EQ(at(v), 104);
  EXPECT_EQ(at(v + 27), 131);
}

struct TPadCase {
  const char* name;
  int sourceWidth, sourceHeight;
  bool scale;
  int top, bottom, left, right;
};

void PrintTo(const TPadCase& c, std::ostream* os) { *os << c.name; }

class VideoPad : public VideoOut, public ::testing::WithParamInterface<TPadCase> {};

TEST_P(VideoPad, BordersGetThePadColourAndTheMiddleThePicture) {
  const TPadCase& c = GetParam();
  engine->PadColorY = 81;
  engine->PadColorU = 90;
  engine->PadColorV = 240;
  const int width = 640, height = 480;
  Open("pad.nut", "rawvideo", width, height, {1, 25});
  ost.VideoPad = 1;
  ost.PadTop = c.top;
  ost.PadBottom = c.bottom;
  ost.PadLeft = c.left;
  ost.PadRight = c.right;
  const int innerWidth = width - c.left - c.right, innerHeight = height - c.top - c.bottom;
  if (c.scale) {
    ost.VideoResample = 1;
    ost.ResampleHeight = c.sourceHeight;
    ost.ImgResampleCtx.reset(FF.sws_getContext(c.sourceWidth, c.sourceHeight, AV_PIX_FMT_YUV420P, innerWidth,
                                               innerHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                               nullptr));
    ASSERT_TRUE(ost.ImgResampleCtx);
  }
  // PictTmp is left to the video output to make; the second picture reuses it.
  TFramePtr first = Picture(c.sourceWidth, c.sourceHeight, Flat(200, 60, 180));
  TFramePtr second = Picture(c.sourceWidth, c.sourceHeight, Flat(30, 160, 100));
  Feed(0, first.get());
  Feed(1, second.get());
  Finish();

  std::string out = Decoded();
  const size_t frameBytes = size_t(width) * height * 3 / 2;
  ASSERT_EQ(out.size(), 2 * frameBytes);
  const uint8_t inside[2][3] = {{200, 60, 180}, {30, 160, 100}};
  const int padColour[3] = {81, 90, 240};
  for (int frame = 0; frame < 2; ++frame) {
    size_t offset = frame * frameBytes;
    for (int p = 0; p < 3; ++p) {
      const int shift = p ? 1 : 0;
      const int w = width >> shift, h = height >> shift;
      int wrong = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool in = y >= c.top >> shift && y < (c.top + innerHeight) >> shift && x >= c.left >> shift &&
                          x < (c.left + innerWidth) >> shift;
          const int expected = in ? inside[frame][p] : padColour[p];
          if (std::abs(int(uint8_t(out[offset + size_t(y) * w + x])) - expected) > 1) ++wrong;
        }
      EXPECT_EQ(wrong, 0) << "frame " << frame << " plane " << p;
      offset += size_t(w) * h;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoPad,
                         ::testing::Values(TPadCase{"ScaledInto", 320, 180, true, 60, 60, 0, 0},
                                           TPadCase{"CopiedInto", 592, 360, false, 60, 60, 16, 32}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VideoOut, PicturesOfAnotherSizeAreScaledAndUnusableOnesFail) {
  CaptureLog();
  // No pad colour for packed RGB.
  Open("rgb.nut", "rawvideo", 32, 48, {1, 25}, AV_PIX_FMT_RGB24);
  ost.VideoPad = 1;
  ost.PadTop = ost.PadBottom = 8;
  TFramePtr rgb = Picture(32, 32, Flat(50), AV_PIX_FMT_RGB24);
  EXPECT_EQ(Feed(0, rgb.get()), 0);
  EXPECT_TRUE(Logged("error padding picture"));

  // A picture of another size than the one set up for (a stream that changes midway, a scaler
  // made for a wrong guess) is scaled, never read past its end.
  ost.VideoPad = 0;
  TFramePtr small = Picture(16, 16, Flat(50), AV_PIX_FMT_RGB24);
  EXPECT_GT(Feed(1, small.get()), 0);
  EXPECT_EQ(ost.FrameNumber, 1);
  ost.VideoResample = 1;
  ost.ResampleHeight = 48;
  ost.ImgResampleCtx.reset(FF.sws_getContext(64, 48, AV_PIX_FMT_RGB24, 32, 48, AV_PIX_FMT_RGB24, SWS_BICUBIC,
                                             nullptr, nullptr, nullptr));
  EXPECT_GT(Feed(2, rgb.get()), 0);
  EXPECT_EQ(ost.FrameNumber, 2);

  // A format the scaler cannot read fails the task instead of leaving the video out.
  rgb->format = AV_PIX_FMT_VAAPI;
  EXPECT_THROW(
      try { Feed(3, rgb.get()); } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "picture 32x32 vaapi cannot be converted for the output stream #0.0");
        throw;
      },
      FFmpegException);
  rgb->format = AV_PIX_FMT_RGB24;
  Finish();
}

// The padding canvas is reused for every picture while a B-frame encoder still holds the earlier
// ones: each encoded picture must keep its own content.
TEST_F(VideoOut, PicturesHeldByTheEncoderKeepTheirContent) {
  Open("bframes.avi", "mpeg4", 176, 144, {1, 25}, AV_PIX_FMT_YUV420P, [](AVCodecContext* c) {
    c->max_b_frames = 2;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = 2 * FF_QP2LAMBDA;
  });
  ost.VideoPad = 1;
  ost.PadTop = ost.PadBottom = 16;
  ost.Output->Quality = 2 * FF_QP2LAMBDA;
  const int count = 9;
  TFramePtr held(FF.av_frame_alloc());
  for (int i = 0; i < count; ++i) {
    TFramePtr p = Picture(176, 112, Flat(uint8_t(30 + 20 * i)));
    Feed(i, p.get());
    // Whether this encoder copies its input depends on its strides, so hold the first canvas
    // the way an encoder that keeps its input would.
    if (i == 0) {
      ASSERT_EQ(FF.av_frame_ref(held.get(), ost.PictTmp.get()), 0);
    }
  }
  EXPECT_EQ(held->data[0][64 * held->linesize[0] + 88], 30);
  Finish();
  std::string out = Decoded();
  const size_t frameBytes = 176 * 144 * 3 / 2;
  ASSERT_EQ(out.size(), count * frameBytes);
  for (int i = 0; i < count; ++i) {
    long sum = 0;
    for (int y = 16; y < 128; ++y)
      for (int x = 0; x < 176; ++x) sum += uint8_t(out[i * frameBytes + y * 176 + x]);
    EXPECT_NEAR(double(sum) / (176 * 112), 30 + 20 * i, 3.0) << "frame " << i;
  }
}

// A fixed-quality encoder takes the picture's quality, a forced picture type and the field order.
TEST_F(VideoOut, EachPictureCarriesQualityTypeAndFieldOrder) {
  OptionContextFlags() |= AV_CODEC_FLAG_INTERLACED_DCT;
  Open("fields.avi", "mpeg4", 64, 48, {1, 25}, AV_PIX_FMT_YUV420P, [](AVCodecContext* c) {
    c->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_INTERLACED_DCT;
    c->gop_size = 100;
  });
  ost.Output->Quality = 3 * FF_QP2LAMBDA;
  ist.Quality = 5 * FF_QP2LAMBDA + 0.4f;
  TFramePtr p = Picture(64, 48, Flat(90));
  p->pict_type = AV_PICTURE_TYPE_I;
  p->interlaced_frame = 1;
  p->top_field_first = 1;

  Feed(0, p.get());
  EXPECT_EQ(ost.CodedQuality, 3 * FF_QP2LAMBDA);
  Feed(1, p.get());  // the decoder's picture type is not forced by default
  EXPECT_EQ(ost.CodedPictType, AV_PICTURE_TYPE_P);
  engine->SameQuality = true;
  engine->MeThreshold = 1;
  engine->TopFieldFirst = 0;
  Feed(2, p.get());
  EXPECT_EQ(ost.CodedQuality, 5 * FF_QP2LAMBDA);
  EXPECT_EQ(ost.CodedPictType, AV_PICTURE_TYPE_I);
  engine->TopFieldFirst = -1;
  Feed(3, p.get());
  Finish();
  EXPECT_EQ(Packets("frame=top_field_first"), (std::vector<std::string>{"1", "1", "0", "1"}));
}

TEST_F(VideoOut, ThePreviewSeesTheEncodedPictureAtItsCodedTime) {
  Open("preview.avi", "mpeg4", 64, 24, {1, 25});
  std::vector<std::pair<int64_t, int>> shown;  // time, the blue byte of the first pixel
  engine->OnPreviewBitmap = [&](const TBitmap& bitmap, int, int64_t pts) {
    EXPECT_EQ(bitmap.Width(), 64);
    EXPECT_EQ(bitmap.Height(), 24);
    shown.push_back({pts, bitmap.ScanLine(0)[0]});
  };
  engine->PreviewInterval = -1;
  engine->SetHookFlags(hfPreviewBitmap);
  ost.VideoCrop = 1;
  ost.TopBand = 24;  // the white half
  TFramePtr picture = Picture(64, 48, [](int plane, int, int y) {
    return uint8_t(plane ? 128 : y < 24 ? 16 : 235);
  });
  Feed(0, picture.get());
  Feed(1, picture.get());
  Finish();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, 0);
  EXPECT_EQ(shown[1].first, 40000);
  EXPECT_GT(shown[0].second, 240);
}

// The whole way through a conversion: the setup's scaler and canvas, the main loop's pictures.
TEST_F(VideoOut, AConversionCropsScalesAndPads) {
  std::string input =
      Fixture("video_out_src.mkv", "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -c:v mpeg4");
  ASSERT_NO_THROW(engine->OpenInputFile(input));
  engine->SetCropTop(16);
  engine->SetFrameSize("96x64");
  engine->SetPadTop(16);
  engine->SetPadBottom(16);
  engine->VideoCodecName = "rawvideo";
  engine->AudioDisable = true;
  path = tmp / "conv.nut";
  ASSERT_EQ(engine->OpenOutput(path), 1);
  engine->Transcode();
  EXPECT_EQ(ProbeValue(path, "stream=width,height", "v:0"), "96\n96");
  std::string out = Decoded();
  ASSERT_EQ(out.size(), 25u * 96 * 96 * 3 / 2);
  int border = 0, picture = 0;
  for (int y : {0, 15, 80, 95}) border += out[size_t(y) * 96 + 40] == 16;
  for (int y : {16, 48, 79}) picture += out[size_t(y) * 96 + 40] != 16;
  EXPECT_EQ(border, 4);
  EXPECT_EQ(picture, 3);
}

// Stopped before its first packet, a conversion leaves no output behind (only a header would stay).
TEST_F(VideoOut, AConversionStoppedBeforeItsFirstPacketLeavesNoOutput) {
  std::string input =
      Fixture("video_out_src.mkv", "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 -c:v mpeg4");
  ASSERT_NO_THROW(engine->OpenInputFile(input));
  engine->VideoCodecName = "mpeg4";
  path = tmp / "stopped.mp4";
  ASSERT_EQ(engine->OpenOutput(path), 1);
  engine->StopRequested = true;
  engine->Transcode();
  EXPECT_FALSE(engine->Finished);
  engine->ReleaseOutputFiles();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(VideoOut, StatisticsLines) {
  engine->VstatsFileName = tmp / "missing/vstats.log";
  Open("stats.avi", "mpeg4", 64, 48, {1, 25});
  EXPECT_THROW(
      try { engine->DoVideoStats(File(), ost, 1); } catch (const FFmpegException& e) {
        EXPECT_EQ(e.what(), "fopen fail: " + engine->VstatsFileName);
        throw;
      },
      FFmpegException);

  engine->VstatsFileName = tmp / "vstats.log";
  ost.FrameNumber = 7;
  ost.SyncOpts = 10;
  ost.CodedQuality = 2 * FF_QP2LAMBDA;
  ost.CodedPictType = AV_PICTURE_TYPE_I;
  engine->VideoSize = 5000;
  engine->DoVideoStats(File(), ost, 1234);
  // The file stays open: the second line follows the first.
  Encoder()->flags |= AV_CODEC_FLAG_PSNR;
  ost.CodedError[0] = 64 * 48 * 255 * 255 / 100;
  ost.CodedPictType = AV_PICTURE_TYPE_B;
  ost.SyncOpts = 0;
  engine->DoVideoStats(File(), ost, 0);
  std::fflush(engine->VideoOutputFiles.VstatsFile.get());
  EXPECT_EQ(
      ReadAll(engine->VstatsFileName),
      "frame=     7 q= 2.0 f_size=   1234 s_size=        5kB time= 0.400 br=   246.8kbits/s "
      "avg_br=   100.0kbits/s type= I\n"
      "frame=     7 q= 2.0 PSNR=  20.00 f_size=      0 s_size=        5kB time= 0.010 br=     0.0kbits/s "
      "avg_br=  4000.0kbits/s type= B\n");
  Finish();
}

}  // namespace
}  // namespace ok::test
