#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "platform/code_page.h"
#include "platform/file_utils.h"
#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::string content;
  ReadFileBytes(path, content);
  return content;
}

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class IniFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name = "config.ini") const { return dir_ / name; }
  ok::test::TempDir dir_;
};

TEST_F(IniFileTest, MissingFileReadsAsDefaultsAndIsNotCreated) {
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("savepath", "newfilepath", "D:/def"), "D:/def");
  EXPECT_EQ(ini.ReadInteger("select", "tabindex", 3), 3);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("video", "FPS", 2.5), 2.5);
  EXPECT_FALSE(ini.SectionExists("select"));
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_TRUE(ini.ReadSection("select").empty());
  EXPECT_FALSE(fs::exists(Path()));
}

TEST_F(IniFileTest, NamesIgnoreCaseAndBlanks) {
  WriteBytes(Path(), "  [ SavePath ]  \n\tNewFilePath  =  /home/u/输出视频  \n[skin]\nname=WLM\n");
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("savepath", "newfilepath", ""), "/home/u/输出视频");
  EXPECT_EQ(ini.ReadString("SAVEPATH", " NEWFILEPATH ", ""), "/home/u/输出视频");
  EXPECT_EQ(ini.ReadString("Skin", "Name", ""), "WLM");
  EXPECT_EQ(ini.ReadString("skin", "newfilepath", "none"), "none");  // keys belong to their section
  EXPECT_TRUE(ini.SectionExists("SKIN"));
  EXPECT_TRUE(ini.ValueExists("skin", "NAME"));
  EXPECT_FALSE(ini.ValueExists("skin", "size"));
}

TEST_F(IniFileTest, CommentsAndOtherLinesAreNotKeys) {
  WriteBytes(Path(), "; name=commented\n[skin]\n;name=Old\n  ; colour=1\nno equals sign\nname=Topaz\n");
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("skin", "name", ""), "Topaz");
  EXPECT_EQ(ini.ReadSection("skin"), std::vector<std::string>{"name"});
}

TEST_F(IniFileTest, ListsInFileOrderWithTheFirstOccurrenceCounting) {
  WriteBytes(Path(), "[select]\ncombobox2=1\ncombobox1=0\nCOMBOBOX2=7\n[skin]\n[SELECT]\ntabindex=2\n");
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"select", "skin"}));
  EXPECT_EQ(ini.ReadSection("Select"), (std::vector<std::string>{"combobox2", "combobox1"}));
  EXPECT_EQ(ini.ReadInteger("select", "combobox2", 0), 1);
  EXPECT_TRUE(ini.SectionExists("skin"));
  EXPECT_TRUE(ini.ReadSection("skin").empty());
}

TEST_F(IniFileTest, IntegersThatDoNotReadAsNumbersGiveTheDefault) {
  WriteBytes(Path(),
             "[n]\nplain=42\nneg=-7\nplus=+7\nspaced=  12  \ntext=abc\ntrailing=12abc\nfloat=1.5\nempty=\n"
             "huge=99999999999\nhex=0x10\nsigns=+-3\nquoted=\"5\"\n");
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadInteger("n", "plain", -1), 42);
  EXPECT_EQ(ini.ReadInteger("n", "neg", -1), -7);
  EXPECT_EQ(ini.ReadInteger("n", "plus", -1), 7);
  EXPECT_EQ(ini.ReadInteger("n", "spaced", -1), 12);
  EXPECT_EQ(ini.ReadInteger("n", "quoted", -1), 5);
  for (const char* key : {"text", "trailing", "float", "empty", "huge", "hex", "signs", "absent"})
    EXPECT_EQ(ini.ReadInteger("n", key, -1), -1) << key;
}

