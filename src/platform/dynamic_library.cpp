#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>

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
  std::ifstream in(path, std::ios::binary);
  if (!in) return needed;
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto fits = [&](uint64_t off, uint64_t len) { return off <= bytes.size() && len <= bytes.size() - off; };
  if (!fits(0, sizeof(Elf64_Ehdr)) || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0 ||
      bytes[EI_CLASS] != ELFCLASS64)
    return needed;
  Elf64_Ehdr eh;
  std::memcpy(&eh, bytes.data(), sizeof eh);
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || !fits(eh.e_shoff, uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr)))
    return needed;
  auto section = [&](unsigned i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, bytes.data() + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof sh);
    return sh;
  };
  for (unsigned i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr dyn = section(i);
    if (dyn.sh_type != SHT_DYNAMIC || dyn.sh_link >= eh.e_shnum || !fits(dyn.sh_offset, dyn.sh_size)) continue;
    Elf64_Shdr str = section(dyn.sh_link);
    if (!fits(str.sh_offset, str.sh_size)) continue;
    for (uint64_t off = 0; off + sizeof(Elf64_Dyn) <= dyn.sh_size; off += sizeof(Elf64_Dyn)) {
      Elf64_Dyn d;
      std::memcpy(&d, bytes.data() + dyn.sh_offset + off, sizeof d);
      if (d.d_tag == DT_NULL) break;
      if (d.d_tag != DT_NEEDED || d.d_un.d_val >= str.sh_size) continue;
      const char* s = bytes.data() + str.sh_offset + d.d_un.d_val;
      needed.emplace_back(s, strnlen(s, str.sh_size - d.d_un.d_val));
    }
  }
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
