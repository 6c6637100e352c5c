#pragma once
// Frame hooks and preview: what one engine instance keeps for its hooks and its preview.

#include <cstdint>
#include <memory>

#include "media/ff_holders.h"
#include "media/previewer.h"

namespace ok {

enum THookAction { haContinue = 0, haIgnore = 1, haStop = 2 };

struct THookBuffers {
  TAVMemoryPtr<uint8_t> HookBuffer;
  int HookBufferSize = 0;
  std::unique_ptr<TPreviewer> PreviewWindow;
};

}  // namespace ok
