// The size limit in the model: its controls read as a limit, kept in the settings, and the rows'
// expected sizes before Start, down to a limit refused before anything is written.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "model_test_support.h"

namespace ok::test {
namespace {

class SizeLimitModelTest : public ModelTest {};

struct TLimitCase {
  bool Checked;
  const char* Text;
  int Unit;       // 0 KB, 1 MB, 2 GB
  int64_t Bytes;  // 0: no limit applies
};

TEST_F(SizeLimitModelTest, ControlsReadAsALimitAndAreKept) {
  model->OnCreate();
  for (const TLimitCase& c :
       {TLimitCase{true, "25", 1, 25000000}, TLimitCase{true, " 1.5 ", 2, 1500000000},
        TLimitCase{true, "800", 0, 800000}, TLimitCase{false, "25", 1, 0}, TLimitCase{true, "25MB", 1, 0},
        TLimitCase{true, "0", 1, 0}, TLimitCase{true, "", 1, 0}}) {
    SCOPED_TRACE(c.Text);
    model->OnSizeLimitCheckBoxClicked(c.Checked);
    model->OnSizeLimitEdited(c.Text);
    model->OnSizeLimitUnitChanged(c.Unit);
    EXPECT_EQ(model->sizeLimitEdit.Enabled, c.Checked);
    TSizeLimit limit;
    EXPECT_EQ(model->ActiveSizeLimit(limit), c.Bytes > 0);
    if (c.Bytes > 0) {
      EXPECT_EQ(limit.Bytes, c.Bytes);
    }
  }
  // The last choice comes back with the next window.
  model->OnSizeLimitEdited("1.5");
  model->OnSizeLimitUnitChanged(2);
  TFakeView otherView;
  TWorkbench next(otherView, TWorkbenchEnvironment{&shutdown, &loop});
  next.OnCreate();
  EXPECT_TRUE(next.sizeLimitCheckBox.Checked);
  EXPECT_EQ(next.sizeLimitEdit.Text, "1.5");
  EXPECT_EQ(next.sizeLimitUnitBox.Text(), "GB");
}

TEST_F(SizeLimitModelTest, RowsShowTheSizeAimedAtAndAnUnreachableLimitWritesNothing) {
  model->AddFiles({SmallClip()});
  ASSERT_EQ(model->Sources.size(), 1u);
  model->settingsPages.ActivePageIndex = spPreset;  // MP4 320x240 at 384 kbit/s
  model->fileTypeBox.ItemIndex = 1;
  model->presetBox.ItemIndex = 0;
  model->OnSizeLimitEdited("30");
  model->OnSizeLimitUnitChanged(0);
  EXPECT_EQ(Progress(0).rfind("预计 ", 0), 0u) << Progress(0);
  const std::string own = Progress(0);

  // The second's job needs more than 30 KB: the row aims just under the limit.
  model->OnSizeLimitCheckBoxClicked(true);
  ASSERT_EQ(Progress(0).rfind("预计 ", 0), 0u) << Progress(0);
  EXPECT_NE(Progress(0), own);
  const double aimed = std::atof(Progress(0).c_str() + std::string("预计 ").size());
  EXPECT_LE(aimed, 30);
  EXPECT_GE(aimed, 30 * 0.85);
  EXPECT_NE(Progress(0).find(" KB"), std::string::npos);

  // Even the smallest frame with mono audio needs more than 1 KB: refused at Start, no file.
  model->OnSizeLimitEdited("1");
  EXPECT_EQ(Progress(0).rfind("至少需要 ", 0), 0u) << Progress(0);
  model->OnStartClicked();
  EXPECT_FALSE(model->Running());
  EXPECT_EQ(model->Sources[0].State, rsFailed);
  EXPECT_NE(model->Sources[0].FailureText.find("至少需要 "), std::string::npos)
      << model->Sources[0].FailureText;
  EXPECT_TRUE(std::filesystem::is_empty(tmp / "out"));
  ASSERT_EQ(view.Messages.size(), 1u);
  EXPECT_EQ(view.Messages[0].Kind, mkWarning);
}

}  // namespace
}  // namespace ok::test
