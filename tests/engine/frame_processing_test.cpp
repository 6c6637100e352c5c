#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok {
namespace {

constexpr int64_t Second = 1000000;

uint8_t& At(const AVFrame* frame, int plane, int x, int y) {
  return frame->data[plane][ptrdiff_t(y) * frame->linesize[plane] + x];
}

TFramePtr NewFrame(AVPixelFormat format, int width, int height, uint8_t fill) {
  TFramePtr frame(FF.av_frame_alloc());
  frame->format = format;
  frame->width = width;
  frame->height = height;
  EXPECT_GE(FF.av_frame_get_buffer(frame.get(), 0), 0);
  for (AVBufferRef* buf : frame->buf)
    if (buf) std::memset(buf->data, fill, buf->size);
  return frame;
}

// A preview window factory that counts what the previewer does with its windows.
struct TWindows : TPreviewWindowFactory {
  struct TWindow : TPreviewWindow {
    explicit TWindow(TWindows& w) : owner(w) {}
    void ShowBitmap(const TBitmap&, const std::string&) override { ++owner.shown; }
    void Destroy() override { ++owner.destroyed; }
    TWindows& owner;
  };
  std::unique_ptr<TPreviewWindow> Create(int, int, std::function<void()> onUserClose) override {
    ++created;
    userClose = std::move(onUserClose);
    return std::make_unique<TWindow>(*this);
  }
  std::atomic<int> created{0}, shown{0}, destroyed{0};
  std::function<void()> userClose;
};

class FrameProcessing : public test::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CaptureLog();
    decoder.reset(FF.avcodec_alloc_context3(nullptr));
    ist.Decoder = decoder.get();
    Decode(AV_PIX_FMT_YUV420P, 64, 48, 16);
  }
  // The next decoded picture.
  void Decode(AVPixelFormat format, int width, int height, uint8_t fill) {
    decoder->pix_fmt = format;
    decoder->width = width;
    decoder->height = height;
    picture = NewFrame(format, width, height, fill);
  }
  AVFrame* Process(int64_t pts, uint8_t fill = 16) {
    Decode(decoder->pix_fmt, decoder->width, decoder->height, fill);
    picture->pts = pts / 1000;
    ist.Pts = pts;
    engine->PreProcessVideoFrame(ist, picture.get());
    return picture.get();
  }
  void UseDrawbox() {
    ASSERT_EQ(FrameHookAdd(engine->FrameHooks, {test::BuildDir() + "/hooks/libokv_drawbox.so", "0", "0", "8",
                                                "8", "200", "100", "50"}),
              fhOk);
    engine->UsingVhook = true;
  }
  bool Boxed(int64_t pts) { return At(Process(pts), 0, 0, 0) == 200; }

  TCodecContextPtr decoder;
  TInputStreamState ist;
  TFramePtr picture;
};

TEST_F(FrameProcessing, TimeRangesDecideWhereTheFrameHookApplies) {
  UseDrawbox();
  engine->SetTimeRanges({{5 * Second, 9 * Second}, {1 * Second, 2 * Second}});
  EXPECT_FALSE(Boxed(Second / 2));
  EXPECT_EQ(engine->HookAction, haIgnore);
  EXPECT_TRUE(Boxed(3 * Second / 2));
  EXPECT_EQ(picture->pts, 1500) << "the processed picture keeps its time";
  EXPECT_EQ(At(picture.get(), 0, 8, 8), 16);
  EXPECT_FALSE(Boxed(3 * Second));
  EXPECT_TRUE(Boxed(6 * Second));
  EXPECT_EQ(engine->TimeRangeIndex, 1);
  EXPECT_FALSE(Boxed(9 * Second + 1));
  EXPECT_FALSE(engine->UsingVhook);
  EXPECT_FALSE(Boxed(6 * Second)) << "once past the last range the hook stays off";
  EXPECT_EQ(engine->HookFrameNumber, 6);
}

