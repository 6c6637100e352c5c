#include "app/workbench/custom_preset.h"

#include <stdexcept>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// "[section]" and its "key=value" lines, the keys left out whose value is "".
std::string Section(const char* name, std::initializer_list<std::pair<const char*, std::string>> keys) {
  std::string text = std::string("[") + name + "]\n";
  for (const auto& [key, value] : keys)
    if (!value.empty()) text += std::string(key) + "=" + value + "\n";
  return text;
}

std::string Number(int value) { return value != 0 ? std::to_string(value) : ""; }
std::string Number(double value) { return value != 0 ? FloatText(value) : ""; }

// The "key=value" lines of the crop and pads the profile sets (0 or more).
std::string CropPadLines(const profile_rec& p) {
  std::string text;
  const auto fields = CropPadFields(p);
  for (size_t i = 0; i < fields.size(); ++i)
    if (*fields[i] >= 0) text += std::string(CropPadKeys[i]) + "=" + std::to_string(*fields[i]) + "\n";
  return text;
}

}  // namespace

std::string ProfileFileText(const profile_rec& p) {
  return Section("mediatype", {{"Type", p.Type}, {"Extension", p.Extension}, {"Remux", p.Remux}}) + "\n" +
         Section("video", {{"VideoCodec", p.VideoCodec},
                           {"Encoder", p.Encoder},
                           {"VideoBitrate", Number(p.VideoBitrate)},
                           {"Width", std::to_string(p.Width)},
                           {"Height", std::to_string(p.Height)},
                           {"FPS", Number(p.FPS)},
                           {"AspectRatio", Number(p.AspectRatio)},
                           {"Quality", p.Quality >= 0 ? FloatText(p.Quality) : ""},
                           {"MaxRate", Number(p.MaxRate)},
                           {"BufSize", Number(p.BufSize)},
                           {"Speed", p.Speed},
                           {"Fit", p.Fit},
                           {"FPSCap", Number(p.FPSCap)},
                           {"Deinterlace", p.Deinterlace ? "1" : ""},
                           {"PixelFormat", p.PixelFormat},
                           {"Tag", p.Tag},
                           {"Profile", p.Profile},
                           {"Level", p.Level}}) +
         CropPadLines(p) + "\n" +
         Section("audio", {{"AudioCodec", p.AudioCodec},
                           {"AudioBitrate", Number(p.AudioBitrate)},
                           {"SampleRate", Number(p.SampleRate)},
                           {"Channel", Number(p.Channel)},
                           {"Volume", Number(p.Volume)},
                           {"MaxChannels", Number(p.MaxChannels)}});
}

std::string PresetNameRefusal(const std::string& name) {
  if (name.empty()) return EmptyPresetNameText;
  if (name.find('/') != std::string::npos || name == "." || name == "..") return BadPresetNameText;
  return "";
}

void TWorkbench::OnSaveCustomPresetClicked() {
  // What Start would refuse is not saved either.
  if (!CheckSettingsPage()) return;
  profile_rec profile;
  try {
    profile = CustomProfile(customTypeBox.ItemIndex);
  } catch (const std::exception& e) {
    view_.ShowMessage(e.what(), mkError);
    return;
  }
  const std::optional<std::string> answer = view_.AskText(PresetNamePrompt, "");
  if (!answer) return;
  const std::string name = TrimText(*answer);
  const std::string refusal = PresetNameRefusal(name);
  if (!refusal.empty()) {
    view_.ShowMessage(refusal, mkError);
    return;
  }
  const int type = customTypeBox.ItemIndex;
  const std::string folder = UserPresetFolder(type);
  const std::string file = folder + name + ".ini";
  if (FileExists(file) && !view_.AskYesNo(OverwritePresetText(name))) return;
  if (!ForceDirectories(folder) || !WriteFileAtomic(file, ProfileFileText(profile))) {
    view_.ShowMessage(CannotSavePresetText(file), mkError);
    return;
  }
  if (fileTypeBox.ItemIndex == type) RelistPresets();
  view_.ShowMessage(PresetSavedText(name, FileTypeFolderName(customTypeBox.Text())), mkInformation);
}

}  // namespace ok
