#include <gtest/gtest.h>

#include <array>

#include "app/workbench/workbench_test_support.h"

namespace ok::test {
namespace {

TEST(CustomPage, ControlsAndTheirLimits) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  EXPECT_FALSE(m.customValuesPanel.Visible);
  EXPECT_EQ(m.customTypeBox.Items.size(), 9u);
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

}  // namespace
}  // namespace ok::test
