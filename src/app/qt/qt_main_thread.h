#pragma once
// The main-thread hand-off of the window: the platform's call queue, pumped by Qt's event loop.
// Being a TMainThreadLoop, a main thread that waits for a worker (WaitPumping) keeps running the
// worker's RunAndWait calls, so neither waits for the other.

#include <QObject>
#include <atomic>
#include <memory>

#include "platform/main_thread.h"

namespace ok {

class TQtMainThread : public TMainThreadLoop {
 public:
  // Constructed on the thread that runs the application's event loop.
  TQtMainThread();
  ~TQtMainThread() override;

 protected:
  void CallQueued() override;

 private:
  void Pump();

  std::unique_ptr<QObject> receiver_;  // lives on the main thread; its queued events run Pump
  std::atomic<bool> scheduled_{false};
};

}  // namespace ok
