#include "platform/program_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
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

std::string ExecutableFolder() { return ExtractFilePath(ExecutablePath()); }

std::string ProgramFolder() {
  const std::string home = EnvValue("OSTRELKALVEXA_HOME");
  if (!home.empty()) return IncludeTrailingPathDelimiter(home);
  return ExecutableFolder();
}

namespace {

// $XDG_CONFIG_HOME, else ~/.config, with a trailing "/"; "" when neither is known. A relative
// XDG_CONFIG_HOME is ignored, as the XDG base directory rules require.
std::string ConfigHome() {
  const std::string base = EnvValue("XDG_CONFIG_HOME");
  if (!base.empty() && base[0] == '/') return IncludeTrailingPathDelimiter(base);
  const std::string home = HomeFolder();
  return home.empty() ? "" : IncludeTrailingPathDelimiter(home) + ".config/";
}

}  // namespace

std::string SettingsFolder() {
  const std::string portable = EnvValue("OSTRELKALVEXA_HOME");
  const std::string program = ProgramFolder();
  if (!portable.empty() && ::access(program.c_str(), W_OK | X_OK) == 0) return program;
  const std::string config = ConfigHome();
  if (config.empty()) return program;
  const std::string folder = config + "ostrelkalvexa/";
  ForceDirectories(folder);  // a failure shows when the settings are written
  if (portable.empty()) CarryOverSettings(program, folder);
  return folder;
}

void CarryOverSettings(const std::string& from, const std::string& to) {
  if (from.empty() || from == to) return;
  for (const char* name : {"config.ini", "extfile.ini"}) {
    std::string content;
    if (FileExists(to + name) || !FileExists(from + name) || !ReadFileBytes(from + name, content)) continue;
    WriteFileAtomic(to + name, content);
  }
}

namespace {

// One value of user-dirs.dirs as the shell that xdg-user-dir sources it with reads it: quoted or
// not, with backslash escapes inside quotes, $HOME or ${HOME} at its start; "" for a value that is
// neither under the home folder nor absolute, which the user-dirs format does not allow.
std::string UserDirsValue(const std::string& raw, const std::string& home) {
  std::string value;
  if (!raw.empty() && raw[0] == '"') {
    for (size_t i = 1; i < raw.size() && raw[i] != '"'; ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size() && std::strchr("\"\\$`", raw[i + 1])) ++i;
      value += raw[i];
    }
  } else {
    value = raw.substr(0, raw.find_first_of(" \t#"));
  }
  for (const char* name : {"$HOME", "${HOME}"}) {
    const size_t length = std::strlen(name);
    if (value.compare(0, length, name) == 0 && (value.size() == length || value[length] == '/'))
      return ExcludeTrailingPathDelimiter(home + value.substr(length));
  }
  return !value.empty() && value[0] == '/' ? ExcludeTrailingPathDelimiter(value) : "";
}

}  // namespace

std::string UserDirectory(const std::string& kind) {
  const std::string home = HomeFolder();
  std::string content;
  if (!ReadFileBytes(ConfigHome() + "user-dirs.dirs", content)) return home;
  // Lines of the form XDG_VIDEOS_DIR="$HOME/Videos"; as when the shell reads them, the last wins.
  const std::string key = "XDG_" + kind + "_DIR=";
  std::string found;
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, key.size(), key) != 0) continue;
    const std::string value = UserDirsValue(line.substr(first + key.size()), home);
    if (!value.empty()) found = value;
  }
  return found.empty() ? home : found;
}

std::string SettingsFile(const std::string& name) { return SettingsFolder() + name; }

}  // namespace ok
