// The ostrelkalvexa-cli program run as a user would run it: each way of choosing the output on the
// shared samples, one-second clips, outputs checked with ffprobe; its refusals and failures.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/cli_home.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

#define REQUIRE_SAMPLES() \
  if (SamplesDir().empty()) GTEST_SKIP() << "no media samples"

std::string Sample(const std::string& name) { return ShellQuote(SamplesDir() + "/" + name); }

double Duration(const std::string& file) { return std::stod("0" + ProbeValue(file, "format=duration")); }

// The mean brightness (0 to 255) of the first picture of `file`.
double MeanLuma(const std::string& file) {
  const CommandResult r =
      RunCommand("ffprobe -v error -f lavfi -i " + ShellQuote("movie=" + file + ",signalstats") +
                 " -read_intervals %+#1 -show_entries frame_tags=lavfi.signalstats.YAVG"
                 " -of csv=p=0");
  return std::stod("0" + r.output.substr(0, r.output.find('\n')));
}

struct TChoiceCase {
  std::string Arguments;
  std::string Source;  // the file converted, which the progress lines name as given
  const char* Extension;
  const char* Codec;
  const char* Width;
  const char* Height;
  const char* FrameRate;
  bool Black = false;           // the picture is black after its crop
  const char* Holds = nullptr;  // bytes the output holds: the encoder's settings
};

// Every kind of choice, each on a one-second clip: the chosen size, rate, codec and container
// reach the file.
TEST(WorkbenchCli, ConvertsWithEachKindOfChoice) {
  REQUIRE_SAMPLES();
  // The left half white: a crop of that half leaves a black picture.
  const std::string halfWhite = Fixture("cli_half_white.mp4",
                                        "-f lavfi -i color=black:size=320x240:rate=25:duration=3,"
                                        "drawbox=x=0:y=0:w=160:h=240:color=white:t=fill -c:v mpeg4");
  const std::vector<TChoiceCase> cases = {
      // AVI preset 0 by positions: 320x240 at 18 fps, the 16:9 source letterboxed.
      {"--preset 2/0", SamplesDir() + "/sample.avi", ".avi", "mpeg4", "320", "240", "18/1"},
      // Device brand 16, model 1: a 3GP at 352x288 and 15 fps.
      {"--device 16/1", SamplesDir() + "/phone.3gp", ".3gp", "mpeg4", "352", "288", "15/1"},
      // Like the phone's own file: its container, size and frame rate (8.33 to the nearest whole).
      {"--like " + Sample("phone.3gp"), SamplesDir() + "/sample.mkv", ".3gp", "mpeg4", "176", "144", "8/1"},
      // Typed values: the crop removes the white half; the frame stays the typed one, the pads
      // inside it.
      {"--custom avi:320x240:400000:20:crop=0,0,160,0:pad=8,8,0,0", halfWhite, ".avi", "mpeg4", "320", "240",
       "20/1", true},
      // A quality-based type: zeros keep the source's size and rate, the quality reaches x264.
      {"--custom 'MP4 H.264:0x0:0:0:quality=30'", SamplesDir() + "/sample.mp4", ".mp4", "h264", "640", "360",
       "30000/1001", false, "crf=30.0"},
  };
  for (const TChoiceCase& c : cases) {
    SCOPED_TRACE(c.Arguments);
    CliHome home;
    const CommandResult r = home.Run("--clip 1-2 " + c.Arguments + " " + ShellQuote(c.Source));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string out = SingleOutput(home, r);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(fs::path(out).extension(), c.Extension);
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), c.Codec);
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), c.Width);
    EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), c.Height);
    EXPECT_EQ(ProbeValue(out, "stream=r_frame_rate", "v:0"), c.FrameRate);
    // Exactly the clip, not the whole file nor what lies between START and the key frame before it;
    // the frame-rate conversion may end it up to two output pictures late.
    const double picture = 1.0 / std::stod(c.FrameRate);
    EXPECT_NEAR(Duration(out), 1.0, 2 * picture + 0.01);
    if (c.Black) {
      EXPECT_LT(MeanLuma(out), 40);
    }
    if (c.Holds) {
      EXPECT_NE(ReadText(out).find(c.Holds), std::string::npos);
    }
    // Progress lines while it runs (not a terminal here), the end report last.
    EXPECT_NE(r.output.find("[0] " + fs::path(c.Source).filename().string() + ": "), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("%\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.rfind("视频成功转换！"), std::string::npos) << r.output;
    EXPECT_GT(r.output.rfind("视频成功转换！"), r.output.find(out)) << r.output;
  }
}

