#include "app/cli/program_options.h"

#include <cstdio>

#include "app/cli/cli_common.h"
#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "platform/program_folder.h"

namespace ok::cli {
namespace {

std::string VersionNumber(unsigned version) {
  return std::to_string(AV_VERSION_MAJOR(version)) + "." + std::to_string(AV_VERSION_MINOR(version)) + "." +
         std::to_string(AV_VERSION_MICRO(version));
}

// The long option whose value getopt_long reports as `val`, or nullptr.
const option* LongOption(const option* longOptions, int val) {
  for (const option* o = longOptions; o && o->name; ++o)
    if (!o->flag && o->val == val) return o;
  return nullptr;
}

// What is wrong with the argument getopt_long answered `result` ('?' or ':') for: "unknown option
// --bogus", "--clip needs a value".
std::string GetoptProblem(int result, const option* longOptions, char** argv) {
  // optopt names a short option or the value of a long one; 0 is a long name getopt did not know.
  const option* known = optopt ? LongOption(longOptions, optopt) : nullptr;
  std::string name = known ? std::string("--") + known->name : std::string("-") + char(optopt);
  if (result == ':') return name + " needs a value";
  if (known) return name + " takes no value";
  if (optopt) return "unknown option " + name;
  name = argv[optind - 1];
  return "unknown option " + name.substr(0, name.find('='));
}

}  // namespace

std::string VersionText(const char* qtVersion) {
  std::string text = "OstrelKalvexa " OK_VERSION "\n";
  FFLoader.SetLibraryPath(ProgramFolder() + "LibAV");
  if (FFLoader.LoadLibs(RequiredLibraries))
    text += std::string("FFmpeg ") + FF.av_version_info() + " (libavcodec " +
            VersionNumber(FF.avcodec_version()) + ", libavutil " + VersionNumber(FF.avutil_version()) + ")\n";
  else
    text += "FFmpeg not loaded: " + FFLoader.GetLastErrMsg() + "\n";
  if (qtVersion) text += std::string("Qt ") + qtVersion + "\n";
  return text;
}

int AnswerCommandLine(TParseResult result, const char* program, const std::string& usage,
                      const std::string& problem, const char* qtVersion) {
  switch (result) {
    case prRun:
      break;
    case prHelp:
      std::fputs(usage.c_str(), stdout);
      return std::fflush(stdout) == 0 ? ExitFinished : ExitFailed;
    case prVersion:
      std::fputs(VersionText(qtVersion).c_str(), stdout);
      return std::fflush(stdout) == 0 ? ExitFinished : ExitFailed;
    case prRefusedOption:
      // One line: the usage would bury the name of what was wrong.
      std::fprintf(stderr, "%s: %s (see %s --help)\n", program, problem.c_str(), program);
      return ExitUsage;
    case prBadArguments:
      std::fprintf(stderr, "%s: %s\n%s", program, problem.c_str(), usage.c_str());
      return ExitUsage;
  }
  return -1;
}

TParseResult ScanOptions(int argc, char** argv, const char* optstring, const option* longOptions,
                         const std::function<std::string(int option, const std::string& value)>& take,
                         std::string& problem, int& operands) {
  optind = 0;  // a fresh scan
  opterr = 0;  // the refusal is ours
  for (int opt; (opt = getopt_long(argc, argv, optstring, longOptions, nullptr)) != -1;) {
    if (opt == OptionHelp) return prHelp;
    if (opt == OptionVersion) return prVersion;
    if (opt == '?' || opt == ':') {
      problem = GetoptProblem(opt, longOptions, argv);
      return prRefusedOption;
    }
    problem = take(opt, optarg ? optarg : "");
    if (!problem.empty()) return prBadArguments;
  }
  operands = optind;
  return prRun;
}

}  // namespace ok::cli
