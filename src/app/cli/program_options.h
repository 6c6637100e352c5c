#pragma once
// What every program of the product does alike on its command line, the window included: the
// --version text and the refusal of an option getopt_long could not take.

#include <getopt.h>

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

// What is wrong with the argument getopt_long answered `result` ('?' or ':') for, over the options
// `longOptions`: "unknown option --bogus", "--clip needs a value".
std::string GetoptProblem(int result, const option* longOptions, char** argv);

}  // namespace ok::cli
