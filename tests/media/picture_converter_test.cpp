#include "media/picture_converter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "media/ff_loader.h"
#include "support/test_support.h"

namespace ok {
namespace {

// A planar 4:2:0 picture in memory of its own, lines `pad` bytes longer than the pixels need.
struct TYuvPicture {
  TYuvPicture(int w, int h, int pad = 0) : width(w), height(h) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    linesize[0] = w + pad;
    linesize[1] = linesize[2] = cw + pad;
    planes[0].assign(size_t(linesize[0]) * h, 0);
    planes[1].assign(size_t(linesize[1]) * ch, 0);
    planes[2].assign(size_t(linesize[2]) * ch, 0);
  }
  void Fill(uint8_t y, uint8_t u, uint8_t v) {
    std::fill(planes[0].begin(), planes[0].end(), y);
    std::fill(planes[1].begin(), planes[1].end(), u);
    std::fill(planes[2].begin(), planes[2].end(), v);
  }
  uint8_t& Y(int x, int y) { return planes[0][size_t(y) * linesize[0] + x]; }
  TPicture Picture() {
    TPicture p{};
    for (int i = 0; i < 3; ++i) {
      p.data[i] = planes[i].data();
      p.linesize[i] = linesize[i];
    }
    return p;
  }
  int width, height;
  int linesize[3];
  std::vector<uint8_t> planes[3];
};

// A packed BGR picture with lines of `linesize` bytes; the padding holds a marker byte.
struct TBgrPicture {
  TBgrPicture(int w, int h, int lineSize)
      : width(w), height(h), linesize(lineSize), bytes(size_t(lineSize) * h, 0xEE) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * 3; ++x) bytes[size_t(y) * linesize + x] = uint8_t(x * 7 + y * 31);
  }
  TPicture Picture() {
    TPicture p{};
    p.data[0] = bytes.data();
    p.linesize[0] = linesize;
    return p;
  }
  int width, height, linesize;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PictureConverter : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg(); }
  TPictureConverter converter;
};

TEST_F(PictureConverter, StartsEmptyWithTheBitmapSideIn24BitBGR) {
  EXPECT_EQ(converter.DstPixFmt(), AV_PIX_FMT_BGR24);
  EXPECT_EQ(converter.BitmapPixelFormat(), 24);
  EXPECT_EQ(converter.ConverterBitmap(), nullptr);
  EXPECT_EQ(converter.ConvBufferSize(), 0);
  auto bitmap = TPictureConverter::CreateBitmap(5, 3, 24);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 5);
  EXPECT_EQ(bitmap->Height(), 3);
  EXPECT_THROW(TPictureConverter::CreateBitmap(5, 3, 32), std::invalid_argument);
}

TEST_F(PictureConverter, ABGRPictureIsCopiedWithoutConversion) {
  TBgrPicture bgr(10, 6, 30);
  TPicture pic = bgr.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_BGR24, 6, 10));
  EXPECT_EQ(converter.CurrentPicture().data[0], bgr.bytes.data()) << "the picture itself, not a copy";
  EXPECT_EQ(converter.ToRGBContext(), nullptr);
  EXPECT_EQ(converter.ConvBufferSize(), 0);
  TBitmap* bitmap = converter.ConverterBitmap();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->Width(), 10);
  ASSERT_EQ(bitmap->Height(), 6);
  for (int y = 0; y < 6; ++y) {
    ASSERT_EQ(0, std::memcmp(bitmap->ScanLine(y), &bgr.bytes[size_t(y) * 30], 30)) << "row " << y;
    EXPECT_EQ(bitmap->ScanLine(y)[30], 0) << "row padding stays clear";
    EXPECT_EQ(bitmap->ScanLine(y)[31], 0);
  }
}

// Decoders hand out BGR pictures whose lines are padded far beyond the bitmap's 4-byte rows.
TEST_F(PictureConverter, LinesWiderThanTheBitmapRowsAreCutToTheRow) {
  TBgrPicture bgr(10, 5, 64);
  TPicture pic = bgr.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_BGR24, 5, 10));
  TBitmap* bitmap = converter.ConverterBitmap();
  ASSERT_EQ(bitmap->RowSize(), 32);
  for (int y = 0; y < 5; ++y) {
    ASSERT_EQ(0, std::memcmp(bitmap->ScanLine(y), &bgr.bytes[size_t(y) * 64], 30)) << "row " << y;
    EXPECT_NE(bitmap->ScanLine(y)[30], 0xEE) << "the picture's line padding is not copied";
  }
}

