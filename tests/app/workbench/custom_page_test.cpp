#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

#include "app/workbench/custom_preset.h"
#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench_test_support.h"
#include "platform/file_utils.h"
#include "platform/program_folder.h"

namespace ok::test {
namespace {

TEST(CustomPage, ControlsAndTheirLimits) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  EXPECT_FALSE(m.customValuesPanel.Visible);
  EXPECT_EQ(m.customTypeBox.Items.size(), 13u);  // the remux type has nothing to type
  EXPECT_EQ(m.customTypeBox.ItemIndex, 0);
  const int maxLength[12] = {4, 4, 7, 2, 4, 4, 4, 4, 4, 4, 4, 4};
  const char* text[4] = {"220", "176", "38400", "15"};
  for (int edit = 1; edit <= 12; ++edit) {
    EXPECT_EQ(m.CustomEdit(edit).MaxLength, maxLength[edit - 1]) << edit;
    EXPECT_EQ(m.CustomEdit(edit).Text, edit <= 4 ? text[edit - 1] : "") << edit;
    EXPECT_EQ(m.CustomEdit(edit).Enabled, edit <= 4) << edit;
  }
  EXPECT_TRUE(m.cropPadGroup.Visible);
  EXPECT_TRUE(m.cropPadGroup.Enabled);
}

TEST(CustomPage, KeyFilterTakesDigitsAndBackspaceOnly) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  for (char key : std::string("0123456789\b")) EXPECT_TRUE(m.OnCustomEditKeyPress(1, key)) << int(key);
  EXPECT_EQ(h.View.Beeps, 0);
  for (char key : std::string("a-. x\t")) EXPECT_FALSE(m.OnCustomEditKeyPress(3, key)) << int(key);
  EXPECT_EQ(h.View.Beeps, 6);

  struct TCase {
    int Edit;
    std::string Text;
    bool Taken;
  };
  const TCase cases[] = {{3, "9999999", true}, {3, "10000000", false}, {4, "99", true}, {4, "100", false},
                         {1, "12a", false},    {1, " 12", false},      {2, "", true},   {12, "0008", true}};
  for (const TCase& c : cases) {
    const std::string before = m.CustomEdit(c.Edit).Text;
    const int beeps = h.View.Beeps;
    EXPECT_EQ(m.SetCustomEditText(c.Edit, c.Text), c.Taken) << c.Edit << " '" << c.Text << "'";
    EXPECT_EQ(m.CustomEdit(c.Edit).Text, c.Taken ? c.Text : before);
    EXPECT_EQ(h.View.Beeps, beeps + (c.Taken ? 0 : 1));
  }
}

TEST(CustomPage, MessagesStopTheBranchAndKeepTheJobValues) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  m.FillPresetParams(spPreset, 4, 0);  // wmv2
  m.FillPresetParams(spCustom, 1, 0);
  EXPECT_EQ(h.View.MessageTexts(), std::vector<std::string>{"请设定对应视频参数！"});
  EXPECT_EQ(h.View.Messages[0].Kind, mkError);
  EXPECT_EQ(m.JobVideoCodec, "wmv2");

  m.OnApplyCustomClicked();
  struct TCase {
    int Edit;
    std::string Message;
  };
  for (const TCase& c : {TCase{1, "请设定输入视频尺寸！"}, TCase{2, "请设定输入视频尺寸！"},
                         TCase{3, "请输入视频比特率！"}, TCase{4, "请输入帧速率！"}}) {
    h.View.Messages.clear();
    const std::string saved = m.CustomEdit(c.Edit).Text;
    m.CustomEdit(c.Edit).Text = "  ";
    m.FillPresetParams(spCustom, 1, 0);
    EXPECT_EQ(h.View.MessageTexts(), std::vector<std::string>{c.Message});
    EXPECT_EQ(m.JobVideoCodec, "wmv2");
    EXPECT_TRUE(m.JobAudioCodec.empty());
    m.CustomEdit(c.Edit).Text = saved;
  }
}

