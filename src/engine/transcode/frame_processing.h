#pragma once
// Frame hooks and preview: what one engine instance keeps for its hooks and its preview.

#include <cstdint>
#include <memory>

#include "media/ff_holders.h"
#include "media/previewer.h"

namespace ok {

enum THookAction { haContinue = 0, haIgnore = 1, haStop = 2 };

// Hook flag bits.
constexpr uint8_t hfPreview = 1;
constexpr uint8_t hfPreviewBitmap = 2;

struct THookBuffers {
  // The working copy of a decoded picture, with a buffer of its own. The processed picture is
  // handed on as a reference to it, and an encoder may keep that reference past the next
  // picture, so the copy is made writable (re-allocated while shared) before every use.
  TFramePtr Work;
  // Takes the new reference first, so that a failure leaves the picture as decoded.
  TFramePtr Reference;
  // Shared with a ShowPreview that waits for the main thread outside the preview lock, so that
  // clearing the flag meanwhile cannot free it under that call.
  std::shared_ptr<TPreviewer> PreviewWindow;

  // Frees the working frames (the previewer goes with its flag, under the preview lock).
  void ReleaseFrames() {
    Work.reset();
    Reference.reset();
  }
};

// Stores `flags` into `hookFlags`; with the preview bit clear the previewer is given back out of
// `buffers`. The caller holds PreviewLock and drops what it gets only after releasing the lock:
// freeing the previewer waits for the main thread.
[[nodiscard]] std::shared_ptr<TPreviewer> StoreHookFlags(uint8_t& hookFlags, THookBuffers& buffers,
                                                         uint8_t flags);

}  // namespace ok
