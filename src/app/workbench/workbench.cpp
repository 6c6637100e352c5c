#include "app/workbench/workbench.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench_texts.h"
#include "engine/value_parsing.h"
#include "platform/drives.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/program_folder.h"

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
  sListView1.Columns = {{"文件名", 155, false},
                        {"类型", 50, true},
                        {"分辨率", 70, true},
                        {"时长", 60, true},
                        {"进度", 60, true}};
  sListView1.ReadOnly = true;
  sSpeedButton7.Caption = sSpeedButton7.Hint = "添加待转视频文件";
  sSpeedButton1.Caption = "添加";
  sSpeedButton2.Caption = "删除";
  sSpeedButton3.Caption = "清空";
  for (TControlState* button : {&sSpeedButton1, &sSpeedButton2, &sSpeedButton3}) button->Visible = false;

  sPageControl2.PageCaptions = {"按预置方案", "按设备类型", "按已有视频", "自己定义"};
  sPageControl2.ActivePageIndex = 0;
  SetTabImages();

  sComboEdit1.Hint = "视频输出目录";
  sComboEdit1Button.Hint = "另外指定输出目录";
  sSpeedButton6.Hint = "打开目录";

  btnStart.Caption = "开始";
  btnPause.Caption = "暂停";
  btnResume.Caption = "继续";
  btnStop.Caption = "停止";
  for (TControlState* button : {&btnPause, &btnResume, &btnStop}) button->Enabled = false;
  sCheckBox1.Caption = "转换完成自动关机";

  lblPTS.Caption = "--";
  btnStartTime.Caption = "起始位置";
  btnEndTime.Caption = "结束位置";
  for (TEditState* edit : {&edtStartTime, &edtEndTime}) {
    edit->Text = "0";
    edit->ReadOnly = true;
  }
  chkCutClip.Caption = "是否裁剪";
  imgPreview.SetSize(220, 145);

  sComboBoxEx1.Hint = "选择文件类型方案";
  sComboBoxEx2.Hint = "选择预置方案";
  sComboBoxEx3.Hint = "选择设备类型";
  sComboBoxEx4.Hint = "选择预置方案";
  sComboBoxEx5.Hint = "选择转换视频类型方案";
  for (TComboBoxState* box : {&sComboBoxEx1, &sComboBoxEx5}) {
    for (int i = 0; i < 9; ++i) box->Items.push_back({FileTypeItems[i], i});
    box->ItemIndex = 0;
  }

  sLabelFX12.Caption = "视频像素：352 X 288";
  sLabelFX6.Caption = "视频编码：H263";
  sLabelFX11.Caption = "视频码率：128Kbps";
  sLabelFX7.Caption = "帧速率：15fps";
  sLabelFX8.Caption = "音频编码：AAC";

  sSpeedButton5.Caption = "自定义";
  sSpeedButton4.Caption = "分析视频文件";
  sGroupBox3.Caption = "裁剪与填充";
  sCheckBox2.Caption = CropColumnLabel;
  sCheckBox3.Caption = PadColumnLabel;
  const int maxLength[4] = {4, 4, 7, 2};
  for (int edit = 1; edit <= 12; ++edit) CustomEdit(edit).MaxLength = edit <= 4 ? maxLength[edit - 1] : 4;
  ResetCustomPage();
}

TWorkbench::~TWorkbench() = default;

