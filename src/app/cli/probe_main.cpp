// ostrelkalvexa-probe FILE [SECONDS]: describes a media file the way the converter's probe sees it
// and, with SECONDS, writes the frame at that time as <file name>.bmp into the current folder.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/cli/program_options.h"
#include "media/av_probe.h"
#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "platform/program_folder.h"

namespace {

constexpr int ExitFailure = 1;

const char* const UsageText =
    "usage: ostrelkalvexa-probe [--] FILE [SECONDS]\n"
    "       ostrelkalvexa-probe --help | --version\n"
    "  Prints the streams and tags of FILE; with SECONDS (a decimal number >= 0) also\n"
    "  writes the video frame at that time as <name of FILE>.bmp into the current folder.\n";

// A decimal number of seconds >= 0 as microseconds; false when the text is not one.
bool ParseSeconds(const std::string& text, int64_t& microseconds) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 9.0e12) return false;
  microseconds = std::llround(seconds * 1e6);
  return true;
}

// What the command line asks for: FILE and SECONDS (-1 without) for the work.
ok::cli::TParseResult ParseArguments(int argc, char** argv, std::string& fileName, int64_t& frameTime,
                                     std::string& problem) {
  using namespace ok::cli;
  static const option options[] = {HelpOption, VersionOption, {}};
  int operands = argc;
  const auto noOwnOptions = [](int, const std::string&) { return std::string(); };
  if (const TParseResult result = ScanOptions(argc, argv, ":", options, noOwnOptions, problem, operands);
      result != prRun)
    return result;
  const int count = argc - operands;
  if (count < 1 || count > 2)
    problem = "give a FILE and at most SECONDS";
  else if ((fileName = argv[operands]).empty())
    problem = "FILE may not be an empty name";
  else if (count == 2 && !ParseSeconds(argv[operands + 1], frameTime))
    problem = "SECONDS takes a decimal number >= 0";
  return problem.empty() ? prRun : prBadArguments;
}

}  // namespace

int main(int argc, char** argv) {
  std::string fileName, problem;
  int64_t frameTime = -1;
  const ok::cli::TParseResult parsed = ParseArguments(argc, argv, fileName, frameTime, problem);
  if (parsed != ok::cli::prRun)
    return ok::cli::AnswerCommandLine(parsed, "ostrelkalvexa-probe", UsageText, problem);

  try {
    ok::FFLoader.SetLibraryPath(ok::ProgramFolder() + "LibAV");
    if (!ok::FFLoader.LoadLibs(ok::RequiredLibraries)) {
      std::cerr << ok::FFLoader.GetLastErrMsg() << "\n";
      return ExitFailure;
    }
    // Only the libraries' errors reach the terminal; the probe's own notes are for the log.
    ok::FF.av_log_set_level(AV_LOG_ERROR);

    ok::TAVProbe probe;
    if (!probe.LoadFile(fileName)) {
      std::cerr << "error: " << probe.ErrorMessage() << "\n";
      return ExitFailure;
    }

    ok::TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    std::cout << "StreamCount: " << probe.StreamCount() << "\n"
              << "ProgramCount: " << probe.ProgramCount() << "\n"
              << "AudioStreamCount: " << probe.AudioStreamCount() << "\n"
              << "VideoStreamCount: " << probe.VideoStreamCount() << "\n"
              << "SubtitleStreamCount: " << probe.SubtitleStreamCount() << "\n"
              << "FirstAudioStream: " << probe.FirstAudioStream() << "\n"
              << "FirstVideoStream: " << probe.FirstVideoStream() << "\n"
              << "FirstSubtitleStream: " << probe.FirstSubtitleStream() << "\n"
              << "StartTime: " << info.StartTime << "\n"
              << "Duration: " << info.Duration << "\n"
              << "BitRate: " << info.BitRate << "\n"
              << "Timestamp: " << info.Timestamp << "\n"
              << "Year: " << info.Year << "\n"
              << "Track: " << info.Track << "\n"
              << "Title: " << info.Title << "\n"
              << "Author: " << info.Author << "\n"
              << "Copyright: " << info.Copyright << "\n"
              << "Comment: " << info.Comment << "\n"
              << "Album: " << info.Album << "\n"
              << "Genre: " << info.Genre << "\n";

    if (frameTime >= 0) {
      const ok::TBitmap& bitmap = probe.GetFrameBitmap(-1, frameTime);
      if (!probe.FrameReady()) {
        std::cout.flush();
        std::cerr << "error: " << probe.ErrorMessage() << "\n";
        return ExitFailure;
      }
      // The whole name, so that x.mp4 and x.avi do not share a picture and clip.bmp is not replaced.
      const std::string bmpName = std::filesystem::path(fileName).filename().string() + ".bmp";
      std::error_code error;
      if (std::filesystem::equivalent(bmpName, fileName, error)) {
        std::cout.flush();
        std::cerr << "error: " << bmpName << " is the input itself\n";
        return ExitFailure;
      }
      if (!bitmap.SaveToFile(bmpName)) {
        std::cout.flush();
        std::cerr << "error: cannot write " << bmpName << "\n";
        return ExitFailure;
      }
      std::cout << "FramePTS: " << probe.LastPTS() << "\n"
                << "Bitmap: " << bmpName << "\n";
    }
    std::cout.flush();
    return std::cout ? 0 : ExitFailure;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "error: " << e.what() << "\n";
    return ExitFailure;
  }
}
