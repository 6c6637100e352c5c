#pragma once
// Drawing into the preview image: filling it with a colour and stretching a frame into the part of
// it that keeps the frame's proportions.

#include <cstdint>

#include "app/workbench/workbench_controls.h"
#include "media/bitmap.h"

namespace ok {

// The preview image's size and background.
inline constexpr int PreviewWidth = 220;
inline constexpr int PreviewHeight = 145;
inline constexpr int32_t PreviewBackground = 15780518;  // 0x00BBGGRR: sky blue

struct TPixelRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TPixelRect&) const = default;
};

// Every pixel of `bitmap` in `color` (0x00BBGGRR).
void FillBitmap(TBitmap& bitmap, int32_t color);

// Where a picture of `width` x `height` goes inside `area`: the full width or the full height of
// the area, centred the other way; margins rounded to the nearest, halves to even. An empty
// rectangle when the picture has no pixels.
TPixelRect FittedRect(int width, int height, const TPixelRect& area);

// Stretches `source` over `target` of `dest`, resampled smoothly (nearest pixel only when the
// scaler libraries are not loaded); the rest of `dest` keeps its pixels.
void StretchDraw(TBitmap& dest, const TPixelRect& target, const TBitmap& source);

// Lays the track bar out over `duration` microseconds: range, ticks, line and page size, position
// 0. The result is the time scale, microseconds per position (a power of ten, at least 10), chosen
// so that the last position stays below 32768.
int64_t LayOutTrackBar(TTrackBarState& track, int64_t duration);

}  // namespace ok