TEST_F(IniFileTest, FloatsUseTheDotAsSeparator) {
  WriteBytes(Path(),
             "[video]\nFPS=29.97\nAspectRatio=1.3333\nWhole=25\nExp=1e3\nComma=29,97\nNan=nan\nInf=inf\n");
  const TIniFile ini(Path());
  EXPECT_DOUBLE_EQ(ini.ReadFloat("video", "FPS", 0), 29.97);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("video", "AspectRatio", 0), 1.3333);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("video", "Whole", 0), 25);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("video", "Exp", 0), 1000);
  for (const char* key : {"Comma", "Nan", "Inf"})
    EXPECT_DOUBLE_EQ(ini.ReadFloat("video", key, -1), -1) << key;
}

TEST_F(IniFileTest, NewFileIsUtf8WithPlainLineEnds) {
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("savepath", "newfilepath", "/home/u/输出视频"));
  ASSERT_TRUE(ini.WriteInteger("select", "tabindex", 2));
  EXPECT_EQ(ReadBytes(Path()), "[savepath]\nnewfilepath=/home/u/输出视频\n\n[select]\ntabindex=2\n");
  EXPECT_EQ(ini.ReadString("savepath", "newfilepath", ""), "/home/u/输出视频");
  EXPECT_EQ(ini.ReadInteger("select", "tabindex", 0), 2);
}

TEST_F(IniFileTest, WritingOneKeyKeepsEveryOtherLine) {
  const std::string before =
      "; settings of the converter\n[savepath]\n  newfilepath = /old\n\n; "
      "selections\n[select]\ncombobox1=1\n";
  WriteBytes(Path(), before);
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("SavePath", "NEWFILEPATH", "/new"));
  EXPECT_EQ(ReadBytes(Path()),
            "; settings of the converter\n[savepath]\n  newfilepath = /new\n\n; "
            "selections\n[select]\ncombobox1=1\n");

  // A new key goes after the section's last key, before the blank line and comment that follow.
  ASSERT_TRUE(ini.WriteString("savepath", "extra", "1"));
  EXPECT_EQ(
      ReadBytes(Path()),
      "; settings of the converter\n[savepath]\n  newfilepath = /new\nextra=1\n\n; selections\n[select]\n"
      "combobox1=1\n");
}

TEST_F(IniFileTest, CrlfFileStaysCrlf) {
  WriteBytes(Path(), "[select]\r\ncombobox1=0\r\n[skin]\r\nname=Topaz");
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteInteger("select", "combobox1", 4));
  ASSERT_TRUE(ini.WriteInteger("select", "combobox2", 5));
  ASSERT_TRUE(ini.WriteString("skin", "size", "big"));
  ASSERT_TRUE(ini.WriteString("savepath", "newfilepath", "/v"));
  EXPECT_EQ(ReadBytes(Path()),
            "[select]\r\ncombobox1=4\r\ncombobox2=5\r\n[skin]\r\nname=Topaz\r\nsize=big\r\n\r\n[savepath]\r\n"
            "newfilepath=/v\r\n");
}

TEST_F(IniFileTest, Cp936FileStaysCp936) {
  const std::string untouched = Utf8ToPage("[mediatype]\r\nType=手机视频\r\n", TCodePage::Cp936);
  const std::string original =
      untouched + Utf8ToPage("[savepath]\r\nnewfilepath=D:\\输出视频\r\n", TCodePage::Cp936);
  ASSERT_FALSE(IsValidUtf8(original));
  WriteBytes(Path(), original);

  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("mediatype", "Type", ""), "手机视频");
  EXPECT_EQ(ini.ReadString("savepath", "newfilepath", ""), "D:\\输出视频");

  ASSERT_TRUE(ini.WriteString("savepath", "newfilepath", "/home/用户/视频"));
  ASSERT_TRUE(ini.WriteInteger("select", "combobox1", 1));
  const std::string after = ReadBytes(Path());
  EXPECT_FALSE(IsValidUtf8(after));
  EXPECT_EQ(after.compare(0, untouched.size(), untouched), 0);
  EXPECT_EQ(PageToUtf8(after, TCodePage::Cp936),
            "[mediatype]\r\nType=手机视频\r\n[savepath]\r\nnewfilepath=/home/用户/视频\r\n\r\n[select]\r\n"
            "combobox1=1\r\n");
  EXPECT_EQ(ini.ReadString("savepath", "newfilepath", ""), "/home/用户/视频");
}

