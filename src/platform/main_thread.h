#pragma once
// Handing work to the main thread. Worker threads (a running task, the preview) must not touch the
// window; they give the call to the main thread and, for RunAndWait, block until it has run.
//
// The window installs its own implementation as the process-wide current one; tests and
// command-line front ends use TMainThreadLoop, whose owner pumps the queued calls itself.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ok {

class TMainThread {
 public:
  virtual ~TMainThread() = default;

  virtual bool IsMainThread() const = 0;
  // Runs `call` on the main thread and waits for it; called on the main thread, runs it directly.
  // False when the call was not run because the main thread no longer takes calls. An exception
  // thrown by `call` reaches the caller.
  virtual bool RunAndWait(std::function<void()> call) = 0;
  // Queues `call` for the main thread and returns at once (dropped once the main thread no longer
  // takes calls).
  virtual void Post(std::function<void()> call) = 0;
};

// A queue of calls pumped by the thread that constructed it.
//
// No deadlock when the main thread waits for a worker that hands it a call: the main thread waits
// with WaitPumping/RunUntil instead of blocking, or calls Shutdown, after which every waiting and
// every later RunAndWait from another thread returns false without running its call.
class TMainThreadLoop : public TMainThread {
 public:
  TMainThreadLoop();
  ~TMainThreadLoop() override;
  TMainThreadLoop(const TMainThreadLoop&) = delete;
  TMainThreadLoop& operator=(const TMainThreadLoop&) = delete;

  bool IsMainThread() const override;
  bool RunAndWait(std::function<void()> call) override;
  void Post(std::function<void()> call) override;

  // Main thread: runs the calls queued so far, in order; the number run. A posted call that throws
  // ends the pumping with its exception; the calls after it stay queued.
  int ProcessPending();
  // Main thread: pumps until `done` holds or `timeout` has passed; the last value of `done`.
  // `done` is checked after every call run, on Wake and at least every few milliseconds.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Main thread: pumps until `done` holds.
  void WaitPumping(const std::function<bool()>& done);
  // Any thread: makes a pumping main thread check its condition now.
  void Wake();

  // Any thread: stop taking calls. Queued calls are dropped, their RunAndWait returns false; later
  // RunAndWait calls from other threads return false at once, later posts are dropped. A
  // RunAndWait on the main thread itself still runs directly: it waits for nothing.
  void Shutdown();
  bool IsShutDown() const;
  // Calls queued and not yet run.
  size_t PendingCount() const;

 protected:
  // A call was queued. A loop driven by another event loop (the window's) schedules a
  // ProcessPending there. Runs on the queuing thread with the queue locked: it may only schedule.
  virtual void CallQueued() {}

 private:
  struct TCall;
  bool PumpOnce(std::unique_lock<std::mutex>& lock);

  const std::thread::id mainThreadId_;
  mutable std::mutex mutex_;
  std::condition_variable wakeMain_;
  std::deque<std::shared_ptr<TCall>> queue_;
  bool shutDown_ = false;
  bool woken_ = false;
  int waiters_ = 0;  // threads inside RunAndWait
};

// The process-wide current hand-off. Until one is set it is DefaultMainThreadLoop(). The instance
// set must outlive its use; setting nullptr restores the default.
TMainThread& CurrentMainThread();
void SetCurrentMainThread(TMainThread* mainThread);

// The default loop; its main thread is the thread that ran the program's static initialisation.
// A front end without a window of its own pumps it.
TMainThreadLoop& DefaultMainThreadLoop();

}  // namespace ok
