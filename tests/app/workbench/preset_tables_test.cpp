#include "app/workbench/preset_tables.h"

#include <gtest/gtest.h>

#include "app/workbench/workbench_test_support.h"

namespace ok::test {
namespace {

struct TJob {
  std::string Ext, FrameSize, VideoCodec;
  int VideoBitrate, FrameRate;
  bool operator==(const TJob&) const = default;
};

TJob JobOf(const TWorkbench& m) {
  return {m.JobExt, m.JobFrameSize, m.JobVideoCodec, m.JobVideoBitrate, m.JobFrameRate};
}

std::ostream& operator<<(std::ostream& out, const TJob& j) {
  return out << j.Ext << " " << j.FrameSize << " " << j.VideoCodec << " " << j.VideoBitrate << " "
             << j.FrameRate;
}

TEST(PresetTables, RowCountsAreTheCatalogueCounts) {
  TWorkbenchHarness h;
  const std::vector<size_t> types = {6, 17, 17, 6, 5, 3, 3, 8, 3, 8, 8, 8, 8, 3};
  const std::vector<size_t> brands = {2, 4, 4, 6, 2, 1, 2,  3, 2, 5, 8, 2, 10, 5, 10, 6, 12,
                                      4, 6, 1, 2, 6, 5, 12, 7, 3, 3, 2, 2, 2,  1, 2,  1};
  ASSERT_EQ(PresetTable().size(), types.size());
  ASSERT_EQ(DeviceTable().size(), brands.size());
  for (size_t i = 0; i < types.size(); ++i) EXPECT_EQ(PresetTable()[i].size(), types[i]) << "type " << i;
  for (size_t i = 0; i < brands.size(); ++i) EXPECT_EQ(DeviceTable()[i].size(), brands[i]) << "brand " << i;
}

TEST(PresetTables, LookupsGiveTheRowsValues) {
  struct TCase {
    int Page, First, Second;
    TJob Expected;
  };
  const TCase cases[] = {
      {0, 1, 12, {".mp4", "1280x720", "mpeg4", 1800000, 25}},
      {0, 0, 2, {".3gp", "352x288", "h263", 384000, 18}},
      {0, 2, 1, {".avi", "320x240", "mpeg4", 384000, 15}},  // AVI differs from MP4 in row 1 only
      {0, 2, 16, {".avi", "720x480", "mpeg4", 1500000, 25}},
      {0, 3, 0, {".mpeg", "720x480", "mpeg4", 6000000, 29}},
      {0, 3, 4, {".mpeg", "352x240", "mpeg4", 1150000, 29}},
      {0, 4, 4, {".wmv", "640x480", "wmv2", 1500000, 25}},
      {0, 5, 0, {".rm10", "320x240", "rv10", 256000, 15}},
      {0, 5, 1, {".rm20", "352x288", "rv20", 384000, 20}},
      {0, 5, 2, {".rm20", "640x480", "rv20", 768000, 25}},
      {0, 6, 2, {".mov", "640x480", "mpeg4", 768000, 24}},
      {0, 7, 7, {".mkv", "640x480", "mpeg4", 1152000, 25}},
      {0, 8, 0, {".flv", "176x144", "flv", 18000, 18}},
      {1, 0, 1, {".mp4", "320x240", "mpeg4", 384000, 24}},
      {1, 5, 0, {".wmv", "320x240", "wmv2", 384000, 18}},
      {1, 12, 0, {".avi", "400x240", "mpeg4", 384000, 18}},
      {1, 14, 1, {".mp4", "1280x730", "mpeg4", 2400000, 25}},
      {1, 16, 1, {".3gp", "352x288", "mpeg4", 384000, 15}},
      {1, 21, 1, {".mp4", "320x240", "avc", 288000, 18}},
      {1, 25, 2, {".avi", "432x240", "mpeg4", 512000, 24}},
      {0, 9, 3, {".mp4", "1920x1080", "libx264", 0, 0}},
      {0, 11, 0, {".webm", "0x0", "libvpx-vp9", 18000000, 0}},
      {0, 12, 7, {".mkv", "640x360", "libsvtav1,libaom-av1", 0, 0}},
      {1, 26, 2, {".mp4", "1920x1080", "libx265", 0, 0}},
  };
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel(false);
  for (const TCase& c : cases) {
    m.FillPresetParams(c.Page, c.First, c.Second);
    EXPECT_EQ(JobOf(m), c.Expected) << c.Page << "/" << c.First << "/" << c.Second;
    m.FillPresetParams(c.Page, c.First, c.Second);  // a second lookup gives the same
    EXPECT_EQ(JobOf(m), c.Expected);
  }
  EXPECT_TRUE(h.View.Messages.empty());
}

TEST(PresetTables, PositionWithoutRowKeepsThePreviousValues) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel(false);
  m.FillPresetParams(spDevice, 16, 1);
  const TJob before = JobOf(m);
  for (auto [page, first, second] : {std::tuple{1, 5, 1}, {1, 40, 0}, {0, 40, 0}, {0, -1, 0}, {1, 0, -1}}) {
    m.FillPresetParams(page, first, second);
    EXPECT_EQ(JobOf(m), before) << page << "/" << first << "/" << second;
  }
}

}  // namespace
}  // namespace ok::test