TEST_F(PictureConverter, APictureLargerThanTheFirstKeepsTheBitmapAndStaysInsideIt) {
  TBgrPicture small(4, 3, 12);
  TPicture pic = small.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_BGR24, 3, 4));
  TBgrPicture large(9, 7, 32);
  pic = large.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_BGR24, 7, 9));
  TBitmap* bitmap = converter.ConverterBitmap();
  EXPECT_EQ(bitmap->Width(), 4);
  EXPECT_EQ(bitmap->Height(), 3);
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(0, std::memcmp(bitmap->ScanLine(y), &large.bytes[size_t(y) * 32], 12));

  // The same for a converted picture: its packed lines are wider than the bitmap's rows.
  TYuvPicture yuv(20, 10);
  yuv.Fill(235, 128, 128);
  pic = yuv.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 10, 20));
  EXPECT_EQ(converter.ConverterBitmap()->Width(), 4);
  EXPECT_GE(converter.ConverterBitmap()->ScanLine(2)[11], 250);
}

// Pure colours in BT.601 limited range and their BGR values.
TEST_F(PictureConverter, AYUV420PictureGoesThroughTheConversionContext) {
  struct {
    uint8_t y, u, v;
    int b, g, r;
  } const colours[] = {{235, 128, 128, 255, 255, 255},
                       {16, 128, 128, 0, 0, 0},
                       {81, 90, 240, 0, 0, 255},
                       {145, 54, 34, 0, 255, 0},
                       {41, 240, 110, 255, 0, 0}};
  for (const auto& c : colours) {
    SCOPED_TRACE(testing::Message() << "Y" << int(c.y) << " U" << int(c.u) << " V" << int(c.v));
    TYuvPicture yuv(16, 8, 5);
    yuv.Fill(c.y, c.u, c.v);
    TPicture pic = yuv.Picture();
    ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 8, 16));
    EXPECT_NE(converter.ToRGBContext(), nullptr);
    EXPECT_EQ(converter.CurrentPicture().data[0], converter.ConvPicture().data[0]);
    EXPECT_EQ(converter.ConvPicture().data[0], converter.ConvBuffer());
    const uint8_t* px = converter.ConverterBitmap()->ScanLine(4) + 7 * 3;
    EXPECT_NEAR(px[0], c.b, 3);
    EXPECT_NEAR(px[1], c.g, 3);
    EXPECT_NEAR(px[2], c.r, 3);
  }
}

// The converter against the ffmpeg tool's own conversion of the same test pattern.
TEST_F(PictureConverter, ARealPictureMatchesTheReferenceConversion) {
  const std::string src = "-f lavfi -i testsrc=size=64x48:rate=1 -frames:v 1 -f rawvideo";
  std::vector<uint8_t> yuvBytes =
      ReadFile(test::Fixture("conv_testsrc_64x48.yuv", src + " -pix_fmt yuv420p"));
  std::vector<uint8_t> bgrBytes = ReadFile(test::Fixture(
      "conv_testsrc_64x48.bgr", src + " -vf format=yuv420p,scale=flags=bicubic,format=bgr24 -pix_fmt bgr24"));
  ASSERT_EQ(yuvBytes.size(), 64u * 48 * 3 / 2);
  ASSERT_EQ(bgrBytes.size(), 64u * 48 * 3);
  TPicture pic{};
  pic.data[0] = yuvBytes.data();
  pic.data[1] = yuvBytes.data() + 64 * 48;
  pic.data[2] = yuvBytes.data() + 64 * 48 * 5 / 4;
  pic.linesize[0] = 64;
  pic.linesize[1] = pic.linesize[2] = 32;
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 48, 64));
  TBitmap* bitmap = converter.ConverterBitmap();
  int worst = 0;
  double total = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64 * 3; ++x) {
      int d = std::abs(int(bitmap->ScanLine(y)[x]) - int(bgrBytes[size_t(y) * 64 * 3 + x]));
      worst = std::max(worst, d);
      total += d;
    }
  // The same scaler with the same filter: at most rounding apart.
  EXPECT_LE(total / (64 * 48 * 3), 0.5);
  EXPECT_LE(worst, 2);
}

