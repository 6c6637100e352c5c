// The interface's language: chosen from the environment's variables (not from the locales the
// machine has), English from the catalogue, and an English name for every name the catalogue shows.

#include "platform/translation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/workbench/profile_catalogue.h"
#include "app/workbench/workbench_texts.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

// The four variables for one case; LANGUAGE is scoped too, since English sets it.
struct TLanguageEnv {
  TLanguageEnv(const char* language, const char* all, const char* messages, const char* lang)
      : Language("LANGUAGE", language),
        All("LC_ALL", all),
        Messages("LC_MESSAGES", messages),
        Lang("LANG", lang) {}
  TScopedEnv Language, All, Messages, Lang;
};

class TranslationTest : public ::testing::Test {
 protected:
  // The other tests see the source texts: Chinese is chosen again before the variables return.
  void TearDown() override {
    TLanguageEnv chinese("", "", "", "zh_CN.UTF-8");
    SetUpTranslation();
  }
};

TEST_F(TranslationTest, TheFirstVariableSetChoosesChinese) {
  struct {
    const char *Language, *All, *Messages, *Lang;
    bool Chinese;
  } cases[] = {
      {"", "", "", "zh_CN.UTF-8", true},
      {"", "", "", "zh_TW", true},
      {"", "", "", "en_US.UTF-8", false},
      {"", "", "", "C", false},
      {"", "", "", "", false},
      {"", "C", "", "zh_CN.UTF-8", false},
      {"", "", "zh_CN.UTF-8", "en_US.UTF-8", true},
      {"zh_CN:en", "", "", "C.UTF-8", true},
      {"en:zh_CN", "zh_CN.UTF-8", "", "", false},
      {"", "POSIX", "", "", false},
  };
  for (const auto& c : cases) {
    TLanguageEnv env(c.Language, c.All, c.Messages, c.Lang);
    EXPECT_EQ(ChineseWanted(), c.Chinese) << c.Language << "|" << c.All << "|" << c.Messages << "|" << c.Lang;
  }
}

TEST_F(TranslationTest, EnglishComesFromTheCatalogueUnderAnyOtherLocale) {
  struct {
    const char* Lang;
    const char* Start;
    const char* Folder;
  } cases[] = {{"zh_CN.UTF-8", "开始(&S)", "未能创建 /x 目录！"},
               {"en_US.UTF-8", "&Start", "Could not create the folder /x!"},  // never generated here
               {"C", "&Start", "Could not create the folder /x!"}};
  for (const auto& c : cases) {
    TLanguageEnv env("", "", "", c.Lang);
    SetUpTranslation();
    EXPECT_EQ(std::string(StartCaption), c.Start) << c.Lang;
    EXPECT_EQ(CannotCreateFolderText("/x"), c.Folder) << c.Lang;
  }
}

TEST_F(TranslationTest, EveryNameTheCatalogueShowsHasItsEnglish) {
  TLanguageEnv env("", "", "", "en_US.UTF-8");
  SetUpTranslation();
  ASSERT_TRUE(EnglishChosen());
  std::vector<std::string> names(std::begin(FileTypeItems), std::end(FileTypeItems));
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(SourceDir()) / "profiles"))
    names.push_back(entry.is_directory() ? entry.path().filename().string() : entry.path().stem().string());
  for (const std::string& name : names) {
    const bool ascii = std::all_of(name.begin(), name.end(), [](char ch) { return (ch & 0x80) == 0; });
    if (!ascii) {
      EXPECT_NE(Tr(name), name) << "no English for " << name;
    }
  }
}

}  // namespace
}  // namespace ok::test
