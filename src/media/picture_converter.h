#pragma once
// Pictures of the engine's video path as 24-bit bitmaps for event handlers and the preview, and
// back again for the custom hook.

#include <memory>

#include "media/bitmap.h"
#include "media/ff_functions.h"
#include "media/ff_holders.h"

#ifndef OKV_FRAME_HOOK_HOST
#define OKV_FRAME_HOOK_HOST
#endif
#include "ostrelkalvexa/frame_hook_module.h"

namespace ok {

// A picture: four plane pointers and four line sizes (the layout frame-hook modules see).
using TPicture = okv_picture;

// The first four planes of a frame.
TPicture PictureOf(const AVFrame& frame);

// `source` resampled smoothly (bicubic, filtered when shrinking) to the size `scaled` already has.
// False when there is nothing to scale or no scaler can be made (the libraries not loaded).
bool ScaleBitmap(const TBitmap& source, TBitmap& scaled);

// One per use (the engine keeps one for its preview paths and one for its custom hook). Not
// thread-safe; the bitmap and the pictures it hands out stay valid until the next call.
class TPictureConverter {
 public:
  TPictureConverter();
  TPictureConverter(const TPictureConverter&) = delete;
  TPictureConverter& operator=(const TPictureConverter&) = delete;

  // Frees the bitmap, the buffer and both contexts; the bitmap side is 24-bit BGR again.
  void ResetConverter();

  // A bitmap of that size; TBitmap holds 24-bit pixels only, so any other depth is refused
  // (std::invalid_argument). Its pixels start black.
  static std::unique_ptr<TBitmap> CreateBitmap(int width, int height, int pixelDepth);

  // Fills the bitmap (created with the first picture's size, kept after) from `picture`: copied as
  // it is when `format` is the bitmap's, else converted through ToRGBContext. Rows and bytes that
  // do not fit the bitmap are left out. False when no conversion context can be made (or the
  // picture has no pixels).
  bool FrameToBitmap(const TPicture& picture, AVPixelFormat format, int height, int width);

  // Writes the bitmap (as a handler may have drawn on it) back into `picture`, which has `format`:
  // straight into its first plane for the bitmap's format, else through ConvPicture and
  // FromRGBContext. False when there is no bitmap yet, the bitmap's size is not the picture's, or
  // no conversion context can be made.
  bool BitmapToFrame(TPicture& picture, AVPixelFormat format, int height, int width);

  AVPixelFormat DstPixFmt() const { return DstPixFmt_; }
  int BitmapPixelFormat() const { return BitmapPixelFormat_; }  // bits per pixel
  TBitmap* ConverterBitmap() const { return ConverterBitmap_.get(); }
  int ConvBufferSize() const { return ConvBufferSize_; }
  const uint8_t* ConvBuffer() const { return ConvBuffer_.get(); }
  const TPicture& ConvPicture() const { return ConvPicture_; }
  // The picture last copied into the bitmap: the source picture itself or ConvPicture.
  const TPicture& CurrentPicture() const { return CurrentPicture_; }
  SwsContext* ToRGBContext() const { return ToRGBContext_.get(); }
  SwsContext* FromRGBContext() const { return FromRGBContext_.get(); }

 private:
  // ConvBuffer large enough for a width x height bitmap-side picture, ConvPicture laid over it.
  bool PrepareConvPicture(int width, int height);
  // sws_getCachedContext frees the context it is given when it cannot reuse it.
  static bool CachedContext(TSwsContextPtr& context, int width, int height, AVPixelFormat from,
                            AVPixelFormat to);

  AVPixelFormat DstPixFmt_ = AV_PIX_FMT_BGR24;
  int BitmapPixelFormat_ = 24;
  std::unique_ptr<TBitmap> ConverterBitmap_;
  TAVMemoryPtr<uint8_t> ConvBuffer_;
  int ConvBufferSize_ = 0;
  TPicture ConvPicture_{};
  TPicture CurrentPicture_{};
  TSwsContextPtr ToRGBContext_;
  TSwsContextPtr FromRGBContext_;
};

}  // namespace ok
