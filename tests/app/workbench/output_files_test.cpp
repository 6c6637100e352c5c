// Outputs written under part names: which names are parts, and what a later batch removes.

#include "app/workbench/output_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "platform/file_utils.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

TEST(OutputFiles, PartNamesAreRecognisedAndNothingElse) {
  std::string output;
  int pid = 0;
  for (const char* final : {"clip_(new).mp4", "a.b_(new_3).3gp", "长_(new)", ".hidden_(new).mkv"}) {
    const std::string part = ExtractFileName(PartFileName(std::string("/out/") + final, 4242));
    SCOPED_TRACE(part);
    EXPECT_EQ(part.substr(0, 1), ".");
    ASSERT_TRUE(ParsePartFileName(part, output, pid));
    EXPECT_EQ(output, final);
    EXPECT_EQ(pid, 4242);
  }
  for (const char* other :
       {"clip_(new).mp4", ".clip_(new).ok-part.mp4", ".clip.x1.ok-part.mp4", ".clip.12.ok-part.mp4.bak",
        ".config.ini.tmp-12-0", ".12.ok-part.mp4", ".clip.99999999999.ok-part.mp4"})
    EXPECT_FALSE(ParsePartFileName(other, output, pid)) << other;
}

// Only parts whose writer is gone are removed, each with the empty output it reserved; a part of
// a live process, a finished output and files of other kinds stay.
TEST(OutputFiles, AFolderLosesOnlyThePartsOfWritersThatAreGone) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);

  TempDir dir;
  auto write = [&dir](const std::string& name, const std::string& content) {
    std::ofstream(dir / name) << content;
  };
  const std::string deadPart = ExtractFileName(PartFileName(dir / "a_(new).mp4", gone));
  const std::string deadPartOfWhole = ExtractFileName(PartFileName(dir / "b_(new).mp4", gone));
  const std::string livePart = ExtractFileName(PartFileName(dir / "c_(new).mp4"));
  write(deadPart, "moov missing");
  write("a_(new).mp4", "");  // its reservation
  write(deadPartOfWhole, "x");
  write("b_(new).mp4", "a whole file");
  write(livePart, "being written");
  write("c_(new).mp4", "");
  write("d_(new).mp4", "");  // no part: not ours to judge
  write(".config.ini.tmp-1-0", "");
  RemoveAbandonedParts(dir.Path().string());

  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.Path())) left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"b_(new).mp4", livePart, "c_(new).mp4", "d_(new).mp4",
                                         ".config.ini.tmp-1-0"}));
}

}  // namespace
}  // namespace ok::test
