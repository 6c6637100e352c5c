#include "media/frame_hook.h"

#include <new>

#include "platform/dynamic_library.h"

namespace ok {

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

template <typename... Args>
void LogError(const char* format, Args... args) {
  if (FF.av_log) FF.av_log(nullptr, AV_LOG_ERROR, format, args...);
}

template <typename Proc>
Proc Resolve(void* handle, const char* name) {
  return reinterpret_cast<Proc>(DlSym(handle, name));
}

}  // namespace

THookModules& HookModules() {
  static THookModules modules;
  return modules;
}

void* THookModules::FindLocked(const std::string& fileName) const {
  for (const TModule& m : modules_)
    if (SameNameIgnoringCase(m.FileName, fileName)) return m.Handle;
  return nullptr;
}

void* THookModules::Find(const std::string& fileName) const {
  std::lock_guard lock(mutex_);
  return FindLocked(fileName);
}

size_t THookModules::Count() const {
  std::lock_guard lock(mutex_);
  return modules_.size();
}

TFrameHookChain::~TFrameHookChain() { FrameHookRelease(*this); }

int TFrameHookChain::Count() const {
  int n = 0;
  for (const TFrameHookEntry* e = Head.get(); e; e = e->Next.get()) ++n;
  return n;
}

int FrameHookAdd(TFrameHookChain& chain, int argc, char* argv[]) {
  if (argc < 1 || !argv || !argv[0]) return fhMissingEntryPoint;
  const char* fileName = argv[0];
  try {
    void* handle = nullptr;
    {
      // Held across the load so that two tasks naming a new module at once load it once.
      THookModules& modules = HookModules();
      std::lock_guard lock(modules.mutex_);
      handle = modules.FindLocked(fileName);
      if (!handle) {
        // By the name as given: the working folder and PATH are process-wide and other threads
        // may be using them, so dependencies beside the module come from its own run path.
        handle = DlOpen(fileName);
        if (!handle) {
          LogError("%s\n", DlLastError().c_str());
          return fhNotLoadable;
        }
        modules.modules_.push_back({fileName, handle});
      }
    }

    auto entry = std::make_unique<TFrameHookEntry>();
    entry->ConfigureProc = Resolve<okv_configure_fn>(handle, OKV_CONFIGURE_NAME);
    entry->ProcessProc = Resolve<okv_process_fn>(handle, OKV_PROCESS_NAME);
    entry->ReleaseProc = Resolve<okv_release_fn>(handle, OKV_RELEASE_NAME);
    if (!entry->ProcessProc) {
      LogError("Failed to find Process entrypoint in %s\n", fileName);
      return fhMissingEntryPoint;
    }
    if (!entry->ConfigureProc && argc > 1) {
      LogError("Failed to find Configure entrypoint in %s\n", fileName);
      return fhMissingEntryPoint;
    }
    if (entry->ConfigureProc && entry->ConfigureProc(&entry->HookContext, argc, argv) != 0) {
      LogError("Failed to Configure %s\n", fileName);
      return fhConfigureRefused;
    }

    std::unique_ptr<TFrameHookEntry>* tail = &chain.Head;
    while (*tail) tail = &(*tail)->Next;
    *tail = std::move(entry);
    return fhOk;
  } catch (const std::bad_alloc&) {
    return fhOutOfMemory;
  }
}

int FrameHookAdd(TFrameHookChain& chain, const std::vector<std::string>& args) {
  // Modules get writable strings, as C's main does; they live for the call only.
  std::vector<std::vector<char>> storage;
  std::vector<char*> argv;
  try {
    storage.reserve(args.size());
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) {
      storage.emplace_back(a.begin(), a.end());
      storage.back().push_back('\0');
      argv.push_back(storage.back().data());
    }
    argv.push_back(nullptr);
  } catch (const std::bad_alloc&) {
    return fhOutOfMemory;
  }
  return FrameHookAdd(chain, int(args.size()), argv.data());
}

void FrameHookProcess(const TFrameHookChain& chain, TPicture& picture, AVPixelFormat pixFmt, int width,
                      int height, int64_t pts) {
  for (const TFrameHookEntry* e = chain.Head.get(); e; e = e->Next.get())
    if (e->ProcessProc) e->ProcessProc(e->HookContext, &picture, int(pixFmt), width, height, pts);
}

void FrameHookRelease(TFrameHookChain& chain) {
  while (chain.Head) {
    std::unique_ptr<TFrameHookEntry> entry = std::move(chain.Head);
    chain.Head = std::move(entry->Next);
    if (entry->ReleaseProc) entry->ReleaseProc(entry->HookContext);
  }
}

}  // namespace ok
