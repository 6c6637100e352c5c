#pragma once
// The preset tables: the video parameters of a job on the preset page (by file type and preset)
// and on the device page (by brand and model), read from the profile files of the catalogue, so
// that a new entry is a new file.

#include <optional>
#include <string>
#include <vector>

#include "app/workbench/workbench.h"

namespace ok {

struct TPresetRow {
  std::string Ext;        // with its dot; ".rm10" / ".rm20" pick the RealVideo encoder
  std::string FrameSize;  // width "x" height
  std::string VideoCodec;
  int VideoBitrate = 0;
  int FrameRate = 0;
  bool operator==(const TPresetRow&) const = default;
};

// The job's values of one profile.
TPresetRow PresetRowOf(const profile_rec& p);

// Rows of the shipped catalogue's preset page, indexed by file-type position, then preset position.
std::vector<std::vector<TPresetRow>> PresetTable();
// Rows of the device page, indexed by brand position, then model position.
std::vector<std::vector<TPresetRow>> DeviceTable();
// The profile of page 0 (the user's presets included) or 1 at (first, second); none when there is
// no such entry.
std::optional<profile_rec> FindPresetProfile(int page, int first, int second);
// The row of page 0 or 1 at (first, second); none when there is no such entry.
std::optional<TPresetRow> FindPresetRow(int page, int first, int second);

}  // namespace ok
