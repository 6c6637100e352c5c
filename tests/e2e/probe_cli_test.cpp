// The ostrelkalvexa-probe program run as a user would run it.

#include <gtest/gtest.h>
#include <libswscale/version.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;
using test::Fixture;
using test::ShellQuote;
using test::TempDir;

std::string Program() { return (fs::path(test::BuildDir()) / "ostrelkalvexa-probe").string(); }

test::CommandResult RunProbe(const std::string& folder, const std::string& arguments,
                             const std::string& env = "") {
  return test::RunCommand("cd " + ShellQuote(folder) + " && env -u OSTRELKALVEXA_HOME " + env + " " +
                          ShellQuote(Program()) + " " + arguments);
}

std::vector<std::pair<std::string, std::string>> Lines(const std::string& output) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) {
      const size_t bare = line.find(':');
      if (bare != std::string::npos && bare + 1 == line.size()) lines.emplace_back(line.substr(0, bare), "");
      continue;
    }
    lines.emplace_back(line.substr(0, colon), line.substr(colon + 2));
  }
  return lines;
}

uint32_t LE32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

// Solid 0x2040C0 (red 0x20, green 0x40, blue 0xC0), 2 s, audio stream first.
std::string BlueClip() {
  return Fixture(
      "cli_blue.mp4",
      "-f lavfi -i color=c=0x2040C0:size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
      "-map 1:a -map 0:v -c:v mpeg4 -q:v 2 -c:a aac -metadata title=Blue -metadata artist=Painter");
}

class ProbeCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Program())) FAIL() << Program() << " is not built (target ostrelkalvexa-probe)";
  }
};

