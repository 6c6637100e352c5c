#include "app/workbench/profile_catalogue.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "app/workbench/profile_jobs.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/program_folder.h"
#include "platform/text_utils.h"

namespace ok {

const char* const FileTypeItems[FileTypeCount] = {"3GP  (适合手机播放)",
                                                  "MP4  (适合手机,MP4播放器,PSP等)",
                                                  "AVI (适合电脑和部分手机 MP4播放器)",
                                                  "MPEG  (VCD、DVD播放机)",
                                                  "WMV (适合电脑部分MP4播放器播放)",
                                                  "RM  (适合电脑播放)",
                                                  "MOV  (适合电脑播放)",
                                                  "MKV  (适合电脑播放)",
                                                  "FLV  (适合电脑播放)",
                                                  "MP4 H.264  (兼容最广：手机、电视、网页)",
                                                  "MP4 H.265  (同等画质文件更小，适合近年的设备)",
                                                  "WebM VP9  (适合网页播放)",
                                                  "MKV AV1  (文件最小，转换较慢)",
                                                  "无损换封装  (不重新编码，只换容器)"};

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

std::string UserPresetFolder(int type) {
  if (type < 0 || type >= FileTypeCount) return "";
  return SettingsFolder() + "userprofiles/videoconvert/" + FileTypeFolderName(FileTypeItems[type]) + "/";
}

bool ReadsAsProfile(const profile_rec& p) {
  return !p.Type.empty() && !p.Extension.empty() && (!p.Encoder.empty() || !p.Remux.empty());
}

std::vector<std::string> PresetProfileFiles(int type, size_t* shipped) {
  std::vector<std::string> files;
  if (type >= 0 && type < FileTypeCount)
    GetFileList(files, PresetCatalogueFolder() + FileTypeFolderName(FileTypeItems[type]), ".ini");
  if (shipped) *shipped = files.size();
  std::vector<std::string> own;
  if (type >= 0 && type < FileTypeCount) GetFileList(own, UserPresetFolder(type), ".ini");
  for (std::string& file : own)
    if (ReadsAsProfile(ReadProfile(file))) files.push_back(std::move(file));
  return files;
}

std::string LowerAscii(std::string text) {
  for (char& ch : text) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

profile_rec ReadProfile(const std::string& fileName) {
  const TIniFile ini(fileName);
  profile_rec p;
  p.Type = ini.ReadString("mediatype", "Type", "");
  // The shown names are the job's unless the file says otherwise.
  p.Extension = ini.ReadString("mediatype", "Extension", p.Type.empty() ? "" : "." + LowerAscii(p.Type));
  p.VideoCodec = ini.ReadString("video", "VideoCodec", "");
  p.Encoder = ini.ReadString("video", "Encoder", LowerAscii(p.VideoCodec));
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
  p.Quality = ini.ReadFloat("video", "Quality", -1);
  p.MaxRate = ini.ReadInteger("video", "MaxRate", 0);
  p.BufSize = ini.ReadInteger("video", "BufSize", 0);
  p.Speed = ini.ReadString("video", "Speed", "");
  p.Fit = LowerAscii(ini.ReadString("video", "Fit", ""));
  p.FPSCap = ini.ReadFloat("video", "FPSCap", 0);
  p.Deinterlace = ini.ReadInteger("video", "Deinterlace", 0) != 0;
  p.PixelFormat = LowerAscii(ini.ReadString("video", "PixelFormat", ""));
  p.Tag = ini.ReadString("video", "Tag", "");
  p.Profile = ini.ReadString("video", "Profile", "");
  p.Level = ini.ReadString("video", "Level", "");
  p.MaxChannels = ini.ReadInteger("audio", "MaxChannels", 0);
  p.Remux = LowerAscii(ini.ReadString("mediatype", "Remux", ""));
  const auto cropPad = CropPadFields(p);
  for (size_t i = 0; i < cropPad.size(); ++i) *cropPad[i] = ini.ReadInteger("video", CropPadKeys[i], -1);
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

// The box's items, one per profile file; an entry whose every encoder is missing is disabled.
void FillBox(TComboBoxState& box, const std::vector<std::string>& files, const TEncoderCheck& hasEncoder) {
  box.Items.clear();
  for (const std::string& file : files) {
    TComboItem& item = box.Items.emplace_back(TComboItem{ProfileItemCaption(file), 9});
    const profile_rec p = ReadProfile(file);
    if (IsQualityProfile(p) && p.Remux.empty() && FirstAvailableEncoder(p.Encoder, hasEncoder).empty())
      item.DisabledReason = EncoderMissingText(p.Encoder);
  }
  box.ItemIndex = box.Items.empty() ? -1 : 0;
}

}  // namespace

namespace {

// What a quality-based profile's job does, in the summary labels' words.
struct TQualityLabels {
  std::string FrameSize, VideoBitrate, FrameRate, AudioCodec;
};

TQualityLabels QualityLabels(const profile_rec& p) {
  TQualityLabels l;
  if (!p.Remux.empty()) {
    l.FrameSize = l.FrameRate = SameAsSourceText;
    l.VideoBitrate = RemuxRateText;
    l.AudioCodec = StreamCopyText;
    return l;
  }
  l.FrameSize = p.Width > 0 && p.Height > 0
                    ? BoxSizeText(std::to_string(p.Width) + "X" + std::to_string(p.Height))
                    : std::string(SameAsSourceText);
  const int cap = std::max(p.MaxRate, p.VideoBitrate);
  l.VideoBitrate = p.Quality < 0 ? std::to_string(p.VideoBitrate)
                   : cap > 0     ? QualityCapText(FloatText(p.Quality), cap / 1000)
                                 : QualityText(FloatText(p.Quality));
  l.FrameRate = p.FPS > 0 ? FloatText(p.FPS) : RateCapText(FloatText(p.FPSCap > 0 ? p.FPSCap : 60));
  std::string audio = p.AudioCodec;
  if (p.AudioBitrate > 0) audio += " " + std::to_string(p.AudioBitrate / 1000) + "K";
  l.AudioCodec = p.MaxChannels == 2  ? StereoText(audio)
                 : p.MaxChannels > 2 ? UpToChannelsText(audio, p.MaxChannels)
                                     : audio;
  return l;
}

}  // namespace

void TWorkbench::ShowProfile(const profile_rec& p, bool device) {
  if (IsQualityProfile(p)) {
    const TQualityLabels l = QualityLabels(p);
    frameSizeLabel.Caption = FrameSizePrefix + l.FrameSize;
    videoCodecLabel.Caption =
        VideoCodecPrefix + (p.Remux.empty() ? p.VideoCodec : std::string(StreamCopyText));
    videoBitrateLabel.Caption = VideoBitratePrefix + l.VideoBitrate;
    frameRateLabel.Caption = std::string(device ? DeviceFrameRatePrefix : FrameRatePrefix) + l.FrameRate;
    audioCodecLabel.Caption = AudioCodecPrefix + l.AudioCodec;
    return;
  }
  frameSizeLabel.Caption = FrameSizePrefix + std::to_string(p.Width) + "X" + std::to_string(p.Height);
  videoCodecLabel.Caption = VideoCodecPrefix + p.VideoCodec;
  videoBitrateLabel.Caption = VideoBitratePrefix + std::to_string(p.VideoBitrate);
  frameRateLabel.Caption = std::string(device ? DeviceFrameRatePrefix : FrameRatePrefix) + FloatText(p.FPS);
  audioCodecLabel.Caption = AudioCodecPrefix + p.AudioCodec;
}

void TWorkbench::WriteSelection(const char* firstKey, int first, const char* secondKey, int second) {
  TIniFile config(ConfigFileName());
  SettingsSaved(config.WriteInteger("select", firstKey, first) &&
                config.WriteInteger("select", secondKey, second));
}

void TWorkbench::OnFileTypeChanged() {
  PresetFiles = PresetProfileFiles(fileTypeBox.ItemIndex, &ShippedPresetCount);
  FillBox(presetBox, PresetFiles, [this](const std::string& name) { return HasEncoder(name); });
  for (size_t i = ShippedPresetCount; i < presetBox.Items.size(); ++i)
    presetBox.Items[i].Caption += " " + UserPresetMark;
  if (!presetBox.Items.empty()) OnPresetChanged();
  removePresetButton.Visible = presetBox.Items.size() > ShippedPresetCount;
  removePresetButton.Enabled = UserPresetSelected();
  view_.Changed(wcSettings);
}

void TWorkbench::OnPresetChanged() {
  const int i = presetBox.ItemIndex;
  if (i >= 0 && size_t(i) < PresetFiles.size()) {
    PresetProfile = ReadProfile(PresetFiles[size_t(i)]);
    ShowProfile(PresetProfile, false);
    if (fileTypeBox.Tag == 1) WritePresetSelection(i);
  }
  fileTypeBox.Tag = 0;
  removePresetButton.Enabled = UserPresetSelected();
  view_.Changed(wcSettings);
  RefreshExpectedSizes();
}

void TWorkbench::WritePresetSelection(int preset) {
  WriteSelection("combobox1", fileTypeBox.ItemIndex, "combobox2", preset);
  const std::string own = UserPresetSelected() ? ProfileItemCaption(PresetFiles[size_t(preset)]) : "";
  SettingsSaved(TIniFile(ConfigFileName()).WriteString("select", "userpreset", own));
}

bool TWorkbench::UserPresetSelected() const {
  const int i = presetBox.ItemIndex;
  return i >= 0 && size_t(i) >= ShippedPresetCount && size_t(i) < PresetFiles.size();
}

void TWorkbench::OnRemovePresetClicked() {
  if (!UserPresetSelected()) return;
  const size_t index = size_t(presetBox.ItemIndex);
  const std::string file = PresetFiles[index];
  if (!view_.AskYesNo(RemovePresetQuestion(ProfileItemCaption(file)))) return;
  // One that is gone already is as good as removed.
  const bool deleted = DeleteFile(file);
  const int error = errno;
  if (!deleted && FileExists(file)) {
    view_.ShowMessage(CannotRemovePresetText(file, std::strerror(error)), mkError);
    return;
  }
  OnFileTypeChanged();
  // The entry that took its place, else the one before it; stored, as the removed one may have been.
  if (!presetBox.Items.empty()) SelectPreset(int(std::min(index, presetBox.Items.size() - 1)));
}

void TWorkbench::RelistPresets() {
  const int i = presetBox.ItemIndex;
  const std::string chosen = i >= 0 && size_t(i) < PresetFiles.size() ? PresetFiles[size_t(i)] : "";
  OnFileTypeChanged();
  const auto at = std::find(PresetFiles.begin(), PresetFiles.end(), chosen);
  if (at == PresetFiles.end() || at == PresetFiles.begin()) return;
  presetBox.ItemIndex = int(at - PresetFiles.begin());
  OnPresetChanged();
}

void TWorkbench::OnBrandChanged() {
  const std::string brand = brandBox.Text();
  DeviceFiles.clear();
  if (!brand.empty()) GetFileList(DeviceFiles, DeviceCatalogueFolder() + brand, ".ini");
  FillBox(modelBox, DeviceFiles, [this](const std::string& name) { return HasEncoder(name); });
  if (!modelBox.Items.empty()) OnModelChanged();
  view_.Changed(wcSettings);
}

void TWorkbench::OnModelChanged() {
  const int i = modelBox.ItemIndex;
  if (i >= 0 && size_t(i) < DeviceFiles.size()) {
    DeviceProfile = ReadProfile(DeviceFiles[size_t(i)]);
    ShowProfile(DeviceProfile, true);
    if (brandBox.Tag == 1) WriteSelection("combobox3", brandBox.ItemIndex, "combobox4", i);
  }
  brandBox.Tag = 0;
  view_.Changed(wcSettings);
  RefreshExpectedSizes();
}

void TWorkbench::OnFileTypeClicked() { fileTypeBox.Tag = 1; }
void TWorkbench::OnPresetClicked() { fileTypeBox.Tag = 1; }
void TWorkbench::OnBrandClicked() { brandBox.Tag = 1; }
void TWorkbench::OnModelClicked() { brandBox.Tag = 1; }

void TWorkbench::OnSettingsPageShown(int page) { SummaryLabelsPage = page; }

void TWorkbench::OnSettingsPageChanged(int page) {
  if (page < spPreset || page > spCustom) return;
  settingsPages.ActivePageIndex = page;
  SettingsSaved(TIniFile(ConfigFileName()).WriteInteger("select", "tabindex", page));
  customValuesPanel.Visible = false;
  SetCropPad(false, false);
  OnSettingsPageShown(page);
  if (page == spPreset && !presetBox.Items.empty()) OnPresetChanged();
  if (page == spDevice && !modelBox.Items.empty()) OnModelChanged();
  if (page == spExisting) ShowSampleJob();
  SetTabImages();
  view_.Changed(wcSettings);
  RefreshExpectedSizes();
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
  if (!SelectItem(fileTypeBox, index)) return;
  OnFileTypeClicked();
  OnFileTypeChanged();
}

void TWorkbench::SelectPreset(int index) {
  if (!SelectItem(presetBox, index)) return;
  OnPresetClicked();
  OnPresetChanged();
}

void TWorkbench::SelectBrand(int index) {
  if (!SelectItem(brandBox, index)) return;
  OnBrandClicked();
  OnBrandChanged();
}

void TWorkbench::SelectModel(int index) {
  if (!SelectItem(modelBox, index)) return;
  OnModelClicked();
  OnModelChanged();
}

void TWorkbench::SelectCustomType(int index) {
  // The custom type box shares the file-type box's handlers: they rebuild the preset page's list.
  const int previous = customTypeBox.ItemIndex;
  if (!SelectItem(customTypeBox, index)) return;
  ShowCustomType(previous);
  OnFileTypeClicked();
  OnFileTypeChanged();
}

}  // namespace ok
