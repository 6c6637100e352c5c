#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/profile_jobs.h"
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
  const char* AudioLabel;  // the audio as a profile file names it, for a preset saved from the page
};

// By the type position. MPEG writes a program stream (".mpeg"), RM RealVideo 2 through the
// ".rm20" rule, MOV MPEG-4 Part 2; "avc" reaches the H.264 encoder through the codec look-up.
// The audio is one the type's container takes: 3GP and the QuickTime family AAC ("libfaac" reaches
// the native encoder), the program stream MPEG audio, RealMedia AC-3; WMV gets WMA by its suffix.
constexpr TCustomType CustomTypes[ClassicTypeCount] = {
    {".3gp", "mpeg4", "libfaac", "AAC"},    {".mp4", "avc", "libfaac", "AAC"},
    {".avi", "mpeg4", "libmp3lame", "MP3"}, {".mpeg", "mpeg4", "mp2", "MP2"},
    {".wmv", "wmv2", "wmav2", "WMA"},       {".rm20", "rv20", "ac3", "AC3"},
    {".mov", "mpeg4", "libfaac", "AAC"},    {".mkv", "avc", "libmp3lame", "MP3"},
    {".flv", "flv", "libmp3lame", "MP3"}};

// The shipped preset of each quality-based type that its custom job starts from: the source's
// own size, the encoder's default quality and caps.
constexpr const char* BasePresetFile = "01 与源相同.ini";

// The qualities the encoders of the type's profile take (their CRF scales).
struct TQualityRange {
  int Lowest, Highest;
};

TQualityRange QualityRange(const profile_rec& p) {
  const bool x26x = p.Encoder.rfind("libx264", 0) == 0 || p.Encoder.rfind("libx265", 0) == 0;
  return {0, x26x ? 51 : 63};
}

// The base preset of quality-based type `type`.
profile_rec TypeBaseProfile(int type) {
  const std::string file =
      PresetCatalogueFolder() + FileTypeFolderName(FileTypeItems[type]) + "/" + BasePresetFile;
  const profile_rec p = ReadProfile(file);
  if (!IsQualityProfile(p)) throw std::runtime_error(NoTypePresetText(file));
  return p;
}

