#include "app/workbench/workbench.h"

#include <algorithm>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/program_folder.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// An index read from the settings, or 0 when it names no item of a box with `count` items.
int ItemIndexOrFirst(int index, size_t count) {
  if (count == 0) return -1;
  return index >= 0 && size_t(index) < count ? index : 0;
}

}  // namespace

TWorkbench::TWorkbench(TWorkbenchView& view, TWorkbenchEnvironment environment)
    : view_(view), environment_(environment) {
  sourceList.Columns = {{NameColumn, 155, false},
                        {TypeColumn, 50, true},
                        {ResolutionColumn, 70, true},
                        {DurationColumn, 60, true},
                        {ProgressColumnCaption, 60, true}};
  sourceList.ReadOnly = true;
  addFilesButton.Caption = AddFilesCaption;
  addFilesButton.Hint = AddFilesHint;
  addButton.Caption = AddCaption;
  removeButton.Caption = RemoveCaption;
  clearButton.Caption = ClearCaption;
  for (TControlState* button : {&addButton, &removeButton, &clearButton}) button->Visible = false;

  settingsPages.PageCaptions = {std::begin(PageCaptions), std::end(PageCaptions)};
  settingsPages.ActivePageIndex = 0;
  SetTabImages();

  outputFolderEdit.Hint = OutputFolderHint;
  outputFolderBrowseButton.Hint = BrowseOutputFolderHint;
  openOutputFolderButton.Hint = OpenFolderHint;

  startButton.Caption = StartCaption;
  pauseButton.Caption = PauseCaption;
  resumeButton.Caption = ResumeCaption;
  stopButton.Caption = StopCaption;
  for (TControlState* button : {&pauseButton, &resumeButton, &stopButton}) button->Enabled = false;
  powerOffCheckBox.Caption = PowerOffCaption;

  previewTimeLabel.Caption = "--";
  markStartButton.Caption = MarkStartCaption;
  markEndButton.Caption = MarkEndCaption;
  for (TEditState* edit : {&clipStartEdit, &clipEndEdit}) {
    edit->Text = "0";
    edit->ReadOnly = true;
  }
  clipCheckBox.Caption = ClipCaption;
  previewImage.SetSize(220, 145);

  fileTypeBox.Hint = FileTypeHint;
  presetBox.Hint = PresetHint;
  brandBox.Hint = BrandHint;
  modelBox.Hint = PresetHint;
  customTypeBox.Hint = CustomTypeHint;
  removePresetButton.Caption = RemovePresetCaption;
  removePresetButton.Visible = removePresetButton.Enabled = false;
  for (TComboBoxState* box : {&fileTypeBox, &customTypeBox}) {
    // The custom page has no use for the remux type: it has nothing to type.
    const int count = box == &fileTypeBox ? FileTypeCount : FileTypeCount - 1;
    for (int i = 0; i < count; ++i)
      box->Items.push_back({FileTypeItems[i], i < ClassicTypeCount ? i : i + 1});
    box->ItemIndex = 0;
  }

  frameSizeLabel.Caption = std::string(FrameSizePrefix) + "352 X 288";
  videoCodecLabel.Caption = std::string(VideoCodecPrefix) + "H263";
  videoBitrateLabel.Caption = std::string(VideoBitratePrefix) + "128Kbps";
  frameRateLabel.Caption = std::string(FrameRatePrefix) + "15fps";
  audioCodecLabel.Caption = std::string(AudioCodecPrefix) + "AAC";

  applyCustomButton.Caption = ApplyCustomCaption;
  analyseButton.Caption = AnalyseCaption;
  cropPadGroup.Caption = CropPadCaption;
  cropCheckBox.Caption = CropColumnLabel;
  padCheckBox.Caption = PadColumnLabel;
  const int maxLength[4] = {4, 4, 7, 2};
  for (int edit = 1; edit <= 12; ++edit) CustomEdit(edit).MaxLength = edit <= 4 ? maxLength[edit - 1] : 4;
  customQualityEdit.MaxLength = 2;
  customQualityLabel.Caption = CustomQualityLabel;
  saveCustomPresetButton.Caption = SaveCustomPresetCaption;
  ResetCustomPage();
  SetUpSizeLimitControls();
}

TWorkbench::~TWorkbench() {
  // The two-pass statistics go with the model; its tasks must have let go of them first.
  if (!passFolder_.empty()) {
    Transcoder.ClearTasks();
    RemovePassFolder();
  }
}