TEST_F(IniFileTest, Cp936FileMovesToUtf8RatherThanLoseAValue) {
  WriteBytes(Path(), Utf8ToPage("[a]\nname=中文\n", TCodePage::Cp936));
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("a", "folder", "/videos/😀"));
  const std::string after = ReadBytes(Path());
  EXPECT_TRUE(IsValidUtf8(after));
  EXPECT_EQ(after, "[a]\nname=中文\nfolder=/videos/😀\n");
  EXPECT_EQ(ini.ReadString("a", "name", ""), "中文");
  EXPECT_EQ(ini.ReadString("a", "folder", ""), "/videos/😀");
}

TEST_F(IniFileTest, Utf8FileStaysUtf8AndKeepsItsMark) {
  const std::string bom = "\xEF\xBB\xBF";
  WriteBytes(Path(), bom + "[audio]\nAudioCodec=aac\n[mediatype]\nType=手机\n");
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadSections().front(), "audio");  // the mark is not part of the first name
  ASSERT_TRUE(ini.WriteString("mediatype", "Type", "电脑"));
  EXPECT_EQ(ReadBytes(Path()), bom + "[audio]\nAudioCodec=aac\n[mediatype]\nType=电脑\n");

  WriteBytes(Path("plain.ini"), "[a]\nk=中\n");
  TIniFile plain(Path("plain.ini"));
  ASSERT_TRUE(plain.WriteString("a", "k", "文"));
  EXPECT_EQ(ReadBytes(Path("plain.ini")), "[a]\nk=文\n");
}

TEST_F(IniFileTest, ValuesReadBackAsWritten) {
  TIniFile ini(Path());
  for (const std::string value : {" padded ", "\"quoted\"", "'single'", "a=b;c", "", "\"", "[x]"}) {
    ASSERT_TRUE(ini.WriteString("v", "k", value)) << value;
    EXPECT_EQ(ini.ReadString("v", "k", "default"), value) << value;
  }
  ASSERT_TRUE(ini.WriteFloat("video", "FPS", 29.97));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("video", "FPS", 0), 29.97);
  EXPECT_EQ(ini.ReadString("video", "FPS", ""), "29.97");
  ASSERT_TRUE(ini.WriteFloat("video", "Whole", 25));
  EXPECT_EQ(ini.ReadString("video", "Whole", ""), "25");
}

TEST_F(IniFileTest, ProfileApiDropsOnePairOfQuotes) {
  WriteBytes(Path(), "[a]\nq=\"C:\\Program Files\"\nmixed=\"x'\nsingle='y'\n");
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("a", "q", ""), "C:\\Program Files");
  EXPECT_EQ(ini.ReadString("a", "mixed", ""), "\"x'");
  EXPECT_EQ(ini.ReadString("a", "single", ""), "y");
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused) {
  WriteBytes(Path(), "[a]\nk=1\n");
  TIniFile ini(Path());
  EXPECT_FALSE(ini.WriteString("a", "k", "1\n[evil]\nx=y"));
  EXPECT_FALSE(ini.WriteString("a", "k=2", "1"));
  EXPECT_FALSE(ini.WriteString("a", ";k", "1"));
  EXPECT_FALSE(ini.WriteString("a", " ", "1"));
  EXPECT_FALSE(ini.WriteString("a]b", "k", "1"));
  EXPECT_FALSE(ini.WriteString("", "k", "1"));
  EXPECT_EQ(ReadBytes(Path()), "[a]\nk=1\n");
}

