// The preview pane: the frame of the previewed file at the track bar's position, drawn fitted into
// the 220 x 145 image, the time label, the clip marks and the clip they give job building.

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "app/workbench/preview_drawing.h"
#include "app/workbench/workbench.h"
#include "media/picture_converter.h"

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
  const int targetWidth = target.Right - target.Left, targetHeight = target.Bottom - target.Top;
  if (source.IsEmpty() || targetWidth <= 0 || targetHeight <= 0) return;
  // Resampled, not picked pixel by pixel: a large frame shrunk by nearest pixels shows blocks.
  TBitmap scaled(targetWidth, targetHeight);
  const bool smooth = ScaleBitmap(source, scaled);
  const int top = std::max(target.Top, 0), bottom = std::min(target.Bottom, dest.Height());
  const int left = std::max(target.Left, 0), right = std::min(target.Right, dest.Width());
  for (int y = top; y < bottom; ++y) {
    const int sy = smooth ? y - target.Top : int((y - target.Top) * int64_t(source.Height()) / targetHeight);
    const uint8_t* from = smooth ? scaled.ScanLine(sy) : source.ScanLine(sy);
    uint8_t* to = dest.ScanLine(y);
    for (int x = left; x < right; ++x) {
      const int sx =
          smooth ? x - target.Left : int((x - target.Left) * int64_t(source.Width()) / targetWidth);
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
  previewImage.SetSize(PreviewWidth, PreviewHeight);
  FillBitmap(previewImage, PreviewBackground);
  view_.Changed(wcPreview);
}

int64_t TWorkbench::PreviewDuration() const {
  if (!previewProbe) return -1;
  TFileStreamInfo info;
  previewProbe->GetFileStreamInfo(info);
  return info.Duration;
}

void TWorkbench::OpenPreview(TAVProbe& probe) {
  previewFrame.Empty();
  ClearPreviewImage();
  previewProbe = &probe;
  previewVideoStream = probe.FirstVideoStream();
  ResetTrackBar();
  ShowPreviewFrame();
}

void TWorkbench::ResetTrackBar() {
  previewTrackBar.SliderVisible = previewProbe && previewProbe->GetFormatName() != "image2";
  struct TResetting {
    bool& Flag;
    explicit TResetting(bool& flag) : Flag(flag) { Flag = true; }
    ~TResetting() { Flag = false; }
  } resetting(trackResetting);
  previewTrackBar.SelStart = previewTrackBar.SelEnd = 0;
  if (!previewTrackBar.SliderVisible) {
    previewTrackBar.Min = previewTrackBar.Max = 0;
    previewTrackBar.Position = 0;
    return;
  }
  previewTimeScale = LayOutTrackBar(previewTrackBar, PreviewDuration());
}

void TWorkbench::ShowPreviewFrame() {
  if (trackResetting) return;
  const int position = previewTrackBar.Position;
  if (previewProbe && previewProbe->VideoStreamCount() > 0) {
    const int64_t time = position == previewTrackBar.Max ? PreviewDuration() : position * previewTimeScale;
    try {
      TBitmap& frame = previewProbe->GetFrameBitmap(previewVideoStream, time);
      if (previewProbe->FrameReady()) {
        StretchDraw(previewImage,
                    FittedRect(frame.Width(), frame.Height(), {0, 0, PreviewWidth, PreviewHeight}), frame);
        previewFrame.Assign(frame);
      }
    } catch (const std::exception&) {
      // An attached probe cannot read frames; the pane keeps what it shows.
    }
  }
  previewTimeLabel.Caption = "PTS: " + FormatPosition(position * previewTimeScale);
  view_.Changed(wcPreview);
}

void TWorkbench::OnPreviewTrackBarChanged(int position) {
  previewTrackBar.Position =
      std::clamp(position, previewTrackBar.Min, std::max(previewTrackBar.Min, previewTrackBar.Max));
  if (!sourceList.Rows.empty()) ShowPreviewFrame();
}

namespace {

bool ClipMarksValid(const TTrackBarState& track) {
  return track.SelEnd >= 1 && track.SelStart < track.SelEnd;
}

struct TClip {
  int64_t Start, End;
};

// A row's clip in milliseconds; an unset mark counts as 0, an unknown length limits nothing.
TClip ClipOf(const TSourceRow& source) {
  int64_t start = std::max(source.ClipStartMs, 0), end = std::max(source.ClipEndMs, 0);
  const int64_t length = source.DurationMs > 0 ? source.DurationMs : INT64_MAX;
  if (start >= length) start = 0;
  if (start >= end || end > length) end = source.DurationMs > 0 ? length : start;
  return {start, end};
}

}  // namespace

void TWorkbench::EmptyPreview() {
  previewRow_ = -1;
  previewFrame.Empty();
  previewTrackBar.SelStart = previewTrackBar.SelEnd = 0;
  previewTrackBar.Min = previewTrackBar.Max = previewTrackBar.Position = 0;
  previewTimeLabel.Caption = "--";
  clipStartEdit.Text = clipEndEdit.Text = "0";
  clipCheckBox.Enabled = true;
  clipCheckBox.Checked = false;
  ClearPreviewImage();
}

void TWorkbench::ShowRowMarks(int row) {
  const TSourceRow& source = Sources[size_t(row)];
  auto position = [this](int ms) {
    return ms < 0 ? 0 : int(std::min<int64_t>(int64_t(ms) * 1000 / previewTimeScale, previewTrackBar.Max));
  };
  previewTrackBar.SelStart = position(source.ClipStartMs);
  previewTrackBar.SelEnd = position(source.ClipEndMs);
  clipStartEdit.Text = source.ClipStartMs < 0 ? "0" : FormatPosition(int64_t(source.ClipStartMs) * 1000);
  clipEndEdit.Text = source.ClipEndMs < 0 ? "0" : FormatPosition(int64_t(source.ClipEndMs) * 1000);
  // Marks that make no clip leave the box off; a row without marks can still have it checked.
  const bool marked = source.ClipStartMs >= 0 || source.ClipEndMs >= 0;
  clipCheckBox.Enabled = !marked || ClipMarksValid(previewTrackBar);
  clipCheckBox.Checked = source.ClipChecked;
  view_.Changed(wcPreview);
}

void TWorkbench::OnMarkStartClicked() {
  previewTrackBar.SelStart = previewTrackBar.Position;
  clipStartEdit.Text = FormatPosition(previewTrackBar.Position * previewTimeScale);
  clipCheckBox.Enabled = ClipMarksValid(previewTrackBar);
  if (previewRow_ >= 0) {
    Sources[size_t(previewRow_)].ClipStartMs = int(previewTrackBar.Position * previewTimeScale / 1000);
    RenderRow(previewRow_);
    view_.Changed(wcList);
  }
  view_.Changed(wcPreview);
}

void TWorkbench::OnMarkEndClicked() {
  previewTrackBar.SelEnd = previewTrackBar.Position;
  clipEndEdit.Text = FormatPosition(previewTrackBar.Position * previewTimeScale);
  clipCheckBox.Enabled = ClipMarksValid(previewTrackBar);
  if (previewRow_ >= 0) {
    Sources[size_t(previewRow_)].ClipEndMs = int(previewTrackBar.Position * previewTimeScale / 1000);
    RenderRow(previewRow_);
    view_.Changed(wcList);
  }
  view_.Changed(wcPreview);
}

void TWorkbench::OnClipCheckBoxClicked(bool checked) {
  clipCheckBox.Checked = checked;
  if (previewRow_ >= 0) {
    Sources[size_t(previewRow_)].ClipChecked = checked;
    RenderRow(previewRow_);
    view_.Changed(wcList);
  }
}

bool TWorkbench::ClipActive(int row) const {
  if (row < 0 || row >= int(Sources.size())) return false;
  const TSourceRow& source = Sources[size_t(row)];
  return source.ClipChecked && source.ClipEndMs > 0 && source.ClipEndMs > std::max(source.ClipStartMs, 0);
}

int TWorkbench::GetClipStartMs(int row) const { return int(ClipOf(Sources.at(size_t(row))).Start); }

int TWorkbench::GetClipDurationMs(int row) const {
  const TClip clip = ClipOf(Sources.at(size_t(row)));
  return int(clip.End - clip.Start);
}

}  // namespace ok
