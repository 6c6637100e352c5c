#include "engine/run/log_levels.h"

extern "C" {
#include <libavutil/log.h>
}

namespace ok {

std::atomic<int> LogThreshold{1};

int LibraryLevelOf(int engineLevel) {
  if (engineLevel < 0) return AV_LOG_QUIET;
  switch (engineLevel) {
    case 0:
      return AV_LOG_WARNING;  // errors and warnings share engine level 0
    case 1:
      return AV_LOG_INFO;
    case 2:
      return AV_LOG_DEBUG;
    default:
      return AV_LOG_TRACE;
  }
}

int EngineLevelOf(int libraryLevel) {
  if (libraryLevel <= AV_LOG_QUIET) return -1;
  if (libraryLevel <= AV_LOG_WARNING) return 0;
  if (libraryLevel <= AV_LOG_INFO) return 1;
  if (libraryLevel <= AV_LOG_DEBUG) return 2;
  return 3;
}

}  // namespace ok
