#include "platform/main_thread.h"

#include <atomic>
#include <exception>

namespace ok {

namespace {
// Upper bound for how long a pumping main thread sleeps before it looks at its condition again,
// for conditions whose owners never call Wake.
constexpr std::chrono::milliseconds PollInterval{5};
}  // namespace

struct TMainThreadLoop::TCall {
  enum TState { csQueued, csDone, csDropped };
  std::function<void()> Call;
  bool Waited = false;
  TState State = csQueued;
  std::exception_ptr Error;
  std::condition_variable Finished;
};

TMainThreadLoop::TMainThreadLoop() : mainThreadId_(std::this_thread::get_id()) {}

TMainThreadLoop::~TMainThreadLoop() {
  Shutdown();
  // A waiter that was just told its call was dropped still needs the mutex to leave its wait.
  std::unique_lock lock(mutex_);
  wakeMain_.wait(lock, [this] { return waiters_ == 0; });
}

bool TMainThreadLoop::IsMainThread() const { return std::this_thread::get_id() == mainThreadId_; }

bool TMainThreadLoop::RunAndWait(std::function<void()> call) {
  if (IsMainThread()) {
    call();
    return true;
  }
  auto item = std::make_shared<TCall>();
  item->Call = std::move(call);
  item->Waited = true;
  std::unique_lock lock(mutex_);
  if (shutDown_) return false;
  queue_.push_back(item);
  ++waiters_;
  wakeMain_.notify_all();
  CallQueued();
  item->Finished.wait(lock, [&] { return item->State != TCall::csQueued; });
  --waiters_;
  if (shutDown_ && waiters_ == 0) wakeMain_.notify_all();
  if (item->State == TCall::csDropped) return false;
  if (item->Error) std::rethrow_exception(item->Error);
  return true;
}

void TMainThreadLoop::Post(std::function<void()> call) {
  auto item = std::make_shared<TCall>();
  item->Call = std::move(call);
  std::lock_guard lock(mutex_);
  if (shutDown_) return;
  queue_.push_back(std::move(item));
  wakeMain_.notify_all();
  CallQueued();
}

bool TMainThreadLoop::PumpOnce(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  std::shared_ptr<TCall> item = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  if (!item->Waited) {
    // A posted call has nobody waiting for it: its exception belongs to the pumping thread.
    item->Call();
    lock.lock();
    return true;
  }
  try {
    item->Call();
  } catch (...) {
    item->Error = std::current_exception();
  }
  item->Call = nullptr;  // captured state goes on this thread, not on the waiter's
  lock.lock();
  item->State = TCall::csDone;
  item->Finished.notify_all();
  return true;
}

int TMainThreadLoop::ProcessPending() {
  std::unique_lock lock(mutex_);
  // Only what is queued now: a call that queues another must not keep this pass going for ever.
  size_t count = queue_.size();
  int run = 0;
  while (count-- > 0 && PumpOnce(lock)) ++run;
  return run;
}

bool TMainThreadLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    std::unique_lock lock(mutex_);
    if (PumpOnce(lock)) continue;
    Clock::time_point now = Clock::now();
    if (now >= deadline) {
      lock.unlock();
      return done();
    }
    wakeMain_.wait_until(lock, std::min(deadline, now + PollInterval),
                         [this] { return !queue_.empty() || woken_; });
    woken_ = false;
  }
}

void TMainThreadLoop::WaitPumping(const std::function<bool()>& done) {
  while (!RunUntil(done, std::chrono::hours(1))) {
  }
}

void TMainThreadLoop::Wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  wakeMain_.notify_all();
}

void TMainThreadLoop::Shutdown() {
  std::deque<std::shared_ptr<TCall>> dropped;
  {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    dropped.swap(queue_);
    for (auto& item : dropped) {
      item->State = TCall::csDropped;
      item->Finished.notify_all();
    }
    woken_ = true;
    wakeMain_.notify_all();
  }
  // The dropped calls' captured state is released here, outside the lock.
}

bool TMainThreadLoop::IsShutDown() const {
  std::lock_guard lock(mutex_);
  return shutDown_;
}

size_t TMainThreadLoop::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

namespace {

std::atomic<TMainThread*> currentMainThread{nullptr};

// Constructed during static initialisation, which runs on the process's main thread.
[[maybe_unused]] const bool defaultLoopConstructed = (DefaultMainThreadLoop(), true);

}  // namespace

TMainThreadLoop& DefaultMainThreadLoop() {
  static TMainThreadLoop loop;
  return loop;
}

TMainThread& CurrentMainThread() {
  TMainThread* current = currentMainThread.load(std::memory_order_acquire);
  return current ? *current : DefaultMainThreadLoop();
}

void SetCurrentMainThread(TMainThread* mainThread) {
  currentMainThread.store(mainThread, std::memory_order_release);
}

}  // namespace ok