TEST_F(PictureConverter, TheBufferGrowsForLargerPicturesAndIsReusedForSmallerOnes) {
  TYuvPicture a(16, 16), b(8, 8), c(32, 32);
  TPicture pic = a.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 16, 16));
  EXPECT_EQ(converter.ConvBufferSize(), 16 * 16 * 3);
  const uint8_t* first = converter.ConvBuffer();
  SwsContext* context = converter.ToRGBContext();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 16, 16));
  EXPECT_EQ(converter.ToRGBContext(), context) << "same parameters: the cached context";

  pic = b.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 8, 8));
  EXPECT_EQ(converter.ConvBufferSize(), 16 * 16 * 3) << "never shrinks";
  EXPECT_EQ(converter.ConvBuffer(), first);
  EXPECT_EQ(converter.ConvPicture().linesize[0], 8 * 3) << "laid over the buffer at the new size";

  pic = c.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 32, 32));
  EXPECT_EQ(converter.ConvBufferSize(), 32 * 32 * 3);
  EXPECT_EQ(converter.ConverterBitmap()->Width(), 16) << "the bitmap keeps the first picture's size";

  converter.ResetConverter();
  EXPECT_EQ(converter.ConverterBitmap(), nullptr);
  EXPECT_EQ(converter.ConvBuffer(), nullptr);
  EXPECT_EQ(converter.ConvBufferSize(), 0);
  EXPECT_EQ(converter.ToRGBContext(), nullptr);
  EXPECT_EQ(converter.CurrentPicture().data[0], nullptr);
  pic = b.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 8, 8));
  EXPECT_EQ(converter.ConverterBitmap()->Width(), 8) << "a reset lets the next picture size the bitmap";
}

TEST_F(PictureConverter, NoConversionContextGivesFalse) {
  TYuvPicture yuv(16, 16);
  TPicture pic = yuv.Picture();
  // A hardware surface format: the scaler has no conversion for it.
  EXPECT_FALSE(converter.FrameToBitmap(pic, AV_PIX_FMT_VAAPI, 16, 16));
  EXPECT_EQ(converter.ToRGBContext(), nullptr);
  EXPECT_FALSE(converter.FrameToBitmap(TPicture{}, AV_PIX_FMT_YUV420P, 16, 16));
}

TEST_F(PictureConverter, ADrawnBitmapGoesBackIntoAYUVPicture) {
  TYuvPicture yuv(32, 16, 3);
  yuv.Fill(16, 128, 128);  // black
  TPicture pic = yuv.Picture();
  TPicture notYet = pic;
  EXPECT_FALSE(converter.BitmapToFrame(notYet, AV_PIX_FMT_YUV420P, 16, 32)) << "no bitmap yet";
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_YUV420P, 16, 32));
  TBitmap* bitmap = converter.ConverterBitmap();
  // A handler draws a white square at x 8..15, y 4..11.
  for (int y = 4; y < 12; ++y) std::memset(bitmap->ScanLine(y) + 8 * 3, 255, 8 * 3);
  ASSERT_TRUE(converter.BitmapToFrame(pic, AV_PIX_FMT_YUV420P, 16, 32));
  EXPECT_NE(converter.FromRGBContext(), nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      const bool inside = x >= 8 && x < 16 && y >= 4 && y < 12;
      const bool nearEdge = x >= 6 && x < 18 && y >= 2 && y < 14;
      if (inside) {
        EXPECT_NEAR(yuv.Y(x, y), 235, 4) << x << "," << y;
      } else if (!nearEdge) {
        EXPECT_NEAR(yuv.Y(x, y), 16, 4) << x << "," << y;
      }
    }
  EXPECT_NEAR(yuv.planes[1][size_t(4) * yuv.linesize[1] + 5], 128, 4);
  EXPECT_FALSE(converter.BitmapToFrame(pic, AV_PIX_FMT_YUV420P, 16, 30)) << "a size the bitmap does not have";
}

TEST_F(PictureConverter, ADrawnBitmapGoesStraightIntoABGRPictureWithinItsLines) {
  TBgrPicture bgr(10, 4, 40);
  TPicture pic = bgr.Picture();
  ASSERT_TRUE(converter.FrameToBitmap(pic, AV_PIX_FMT_BGR24, 4, 10));
  converter.ConverterBitmap()->FillBlack();
  ASSERT_TRUE(converter.BitmapToFrame(pic, AV_PIX_FMT_BGR24, 4, 10));
  EXPECT_EQ(converter.FromRGBContext(), nullptr);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 40; ++x) EXPECT_EQ(bgr.bytes[size_t(y) * 40 + x], x < 30 ? 0 : 0xEE) << x << "," << y;
}

}  // namespace
}  // namespace ok
