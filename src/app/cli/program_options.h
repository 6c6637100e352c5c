#pragma once
// What every program of the product does alike on its command line, the window included: the
// --version text and the refusal of an option getopt_long could not take.

#include <getopt.h>

#include <functional>
#include <string>

namespace ok::cli {

// What a command line asks for.
enum TParseResult {
  prRun,            // the program's work
  prHelp,           // --help
  prVersion,        // --version
  prRefusedOption,  // an option getopt_long could not take
  prBadArguments,   // options it took, with values or a combination the program cannot take
};

// Prints what `result` asks for other than the work, the usage or the version on standard output,
// a refusal on standard error, and returns the exit status; -1 for prRun.
int AnswerCommandLine(TParseResult result, const char* program, const std::string& usage,
                      const std::string& problem, const char* qtVersion = nullptr);

// "OstrelKalvexa 1.4", then the FFmpeg libraries loaded from where the programs load them, then
// `qtVersion` (the window's) when given; one per line.
std::string VersionText(const char* qtVersion = nullptr);

// The values of --help and --version in a program's long options; a program's own long-only
// options take values from OwnOptions on, past any character, so that optopt tells them apart.
enum { OptionHelp = 256, OptionVersion, OwnOptions };
inline constexpr option HelpOption{"help", no_argument, nullptr, OptionHelp};
inline constexpr option VersionOption{"version", no_argument, nullptr, OptionVersion};

// Scans the command line with getopt_long from its start: hands each option (and, with an
// optstring that starts with '-', each operand in its place as 1) with its value to `take`, which
// returns what is wrong with it or "". Answers --help, --version and an option getopt_long could
// not take itself. `operands` is where the arguments after the options (after --) begin.
TParseResult ScanOptions(int argc, char** argv, const char* optstring, const option* longOptions,
                         const std::function<std::string(int option, const std::string& value)>& take,
                         std::string& problem, int& operands);

}  // namespace ok::cli
