#include "app/workbench/workbench.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "platform/drives.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/program_folder.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// The folder the default output goes to, on the roomiest drive or in the home folder.
constexpr const char* OutputFolderName = "输出视频";

// An index read from the settings, or 0 when it names no item of a box with `count` items.
int ItemIndexOrFirst(int index, size_t count) {
  if (count == 0) return -1;
  return index >= 0 && size_t(index) < count ? index : 0;
}

}  // namespace

TWorkbench::TWorkbench(TWorkbenchView& view, TWorkbenchEnvironment environment)
    : view_(view), environment_(environment) {
  sourceList.Columns = {{"文件名", 155, false},
                        {"类型", 50, true},
                        {"分辨率", 70, true},
                        {"时长", 60, true},
                        {"进度", 60, true}};
  sourceList.ReadOnly = true;
  addFilesButton.Caption = addFilesButton.Hint = "添加待转视频文件";
  addButton.Caption = "添加";
  removeButton.Caption = "删除";
  clearButton.Caption = "清空";
  for (TControlState* button : {&addButton, &removeButton, &clearButton}) button->Visible = false;

  settingsPages.PageCaptions = {"按预置方案", "按设备类型", "按已有视频", "自己定义"};
  settingsPages.ActivePageIndex = 0;
  SetTabImages();

  outputFolderEdit.Hint = "视频输出目录";
  outputFolderBrowseButton.Hint = "另外指定输出目录";
  openOutputFolderButton.Hint = "打开目录";

  startButton.Caption = "开始";
  pauseButton.Caption = "暂停";
  resumeButton.Caption = "继续";
  stopButton.Caption = "停止";
  for (TControlState* button : {&pauseButton, &resumeButton, &stopButton}) button->Enabled = false;
  powerOffCheckBox.Caption = "转换完成自动关机";

  previewTimeLabel.Caption = "--";
  markStartButton.Caption = "起始位置";
  markEndButton.Caption = "结束位置";
  for (TEditState* edit : {&clipStartEdit, &clipEndEdit}) {
    edit->Text = "0";
    edit->ReadOnly = true;
  }
  clipCheckBox.Caption = "是否裁剪";
  previewImage.SetSize(220, 145);

  fileTypeBox.Hint = "选择文件类型方案";
  presetBox.Hint = "选择预置方案";
  brandBox.Hint = "选择设备类型";
  modelBox.Hint = "选择预置方案";
  customTypeBox.Hint = "选择转换视频类型方案";
  for (TComboBoxState* box : {&fileTypeBox, &customTypeBox}) {
    for (int i = 0; i < 9; ++i) box->Items.push_back({FileTypeItems[i], i});
    box->ItemIndex = 0;
  }

  frameSizeLabel.Caption = "视频像素：352 X 288";
  videoCodecLabel.Caption = "视频编码：H263";
  videoBitrateLabel.Caption = "视频码率：128Kbps";
  frameRateLabel.Caption = "帧速率：15fps";
  audioCodecLabel.Caption = "音频编码：AAC";

  applyCustomButton.Caption = "自定义";
  analyseButton.Caption = "分析视频文件";
  cropPadGroup.Caption = "裁剪与填充";
  cropCheckBox.Caption = CropColumnLabel;
  padCheckBox.Caption = PadColumnLabel;
  const int maxLength[4] = {4, 4, 7, 2};
  for (int edit = 1; edit <= 12; ++edit) CustomEdit(edit).MaxLength = edit <= 4 ? maxLength[edit - 1] : 4;
  ResetCustomPage();
}

TWorkbench::~TWorkbench() = default;

TEditState& TWorkbench::CustomEdit(int edit) {
  TEditState* edits[12] = {&customWidthEdit, &customHeightEdit, &customBitrateEdit, &customFrameRateEdit,
                           &cropTopEdit,     &cropBottomEdit,   &cropLeftEdit,      &cropRightEdit,
                           &padTopEdit,      &padBottomEdit,    &padLeftEdit,       &padRightEdit};
  return *edits[std::clamp(edit, 1, 12) - 1];
}

std::string TWorkbench::ConfigFileName() const { return SettingsFile("config.ini"); }
std::string TWorkbench::ExtFileName() const { return SettingsFile("extfile.ini"); }

std::string TWorkbench::DefaultOutputFolder() const {
  TSystemDriveTable systemDrives;
  const TDriveTable& drives = environment_.Drives ? *environment_.Drives : systemDrives;
  const std::string drive = GetRoomiestDrive(drives);
  // Without a drive of its own the output goes to the home folder, never to a bare name.
  const std::string base = drive.empty() ? HomeFolder() : drive;
  return IncludeTrailingPathDelimiter(base) + OutputFolderName;
}

