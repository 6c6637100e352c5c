#pragma once
// Engine log levels and the libraries' own. The engine and the component count -1 quiet, 0 errors
// and warnings, 1 information, 2 debug, 3 everything; the libraries count in AV_LOG_* steps.

#include <atomic>

namespace ok {

// The process-wide level up to which library messages reach the log handlers (initially 1). The
// component's library log callback reads it; SetVerbose and the component's level setter write it.
extern std::atomic<int> LogThreshold;

// The library level that lets through what the engine level lets through.
int LibraryLevelOf(int engineLevel);
// The engine level of a library message level.
int EngineLevelOf(int libraryLevel);

}  // namespace ok
