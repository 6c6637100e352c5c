#include <algorithm>

#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "platform/text_utils.h"

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

void TWorkbench::OnApplyCustomClicked() {
  customValuesPanel.Visible = true;
  view_.Changed(wcSettings);
}

bool TWorkbench::OnCustomEditKeyPress(int edit, char key) {
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
  cropCheckBox.Checked = crop;
  padCheckBox.Checked = pad;
  for (int edit = 5; edit <= 12; ++edit) CustomEdit(edit).Enabled = edit <= 8 ? crop : pad;
}

void TWorkbench::OnCropCheckBoxClicked(bool checked) {
  SetCropPad(checked, padCheckBox.Checked);
  view_.Changed(wcSettings);
}

void TWorkbench::OnPadCheckBoxClicked(bool checked) {
  SetCropPad(cropCheckBox.Checked, checked);
  view_.Changed(wcSettings);
}

void TWorkbench::FillCustomParams(int type) {
  if (!customValuesPanel.Visible) {
    view_.ShowMessage(SetVideoValuesText, mkError);
    return;
  }
  const std::string width = TrimText(customWidthEdit.Text), height = TrimText(customHeightEdit.Text);
  const TText* missing = nullptr;
  if (width.empty() || height.empty())
    missing = &SetFrameSizeText;
  else if (TrimText(customBitrateEdit.Text).empty())
    missing = &EnterBitrateText;
  else if (TrimText(customFrameRateEdit.Text).empty())
    missing = &EnterFrameRateText;
  if (missing) {
    view_.ShowMessage(*missing, mkError);
    return;
  }
  if (type >= 0 && type < 9) {
    JobExt = CustomTypes[type].Ext;
    JobVideoCodec = CustomTypes[type].VideoCodec;
    JobAudioCodec = CustomTypes[type].AudioCodec;
  }
  JobFrameSize = width + "x" + height;
  // The key filter lets only digits in, and the edits' lengths keep the values in range.
  JobVideoBitrate = StrToIntDef(TrimText(customBitrateEdit.Text), 0);
  JobFrameRate = StrToIntDef(TrimText(customFrameRateEdit.Text), 0);
}

bool TWorkbench::CheckSettingsPage() {
  const TText* missing = SettingsPageMissing();
  if (missing) view_.ShowMessage(*missing, mkError);
  if (missing) return false;
  // An entry the loaded libraries cannot encode is refused here, not as a failure of every row.
  const int page = settingsPages.ActivePageIndex;
  const TComboBoxState* box = page == spPreset ? &presetBox : page == spDevice ? &modelBox : nullptr;
  if (box && box->ItemIndex >= 0 && size_t(box->ItemIndex) < box->Items.size() &&
      !box->Items[size_t(box->ItemIndex)].DisabledReason.empty()) {
    view_.ShowMessage(box->Items[size_t(box->ItemIndex)].DisabledReason, mkError);
    return false;
  }
  return true;
}

const TText* TWorkbench::SettingsPageMissing() const {
  const TText* missing = nullptr;
  switch (settingsPages.ActivePageIndex) {
    case spCustom:
      // The panel is the page's values: until "自定义" shows it, the page holds none.
      missing = !customValuesPanel.Visible                   ? &SetVideoValuesText
                : customTypeBox.Text().empty()               ? &ChooseCustomTypeText
                : TrimText(customWidthEdit.Text).empty()     ? &EnterFrameSizeText
                : TrimText(customHeightEdit.Text).empty()    ? &EnterFrameSizeText
                : TrimText(customBitrateEdit.Text).empty()   ? &EnterBitrateText
                : TrimText(customFrameRateEdit.Text).empty() ? &EnterVideoFrameRateText
                                                             : nullptr;
      break;
    case spExisting:
      if (!SampleAnalysed()) missing = &AnalyseSampleFirstText;
      break;
    default:
      break;
  }
  return missing;
}

void TWorkbench::ApplyCustomCropPad(TOutputOptions& options) const {
  if (cropCheckBox.Checked) {
    options.CropTop = EvenValue(cropTopEdit.Text);
    options.CropBottom = EvenValue(cropBottomEdit.Text);
    options.CropLeft = EvenValue(cropLeftEdit.Text);
    options.CropRight = EvenValue(cropRightEdit.Text);
  }
  if (padCheckBox.Checked) {
    options.PadTop = EvenValue(padTopEdit.Text);
    options.PadBottom = EvenValue(padBottomEdit.Text);
    options.PadLeft = EvenValue(padLeftEdit.Text);
    options.PadRight = EvenValue(padRightEdit.Text);
  }
}

}  // namespace ok
