#pragma once
// The component's event types and levels, and the library log: the callback that assembles the
// libraries' message fragments into lines per thread (the log list) and hands every line to every
// live component.

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/transcode/frame_processing.h"
#include "media/bitmap.h"
#include "platform/thread_priority.h"

namespace ok {

enum TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// Only the first four thread priorities, tpIdle to tpNormal, are offered for conversions.
using TConvertPriority = TThreadPriority;

using TBeforeHookEvent = std::function<void(int index, int64_t pts, THookAction& hookAction)>;
using TCustomHookEvent = std::function<void(int index, TBitmap& bitmap, int frameNumber, int64_t pts,
                                            bool& update, bool& stopHook)>;
using TLogEvent = std::function<void(int index, TLogLevel logLevel, const std::string& msg)>;
using TPreviewBitmapEvent =
    std::function<void(int index, const TBitmap& bitmap, int frameNumber, int64_t pts)>;
using TProgressEvent =
    std::function<void(int index, int frameNumber, int fps, int currentDuration, float quality, float bitRate,
                       int64_t currentSize, int totalOutputDuration)>;
using TTerminateEvent =
    std::function<void(int index, bool finished, bool exception, const std::string& message)>;

// An engine level (-1 quiet, 0 error, 1 information, 2 debug, 3 everything) as the event's level.
TLogLevel LogLevelOfEngineLevel(int level);

// One thread's unfinished line.
struct TLogItem {
  uint32_t ThreadID = 0;  // 0: free
  std::string Text;
  std::unique_ptr<TLogItem> Next;
};

// The head held inline, then a chain of items made on demand.
class TLogList {
 public:
  TLogList() = default;
  ~TLogList();
  TLogList(const TLogList&) = delete;
  TLogList& operator=(const TLogList&) = delete;

  // The item of `threadId`: the head when it is free or already that thread's, else the chain's;
  // a new item goes directly after the head.
  TLogItem& Find(uint32_t threadId);
  // Drops the item of `threadId`, whose thread logs no more.
  void Forget(uint32_t threadId);
  void Clear();
  const TLogItem& Head() const { return head_; }

 private:
  TLogItem head_;
};

class TCustomTranscoder;

// The live-component list. Unregister waits until no log line is being handed to the component.
void RegisterLiveComponent(TCustomTranscoder* component);
void UnregisterLiveComponent(TCustomTranscoder* component);
// Clears the process-wide log list under the live-component list's lock.
void ClearLogList();
// Drops the unfinished line of a task's thread that has ended: a run that goes on for thousands
// of tasks would otherwise keep an item for each, and search them all for every line.
void ForgetLogThread(uint32_t threadId);

// What LoadLibraries installs into the libraries. `context` is the logging library object or
// none; `level` an AV_LOG_* level.
void LogCallback(void* context, int level, const char* format, va_list args);

}  // namespace ok
