#pragma once
// Helpers shared by the test programs: temporary folders, commands, fixtures made with ffmpeg.

#include <sys/types.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ok::test {

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

// A fresh folder below the system's temporary folder, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects what it prints.
CommandResult RunCommand(const std::string& commandLine);

// One form of a program's command line and what it must give: the exit status, and a text that
// standard output and standard error must each hold, "" for a stream that must stay empty. A
// refusal that points at --help must be one line.
struct CommandLineForm {
  std::string arguments;
  int exitCode;
  std::string out;
  std::string err;
};

// Runs `command` (a shell command line that ends with the program) with each form's arguments.
void ExpectCommandLineForms(const std::string& command, const std::vector<CommandLineForm>& forms);

// Starts a shell command line in a child process without waiting for it; its pid, or -1.
pid_t StartCommand(const std::string& commandLine);

// The whole content of a text file; "" when it cannot be read.
std::string ReadText(const std::string& path);

// Quotes a text for a POSIX shell.
std::string ShellQuote(const std::string& text);

// A media file made once per build with `ffmpeg -y <ffmpegArgs> <file>` in the build's fixtures
// folder and reused after; `name` is the file name (its extension picks the container).
std::string Fixture(const std::string& name, const std::string& ffmpegArgs);

// 4 s of 160x120 video with a key frame each second, French audio, English SRT subtitles, a title,
// a creation date and three chapters (0-1.5-3-4 s), in Matroska.
std::string TaggedSource();

// A 320x240 clip, its top-left quadrant red and the rest blue, stored with a display matrix:
// `turn` "90", "180" or "270" is the stream's rotate tag as this muxer generation writes it (as a
// counterclockwise turn: "90" is shown turned 270 degrees clockwise), "mirror" a left-right flip
// written into the track header.
std::string TurnedClip(const std::string& turn);

// A one-frame 64x48 PNG picture as the first video stream, then 1 s of 320x240 video.
std::string StillFirstClip();

// True when ffprobe finds the first video stream of `file` turned a quarter for display.
bool TurnedAQuarter(const std::string& file);

// The first picture of `file` (`width` pixels wide) at (x, y) as R, G, B; empty when unreadable.
std::vector<int> PixelAt(const std::string& file, int width, int x, int y, const TempDir& dir);

// `ffprobe` of one entry, e.g. ProbeValue(file, "stream=width", "v:0") -> "320".
std::string ProbeValue(const std::string& file, const std::string& entries, const std::string& streams = "");

// The folder of media samples made by other tools, or "" when it is not beside the checkout.
std::string SamplesDir();

// The build folder (where the programs and fakes are) and the checkout.
std::string BuildDir();
std::string SourceDir();

}  // namespace ok::test