TEST_F(IniFileTest, EraseSectionAndDeleteKey) {
  WriteBytes(Path(), "[a]\nk=1\nj=2\n[b]\nk=3\n[A]\nk=4\nm=5\n");
  TIniFile ini(Path());
  ASSERT_TRUE(ini.DeleteKey("A", "K"));
  EXPECT_EQ(ReadBytes(Path()), "[a]\nj=2\n[b]\nk=3\n[A]\nm=5\n");
  ASSERT_TRUE(ini.EraseSection("a"));
  EXPECT_EQ(ReadBytes(Path()), "[b]\nk=3\n");
  EXPECT_FALSE(ini.SectionExists("a"));

  // Nothing to remove: success, and a missing file is not created.
  EXPECT_TRUE(ini.DeleteKey("b", "absent"));
  EXPECT_TRUE(ini.EraseSection("absent"));
  TIniFile missing(Path("missing.ini"));
  EXPECT_TRUE(missing.EraseSection("a"));
  EXPECT_TRUE(missing.DeleteKey("a", "k"));
  EXPECT_FALSE(fs::exists(Path("missing.ini")));
}

TEST_F(IniFileTest, NothingIsCached) {
  TIniFile first(Path());
  TIniFile second(Path());
  ASSERT_TRUE(first.WriteInteger("select", "tabindex", 1));
  EXPECT_EQ(second.ReadInteger("select", "tabindex", 0), 1);
  WriteBytes(Path(), "[select]\ntabindex=3\n");
  EXPECT_EQ(first.ReadInteger("select", "tabindex", 0), 3);
  fs::remove(Path());
  EXPECT_EQ(first.ReadInteger("select", "tabindex", 0), 0);
}

TEST_F(IniFileTest, WritesLeaveNoTemporaryFileAndKeepPermissions) {
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("a", "k", "1"));
  ::chmod(Path().c_str(), 0604);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ini.WriteInteger("a", "n" + std::to_string(i), i));
  ASSERT_TRUE(ini.DeleteKey("a", "k"));
  EXPECT_EQ(EntriesIn(dir_.Path()), 1u);
  struct stat st;
  ASSERT_EQ(::stat(Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST_F(IniFileTest, WriteIntoMissingFolderFails) {
  TIniFile ini(Path("no/such/folder/config.ini"));
  EXPECT_FALSE(ini.WriteString("savepath", "newfilepath", "/x"));
  EXPECT_FALSE(ini.WriteInteger("select", "tabindex", 1));
  EXPECT_FALSE(fs::exists(Path("no")));
  EXPECT_EQ(ini.ReadString("savepath", "newfilepath", "def"), "def");
}

TEST_F(IniFileTest, FolderInPlaceOfTheFileReadsAsDefaultsAndIsNotWritten) {
  fs::create_directory(Path());
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadInteger("a", "k", 9), 9);
  EXPECT_FALSE(ini.WriteInteger("a", "k", 1));
  EXPECT_TRUE(fs::is_directory(Path()));
}

TEST_F(IniFileTest, UnreadableFileIsNotOverwritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads any file";
  WriteBytes(Path(), "[a]\nk=1\nother=keep\n");
  ::chmod(Path().c_str(), 0200);
  TIniFile ini(Path());
  EXPECT_FALSE(ini.WriteInteger("a", "k", 2));
  ::chmod(Path().c_str(), 0600);
  EXPECT_EQ(ReadBytes(Path()), "[a]\nk=1\nother=keep\n");
}

TEST_F(IniFileTest, ConcurrentWritersLoseNoKey) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      TIniFile ini(Path());
      for (int i = 0; i < 10; ++i) ini.WriteInteger("s" + std::to_string(t), "k" + std::to_string(i), i);
    });
  }
  for (auto& th : threads) th.join();
  const TIniFile ini(Path());
  for (int t = 0; t < 4; ++t) EXPECT_EQ(ini.ReadSection("s" + std::to_string(t)).size(), 10u) << t;
  EXPECT_EQ(EntriesIn(dir_.Path()), 1u);
}

}  // namespace
}  // namespace ok
