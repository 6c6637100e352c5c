#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace ok {

namespace {
thread_local std::string lastError;

void Remember(const char* text) { lastError = text ? text : ""; }
}  // namespace

std::string DlLastError() { return lastError; }

void* DlOpen(const std::string& fileOrPath, bool keepMapped) {
  dlerror();
  void* h = dlopen(fileOrPath.c_str(), RTLD_NOW | RTLD_GLOBAL | (keepMapped ? RTLD_NODELETE : 0));
  Remember(h ? nullptr : dlerror());
  return h;
}

void* DlSym(void* handle, const char* name) {
  dlerror();
  void* p = dlsym(handle, name);
  const char* err = dlerror();
  if (!p && !err) err = "symbol resolves to null";
  Remember(p ? nullptr : err);
  return p;
}

void DlClose(void* handle) {
  if (handle && dlclose(handle) != 0) Remember(dlerror());
}

std::string DlPathOf(void* handle) {
  link_map* map = nullptr;
  if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return "";
  return map->l_name;
}

std::vector<std::string> ElfNeededLibraries(const std::string& path) {
  std::vector<std::string> needed;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return needed;
  struct stat st;
  void* map = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    map = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return needed;
  const char* bytes = static_cast<const char*>(map);
  const uint64_t size = uint64_t(st.st_size);
  auto fits = [&](uint64_t off, uint64_t len) { return off <= size && len <= size - off; };
  Elf64_Ehdr eh;
  bool ok = fits(0, sizeof eh) && std::memcmp(bytes, ELFMAG, SELFMAG) == 0 && bytes[EI_CLASS] == ELFCLASS64;
  if (ok) {
    std::memcpy(&eh, bytes, sizeof eh);
    ok = eh.e_shentsize == sizeof(Elf64_Shdr) && fits(eh.e_shoff, uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr));
  }
  auto section = [&](unsigned i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, bytes + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof sh);
    return sh;
  };
  for (unsigned i = 0; ok && i < eh.e_shnum; ++i) {
    Elf64_Shdr dyn = section(i);
    if (dyn.sh_type != SHT_DYNAMIC || dyn.sh_link >= eh.e_shnum || !fits(dyn.sh_offset, dyn.sh_size))
      continue;
    Elf64_Shdr str = section(dyn.sh_link);
    if (!fits(str.sh_offset, str.sh_size)) continue;
    for (uint64_t off = 0; off + sizeof(Elf64_Dyn) <= dyn.sh_size; off += sizeof(Elf64_Dyn)) {
      Elf64_Dyn d;
      std::memcpy(&d, bytes + dyn.sh_offset + off, sizeof d);
      if (d.d_tag == DT_NULL) break;
      if (d.d_tag != DT_NEEDED || d.d_un.d_val >= str.sh_size) continue;
      const char* s = bytes + str.sh_offset + d.d_un.d_val;
      needed.emplace_back(s, strnlen(s, str.sh_size - d.d_un.d_val));
    }
  }
  ::munmap(map, size_t(st.st_size));
  return needed;
}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void TDynamicLibrary::Reset() {
  DlClose(handle_);
  handle_ = nullptr;
}

}  // namespace ok
