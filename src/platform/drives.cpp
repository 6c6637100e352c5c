#include "platform/drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "platform/file_utils.h"

namespace ok {

namespace {

std::string DecodeOctalEscapes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.size() == 3 &&
          std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out += char(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

bool HasOption(const std::string& options, const std::string& name) {
  std::stringstream in(options);
  std::string item;
  while (std::getline(in, item, ','))
    if (item == name) return true;
  return false;
}

}  // namespace

std::vector<TMountEntry> ParseMountInfo(const std::string& text) {
  std::vector<TMountEntry> entries;
  std::stringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::stringstream in(line);
    std::vector<std::string> fields;
    std::string field;
    while (in >> field) fields.push_back(field);
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 3)
      continue;
    TMountEntry e;
    const std::string& device = fields[2];
    const size_t colon = device.find(':');
    if (colon == std::string::npos) continue;
    try {
      e.Major = unsigned(std::stoul(device.substr(0, colon)));
      e.Minor = unsigned(std::stoul(device.substr(colon + 1)));
    } catch (const std::exception&) {
      continue;
    }
    e.Root = DecodeOctalEscapes(fields[3]);
    e.MountPoint = DecodeOctalEscapes(fields[4]);
    e.ReadOnly = HasOption(fields[5], "ro");
    e.FsType = dash[1];
    e.Source = DecodeOctalEscapes(dash[2]);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<TMountEntry> FixedMounts(const std::vector<TMountEntry>& entries) {
  std::vector<TMountEntry> fixed;
  for (const TMountEntry& e : entries) {
    if (e.Root != "/" || e.ReadOnly || e.Source.rfind("/dev/", 0) != 0) continue;
    auto same = std::find_if(fixed.begin(), fixed.end(),
                             [&](const TMountEntry& f) { return f.Major == e.Major && f.Minor == e.Minor; });
    if (same == fixed.end())
      fixed.push_back(e);
    else if (e.MountPoint.size() < same->MountPoint.size())
      *same = e;
  }
  return fixed;
}

std::vector<std::string> TSystemDriveTable::MountPoints() const {
  std::string text;
  if (!ReadFileBytes("/proc/self/mountinfo", text)) return {};
  std::vector<std::string> points;
  for (const TMountEntry& e : FixedMounts(ParseMountInfo(text)))
    if (::access(e.MountPoint.c_str(), W_OK | X_OK) == 0) points.push_back(e.MountPoint);
  std::sort(points.begin(), points.end());
  return points;
}

uint64_t TSystemDriveTable::FreeBytes(const std::string& mountPoint) const {
  struct statvfs st {};
  if (::statvfs(mountPoint.c_str(), &st) != 0) return 0;
  return uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
}

std::string TSystemDriveTable::SystemDrive() const {
  struct stat root {};
  std::string text;
  if (::stat("/", &root) != 0 || !ReadFileBytes("/proc/self/mountinfo", text)) return "/";
  // The fixed drive that holds "/" may be mounted elsewhere as well; it is skipped under any name.
  for (const TMountEntry& e : FixedMounts(ParseMountInfo(text)))
    if (makedev(e.Major, e.Minor) == root.st_dev) return e.MountPoint;
  return "/";
}

std::vector<std::string> GetFixedDrives(const TDriveTable& drives) {
  std::vector<std::string> points = drives.MountPoints();
  std::sort(points.begin(), points.end());
  return points;
}

std::string GetRoomiestDrive(const TDriveTable& drives) {
  const std::string system = ExcludeTrailingPathDelimiter(drives.SystemDrive());
  std::string best;
  uint64_t bestFree = 0;
  for (const std::string& point : GetFixedDrives(drives)) {
    if (ExcludeTrailingPathDelimiter(point) == system) continue;
    const uint64_t free = drives.FreeBytes(point);
    if (free > bestFree) {
      best = point;
      bestFree = free;
    }
  }
  return best;
}

}  // namespace ok
