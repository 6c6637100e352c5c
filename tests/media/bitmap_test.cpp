#include "media/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/test_support.h"

namespace ok {
namespace {

using test::TempDir;

uint32_t LE32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Each pixel gets distinct bytes: blue = x, green = y, red = 100 + x + y.
void Paint(TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = uint8_t(100 + x + y);
    }
}

TEST(BitmapTest, RowsArePaddedToFourBytes) {
  const int widths[] = {1, 2, 3, 4, 5, 160, 161};
  const int rows[] = {4, 8, 12, 12, 16, 480, 484};
  for (size_t i = 0; i < std::size(widths); ++i) {
    TBitmap b(widths[i], 3);
    EXPECT_EQ(b.RowSize(), rows[i]) << "width " << widths[i];
    EXPECT_EQ(b.DataSize(), size_t(rows[i]) * 3);
    EXPECT_EQ(b.ScanLine(2), b.Data() + 2 * rows[i]);
  }
}

TEST(BitmapTest, SizeChangesClearAndSameSizeKeeps) {
  TBitmap b(5, 4);
  Paint(b);
  b.SetSize(5, 4);
  EXPECT_EQ(b.ScanLine(3)[3 * 4 + 2], 100 + 4 + 3) << "same size keeps the pixels";
  b.SetSize(6, 4);
  for (size_t i = 0; i < b.DataSize(); ++i) ASSERT_EQ(b.Data()[i], 0) << "byte " << i;
  b.SetSize(-3, 7);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 7);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BitmapTest, AssignFillBlackAndEmpty) {
  TBitmap a(7, 3);
  Paint(a);
  TBitmap b(2, 2);
  b.Assign(a);
  ASSERT_EQ(b.Width(), 7);
  ASSERT_EQ(b.Height(), 3);
  ASSERT_EQ(std::memcmp(a.Data(), b.Data(), a.DataSize()), 0);
  b.ScanLine(0)[0] = 222;  // a copy, not shared storage
  EXPECT_EQ(a.ScanLine(0)[0], 0);

  a.FillBlack();
  EXPECT_EQ(a.Width(), 7);
  EXPECT_EQ(a.Height(), 3);
  for (size_t i = 0; i < a.DataSize(); ++i) ASSERT_EQ(a.Data()[i], 0);

  a.Empty();
  EXPECT_EQ(a.Width(), 0);
  EXPECT_EQ(a.Height(), 0);
  EXPECT_EQ(a.DataSize(), 0u);
  b.Assign(a);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BitmapTest, SavesBottomUpBmpWithHeaders) {
  TempDir dir;
  TBitmap b(3, 2);
  Paint(b);
  const std::string path = dir / "p.bmp";
  ASSERT_TRUE(b.SaveToFile(path));
  const std::vector<uint8_t> d = ReadAll(path);
  ASSERT_EQ(d.size(), 54u + 12u * 2u);
  EXPECT_EQ(d[0], 'B');
  EXPECT_EQ(d[1], 'M');
  EXPECT_EQ(LE32(d, 2), d.size());
  EXPECT_EQ(LE32(d, 10), 54u);
  EXPECT_EQ(LE32(d, 14), 40u);
  EXPECT_EQ(LE32(d, 18), 3u);
  EXPECT_EQ(LE32(d, 22), 2u);  // positive: bottom-up
  EXPECT_EQ(d[26] | d[27] << 8, 1);
  EXPECT_EQ(d[28] | d[29] << 8, 24);
  EXPECT_EQ(LE32(d, 30), 0u);
  // The first stored row is the bottom one.
  EXPECT_EQ(std::memcmp(&d[54], b.ScanLine(1), 12), 0);
  EXPECT_EQ(std::memcmp(&d[66], b.ScanLine(0), 12), 0);

  // An independent reader sees the picture the right way up.
  test::CommandResult r = test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(path) +
                                           " -f rawvideo -pix_fmt bgr24 " + test::ShellQuote(dir / "p.raw"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> raw = ReadAll(dir / "p.raw");
  ASSERT_EQ(raw.size(), 18u);
  EXPECT_EQ(std::memcmp(raw.data(), b.ScanLine(0), 9), 0);
  EXPECT_EQ(std::memcmp(raw.data() + 9, b.ScanLine(1), 9), 0);
}

TEST(BitmapTest, SaveRefusesEmptyBitmapAndUnwritablePath) {
  TempDir dir;
  TBitmap empty;
  EXPECT_FALSE(empty.SaveToFile(dir / "e.bmp"));
  TBitmap b(2, 2);
  EXPECT_FALSE(b.SaveToFile(dir / "no-such-folder/x.bmp"));
}

}  // namespace
}  // namespace ok
