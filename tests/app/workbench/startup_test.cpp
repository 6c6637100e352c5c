#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench_test_support.h"
#include "platform/code_page.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"

namespace ok::test {
namespace {

TEST(WorkbenchStartup, ConstructionLeavesTheViewAloneAndTheRunButtonsIdle) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel(false);
  EXPECT_TRUE(h.View.Changes.empty());
  EXPECT_TRUE(h.View.Messages.empty());
  EXPECT_TRUE(m.startButton.Enabled);
  EXPECT_FALSE(m.pauseButton.Enabled || m.resumeButton.Enabled || m.stopButton.Enabled);
  EXPECT_FALSE(m.addButton.Visible || m.removeButton.Visible || m.clearButton.Visible);
  EXPECT_TRUE(m.addPanel.Visible);
  EXPECT_EQ(m.frameRateLabel.Caption, "帧速率：15fps");
  EXPECT_EQ(m.previewTimeLabel.Caption, "--");
  EXPECT_EQ(m.clipStartEdit.Text, "0");
  EXPECT_EQ(m.sourceList.Columns.size(), 5u);
}

TEST(WorkbenchStartup, MissingConfigGivesDefaultsAndLeavesTheOutputFolderToTheBatch) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  EXPECT_EQ(m.OutputFolder, h.Home() + "videos/输出视频");
  EXPECT_FALSE(fs::exists(h.Home() + "videos"));  // made when a batch needs it
  EXPECT_EQ(m.outputFolderEdit.Text, m.OutputFolder);
  EXPECT_EQ(TIniFile(h.ConfigFile()).ReadString("savepath", "newfilepath", ""), "");  // follows the desktop
  EXPECT_EQ(m.SkinName, "Topaz");
  EXPECT_EQ(m.ParallelTasks, 1);
  EXPECT_EQ(m.CodecThreads, 0);
  EXPECT_EQ(m.Caption, "OstrelKalvexa V1.4");
  EXPECT_EQ(m.settingsPages.ActivePageIndex, spPreset);
  // The first start offers "MP4 H.264" / "1080p".
  EXPECT_EQ(m.fileTypeBox.ItemIndex, FirstStartFileType);
  EXPECT_EQ(m.presetBox.ItemIndex, FirstStartPreset);
  EXPECT_EQ(m.presetBox.Text(), "04 1080p");
  EXPECT_EQ(m.brandBox.ItemIndex, 0);
  EXPECT_EQ(m.modelBox.ItemIndex, 0);
  EXPECT_EQ(m.frameSizeLabel.Caption, "视频像素：不超过 1920X1080");
  EXPECT_TRUE(h.View.Messages.empty());
}

TEST(WorkbenchStartup, SettingsThatCannotBeSavedAreToldOnce) {
  TWorkbenchHarness h;
  std::filesystem::create_directory(h.ConfigFile());  // no file can be written there
  TWorkbench& m = h.NewModel();
  m.SelectFileType(1);
  m.OnSettingsPageChanged(spDevice);
  ASSERT_EQ(h.View.Messages.size(), 1u);
  EXPECT_EQ(h.View.Messages[0].Kind, mkWarning);
  EXPECT_NE(h.View.Messages[0].Text.find("无法保存设置到 " + h.ConfigFile()), std::string::npos);
}

TEST(WorkbenchStartup, EmptyAndGarbageConfigsReadAsDefaults) {
  for (const std::string& text : {std::string(),
                                  std::string("[select]\ncombobox1=x\ncombobox2=\ntabindex=9\n"
                                              "combobox3=-4\n[savepath]\nnewfilepath=\n"
                                              "[convert]\nparallel=zwei\nthreads=-3\n"),
                                  std::string("\x01\x02garbage\xff\n[[[\n=\n")}) {
    TWorkbenchHarness h;
    h.WriteConfig(text);
    TWorkbench& m = h.NewModel();
    EXPECT_EQ(m.OutputFolder, h.Home() + "videos/输出视频");
    EXPECT_EQ(m.fileTypeBox.ItemIndex, FirstStartFileType);  // no stored choice
    EXPECT_EQ(m.brandBox.ItemIndex, 0);
    EXPECT_EQ(m.settingsPages.ActivePageIndex, spPreset);
    EXPECT_EQ(m.ParallelTasks, 1);
    EXPECT_EQ(m.CodecThreads, 0);
    EXPECT_TRUE(h.View.Messages.empty());
  }
}