TEST(CustomPage, TypesGiveExtensionAndCodec) {
  TWorkbenchHarness h;
  TWorkbench& m = h.NewModel();
  m.OnApplyCustomClicked();
  // The audio codec follows the type: one its container takes.
  const std::array<std::string, 3> expected[9] = {
      {".3gp", "mpeg4", "libfaac"}, {".mp4", "avc", "libfaac"},    {".avi", "mpeg4", "libmp3lame"},
      {".mpeg", "mpeg4", "mp2"},    {".wmv", "wmv2", "wmav2"},     {".rm20", "rv20", "ac3"},
      {".mov", "mpeg4", "libfaac"}, {".mkv", "avc", "libmp3lame"}, {".flv", "flv", "libmp3lame"}};
  for (int type = 0; type < 9; ++type) {
    m.FillPresetParams(spPreset, 4, 0);  // the previous job's codec must not carry over
    m.FillPresetParams(spCustom, type, 0);
    EXPECT_EQ(m.JobExt, expected[type][0]) << type;
    EXPECT_EQ(m.JobVideoCodec, expected[type][1]) << type;
    EXPECT_EQ(m.JobAudioCodec, expected[type][2]) << type;
    EXPECT_EQ(m.JobFrameSize, "220x176");
    EXPECT_EQ(m.JobVideoBitrate, 38400);
    EXPECT_EQ(m.JobFrameRate, 15);
  }
  m.customWidthEdit.Text = " 640 ";
  m.customBitrateEdit.Text = "9999999";
  m.customFrameRateEdit.Text = "99";
  m.FillPresetParams(spCustom, 0, 0);
  EXPECT_EQ(m.JobFrameSize, "640x176");
  EXPECT_EQ(m.JobVideoBitrate, 9999999);
  EXPECT_EQ(m.JobFrameRate, 99);
  EXPECT_TRUE(h.View.Messages.empty());
}

TEST(CustomPage, CropAndPadReachTheOptionsTruncatedToEven) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  TOutputOptions untouched;
  m.cropTopEdit.Text = "5";
  m.ApplyCustomCropPad(untouched);  // unchecked groups give nothing
  EXPECT_EQ(untouched.CropTop, -1);
  EXPECT_EQ(untouched.PadTop, -1);

  m.OnCropCheckBoxClicked(true);
  m.OnPadCheckBoxClicked(true);
  const char* texts[8] = {"5", "", "8", "1", "0", "13", "22", "3"};
  for (int i = 0; i < 8; ++i) m.CustomEdit(5 + i).Text = texts[i];
  TOutputOptions o;
  o.PadTop = 30;  // from the picture fitting: replaced
  m.ApplyCustomCropPad(o);
  EXPECT_EQ((std::vector<int>{o.CropTop, o.CropBottom, o.CropLeft, o.CropRight}),
            (std::vector<int>{4, 0, 8, 0}));
  EXPECT_EQ((std::vector<int>{o.PadTop, o.PadBottom, o.PadLeft, o.PadRight}),
            (std::vector<int>{0, 12, 22, 2}));
}

// What a job does, field by field, for comparing two jobs.
std::string JobText(const TOutputOptions& o) {
  std::ostringstream text;
  text << o.FileName << "|" << o.VideoCodec << "|" << o.AudioCodec << "|" << o.FrameSize << "|" << o.FrameRate
       << "|" << o.FrameAspectRatio << "|" << o.VideoBitrate << "|" << o.VideoMaxRate << "|" << o.VideoBufSize
       << "|" << o.PadTop << "," << o.PadBottom << "," << o.PadLeft << "," << o.PadRight << "|" << o.CropTop
       << "," << o.CropLeft << "|" << o.AudioBitrate << "|" << o.AudioChannels << "|" << o.AudioSampleRate
       << "|" << o.VideoTag << "|" << o.ExtraOptions;
  return text.str();
}

