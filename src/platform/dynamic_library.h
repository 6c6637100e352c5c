#pragma once
// Dynamic libraries: load by path or by the system search, resolve symbols, release.

#include <string>
#include <vector>

namespace ok {

// The text of the last dlopen/dlsym/dlclose failure on this thread, or "" when there is none.
std::string DlLastError();

// Loads a shared object with RTLD_NOW | RTLD_GLOBAL; nullptr on failure (see DlLastError).
// With `keepMapped`, DlClose drops the handle but the object stays in memory (RTLD_NODELETE): for
// libraries whose initialisers allocate memory that a release would orphan.
void* DlOpen(const std::string& fileOrPath, bool keepMapped = false);
void* DlSym(void* handle, const char* name);
void DlClose(void* handle);

// The path the dynamic linker loaded `handle` from ("" when unknown).
std::string DlPathOf(void* handle);

// The DT_NEEDED entries of an ELF shared object on disk, in file order; empty when the file is not
// a readable ELF object.
std::vector<std::string> ElfNeededLibraries(const std::string& path);

// Owns one loaded library; released on destruction.
class TDynamicLibrary {
 public:
  TDynamicLibrary() = default;
  explicit TDynamicLibrary(const std::string& fileOrPath) : handle_(DlOpen(fileOrPath)) {}
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;
  TDynamicLibrary(TDynamicLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  TDynamicLibrary& operator=(TDynamicLibrary&& other) noexcept;
  ~TDynamicLibrary() { Reset(); }

  bool IsLoaded() const { return handle_ != nullptr; }
  void* Handle() const { return handle_; }
  void* Symbol(const char* name) const { return handle_ ? DlSym(handle_, name) : nullptr; }
  void Reset();

 private:
  void* handle_ = nullptr;
};

}  // namespace ok