TEditState& TWorkbench::CustomEdit(int edit) {
  TEditState* edits[CustomEditCount] = {
      &customWidthEdit, &customHeightEdit, &customBitrateEdit, &customFrameRateEdit, &cropTopEdit,
      &cropBottomEdit,  &cropLeftEdit,     &cropRightEdit,     &padTopEdit,          &padBottomEdit,
      &padLeftEdit,     &padRightEdit,     &customQualityEdit};
  return *edits[std::clamp(edit, 1, CustomEditCount) - 1];
}

std::string TWorkbench::ConfigFileName() const { return SettingsFile("config.ini"); }
std::string TWorkbench::ExtFileName() const { return SettingsFile("extfile.ini"); }

std::string TWorkbench::DefaultOutputFolder() const {
  return IncludeTrailingPathDelimiter(UserDirectory("VIDEOS")) + DefaultOutputFolderName;
}

bool TWorkbench::EnsureOutputFolder() {
  if (ForceDirectories(OutputFolder)) return true;
  view_.ShowMessage(CannotCreateFolderText(OutputFolder), mkError);
  return false;
}

void TWorkbench::OnCreate() {
  TIniFile config(ConfigFileName());
  const std::string stored = TrimText(config.ReadString("savepath", "newfilepath", ""));
  OutputFolder = stored.empty() ? DefaultOutputFolder() : stored;
  SkinName = config.ReadString("skin", "name", "Topaz");
  ParallelTasks = std::max(1, config.ReadInteger("convert", "parallel", 1));
  CodecThreads = std::max(0, config.ReadInteger("convert", "threads", 0));
  ReadSizeLimitSettings();

  outputFolderEdit.Text = OutputFolder;
  PresetFiles.clear();
  DeviceFiles.clear();
  Sources.clear();
  addPanel.Visible = true;
  Transcoder.LoadLibraries(ProgramFolder() + "LibAV");
  view_.Changed(wcAll);
}

void TWorkbench::OnShow() {
  if (!shown_) {
    shown_ = true;
    const TIniFile config(ConfigFileName());
    // The first start offers the modern, widely playable output; a stored choice stays.
    const int storedType = config.ReadInteger("select", "combobox1", -1);
    fileTypeBox.ItemIndex =
        ItemIndexOrFirst(storedType < 0 ? FirstStartFileType : storedType, fileTypeBox.Items.size());
    OnFileTypeChanged();
    if (storedType < 0 && presetBox.Items.empty() && fileTypeBox.ItemIndex != 0) {
      // A catalogue without that type: its first type, as before there was one.
      fileTypeBox.ItemIndex = 0;
      OnFileTypeChanged();
    }
    const bool firstStart = storedType < 0 && fileTypeBox.ItemIndex == FirstStartFileType;
    presetBox.ItemIndex = StoredPresetIndex(config, firstStart);

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

int TWorkbench::StoredPresetIndex(const TIniFile& config, bool firstStart) const {
  const std::string own = config.ReadString("select", "userpreset", "");
  for (size_t i = ShippedPresetCount; !own.empty() && i < PresetFiles.size(); ++i)
    if (ProfileItemCaption(PresetFiles[i]) == own) return int(i);
  const int stored = config.ReadInteger("select", "combobox2", firstStart ? FirstStartPreset : 0);
  // Past the shipped ones a position means nothing without the name that went with it.
  const bool shipped = own.empty() && stored >= 0 && size_t(stored) < ShippedPresetCount;
  return ItemIndexOrFirst(shipped ? stored : 0, presetBox.Items.size());
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
  view_.ShowMessage(CannotSaveSettingsText(ConfigFileName()), mkWarning);
}

void TWorkbench::OnOpenOutputFolderClicked() {
  if (!EnsureOutputFolder()) return;
  view_.ShellOpen(OutputFolder);
}

void TWorkbench::ResetCustomPage() {
  customValuesPanel.Visible = false;
  customTypeBox.ItemIndex = 0;
  for (int edit = 1; edit <= 4; ++edit) CustomEdit(edit).Text = CustomDefaults[edit - 1];
  for (int edit = 5; edit <= CustomEditCount; ++edit) CustomEdit(edit).Text.clear();
  SetCropPad(false, false);
  ShowCustomType(0);
}

void TWorkbench::SetTabImages() {
  const int active = settingsPages.ActivePageIndex;
  settingsPages.PageImageIndex.resize(settingsPages.PageCaptions.size());
  for (size_t i = 0; i < settingsPages.PageImageIndex.size(); ++i)
    settingsPages.PageImageIndex[i] = int(i) == active ? 4 + active : int(i);
}

}  // namespace ok