// A model on the custom page with one 1920x1080 59.94 fps source with 5.1 audio in its list.
TWorkbench& CustomModel(TWorkbenchHarness& h) {
  TWorkbench& m = h.NewModel();
  TSourceRow source;
  source.Path = h.Home() + "film.mkv";
  source.Width = source.DisplayWidth = 1920;
  source.Height = source.DisplayHeight = 1080;
  source.FrameRateNum = 60000;
  source.FrameRateDen = 1001;
  source.BitDepth = 8;
  source.AudioChannels = 6;
  m.Sources = {source};
  m.sourceList.Rows.resize(1);
  m.outputFolderEdit.Text = h.Home() + "out";
  m.OnSettingsPageChanged(spCustom);
  m.OnApplyCustomClicked();
  return m;
}

void TypeValues(TWorkbench& m, int type, std::array<const char*, 5> values) {
  m.SelectCustomType(type);
  for (int edit = 1; edit <= 4; ++edit) m.CustomEdit(edit).Text = values[size_t(edit - 1)];
  m.customQualityEdit.Text = values[4];
}

TEST(CustomPage, QualityTypesBuildTheirPresetsJobWithTheValuesTyped) {
  TWorkbenchHarness h;
  TWorkbench& m = CustomModel(h);
  // Choosing one from a classic type shows its own values: the source's size and its caps.
  m.SelectCustomType(10);
  EXPECT_EQ((std::array{m.customWidthEdit.Text, m.customHeightEdit.Text, m.customBitrateEdit.Text,
                        m.customFrameRateEdit.Text, m.customQualityEdit.Text}),
            (std::array<std::string, 5>{"0", "0", "24000000", "60", ""}));
  EXPECT_TRUE(m.customQualityEdit.Enabled);
  EXPECT_EQ(m.customBitrateEdit.MaxLength, 8);

  struct TCase {
    int Type;
    std::array<const char*, 5> Values;  // width, height, bit rate, frame rate, quality
    const char *Codec, *Audio, *Size, *Rate, *Crf, *Suffix;
    int MaxRate, BufSize, Bitrate;
  };
  const TCase cases[] = {
      // 0 x 0 keeps the size; the source's 59.94 stays under the cap of 60; empty quality: the preset's.
      {9,
       {"0", "0", "0", "0", ""},
       "libx264",
       "aac",
       "1920x1080",
       "",
       "crf=22\n",
       ".mp4",
       40000000,
       80000000,
       -1},
      // A box, never enlarged, a cap of 30 halves the rate, a quality and a cap of the user's.
      {10,
       {"1280", "1280", "6000000", "30", "28"},
       "libx265",
       "aac",
       "1280x720",
       "30000/1001",
       "crf=28\n",
       ".mp4",
       6000000,
       12000000,
       -1},
      {9,
       {"3840", "2160", "9000000", "60", "0"},
       "libx264",
       "aac",
       "1920x1080",
       "",
       "crf=0\n",
       ".mp4",
       9000000,
       18000000,
       -1},
      // VP9 caps by its bit rate (constrained quality).
      {11,
       {"640", "360", "1500000", "25", "40"},
       "libvpx-vp9",
       "libopus",
       "640x360",
       "20000/1001",
       "crf=40\n",
       ".webm",
       -1,
       -1,
       1500000},
      {12,
       {"0", "0", "0", "24", "63"},
       "libsvtav1",
       "libopus",
       "1920x1080",
       "20000/1001",
       "crf=63\n",
       ".mkv",
       20000000,
       40000000,
       -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.Type) + " quality '" + c.Values[4] + "'");
    TypeValues(m, c.Type, c.Values);
    ASSERT_TRUE(m.CheckSettingsPage());
    const TOutputOptions o = m.BuildOutputOptions(0);
    EXPECT_EQ(o.VideoCodec, c.Codec);
    EXPECT_EQ(o.AudioCodec, c.Audio);
    EXPECT_EQ(o.AudioChannels, 2);  // the 5.1 source mixed down, as the type's presets do
    EXPECT_EQ(o.FrameSize, c.Size);
    EXPECT_EQ(o.FrameRate, c.Rate);
    EXPECT_NE(o.ExtraOptions.find(c.Crf), std::string::npos) << o.ExtraOptions;
    EXPECT_EQ(o.FileExt, c.Suffix);
    EXPECT_EQ(o.VideoMaxRate, c.MaxRate);
    EXPECT_EQ(o.VideoBufSize, c.BufSize);
    EXPECT_EQ(o.VideoBitrate, c.Bitrate);
  }

  // Crop and pad: the cropped picture fits in what the pads leave of the box; the engine gets the
  // picture plus the crop, and the pads around it.
  TypeValues(m, 9, {"1280", "720", "0", "0", ""});
  m.OnCropCheckBoxClicked(true);
  m.OnPadCheckBoxClicked(true);
  for (int edit = 5; edit <= 12; ++edit) m.CustomEdit(edit).Text = "";
  m.cropLeftEdit.Text = m.cropRightEdit.Text = "240";  // 1440x1080 left, 4:3
  m.padTopEdit.Text = m.padBottomEdit.Text = "40";
  const TOutputOptions o = m.BuildOutputOptions(0);
  EXPECT_EQ(o.FrameSize, "1332x640");  // 852x640 fitted in 1280x640, plus the 480 cropped
  EXPECT_EQ((std::array{o.CropLeft, o.CropRight, o.PadTop, o.PadBottom, o.PadLeft}),
            (std::array{240, 240, 40, 40, 0}));
  EXPECT_EQ(o.FrameAspectRatio, "852:720");
  m.padTopEdit.Text = "720";
  EXPECT_THROW(m.BuildOutputOptions(0), std::runtime_error);  // no picture left in the box
}

