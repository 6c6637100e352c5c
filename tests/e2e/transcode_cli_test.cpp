// The ostrelkalvexa-transcode program run as a user would run it, its outputs checked with ffprobe.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace ok::test {
namespace {

std::string Program() { return (fs::path(BuildDir()) / "ostrelkalvexa-transcode").string(); }

std::string Clip() {
  return Fixture("cli_clip.mkv",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 -ac 2 "
                 "-c:v mpeg4 -c:a pcm_s16le");
}

CommandResult RunTranscode(const std::string& arguments) {
  return RunCommand(ShellQuote(Program()) + " --log-level error " + arguments);
}

struct TCliCase {
  const char* Output;
  const char* Options;  // -o lines
  const char* Video;
  const char* Audio;
};

TEST(TranscodeCli, ConvertsABatchInParallel) {
  const std::vector<TCliCase> cases = {
      {"a.mp4", "-o vcodec=mpeg4 -o acodec=aac", "mpeg4", "aac"},
      {"b.avi", "-o vcodec=mpeg4 -o acodec=libmp3lame", "mpeg4", "mp3"},
      {"c.flv", "-o vcodec=flv -o acodec=libmp3lame -o ar=22050", "flv1", "mp3"},
      {"d.mkv", "-o vcodec=libx264 -o acodec=libmp3lame", "h264", "mp3"},
      {"e.wmv", "-o vcodec=wmv2 -o acodec=wmav2", "wmv2", "wmav2"},
      {"f.3gp", "-o vcodec=h263 -o s=176x144 -o acodec=aac -o ar=8000 -o ac=1", "h263", "aac"},
      {"g.mov", "-o vcodec=mpeg4 -o acodec=aac", "mpeg4", "aac"},
      {"h.rm", "-o vcodec=rv20 -o acodec=ac3", "rv20", "ac3"},
      {"i.mpeg", "-o vcodec=mpeg4 -o acodec=ac3", "mpeg4", "ac3"},
      {"j.ogg", "-o vcodec=libtheora -o acodec=flac", "theora", "flac"},
      {"k.mkv", "-o vcodec=copy -o acodec=copy", "mpeg4", "pcm_s16le"},
      {"l.mp4", "-o vcodec=mpeg4 -o an=1 -o s=80x60", "mpeg4", ""},
  };
  TempDir dir;
  std::string arguments = "--parallel 3";
  for (const TCliCase& c : cases)
    arguments += " " + ShellQuote(Clip()) + " " + c.Options + " " + ShellQuote(dir / c.Output);
  CommandResult r = RunTranscode(arguments);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (size_t i = 0; i < cases.size(); ++i) {
    const TCliCase& c = cases[i];
    SCOPED_TRACE(c.Output);
    EXPECT_NE(r.output.find("[" + std::to_string(i) + "] finished"), std::string::npos);
    EXPECT_EQ(ProbeValue(dir / c.Output, "stream=codec_name", "v:0"), c.Video);
    EXPECT_EQ(ProbeValue(dir / c.Output, "stream=codec_name", "a:0"), c.Audio);
    EXPECT_NEAR(std::stod("0" + ProbeValue(dir / c.Output, "format=duration")), 1.0, 0.1);
  }
  EXPECT_EQ(ProbeValue(dir / "l.mp4", "stream=width", "v:0"), "80");
  // Progress lines name the task and its share of the duration.
  EXPECT_NE(r.output.find("%"), std::string::npos);
}

// Queued tasks hold no file open: a batch larger than the open-file limit allows at once converts.
// More tasks than are set up at once (64), under a limit of open files below their number: every
// one converts; one whose input is gone by its turn fails alone, under its own number.
TEST(TranscodeCli, ABatchBeyondTheOpenFileLimitConverts) {
  const std::string tiny =
      Fixture("cli_tiny.mkv", "-f lavfi -i testsrc=size=64x48:rate=5:duration=0.6 -c:v mpeg4");
  TempDir dir;
  constexpr int Tasks = 70, Missing = 66;
  std::string arguments = "--parallel 2 --threads 1";
  for (int i = 0; i < Tasks; ++i)
    arguments += " " + ShellQuote(i == Missing ? dir / "gone.mkv" : tiny) + " -o vcodec=mpeg4 " +
                 ShellQuote(dir / (std::to_string(i) + ".avi"));
  const CommandResult r =
      RunCommand("ulimit -n 64 && " + ShellQuote(Program()) + " --log-level error " + arguments);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("[" + std::to_string(Missing) + "] failed: "), std::string::npos) << r.output;
  for (int i = 0; i < Tasks; ++i)
    if (i != Missing) {
      EXPECT_EQ(ProbeValue(dir / (std::to_string(i) + ".avi"), "stream=nb_read_frames", "v:0 -count_frames"),
                "3")
          << i;
    }
}