TEST(WorkbenchStartup, FirstShowRestoresEverySelection) {
  TWorkbenchHarness h;
  const std::string out = h.Home() + "my out";
  h.WriteConfig("[savepath]\nnewfilepath=" + out +
                "\n[skin]\nname=WLM\n[select]\ncombobox1=1\ncombobox2=12\n"
                "combobox3=16\ncombobox4=1\ntabindex=1\n[convert]\nparallel=3\nthreads=2\n");
  TWorkbench& m = h.NewModel();
  EXPECT_EQ(m.OutputFolder, out);
  EXPECT_FALSE(DirectoryExists(out));  // made when a batch needs it
  EXPECT_EQ(m.SkinName, "WLM");
  EXPECT_EQ(m.ParallelTasks, 3);
  EXPECT_EQ(m.CodecThreads, 2);
  EXPECT_EQ(m.fileTypeBox.ItemIndex, 1);
  EXPECT_EQ(m.presetBox.ItemIndex, 12);
  EXPECT_EQ(m.brandBox.ItemIndex, 16);
  EXPECT_EQ(m.modelBox.ItemIndex, 1);
  EXPECT_EQ(m.PresetFiles.size(), 17u);
  // tabindex 1 ran the device page's handling, but the window opens on the preset page and its
  // labels describe the preset selected there.
  EXPECT_EQ(m.DeviceProfile.Width, 352);
  EXPECT_EQ(m.settingsPages.ActivePageIndex, spPreset);
  EXPECT_EQ(m.frameSizeLabel.Caption, "视频像素：1280X720");
  EXPECT_EQ(m.frameRateLabel.Caption, "帧速率：25");
  EXPECT_EQ(m.settingsPages.PageImageIndex, (std::vector<int>{4, 1, 2, 3}));
  // Restoring writes no selection back.
  EXPECT_EQ(TIniFile(h.ConfigFile()).ReadInteger("select", "combobox2", -1), 12);

  // A later show restores nothing and resets the custom page.
  m.SelectFileType(4);
  m.OnApplyCustomClicked();
  m.customWidthEdit.Text = "9";
  m.OnShow();
  EXPECT_EQ(m.fileTypeBox.ItemIndex, 4);
  EXPECT_FALSE(m.customValuesPanel.Visible);
  EXPECT_EQ(m.customWidthEdit.Text, "220");
}

TEST(WorkbenchStartup, Cp936ConfigIsRead) {
  TWorkbenchHarness h;
  const std::string out = h.Home() + "转换输出";
  ASSERT_TRUE(ForceDirectories(out));
  h.WriteConfig(
      Utf8ToPage("[savepath]\r\nnewfilepath=" + out + "\r\n[select]\r\ntabindex=2\r\n", TCodePage::Cp936));
  TWorkbench& m = h.NewModel();
  EXPECT_EQ(m.OutputFolder, out);
  m.OnSettingsPageChanged(spDevice);
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(h.ConfigFile(), bytes));
  EXPECT_FALSE(IsValidUtf8(bytes));  // written back in the file's own encoding
  EXPECT_EQ(TIniFile(h.ConfigFile()).ReadInteger("select", "tabindex", -1), 1);
}

TEST(WorkbenchStartup, FolderThatCannotBeCreatedIsNamedOnlyWhenNeeded) {
  TWorkbenchHarness h;
  const std::string out = h.ConfigFile() + "/out";  // under a file: not even the superuser makes it
  h.WriteConfig("[savepath]\nnewfilepath=" + out + "\n");
  TWorkbench& m = h.NewModel();
  EXPECT_TRUE(h.View.Messages.empty());
  EXPECT_EQ(m.outputFolderEdit.Text, out);
  EXPECT_EQ(m.brandBox.Items.size(), 33u);
  m.OnOpenOutputFolderClicked();
  EXPECT_TRUE(h.View.Opened.empty());
  ASSERT_EQ(h.View.Messages.size(), 1u);
  EXPECT_EQ(h.View.Messages[0].Text, "未能创建 " + out + " 目录！");
  EXPECT_EQ(h.View.Messages[0].Kind, mkError);
}