// --list shows every entry of the catalogue with the values its job gets, line for line as the
// table beside this test: a profile file that changes a job shows here.
TEST(WorkbenchCli, ListsEveryEntryWithItsJobsValues) {
  CliHome home;
  const CommandResult list = home.Run("--list");
  ASSERT_EQ(list.exitCode, 0) << list.output;
  std::istringstream expected(ReadText(SourceDir() + "/tests/e2e/catalogue_list.tsv"));
  std::istringstream listed(list.output);
  std::string want, got;
  int line = 0;
  while (std::getline(expected, want)) {
    ++line;
    ASSERT_TRUE(std::getline(listed, got)) << "line " << line << " missing: " << want;
    EXPECT_EQ(got, want) << "line " << line;
  }
  EXPECT_FALSE(std::getline(listed, got)) << "unexpected line " << line + 1 << ": " << got;
}

// --list shows the table's rows by positions with their names, and a name as listed (in any case)
// chooses that row; --output-folder names where the output goes.
TEST(WorkbenchCli, ListsTheCataloguesAndTakesTheirNames) {
  REQUIRE_SAMPLES();
  CliHome home;
  const CommandResult list = home.Run("--list");
  ASSERT_EQ(list.exitCode, 0) << list.output;
  EXPECT_NE(list.output.find("\npreset\t1/12\tMP4/"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("\t1280x720\t1800000\t25\tmpeg4\t.mp4\n"), std::string::npos);
  EXPECT_NE(list.output.find("\t352x288\t384000\t15\tmpeg4\t.3gp\n"), std::string::npos);
  const std::string row = "\npreset\t1/0\t";
  const size_t at = list.output.find(row);
  ASSERT_NE(at, std::string::npos);
  const size_t from = at + row.size();
  std::string name = list.output.substr(from, list.output.find('\t', from) - from);
  for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));

  // Into a folder of its own, which Start creates.
  TempDir elsewhere;
  const std::string folder = elsewhere / "made/here";
  const CommandResult r = home.Run("--output-folder " + ShellQuote(folder) + " --clip 1-2 --preset " +
                                   ShellQuote(name) + " " + Sample("sample.mp4"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(home.Outputs().empty());
  const std::string out = folder + "/sample_(new).mp4";
  EXPECT_NE(r.output.find("\n" + out + "\n"), std::string::npos) << r.output;
  EXPECT_EQ(fs::path(out).extension(), ".mp4");
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "320");
  EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), "240");
  EXPECT_EQ(ProbeValue(out, "stream=r_frame_rate", "v:0"), "18/1");
}

struct TRefusalCase {
  std::string Arguments;
  const char* Says;
};

