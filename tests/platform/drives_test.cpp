#include "platform/drives.h"

#include <gtest/gtest.h>

namespace ok {
namespace {

TEST(Drives, FixedMountsAreWholeWritableBlockDevicesEachOnce) {
  const std::string mountinfo =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "23 22 0:5 / /proc rw - proc proc rw\n"
      "24 22 0:30 / /tmp rw - tmpfs tmpfs rw\n"
      "25 22 8:2 / /media/My\\040Disk rw,nosuid shared:7 master:2 - vfat /dev/sdb1 rw\n"
      "26 22 8:2 / /media/longer/alias rw - vfat /dev/sdb1 rw\n"
      "27 22 8:1 /var/lib/x /bind rw - ext4 /dev/sda1 rw\n"
      "28 22 8:3 / /cdrom ro - iso9660 /dev/sr0 ro\n"
      "29 22 0:40 / /net rw - nfs server:/x rw\n"
      "31 22 0:45 / /srv rw - btrfs /dev/sdc1 rw\n"
      "32 22 0:46 / /overlay rw - overlay overlay rw\n"
      "garbage line\n"
      "30 22 259:1 / /data rw - xfs /dev/nvme0n1p1 rw\n";
  const std::vector<TMountEntry> fixed = FixedMounts(ParseMountInfo(mountinfo));
  std::vector<std::string> points;
  for (const TMountEntry& e : fixed) points.push_back(e.MountPoint);
  EXPECT_EQ(points, (std::vector<std::string>{"/", "/media/My Disk", "/srv", "/data"}));
}

TEST(Drives, SystemTableAnswersForThisMachine) {
  const TSystemDriveTable drives;
  EXPECT_FALSE(drives.SystemDrive().empty());
  for (const std::string& point : GetFixedDrives(drives)) EXPECT_EQ(point.front(), '/');
  EXPECT_GT(drives.FreeBytes("/tmp"), 0u);
  EXPECT_EQ(drives.FreeBytes("/no/such/folder"), 0u);
}

}  // namespace
}  // namespace ok
