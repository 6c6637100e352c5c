#include "platform/file_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path, const std::string& content = "") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

TEST(FileNameParts, ExtensionBelongsToTheNamePartOnly) {
  EXPECT_EQ(ExtractFileExt("a.b/c"), "");
  EXPECT_EQ(ExtractFileExt("/videos/clip.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("profile.INI"), ".INI");
  EXPECT_EQ(ExtractFileExt("name."), ".");
  EXPECT_EQ(ExtractFileExt("/"), "");
  EXPECT_EQ(ExtractFileExt(""), "");
}

TEST(FileNameParts, LeadingDotMarksAHiddenNameNotAnExtension) {
  EXPECT_EQ(ExtractFileExt(".bashrc"), "");
  EXPECT_EQ(ExtractFileExt("/home/u/.bashrc"), "");
  EXPECT_EQ(ExtractFileExt("..ini"), "");
  EXPECT_EQ(ExtractFileExt(".bashrc.bak"), ".bak");
  EXPECT_EQ(ExtractFileExt("dir/.."), "");
  EXPECT_EQ(ChangeFileExt(".bashrc", ".bak"), ".bashrc.bak");
}

TEST(FileNameParts, ChangeFileExtReplacesOrAppends) {
  EXPECT_EQ(ChangeFileExt("/in/clip.mp4", ".avi"), "/in/clip.avi");
  EXPECT_EQ(ChangeFileExt("a.b/c", ".txt"), "a.b/c.txt");
  EXPECT_EQ(ChangeFileExt("x.tar.gz", ""), "x.tar");
  EXPECT_EQ(ChangeFileExt("noext", ".log"), "noext.log");
}

TEST(FileNameParts, PathAndNameSplitAtTheLastSlash) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.ini"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.ini"), "c.ini");
  EXPECT_EQ(ExtractFilePath("c.ini"), "");
  EXPECT_EQ(ExtractFileName("c.ini"), "c.ini");
  EXPECT_EQ(ExtractFilePath("/a/b/"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/"), "");
  EXPECT_EQ(ExtractFileName("/输出视频/片.mp4"), "片.mp4");
}

TEST(FileNameParts, TrailingDelimiters) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("//"), "/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(""), "");
}

TEST(FileNameParts, CaseInsensitiveComparisonFoldsAsciiOnly) {
  EXPECT_TRUE(SameFileNameIgnoringCase("/Videos/Clip.MP4", "/videos/clip.mp4"));
  EXPECT_FALSE(SameFileNameIgnoringCase("/videos/clip.mp4", "/videos/clip.mp"));
  EXPECT_FALSE(SameFileNameIgnoringCase("a[", "a{"));  // '[' is not an upper-case '{'
  EXPECT_FALSE(SameFileNameIgnoringCase("É", "é"));
  EXPECT_TRUE(FileNameLess("a.ini", "B.ini"));
  EXPECT_TRUE(FileNameLess("B.ini", "c.ini"));
  EXPECT_TRUE(FileNameLess("A.ini", "a.ini"));  // ties broken by bytes, so the order is total
  EXPECT_FALSE(FileNameLess("a.ini", "A.ini"));
  EXPECT_TRUE(FileNameLess("ab", "abc"));
}

TEST(FileQueries, FilesAndFoldersAreTold) {
  ok::test::TempDir dir;
  const std::string file = dir / "f.bin";
  Touch(file, "12345");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(FileExists(dir.Path().string()));
  EXPECT_TRUE(DirectoryExists(dir.Path().string()));
  EXPECT_TRUE(DirectoryExists(dir.Path().string() + "/"));
  EXPECT_FALSE(FileExists(dir / "missing"));
  EXPECT_FALSE(FileExists(""));

  EXPECT_EQ(FileSize64(file), 5);
  EXPECT_EQ(FileSize64(dir / "missing"), -1);
  EXPECT_EQ(FileSize64(dir.Path().string()), -1);
  Touch(dir / "empty");
  EXPECT_EQ(FileSize64(dir / "empty"), 0);
}