// The bit rate a profile caps the video at: its maximum rate, else (VP9's constrained quality)
// its bit rate.
int VideoCap(const profile_rec& p) { return p.MaxRate > 0 ? p.MaxRate : p.VideoBitrate; }

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
  if (edit < 1 || edit > CustomEditCount) return false;
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
  if (IsModernCustomType(type)) {
    const std::string refusal = CustomQualityRefusal();
    if (!refusal.empty()) throw std::runtime_error(refusal);
    JobProfile = CustomProfile(type);
    JobExt = JobProfile.Extension;
    JobVideoCodec = JobProfile.Encoder;
    JobAudioCodec = JobProfile.AudioCodec;
  } else if (type >= 0 && type < ClassicTypeCount) {
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
  const int page = settingsPages.ActivePageIndex;
  const std::string refusal = page == spCustom ? CustomQualityRefusal() : "";
  if (!refusal.empty()) {
    view_.ShowMessage(refusal, mkError);
    return false;
  }
  // An entry the loaded libraries cannot encode is refused here, not as a failure of every row.
  const TComboBoxState* box = page == spPreset   ? &presetBox
                              : page == spDevice ? &modelBox
                              : page == spCustom ? &customTypeBox
                                                 : nullptr;
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

bool TWorkbench::IsModernCustomType(int type) { return type >= ClassicTypeCount && type < FileTypeCount - 1; }

std::string TWorkbench::CustomQualityRefusal() const {
  const int type = customTypeBox.ItemIndex;
  const std::string quality = TrimText(customQualityEdit.Text);
  if (!IsModernCustomType(type) || quality.empty()) return "";
  TQualityRange range{};
  try {
    range = QualityRange(TypeBaseProfile(type));
  } catch (const std::exception&) {
    return "";  // the type's item is disabled and says why
  }
  const int value = StrToIntDef(quality, -1);
  if (value >= range.Lowest && value <= range.Highest) return "";
  return QualityOutOfRangeText(quality, range.Lowest, range.Highest);
}

profile_rec TWorkbench::CustomProfile(int type) const {
  const TText* missing = SettingsPageMissing();
  if (missing && settingsPages.ActivePageIndex == spCustom) throw std::runtime_error(*missing);
  const int width = StrToIntDef(TrimText(customWidthEdit.Text), 0);
  const int height = StrToIntDef(TrimText(customHeightEdit.Text), 0);
  const int bitrate = StrToIntDef(TrimText(customBitrateEdit.Text), 0);
  const int rate = StrToIntDef(TrimText(customFrameRateEdit.Text), 0);
  TOutputOptions cropPad;
  ApplyCustomCropPad(cropPad);
  profile_rec p = IsModernCustomType(type) ? TypeBaseProfile(type) : profile_rec{};
  const auto from = CropPadFields(cropPad);
  const auto to = CropPadFields(p);
  for (size_t i = 0; i < to.size(); ++i) *to[i] = *from[i];
  if (!IsModernCustomType(type)) {
    if (type < 0 || type >= ClassicTypeCount) throw std::runtime_error(std::string(ChooseCustomTypeText));
    const TCustomType& t = CustomTypes[type];
    p.Type = FileTypeFolderName(FileTypeItems[type]);
    p.Extension = t.Ext;
    p.Encoder = t.VideoCodec;
    for (const char* c = t.VideoCodec; *c; ++c)
      p.VideoCodec += char(std::toupper(static_cast<unsigned char>(*c)));
    p.VideoBitrate = bitrate;
    p.Width = width;
    p.Height = height;
    p.FPS = rate;
    p.AudioCodec = t.AudioLabel;
    return p;
  }
  // The size typed is a box the picture fits in; 0 x 0 keeps the source's.
  p.Fit = "box";
  p.Width = width;
  p.Height = height;
  // The bit rate typed is the cap, in the place the type keeps its own; the buffer keeps its ratio.
  if (bitrate > 0 && p.MaxRate > 0) {
    p.BufSize = int(int64_t(p.BufSize) * bitrate / p.MaxRate);
    p.MaxRate = bitrate;
  } else if (bitrate > 0) {
    p.VideoBitrate = bitrate;
  }
  if (rate > 0) {
    p.FPS = 0;
    p.FPSCap = rate;
  }
  const std::string quality = TrimText(customQualityEdit.Text);
  if (!quality.empty()) p.Quality = StrToIntDef(quality, int(p.Quality));
  return p;
}

void TWorkbench::ShowCustomType(int previous) {
  for (int type = ClassicTypeCount; type < int(customTypeBox.Items.size()); ++type) {
    if (!IsModernCustomType(type)) continue;
    std::string reason;
    try {
      const profile_rec p = TypeBaseProfile(type);
      if (FirstAvailableEncoder(p.Encoder, [this](const std::string& name) {
            return HasEncoder(name);
          }).empty())
        reason = EncoderMissingText(p.Encoder);
    } catch (const std::exception& e) {
      reason = e.what();
    }
    customTypeBox.Items[size_t(type)].DisabledReason = reason;
  }
  const int type = customTypeBox.ItemIndex;
  const bool modern = IsModernCustomType(type);
  customQualityEdit.Enabled = customQualityLabel.Enabled = modern;
  // A cap of up to 99 Mbit/s; the classic rates keep their seven digits.
  customBitrateEdit.MaxLength = modern ? 8 : 7;
  customQualityEdit.Hint.clear();
  if (!modern) {
    customQualityEdit.Text.clear();
    if (IsModernCustomType(previous))
      for (int edit = 1; edit <= 4; ++edit) CustomEdit(edit).Text = CustomDefaults[edit - 1];
    return;
  }
  try {
    const profile_rec p = TypeBaseProfile(type);
    const TQualityRange range = QualityRange(p);
    customQualityEdit.Hint = QualityHintText(range.Lowest, range.Highest, FloatText(p.Quality));
    if (IsModernCustomType(previous)) return;
    // From a classic type: the type's own values, the source's size and the preset's caps.
    customWidthEdit.Text = customHeightEdit.Text = "0";
    customBitrateEdit.Text = std::to_string(VideoCap(p));
    customFrameRateEdit.Text = FloatText(p.FPSCap > 0 ? p.FPSCap : 60);
    customQualityEdit.Text.clear();
  } catch (const std::exception&) {
    // The item shows why it cannot be used.
  }
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
