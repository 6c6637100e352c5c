#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets) an environment variable for one test and restores it afterwards.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Apply(value);
  }
  ~TScopedEnv() { Apply(old_); }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value)
      ::setenv(name_, value->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramFolder, IsTheExecutablesFolder) {
  TScopedEnv home("OSTRELKALVEXA_HOME", std::nullopt);
  const std::string expected = fs::canonical("/proc/self/exe").parent_path().string() + "/";
  EXPECT_EQ(ProgramFolder(), expected);
  TScopedEnv empty("OSTRELKALVEXA_HOME", "");
  EXPECT_EQ(ProgramFolder(), expected);
}

TEST(ProgramFolder, EnvironmentOverridesIt) {
  {
    TScopedEnv home("OSTRELKALVEXA_HOME", "/opt/okv");
    EXPECT_EQ(ProgramFolder(), "/opt/okv/");
  }
  TScopedEnv home("OSTRELKALVEXA_HOME", "/opt/okv/");
  EXPECT_EQ(ProgramFolder(), "/opt/okv/");
}

TEST(SettingsFolder, IsTheProgramFolderWhenWritable) {
  ok::test::TempDir dir;
  TScopedEnv home("OSTRELKALVEXA_HOME", dir.Path().string());
  EXPECT_EQ(SettingsFolder(), dir.Path().string() + "/");
  EXPECT_EQ(SettingsFile("config.ini"), dir.Path().string() + "/config.ini");
}

TEST(SettingsFolder, FallsBackToTheUsersConfigFolder) {
  ok::test::TempDir dir;
  TScopedEnv home("OSTRELKALVEXA_HOME", dir / "not-there");
  {
    TScopedEnv xdg("XDG_CONFIG_HOME", dir / "xdg");
    EXPECT_EQ(SettingsFolder(), dir / "xdg/ostrelkalvexa/");
    EXPECT_TRUE(fs::is_directory(dir / "xdg/ostrelkalvexa"));
    EXPECT_EQ(SettingsFile("extfile.ini"), dir / "xdg/ostrelkalvexa/extfile.ini");
  }
  TScopedEnv user("HOME", dir / "user");
  for (const std::optional<std::string>& xdg : {std::optional<std::string>(), std::optional<std::string>(""),
                                                std::optional<std::string>("relative/path")}) {
    TScopedEnv unset("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(SettingsFolder(), dir / "user/.config/ostrelkalvexa/");
  }
  EXPECT_TRUE(fs::is_directory(dir / "user/.config/ostrelkalvexa"));
}

TEST(SettingsFolder, ReadOnlyProgramFolderIsNotUsed) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write any folder";
  ok::test::TempDir dir;
  fs::create_directory(dir / "program");
  ::chmod((dir / "program").c_str(), 0555);
  TScopedEnv home("OSTRELKALVEXA_HOME", dir / "program");
  TScopedEnv xdg("XDG_CONFIG_HOME", dir / "xdg");
  EXPECT_EQ(SettingsFolder(), dir / "xdg/ostrelkalvexa/");
}

}  // namespace
}  // namespace ok
