#include "component/transcoder_events.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "component/transcoder.h"
#include "engine/run/log_levels.h"
#include "media/ff_functions.h"
#include "platform/worker_thread.h"

namespace ok {

namespace {

constexpr size_t LogBufferSize = 2048;

struct TLiveComponent {
  TCustomTranscoder* Component;
  int Dispatches;  // log lines being handed to it right now
};

// The live-component list and the log list, process-wide. Lines are handed to the components
// outside the list's lock, so that the lock is never held while a component's Lock is awaited;
// the dispatch count keeps a component alive meanwhile.
struct TLogState {
  std::mutex Mutex;
  std::condition_variable DispatchEnded;
  std::vector<TLiveComponent> Components;
  TLogList Lines;

  ~TLogState() {
    // Nothing may call into this state once it is gone.
    if (FF.av_log_set_callback && FF.av_log_default_callback)
      FF.av_log_set_callback(FF.av_log_default_callback);
  }
};

TLogState& LogState() {
  static TLogState state;
  return state;
}

struct TAssembled {
  std::string Text;
  bool Cut = false;  // the buffer was full: the rest of the message is lost
};

// `context`'s prefix "[name @ ADDRESS]" for a line that starts here, else the thread's unfinished
// text, then the formatted message; all of it bounded to the buffer.
TAssembled AssembleText(void* context, const TLogItem& item, const char* format, va_list args) {
  char buffer[LogBufferSize] = {};
  constexpr size_t Room = LogBufferSize - 1;
  size_t used = 0;
  bool cut = false;
  const AVClass* cls = context ? *static_cast<const AVClass* const*>(context) : nullptr;
  if (cls && item.Text.empty()) {
    const char* name = cls->item_name ? cls->item_name(context) : nullptr;
    // The descriptor's address in 8 digits, as the log has always shown it.
    const int n = std::snprintf(buffer, sizeof buffer, "[%s @ %08X]", name ? name : "",
                                static_cast<unsigned>(reinterpret_cast<uintptr_t>(cls)));
    used = n < 0 ? 0 : std::min(size_t(n), Room);
    cut = n >= 0 && size_t(n) >= Room;
  } else if (!item.Text.empty()) {
    used = std::min(item.Text.size(), Room);
    item.Text.copy(buffer, used);
    cut = item.Text.size() >= Room;
  }
  const int n = std::vsnprintf(buffer + used, sizeof buffer - used, format, args);
  if (n > 0 && size_t(n) > Room - used) cut = true;
  return {std::string(buffer), cut};
}

}  // namespace

TLogLevel LogLevelOfEngineLevel(int level) {
  if (level < 0) return llQuiet;
  if (level >= 4) return llAll;
  return TLogLevel(level + 1);
}

TLogList::~TLogList() { Clear(); }

TLogItem& TLogList::Find(uint32_t threadId) {
  if (head_.ThreadID == threadId) return head_;
  for (TLogItem* item = head_.Next.get(); item; item = item->Next.get())
    if (item->ThreadID == threadId) return *item;
  // A head that a forgotten thread left takes the next thread.
  if (head_.ThreadID == 0) {
    head_.ThreadID = threadId;
    return head_;
  }
  auto item = std::make_unique<TLogItem>();
  item->ThreadID = threadId;
  item->Next = std::move(head_.Next);
  head_.Next = std::move(item);
  return *head_.Next;
}

void TLogList::Forget(uint32_t threadId) {
  if (head_.ThreadID == threadId) {
    head_.ThreadID = 0;
    head_.Text.clear();
    return;
  }
  for (TLogItem* item = &head_; item->Next; item = item->Next.get())
    if (item->Next->ThreadID == threadId) {
      item->Next = std::move(item->Next->Next);
      return;
    }
}

void TLogList::Clear() {
  head_.ThreadID = 0;
  head_.Text.clear();
  // One by one: a long chain must not unwind recursively.
  std::unique_ptr<TLogItem> next = std::move(head_.Next);
  while (next) next = std::move(next->Next);
}

void RegisterLiveComponent(TCustomTranscoder* component) {
  TLogState& state = LogState();
  std::lock_guard lock(state.Mutex);
  state.Components.push_back({component, 0});
}

void UnregisterLiveComponent(TCustomTranscoder* component) {
  TLogState& state = LogState();
  std::unique_lock lock(state.Mutex);
  auto find = [&] {
    return std::find_if(state.Components.begin(), state.Components.end(),
                        [&](const TLiveComponent& c) { return c.Component == component; });
  };
  state.DispatchEnded.wait(lock, [&] {
    auto it = find();
    return it == state.Components.end() || it->Dispatches == 0;
  });
  auto it = find();
  if (it != state.Components.end()) state.Components.erase(it);
}

void ClearLogList() {
  TLogState& state = LogState();
  std::lock_guard lock(state.Mutex);
  state.Lines.Clear();
}

void ForgetLogThread(uint32_t threadId) {
  TLogState& state = LogState();
  std::lock_guard lock(state.Mutex);
  state.Lines.Forget(threadId);
}

void LogCallback(void* context, int level, const char* format, va_list args) {
  if (level >= 0) level &= 0xFF;  // the colour bits above the level
  const int engineLevel = EngineLevelOf(level);
  if (engineLevel > LogThreshold) return;

  TLogState& state = LogState();
  const uint32_t threadId = CurrentThreadID();
  std::vector<std::string> lines;
  std::vector<TCustomTranscoder*> components;
  {
    std::lock_guard lock(state.Mutex);
    TLogItem& item = state.Lines.Find(threadId);
    auto [text, cut] = AssembleText(context, item, format, args);
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n')) {
      lines.push_back(text.substr(0, lf));
      text.erase(0, lf + 1);
    }
    // A cut message ends its line here: kept pending, a full buffer would swallow every later
    // message of the thread.
    if (cut && !text.empty()) lines.push_back(std::move(text));
    item.Text = cut ? std::string() : std::move(text);
    if (lines.empty()) return;
    for (TLiveComponent& c : state.Components) {
      ++c.Dispatches;
      components.push_back(c.Component);
    }
  }
  for (const std::string& line : lines)
    for (TCustomTranscoder* component : components) {
      try {
        component->DoLibraryLog(threadId, engineLevel, line);
      } catch (...) {
        // A handler's exception must not unwind through the library that is logging.
      }
    }
  std::lock_guard lock(state.Mutex);
  for (TLiveComponent& c : state.Components)
    if (std::find(components.begin(), components.end(), c.Component) != components.end()) --c.Dispatches;
  state.DispatchEnded.notify_all();
}

}  // namespace ok
