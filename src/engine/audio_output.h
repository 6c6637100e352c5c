#pragma once
// Audio output: the work buffers of one engine instance's audio path.

#include <cstdint>

#include "media/ff_holders.h"

namespace ok {

struct TAudioBuffers {
  // Interleaved 16-bit samples of the block being converted (decoded audio lands here).
  TAVMemoryPtr<uint8_t> Samples;
  int SamplesSize = 0;
};

}  // namespace ok
