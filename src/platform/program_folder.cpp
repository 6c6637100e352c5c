#include "platform/program_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/file_utils.h"

namespace ok {

namespace {

std::string EnvValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);  // the name may have been cut: try again with more room
  }
}

}  // namespace

std::string HomeFolder() {
  std::string home = EnvValue("HOME");
  if (!home.empty()) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw;
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir)
    return result->pw_dir;
  return "";
}

std::string ProgramFolder() {
  const std::string home = EnvValue("OSTRELKALVEXA_HOME");
  if (!home.empty()) return IncludeTrailingPathDelimiter(home);
  return ExtractFilePath(ExecutablePath());
}

std::string SettingsFolder() {
  const std::string program = ProgramFolder();
  if (!program.empty() && ::access(program.c_str(), W_OK | X_OK) == 0) return program;
  // A relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules require.
  std::string base = EnvValue("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    const std::string home = HomeFolder();
    if (home.empty()) return program;
    base = IncludeTrailingPathDelimiter(home) + ".config";
  }
  const std::string folder = IncludeTrailingPathDelimiter(base) + "ostrelkalvexa/";
  ForceDirectories(folder);  // a failure shows when the settings are written
  return folder;
}

std::string SettingsFile(const std::string& name) { return SettingsFolder() + name; }

}  // namespace ok
