#include "app/workbench/profile_catalogue.h"

#include <charconv>

#include "engine/value_parsing.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/program_folder.h"

namespace ok {

const char* const FileTypeItems[9] = {"3GP  (适合手机播放)",
                                      "MP4  (适合手机,MP4播放器,PSP等)",
                                      "AVI (适合电脑和部分手机 MP4播放器)",
                                      "MPEG  (VCD、DVD播放机)",
                                      "WMV (适合电脑部分MP4播放器播放)",
                                      "RM  (适合电脑播放)",
                                      "MOV  (适合电脑播放)",
                                      "MKV  (适合电脑播放)",
                                      "FLV  (适合电脑播放)"};

void GetFileList(std::vector<std::string>& list, const std::string& folder, const std::string& ext) {
  if (!DirectoryExists(TrimText(folder))) {
    list.clear();
    return;
  }
  for (std::string& file : ListFilesRecursive(folder, ext)) list.push_back(std::move(file));
}

void GetFileList2(std::vector<std::string>& list, const std::string& folder) {
  if (!DirectoryExists(TrimText(folder))) {
    list.clear();
    return;
  }
  for (std::string& name : ListSubFolders(TrimText(folder))) list.push_back(std::move(name));
}

std::string FileTypeFolderName(const std::string& caption) {
  return TrimText(caption.substr(0, caption.find('(')));
}

std::string PresetCatalogueFolder() { return ProgramFolder() + "profiles/videoconvert/"; }
std::string DeviceCatalogueFolder() { return ProgramFolder() + "profiles/devices/"; }

profile_rec ReadProfile(const std::string& fileName) {
  const TIniFile ini(fileName);
  profile_rec p;
  p.Type = ini.ReadString("mediatype", "Type", "");
  p.VideoCodec = ini.ReadString("video", "VideoCodec", "");
  p.VideoBitrate = ini.ReadInteger("video", "VideoBitrate", 0);
  p.Width = ini.ReadInteger("video", "Width", 0);
  p.Height = ini.ReadInteger("video", "Height", 0);
  p.FPS = ini.ReadFloat("video", "FPS", 0);
  p.AspectRatio = ini.ReadFloat("video", "AspectRatio", 0);
  p.AudioCodec = ini.ReadString("audio", "AudioCodec", "");
  p.AudioBitrate = ini.ReadInteger("audio", "AudioBitrate", 0);
  p.SampleRate = ini.ReadInteger("audio", "SampleRate", 0);
  p.Channel = ini.ReadInteger("audio", "Channel", 0);
  p.Volume = ini.ReadInteger("audio", "Volume", 0);
  return p;
}

std::string ProfileItemCaption(const std::string& fileName) {
  const std::string name = ExtractFileName(fileName);
  return name.substr(0, name.size() - ExtractFileExt(name).size());
}

std::string FloatText(double value) {
  char buffer[512];  // the longest fixed text of a double has 309 digits before the point
  // Fixed notation: a whole number stays plain ("100000", never "1e+05"); still the shortest text
  // that reads back as the same value.
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return ec == std::errc() ? std::string(buffer, end) : "0";
}

namespace {

void FillBox(TComboBoxState& box, const std::vector<std::string>& files) {
  box.Items.clear();
  for (const std::string& file : files) box.Items.push_back({ProfileItemCaption(file), 9});
  box.ItemIndex = box.Items.empty() ? -1 : 0;
}

}  // namespace

void TWorkbench::ShowProfile(const profile_rec& p, bool device) {
  sLabelFX12.Caption = "视频像素：" + std::to_string(p.Width) + "X" + std::to_string(p.Height);
  sLabelFX6.Caption = "视频编码：" + p.VideoCodec;
  sLabelFX11.Caption = "视频码率：" + std::to_string(p.VideoBitrate);
  sLabelFX7.Caption = (device ? "桢速率：" : "帧速率：") + FloatText(p.FPS);
  sLabelFX8.Caption = "音频编码：" + p.AudioCodec;
}

void TWorkbench::WriteSelection(const char* firstKey, int first, const char* secondKey, int second) {
  TIniFile config(ConfigFileName());
  config.WriteInteger("select", firstKey, first);
  config.WriteInteger("select", secondKey, second);
}

void TWorkbench::sComboBoxEx1Change() {
  const std::string type = FileTypeFolderName(sComboBoxEx1.Text());
  PresetFiles.clear();
  // No type selected would name the whole catalogue.
  if (!type.empty()) GetFileList(PresetFiles, PresetCatalogueFolder() + type, ".ini");
  FillBox(sComboBoxEx2, PresetFiles);
  if (!sComboBoxEx2.Items.empty()) sComboBoxEx2Change();
  view_.Changed(wcSettings);
}

void TWorkbench::sComboBoxEx2Change() {
  const int i = sComboBoxEx2.ItemIndex;
  if (i >= 0 && size_t(i) < PresetFiles.size()) {
    PresetProfile = ReadProfile(PresetFiles[size_t(i)]);
    ShowProfile(PresetProfile, false);
    if (sComboBoxEx1.Tag == 1) WriteSelection("combobox1", sComboBoxEx1.ItemIndex, "combobox2", i);
  }
  sComboBoxEx1.Tag = 0;
  view_.Changed(wcSettings);
}

void TWorkbench::sComboBoxEx3Change() {
  const std::string brand = sComboBoxEx3.Text();
  DeviceFiles.clear();
  if (!brand.empty()) GetFileList(DeviceFiles, DeviceCatalogueFolder() + brand, ".ini");
  FillBox(sComboBoxEx4, DeviceFiles);
  if (!sComboBoxEx4.Items.empty()) sComboBoxEx4Change();
  view_.Changed(wcSettings);
}

void TWorkbench::sComboBoxEx4Change() {
  const int i = sComboBoxEx4.ItemIndex;
  if (i >= 0 && size_t(i) < DeviceFiles.size()) {
    DeviceProfile = ReadProfile(DeviceFiles[size_t(i)]);
    ShowProfile(DeviceProfile, true);
    if (sComboBoxEx3.Tag == 1) WriteSelection("combobox3", sComboBoxEx3.ItemIndex, "combobox4", i);
  }
  sComboBoxEx3.Tag = 0;
  view_.Changed(wcSettings);
}

void TWorkbench::sComboBoxEx1Click() { sComboBoxEx1.Tag = 1; }
void TWorkbench::sComboBoxEx2Click() { sComboBoxEx1.Tag = 1; }
void TWorkbench::sComboBoxEx3Click() { sComboBoxEx3.Tag = 1; }
void TWorkbench::sComboBoxEx4Click() { sComboBoxEx3.Tag = 1; }

void TWorkbench::sTabSheet5Show(int page) { SummaryLabelsPage = page; }

void TWorkbench::sPageControl2Change(int page) {
  if (page < spPreset || page > spCustom) return;
  sPageControl2.ActivePageIndex = page;
  TIniFile(ConfigFileName()).WriteInteger("select", "tabindex", page);
  sPanel3.Visible = false;
  SetCropPad(false, false);
  sTabSheet5Show(page);
  if (page == spPreset && !sComboBoxEx2.Items.empty()) sComboBoxEx2Change();
  if (page == spDevice && !sComboBoxEx4.Items.empty()) sComboBoxEx4Change();
  if (page == spExisting) ShowSampleJob();
  SetTabImages();
  view_.Changed(wcSettings);
}

namespace {

// Selects item `index` of `box`; false when there is no such item.
bool SelectItem(TComboBoxState& box, int index) {
  if (index < 0 || size_t(index) >= box.Items.size()) return false;
  box.ItemIndex = index;
  return true;
}

}  // namespace

void TWorkbench::SelectFileType(int index) {
  if (!SelectItem(sComboBoxEx1, index)) return;
  sComboBoxEx1Click();
  sComboBoxEx1Change();
}

void TWorkbench::SelectPreset(int index) {
  if (!SelectItem(sComboBoxEx2, index)) return;
  sComboBoxEx2Click();
  sComboBoxEx2Change();
}

void TWorkbench::SelectBrand(int index) {
  if (!SelectItem(sComboBoxEx3, index)) return;
  sComboBoxEx3Click();
  sComboBoxEx3Change();
}

void TWorkbench::SelectModel(int index) {
  if (!SelectItem(sComboBoxEx4, index)) return;
  sComboBoxEx4Click();
  sComboBoxEx4Change();
}

void TWorkbench::SelectCustomType(int index) {
  // The custom type box shares the file-type box's handlers: they rebuild the preset page's list.
  if (!SelectItem(sComboBoxEx5, index)) return;
  sComboBoxEx1Click();
  sComboBoxEx1Change();
}

}  // namespace ok