TEST(WorkbenchStartup, DefaultFolderIsInTheUsersVideosFolder) {
  TWorkbenchHarness h(false);
  const std::string home = h.Folder / "home";
  TScopedEnv user("HOME", home);
  struct {
    std::optional<std::string> UserDirs;
    std::string Expected;
  } cases[] = {
      {std::nullopt, home + "/输出视频"},
      {"XDG_VIDEOS_DIR=\"$HOME/Videos\"\n", home + "/Videos/输出视频"},
      {"XDG_VIDEOS_DIR=/srv/films/\n", "/srv/films/输出视频"},
      {"XDG_VIDEOS_DIR=\"/srv/my films\"\n", "/srv/my films/输出视频"},
      {"XDG_MUSIC_DIR=\"$HOME/Music\"\n", home + "/输出视频"},
  };
  for (const auto& c : cases) {
    fs::remove(h.Folder / "xdg/user-dirs.dirs");
    if (c.UserDirs) std::ofstream(h.Folder / "xdg/user-dirs.dirs") << *c.UserDirs;
    EXPECT_EQ(h.NewModel().OutputFolder, c.Expected) << c.UserDirs.value_or("no file");
  }
}

TEST(WorkbenchStartup, UnwritableHomeIsToldOnlyWhenTheFolderIsNeeded) {
  TWorkbenchHarness h;
  std::ofstream(h.Folder / "file") << "x";
  TScopedEnv user("HOME", h.Folder / "file/home");
  fs::remove(h.Folder / "xdg/user-dirs.dirs");
  TWorkbench& m = h.NewModel();
  EXPECT_EQ(m.OutputFolder, h.Folder / "file/home/输出视频");
  EXPECT_TRUE(h.View.Messages.empty());
  EXPECT_FALSE(m.EnsureOutputFolder());
  EXPECT_EQ(h.View.MessageTexts(), std::vector<std::string>{"未能创建 " + m.OutputFolder + " 目录！"});
}

TEST(WorkbenchStartup, ChoosingTheOutputFolder) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  const std::string before = m.OutputFolder;
  for (const char* answer : {"", "/", "//", " "}) {
    h.View.BrowseAnswer = answer;
    m.OnBrowseOutputFolder();
    EXPECT_EQ(m.OutputFolder, before) << "'" << answer << "'";
  }
  EXPECT_EQ(h.View.LastBrowseTitle, "选择一个目录");
  h.View.BrowseAnswer = "/tmp";
  m.OnBrowseOutputFolder();
  EXPECT_EQ(m.OutputFolder, "/tmp");
  EXPECT_EQ(m.outputFolderEdit.Text, "/tmp");
  EXPECT_EQ(TIniFile(h.ConfigFile()).ReadString("savepath", "newfilepath", ""), "/tmp");
  m.OnOpenOutputFolderClicked();
  EXPECT_EQ(h.View.Opened, std::vector<std::string>{"/tmp"});

  // A folder typed by hand is the output folder once the edit is left, and the next start's.
  const std::string typed = h.Folder / "typed";
  m.OnOutputFolderEdited(" " + typed + " ");
  m.OnOutputFolderEditLeft();
  m.OnOpenOutputFolderClicked();
  EXPECT_EQ(h.View.Opened.back(), typed);
  EXPECT_EQ(h.NewModel().OutputFolder, typed);
}

TEST(WorkbenchStartup, OpeningAMissingOutputFolderCreatesIt) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  ASSERT_FALSE(fs::exists(m.OutputFolder));
  m.OnOpenOutputFolderClicked();  // the Videos folder too
  EXPECT_TRUE(DirectoryExists(m.OutputFolder));
  EXPECT_EQ(h.View.Opened, std::vector<std::string>{m.OutputFolder});
}

}  // namespace
}  // namespace ok::test