bool TWorkbench::EnsureOutputFolder() {
  if (DirectoryExists(OutputFolder)) return true;
  // One level only: a folder on a drive that is not mounted must not appear on the system drive.
  if (!OutputFolder.empty() && (::mkdir(OutputFolder.c_str(), 0777) == 0 || DirectoryExists(OutputFolder)))
    return true;
  view_.ShowMessage("未能创建 " + OutputFolder + " 目录！", mkError);
  return false;
}

void TWorkbench::OnCreate() {
  TIniFile config(ConfigFileName());
  std::string folder = TrimText(config.ReadString("savepath", "newfilepath", ""));
  if (folder.empty()) {
    folder = DefaultOutputFolder();
    SettingsSaved(config.WriteString("savepath", "newfilepath", folder));
  }
  OutputFolder = folder;
  SkinName = config.ReadString("skin", "name", "Topaz");
  ParallelTasks = std::max(1, config.ReadInteger("convert", "parallel", 1));
  CodecThreads = std::max(0, config.ReadInteger("convert", "threads", 0));

  outputFolderEdit.Text = OutputFolder;
  PresetFiles.clear();
  DeviceFiles.clear();
  Sources.clear();
  addPanel.Visible = true;
  // The window opens even when the folder cannot be made; Start asks again.
  EnsureOutputFolder();
  Transcoder.LoadLibraries(ProgramFolder() + "LibAV");
  view_.Changed(wcAll);
}

void TWorkbench::OnShow() {
  if (!shown_) {
    shown_ = true;
    const TIniFile config(ConfigFileName());
    fileTypeBox.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox1", 0), fileTypeBox.Items.size());
    OnFileTypeChanged();
    presetBox.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox2", 0), presetBox.Items.size());

    std::vector<std::string> brands;
    GetFileList2(brands, DeviceCatalogueFolder());
    brandBox.Items.clear();
    for (const std::string& brand : brands) brandBox.Items.push_back({brand, 9});
    brandBox.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox3", 0), brandBox.Items.size());
    OnBrandChanged();
    modelBox.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox4", 0), modelBox.Items.size());

    const int tab = config.ReadInteger("select", "tabindex", 0);
    const int page = tab >= spPreset && tab <= spCustom ? tab : spPreset;
    settingsPages.ActivePageIndex = page;
    OnSettingsPageChanged(page);
  }
  ResetCustomPage();
  settingsPages.ActivePageIndex = spPreset;
  SetTabImages();
  OnSettingsPageShown(spPreset);
  // The window opens on the preset page, so its labels describe the preset that is selected
  // there, whatever page the last run ended on.
  if (!presetBox.Items.empty()) OnPresetChanged();
  Caption = MainWindowCaption;
  view_.Changed(wcAll);
}

void TWorkbench::OnDestroy() { previewFrame.Empty(); }

namespace {

// Neither nothing nor the root folder is an output folder.
bool UsableOutputFolder(const std::string& path) {
  return !TrimText(path).empty() && ExcludeTrailingPathDelimiter(TrimText(path)) != "/";
}

}  // namespace

void TWorkbench::OnBrowseOutputFolder() {
  const std::string path = view_.BrowseFolder(BrowseFolderTitle);
  if (!UsableOutputFolder(path)) return;
  outputFolderEdit.Text = path;
  OnOutputFolderEditLeft();
  view_.Changed(wcSettings);
}

void TWorkbench::OnOutputFolderEdited(const std::string& text) { outputFolderEdit.Text = text; }

void TWorkbench::OnOutputFolderEditLeft() {
  const std::string folder = TrimText(outputFolderEdit.Text);
  if (!UsableOutputFolder(folder) || folder == OutputFolder) return;
  OutputFolder = folder;
  SettingsSaved(TIniFile(ConfigFileName()).WriteString("savepath", "newfilepath", folder));
}

void TWorkbench::SettingsSaved(bool saved) {
  if (saved || settingsWarned_) return;
  settingsWarned_ = true;
  view_.ShowMessage("无法保存设置到 " + ConfigFileName() + "，本次的选择不会被记住。", mkWarning);
}

void TWorkbench::OnOpenOutputFolderClicked() {
  if (!EnsureOutputFolder()) return;
  view_.ShellOpen(OutputFolder);
}

void TWorkbench::ResetCustomPage() {
  customValuesPanel.Visible = false;
  customTypeBox.ItemIndex = 0;
  customWidthEdit.Text = "220";
  customHeightEdit.Text = "176";
  customBitrateEdit.Text = "38400";
  customFrameRateEdit.Text = "15";
  for (int edit = 5; edit <= 12; ++edit) CustomEdit(edit).Text.clear();
  SetCropPad(false, false);
}

void TWorkbench::SetTabImages() {
  const int active = settingsPages.ActivePageIndex;
  settingsPages.PageImageIndex.resize(settingsPages.PageCaptions.size());
  for (size_t i = 0; i < settingsPages.PageImageIndex.size(); ++i)
    settingsPages.PageImageIndex[i] = int(i) == active ? 4 + active : int(i);
}

}  // namespace ok
