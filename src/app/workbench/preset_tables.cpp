#include "app/workbench/preset_tables.h"

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench.h"

namespace ok {

namespace {

// The catalogue folders of a page in list order: the file types' folders, or the brands.
std::vector<std::string> PageFolders(int page) {
  std::vector<std::string> folders;
  if (page == spPreset) {
    for (const char* item : FileTypeItems)
      folders.push_back(PresetCatalogueFolder() + FileTypeFolderName(item));
  } else {
    GetFileList2(folders, DeviceCatalogueFolder());
    for (std::string& brand : folders) brand = DeviceCatalogueFolder() + brand;
  }
  return folders;
}

std::vector<std::string> ProfileFiles(const std::string& folder) {
  std::vector<std::string> files;
  GetFileList(files, folder, ".ini");
  return files;
}

std::vector<std::vector<TPresetRow>> PageTable(int page) {
  std::vector<std::vector<TPresetRow>> table;
  for (const std::string& folder : PageFolders(page)) {
    std::vector<TPresetRow>& rows = table.emplace_back();
    for (const std::string& file : ProfileFiles(folder)) rows.push_back(PresetRowOf(ReadProfile(file)));
  }
  return table;
}

}  // namespace

TPresetRow PresetRowOf(const profile_rec& p) {
  return {p.Extension, std::to_string(p.Width) + "x" + std::to_string(p.Height), p.Encoder, p.VideoBitrate,
          int(p.FPS)};
}

std::vector<std::vector<TPresetRow>> PresetTable() { return PageTable(spPreset); }
std::vector<std::vector<TPresetRow>> DeviceTable() { return PageTable(spDevice); }

std::optional<profile_rec> FindPresetProfile(int page, int first, int second) {
  if (page != spPreset && page != spDevice) return std::nullopt;
  std::vector<std::string> files;
  if (page == spPreset) {
    files = PresetProfileFiles(first);  // the user's presets follow the shipped ones
  } else {
    const std::vector<std::string> folders = PageFolders(page);
    if (first < 0 || size_t(first) >= folders.size()) return std::nullopt;
    files = ProfileFiles(folders[size_t(first)]);
  }
  if (second < 0 || size_t(second) >= files.size()) return std::nullopt;
  return ReadProfile(files[size_t(second)]);
}

std::optional<TPresetRow> FindPresetRow(int page, int first, int second) {
  const std::optional<profile_rec> profile = FindPresetProfile(page, first, second);
  if (!profile) return std::nullopt;
  return PresetRowOf(*profile);
}

void TWorkbench::FillPresetParams(int page, int first, int second) {
  if (page == spExisting || page == spCustom) JobProfile = {};
  if (page == spExisting) return FillExistingVideoParams();
  if (page == spCustom) return FillCustomParams(first);
  const std::optional<profile_rec> profile = FindPresetProfile(page, first, second);
  if (!profile) return;  // no row: the job keeps the values of the previous lookup
  JobProfile = *profile;
  const TPresetRow row = PresetRowOf(*profile);
  JobExt = row.Ext;
  JobFrameSize = row.FrameSize;
  JobVideoCodec = row.VideoCodec;
  JobVideoBitrate = row.VideoBitrate;
  JobFrameRate = row.FrameRate;
}

}  // namespace ok