TEST(TranscodeCli, RefusalsAndFailures) {
  TempDir dir;
  // A task that cannot be given its output: nothing starts.
  CommandResult bad =
      RunTranscode(ShellQuote(Clip()) + " -o vcodec=nosuchcodec " + ShellQuote(dir / "x.mp4"));
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.output.find("error: "), std::string::npos) << bad.output;
  // Two tasks writing one file (through "..") are refused before anything starts.
  CommandResult shared = RunTranscode(ShellQuote(Clip()) + " " + ShellQuote(dir / "s.mp4") + " " +
                                      ShellQuote(Clip()) + " " + ShellQuote(dir / "sub/../s.mp4"));
  EXPECT_EQ(shared.exitCode, 2);
  EXPECT_NE(shared.output.find("is already the output of task 0"), std::string::npos) << shared.output;
  EXPECT_FALSE(fs::exists(dir / "s.mp4"));
  EXPECT_FALSE(fs::exists(dir / "x.mp4"));

  CommandResult missing = RunTranscode(ShellQuote(dir / "missing.mkv") + " " + ShellQuote(dir / "y.mp4"));
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.output.find("error: "), std::string::npos);

  CommandResult usage = RunTranscode(ShellQuote(Clip()));
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_NE(usage.output.find("usage:"), std::string::npos);
  CommandResult threads =
      RunTranscode("--threads -1 " + ShellQuote(Clip()) + " " + ShellQuote(dir / "t.mp4"));
  EXPECT_EQ(threads.exitCode, 2);
  EXPECT_NE(threads.output.find("--threads takes a number from 0 to 1024"), std::string::npos);
  CommandResult badThreads =
      RunTranscode(ShellQuote(Clip()) + " -o threads=many " + ShellQuote(dir / "t.mp4"));
  EXPECT_EQ(badThreads.exitCode, 2);
  EXPECT_NE(badThreads.output.find("threads must be a whole number >= 0"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "t.mp4"));

  // h263 takes only its few frame sizes: the task fails when its encoder opens, the next one runs.
  CommandResult failing =
      RunTranscode(ShellQuote(Clip()) + " -o vcodec=h263 " + ShellQuote(dir / "fail.3gp") + " " +
                   ShellQuote(Clip()) + " -o vcodec=mpeg4 " + ShellQuote(dir / "ok.mp4"));
  EXPECT_EQ(failing.exitCode, 1);
  EXPECT_NE(failing.output.find("[0] failed: Error while opening codec for output stream #0.0"),
            std::string::npos)
      << failing.output;
  EXPECT_NE(failing.output.find("[1] finished"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "fail.3gp") && fs::file_size(dir / "fail.3gp") == 0);

  // A header the muxer refuses (MPEG-4 Part 2 in WebM) leaves no file behind.
  CommandResult refused = RunTranscode(ShellQuote(Clip()) + " -o vcodec=mpeg4 " + ShellQuote(dir / "h.webm"));
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.output.find("Could not write header"), std::string::npos) << refused.output;
  EXPECT_FALSE(fs::exists(dir / "h.webm"));
}

