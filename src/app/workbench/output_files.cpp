#include "app/workbench/output_files.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_utils.h"

namespace ok {

namespace {
constexpr const char* kPartMark = ".ok-part";
}

std::string PartFileName(const std::string& output, int pid) {
  const std::string folder = ExtractFilePath(output);
  const std::string name = ExtractFileName(output);
  const std::string suffix = ExtractFileExt(name);
  return folder + "." + name.substr(0, name.size() - suffix.size()) + "." +
         std::to_string(pid > 0 ? pid : int(::getpid())) + kPartMark + suffix;
}

bool ParsePartFileName(const std::string& name, std::string& output, int& pid) {
  const size_t mark = name.rfind(kPartMark);
  if (name.size() < 2 || name[0] != '.' || mark == std::string::npos) return false;
  const std::string suffix = name.substr(mark + std::char_traits<char>::length(kPartMark));
  if (!suffix.empty() && (suffix[0] != '.' || suffix.find('.', 1) != std::string::npos)) return false;
  const size_t dot = name.rfind('.', mark - 1);
  if (dot == std::string::npos || dot < 1 || dot + 1 == mark || mark - dot > 11) return false;
  long long id = 0;
  for (size_t i = dot + 1; i < mark; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    id = id * 10 + (name[i] - '0');
  }
  if (id <= 0 || id > 0x7fffffff) return false;
  output = name.substr(1, dot - 1) + suffix;
  pid = int(id);
  return !output.empty();
}

void RemoveAbandonedParts(const std::string& folder) {
  std::error_code error;
  const std::string root = IncludeTrailingPathDelimiter(folder);
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string output;
    int pid = 0;
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(error) || !ParsePartFileName(name, output, pid) || ProcessExists(pid))
      continue;
    // The writer is gone: its reservation of the output name, still empty, goes with its part.
    if (DeleteFile(root + name) && FileSize64(root + output) == 0) DeleteFile(root + output);
  }
}

bool SettlePart(const std::string& part, const std::string& output) {
  if (part.empty()) return false;
  if (FileSize64(part) > 0 && std::rename(part.c_str(), output.c_str()) == 0) return true;
  DeleteFile(part);
  return false;
}

}  // namespace ok
