// The preview pane: the frame of the previewed file at the track bar's position, drawn fitted into
// the 220 x 145 image, the time label, the clip marks and the clip they give job building.

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "app/workbench/preview_drawing.h"
#include "app/workbench/workbench.h"

namespace ok {

void FillBitmap(TBitmap& bitmap, int32_t color) {
  const uint8_t red = uint8_t(color & 0xFF), green = uint8_t((color >> 8) & 0xFF),
                blue = uint8_t((color >> 16) & 0xFF);
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* pixel = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, pixel += 3) {
      pixel[0] = blue;
      pixel[1] = green;
      pixel[2] = red;
    }
  }
}

TPixelRect FittedRect(int width, int height, const TPixelRect& area) {
  if (int64_t(width) * height == 0) return {};
  const double areaWidth = area.Right - area.Left, areaHeight = area.Bottom - area.Top;
  const double a = width / areaWidth, b = height / areaHeight;
  TPixelRect target = area;
  // nearbyint rounds halves to even in the default rounding mode.
  if (a >= b) {
    const int c = int(std::nearbyint((areaHeight - height / a) / 2));
    target.Top += c;
    target.Bottom -= c;
  } else {
    const int c = int(std::nearbyint((areaWidth - width / b) / 2));
    target.Left += c;
    target.Right -= c;
  }
  return target;
}

void StretchDraw(TBitmap& dest, const TPixelRect& target, const TBitmap& source) {
  const int64_t targetWidth = target.Right - target.Left, targetHeight = target.Bottom - target.Top;
  if (source.IsEmpty() || targetWidth <= 0 || targetHeight <= 0) return;
  const int top = std::max(target.Top, 0), bottom = std::min(target.Bottom, dest.Height());
  const int left = std::max(target.Left, 0), right = std::min(target.Right, dest.Width());
  for (int y = top; y < bottom; ++y) {
    const int sy = int((y - target.Top) * int64_t(source.Height()) / targetHeight);
    const uint8_t* from = source.ScanLine(sy);
    uint8_t* to = dest.ScanLine(y);
    for (int x = left; x < right; ++x) {
      const int sx = int((x - target.Left) * int64_t(source.Width()) / targetWidth);
      std::copy_n(from + 3 * sx, 3, to + 3 * x);
    }
  }
}

int64_t LayOutTrackBar(TTrackBarState& track, int64_t duration) {
  int64_t scale = 1, steps = 0;
  do {
    scale *= 10;
    steps = duration / scale;
  } while (steps >= 32768);
  const int pixelsPerTick = (track.Width - 12) / 10;
  track.Frequency = pixelsPerTick > 0 ? int(steps / pixelsPerTick) : 1;
  track.Min = 0;
  track.Max = int(steps);
  track.LineSize = steps > 10000 ? 1000 : steps > 1000 ? 100 : steps > 100 ? 10 : 1;
  track.PageSize = 5 * track.LineSize;
  track.Position = 0;
  return scale;
}

std::string FormatPosition(int64_t us) {
  char text[48];
  std::snprintf(text, sizeof text, "%" PRId64 ".%.3" PRId64, us / 1000000, us / 1000 % 1000);
  return text;
}

void TWorkbench::ClearPreviewImage() {
  imgPreview.SetSize(PreviewWidth, PreviewHeight);
  FillBitmap(imgPreview, PreviewBackground);
  view_.Changed(wcPreview);
}

int64_t TWorkbench::PreviewDuration() const {
  if (!FProbe) return -1;
  TFileStreamInfo info;
  FProbe->GetFileStreamInfo(info);
  return info.Duration;
}

void TWorkbench::OpenPreview(TAVProbe& probe) {
  FFrameBitmap.Empty();
  ClearPreviewImage();
  FProbe = &probe;
  FVideoStream = probe.FirstVideoStream();
  ResetTrackBar();
  ShowPreviewFrame();
}

void TWorkbench::ResetTrackBar() {
  trcPreview.SliderVisible = FProbe && FProbe->GetFormatName() != "image2";
  struct TResetting {
    bool& Flag;
    explicit TResetting(bool& flag) : Flag(flag) { Flag = true; }
    ~TResetting() { Flag = false; }
  } resetting(FTrackResetting);
  trcPreview.SelStart = trcPreview.SelEnd = 0;
  if (!trcPreview.SliderVisible) {
    trcPreview.Min = trcPreview.Max = 0;
    trcPreview.Position = 0;
    return;
  }
  FTimeScale = LayOutTrackBar(trcPreview, PreviewDuration());
}

void TWorkbench::ShowPreviewFrame() {
  if (FTrackResetting) return;
  const int position = trcPreview.Position;
  if (FProbe && FProbe->VideoStreamCount() > 0) {
    const int64_t time = position == trcPreview.Max ? PreviewDuration() : position * FTimeScale;
    try {
      TBitmap& frame = FProbe->GetFrameBitmap(FVideoStream, time);
      if (FProbe->FrameReady()) {
        StretchDraw(imgPreview,
                    FittedRect(frame.Width(), frame.Height(), {0, 0, PreviewWidth, PreviewHeight}), frame);
        FFrameBitmap.Assign(frame);
      }
    } catch (const std::exception&) {
      // An attached probe cannot read frames; the pane keeps what it shows.
    }
  }
  lblPTS.Caption = "PTS: " + FormatPosition(position * FTimeScale);
  view_.Changed(wcPreview);
}

void TWorkbench::trcPreviewChange(int position) {
  trcPreview.Position = std::clamp(position, trcPreview.Min, std::max(trcPreview.Min, trcPreview.Max));
  if (!sListView1.Rows.empty()) ShowPreviewFrame();
}

namespace {

bool ClipMarksValid(const TTrackBarState& track) {
  return track.SelEnd >= 1 && track.SelStart < track.SelEnd;
}

}  // namespace

void TWorkbench::btnStartTimeClick() {
  trcPreview.SelStart = trcPreview.Position;
  edtStartTime.Text = FormatPosition(trcPreview.Position * FTimeScale);
  chkCutClip.Enabled = ClipMarksValid(trcPreview);
  view_.Changed(wcPreview);
}

void TWorkbench::btnEndTimeClick() {
  trcPreview.SelEnd = trcPreview.Position;
  edtEndTime.Text = FormatPosition(trcPreview.Position * FTimeScale);
  chkCutClip.Enabled = ClipMarksValid(trcPreview);
  view_.Changed(wcPreview);
}

bool TWorkbench::ClipActive() const {
  return chkCutClip.Enabled && chkCutClip.Checked && trcPreview.SelEnd > 0 &&
         trcPreview.SelEnd > trcPreview.SelStart;
}

namespace {

struct TClip {
  int64_t Start, End;
};

TClip ClipOf(const TTrackBarState& track, int64_t timeScale, int64_t duration) {
  int64_t start = track.SelStart * timeScale / 1000;
  int64_t end = track.SelEnd * timeScale / 1000;
  const int64_t length = duration / 1000;
  if (start < 0 || start >= length) start = 0;
  if (start >= end || end > length) end = length;
  return {start, end};
}

}  // namespace

int TWorkbench::GetClipStartMs() const {
  return int(ClipOf(trcPreview, FTimeScale, PreviewDuration()).Start);
}

int TWorkbench::GetClipDurationMs() const {
  const TClip clip = ClipOf(trcPreview, FTimeScale, PreviewDuration());
  return int(clip.End - clip.Start);
}

}  // namespace ok
