#include <cmath>
#include <limits>
#include <stdexcept>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/value_parsing.h"
#include "media/media_info.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"

namespace ok {

namespace {

// The nearest whole number of a stored decimal (29.97 frames per second run as 30, halves to the
// even neighbour: 1500000.5 gives 1500000); `def` when
// the value is missing, not a number or beyond the range of a job value.
int NearestWhole(const TIniFile& ini, const char* section, const char* key, int def) {
  const double value = ini.ReadFloat(section, key, std::numeric_limits<double>::quiet_NaN());
  if (!std::isfinite(value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max())
    return def;
  return int(RoundHalfEven(value));
}

struct TSampleValues {
  std::string Type, VideoCodec, AudioCodec;
  double BitRate = 0, FrameRate = 0;
  int Width = 0, Height = 0;
};

// The sample's parameters; false when the library cannot read the file.
bool ReadSample(const std::string& fileName, TSampleValues& values) {
  if (!FileExists(fileName)) return false;
  const auto library = TMediaInfoLibrary::Process();
  if (!library->IsLoaded()) return false;
  const TMediaInfoDll info(fileName, library);
  if (!info.GetHandle() || library->Get(info.GetHandle(), mskGeneral, 0, "Format").empty()) return false;
  try {
    values.FrameRate = info.GetFrameRate();
  } catch (const std::invalid_argument&) {
    return false;
  }
  values.Type = info.GetFileExtension();
  values.VideoCodec = info.GetVideoCodec();
  values.BitRate = info.GetBitRate();
  values.Width = info.GetWidth();
  values.Height = info.GetHeight();
  values.AudioCodec = info.GetAudioCodec(0);
  return true;
}

}  // namespace

void TWorkbench::sSpeedButton4Click() {
  const std::vector<std::string> chosen = view_.OpenFileDialog(VideoFileFilter, false);
  if (chosen.empty()) return;
  const std::string& fileName = chosen.front();
  TSampleValues v;
  if (!ReadSample(fileName, v)) {
    view_.ShowMessage("无法分析视频文件 " + fileName + "！", mkError);
    return;
  }
  view_.ShowMessage("您选择的视频格式为 ." + v.Type, mkInformation);
  TIniFile ext(ExtFileName());
  bool written =
      ext.WriteString("mediatype", "Type", v.Type) && ext.WriteString("video", "VideoCodec", v.VideoCodec) &&
      ext.WriteFloat("video", "VideoBitrate", v.BitRate) && ext.WriteInteger("video", "Width", v.Width) &&
      ext.WriteInteger("video", "Height", v.Height) && ext.WriteFloat("video", "FPS", v.FrameRate) &&
      ext.WriteString("audio", "AudioCodec", v.AudioCodec);
  if (!written) view_.ShowMessage("未能写入 " + ExtFileName() + "！", mkError);
  sLabelFX12.Caption = "视频像素：" + std::to_string(v.Width) + "X" + std::to_string(v.Height);
  sLabelFX6.Caption = "视频编码：" + v.VideoCodec;
  sLabelFX11.Caption = "视频码率：" + FloatText(v.BitRate);
  sLabelFX7.Caption = "帧速率：" + FloatText(v.FrameRate);
  sLabelFX8.Caption = "音频编码：" + v.AudioCodec;
  view_.Changed(wcSettings);
}

void TWorkbench::FillExistingVideoParams() {
  const TIniFile ext(ExtFileName());
  JobExt = "." + ext.ReadString("mediatype", "Type", ".avi");
  JobFrameSize = ext.ReadString("video", "Width", "320") + "x" + ext.ReadString("video", "Height", "240");
  JobVideoCodec = "mpeg4";
  JobVideoBitrate = NearestWhole(ext, "video", "VideoBitrate", 512000);
  JobFrameRate = NearestWhole(ext, "video", "FPS", 24);
}

}  // namespace ok
