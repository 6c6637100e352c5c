// Damaged, hostile and unusual inputs through ostrelkalvexa-transcode and ostrelkalvexa-probe: each
// case is a fault that such inputs once found.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace ok::test {
namespace {

std::string Transcoder() { return (fs::path(BuildDir()) / "ostrelkalvexa-transcode").string(); }

CommandResult Transcode(const std::string& arguments) {
  return RunCommand("timeout 120 " + ShellQuote(Transcoder()) + " --log-level error " + arguments);
}

std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

uint32_t BigEndian32(const std::string& data, size_t at) {
  return uint32_t(uint8_t(data[at])) << 24 | uint32_t(uint8_t(data[at + 1])) << 16 |
         uint32_t(uint8_t(data[at + 2])) << 8 | uint32_t(uint8_t(data[at + 3]));
}

// An MP4 whose cover art is read before its video: the user-data box moved to the front of the
// movie box (the muxer writes it last; the size of the movie box does not change).
std::string CoverArtFirstMp4() {
  const fs::path file = fs::path(BuildDir()) / "fixtures" / "cover_first.mp4";
  if (fs::exists(file)) return file.string();
  const std::string cover = Fixture("cover.png", "-f lavfi -i color=red:size=64x64 -frames:v 1");
  const std::string source =
      Fixture("cover_last.mp4", "-i " + ShellQuote(cover) +
                                    " -f lavfi -i testsrc=size=160x120:rate=10:duration=1"
                                    " -map 0 -map 1 -c:v:0 mjpeg -c:v:1 mpeg4"
                                    " -disposition:v:0 attached_pic");
  std::string data = ReadAll(source);
  for (size_t at = 0; at + 8 <= data.size();) {
    const uint32_t size = BigEndian32(data, at);
    if (size < 8 || at + size > data.size()) break;
    if (data.compare(at + 4, 4, "moov") == 0) {
      std::vector<std::string> children;
      for (size_t c = at + 8; c + 8 <= at + size;) {
        const uint32_t childSize = BigEndian32(data, c);
        if (childSize < 8 || c + childSize > at + size) break;
        children.push_back(data.substr(c, childSize));
        c += childSize;
      }
      std::string body;
      for (const std::string& child : children)
        if (child.compare(4, 4, "mvhd") == 0 || child.compare(4, 4, "udta") == 0) body += child;
      for (const std::string& child : children)
        if (child.compare(4, 4, "mvhd") != 0 && child.compare(4, 4, "udta") != 0) body += child;
      if (body.size() == size - 8) data.replace(at + 8, body.size(), body);
      break;
    }
    at += size;
  }
  const fs::path part = file.string() + ".part";
  std::ofstream(part, std::ios::binary) << data;
  fs::rename(part, file);
  return file.string();
}

TEST(Reliability, EveryDecodedPictureFormatIsScaledAndCoverArtIsNotTheVideo) {
  TempDir dir;
  // MJPEG decodes to the full-range formats, which the setup cannot know before the first picture.
  for (const char* format : {"yuvj420p", "yuvj422p", "yuvj444p"}) {
    SCOPED_TRACE(format);
    const std::string cam =
        Fixture(std::string("cam_") + format + ".avi",
                "-f lavfi -i testsrc=size=320x240:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v mjpeg "
                "-pix_fmt " +
                    std::string(format) + " -c:a pcm_s16le");
    for (const char* size : {"320x240", "160x120"}) {
      const std::string out = dir / (std::string(format) + size + ".mp4");
      CommandResult r = Transcode(ShellQuote(cam) + " -o vcodec=mpeg4 -o s=" + size + " " + ShellQuote(out));
      EXPECT_EQ(r.exitCode, 0) << r.output;
      EXPECT_EQ(ProbeValue(out, "stream=nb_frames", "v:0"), "10") << r.output;
    }
  }

  const std::string coverFirst = CoverArtFirstMp4();
  ASSERT_EQ(ProbeValue(coverFirst, "stream_disposition=attached_pic", "v:0"), "1");
  const std::string out = dir / "real.avi";
  CommandResult r = Transcode(ShellQuote(coverFirst) + " -o vcodec=mpeg4 " + ShellQuote(out));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "160");
  EXPECT_EQ(ProbeValue(out, "stream=nb_frames", "v:0"), "10");
}

