#pragma once
// Audio output: the work buffers of one engine instance's audio path. Each grows to the largest
// block it has had to hold and is reused after; the encoder's output and the converted frame live
// in the output stream's packet and frame, so only these remain.

#include <cstdint>

#include "media/ff_holders.h"

namespace ok {

// Grows `buffer` (of `size` bytes) to at least `needed` bytes, its content not kept; false when
// the memory cannot be had (the buffer is then as it was).
bool ReserveAudioBuffer(TAVMemoryPtr<uint8_t>& buffer, int& size, int64_t needed);

struct TAudioBuffers {
  // Interleaved work samples of the block being converted (decoded audio lands here).
  TAVMemoryPtr<uint8_t> Samples;
  int SamplesSize = 0;
  // The resampler's output and the frame cut from the FIFO.
  TAVMemoryPtr<uint8_t> AudioBuf;
  int AudioBufSize = 0;
  // The block with the inserted silence in front.
  TAVMemoryPtr<uint8_t> InputTmp;
  int InputTmpSize = 0;

  void Release();
};

}  // namespace ok
