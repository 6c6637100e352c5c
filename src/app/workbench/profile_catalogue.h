#pragma once
// The profile catalogues beside the program: folder listing in a fixed order, profile files.

#include <array>
#include <string>
#include <vector>

#include "app/workbench/workbench.h"

namespace ok {

// The items of the file-type box, in table order (their images are 0 to 8, then 10 on: 9 is the
// profile image). The custom page
// offers the first nine (ClassicTypeCount); the quality-based types follow from position 9.
inline constexpr int FileTypeCount = 14;
inline constexpr int ClassicTypeCount = 9;
extern const char* const FileTypeItems[FileTypeCount];
// The preset page's choice before any is stored: "MP4 H.264" / "1080p".
inline constexpr int FirstStartFileType = 9;
inline constexpr int FirstStartPreset = 3;

// Every file below `folder` whose extension is `ext` (case ignored), appended to `list`: for
// every folder the files of its sub-folders first, then its own, each level in name order with
// case ignored, so the order is the same on every machine. A missing folder clears `list`.
void GetFileList(std::vector<std::string>& list, const std::string& folder, const std::string& ext);
// Names of the immediate sub-folders of `folder`, appended to `list` in the same order. A missing
// folder clears `list`.
void GetFileList2(std::vector<std::string>& list, const std::string& folder);

// The folder name of a file-type item: its caption up to the first "(", blanks removed.
std::string FileTypeFolderName(const std::string& caption);
// ProgramFolder() + "profiles/videoconvert/" and + "profiles/devices/".
std::string PresetCatalogueFolder();
std::string DeviceCatalogueFolder();
// The user's own presets of file type `type` (a position of FileTypeItems): SettingsFolder() +
// "userprofiles/videoconvert/" + the type's folder name + "/". Apart from the shipped catalogue,
// which a portable setup keeps in the settings folder too: a user file among the shipped ones
// would move their positions.
std::string UserPresetFolder(int type);
// Whether a profile file makes a job: it names its type and its encoder (or a remux).
bool ReadsAsProfile(const profile_rec& p);
// The files the preset box of type `type` lists: the shipped ones in catalogue order (their
// positions are what stored choices mean), then the user's that read as a profile, in name
// order. `shipped` receives how many are shipped.
std::vector<std::string> PresetProfileFiles(int type, size_t* shipped = nullptr);

// The keys of a profile's crop and pads, in the order top, bottom, left, right, crop first.
inline constexpr const char* CropPadKeys[8] = {"CropTop", "CropBottom", "CropLeft", "CropRight",
                                               "PadTop",  "PadBottom",  "PadLeft",  "PadRight"};
// The crop and pad fields of a profile or a job record, in CropPadKeys' order.
template <typename TRecord>
auto CropPadFields(TRecord& r) {
  return std::array{&r.CropTop, &r.CropBottom, &r.CropLeft, &r.CropRight,
                    &r.PadTop,  &r.PadBottom,  &r.PadLeft,  &r.PadRight};
}

// A profile file; missing keys and values that are not numbers read as the defaults. The job's
// suffix ("Extension") defaults to the type in lower case after a dot, its encoder ("Encoder") to
// the shown video codec in lower case.
profile_rec ReadProfile(const std::string& fileName);
// The caption of a box item: the file name without folder and extension.
std::string ProfileItemCaption(const std::string& fileName);
// `text` with its ASCII letters in lower case.
std::string LowerAscii(std::string text);
// The shortest decimal text of a number ("25", "29.97").
std::string FloatText(double value);

}  // namespace ok