// A value that would be ignored or would spoil the output stops the batch before it starts.
TEST(TranscodeCli, RefusedValuesNameTheirOption) {
  struct TRefusal {
    const char* Option;
    const char* Message;
  };
  const std::vector<TRefusal> refusals = {
      {"ss=-5", "Invalid duration specification for ss: -5"},
      {"t=0", "Invalid duration specification for t: 0"},
      {"t=-1", "Invalid duration specification for t: -1"},
      {"ar=-44100", "ar must be a whole number > 0, not '-44100'"},
      {"ac=-1", "ac must be a whole number > 0, not '-1'"},
      {"padtop=-2", "Top pad size must not be negative"},
      {"croptop=-2", "Top crop size must not be negative"},
      {"aspect=-1:1", "Incorrect aspect ratio specification."},
      {"vframes=-1", "vframes must be a whole number >= 0, not '-1'"},
      {"map=abc", "Incorrect stream map specification: abc"},
  };
  TempDir dir;
  for (const TRefusal& r : refusals) {
    SCOPED_TRACE(r.Option);
    CommandResult result =
        RunTranscode(ShellQuote(Clip()) + " -o " + r.Option + " " + ShellQuote(dir / "out.mp4"));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find(std::string("error: ") + r.Message), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(dir / "out.mp4"));
  }

  // A map to a stream the input lacks fails its task with that cause.
  CommandResult map = RunTranscode(ShellQuote(Clip()) + " -o map=0:99 " + ShellQuote(dir / "map.mp4"));
  EXPECT_EQ(map.exitCode, 1);
  EXPECT_NE(map.output.find("Could not find input stream #0.99"), std::string::npos) << map.output;

  CommandResult empty = RunTranscode(ShellQuote(Clip()) + " ''");
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_NE(empty.output.find("an OUTPUT may not be an empty name"), std::string::npos) << empty.output;
}

