#include "app/workbench/profile_catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "app/workbench/workbench_test_support.h"
#include "platform/ini_file.h"

namespace ok::test {
namespace {

void Touch(const fs::path& path, const std::string& text = "") {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(ProfileCatalogue, NumbersAreWrittenAsPlainDecimals) {
  const std::pair<double, const char*> cases[] = {{100000, "100000"}, {1500000, "1500000"},
                                                  {29.97, "29.97"},   {25, "25"},
                                                  {0.5, "0.5"},       {1e20, "100000000000000000000"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FloatText(value), text);
}

TEST(ProfileCatalogue, ListingOrderIsFixed) {
  TempDir d;
  for (const char* name : {"b.ini", "A.INI", "c.ini.bak", "x/z.ini", "x/y/w.ini", "W/v.ini", ".hidden.ini"})
    Touch(d.Path() / name);
  std::vector<std::string> files;
  GetFileList(files, " " + d.Path().string() + " ", ".ini");
  std::vector<std::string> names;
  for (const std::string& f : files) names.push_back(f.substr(d.Path().string().size() + 1));
  // Sub-folders' files first (depth first), then the folder's own, each level by name, case ignored.
  EXPECT_EQ(names,
            (std::vector<std::string>{"W/v.ini", "x/y/w.ini", "x/z.ini", ".hidden.ini", "A.INI", "b.ini"}));

  std::vector<std::string> folders;
  GetFileList2(folders, d.Path().string());
  EXPECT_EQ(folders, (std::vector<std::string>{"W", "x"}));

  files = {"stale"};
  GetFileList(files, d / "missing", ".ini");
  EXPECT_TRUE(files.empty());
  folders = {"stale"};
  GetFileList2(folders, d / "missing");
  EXPECT_TRUE(folders.empty());
}

TEST(ProfileCatalogue, LabelsFollowThePageAndMissingValuesReadAsDefaults) {
  TWorkbenchHarness h(false);
  const std::string profile = "[video]\nVideoCodec=X\nVideoBitrate=abc\nWidth=480\nHeight=272\nFPS=29.97\n";
  Touch(h.Folder.Path() / "profiles/videoconvert/3GP/01 a.ini", profile);
  Touch(h.Folder.Path() / "profiles/devices/甲/01 b.ini", profile);
  TWorkbench& m = h.NewModel();
  EXPECT_EQ(m.presetBox.Items.at(0).Caption, "01 a");
  EXPECT_EQ(m.presetBox.Items.at(0).ImageIndex, 9);
  EXPECT_EQ(m.brandBox.Items.at(0).Caption, "甲");
  EXPECT_EQ(m.frameRateLabel.Caption, "帧速率：29.97");
  EXPECT_EQ(m.videoBitrateLabel.Caption, "视频码率：0");
  EXPECT_EQ(m.audioCodecLabel.Caption, "音频编码：");
  m.OnSettingsPageChanged(spDevice);
  EXPECT_EQ(m.frameSizeLabel.Caption, "视频像素：480X272");
  EXPECT_EQ(m.videoCodecLabel.Caption, "视频编码：X");
  EXPECT_EQ(m.frameRateLabel.Caption, "桢速率：29.97");
  EXPECT_EQ(m.SummaryLabelsPage, spDevice);
  EXPECT_EQ(m.settingsPages.PageImageIndex, (std::vector<int>{0, 5, 2, 3}));

  // A type without a folder empties the preset box and leaves the labels.
  m.SelectFileType(1);
  EXPECT_TRUE(m.presetBox.Items.empty());
  EXPECT_EQ(m.presetBox.ItemIndex, -1);
  EXPECT_EQ(m.frameRateLabel.Caption, "桢速率：29.97");
}

// An entry whose every encoder the loaded libraries lack is listed disabled with the reason; the
// check before Start refuses it, so that no row fails for it.
TEST(ProfileCatalogue, EntriesWithoutAnyOfTheirEncodersAreDisabledWithTheReason) {
  TWorkbenchHarness h;
  const std::vector<std::string> encoders = {"libx264", "libaom-av1"};
  h.Encoders = &encoders;
  TWorkbench& m = h.NewModel();
  auto reasons = [](const TComboBoxState& box) {
    std::set<std::string> found;
    for (const TComboItem& item : box.Items) found.insert(item.DisabledReason);
    return found;
  };
  using TReasons = std::set<std::string>;
  for (const auto& [type, expected] :
       {std::pair{1, TReasons{""}},
        {9, TReasons{""}},
        {12, TReasons{""}},  // AV1 falls back to libaom
        {10, TReasons{"已加载的 FFmpeg 没有 libx265 编码器，不能使用此方案"}},
        {11, TReasons{"已加载的 FFmpeg 没有 libvpx-vp9 编码器，不能使用此方案"}},
        {13, TReasons{""}}}) {
    m.SelectFileType(type);
    EXPECT_EQ(reasons(m.presetBox), expected) << "type " << type;
  }
  m.SelectFileType(10);
  m.SelectPreset(3);
  EXPECT_FALSE(m.CheckSettingsPage());
  ASSERT_EQ(h.View.Messages.size(), 1u);
  EXPECT_EQ(h.View.Messages[0].Text, "已加载的 FFmpeg 没有 libx265 编码器，不能使用此方案");
  m.SelectFileType(9);
  EXPECT_TRUE(m.CheckSettingsPage());

  // Today's phones: 1080p and 720p H.264 can be chosen, 1080p H.265 not.
  m.OnSettingsPageChanged(spDevice);
  m.SelectBrand(26);
  ASSERT_EQ(m.modelBox.Items.size(), 3u);
  EXPECT_EQ(m.modelBox.Items[0].DisabledReason, "");
  EXPECT_EQ(m.modelBox.Items[1].DisabledReason, "");
  EXPECT_NE(m.modelBox.Items[2].DisabledReason, "");
  m.SelectModel(2);
  EXPECT_FALSE(m.CheckSettingsPage());
  EXPECT_EQ(h.View.Messages.size(), 2u);
}

TEST(ProfileCatalogue, OnlyTouchedBoxesWriteTheirSelection) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  const auto stored = [&](const char* key) {
    return TIniFile(h.ConfigFile()).ReadInteger("select", key, -1);
  };
  // Programmatic selections at the first show wrote nothing.
  EXPECT_EQ(stored("combobox1"), -1);
  EXPECT_EQ(stored("combobox3"), -1);

  m.SelectFileType(2);
  EXPECT_EQ(stored("combobox1"), 2);
  EXPECT_EQ(stored("combobox2"), 0);
  m.SelectPreset(5);
  EXPECT_EQ(stored("combobox2"), 5);
  EXPECT_EQ(m.fileTypeBox.Tag, 0);
  m.SelectBrand(3);
  m.SelectModel(4);
  EXPECT_EQ(stored("combobox3"), 3);
  EXPECT_EQ(stored("combobox4"), 4);
  EXPECT_EQ(stored("combobox2"), 5);

  // A page change writes only the page while no box was touched since.
  h.WriteConfig("[select]\ncombobox1=7\n");
  m.OnSettingsPageChanged(spPreset);
  EXPECT_EQ(stored("combobox1"), 7);
  EXPECT_EQ(stored("tabindex"), 0);
  m.OnPresetClicked();
  m.OnSettingsPageChanged(spPreset);
  EXPECT_EQ(stored("combobox1"), 2);

  // The custom type box rebuilds the preset page's list for the preset page's type.
  m.SelectPreset(3);
  m.SelectCustomType(6);
  EXPECT_EQ(m.customTypeBox.ItemIndex, 6);
  EXPECT_EQ(m.PresetFiles.size(), 17u);
  EXPECT_EQ(m.presetBox.ItemIndex, 0);
}

TEST(ProfileCatalogue, PageChangeHidesTheCustomPanelAndClearsCropAndPad) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  m.OnSettingsPageChanged(spCustom);
  m.OnApplyCustomClicked();
  m.OnCropCheckBoxClicked(true);
  m.OnPadCheckBoxClicked(true);
  EXPECT_TRUE(m.cropTopEdit.Enabled);
  m.OnSettingsPageChanged(spExisting);
  EXPECT_FALSE(m.customValuesPanel.Visible);
  EXPECT_FALSE(m.cropCheckBox.Checked);
  EXPECT_FALSE(m.padCheckBox.Checked);
  EXPECT_FALSE(m.cropTopEdit.Enabled);
  EXPECT_FALSE(m.padRightEdit.Enabled);
  EXPECT_EQ(TIniFile(h.ConfigFile()).ReadInteger("select", "tabindex", -1), spExisting);
}

// The user's presets follow the shipped ones (whose positions stored choices mean), in name order
// and marked; a stored one is found again by its name, and one that is gone is not replaced by
// whatever took its position. Only they can be removed, after a question.
TEST(ProfileCatalogue, UserPresetsFollowTheShippedOnesAndCanBeRemoved) {
  TWorkbenchHarness h;
  constexpr int type = FirstStartFileType;
  const fs::path own = UserPresetFolder(type);
  const std::string profile = "[mediatype]\nType=MP4\n[video]\nVideoCodec=H.264\nEncoder=libx264\nQuality=";
  Touch(own / "b 手机.ini", profile + "30\n");
  Touch(own / "A.ini", profile + "26\n");
  Touch(own / "broken.ini", "\x01\x02 not a profile");
  TWorkbench& first = h.NewModel();
  const size_t shipped = first.ShippedPresetCount;
  ASSERT_EQ(shipped, 8u);
  ASSERT_EQ(first.presetBox.Items.size(), shipped + 2);
  EXPECT_EQ(first.presetBox.Items[0].Caption, "01 与源相同");
  EXPECT_EQ(first.presetBox.Items[shipped].Caption, "A (我的)");
  EXPECT_EQ(first.presetBox.Items[shipped + 1].Caption, "b 手机 (我的)");
  EXPECT_EQ(first.presetBox.ItemIndex, FirstStartPreset);
  EXPECT_TRUE(first.removePresetButton.Visible);
  EXPECT_FALSE(first.removePresetButton.Enabled);

  first.SelectPreset(int(shipped) + 1);
  EXPECT_TRUE(first.removePresetButton.Enabled);
  first.FillPresetParams(spPreset, type, int(shipped) + 1);
  EXPECT_EQ(first.JobProfile.Quality, 30);

  // A user preset whose name sorts first moves the stored one's position.
  Touch(own / "0 新.ini", profile + "20\n");
  TWorkbench& second = h.NewModel();
  EXPECT_EQ(second.presetBox.Text(), "b 手机 (我的)");

  // Gone: the type's first preset, not the one now at its position.
  second.SelectPreset(int(shipped) + 1);
  ASSERT_EQ(second.presetBox.Text(), "A (我的)");
  fs::remove(own / "A.ini");
  TWorkbench& third = h.NewModel();
  EXPECT_EQ(third.presetBox.ItemIndex, 0);

  third.OnRemovePresetClicked();  // a shipped preset
  EXPECT_TRUE(h.View.Questions.empty());
  third.SelectPreset(int(shipped) + 1);
  h.View.YesNoAnswer = false;
  third.OnRemovePresetClicked();
  EXPECT_TRUE(fs::exists(own / "b 手机.ini"));
  h.View.YesNoAnswer = true;
  third.OnRemovePresetClicked();
  EXPECT_EQ(h.View.Questions, (std::vector<std::string>(2, "删除预置方案“b 手机”吗？")));
  EXPECT_FALSE(fs::exists(own / "b 手机.ini"));
  ASSERT_EQ(third.presetBox.Items.size(), shipped + 1);
  EXPECT_EQ(third.presetBox.Text(), "0 新 (我的)");
  EXPECT_EQ(h.NewModel().presetBox.Text(), "0 新 (我的)");
}

}  // namespace
}  // namespace ok::test
