#pragma once
// The picture type of the media layer: 24 bits per pixel in blue-green-red byte order, rows from
// top to bottom, each row padded to a multiple of 4 bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ok {

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }

  // Row size in bytes of a bitmap `width` pixels wide (width < 715 827 882).
  static int RowSizeFor(int width) { return int((int64_t(width) * 3 + 3) & ~int64_t(3)); }

  // Gives the bitmap the size width x height. A change of size leaves every pixel black; the same
  // size keeps the content. Negative sizes count as 0; a row too wide for int throws length_error.
  void SetSize(int width, int height);
  void Create(int width, int height) { SetSize(width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int RowSize() const { return rowSize_; }
  bool IsEmpty() const { return width_ == 0 || height_ == 0; }

  // Row `row` (0 = top), RowSize() bytes.
  uint8_t* ScanLine(int row);
  const uint8_t* ScanLine(int row) const;

  // Rows top to bottom, RowSize() bytes apart; DataSize() = RowSize() * Height().
  uint8_t* Data() { return pixels_.data(); }
  const uint8_t* Data() const { return pixels_.data(); }
  size_t DataSize() const { return pixels_.size(); }

  // Size and pixels of `source`.
  void Assign(const TBitmap& source);
  // All pixels black, size kept.
  void FillBlack();
  // 0 x 0.
  void Empty();

  // Writes a Windows .bmp file (file and info headers, rows bottom-up). False when the bitmap is
  // empty or the file cannot be written.
  bool SaveToFile(const std::string& path) const;

 private:
  int width_ = 0;
  int height_ = 0;
  int rowSize_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace ok
