#pragma once
// Frame-hook modules named by the engine's "vhook" option (interface for module authors in
// include/ostrelkalvexa/frame_hook_module.h): loaded once per process, chained per task, run on
// every video picture before encoding.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/picture_converter.h"

namespace ok {

// Results of FrameHookAdd.
constexpr int fhOk = 0;
constexpr int fhNotLoadable = -1;        // the module file cannot be loaded
constexpr int fhMissingEntryPoint = -2;  // no arguments, no "Process", or no "Configure" for arguments
constexpr int fhOutOfMemory = -12;
constexpr int fhConfigureRefused = -22;

struct TFrameHookEntry {
  std::unique_ptr<TFrameHookEntry> Next;
  okv_configure_fn ConfigureProc = nullptr;
  okv_process_fn ProcessProc = nullptr;
  okv_release_fn ReleaseProc = nullptr;
  void* HookContext = nullptr;
};

// A task's chain: the head of a singly linked list of entries. Destroying it releases what is left.
struct TFrameHookChain {
  TFrameHookChain() = default;
  ~TFrameHookChain();
  TFrameHookChain(const TFrameHookChain&) = delete;
  TFrameHookChain& operator=(const TFrameHookChain&) = delete;

  int Count() const;

  std::unique_ptr<TFrameHookEntry> Head;
};

// Loads (once per process) the module named by argv[0], configures a new entry with all `argc`
// arguments and appends it to the chain. Results fh*; failures are logged at the error level.
int FrameHookAdd(TFrameHookChain& chain, int argc, char* argv[]);
// The same with the arguments as a list.
int FrameHookAdd(TFrameHookChain& chain, const std::vector<std::string>& args);

// Calls "Process" of every entry, in chain order.
void FrameHookProcess(const TFrameHookChain& chain, TPicture& picture, AVPixelFormat pixFmt, int width,
                      int height, int64_t pts);

// Calls "Release" of every entry that has one, in chain order, and frees the entries.
void FrameHookRelease(TFrameHookChain& chain);

// The process-wide list of loaded modules: file name (compared without regard to letter case) to
// handle. Modules are never released.
class THookModules {
 public:
  // The handle of a module loaded under `fileName`, or nullptr.
  void* Find(const std::string& fileName) const;
  size_t Count() const;

 private:
  friend int FrameHookAdd(TFrameHookChain&, int, char*[]);
  struct TModule {
    std::string FileName;
    void* Handle;
  };
  void* FindLocked(const std::string& fileName) const;

  mutable std::mutex mutex_;
  std::vector<TModule> modules_;
};

THookModules& HookModules();

}  // namespace ok