TEST(Reliability, AudioPacketTimesIncreaseForEveryMuxer) {
  TempDir dir;
  struct TTarget {
    const char* Extension;
    const char* Options;
  };
  const TTarget targets[] = {{"avi", "-o vcodec=mpeg4 -o acodec=libmp3lame"},
                             {"flv", "-o vcodec=flv -o acodec=libmp3lame"},
                             {"wmv", "-o vcodec=wmv2 -o acodec=wmav2"},
                             {"rm", "-o vcodec=rv20 -o acodec=ac3"}};
  std::string arguments = "--parallel 2";
  std::vector<std::string> outputs;
  for (const char* codec : {"libvorbis", "libopus", "aac", "ac3", "pcm_s16le"}) {
    const std::string source = Fixture(std::string("mux_") + codec + ".mkv",
                                       "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i "
                                       "sine=duration=1:sample_rate=44100 -c:v libvpx -c:a " +
                                           std::string(codec));
    for (const TTarget& t : targets) {
      outputs.push_back(dir / (std::string(codec) + "." + t.Extension));
      arguments += " " + ShellQuote(source) + " " + t.Options + " " + ShellQuote(outputs.back());
    }
  }
  // Vorbis in short blocks with millisecond times: the input clock jitters against the encoder's
  // frames, which once gave two MP3 packets one AVI tick.
  const std::string webm = SamplesDir().empty() ? "" : SamplesDir() + "/echo-hereweare.webm";
  if (fs::exists(webm)) {
    outputs.push_back(dir / "echo.avi");
    arguments += " " + ShellQuote(webm) + " -o t=2 -o vcodec=mpeg4 -o acodec=libmp3lame -o s=160x120 " +
                 ShellQuote(outputs.back());
  }
  CommandResult r = Transcode(arguments);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (size_t i = 0; i < outputs.size(); ++i) {
    SCOPED_TRACE(outputs[i]);
    EXPECT_NE(r.output.find("[" + std::to_string(i) + "] finished"), std::string::npos) << r.output;
    EXPECT_FALSE(ProbeValue(outputs[i], "stream=codec_name", "a:0").empty());
  }
}

TEST(Reliability, AFailedTaskKeepsItsOutputOnlyWithItsTrailer) {
  TempDir dir;
  const std::string clip =
      Fixture("rel_clip.mkv", "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg4 -q:v 1");
  // A file size limit fails the writes after the header, as a full disk does.
  const std::string out = dir / "cut.mp4";
  CommandResult r = RunCommand("trap '' XFSZ; ulimit -f 40; timeout 120 " + ShellQuote(Transcoder()) +
                               " --log-level error " + ShellQuote(clip) + " -o vcodec=mpeg4 -o qscale=1 " +
                               ShellQuote(out));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("File too large; the unfinished output was removed: " + out), std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(out));
  // A full disk says so, at the header or later; a device is never deleted.
  for (const char* format : {"mp4", "avi"}) {
    CommandResult full = Transcode(ShellQuote(clip) + " -o f=" + format + " -o vcodec=mpeg4 /dev/full");
    EXPECT_EQ(full.exitCode, 1) << full.output;
    EXPECT_NE(full.output.find("No space left on device"), std::string::npos) << full.output;
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  // Written whole: kept.
  CommandResult whole = Transcode(ShellQuote(clip) + " -o vcodec=mpeg4 " + ShellQuote(out));
  EXPECT_EQ(whole.exitCode, 0) << whole.output;
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
}

