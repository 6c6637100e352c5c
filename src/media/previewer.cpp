#include "media/previewer.h"

#include <atomic>
#include <cstdio>

extern "C" {
#include <libavutil/avutil.h>
}

namespace ok {

namespace {
std::atomic<TPreviewWindowFactory*> previewWindowFactory{nullptr};
}  // namespace

TPreviewWindowFactory* PreviewWindowFactory() { return previewWindowFactory.load(std::memory_order_acquire); }

void SetPreviewWindowFactory(TPreviewWindowFactory* factory) {
  previewWindowFactory.store(factory, std::memory_order_release);
}

std::string FormatPTS(int64_t pts) {
  if (pts == AV_NOPTS_VALUE) return "N/A";
  // Truncating division on a negative time would put a sign into every field; format the
  // magnitude instead. AV_NOPTS_VALUE is INT64_MIN, so the negation cannot overflow.
  const bool negative = pts < 0;
  const int64_t t = negative ? -pts : pts;
  const int64_t hours = t / 1000000 / 60 / 60;
  const int minutes = int((t / 1000000 / 60) % 60);
  const int seconds = int((t / 1000000) % 60);
  const int milliseconds = int((t % 1000000) * 1000 / 1000000);
  char text[48];
  std::snprintf(text, sizeof text, "%s%.2lld:%.2d:%.2d.%.3d", negative ? "-" : "",
                static_cast<long long>(hours), minutes, seconds, milliseconds);
  return text;
}

TPreviewer::TPreviewer(TPreviewWindowFactory* factory, TMainThread* mainThread)
    : factory_(factory ? factory : PreviewWindowFactory()),
      mainThread_(mainThread ? *mainThread : CurrentMainThread()) {}

TPreviewer::~TPreviewer() {
  if (!hasForm_.load()) return;
  // When the main thread takes no more calls the window cannot be touched from here; the window
  // object is dropped without Destroy, as its interface allows.
  mainThread_.RunAndWait([this] { ClosePreviewForm(); });
}

bool TPreviewer::Preview(const TBitmap& bitmap, int frameNumber, int64_t pts) {
  if (Closed_.load()) return false;
  PreviewBitmapRef_ = &bitmap;
  FrameNumber_ = frameNumber;
  PTS_ = pts;
  if (!mainThread_.RunAndWait([this] { ShowFrame(); })) return false;
  return !Closed_.load();
}

void TPreviewer::ShowFrame() {
  if (Closed_.load() || !PreviewBitmapRef_) return;
  if (!PreviewForm_) {
    CreatePreviewForm();
    if (!PreviewForm_) {
      // Nowhere to show frames: the engine stops previewing as if the user had closed the window.
      Closed_.store(true);
      return;
    }
  }
  PreviewForm_->ShowBitmap(*PreviewBitmapRef_, FormatPTS(PTS_));
}

void TPreviewer::CreatePreviewForm() {
  if (!factory_) return;
  // The window keeps the size of the first bitmap.
  PreviewForm_ = factory_->Create(PreviewBitmapRef_->Width(), PreviewBitmapRef_->Height(),
                                  [this] { Closed_.store(true); });
  hasForm_.store(PreviewForm_ != nullptr);
}

void TPreviewer::ClosePreviewForm() {
  if (!PreviewForm_) return;
  PreviewForm_->Destroy();
  PreviewForm_.reset();
  hasForm_.store(false);
}

}  // namespace ok