// Bad arguments: exit status 2, what is wrong, and nothing converted.
TEST(WorkbenchCli, RefusesBadArguments) {
  REQUIRE_SAMPLES();
  const std::string file = Sample("sample.mp4");
  const std::vector<TRefusalCase> cases = {
      {"", "usage:"},
      {"--preset mp4/0", "no FILE"},
      {"--bogus 1 " + file, "unknown option --bogus"},
      {"--list --preset mp4/0", "--list takes nothing else"},
      {"--remove-preset mp4/0 " + file, "--remove-preset takes nothing else"},
      {"--preset mp4/0 --device 16/1 " + file, "only one of"},
      {"--parallel 0 --preset mp4/0 " + file, "--parallel takes"},
      {"--clip 2-1 --preset mp4/0 " + file, "END must come after START"},
      {"--clip 1:2 --preset mp4/0 " + file, "--clip takes START-END"},
      // An unknown name lists the nearest ones.
      {"--preset mp5/0 " + file, "no file type \"mp5\""},
      {"--preset mp5/0 " + file, "\n  MP4"},
      {"--preset mp4/99 " + file, "no preset of MP4"},
      {"--device nosuchbrand/0 " + file, "no brand"},
      {"--custom avi:320x240:38400 " + file, "--custom takes"},
      {"--custom avi:32ax240:38400:15 " + file, "width \"32a\" is not taken"},
      {"--custom avi:320x240:12345678:15 " + file, "bit rate \"12345678\" is not taken"},
      {"--custom avi:320x240:38400:15:crop=1,2,3 " + file, "crop= takes four values"},
      {"--custom nosuchtype:320x240:38400:15 " + file, "no video type"},
      {"--custom avi:320x240:38400:15:quality=30 " + file, "takes no quality="},
      {"--custom 'MKV AV1:0x0:0:0:quality=64' " + file, "质量 64 超出范围，此类型只能用 0 到 63"},
      {"--like /nonexistent.mp4 " + file, "is not a file"},
      {"--like " + Sample("README.md") + " " + file, "cannot be analysed"},
      {"--like " + Sample("sample.mp3") + " " + file, "has no video the analysis can read"},
      {"--max-size 0 --preset mp4/0 " + file, "--max-size takes"},
      {"--max-size=-5MB --preset mp4/0 " + file, "--max-size takes"},
      {"--max-size 25XB --preset mp4/0 " + file, "--max-size takes"},
      {"--max-size= --preset mp4/0 " + file, "--max-size takes"},
      // Beyond the file's 4 seconds: found once the file is in the list.
      {"--clip 10-12 --preset mp4/0 " + file, "START lies at or past the end"},
  };
  for (const TRefusalCase& c : cases) {
    SCOPED_TRACE(c.Arguments);
    CliHome home;
    const CommandResult r = home.Run(c.Arguments);
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find(c.Says), std::string::npos) << r.output;
    EXPECT_TRUE(home.Outputs().empty());
  }
}

// The forms a Linux user types: --help and --version, --name=VALUE, -- before a file that looks
// like an option; results alone on standard output, refusals in one line on standard error.
TEST(WorkbenchCli, TakesTheUsualCommandLineForms) {
  REQUIRE_SAMPLES();
  CliHome home;
  TempDir cwd;
  fs::copy_file(SamplesDir() + "/sample.mp4", cwd / "-dash.mp4");
  ExpectCommandLineForms(
      "cd " + ShellQuote(cwd.Path().string()) + " && " + home.CommandLine(""),
      {
          {"--help", 0, "usage: ostrelkalvexa-cli", ""},
          {"--version", 0, "OstrelKalvexa 1.4\nFFmpeg 5.", ""},
          {"--list", 0, "page\tpositions\tname", ""},
          {"--preset=mp4/0 --clip=0-1 -- -dash.mp4", 0, "/-dash_(new).mp4\n", "视频成功转换！"},
          {"--bogus=1 x.mp4", 2, "", "unknown option --bogus (see ostrelkalvexa-cli --help)"},
          {"-x x.mp4", 2, "", "unknown option -x"},
          {"--list=1", 2, "", "--list takes no value"},
          {"x.mp4 --preset", 2, "", "--preset needs a value"},
          {"--preset mp4/0 -dash.mp4", 2, "", "unknown option -d"},
      });
}