TEST_F(ProbeCliTest, PrintsTheFieldsAndWritesTheFrame) {
  const std::string clip =
      Fixture("cli_blue.mp4",
              "-f lavfi -i color=c=0x2040C0:size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
              "-map 1:a -map 0:v -c:v mpeg4 -q:v 2 -c:a aac -metadata title=Blue -metadata artist=Painter");
  TempDir dir;
  test::CommandResult r = RunProbe(dir.Path().string(), ShellQuote(clip) + " 0.5");
  ASSERT_EQ(r.exitCode, 0) << r.output;

  const auto lines = Lines(r.output);
  const std::vector<std::string> names = {"StreamCount",
                                          "ProgramCount",
                                          "AudioStreamCount",
                                          "VideoStreamCount",
                                          "SubtitleStreamCount",
                                          "FirstAudioStream",
                                          "FirstVideoStream",
                                          "FirstSubtitleStream",
                                          "StartTime",
                                          "Duration",
                                          "BitRate",
                                          "Timestamp",
                                          "Year",
                                          "Track",
                                          "Title",
                                          "Author",
                                          "Copyright",
                                          "Comment",
                                          "Album",
                                          "Genre"};
  ASSERT_GE(lines.size(), names.size()) << r.output;
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(lines[i].first, names[i]) << "line " << i;
  auto value = [&](const std::string& name) {
    for (const auto& [k, v] : lines)
      if (k == name) return v;
    return std::string("<missing>");
  };
  EXPECT_EQ(value("StreamCount"), "2");
  EXPECT_EQ(value("AudioStreamCount"), "1");
  EXPECT_EQ(value("VideoStreamCount"), "1");
  EXPECT_EQ(value("SubtitleStreamCount"), "0");
  EXPECT_EQ(value("FirstAudioStream"), "0");
  EXPECT_EQ(value("FirstVideoStream"), "1");
  EXPECT_EQ(value("FirstSubtitleStream"), "-1");
  EXPECT_NEAR(std::stod(value("Duration")), std::stod(test::ProbeValue(clip, "format=duration")) * 1e6, 1.0);
  EXPECT_EQ(value("BitRate"), test::ProbeValue(clip, "format=bit_rate"));
  EXPECT_EQ(value("Title"), "Blue");
  EXPECT_EQ(value("Author"), "Painter");
  EXPECT_EQ(value("Genre"), "");

  // The frame, named after the input's whole name, in the current folder.
  const std::string bmp = dir / "cli_blue.mp4.bmp";
  ASSERT_TRUE(fs::exists(bmp)) << r.output;
  std::ifstream in(bmp, std::ios::binary);
  const std::vector<uint8_t> d{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(d.size(), 54u + 480u * 120u);
  EXPECT_EQ(d[0], 'B');
  EXPECT_EQ(d[1], 'M');
  EXPECT_EQ(LE32(d, 2), d.size());
  EXPECT_EQ(LE32(d, 18), 160u);
  EXPECT_EQ(LE32(d, 22), 120u);
  EXPECT_EQ(d[28], 24);
  const uint8_t* px = &d[54 + 60 * 480 + 80 * 3];
  EXPECT_NEAR(px[0], 0xC0, 6);
  EXPECT_NEAR(px[1], 0x40, 6);
  EXPECT_NEAR(px[2], 0x20, 6);
}

TEST_F(ProbeCliTest, WithoutSecondsNoBitmapIsWritten) {
  const std::string clip = Fixture(
      "cli_plain.nut", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v rawvideo -pix_fmt bgr24");
  TempDir dir;
  test::CommandResult r = RunProbe(dir.Path().string(), ShellQuote(clip));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("VideoStreamCount: 1\n"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// A video named like a bitmap, a link to it and a same-named clip all keep their contents.
TEST_F(ProbeCliTest, TheBitmapNeverReplacesAnInput) {
  TempDir dir;
  fs::copy_file(BlueClip(), dir / "clip.bmp");
  fs::copy_file(BlueClip(), dir / "x.mp4");
  fs::copy_file(BlueClip(), dir / "x.avi");
  fs::create_symlink(dir / "x.avi", dir / "y.bmp");
  fs::create_symlink(dir / "y.bmp", dir / "y");
  const auto size = fs::file_size(dir / "x.mp4");
  for (const char* input : {"clip.bmp", "x.mp4", "x.avi"})
    EXPECT_EQ(RunProbe(dir.Path().string(), std::string(input) + " 0.5").exitCode, 0) << input;
  test::CommandResult link = RunProbe(dir.Path().string(), "y 0.5");
  EXPECT_EQ(link.exitCode, 1);
  EXPECT_NE(link.output.find("error: y.bmp is the input itself"), std::string::npos) << link.output;
  for (const char* input : {"clip.bmp", "x.mp4", "x.avi"})
    EXPECT_EQ(fs::file_size(dir / input), size) << input;
  for (const char* bitmap : {"clip.bmp.bmp", "x.mp4.bmp", "x.avi.bmp"})
    EXPECT_EQ(fs::file_size(dir / bitmap), 54u + 480u * 120u) << bitmap;
}

TEST_F(ProbeCliTest, FailuresAndBadArguments) {
  TempDir dir;
  const std::string missing = dir / "missing.mp4";
  test::CommandResult r = RunProbe(dir.Path().string(), ShellQuote(missing));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "error: " + missing + ": no such file or directory\n");

  // A request past the end delivers no frame.
  const std::string clip = BlueClip();
  r = RunProbe(dir.Path().string(), ShellQuote(clip) + " 30");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("error: stream eof reached.\n"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir / "cli_blue.mp4.bmp"));

  for (const std::string& args : {std::string(""), ShellQuote(clip) + " 1 2", ShellQuote(clip) + " abc",
                                  ShellQuote(clip) + " -1", ShellQuote(clip) + " 1.5x", std::string("''")}) {
    r = RunProbe(dir.Path().string(), args);
    EXPECT_EQ(r.exitCode, 2) << "arguments: " << args;
    // What is wrong comes first, then the usage or (an unknown option such as -1) where to find it.
    EXPECT_EQ(r.output.rfind("ostrelkalvexa-probe: ", 0), 0u) << r.output;
  }
}

TEST_F(ProbeCliTest, LibrariesThatCannotBeLoadedAreReported) {
  const fs::path fake = fs::path(test::BuildDir()) / "fakes" / "libfake_swscale_oldmajor.so";
  if (!fs::exists(fake)) GTEST_SKIP() << "fake libraries not built";
  // A LibAV folder beside the program (here: the folder OSTRELKALVEXA_HOME names) wins over the
  // system's libraries; its swscale reports a foreign major version.
  TempDir home;
  fs::create_directory(home.Path() / "LibAV");
  fs::copy_file(fake, home.Path() / "LibAV" / ("libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR)));
  const std::string clip = Fixture(
      "cli_plain.nut", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v rawvideo -pix_fmt bgr24");
  test::CommandResult r = RunProbe(home.Path().string(), ShellQuote(clip),
                                   "OSTRELKALVEXA_HOME=" + ShellQuote(home.Path().string()));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_EQ(r.output.find("StreamCount"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("swscale"), std::string::npos) << r.output;
}

// --help, --version and -- as every Linux program takes them; refusals in one line.
TEST_F(ProbeCliTest, TakesTheUsualCommandLineForms) {
  TempDir dir;
  const std::string clip = ShellQuote(BlueClip());
  test::ExpectCommandLineForms(
      "cd " + ShellQuote(dir.Path().string()) + " && " + ShellQuote(Program()),
      {
          {"--help", 0, "usage: ostrelkalvexa-probe [--] FILE [SECONDS]", ""},
          {"--version", 0, "OstrelKalvexa 1.4\nFFmpeg 5.", ""},
          {"-- " + clip, 0, "\nVideoStreamCount: 1\n", ""},
          {"--bogus " + clip, 2, "", "unknown option --bogus (see ostrelkalvexa-probe --help)"},
          {"--help=1", 2, "", "--help takes no value"},
      });
}

}  // namespace
}  // namespace ok
