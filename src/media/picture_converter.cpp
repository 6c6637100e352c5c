#include "media/picture_converter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace ok {

namespace {

// The old generation's bicubic flag value; the same in this one.
constexpr int ScaleFlags = SWS_BICUBIC;
static_assert(SWS_BICUBIC == 4);
static_assert(AV_PIX_FMT_BGR24 == OKV_PIX_FMT_BGR24 && AV_PIX_FMT_YUV420P == OKV_PIX_FMT_YUV420P);

// Copies the first plane's lines into the bitmap's rows, or the rows into the lines (`toBitmap`
// false). Only the pixels both sides hold are copied: a picture whose lines are padded wider than
// the bitmap's rows must not write past them, and the bitmap's row padding must not spill into
// the next line of a packed picture.
void CopyRows(TBitmap& bitmap, const TPicture& picture, int height, bool toBitmap) {
  const int rows = std::min(height, bitmap.Height());
  const int lineSize = picture.linesize[0];
  const size_t bytes = size_t(std::min(std::abs(lineSize), bitmap.Width() * 3));
  uint8_t* line = picture.data[0];
  for (int r = 0; r < rows; ++r, line += lineSize) {
    if (toBitmap)
      std::memcpy(bitmap.ScanLine(r), line, bytes);
    else
      std::memcpy(line, bitmap.ScanLine(r), bytes);
  }
}

}  // namespace

TPicture PictureOf(const AVFrame& frame) {
  TPicture p{};
  for (int i = 0; i < OKV_PICTURE_PLANES; ++i) {
    p.data[i] = frame.data[i];
    p.linesize[i] = frame.linesize[i];
  }
  return p;
}

TPictureConverter::TPictureConverter() { ResetConverter(); }

void TPictureConverter::ResetConverter() {
  ConverterBitmap_.reset();
  ConvBuffer_.reset();
  ToRGBContext_.reset();
  FromRGBContext_.reset();
  DstPixFmt_ = AV_PIX_FMT_BGR24;
  BitmapPixelFormat_ = 24;
  ConvBufferSize_ = 0;
  ConvPicture_ = TPicture{};
  CurrentPicture_ = TPicture{};
}

std::unique_ptr<TBitmap> TPictureConverter::CreateBitmap(int width, int height, int pixelDepth) {
  if (pixelDepth != 24) throw std::invalid_argument("bitmaps hold 24-bit pixels only");
  return std::make_unique<TBitmap>(width, height);
}

bool TPictureConverter::PrepareConvPicture(int width, int height) {
  const int size = FF.av_image_get_buffer_size(DstPixFmt_, width, height, 1);
  if (size <= 0) return false;
  if (!ConvBuffer_ || ConvBufferSize_ < size) {
    // Grows, never shrinks: the engine's pictures keep one size, so this settles at once.
    ConvBuffer_.reset();
    ConvBufferSize_ = 0;
    ConvBuffer_.reset(static_cast<uint8_t*>(FF.av_malloc(size_t(size))));
    if (!ConvBuffer_) return false;
    ConvBufferSize_ = size;
  }
  ConvPicture_ = TPicture{};
  return FF.av_image_fill_arrays(ConvPicture_.data, ConvPicture_.linesize, ConvBuffer_.get(), DstPixFmt_,
                                 width, height, 1) >= 0;
}

bool TPictureConverter::CachedContext(TSwsContextPtr& context, int width, int height, AVPixelFormat from,
                                      AVPixelFormat to) {
  context.reset(FF.sws_getCachedContext(context.release(), width, height, from, width, height, to, ScaleFlags,
                                        nullptr, nullptr, nullptr));
  return context != nullptr;
}

bool ScaleBitmap(const TBitmap& source, TBitmap& scaled) {
  if (source.IsEmpty() || scaled.IsEmpty() || !FF.sws_getContext) return false;
  const TSwsContextPtr context(FF.sws_getContext(source.Width(), source.Height(), AV_PIX_FMT_BGR24,
                                                 scaled.Width(), scaled.Height(), AV_PIX_FMT_BGR24,
                                                 ScaleFlags | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
  if (!context) return false;
  const uint8_t* const from[4] = {source.Data(), nullptr, nullptr, nullptr};
  const int fromLines[4] = {source.RowSize(), 0, 0, 0};
  uint8_t* const to[4] = {scaled.Data(), nullptr, nullptr, nullptr};
  const int toLines[4] = {scaled.RowSize(), 0, 0, 0};
  FF.sws_scale(context.get(), from, fromLines, 0, source.Height(), to, toLines);
  return true;
}

bool TPictureConverter::FrameToBitmap(const TPicture& picture, AVPixelFormat format, int height, int width) {
  if (!picture.data[0] || width <= 0 || height <= 0) return false;
  if (!ConverterBitmap_) ConverterBitmap_ = CreateBitmap(width, height, BitmapPixelFormat_);
  if (format == DstPixFmt_) {
    CurrentPicture_ = picture;
  } else {
    if (!PrepareConvPicture(width, height)) return false;
    if (!CachedContext(ToRGBContext_, width, height, format, DstPixFmt_)) return false;
    FF.sws_scale(ToRGBContext_.get(), picture.data, picture.linesize, 0, height, ConvPicture_.data,
                 ConvPicture_.linesize);
    CurrentPicture_ = ConvPicture_;
  }
  CopyRows(*ConverterBitmap_, CurrentPicture_, height, true);
  return true;
}

bool TPictureConverter::BitmapToFrame(TPicture& picture, AVPixelFormat format, int height, int width) {
  if (!ConverterBitmap_ || !picture.data[0]) return false;
  // Only a bitmap that covers the picture exactly can stand for all of it.
  if (width != ConverterBitmap_->Width() || height != ConverterBitmap_->Height()) return false;
  if (format == DstPixFmt_) {
    CopyRows(*ConverterBitmap_, picture, height, false);
    return true;
  }
  if (!PrepareConvPicture(width, height)) return false;
  CopyRows(*ConverterBitmap_, ConvPicture_, height, false);
  if (!CachedContext(FromRGBContext_, width, height, DstPixFmt_, format)) return false;
  FF.sws_scale(FromRGBContext_.get(), ConvPicture_.data, ConvPicture_.linesize, 0, height, picture.data,
               picture.linesize);
  return true;
}

}  // namespace ok
