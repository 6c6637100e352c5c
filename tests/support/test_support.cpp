#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
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