TEST_F(FrameProcessing, TheBeforeHookAnswerDecidesAndAnExceptionEndsTheHook) {
  UseDrawbox();
  std::vector<int> seen;
  engine->OnBeforeHook = [&](int64_t pts, int& action) {
    seen.push_back(action);
    if (pts == 3) throw std::runtime_error("no more");
    action = pts == 1 ? haContinue : haIgnore;
  };
  EXPECT_TRUE(Boxed(1));
  EXPECT_FALSE(Boxed(2));
  EXPECT_FALSE(Boxed(3));
  EXPECT_FALSE(Boxed(4));
  EXPECT_EQ(seen, (std::vector<int>{haContinue, haContinue, haIgnore})) << "the last answer comes back";
  EXPECT_EQ(LoggedCount("Error occurs OnBeforeHook: "), 1);
  EXPECT_TRUE(Logged("Error occurs OnBeforeHook: no more"));
  EXPECT_FALSE(engine->UsingVhook);
}

// The handler paints a white 4 x 2 block at (2, 2) of the bitmap.
TEST_F(FrameProcessing, TheCustomHooksDrawingIsWrittenBackIntoThePicture) {
  for (AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24}) {
    SCOPED_TRACE(format);
    SetUp();
    int calls = 0;
    engine->OnCustomHook = [&](TBitmap& bitmap, int frameNumber, int64_t pts, bool& update, bool& stop) {
      ++calls;
      EXPECT_EQ(frameNumber, 1);
      EXPECT_EQ(pts, 40000);
      EXPECT_TRUE(update);
      EXPECT_FALSE(stop);
      for (int y = 2; y < 4; ++y) std::memset(bitmap.ScanLine(y) + 6, 255, 12);
    };
    decoder->pix_fmt = format;
    Process(40000, 128);
    EXPECT_EQ(calls, 1);
    // Bytes per pixel, the drawing's value and how far the conversions may take it.
    const int bpp = format == AV_PIX_FMT_BGR24 ? 3 : 1, white = bpp == 3 ? 255 : 235,
              slack = bpp == 3 ? 0 : 3;
    EXPECT_NEAR(At(picture.get(), 0, 2 * bpp, 2), white, slack);
    EXPECT_NEAR(At(picture.get(), 0, 6 * bpp - 1, 3), white, slack);
    EXPECT_NEAR(At(picture.get(), 0, 6 * bpp, 3), 128, slack);
    EXPECT_NEAR(At(picture.get(), 0, 2 * bpp, 4), 128, slack);
    EXPECT_EQ(engine->HookConverter.FromRGBContext() != nullptr, bpp == 1) << "BGR needs no back conversion";
    EXPECT_NE(engine->OnCustomHook, nullptr);
  }
}

TEST_F(FrameProcessing, WithoutUpdateOrAfterAnExceptionThePictureStaysAsDecoded) {
  bool throws = false;
  engine->OnCustomHook = [&](TBitmap& bitmap, int, int64_t, bool& update, bool&) {
    std::memset(bitmap.Data(), 255, bitmap.DataSize());
    if (throws) throw std::runtime_error("bad brush");
    update = false;
  };
  for (bool exception : {false, true}) {
    throws = exception;
    const AVFrame* p = Process(0, 77);
    for (int plane = 0; plane < 3; ++plane) EXPECT_EQ(At(p, plane, 5, 5), 77) << plane;
  }
  EXPECT_TRUE(Logged("Error occurs OnCustomHook: bad brush"));
  EXPECT_NE(engine->OnCustomHook, nullptr) << "an exception only drops that picture's drawing";
}

TEST_F(FrameProcessing, StopHookEndsTheCustomHookAfterThatPicture) {
  std::vector<int> frames;
  engine->OnCustomHook = [&](TBitmap& bitmap, int frameNumber, int64_t, bool&, bool& stop) {
    frames.push_back(frameNumber);
    stop = frameNumber == 100;
    std::memset(bitmap.Data(), 255, bitmap.DataSize());
  };
  engine->UsingVhook = true;
  for (int i = 1; i <= 100; ++i) Process(i);
  EXPECT_GT(At(picture.get(), 0, 0, 0), 230) << "the last drawing is still written back";
  for (int i = 101; i <= 103; ++i) EXPECT_EQ(At(Process(i), 0, 0, 0), 16);
  ASSERT_EQ(frames.size(), 100u);
  EXPECT_EQ(frames.front(), 1);
  EXPECT_EQ(frames.back(), 100);
  EXPECT_EQ(engine->OnCustomHook, nullptr);
  EXPECT_EQ(engine->HookAction, haStop);
  EXPECT_FALSE(engine->UsingVhook);
}

