#pragma once
// Video output: what one engine instance keeps of its video path between pictures.

#include "engine/transcode/transcode_state.h"

namespace ok {

struct TVideoOutputFiles {
  TFilePtr VstatsFile;  // open from the first statistics line to the engine's clean-up
};

}  // namespace ok
