#pragma once
// A cooperative pause: the worker passes the gate at safe points (between packets, between
// repeated frames) and waits there while the gate is closed. No lock of the caller is held while
// it waits; Open lets every waiter through for good (stop and destruction).

#include <condition_variable>
#include <mutex>

namespace ok {

class TPauseGate {
 public:
  // Closes the gate unless it was opened for good.
  void Pause();
  // Opens the gate again after a pause.
  void Resume();
  // Opens the gate for good: later pauses are ignored.
  void Open();
  bool Paused() const;
  // Worker side: returns at once while the gate is open, else waits until it opens.
  void Pass();

 private:
  mutable std::mutex mutex_;
  std::condition_variable opened_;
  bool paused_ = false;
  bool openForGood_ = false;
};

}  // namespace ok