// On a terminal the bars start in one column whatever the names' characters take.
TEST(WorkbenchCli, BarsLineUpWithChineseNames) {
  REQUIRE_SAMPLES();
  CliHome home;
  TempDir dir;
  const std::string chinese = dir / "中文名字的视频文件.mp4", plain = dir / "plain.mp4";
  for (const std::string& name : {chinese, plain}) fs::copy_file(SamplesDir() + "/sample.mp4", name);
  // script(1) gives the program a terminal.
  const CommandResult r =
      RunCommand("script -qec " +
                 ShellQuote(home.CommandLine("--preset mp4/0 --clip 0-1 " + ShellQuote(plain) + " " +
                                             ShellQuote(chinese))) +
                 " /dev/null");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // Each bar line after its last "erase line"; the columns before the bar: ASCII takes one, the
  // Chinese characters (three UTF-8 bytes from E4 to E9) two.
  std::set<size_t> barColumns;
  bool chineseBar = false;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    const size_t erase = line.rfind("\x1b[2K"), bar = line.find(" [");
    if (erase == std::string::npos || bar == std::string::npos) continue;
    const std::string head = line.substr(erase + 4, bar + 1 - erase - 4);
    size_t columns = 0;
    for (size_t i = 0; i < head.size(); ++i) {
      const auto byte = static_cast<unsigned char>(head[i]);
      if (byte >= 0xE4 && byte <= 0xE9) {
        columns += 2;
        i += 2;
      } else {
        ++columns;
      }
    }
    chineseBar = chineseBar || head.find("中文") != std::string::npos;
    barColumns.insert(columns);
  }
  EXPECT_TRUE(chineseBar) << r.output;
  EXPECT_EQ(barColumns.size(), 1u) << r.output;
}

// English beside Chinese: the catalogue's names, the model's messages and the report follow the
// locale, also one never generated (en_US here) and C; names of either language are taken.
TEST(WorkbenchCli, SpeaksTheLanguageOfTheLocale) {
  CliHome home;
  struct {
    const char* Language;
    const char* Device;
    const char* Refusal;
  } cases[] = {{"zh_CN.UTF-8", "\ndevice\t16/0\t17 拍照手机/01 小屏 176x144 码率192K 15帧\t", "文件不存在"},
               {"en_US.UTF-8", "\ndevice\t16/0\t17 Camera phones/01 Small screen 176x144 192Kbps 15 fps\t",
                "the file does not exist"},
               {"C", "\ndevice\t16/0\t17 Camera phones/", "the file does not exist"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Language);
    const CommandResult list = home.Run("--list", c.Language);
    ASSERT_EQ(list.exitCode, 0) << list.output;
    EXPECT_NE(list.output.find(c.Device), std::string::npos) << list.output;
    const CommandResult r = home.Run("--device '17 拍照手机/0' /nonexistent/missing.mp4", c.Language);
    EXPECT_NE(r.output.find(std::string("/nonexistent/missing.mp4: ") + c.Refusal), std::string::npos)
        << r.output;
  }
}

