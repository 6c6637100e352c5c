#include "media/bitmap.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace ok {

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  if (int64_t(width) * 3 + 3 > INT32_MAX) throw std::length_error("bitmap too wide");
  width_ = width;
  height_ = height;
  rowSize_ = RowSizeFor(width);
  pixels_.assign(size_t(rowSize_) * size_t(height_), 0);
}

uint8_t* TBitmap::ScanLine(int row) {
  assert(row >= 0 && row < height_);
  return pixels_.data() + size_t(row) * size_t(rowSize_);
}

const uint8_t* TBitmap::ScanLine(int row) const {
  assert(row >= 0 && row < height_);
  return pixels_.data() + size_t(row) * size_t(rowSize_);
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  width_ = source.width_;
  height_ = source.height_;
  rowSize_ = source.rowSize_;
  pixels_ = source.pixels_;
}

void TBitmap::FillBlack() { std::fill(pixels_.begin(), pixels_.end(), uint8_t(0)); }

void TBitmap::Empty() {
  width_ = height_ = rowSize_ = 0;
  pixels_.clear();
}

namespace {

void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

bool TBitmap::SaveToFile(const std::string& path) const {
  if (IsEmpty()) return false;
  constexpr uint32_t FileHeaderSize = 14;
  constexpr uint32_t InfoHeaderSize = 40;
  const uint64_t imageSize = uint64_t(rowSize_) * uint64_t(height_);
  const uint64_t fileSize = FileHeaderSize + InfoHeaderSize + imageSize;
  if (fileSize > 0xFFFFFFFFull) return false;  // the header's size fields are 32 bits

  uint8_t header[FileHeaderSize + InfoHeaderSize] = {};
  // BITMAPFILEHEADER
  header[0] = 'B';
  header[1] = 'M';
  PutLE32(header + 2, uint32_t(fileSize));
  PutLE32(header + 10, FileHeaderSize + InfoHeaderSize);
  // BITMAPINFOHEADER; a positive height means rows are stored bottom-up.
  uint8_t* info = header + FileHeaderSize;
  PutLE32(info + 0, InfoHeaderSize);
  PutLE32(info + 4, uint32_t(width_));
  PutLE32(info + 8, uint32_t(height_));
  PutLE16(info + 12, 1);   // planes
  PutLE16(info + 14, 24);  // bits per pixel
  PutLE32(info + 16, 0);   // BI_RGB
  PutLE32(info + 20, uint32_t(imageSize));
  PutLE32(info + 24, 2835);  // 72 dpi
  PutLE32(info + 28, 2835);

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  for (int row = height_ - 1; row >= 0; --row)
    out.write(reinterpret_cast<const char*>(ScanLine(row)), std::streamsize(rowSize_));
  out.close();
  return bool(out);
}

}  // namespace ok