TEST(CustomPage, QualityOutOfRangeAndMissingEncodersAreRefusedBeforeStart) {
  TWorkbenchHarness h;
  const std::vector<std::string> encoders = {"libx264", "libvpx-vp9"};
  h.Encoders = &encoders;
  TWorkbench& m = CustomModel(h);
  EXPECT_FALSE(m.customQualityEdit.Enabled);  // a classic type has no quality
  EXPECT_EQ(m.customBitrateEdit.MaxLength, 7);
  const std::array<std::string, 4> reasons = {
      "", "已加载的 FFmpeg 没有 libx265 编码器，不能使用此方案", "",
      "已加载的 FFmpeg 没有 libsvtav1,libaom-av1 编码器，不能使用此方案"};
  for (int type = 9; type <= 12; ++type)
    EXPECT_EQ(m.customTypeBox.Items[size_t(type)].DisabledReason, reasons[size_t(type - 9)]) << type;

  struct TCase {
    int Type;
    const char* Quality;
    std::string Message;  // "" when taken
  };
  const TCase cases[] = {
      {9, "51", ""},        {9, "52", "质量 52 超出范围，此类型只能用 0 到 51！"},
      {11, "63", ""},       {11, "64", "质量 64 超出范围，此类型只能用 0 到 63！"},
      {10, "", reasons[1]}, {12, "30", reasons[3]},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Type) + " '" + c.Quality + "'");
    m.SelectCustomType(c.Type);
    m.customQualityEdit.Text = c.Quality;
    h.View.Messages.clear();
    EXPECT_EQ(m.CheckSettingsPage(), c.Message.empty());
    EXPECT_EQ(h.View.MessageTexts(),
              c.Message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Message});
  }
  // Back to a classic type: its own values again, and its job as before.
  m.SelectCustomType(1);
  EXPECT_EQ(m.customWidthEdit.Text, "220");
  EXPECT_EQ(m.customQualityEdit.Text, "");
  EXPECT_EQ(m.BuildOutputOptions(0).VideoCodec, "avc");
}

