#include "platform/system_shutdown.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"

namespace ok::test {
namespace {

TEST(SystemShutdownTest, RunsTheCommandAndReportsItsOutcome) {
  TempDir tmp;
  const std::string mark = tmp / "ran";
  std::string error;
  TCommandShutdown recorder({"sh", "-c", "echo \"$0\" > \"$1\"", "poweroff", mark});
  EXPECT_TRUE(recorder.PowerOff(error)) << error;
  std::ifstream in(mark);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "poweroff");

  TCommandShutdown refused({"sh", "-c", "exit 3"});
  EXPECT_FALSE(refused.PowerOff(error));
  EXPECT_EQ(error, "sh exited with 3");

  TCommandShutdown missing({"no-such-shutdown-program-here"});
  EXPECT_FALSE(missing.PowerOff(error));
  EXPECT_NE(error.find("no-such-shutdown-program-here: "), std::string::npos);
}

}  // namespace
}  // namespace ok::test