// A 96 kHz source into WMA, which takes at most 48 kHz: the nearest rate it takes, unless asked.
TEST(TranscodeCli, ASampleRateTheEncoderLacksBecomesTheNearestItTakes) {
  const std::string high = Fixture("cli_96k.mkv",
                                   "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i "
                                   "sine=duration=1:sample_rate=96000 -c:v mpeg4 -c:a pcm_s16le");
  TempDir dir;
  CommandResult r =
      RunTranscode(ShellQuote(high) + " -o vcodec=wmv2 -o acodec=wmav2 " + ShellQuote(dir / "a.wmv"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ProbeValue(dir / "a.wmv", "stream=sample_rate", "a:0"), "48000");
  CommandResult asked = RunTranscode(ShellQuote(high) + " -o vcodec=wmv2 -o acodec=wmav2 -o ar=96000 " +
                                     ShellQuote(dir / "b.wmv"));
  EXPECT_EQ(asked.exitCode, 2);
  EXPECT_NE(asked.output.find("Encoder wmav2 does not take a sample rate of 96000 Hz"), std::string::npos)
      << asked.output;
}

// A video track whose packets are all gone fails its task; without video it is an audio conversion.
TEST(TranscodeCli, AVideoTrackWithoutFramesFailsTheTask) {
  const std::string empty =
      Fixture("cli_no_pictures.mkv",
              "-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -f lavfi -i sine=duration=1 "
              "-c:v mpeg4 -bsf:v noise=drop=1 -c:a mp2");
  TempDir dir;
  CommandResult r =
      RunTranscode(ShellQuote(empty) + " -o vcodec=mpeg4 -o acodec=mp2 " + ShellQuote(dir / "v.mkv") + " " +
                   ShellQuote(empty) + " -o vn=1 -o acodec=mp2 " + ShellQuote(dir / "a.mkv"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("[0] failed: Input stream #0.0 gave no video frame"), std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(dir / "v.mkv"));
  EXPECT_NE(r.output.find("[1] finished"), std::string::npos) << r.output;
  EXPECT_EQ(ProbeValue(dir / "a.mkv", "stream=codec_name", "a:0"), "mp2");
}

TEST(TranscodeCli, OptionsThatTheRecordAlsoSetsTakeEffect) {
  TempDir dir;
  const std::string late = Fixture("cli_late.mkv",
                                   "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 "
                                   "-output_ts_offset 5");
  CommandResult r = RunTranscode(
      ShellQuote(Clip()) + " -o vcodec=mpeg4 -o padtop=20 -o padbottom=20 -o padcolor=255 -o alang=fre " +
      ShellQuote(dir / "red.mkv") + " " + ShellQuote(late) + " -o vcodec=mpeg4 -o copyts=1 " +
      ShellQuote(dir / "late.mkv"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ProbeValue(dir / "red.mkv", "stream=height", "v:0"), "160");
  const std::vector<int> pad = PixelAt(dir / "red.mkv", 160, 80, 5, dir);
  ASSERT_EQ(pad.size(), 3u);
  EXPECT_GT(pad[0], 200);
  EXPECT_LT(pad[1], 60);
  EXPECT_LT(pad[2], 60);
  EXPECT_EQ(ProbeValue(dir / "red.mkv", "stream_tags=language", "a:0"), "fre");
  EXPECT_NEAR(std::stod("0" + ProbeValue(dir / "late.mkv", "format=start_time")), 5.0, 0.1);
}

TEST(TranscodeCli, InterruptStopsWithPlayableOutputs) {
  TempDir dir;
  const std::string out = dir / "stopped.mp4";
  const std::string log = dir / "log.txt";
  // Real-time reading keeps the conversion going for a second.
  const std::string command = "exec " + ShellQuote(Program()) + " -i re=1 " + ShellQuote(Clip()) +
                              " -o vcodec=mpeg4 -o acodec=aac " + ShellQuote(out) + " >" + ShellQuote(log) +
                              " 2>&1";
  const pid_t pid = StartCommand(command);
  ASSERT_GE(pid, 0);
  // Interrupted once the conversion runs (its first progress line), however slow the start.
  auto running = [&log] { return ReadText(log).find("%") != std::string::npos; };
  for (int i = 0; i < 200 && !running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(running());
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const double duration = std::stod("0" + ProbeValue(out, "format=duration"));
  EXPECT_GT(duration, 0.1);
  EXPECT_LT(duration, 0.95);
}

// --help, --version, --name=VALUE, -iNAME=VALUE and -- before an output that looks like an option;
// refusals in one line.
TEST(TranscodeCli, TakesTheUsualCommandLineForms) {
  TempDir dir;
  const std::string clip = ShellQuote(Clip());
  ExpectCommandLineForms(
      "cd " + ShellQuote(dir.Path().string()) + " && " + ShellQuote(Program()),
      {
          {"--help", 0, "usage: ostrelkalvexa-transcode", ""},
          {"--version", 0, "OstrelKalvexa 1.4\nFFmpeg 5.", ""},
          {"--parallel=2 --log-level=error -ire=0 " + clip + " -ovcodec=mpeg4 a.avi -- " + clip + " -b.avi",
           0, "", "[1] finished"},
          {"--bogus " + clip + " c.avi", 2, "",
           "unknown option --bogus (see ostrelkalvexa-transcode --help)"},
          {"-x " + clip + " c.avi", 2, "", "unknown option -x"},
          {clip + " c.avi -o", 2, "", "-o needs a value"},
      });
  for (const char* output : {"a.avi", "-b.avi"})
    EXPECT_EQ(ProbeValue(dir / output, "stream=codec_name", "v:0"), "mpeg4");
  EXPECT_FALSE(fs::exists(dir / "c.avi"));
}

}  // namespace
}  // namespace ok::test
