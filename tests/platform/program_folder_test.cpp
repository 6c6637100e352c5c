#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

using test::TScopedEnv;

void Put(const std::string& path, const std::string& content) { std::ofstream(path) << content; }

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

TEST(SettingsFolder, WithoutAPortableHomeIsTheUsersConfigFolder) {
  ok::test::TempDir dir;
  TScopedEnv home("OSTRELKALVEXA_HOME", std::nullopt);
  TScopedEnv xdg("XDG_CONFIG_HOME", dir / "xdg");
  EXPECT_EQ(SettingsFolder(), dir / "xdg/ostrelkalvexa/");  // the build folder is writable
}

TEST(SettingsFolder, EarlierSettingsAreCarriedOverOnce) {
  ok::test::TempDir dir;
  fs::create_directories(dir / "old");
  fs::create_directories(dir / "new");
  Put(dir / "old/config.ini", "[main]\nold=1\n");
  Put(dir / "old/extfile.ini", "[a]\n");
  Put(dir / "new/extfile.ini", "[kept]\n");
  CarryOverSettings(dir / "old/", dir / "new/");
  EXPECT_EQ(ok::test::ReadText(dir / "new/config.ini"), "[main]\nold=1\n");
  EXPECT_EQ(ok::test::ReadText(dir / "new/extfile.ini"), "[kept]\n");  // never overwritten
  EXPECT_TRUE(fs::exists(dir / "old/config.ini"));
}

TEST(UserDirectory, FollowsUserDirsLikeXdgUserDir) {
  ok::test::TempDir dir;
  const std::string home = dir / "home";
  TScopedEnv user("HOME", home);
  TScopedEnv xdg("XDG_CONFIG_HOME", dir / "xdg");
  EXPECT_EQ(UserDirectory("VIDEOS"), home);  // no user-dirs.dirs
  fs::create_directories(dir / "xdg");
  struct {
    const char* Lines;
    std::string Expected;
  } cases[] = {
      {"# comment\nXDG_VIDEOS_DIR=\"$HOME/Vidéos/\"\n", home + "/Vidéos"},
      {"  XDG_VIDEOS_DIR=\"/srv/videos\"\n", "/srv/videos"},
      {"XDG_VIDEOS_DIR=$HOME/Films # unquoted, as the shell reads it\n", home + "/Films"},
      {"XDG_VIDEOS_DIR=\"${HOME}/My \\\"clips\\\"\"\n", home + "/My \"clips\""},
      {"XDG_VIDEOS_DIR=\"$HOME\"\n", home},
      {"XDG_VIDEOS_DIR=\"/first\"\nXDG_VIDEOS_DIR=\"/second\"\n", "/second"},  // the last wins
      {"XDG_VIDEOS_DIR=\"relative\"\nXDG_VIDEOS_DIR=\"$HOMEWARD\"\n", home},   // not valid entries
      {"XDG_MUSIC_DIR=\"/srv/music\"\nXDG_VIDEOSX_DIR=\"/x\"\n", home},        // other kinds only
  };
  for (const auto& c : cases) {
    Put(dir / "xdg/user-dirs.dirs", c.Lines);
    EXPECT_EQ(UserDirectory("VIDEOS"), c.Expected) << c.Lines;
  }
  EXPECT_EQ(UserDirectory("MUSIC"), "/srv/music");
}

}  // namespace
}  // namespace ok
