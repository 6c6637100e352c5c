#include <algorithm>

#include "app/workbench/workbench.h"
#include "engine/value_parsing.h"

namespace ok {

namespace {

constexpr char Backspace = 8;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct TCustomType {
  const char* Ext;
  const char* VideoCodec;
  const char* AudioCodec;
};

// By the type position. MPEG writes a program stream (".mpeg"), RM RealVideo 2 through the
// ".rm20" rule, MOV MPEG-4 Part 2; "avc" reaches the H.264 encoder through the codec look-up.
// The audio is one the type's container takes: 3GP and the QuickTime family AAC ("libfaac" reaches
// the native encoder), the program stream MPEG audio, RealMedia AC-3; WMV gets WMA by its suffix.
constexpr TCustomType CustomTypes[9] = {
    {".3gp", "mpeg4", "libfaac"}, {".mp4", "avc", "libfaac"},    {".avi", "mpeg4", "libmp3lame"},
    {".mpeg", "mpeg4", "mp2"},    {".wmv", "wmv2", "wmav2"},     {".rm20", "rv20", "ac3"},
    {".mov", "mpeg4", "libfaac"}, {".mkv", "avc", "libmp3lame"}, {".flv", "flv", "libmp3lame"}};

// An edit's value for a crop or a pad: 0 when it is not a number, truncated to even.
int EvenValue(const std::string& text) {
  const int value = StrToIntDef(TrimText(text), 0);
  return value / 2 * 2;
}

}  // namespace

void TWorkbench::sSpeedButton5Click() {
  sPanel3.Visible = true;
  view_.Changed(wcSettings);
}

bool TWorkbench::sEdit1KeyPress(int edit, char key) {
  (void)edit;
  if (key == Backspace || IsDigit(key)) return true;
  view_.Beep();
  return false;
}

bool TWorkbench::SetCustomEditText(int edit, const std::string& text) {
  if (edit < 1 || edit > 12) return false;
  TEditState& target = CustomEdit(edit);
  const bool digits = std::all_of(text.begin(), text.end(), IsDigit);
  if (!digits || (target.MaxLength > 0 && int(text.size()) > target.MaxLength)) {
    view_.Beep();
    return false;
  }
  target.Text = text;
  return true;
}

void TWorkbench::SetCropPad(bool crop, bool pad) {
  sCheckBox2.Checked = crop;
  sCheckBox3.Checked = pad;
  for (int edit = 5; edit <= 12; ++edit) CustomEdit(edit).Enabled = edit <= 8 ? crop : pad;
}

void TWorkbench::sCheckBox2Click(bool checked) {
  SetCropPad(checked, sCheckBox3.Checked);
  view_.Changed(wcSettings);
}

void TWorkbench::sCheckBox3Click(bool checked) {
  SetCropPad(sCheckBox2.Checked, checked);
  view_.Changed(wcSettings);
}

void TWorkbench::FillCustomParams(int type) {
  if (!sPanel3.Visible) {
    view_.ShowMessage("请设定对应视频参数！", mkError);
    return;
  }
  const std::string width = TrimText(sEdit1.Text), height = TrimText(sEdit2.Text);
  const char* missing = nullptr;
  if (width.empty() || height.empty())
    missing = "请设定输入视频尺寸！";
  else if (TrimText(sEdit3.Text).empty())
    missing = "请输入视频比特率！";
  else if (TrimText(sEdit4.Text).empty())
    missing = "请输入帧速率！";
  if (missing) {
    view_.ShowMessage(missing, mkError);
    return;
  }
  if (type >= 0 && type < 9) {
    JobExt = CustomTypes[type].Ext;
    JobVideoCodec = CustomTypes[type].VideoCodec;
    JobAudioCodec = CustomTypes[type].AudioCodec;
  }
  JobFrameSize = width + "x" + height;
  // The key filter lets only digits in, and the edits' lengths keep the values in range.
  JobVideoBitrate = StrToIntDef(TrimText(sEdit3.Text), 0);
  JobFrameRate = StrToIntDef(TrimText(sEdit4.Text), 0);
}

bool TWorkbench::CheckSettingsPage() {
  const char* missing = nullptr;
  switch (sPageControl2.ActivePageIndex) {
    case spCustom:
      // The panel is the page's values: until "自定义" shows it, the page holds none.
      missing = !sPanel3.Visible                ? "请设定对应视频参数！"
                : sComboBoxEx5.Text().empty()   ? "请选择视频要转换的类型！"
                : TrimText(sEdit1.Text).empty() ? "请输入视频尺寸！"
                : TrimText(sEdit2.Text).empty() ? "请输入视频尺寸！"
                : TrimText(sEdit3.Text).empty() ? "请输入视频比特率！"
                : TrimText(sEdit4.Text).empty() ? "请输入视频帧速率！"
                                                : nullptr;
      break;
    case spExisting:
      if (!SampleAnalysed()) missing = "请先点击“分析视频文件”选择一个样本视频！";
      break;
    default:
      break;
  }
  if (missing) view_.ShowMessage(missing, mkError);
  return !missing;
}

void TWorkbench::ApplyCustomCropPad(TOutputOptions& options) const {
  if (sCheckBox2.Checked) {
    options.CropTop = EvenValue(sEdit5.Text);
    options.CropBottom = EvenValue(sEdit6.Text);
    options.CropLeft = EvenValue(sEdit7.Text);
    options.CropRight = EvenValue(sEdit8.Text);
  }
  if (sCheckBox3.Checked) {
    options.PadTop = EvenValue(sEdit9.Text);
    options.PadBottom = EvenValue(sEdit10.Text);
    options.PadLeft = EvenValue(sEdit11.Text);
    options.PadRight = EvenValue(sEdit12.Text);
  }
}

}  // namespace ok