TEST(CustomPage, SavedPresetReadsBackAsTheSameJob) {
  TWorkbenchHarness h;
  TWorkbench& m = CustomModel(h);
  struct TCase {
    int Type;
    std::array<const char*, 5> Values;
    std::array<const char*, 8> CropPad;  // "" leaves the side alone
  };
  for (const TCase& c :
       {// MPEG: MPEG-2 audio, pads inside the frame.
        TCase{3, {"640", "480", "1500000", "25", ""}, {"", "", "", "", "", "", "20", "20"}},
        TCase{11, {"1280", "720", "3000000", "30", "36"}, {"", "", "240", "240", "40", "40", "", ""}},
        TCase{12, {"0", "0", "0", "0", ""}, {}}}) {
    SCOPED_TRACE(c.Type);
    m.OnSettingsPageChanged(spCustom);
    m.OnApplyCustomClicked();
    TypeValues(m, c.Type, c.Values);
    m.OnCropCheckBoxClicked(c.CropPad[0] != nullptr);
    m.OnPadCheckBoxClicked(c.CropPad[0] != nullptr);
    for (int edit = 5; edit <= 12; ++edit)
      m.CustomEdit(edit).Text = c.CropPad[size_t(edit - 5)] ? c.CropPad[size_t(edit - 5)] : "";
    const std::string custom = JobText(m.BuildOutputOptions(0));
    h.View.TextAnswer = " mine ";
    h.View.Messages.clear();
    m.OnSaveCustomPresetClicked();
    const std::string file = UserPresetFolder(c.Type) + "mine.ini";
    ASSERT_TRUE(FileExists(file)) << h.View.MessageTexts().at(0);
    EXPECT_EQ(h.View.Messages.back().Kind, mkInformation);

    m.OnSettingsPageChanged(spPreset);
    m.SelectFileType(c.Type);
    const auto at = std::find(m.PresetFiles.begin(), m.PresetFiles.end(), file);
    ASSERT_NE(at, m.PresetFiles.end());
    m.SelectPreset(int(at - m.PresetFiles.begin()));
    EXPECT_EQ(JobText(m.BuildOutputOptions(0)), custom);
  }

  // Names: empty or with "/" refused, an existing one replaced only when the user agrees.
  m.OnSettingsPageChanged(spCustom);
  m.OnApplyCustomClicked();
  const std::string file = UserPresetFolder(3) + "mine.ini";
  std::string before;
  ASSERT_TRUE(ReadFileBytes(file, before));
  TypeValues(m, 3, {"320", "240", "800000", "25", ""});
  for (const char* name : {"  ", "a/b", ".."}) {
    h.View.TextAnswer = name;
    h.View.Messages.clear();
    m.OnSaveCustomPresetClicked();
    ASSERT_EQ(h.View.Messages.size(), 1u) << name;
    EXPECT_EQ(h.View.Messages[0].Kind, mkError);
  }
  h.View.TextAnswer = "mine";
  h.View.YesNoAnswer = false;
  h.View.Questions.clear();
  m.OnSaveCustomPresetClicked();
  EXPECT_EQ(h.View.Questions.back(), "预置方案“mine”已经存在，是否替换？");
  std::string after;
  ASSERT_TRUE(ReadFileBytes(file, after));
  EXPECT_EQ(after, before);
  h.View.YesNoAnswer = true;
  m.OnSaveCustomPresetClicked();
  ASSERT_TRUE(ReadFileBytes(file, after));
  EXPECT_NE(after.find("Width=320"), std::string::npos) << after;
  EXPECT_EQ(ReadProfile(file).VideoBitrate, 800000);
}

}  // namespace
}  // namespace ok::test
