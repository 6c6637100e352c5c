#pragma once
// The built-in preset tables: the video parameters of a job on the preset page (by file type and
// preset) and on the device page (by brand and model). The catalogue files only name the entries.

#include <string>
#include <vector>

namespace ok {

struct TPresetRow {
  std::string Ext;        // with its dot; ".rm10" / ".rm20" pick the RealVideo encoder
  std::string FrameSize;  // width "x" height
  std::string VideoCodec;
  int VideoBitrate = 0;
  int FrameRate = 0;
};

// Rows of the preset page, indexed by file-type position, then preset position.
const std::vector<std::vector<TPresetRow>>& PresetTable();
// Rows of the device page, indexed by brand position, then model position.
const std::vector<std::vector<TPresetRow>>& DeviceTable();
// The row of page 0 or 1 at (first, second); nullptr when there is none.
const TPresetRow* FindPresetRow(int page, int first, int second);

}  // namespace ok