TEST(Reliability, InputsThatWouldBlockAreRefusedBeforeOpening) {
  TempDir dir;
  const std::string fifo = dir / "pipe.mp4";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A pipe without a writer blocks whoever opens it: the timeout would end that with 124.
  const std::string probe = (fs::path(BuildDir()) / "ostrelkalvexa-probe").string();
  for (const std::string& input : {fifo, std::string("/dev/zero")}) {
    SCOPED_TRACE(input);
    const std::string refusal = input + ": not a regular file or block device";
    CommandResult probed = RunCommand("timeout 20 " + ShellQuote(probe) + " " + ShellQuote(input));
    EXPECT_EQ(probed.exitCode, 1) << probed.output;
    EXPECT_NE(probed.output.find(refusal), std::string::npos) << probed.output;
    CommandResult converted = Transcode(ShellQuote(input) + " " + ShellQuote(dir / "out.mp4"));
    EXPECT_EQ(converted.exitCode, 2) << converted.output;
    EXPECT_NE(converted.output.find(refusal), std::string::npos) << converted.output;
  }
  EXPECT_FALSE(fs::exists(dir / "out.mp4"));
}

TEST(Reliability, AHangUpDuringTheSetUpStopsEveryTaskSetUp) {
  TempDir dir;
  const std::string clip =
      Fixture("rel_short.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4");
  // The information level shows each input as it is opened.
  std::vector<std::string> argv = {Transcoder(), "--log-level", "info"};
  constexpr int Tasks = 40;
  for (int i = 0; i < Tasks; ++i)
    for (const std::string& a :
         {clip, std::string("-o"), std::string("vcodec=mpeg4"), dir / (std::to_string(i) + ".mp4")})
      argv.push_back(a);
  const std::string log = dir / "log.txt";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    FILE* out = std::freopen(log.c_str(), "w", stderr);
    if (!out) _exit(127);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  // The first input is opened by the first task's set-up; 39 more are still to come.
  for (int i = 0; i < 400 && ReadAll(log).find("Input #0") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(pid, SIGHUP);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  const std::string text = ReadAll(log);
  ASSERT_TRUE(WIFEXITED(status)) << text;
  EXPECT_EQ(WEXITSTATUS(status), 130) << text;
  EXPECT_NE(text.find("[0] stopped"), std::string::npos) << text;
  EXPECT_EQ(text.find("[" + std::to_string(Tasks - 1) + "]"), std::string::npos) << text;
  EXPECT_EQ(text.find("finished"), std::string::npos) << text;
  // Nothing started: no output is left behind, least of all an empty one.
  for (const auto& entry : fs::directory_iterator(dir.Path())) EXPECT_EQ(entry.path().filename(), "log.txt");
}

TEST(Reliability, OptionsThatWouldNotTakeEffectAreRefusedBeforeAnythingStarts) {
  TempDir dir;
  const std::string clip =
      Fixture("rel_short.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4");
  const std::string out = dir / "never.mp4";
  const std::pair<const char*, const char*> refused[] = {
      {"-o nonsense=1", "unknown option 'nonsense'"},
      {"-o pix_fmt=nonsense", "unknown pixel format 'nonsense'"},
      {"-o sample_fmt=zz", "unknown sample format 'zz'"},
      {"-o b=-1", "invalid value '-1' for option 'b'"},
      {"-o g=abc", "invalid value 'abc' for option 'g'"},
  };
  for (const auto& [options, message] : refused) {
    SCOPED_TRACE(options);
    CommandResult r = Transcode(ShellQuote(clip) + " " + options + " " + ShellQuote(out));
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find(std::string("ostrelkalvexa-transcode: ") + message), std::string::npos)
        << r.output;
    EXPECT_FALSE(fs::exists(out));
  }
  CommandResult input = Transcode("-i bogus=1 " + ShellQuote(clip) + " " + ShellQuote(out));
  EXPECT_EQ(input.exitCode, 2) << input.output;
  EXPECT_NE(input.output.find("unknown option 'bogus'"), std::string::npos) << input.output;

  // What the engine and the libraries know passes: its own names, library and private options.
  CommandResult known = Transcode("-i re=0 " + ShellQuote(clip) +
                                  " -o vcodec=libx264 -o preset=ultrafast -o pix_fmt=yuv420p -o b=300000 "
                                  "-o flags=+qscale -o movflags=faststart " +
                                  ShellQuote(out));
  EXPECT_EQ(known.exitCode, 0) << known.output;
}

}  // namespace
}  // namespace ok::test
