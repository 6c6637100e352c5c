#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace ok {
namespace {

// GB 2312 codes, which GBK keeps: 中 D6D0, 文 CEC4, 输 CAE4, 出 B3F6.
const std::string kChineseUtf8 = "中文输出";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4\xCA\xE4\xB3\xF6";
const std::string kReplacement = "\xEF\xBF\xBD";

// Restores the process-wide code page after a test changed it.
class CodePageTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCodePage(TCodePage::Utf8); }
};

TEST_F(CodePageTest, ChineseTextRoundTripsThroughCp936) {
  bool lossless = false;
  EXPECT_EQ(Utf8ToPage(kChineseUtf8, TCodePage::Cp936, &lossless), kChineseGbk);
  EXPECT_TRUE(lossless);
  EXPECT_EQ(PageToUtf8(kChineseGbk, TCodePage::Cp936), kChineseUtf8);

  const std::string mixed = "D:\\输出视频\\clip_(new).mp4";
  EXPECT_EQ(PageToUtf8(Utf8ToPage(mixed, TCodePage::Cp936), TCodePage::Cp936), mixed);
}

TEST_F(CodePageTest, CharactersOutsideGbkBecomeQuestionMarks) {
  // Emoji and Hangul syllables are not in GBK (iconv -t CP936 refuses both).
  bool lossless = true;
  EXPECT_EQ(Utf8ToPage("a😀b", TCodePage::Cp936, &lossless), "a?b");
  EXPECT_FALSE(lossless);

  lossless = true;
  EXPECT_EQ(Utf8ToPage("中한文", TCodePage::Cp936, &lossless), "\xD6\xD0?\xCE\xC4");
  EXPECT_FALSE(lossless);

  // Bopomofo is in GBK: no loss there.
  lossless = false;
  EXPECT_EQ(PageToUtf8(Utf8ToPage("ㄅ", TCodePage::Cp936, &lossless), TCodePage::Cp936), "ㄅ");
  EXPECT_TRUE(lossless);
}

TEST_F(CodePageTest, MalformedUtf8InputIsNotPassedOn) {
  bool lossless = true;
  EXPECT_EQ(Utf8ToPage("a\xFF"
                       "b",
                       TCodePage::Cp936, &lossless),
            "a?b");
  EXPECT_FALSE(lossless);

  lossless = true;
  EXPECT_EQ(Utf8ToPage("a\xC3", TCodePage::Utf8, &lossless), "a?");
  EXPECT_FALSE(lossless);

  lossless = false;
  EXPECT_EQ(Utf8ToPage("é中", TCodePage::Utf8, &lossless), "é中");
  EXPECT_TRUE(lossless);
}

TEST_F(CodePageTest, UndecodableBytesBecomeReplacementCharacters) {
  EXPECT_EQ(PageToUtf8("a\xFF"
                       "b",
                       TCodePage::Cp936),
            "a" + kReplacement + "b");
  // A lead byte cut off at the end of the text.
  EXPECT_EQ(PageToUtf8("\xD6\xD0\xCE", TCodePage::Cp936), "中" + kReplacement);
  // A lead byte followed by a byte that cannot trail: the second byte still counts on its own.
  EXPECT_EQ(PageToUtf8("\xD6\x30", TCodePage::Cp936), kReplacement + "0");

  EXPECT_EQ(PageToUtf8("x\xC0\xAFy", TCodePage::Utf8), "x" + kReplacement + kReplacement + "y");
}

TEST_F(CodePageTest, ProcessSettingSelectsThePage) {
  EXPECT_EQ(CurrentCodePage(), TCodePage::Utf8);
  EXPECT_EQ(ToCodePage(kChineseUtf8), kChineseUtf8);

  SetCodePage(TCodePage::Cp936);
  EXPECT_EQ(CurrentCodePage(), TCodePage::Cp936);
  bool lossless = false;
  EXPECT_EQ(ToCodePage(kChineseUtf8, &lossless), kChineseGbk);
  EXPECT_TRUE(lossless);
  EXPECT_EQ(FromCodePage(kChineseGbk), kChineseUtf8);
}

TEST_F(CodePageTest, ConversionsOnManyThreadsDoNotDisturbEachOther) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if (Utf8ToPage(kChineseUtf8, TCodePage::Cp936) != kChineseGbk) ++failures[t];
        if (PageToUtf8(kChineseGbk + "\xFF", TCodePage::Cp936) != kChineseUtf8 + kReplacement) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST(Utf8Validation, RejectsIllFormedSequences) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain ascii"));
  EXPECT_TRUE(IsValidUtf8("中文😀\xF4\x8F\xBF\xBF"));  // U+10FFFF is the last code point

  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\x80"));              // lone continuation byte
  EXPECT_FALSE(IsValidUtf8(kChineseGbk));
}

struct TWidthCase {
  std::string Text;
  size_t Width;
  size_t Columns;   // a cut at this many columns
  std::string Cut;  // gives this
};

// Columns a terminal gives the text, whatever the process's locale ("C" in the tests).
TEST(DisplayWidth, CountsColumnsNotCharacters) {
  const std::vector<TWidthCase> cases = {
      {"abc", 3, 2, "ab"},
      {kChineseUtf8, 8, 5, "中文"},              // two columns each: a half character is not cut
      {"e\xCC\x81t", 2, 1, "e\xCC\x81"},         // a combining accent takes none
      {"a\x80" + kChineseUtf8, 10, 2, "a\x80"},  // a stray byte takes one
      {"", 0, 3, ""},
  };
  for (const TWidthCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(DisplayWidth(c.Text), c.Width);
    EXPECT_EQ(CutToWidth(c.Text, c.Columns), c.Cut);
  }
}

}  // namespace
}  // namespace ok
