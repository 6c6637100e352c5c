#include "platform/pause_gate.h"

namespace ok {

void TPauseGate::Pause() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!openForGood_) paused_ = true;
}

void TPauseGate::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = false;
  }
  opened_.notify_all();
}

void TPauseGate::Open() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    openForGood_ = true;
    paused_ = false;
  }
  opened_.notify_all();
}

bool TPauseGate::Paused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return paused_;
}

void TPauseGate::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  opened_.wait(lock, [this] { return !paused_; });
}

}  // namespace ok