TEST_F(FrameProcessing, DeinterlacingRebuildsTheSecondFieldWithClipping) {
  engine->Deinterlace = true;
  Decode(AV_PIX_FMT_GRAY8, 8, 8, 0);
  // Column 0: a field pair to blend; 1 and 2: sums above 255 and below 0; 3: a comb.
  const uint8_t columns[4][8] = {{100, 0, 200, 0, 100, 0, 200, 0},
                                 {0, 0, 255, 255, 255, 0, 0, 0},
                                 {255, 255, 0, 0, 0, 255, 255, 255},
                                 {200, 40, 200, 40, 200, 40, 200, 40}};
  // The comb is gone but where a repeated edge line stands in for the other field.
  const uint8_t expected[4][8] = {{100, 138, 200, 150, 100, 150, 200, 100},
                                  {0, 96, 255, 255, 255, 96, 0, 0},
                                  {255, 159, 0, 0, 0, 159, 255, 255},
                                  {200, 180, 200, 200, 200, 200, 200, 120}};
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 8; ++y) At(picture.get(), 0, x, y) = columns[x][y];
  picture->interlaced_frame = 1;
  TFramePtr decoded(FF.av_frame_clone(picture.get()));
  ist.Pts = 0;
  engine->PreProcessVideoFrame(ist, picture.get());
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 8; ++y) EXPECT_EQ(At(picture.get(), 0, x, y), expected[x][y]) << x << "," << y;
  EXPECT_EQ(picture->interlaced_frame, 0);
  EXPECT_EQ(At(decoded.get(), 0, 3, 1), 40) << "the decoder's picture is not written";

  // Every plane of 4:2:0 with its own height: the chroma's last line is its fourth.
  Decode(AV_PIX_FMT_YUV420P, 16, 8, 0);
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < (plane ? 4 : 8); ++y)
      std::memset(&At(picture.get(), plane, 0, y), y % 2 ? 40 : 200, 8);
  engine->PreProcessVideoFrame(ist, picture.get());
  const std::vector<int> luma = {200, 180, 200, 200, 200, 200, 200, 120}, chroma = {200, 180, 200, 120};
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < (plane ? 4 : 8); ++y)
      EXPECT_EQ(At(picture.get(), plane, 7, y), (plane ? chroma : luma)[size_t(y)]) << plane << "," << y;
}

TEST_F(FrameProcessing, RefusedDeinterlacingLeavesThePictureAndKeepsTheHookOffTheDecoderBuffer) {
  engine->Deinterlace = true;
  for (auto [format, width, height] :
       {std::tuple{AV_PIX_FMT_YUV420P, 66, 48}, {AV_PIX_FMT_YUV420P, 64, 50}, {AV_PIX_FMT_RGB24, 64, 48}}) {
    log.clear();
    Decode(format, width, height, 0);
    for (int y = 0; y < height; ++y) At(picture.get(), 0, 0, y) = y % 2 ? 40 : 200;
    engine->PreProcessVideoFrame(ist, picture.get());
    EXPECT_TRUE(Logged("Deinterlacing failed.")) << width << "x" << height;
    EXPECT_EQ(At(picture.get(), 0, 0, 1), 40);
  }
  UseDrawbox();
  Decode(AV_PIX_FMT_YUV420P, 66, 48, 16);
  TFramePtr decoded(FF.av_frame_clone(picture.get()));
  engine->PreProcessVideoFrame(ist, picture.get());
  EXPECT_EQ(At(picture.get(), 0, 0, 0), 200);
  EXPECT_EQ(At(decoded.get(), 0, 0, 0), 16);

  decoder->pix_fmt = AV_PIX_FMT_NONE;
  engine->PreProcessVideoFrame(ist, picture.get());
  EXPECT_TRUE(Logged("hook buf malloc error."));
}

