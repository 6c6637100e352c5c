#include "platform/worker_thread.h"

#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "platform/main_thread.h"

namespace ok {

uint32_t CurrentThreadID() { return static_cast<uint32_t>(gettid()); }

bool WaitPumping(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto* loop = dynamic_cast<TMainThreadLoop*>(&CurrentMainThread());
  if (loop && loop->IsMainThread()) return loop->RunUntil(done, timeout);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct TWorkerThread::TState {
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Ready = false;    // the thread is at the gate
  bool Resumed = false;  // the gate is open
  bool Cancelled = false;
  bool Done = false;
  uint32_t ThreadID = 0;
};

TWorkerThread::TWorkerThread(std::function<void()> body, TThreadPriority priority)
    : state_(std::make_shared<TState>()) {
  // The thread shares the state, not this object: it may end after the object is gone.
  thread_ = std::thread([state = state_, body = std::move(body), priority] {
    SetCurrentThreadPriority(priority);
    bool run = false;
    {
      std::unique_lock lock(state->Mutex);
      state->ThreadID = CurrentThreadID();
      state->Ready = true;
      state->Changed.notify_all();
      state->Changed.wait(lock, [&] { return state->Resumed || state->Cancelled; });
      run = state->Resumed;
    }
    if (run) {
      try {
        body();
      } catch (...) {
        // Nothing above the thread can take it; the body has done its own clean-up.
      }
    }
    std::lock_guard lock(state->Mutex);
    state->Done = true;
    state->Changed.notify_all();
  });
  std::unique_lock lock(state_->Mutex);
  state_->Changed.wait(lock, [&] { return state_->Ready; });
  threadId_ = state_->ThreadID;
}

TWorkerThread::~TWorkerThread() {
  if (!thread_.joinable()) return;
  if (IsCurrentThread()) {
    thread_.detach();
    return;
  }
  {
    std::lock_guard lock(state_->Mutex);
    if (!state_->Resumed) state_->Cancelled = true;
    state_->Changed.notify_all();
  }
  thread_.join();
}

void TWorkerThread::Resume() {
  std::lock_guard lock(state_->Mutex);
  if (state_->Resumed || state_->Cancelled) return;
  state_->Resumed = true;
  state_->Changed.notify_all();
}

bool TWorkerThread::Suspended() const {
  std::lock_guard lock(state_->Mutex);
  return !state_->Resumed && !state_->Cancelled;
}

bool TWorkerThread::Done() const {
  std::lock_guard lock(state_->Mutex);
  return state_->Done;
}

void TWorkerThread::WaitFor() {
  if (!thread_.joinable() || IsCurrentThread()) return;
  {
    std::lock_guard lock(state_->Mutex);
    if (!state_->Resumed) state_->Cancelled = true;
    state_->Changed.notify_all();
  }
  while (!WaitPumping([this] { return Done(); }, std::chrono::hours(1))) {
  }
  thread_.join();
}

}  // namespace ok
