#pragma once
// Finds, loads and binds the media libraries. One process-wide loader, `FFLoader`.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fp_control.h"

namespace ok {

// The known libraries; the order is the load order. ltSwResample succeeds the old generation's
// resampling and sample-format calls; avdevice and SDL are known but never loaded.
enum TLibraryType : int {
  ltAVCodec,
  ltAVDevice,
  ltAVFilter,
  ltAVFormat,
  ltAVUtil,
  ltSwScale,
  ltMyUtil,
  ltSDL,
  ltSwResample,
};
constexpr int LibraryTypeCount = 9;

// A set of TLibraryType, bit n = member n.
class TLibraryTypes {
 public:
  constexpr TLibraryTypes() = default;
  constexpr TLibraryTypes(std::initializer_list<TLibraryType> kinds) {
    for (TLibraryType k : kinds) bits_ |= Bit(k);
  }
  constexpr bool Contains(TLibraryType k) const { return (bits_ & Bit(k)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TLibraryTypes&) const = default;

 private:
  static constexpr uint16_t Bit(TLibraryType k) { return uint16_t(1u << int(k)); }
  uint16_t bits_ = 0;
};

// The only set the program loads.
inline constexpr TLibraryTypes RequiredLibraries{ltAVCodec, ltAVFilter, ltAVFormat,  ltAVUtil,
                                                 ltSwScale, ltMyUtil,   ltSwResample};

struct TLibraryItem {
  TLibraryType LibType;
  const char* BaseName;
  int Version;            // major placed in the file name; -1: none
  const char* FixedName;  // a file name that is not built from the base name, or nullptr
  bool Bindable;          // false: the library has no function list and is never loaded
};
extern const std::array<TLibraryItem, LibraryTypeCount> LibraryTable;

struct TLibraryStatus {
  TLibraryType LibType;
  std::string FileName;  // an explicit file name replacing the built one; empty in this program
  void* Handle = nullptr;
  bool Loaded = false;
  std::vector<void*> Dependencies;  // the LibAV folder's own copies loaded for this library
};

class TFFmpegLoader {
 public:
  TFFmpegLoader();
  ~TFFmpegLoader();
  TFFmpegLoader(const TFFmpegLoader&) = delete;
  TFFmpegLoader& operator=(const TFFmpegLoader&) = delete;

  void SetLibraryPath(const std::string& path);
  const std::string& LibraryPath() const { return libraryPath_; }
  std::string GetLastErrMsg() const { return lastErrMsg_; }

  // lib<base>.so.<major> (the major of the headers compiled against), or the row's fixed name.
  std::string GetLibFileName(TLibraryType kind) const;

  bool LoadLib(TLibraryType kind);
  bool LoadLibs(TLibraryTypes kinds);
  bool IsLoaded(TLibraryType kind) const;
  bool AllLoaded(TLibraryTypes kinds) const;
  void UnloadLib(TLibraryType kind);
  void UnloadLibs(TLibraryTypes kinds);

  // Where the dynamic linker took a loaded library from ("" when not loaded).
  std::string LoadedPath(TLibraryType kind) const;

  const TLibraryStatus& State(TLibraryType kind) const { return LibraryStates[kind]; }
  // An explicit file name for a library, replacing the built one; "" restores the built name.
  void SetLibFileName(TLibraryType kind, const std::string& fileName) {
    LibraryStates[kind].FileName = fileName;
  }

  // Serialises stream-information probing and every codec open and close across all tasks.
  std::mutex CodecLock;

 private:
  void* LoadLibraryWithPath(const std::string& folder, const std::string& name, TLibraryStatus& status,
                            std::string& error);
  void LoadFolderDependencies(const std::string& folder, const std::string& file, TLibraryStatus& status,
                              int depth);
  void Bind(TLibraryType kind);
  void Unbind(TLibraryType kind);
  void CheckMajorVersion(TLibraryType kind);

  std::array<TLibraryStatus, LibraryTypeCount> LibraryStates;
  std::string lastErrMsg_;
  std::string libraryPath_;
  TFloatingPointControl fpControl_;
};

extern TFFmpegLoader FFLoader;

}  // namespace ok