// Without a stored output folder the output goes into the user's Videos folder (xdg-user-dir
// VIDEOS, else the home folder), made when the batch starts: a home that cannot be written is
// told then, never when the catalogue is only listed.
TEST(WorkbenchCli, DefaultOutputFolderIsInTheVideosFolderAndMadeForTheBatch) {
  REQUIRE_SAMPLES();
  TempDir dir;
  std::ofstream(dir / "file") << "x";
  const std::string program = "env -u OSTRELKALVEXA_HOME -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=C " +
                              ShellQuote("XDG_CONFIG_HOME=" + dir / "xdg") + " ";
  const std::string unwritable = dir / "file/home";
  ExpectCommandLineForms(program + ShellQuote("HOME=" + unwritable) + " " + ShellQuote(Program()),
                         {{"--list", 0, "\npreset\t0/0\t", ""},
                          {"--preset mp4/0 " + Sample("minimal.mp4"), 1, "",
                           "Could not create the folder " + unwritable + "/Converted videos!"}});

  fs::create_directories(dir / "xdg");
  std::ofstream(dir / "xdg/user-dirs.dirs") << "XDG_VIDEOS_DIR=\"$HOME/Films\"\n";
  const CommandResult r = RunCommand(program + ShellQuote("HOME=" + dir / "home") + " " +
                                     ShellQuote(Program()) + " --preset mp4/0 " + Sample("minimal.mp4"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const fs::path folder = dir / "home/Films/Converted videos";
  ASSERT_TRUE(fs::is_directory(folder)) << r.output;
  const std::string out = fs::directory_iterator(folder)->path().string();
  EXPECT_NE(r.output.find(out + "\n"), std::string::npos) << r.output;
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
}

// Exit status 1: a file that cannot be added is named with its reason and the others are
// converted; a job that cannot be built stops the batch before it starts.
TEST(WorkbenchCli, FailuresExitWithOne) {
  REQUIRE_SAMPLES();
  CliHome home;
  const CommandResult r = home.Run("--preset mp4/0 /nonexistent/missing.mp4 " +
                                   Sample("chunk_out_of_range.mp4") + " " + Sample("minimal.mp4"));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("/nonexistent/missing.mp4: 文件不存在"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("chunk_out_of_range.mp4: "), std::string::npos);
  const std::string out = SingleOutput(home, r);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "320");

  // A crop wider than the picture.
  CliHome other;
  const CommandResult crop =
      other.Run("--custom avi:320x240:400000:20:crop=0,0,400,0 " + Sample("minimal.mp4"));
  EXPECT_EQ(crop.exitCode, 1) << crop.output;
  EXPECT_NE(crop.output.find("裁剪后没有剩下画面"), std::string::npos) << crop.output;
  EXPECT_TRUE(other.Outputs().empty());
}

// Several runs at once into one folder, of a source whose name leaves no room for "_(new)": each
// reserves its own output, whose name is cut at a character to fit the file system.
TEST(WorkbenchCli, ParallelRunsIntoOneFolderEachKeepTheirOwnOutput) {
  REQUIRE_SAMPLES();
  CliHome home;
  TempDir dir;
  std::string stem;
  for (int i = 0; i < 83; ++i) stem += "长";  // 249 bytes: with ".mp4" the longest name there is
  const std::string source = dir / (stem + ".mp4");
  fs::copy_file(SamplesDir() + "/minimal.mp4", source);
  std::string commands;
  for (int i = 0; i < 4; ++i)
    commands +=
        "( (" + home.CommandLine("--preset 0/0 " + ShellQuote(source)) + ") >/dev/null 2>&1; echo rc=$?) & ";
  const CommandResult r = RunCommand(commands + "wait");
  EXPECT_EQ(r.output, "rc=0\nrc=0\nrc=0\nrc=0\n");
  const std::vector<std::string> outputs = home.Outputs();
  ASSERT_EQ(outputs.size(), 4u) << r.output;
  const double expected = Duration(source);
  for (const std::string& output : outputs) {
    const std::string name = fs::path(output).filename().string();
    EXPECT_LE(name.size(), 255u);
    const std::string kept = name.substr(0, name.find("_(new"));
    EXPECT_FALSE(kept.empty()) << name;
    EXPECT_EQ(kept.size() % 3, 0u) << name;  // whole characters only
    EXPECT_NEAR(Duration(output), expected, 0.2) << output;
  }
}

// The README's way to convert a folder: GNU parallel runs one process a file into one folder;
// every output is whole, the names are unique, and the job log holds every exit status.
TEST(WorkbenchCli, GnuParallelConvertsAFolderIntoOneOutputFolder) {
  REQUIRE_SAMPLES();
  if (RunCommand("command -v parallel").exitCode != 0) GTEST_SKIP() << "GNU parallel is not installed";
  CliHome home;
  TempDir dir;
  std::string sources;
  for (int i = 0; i < 4; ++i) {
    // The same stem each time: the runs compete for one output name.
    const fs::path folder = dir.Path() / std::to_string(i);
    fs::create_directory(folder);
    fs::copy_file(SamplesDir() + "/minimal.mp4", folder / "clip.mp4");
    sources += " " + ShellQuote((folder / "clip.mp4").string());
  }
  const std::string log = dir / "jobs.log";
  const CommandResult r = RunCommand("parallel -j 4 --joblog " + ShellQuote(log) + " " +
                                     ShellQuote(home.CommandLine("--preset 0/0") + " {}") + " :::" + sources);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<std::string> outputs = home.Outputs();
  ASSERT_EQ(outputs.size(), 4u) << r.output;
  const double expected = Duration(SamplesDir() + "/minimal.mp4");
  for (const std::string& output : outputs) {
    EXPECT_NE(r.output.find(output + "\n"), std::string::npos) << output;
    EXPECT_NEAR(Duration(output), expected, 0.2) << output;
  }
  std::istringstream jobs(ReadText(log));
  std::string line;
  std::getline(jobs, line);  // the header
  int jobCount = 0;
  while (std::getline(jobs, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int column = 0; column < 7; ++column) std::getline(fields, field, '\t');
    EXPECT_EQ(field, "0") << line;  // Exitval
    ++jobCount;
  }
  EXPECT_EQ(jobCount, 4);
}

// Ctrl-C stops the batch: exit status 130, the output ends properly and is kept.
TEST(WorkbenchCli, InterruptStopsTheBatch) {
  REQUIRE_SAMPLES();
  CliHome home;
  TempDir dir;
  const std::string log = dir / "log.txt";
  const std::string command =
      home.CommandLine("--preset 0/0 " + Sample("phone.3gp")) + " >" + ShellQuote(log) + " 2>&1";
  const pid_t pid = StartCommand(command);
  ASSERT_GE(pid, 0);
  auto logText = [&log] { return ReadText(log); };
  // Interrupted once the conversion shows progress, however slow the start.
  for (int i = 0; i < 400 && logText().find("%\n") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_NE(logText().find("%\n"), std::string::npos) << logText();
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << logText();
  const std::vector<std::string> outputs = home.Outputs();
  ASSERT_EQ(outputs.size(), 1u) << logText();
  EXPECT_NE(logText().find("not finished: " + outputs[0]), std::string::npos) << logText();
  const double duration = Duration(outputs[0]);
  EXPECT_GT(duration, 0.0);
  EXPECT_LT(duration, 200.0);
}

// Two seconds of 720p grain and a tone: hard to compress, as the size limit's worst case.
std::string GrainyClip() {
  return Fixture("cli_grain720.mp4",
                 "-f lavfi -i testsrc=size=1280x720:rate=25:duration=2,noise=alls=40:allf=t "
                 "-f lavfi -i sine=duration=2 -c:v libx264 -preset ultrafast -crf 26 -c:a aac -shortest");
}

struct TLimitCase {
  std::string Choice;
  int64_t Limit;      // bytes, given in KB
  double LeastShare;  // of the limit the output uses at least
  bool SmallerFrame;  // the frame must come out below the job's
};

// Every output finished under a limit fits it, in bytes: the rates follow the limit, the frame
// and the audio give way below the codec's floor (the MPEG-4 encoder is never handed a rate it
// would abort on), a first try over the limit is encoded again; the two-pass statistics leave
// nothing behind.
TEST(WorkbenchCli, MaxSizeFitsEveryOutput) {
  const std::string source = GrainyClip();
  const std::vector<TLimitCase> cases = {
      {"--custom mkv:1280x720:4000000:25", 400000, 0.85, false},  // x264, two passes
      {"--preset mp4/12", 200000, 0.5, true},                     // MPEG-4 at 720p, far below its floor
      // The preset's own rate should fit but overshoots: encoded again, at a lower rate and frame.
      {"--preset mp4/12", 1000000, 0.5, true},
      // A quality-based preset: the limit's rate takes the place of its quality.
      {"--preset 'MP4 H.264/720p'", 400000, 0.5, false},
  };
  for (const TLimitCase& c : cases) {
    SCOPED_TRACE(c.Choice + " " + std::to_string(c.Limit));
    CliHome home;
    TempDir tmp;
    const CommandResult r = RunCommand("TMPDIR=" + ShellQuote(tmp.Path().string()) + " " +
                                       home.CommandLine("--max-size " + std::to_string(c.Limit / 1000) +
                                                        "KB " + c.Choice + " " + ShellQuote(source)));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("size: cli_grain720.mp4: 预计 "), std::string::npos) << r.output;
    const std::string out = SingleOutput(home, r);
    ASSERT_FALSE(out.empty());
    const int64_t bytes = int64_t(fs::file_size(out));
    EXPECT_LE(bytes, c.Limit);
    EXPECT_GE(bytes, c.Limit * c.LeastShare);
    EXPECT_NEAR(Duration(out), 2, 0.2);
    const int width = std::stoi("0" + ProbeValue(out, "stream=width", "v:0"));
    EXPECT_EQ(width < 1280, c.SmallerFrame) << width;
    EXPECT_TRUE(fs::is_empty(tmp.Path())) << "the statistics stayed";
  }
}

// A limit that even the smallest frame and mono audio at their floors cannot meet is refused
// before anything is written, with the least size in the unit the user chose.
TEST(WorkbenchCli, MaxSizeOutOfReachIsRefusedWithTheLeastSize) {
  CliHome home;
  const CommandResult r = home.Run("--max-size 0.005MB --preset mp4/12 " + ShellQuote(GrainyClip()));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const size_t least = r.output.find("至少需要 ");
  ASSERT_NE(least, std::string::npos) << r.output;
  EXPECT_EQ(r.output.substr(least, r.output.find('\n', least) - least)
                .substr(r.output.find('\n', least) - least - 3),
            " MB")
      << r.output;
  EXPECT_TRUE(home.Outputs().empty());
}

// A ceiling, not a target: a job whose output is smaller than the limit is done as without it.
TEST(WorkbenchCli, MaxSizeAboveTheOutputChangesNothing) {
  REQUIRE_SAMPLES();
  CliHome plain, limited;
  const CommandResult a = plain.Run("--preset mp4/0 " + Sample("minimal.mp4"));
  const CommandResult b = limited.Run("--max-size 1GiB --preset mp4/0 " + Sample("minimal.mp4"));
  ASSERT_EQ(a.exitCode, 0) << a.output;
  ASSERT_EQ(b.exitCode, 0) << b.output;
  const std::string first = SingleOutput(plain, a), second = SingleOutput(limited, b);
  ASSERT_FALSE(first.empty() || second.empty());
  EXPECT_EQ(fs::file_size(first), fs::file_size(second));
}

// kill -9 in the middle of a file: no file under an output's name holds anything but the empty
// reservation, and the next run into the folder removes what the killed one left.
TEST(WorkbenchCli, AKilledRunLeavesNoBrokenOutputAndTheNextRunClearsItsParts) {
  REQUIRE_SAMPLES();
  CliHome home;
  TempDir dir;
  const std::string log = dir / "log.txt";
  const pid_t pid = StartCommand(home.CommandLine("--preset 0/0 " + Sample("phone.3gp")) + " >" +
                                 ShellQuote(log) + " 2>&1");
  ASSERT_GE(pid, 0);
  for (int i = 0; i < 400 && ReadText(log).find("%\n") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(pid, SIGKILL);
  ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
  int parts = 0;
  for (const std::string& file : home.Outputs()) {
    const bool part = fs::path(file).filename().string()[0] == '.';
    parts += part;
    EXPECT_EQ(fs::file_size(file) > 0, part) << file;
  }
  EXPECT_EQ(parts, 1) << ReadText(log);

  const CommandResult r = home.Run("--preset 0/0 " + Sample("minimal.mp4"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string output = SingleOutput(home, r);
  EXPECT_GT(Duration(output), 0.0) << output;
}

}  // namespace
}  // namespace ok::test
