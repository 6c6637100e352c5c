#pragma once
// The machine's "fixed drives": the local, block-device-backed file systems the user can write
// to, each named by its mount point, and the system drive (the file system of "/"), which the
// default output folder avoids.

#include <cstdint>
#include <string>
#include <vector>

namespace ok {

class TDriveTable {
 public:
  virtual ~TDriveTable() = default;
  // Mount points of the fixed drives, each file system once, in name order.
  virtual std::vector<std::string> MountPoints() const = 0;
  // Bytes free to the calling user on the file system at `mountPoint`; 0 when unknown.
  virtual uint64_t FreeBytes(const std::string& mountPoint) const = 0;
  // The mount point of the file system that holds "/".
  virtual std::string SystemDrive() const = 0;
};

// The drives of this machine, read from /proc/self/mountinfo and statvfs at every call.
class TSystemDriveTable : public TDriveTable {
 public:
  std::vector<std::string> MountPoints() const override;
  uint64_t FreeBytes(const std::string& mountPoint) const override;
  std::string SystemDrive() const override;
};

// One line of /proc/self/mountinfo, as far as the drive table needs it.
struct TMountEntry {
  std::string MountPoint;
  std::string Root;  // the part of the file system mounted there ("/" for the whole)
  std::string FsType;
  std::string Source;
  unsigned Major = 0, Minor = 0;
  bool ReadOnly = false;
};

// Parses mountinfo text; malformed lines are skipped. Octal escapes ("\040") are decoded.
std::vector<TMountEntry> ParseMountInfo(const std::string& text);
// The entries that count as fixed drives: a block device (source under /dev/; btrfs reports an
// anonymous device number), the whole file system (root "/"), mounted read-write; each device
// once, at its shortest mount point.
std::vector<TMountEntry> FixedMounts(const std::vector<TMountEntry>& entries);

// The fixed drives' mount points in name order.
std::vector<std::string> GetFixedDrives(const TDriveTable& drives);
// The fixed drive other than the system drive with the most free bytes; the earlier one on a tie,
// never one with 0 free bytes; "" when none qualifies.
std::string GetRoomiestDrive(const TDriveTable& drives);

}  // namespace ok
