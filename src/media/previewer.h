#pragma once
// The engine's own preview window: frames of a running conversion shown in a small floating
// window. The engine calls Preview on its worker thread; everything that touches the window runs
// on the main thread, through the main-thread hand-off, while the worker waits.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/bitmap.h"
#include "platform/main_thread.h"

namespace ok {

// A preview window of the window layer. Every member is called on the main thread; the object
// itself may be destroyed on any thread and then must not touch the window any more.
class TPreviewWindow {
 public:
  virtual ~TPreviewWindow() = default;
  // Sets the caption, draws `bitmap` at (0, 0) of the client area and shows the window.
  virtual void ShowBitmap(const TBitmap& bitmap, const std::string& caption) = 0;
  // Takes the window down; after it, the window calls nothing back.
  virtual void Destroy() = 0;
};

// Makes preview windows; supplied by the window layer. Create runs on the main thread and gives a
// window that stays on top of other windows, has a small tool-window frame with only a close
// button, is centred on the screen with a client area of width x height, and moves when the user
// drags the picture. When the user closes it, it calls `onUserClose` on the main thread (and
// closes).
class TPreviewWindowFactory {
 public:
  virtual ~TPreviewWindowFactory() = default;
  virtual std::unique_ptr<TPreviewWindow> Create(int width, int height,
                                                 std::function<void()> onUserClose) = 0;
};

// The process-wide factory, nullptr until the window layer sets one (the instance set must outlive
// every previewer).
TPreviewWindowFactory* PreviewWindowFactory();
void SetPreviewWindowFactory(TPreviewWindowFactory* factory);

// A presentation time in microseconds as "hh:mm:ss.mmm" (hours not wrapped at 24, negative times
// with a leading "-"); AV_NOPTS_VALUE gives "N/A".
std::string FormatPTS(int64_t pts);

class TPreviewer {
 public:
  // nullptr: the process-wide factory and hand-off current at construction.
  explicit TPreviewer(TPreviewWindowFactory* factory = nullptr, TMainThread* mainThread = nullptr);
  // Takes the window down on the main thread.
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // Worker thread: shows `bitmap` with its time as the caption on the main thread and waits for
  // it. False, at once and without touching the window, once the user has closed the window;
  // false too when the user closed it meanwhile, when the main thread takes no more calls, or when
  // there is no window factory (there is nothing to show on). `bitmap` must stay unchanged until
  // the call returns.
  bool Preview(const TBitmap& bitmap, int frameNumber, int64_t pts);

  bool Closed() const { return Closed_.load(); }
  int FrameNumber() const { return FrameNumber_; }
  int64_t PTS() const { return PTS_; }

 private:
  void ShowFrame();  // main thread
  void CreatePreviewForm();
  void ClosePreviewForm();

  TPreviewWindowFactory* factory_;
  TMainThread& mainThread_;
  std::unique_ptr<TPreviewWindow> PreviewForm_;  // touched on the main thread only
  std::atomic<bool> hasForm_{false};
  std::atomic<bool> Closed_{false};
  const TBitmap* PreviewBitmapRef_ = nullptr;
  int FrameNumber_ = 0;
  int64_t PTS_ = 0;
};

}  // namespace ok
