#pragma once
// A worker thread created suspended: it sets its priority, then waits at a start gate until
// Resume. Its owner keeps the object and frees it after the thread ended (the destructor joins),
// so no thread outlives what its body touches.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/thread_priority.h"

namespace ok {

// The system's identifier of the calling thread (never 0).
uint32_t CurrentThreadID();

// Waits until `done` holds or `timeout` has passed; the last value of `done`. On the main thread
// of the current main-thread loop it pumps that loop meanwhile, so that a worker waiting for the
// main thread can finish.
bool WaitPumping(const std::function<bool()>& done, std::chrono::milliseconds timeout);

class TWorkerThread {
 public:
  // Starts the thread; it is at the start gate with its identifier known when this returns.
  TWorkerThread(std::function<void()> body, TThreadPriority priority);
  // A thread never resumed does not run its body. Joins, unless called on the thread itself
  // (which then ends without touching this object).
  ~TWorkerThread();
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  // Opens the start gate; later calls do nothing.
  void Resume();
  // Still waiting at the start gate.
  bool Suspended() const;
  // The body has returned (an exception leaving it ends the thread quietly) or was skipped.
  bool Done() const;
  uint32_t ThreadID() const { return threadId_; }
  bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }
  // Waits (pumping, see WaitPumping) until the body has returned, then joins. A thread still at
  // its gate is let go without running its body.
  void WaitFor();

 private:
  struct TState;
  std::shared_ptr<TState> state_;
  uint32_t threadId_ = 0;
  std::thread thread_;
};

}  // namespace ok