TEST(FileQueries, DeleteFileRemovesFilesOnly) {
  ok::test::TempDir dir;
  Touch(dir / "f");
  fs::create_directory(dir / "sub");
  EXPECT_TRUE(DeleteFile(dir / "f"));
  EXPECT_FALSE(fs::exists(dir / "f"));
  EXPECT_FALSE(DeleteFile(dir / "f"));
  EXPECT_FALSE(DeleteFile(dir / "sub"));
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

TEST(FileQueries, ForceDirectoriesCreatesParents) {
  ok::test::TempDir dir;
  const std::string deep = dir / "a/b/输出视频/";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // already there
  EXPECT_TRUE(ForceDirectories(dir / "x//y"));
  EXPECT_TRUE(fs::is_directory(dir / "x/y"));

  Touch(dir / "file");
  EXPECT_FALSE(ForceDirectories(dir / "file/sub"));
  EXPECT_FALSE(ForceDirectories(dir / "file"));
  EXPECT_FALSE(ForceDirectories(""));
}

TEST(FileListing, SubFolderFilesComeBeforeAFoldersOwnFiles) {
  ok::test::TempDir dir;
  Touch(dir / "a.ini");
  Touch(dir / "x/b.ini");
  const std::string root = dir.Path().string() + "/";
  EXPECT_EQ(ListFilesRecursive(root, ".ini"), (std::vector<std::string>{root + "x/b.ini", root + "a.ini"}));
}

TEST(FileListing, DepthFirstWithEveryLevelInNameOrder) {
  ok::test::TempDir dir;
  for (const char* f : {"z.ini", "m.ini", "b/2.ini", "b/c/1.ini", "A/3.ini", "A/notes.txt", ".hidden/h.ini"})
    Touch(dir / f);
  const std::string root = dir.Path().string() + "/";
  EXPECT_EQ(ListFilesRecursive(root, ".ini"),
            (std::vector<std::string>{root + ".hidden/h.ini", root + "A/3.ini", root + "b/c/1.ini",
                                      root + "b/2.ini", root + "m.ini", root + "z.ini"}));
}

TEST(FileListing, ExtensionMatchIgnoresCaseButNotTheRestOfTheName) {
  ok::test::TempDir dir;
  for (const char* f : {"profile.INI", "profile.ini.bak", "other.Ini", "ini", "x.inix"}) Touch(dir / f);
  fs::create_directory(dir / "folder.ini");
  const std::string root = dir.Path().string() + "/";
  const std::vector<std::string> expected{root + "other.Ini", root + "profile.INI"};
  EXPECT_EQ(ListFilesRecursive(root, ".ini"), expected);
  EXPECT_EQ(ListFilesRecursive(root, "ini"), expected);
}

TEST(FileListing, FolderNameIsNormalised) {
  ok::test::TempDir dir;
  Touch(dir / "a.ini");
  const std::string root = dir.Path().string();
  EXPECT_EQ(ListFilesRecursive("  " + root + "  ", ".ini"), std::vector<std::string>{root + "/a.ini"});
  EXPECT_TRUE(ListFilesRecursive(root + "/missing", ".ini").empty());
  EXPECT_TRUE(ListFilesRecursive(root + "/a.ini", ".ini").empty());
}

TEST(FileListing, LinkLoopsEndTheWalk) {
  ok::test::TempDir dir;
  Touch(dir / "sub/a.ini");
  fs::create_directory_symlink(dir.Path(), dir / "sub/loop");
  const std::string root = dir.Path().string() + "/";
  EXPECT_EQ(ListFilesRecursive(root, ".ini"), std::vector<std::string>{root + "sub/a.ini"});
}

TEST(FileListing, SubFoldersByNameWithoutFiles) {
  ok::test::TempDir dir;
  for (const char* d : {"三星", "Nokia", "apple", "Sony"}) fs::create_directory(dir / d);
  Touch(dir / "readme.txt");
  Touch(dir / "apple/inner/x.ini");
  EXPECT_EQ(ListSubFolders(dir.Path().string()),
            (std::vector<std::string>{"apple", "Nokia", "Sony", "三星"}));
  EXPECT_TRUE(ListSubFolders(dir / "missing").empty());
}

TEST(FileContent, ReadReportsWhyItFailed) {
  ok::test::TempDir dir;
  std::string content = "stale";
  int error = 0;
  EXPECT_FALSE(ReadFileBytes(dir / "missing", content, &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_TRUE(content.empty());
  EXPECT_FALSE(ReadFileBytes(dir.Path().string(), content, &error));
  EXPECT_EQ(error, EISDIR);

  const std::string bytes("a\0b\r\n\xFF", 6);
  Touch(dir / "bin", bytes);
  EXPECT_TRUE(ReadFileBytes(dir / "bin", content, &error));
  EXPECT_EQ(content, bytes);
}

TEST(FileContent, AtomicWriteThroughALinkKeepsTheLink) {
  ok::test::TempDir dir;
  Touch(dir / "real.ini", "old");
  fs::create_symlink(dir / "real.ini", dir / "link.ini");
  ASSERT_TRUE(WriteFileAtomic(dir / "link.ini", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  std::string content;
  ASSERT_TRUE(ReadFileBytes(dir / "real.ini", content));
  EXPECT_EQ(content, "new");
}

TEST(FileContent, AtomicWriteLeavesAReadOnlyFileAlone) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write any file";
  ok::test::TempDir dir;
  Touch(dir / "ro.ini", "old");
  ::chmod((dir / "ro.ini").c_str(), 0444);
  EXPECT_FALSE(WriteFileAtomic(dir / "ro.ini", "new"));
  std::string content;
  ASSERT_TRUE(ReadFileBytes(dir / "ro.ini", content));
  EXPECT_EQ(content, "old");
}

}  // namespace
}  // namespace ok
