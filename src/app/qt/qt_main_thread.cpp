#include "app/qt/qt_main_thread.h"

#include <QMetaObject>
#include <QtGlobal>
#include <exception>

namespace ok {

TQtMainThread::TQtMainThread() : receiver_(std::make_unique<QObject>()) {}

TQtMainThread::~TQtMainThread() {
  // Waiting workers are let go before the receiver (and its queued events) disappear.
  Shutdown();
}

void TQtMainThread::CallQueued() {
  // One queued event at a time is enough: Pump takes everything queued before it starts.
  if (scheduled_.exchange(true)) return;
  QMetaObject::invokeMethod(
      receiver_.get(), [this] { Pump(); }, Qt::QueuedConnection);
}

void TQtMainThread::Pump() {
  scheduled_.store(false);
  try {
    ProcessPending();
  } catch (const std::exception& error) {
    // A posted call has nobody to report to; the event loop must go on.
    qWarning("A call handed to the main thread failed: %s", error.what());
  } catch (...) {
    qWarning("A call handed to the main thread failed");
  }
  // What stayed queued behind a failed call gets another turn.
  if (PendingCount() > 0 && !scheduled_.exchange(true))
    QMetaObject::invokeMethod(
        receiver_.get(), [this] { Pump(); }, Qt::QueuedConnection);
}

}  // namespace ok