TEditState& TWorkbench::CustomEdit(int edit) {
  TEditState* edits[12] = {&sEdit1, &sEdit2, &sEdit3, &sEdit4,  &sEdit5,  &sEdit6,
                           &sEdit7, &sEdit8, &sEdit9, &sEdit10, &sEdit11, &sEdit12};
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

void TWorkbench::FormCreate() {
  TIniFile config(ConfigFileName());
  std::string folder = TrimText(config.ReadString("savepath", "newfilepath", ""));
  if (folder.empty()) {
    folder = DefaultOutputFolder();
    config.WriteString("savepath", "newfilepath", folder);
  }
  OutputFolder = folder;
  SkinName = config.ReadString("skin", "name", "Topaz");
  ParallelTasks = std::max(1, config.ReadInteger("convert", "parallel", 1));
  CodecThreads = std::max(0, config.ReadInteger("convert", "threads", 0));

  sComboEdit1.Text = OutputFolder;
  PresetFiles.clear();
  DeviceFiles.clear();
  Sources.clear();
  sPanel1.Visible = true;
  // The window opens even when the folder cannot be made; Start asks again.
  EnsureOutputFolder();
  Transcoder1.LoadLibraries(ProgramFolder() + "LibAV");
  view_.Changed(wcAll);
}

void TWorkbench::FormShow() {
  if (!shown_) {
    shown_ = true;
    const TIniFile config(ConfigFileName());
    sComboBoxEx1.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox1", 0), sComboBoxEx1.Items.size());
    sComboBoxEx1Change();
    sComboBoxEx2.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox2", 0), sComboBoxEx2.Items.size());

    std::vector<std::string> brands;
    GetFileList2(brands, DeviceCatalogueFolder());
    sComboBoxEx3.Items.clear();
    for (const std::string& brand : brands) sComboBoxEx3.Items.push_back({brand, 9});
    sComboBoxEx3.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox3", 0), sComboBoxEx3.Items.size());
    sComboBoxEx3Change();
    sComboBoxEx4.ItemIndex =
        ItemIndexOrFirst(config.ReadInteger("select", "combobox4", 0), sComboBoxEx4.Items.size());

    const int tab = config.ReadInteger("select", "tabindex", 0);
    const int page = tab >= spPreset && tab <= spCustom ? tab : spPreset;
    sPageControl2.ActivePageIndex = page;
    sPageControl2Change(page);
  }
  ResetCustomPage();
  sPageControl2.ActivePageIndex = spPreset;
  SetTabImages();
  sTabSheet5Show(spPreset);
  // The window opens on the preset page, so its labels describe the preset that is selected
  // there, whatever page the last run ended on.
  if (!sComboBoxEx2.Items.empty()) sComboBoxEx2Change();
  Caption = MainWindowCaption;
  view_.Changed(wcAll);
}

void TWorkbench::FormDestroy() { FFrameBitmap.Empty(); }

namespace {

// Neither nothing nor the root folder is an output folder.
bool UsableOutputFolder(const std::string& path) {
  return !TrimText(path).empty() && ExcludeTrailingPathDelimiter(TrimText(path)) != "/";
}

}  // namespace

void TWorkbench::sComboEdit1ButtonClick() {
  const std::string path = view_.BrowseFolder(BrowseFolderTitle);
  if (!UsableOutputFolder(path)) return;
  sComboEdit1.Text = path;
  sComboEdit1Exit();
  view_.Changed(wcSettings);
}

void TWorkbench::sComboEdit1Change(const std::string& text) { sComboEdit1.Text = text; }

void TWorkbench::sComboEdit1Exit() {
  const std::string folder = TrimText(sComboEdit1.Text);
  if (!UsableOutputFolder(folder) || folder == OutputFolder) return;
  OutputFolder = folder;
  TIniFile(ConfigFileName()).WriteString("savepath", "newfilepath", folder);
}

void TWorkbench::sSpeedButton6Click() {
  if (!EnsureOutputFolder()) return;
  view_.ShellOpen(OutputFolder);
}

void TWorkbench::ResetCustomPage() {
  sPanel3.Visible = false;
  sComboBoxEx5.ItemIndex = 0;
  sEdit1.Text = "220";
  sEdit2.Text = "176";
  sEdit3.Text = "38400";
  sEdit4.Text = "15";
  for (int edit = 5; edit <= 12; ++edit) CustomEdit(edit).Text.clear();
  SetCropPad(false, false);
}

void TWorkbench::SetTabImages() {
  const int active = sPageControl2.ActivePageIndex;
  sPageControl2.PageImageIndex.resize(sPageControl2.PageCaptions.size());
  for (size_t i = 0; i < sPageControl2.PageImageIndex.size(); ++i)
    sPageControl2.PageImageIndex[i] = int(i) == active ? 4 + active : int(i);
}

}  // namespace ok
