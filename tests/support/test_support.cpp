#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/file_utils.h"

namespace ok::test {

namespace {
std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}
}  // namespace

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p =
        fs::temp_directory_path() / ("okv-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Permissions removed by a test must not keep the folder from going.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto& e : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult r;
  std::string cmd = commandLine + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void ExpectCommandLineForms(const std::string& command, const std::vector<CommandLineForm>& forms) {
  TempDir dir;
  const std::string errFile = dir / "stderr";
  for (const CommandLineForm& form : forms) {
    SCOPED_TRACE(form.arguments);
    const CommandResult r =
        RunCommand("{ " + command + " " + form.arguments + " 2>" + ShellQuote(errFile) + "; }");
    const std::string err = ReadText(errFile);
    EXPECT_EQ(r.exitCode, form.exitCode) << r.output << err;
    for (const auto& [text, expected] : {std::pair{r.output, form.out}, std::pair{err, form.err}}) {
      if (expected.empty()) {
        EXPECT_EQ(text, "");
      } else {
        EXPECT_NE(text.find(expected), std::string::npos) << text;
      }
    }
    if (form.exitCode == 2 && err.find("--help") != std::string::npos) {
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
  }
}

pid_t StartCommand(const std::string& commandLine) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

std::string ReadText(const std::string& path) {
  std::string text;
  return ok::ReadFileBytes(path, text) ? text : std::string();
}

std::string ShellQuote(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string BuildDir() { return EnvOr("OK_BUILD_DIR", OK_DEFAULT_BUILD_DIR); }

std::string SourceDir() { return EnvOr("OK_SOURCE_DIR", OK_DEFAULT_SOURCE_DIR); }

std::string SamplesDir() {
  std::string dir = EnvOr("OK_SAMPLES_DIR", OK_DEFAULT_SAMPLES_DIR);
  std::error_code ec;
  return !dir.empty() && fs::is_directory(dir, ec) ? fs::canonical(dir).string() : "";
}

std::string Fixture(const std::string& name, const std::string& ffmpegArgs) {
  fs::path dir = fs::path(BuildDir()) / "fixtures";
  fs::create_directories(dir);
  fs::path file = dir / name;
  std::error_code ec;
  if (fs::exists(file, ec) && fs::file_size(file, ec) > 0) return file.string();
  // Tests run in parallel: make the file under a private name, then move it into place.
  fs::path part = dir / (std::to_string(::getpid()) + ".part." + name);
  CommandResult r = RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y " + ffmpegArgs + " " +
                               ShellQuote(part.string()));
  if (r.exitCode != 0) {
    ADD_FAILURE() << "fixture " << name << " could not be made: " << r.output;
    return file.string();
  }
  fs::rename(part, file);
  return file.string();
}

std::string TaggedSource() {
  const fs::path dir = fs::path(BuildDir()) / "fixtures";
  fs::create_directories(dir);
  const std::string meta = (dir / "modern_tags.txt").string(), srt = (dir / "modern_text.srt").string();
  std::ofstream(meta) << ";FFMETADATA1\ntitle=Source Title\ncreation_time=2020-01-02T03:04:05Z\n"
                         "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=One\n"
                         "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Two\n"
                         "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3000\nEND=4000\ntitle=Three\n";
  std::ofstream(srt)
      << "1\n00:00:00,500 --> 00:00:01,000\nHello\n\n2\n00:00:02,500 --> 00:00:03,000\nWorld\n";
  return Fixture(
      "modern_tagged.mkv",
      "-f lavfi -i testsrc2=size=160x120:rate=25:duration=4 -f lavfi -i sine=duration=4 -i " +
          ShellQuote(srt) + " -i " + ShellQuote(meta) +
          " -map 0 -map 1 -map 2 -map_metadata 3 -map_chapters 3 -c:v libx264 -g 25 -c:a aac -c:s srt "
          "-metadata:s:a language=fra -metadata:s:s language=eng");
}

std::string TurnedClip(const std::string& turn) {
  const std::string base =
      Fixture("turn_base.mp4",
              "-f lavfi -i \"color=c=blue:size=320x240:rate=25:duration=1,"
              "drawbox=x=0:y=0:w=160:h=120:c=red:t=fill\" -c:v libx264 -pix_fmt yuv420p");
  if (turn != "mirror")
    return Fixture("turn_" + turn + ".mp4",
                   "-i " + ShellQuote(base) + " -c copy -metadata:s:v:0 rotate=" + turn);
  const fs::path file = fs::path(BuildDir()) / "fixtures" / "turn_mirror.mp4";
  std::error_code ec;
  if (fs::exists(file, ec) && fs::file_size(file, ec) > 0) return file.string();
  std::ifstream in(base, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  // The version-0 track header's matrix follows 40 bytes of times, ids and volume: x -> 320 - x.
  const size_t header = bytes.find("tkhd");
  if (header == std::string::npos || bytes.size() < header + 80) {
    ADD_FAILURE() << "no track header in " << base;
    return file.string();
  }
  const int32_t matrix[9] = {-65536, 0, 0, 0, 65536, 0, 320 << 16, 0, 1 << 30};
  for (int i = 0; i < 9; ++i)
    for (int b = 0; b < 4; ++b)
      bytes[header + 44 + 4 * i + b] = char((uint32_t(matrix[i]) >> (24 - 8 * b)) & 0xff);
  const fs::path part = file.string() + "." + std::to_string(::getpid()) + ".part";
  std::ofstream(part, std::ios::binary) << bytes;
  fs::rename(part, file);
  return file.string();
}

std::string StillFirstClip() {
  return Fixture("still_first.mov",
                 "-f lavfi -i color=c=red:size=64x48:rate=25:duration=0.04 -f lavfi -i "
                 "testsrc2=size=320x240:rate=25:duration=1 -map 0 -map 1 -c:v:0 png -c:v:1 libx264");
}

bool TurnedAQuarter(const std::string& file) {
  return std::abs(std::atoi(ProbeValue(file, "stream_side_data=rotation", "v:0").c_str())) == 90;
}

std::vector<int> PixelAt(const std::string& file, int width, int x, int y, const TempDir& dir) {
  const std::string raw = dir / "pixel.rgb";
  RunCommand("ffmpeg -v error -y -i " + ShellQuote(file) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 " +
             ShellQuote(raw));
  std::ifstream in(raw, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  const size_t at = (size_t(y) * width + x) * 3;
  if (bytes.size() < at + 3) return {};
  return {uint8_t(bytes[at]), uint8_t(bytes[at + 1]), uint8_t(bytes[at + 2])};
}

std::string ProbeValue(const std::string& file, const std::string& entries, const std::string& streams) {
  std::string cmd = "ffprobe -v error ";
  if (!streams.empty()) cmd += "-select_streams " + streams + " ";
  // The libraries' complaints about damaged files go to standard error and stay out of the value.
  cmd += "-show_entries " + entries + " -of default=noprint_wrappers=1:nokey=1 " + ShellQuote(file);
  cmd = "{ { " + cmd + "; } 2>/dev/null; }";
  CommandResult r = RunCommand(cmd);
  while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r')) r.output.pop_back();
  return r.output;
}

}  // namespace ok::test

// Sanitizer settings of every test program.
extern "C" const char* __asan_default_options() { return "detect_leaks=1:strict_string_checks=1"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
