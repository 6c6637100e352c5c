#include "media/ff_loader.h"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "media/ff_functions.h"
#include "media/lib_file_name.h"
#include "platform/dynamic_library.h"
#include "platform/file_utils.h"

namespace ok {

TFFFunctions FF;
TFFmpegLoader FFLoader;

// libavdevice's headers are not installed: its major is the one of this library generation.
const std::array<TLibraryItem, LibraryTypeCount> LibraryTable = {{
    {ltAVCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, nullptr, true},
    {ltAVDevice, "avdevice", 59, nullptr, false},
    {ltAVFilter, "avfilter", LIBAVFILTER_VERSION_MAJOR, nullptr, true},
    {ltAVFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR, nullptr, true},
    {ltAVUtil, "avutil", LIBAVUTIL_VERSION_MAJOR, nullptr, true},
    {ltSwScale, "swscale", LIBSWSCALE_VERSION_MAJOR, nullptr, true},
    {ltMyUtil, "myutil", -1, "libc.so.6", true},
    {ltSDL, "SDL", -1, nullptr, false},
    {ltSwResample, "swresample", LIBSWRESAMPLE_VERSION_MAJOR, nullptr, true},
}};

namespace {

class ELoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TFunctionEntry {
  TLibraryType kind;
  const char* symbol;
  void* slot;  // address of the typed function pointer in FF
};

#define OK_FF_BIND(kind, name) {kind, #name, &FF.name},
#define OK_FF_BIND_RENAMED(kind, entry, symbol) {kind, #symbol, &FF.entry},
const TFunctionEntry FunctionEntries[] = {OK_FF_FUNCTIONS(OK_FF_BIND, OK_FF_BIND_RENAMED)};
#undef OK_FF_BIND
#undef OK_FF_BIND_RENAMED

std::string Format(const char* fmt, const std::string& a, const std::string& b) {
  int n = std::snprintf(nullptr, 0, fmt, a.c_str(), b.c_str());
  std::string s(size_t(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, fmt, a.c_str(), b.c_str());
  return s;
}

std::string Format(const char* fmt, const std::string& a, const std::string& b, const std::string& c) {
  int n = std::snprintf(nullptr, 0, fmt, a.c_str(), b.c_str(), c.c_str());
  std::string s(size_t(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, fmt, a.c_str(), b.c_str(), c.c_str());
  return s;
}

// The version each library reports, once bound; 0 for libraries without one.
unsigned ReportedVersion(TLibraryType kind) {
  switch (kind) {
    case ltAVCodec:
      return FF.avcodec_version();
    case ltAVFilter:
      return FF.avfilter_version();
    case ltAVFormat:
      return FF.avformat_version();
    case ltAVUtil:
      return FF.avutil_version();
    case ltSwScale:
      return FF.swscale_version();
    case ltSwResample:
      return FF.swresample_version();
    default:
      return 0;
  }
}

// Folder part (up to and including the last "/") and name part of a file name.
void SplitFolder(const std::string& file, std::string& folder, std::string& name) {
  size_t slash = file.rfind('/');
  folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
  name = slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace

TFFmpegLoader::TFFmpegLoader() {
  for (int k = 0; k < LibraryTypeCount; ++k) LibraryStates[k].LibType = TLibraryType(k);
}

TFFmpegLoader::~TFFmpegLoader() {
  // A holder of the codec lock finishes its call before the loader goes.
  { std::lock_guard<std::mutex> wait(CodecLock); }
  libraryPath_.clear();
  lastErrMsg_.clear();
}

void TFFmpegLoader::SetLibraryPath(const std::string& path) { libraryPath_ = path; }

std::string TFFmpegLoader::GetLibFileName(TLibraryType kind) const {
  const TLibraryStatus& st = LibraryStates[kind];
  if (!st.FileName.empty()) return st.FileName;
  const TLibraryItem& item = LibraryTable[kind];
  if (item.FixedName) return item.FixedName;
  std::string name = std::string("lib") + item.BaseName + ".so";
  if (item.Version >= 0) name += "." + std::to_string(item.Version);
  return name;
}

void TFFmpegLoader::LoadFolderDependencies(const std::string& folder, const std::string& file,
                                           TLibraryStatus& status, int depth) {
  if (depth > 16) return;
  for (const std::string& needed : ElfNeededLibraries(folder + file)) {
    if (needed.find('/') != std::string::npos || !FileExists(folder + needed)) continue;
    LoadFolderDependencies(folder, needed, status, depth + 1);
    if (void* h = DlOpen(folder + needed, true)) status.Dependencies.push_back(h);
  }
}

void* TFFmpegLoader::LoadLibraryWithPath(const std::string& folder, const std::string& name,
                                         TLibraryStatus& status, std::string& error) {
  void* handle = nullptr;
  if (!folder.empty() && FileExists(folder + name)) {
    // The folder's own copies of the dependencies go first, so that the dynamic linker, which
    // matches dependencies by soname, binds this library to them and not to the system's.
    // The working directory is never changed: that is not thread-safe here. Media libraries stay
    // mapped after a release: their dependencies' initialisers keep memory that unmapping orphans.
    LoadFolderDependencies(folder, name, status, 0);
    handle = DlOpen(folder + name, true);
  } else {
    handle = DlOpen(name, true);
  }
  if (!handle) {
    error = DlLastError();
    for (void* dep : status.Dependencies) DlClose(dep);
    status.Dependencies.clear();
  }
  return handle;
}

void TFFmpegLoader::Bind(TLibraryType kind) {
  void* handle = LibraryStates[kind].Handle;
  std::string fileName = GetLibFileName(kind);
  std::string folder, name;
  SplitFolder(fileName, folder, name);
  for (const TFunctionEntry& e : FunctionEntries) {
    if (e.kind != kind) continue;
    void* p = DlSym(handle, e.symbol);
    if (!p) throw ELoadError(Format("Load function %s@%s error: %s", e.symbol, name, DlLastError()));
    std::memcpy(e.slot, &p, sizeof p);
  }
}

void TFFmpegLoader::Unbind(TLibraryType kind) {
  for (const TFunctionEntry& e : FunctionEntries) {
    if (e.kind != kind) continue;
    void* null = nullptr;
    std::memcpy(e.slot, &null, sizeof null);
  }
}

void TFFmpegLoader::CheckMajorVersion(TLibraryType kind) {
  const TLibraryItem& item = LibraryTable[kind];
  if (item.Version < 0) return;
  int major = int(ReportedVersion(kind) >> 16);
  if (major != item.Version)
    throw ELoadError(Format("Library %s reports major version %s, but the program was built for %s",
                            GetLibFileName(kind), std::to_string(major), std::to_string(item.Version)));
}

bool TFFmpegLoader::LoadLib(TLibraryType kind) {
  TLibraryStatus& st = LibraryStates[kind];
  const TLibraryItem& item = LibraryTable[kind];
  if (!item.Bindable) {
    lastErrMsg_ = Format("Load library %s error: %s", GetLibFileName(kind), "not used by this program");
    return false;
  }
  if (!st.Handle) {
    std::string folder, name, error;
    SplitFolder(GetLibFileName(kind), folder, name);
    if (folder.empty() && !libraryPath_.empty()) folder = IncludeTrailingPathDelimiter(libraryPath_);
    st.Handle = LoadLibraryWithPath(folder, name, st, error);
    if (!st.Handle) {
      lastErrMsg_ = Format("Load library %s error: %s", folder + name, error);
      return false;
    }
  }
  if (!st.Loaded) {
    try {
      Bind(kind);
      CheckMajorVersion(kind);
      st.Loaded = true;
    } catch (const ELoadError& e) {
      lastErrMsg_ = e.what();
    }
  }
  if (!st.Loaded) UnloadLib(kind);
  if (st.Loaded && kind == ltAVFormat) RegisterUnicodeProtocol();
  return st.Loaded;
}

bool TFFmpegLoader::LoadLibs(TLibraryTypes kinds) {
  assert(!kinds.Empty() && "LoadLibs needs a non-empty set");
  if (kinds.Empty()) return false;
  for (int k = 0; k < LibraryTypeCount; ++k) {
    if (!kinds.Contains(TLibraryType(k))) continue;
    if (!LoadLib(TLibraryType(k))) {
      UnloadLibs(kinds);
      return false;
    }
  }
  return true;
}

bool TFFmpegLoader::IsLoaded(TLibraryType kind) const {
  return LibraryStates[kind].Handle != nullptr && LibraryStates[kind].Loaded;
}

bool TFFmpegLoader::AllLoaded(TLibraryTypes kinds) const {
  if (kinds.Empty()) return false;
  for (int k = 0; k < LibraryTypeCount; ++k)
    if (kinds.Contains(TLibraryType(k)) && !IsLoaded(TLibraryType(k))) return false;
  return true;
}

void TFFmpegLoader::UnloadLib(TLibraryType kind) {
  TLibraryStatus& st = LibraryStates[kind];
  // Entries bound before a failed bind are cleared too: nothing may call into a released library.
  Unbind(kind);
  st.Loaded = false;
  if (st.Handle) {
    DlClose(st.Handle);
    st.Handle = nullptr;
  }
  for (auto it = st.Dependencies.rbegin(); it != st.Dependencies.rend(); ++it) DlClose(*it);
  st.Dependencies.clear();
}

void TFFmpegLoader::UnloadLibs(TLibraryTypes kinds) {
  if (kinds.Empty()) return;
  for (int k = 0; k < LibraryTypeCount; ++k)
    if (kinds.Contains(TLibraryType(k))) UnloadLib(TLibraryType(k));
}

std::string TFFmpegLoader::LoadedPath(TLibraryType kind) const {
  return IsLoaded(kind) ? DlPathOf(LibraryStates[kind].Handle) : "";
}

}  // namespace ok
