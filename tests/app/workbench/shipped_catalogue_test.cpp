// The shipped catalogue against the preset tables: every entry lists at the position of its row
// and its labels tell what the job of that row really does.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/workbench/preset_tables.h"
#include "app/workbench/profile_catalogue.h"
#include "app/workbench/profile_jobs.h"
#include "app/workbench/workbench_test_support.h"
#include "platform/code_page.h"

namespace ok::test {
namespace {

// The codec the job ends with after the extension rules, as the video-codec label names it.
std::string ShownVideoCodec(const TPresetRow& row) {
  static const std::map<std::string, std::string> byExt = {
      {".wmv", "WMV2"}, {".mkv", "H264"}, {".rm10", "RV10"}, {".rm20", "RV20"}};
  static const std::map<std::string, std::string> byCodec = {
      {"mpeg4", "MPEG4"}, {"h263", "H263"}, {"flv", "FLV"}, {"wmv2", "WMV2"}, {"avc", "H264"}};
  if (auto it = byExt.find(row.Ext); it != byExt.end()) return it->second;
  return byCodec.at(row.VideoCodec);
}

// The audio label by container; WMV's rule sets the encoder itself.
std::string ShownAudioCodec(const std::string& ext) {
  static const std::map<std::string, std::string> byExt = {
      {".mp4", "AAC"}, {".3gp", "AAC"},  {".mov", "AAC"},  {".avi", "MP3"}, {".flv", "MP3"},
      {".mkv", "MP3"}, {".mpeg", "AC3"}, {".rm10", "AC3"}, {".rm20", "AC3"}};
  auto it = byExt.find(ext);
  return it == byExt.end() ? "" : it->second;
}

// A quality-based entry: its caption names the height of its box (or says it keeps the source's),
// its labels the box, the codec and the quality, and its encoder is one the codec label names.
void ExpectQualityEntryDescribed(const TWorkbench& m, const profile_rec& p, const std::string& caption) {
  static const std::map<std::string, std::string> encoders = {{"H.264", "libx264"},
                                                              {"H.265", "libx265"},
                                                              {"VP9", "libvpx-vp9"},
                                                              {"AV1", "libsvtav1,libaom-av1"},
                                                              {"copy", "copy"}};
  EXPECT_EQ(encoders.at(p.VideoCodec), p.Encoder);
  if (!p.Remux.empty()) {
    EXPECT_EQ(m.videoCodecLabel.Caption, "视频编码：复制，不重新编码");
    return;
  }
  EXPECT_EQ(m.videoCodecLabel.Caption, "视频编码：" + p.VideoCodec);
  EXPECT_EQ(p.Fit, "box");
  EXPECT_GT(p.Quality, 0);
  EXPECT_NE(m.videoBitrateLabel.Caption.find("质量 " + FloatText(p.Quality)), std::string::npos);
  if (p.Height > 0) {
    EXPECT_NE(caption.find(std::to_string(p.Height) + "p"), std::string::npos);
    EXPECT_EQ(m.frameSizeLabel.Caption,
              "视频像素：不超过 " + std::to_string(p.Width) + "X" + std::to_string(p.Height));
  } else {
    EXPECT_NE(caption.find("与源相同"), std::string::npos);
  }
  EXPECT_NE(m.audioCodecLabel.Caption.find(p.AudioCodec + " " + std::to_string(p.AudioBitrate / 1000) + "K"),
            std::string::npos);
}

void ExpectEntryMatchesRow(TWorkbench& m, const profile_rec& p, const std::string& caption, int page,
                           int first, int second) {
  SCOPED_TRACE("page " + std::to_string(page) + " entry " + std::to_string(first) + "/" +
               std::to_string(second) + " " + caption);
  const std::optional<TPresetRow> found = FindPresetRow(page, first, second);
  ASSERT_TRUE(found);
  const TPresetRow& row = *found;
  EXPECT_TRUE(IsValidUtf8(caption));
  if (IsQualityProfile(p)) return ExpectQualityEntryDescribed(m, p, caption);
  EXPECT_EQ(std::to_string(p.Width) + "x" + std::to_string(p.Height), row.FrameSize);
  EXPECT_EQ(p.VideoBitrate, row.VideoBitrate);
  EXPECT_EQ(p.FPS, row.FrameRate);
  EXPECT_EQ(p.VideoCodec, ShownVideoCodec(row));
  if (row.Ext != ".wmv") {
    EXPECT_EQ(p.AudioCodec, ShownAudioCodec(row.Ext));
  }
  EXPECT_FALSE(p.AudioCodec.empty());
  EXPECT_TRUE(IsValidUtf8(caption));
  EXPECT_NE(caption.find("帧"), std::string::npos);
  // The job of this entry is the row's.
  m.FillPresetParams(page, first, second);
  EXPECT_EQ(m.JobFrameSize, row.FrameSize);
  EXPECT_EQ(m.JobVideoBitrate, row.VideoBitrate);
}

TEST(ShippedCatalogue, EveryPresetListsAtItsRowAndDescribesIt) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  const auto table = PresetTable();
  ASSERT_EQ(m.fileTypeBox.Items.size(), table.size());
  for (int type = 0; type < int(table.size()); ++type) {
    m.SelectFileType(type);
    ASSERT_EQ(m.presetBox.Items.size(), table[size_t(type)].size()) << "type " << type;
    std::set<std::string> names;
    for (int preset = 0; preset < int(m.presetBox.Items.size()); ++preset) {
      m.SelectPreset(preset);
      names.insert(m.presetBox.Items[size_t(preset)].Caption);
      ExpectEntryMatchesRow(m, m.PresetProfile, m.presetBox.Text(), spPreset, type, preset);
      EXPECT_EQ(m.frameRateLabel.Caption.rfind("帧速率：", 0), 0u);
    }
    EXPECT_EQ(names.size(), m.presetBox.Items.size());
  }
}

TEST(ShippedCatalogue, EveryDeviceModelListsAtItsRowAndDescribesIt) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  const auto table = DeviceTable();
  ASSERT_EQ(m.brandBox.Items.size(), table.size());
  std::set<std::string> brands;
  for (int brand = 0; brand < int(table.size()); ++brand) {
    m.SelectBrand(brand);
    brands.insert(m.brandBox.Text());
    ASSERT_EQ(m.modelBox.Items.size(), table[size_t(brand)].size()) << "brand " << brand;
    for (int model = 0; model < int(m.modelBox.Items.size()); ++model) {
      m.SelectModel(model);
      ExpectEntryMatchesRow(m, m.DeviceProfile, m.modelBox.Text(), spDevice, brand, model);
      EXPECT_EQ(m.frameRateLabel.Caption.rfind("桢速率：", 0), 0u);
    }
  }
  EXPECT_EQ(brands.size(), table.size());
}

}  // namespace
}  // namespace ok::test
