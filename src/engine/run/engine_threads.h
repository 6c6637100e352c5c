#pragma once
// run/: running a task: its threads (here), the run control with its termination report
// (task_run.cpp) and the log levels.
//
// The engine's threads: the worker that runs a task's conversion, and the short-lived thread that
// reports the termination of a task that never ran. Both are created suspended; the engine owns
// them and joins them before it goes.

#include "platform/worker_thread.h"

namespace ok {

class TCustomFFmpeg;

class TFFmpegThread : public TWorkerThread {
 public:
  // Runs the engine's RunTranscode once resumed.
  TFFmpegThread(TCustomFFmpeg& engine, TThreadPriority priority);
  TCustomFFmpeg* const Engine;
};

class TDoTerminateThread : public TWorkerThread {
 public:
  // Runs the engine's FinishRun at idle priority once resumed.
  explicit TDoTerminateThread(TCustomFFmpeg& engine);
  TCustomFFmpeg* const Engine;
};

}  // namespace ok