TEST_F(FrameProcessing, APictureAnEncoderStillHoldsIsNotOverwritten) {
  UseDrawbox();
  TFramePtr held(FF.av_frame_alloc());
  ASSERT_GE(FF.av_frame_ref(held.get(), Process(0, 50)), 0);
  const AVFrame* next = Process(1, 90);
  EXPECT_EQ(At(next, 0, 20, 20), 90);
  EXPECT_EQ(At(held.get(), 0, 20, 20), 50);
  EXPECT_EQ(At(held.get(), 0, 0, 0), 200);
  EXPECT_NE(next->data[0], held->data[0]);
}

TEST_F(FrameProcessing, ThePreviewBitmapHandlerGetsAtMostOnePicturePerInterval) {
  std::vector<std::pair<int, int64_t>> calls;
  engine->OnPreviewBitmap = [&](const TBitmap& bitmap, int frameNumber, int64_t pts) {
    EXPECT_EQ(bitmap.Width(), 64);
    EXPECT_EQ(bitmap.ScanLine(0)[0], 33);
    calls.push_back({frameNumber, pts});
  };
  engine->SetHookFlags(hfPreviewBitmap | hfPreview);
  engine->PreviewInterval = 3600 * Second;
  engine->HookFrameNumber = 7;
  TCodecContextPtr encoder(FF.avcodec_alloc_context3(nullptr));
  encoder->pix_fmt = AV_PIX_FMT_BGR24;
  encoder->width = 64;
  encoder->height = 48;
  TFramePtr encoded = NewFrame(AV_PIX_FMT_BGR24, 64, 48, 33);
  engine->LastPreviewTime = FF.av_gettime();
  engine->ShowPreview(PictureOf(*encoded), encoder.get(), 1);
  EXPECT_TRUE(calls.empty());
  engine->LastPreviewTime = 0;
  engine->ShowPreview(PictureOf(*encoded), encoder.get(), 2);
  engine->ShowPreview(PictureOf(*encoded), encoder.get(), 3);
  EXPECT_EQ(calls, (std::vector<std::pair<int, int64_t>>{{7, 2}}));

  // A picture the converter cannot take clears the bit.
  test::TLibraryLogCapture scalerLog;
  engine->LastPreviewTime = 0;
  encoder->pix_fmt = AV_PIX_FMT_CUDA;  // a format the scaler takes no input in
  engine->ShowPreview(PictureOf(*encoded), encoder.get(), 4);
  EXPECT_TRUE(Logged("Cannot initialize the toRGB conversion context"));
  EXPECT_EQ(engine->HookFlags, hfPreview);
}

TEST_F(FrameProcessing, ThePreviewWindowGoesWithItsFlagAndTheLockIsFreeWhileItWaits) {
  TMainThreadLoop loop;
  TWindows windows;
  SetCurrentMainThread(&loop);
  SetPreviewWindowFactory(&windows);
  TCodecContextPtr encoder(FF.avcodec_alloc_context3(nullptr));
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->width = 64;
  encoder->height = 48;
  engine->PreviewInterval = -1;  // every picture
  auto show = [&] { engine->ShowPreview(PictureOf(*picture), encoder.get(), 0); };

  engine->SetHookFlags(hfPreview);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    show();
    done = true;
  });
  for (int i = 0; i < 5000 && loop.PendingCount() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(loop.PendingCount(), 1u);
  // The worker waits for this thread; taking the lock here must not wait for the worker.
  EXPECT_TRUE(PreviewLock.try_lock());
  PreviewLock.unlock();
  loop.WaitPumping([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(windows.shown, 1);
  engine->SetHookFlags(0);
  EXPECT_EQ(engine->HookBuffers.PreviewWindow, nullptr);
  EXPECT_EQ(windows.destroyed, 1);

  // The user closes the window: the flag goes and no further picture is shown.
  engine->SetHookFlags(hfPreview);
  show();
  windows.userClose();
  show();
  show();
  EXPECT_EQ(windows.created, 2);
  EXPECT_EQ(windows.shown, 2);
  EXPECT_EQ(engine->HookFlags, 0);
  EXPECT_EQ(engine->HookBuffers.PreviewWindow, nullptr);
  SetPreviewWindowFactory(nullptr);
  SetCurrentMainThread(nullptr);
}

}  // namespace
}  // namespace ok
