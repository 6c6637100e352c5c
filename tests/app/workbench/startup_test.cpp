#include <gtest/gtest.h>

#include "app/workbench/workbench_test_support.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"

namespace ok::test {
namespace {

TEST(WorkbenchStartup, MissingConfigGivesDefaultsAndStoresTheOutputFolder) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  EXPECT_EQ(m.OutputFolder, h.Home() + "drive/输出视频");
  EXPECT_TRUE(DirectoryExists(m.OutputFolder));
  EXPECT_EQ(m.sComboEdit1.Text, m.OutputFolder);
  EXPECT_EQ(TIniFile(h.ConfigFile()).ReadString("savepath", "newfilepath", ""), m.OutputFolder);
  EXPECT_EQ(m.SkinName, "Topaz");
  EXPECT_EQ(m.Caption, "OstrelKalvexa V1.4");
  EXPECT_TRUE(h.View.Messages.empty());
}

}  // namespace
}  // namespace ok::test
