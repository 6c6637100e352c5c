#include "app/cli/cli_arguments.h"

#include <cstdlib>

#include "app/cli/cli_common.h"
#include "app/workbench/size_limit.h"

namespace ok::cli {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

// Seconds as digits with at most one decimal point; no signs, exponents or words.
bool ParseSeconds(const std::string& text, double& seconds) {
  if (text.empty() || text == "." || text.find_first_not_of("0123456789.") != std::string::npos ||
      text.find('.') != text.rfind('.'))
    return false;
  seconds = std::strtod(text.c_str(), nullptr);
  return true;
}

std::string ParseClip(const std::string& text, TCliArguments& args) {
  const std::vector<std::string> parts = Split(text, '-');
  if (parts.size() != 2 || !ParseSeconds(parts[0], args.ClipStart) || !ParseSeconds(parts[1], args.ClipEnd))
    return "--clip takes START-END in seconds, e.g. 1.5-3";
  if (args.ClipStart >= args.ClipEnd) return "--clip: END must come after START";
  args.Clip = true;
  return "";
}

std::string ParsePair(const std::string& option, const std::string& text, const char* first,
                      const char* second, TCliArguments& args) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == text.size())
    return option + " takes " + first + "/" + second;
  args.First = text.substr(0, slash);
  args.Second = text.substr(slash + 1);
  return "";
}

std::string ParseFour(const std::string& name, const std::string& text, std::array<std::string, 4>& values) {
  const std::vector<std::string> parts = Split(text, ',');
  if (parts.size() != 4) return "--custom: " + name + "= takes four values T,B,L,R";
  for (size_t i = 0; i < 4; ++i) values[i] = parts[i];
  return "";
}

std::string ParseCustom(const std::string& text, TCustomValues& custom) {
  const std::vector<std::string> parts = Split(text, ':');
  const std::string form = "--custom takes TYPE:WxH:BITRATE:FPS[:crop=T,B,L,R][:pad=T,B,L,R][:quality=Q]";
  if (parts.size() < 4 || parts.size() > 7 || parts[0].empty()) return form;
  custom.Type = parts[0];
  size_t x = parts[1].find_first_of("xX");
  if (x == std::string::npos) return form;
  custom.Width = parts[1].substr(0, x);
  custom.Height = parts[1].substr(x + 1);
  custom.Bitrate = parts[2];
  custom.FrameRate = parts[3];
  for (size_t i = 4; i < parts.size(); ++i) {
    const std::string& extra = parts[i];
    if (extra.rfind("crop=", 0) == 0 && !custom.Crop) {
      custom.Crop = true;
      if (std::string problem = ParseFour("crop", extra.substr(5), custom.CropValues); !problem.empty())
        return problem;
    } else if (extra.rfind("pad=", 0) == 0 && !custom.Pad) {
      custom.Pad = true;
      if (std::string problem = ParseFour("pad", extra.substr(4), custom.PadValues); !problem.empty())
        return problem;
    } else if (extra.rfind("quality=", 0) == 0 && !custom.Quality) {
      custom.Quality = true;
      custom.QualityValue = extra.substr(8);
    } else {
      return form;
    }
  }
  return "";
}

}  // namespace

std::string CliUsage() {
  return "usage: ostrelkalvexa-cli --list\n"
         "       ostrelkalvexa-cli --remove-preset TYPE/NAME\n"
         "       ostrelkalvexa-cli [--output-folder DIR] [--clip START-END] [--parallel N] [--threads N]\n"
         "                         [--max-size SIZE]\n"
         "                         (--preset TYPE/NAME | --device BRAND/MODEL | --like SAMPLE |\n"
         "                          --custom TYPE:WxH:BITRATE:FPS[:crop=T,B,L,R][:pad=T,B,L,R][:quality=Q])\n"
         "                         [--] FILE...\n"
         "       ostrelkalvexa-cli --help | --version\n"
         "  Converts the FILEs as the window does. TYPE, NAME, BRAND and MODEL are names from --list\n"
         "  (any case) or positions counted from 0; START and END are seconds. Q is the quality of the\n"
         "  quality-based custom types (MP4 H.264 and H.265 0-51, WebM VP9 and MKV AV1 0-63; lower is\n"
         "  better); for those, 0 as WxH, BITRATE or FPS keeps the type's own. SIZE is a number with\n"
         "  an optional unit, B, K/KB, M/MB, G/GB (powers of 1000) or KiB, MiB, GiB (any case): every\n"
         "  output fits in it, or its row fails. Options take their value as --name VALUE or\n"
         "  --name=VALUE; after -- every argument is a FILE. The outputs' paths go to standard\n"
         "  output; progress and messages to standard error. --remove-preset removes a preset of\n"
         "  your own (one --list marks).\n";
}

TParseResult ParseCliArguments(int argc, char** argv, TCliArguments& args, std::string& problem) {
  enum {
    opList = OwnOptions,
    opOutputFolder,
    opClip,
    opParallel,
    opThreads,
    opMaxSize,
    opPreset,
    opDevice,
    opLike,
    opCustom,
    opRemovePreset
  };
  static const option options[] = {{"list", no_argument, nullptr, opList},
                                   {"output-folder", required_argument, nullptr, opOutputFolder},
                                   {"clip", required_argument, nullptr, opClip},
                                   {"parallel", required_argument, nullptr, opParallel},
                                   {"threads", required_argument, nullptr, opThreads},
                                   {"max-size", required_argument, nullptr, opMaxSize},
                                   {"preset", required_argument, nullptr, opPreset},
                                   {"device", required_argument, nullptr, opDevice},
                                   {"like", required_argument, nullptr, opLike},
                                   {"custom", required_argument, nullptr, opCustom},
                                   {"remove-preset", required_argument, nullptr, opRemovePreset},
                                   HelpOption,
                                   VersionOption,
                                   {}};
  auto choose = [&](TSettingsChoice choice) -> std::string {
    if (args.Choice != scNone) return "give only one of --preset, --device, --like and --custom";
    args.Choice = choice;
    return "";
  };
  int taken = 0;
  auto take = [&](int opt, const std::string& value) -> std::string {
    std::string problem;
    ++taken;
    switch (opt) {
      case opList:
        args.List = true;
        break;
      case opOutputFolder:
        if (value.empty()) problem = "--output-folder needs a folder";
        args.OutputFolder = value;
        break;
      case opClip:
        problem = ParseClip(value, args);
        break;
      case opParallel:
        if (!ParseCount(value, 1, 64, args.Parallel)) problem = "--parallel takes a number from 1 to 64";
        break;
      case opThreads:
        if (!ParseCount(value, 0, 64, args.Threads)) problem = "--threads takes a number from 0 to 64";
        break;
      case opMaxSize: {
        TSizeLimit limit;
        if (!ParseSizeLimit(value, limit))
          problem = "--max-size takes a size above 0 such as 25MB, 1.5GiB or 800K, not \"" + value + "\"";
        args.MaxSize = value;
        break;
      }
      case opPreset:
        problem = choose(scPreset);
        if (problem.empty()) problem = ParsePair("--preset", value, "TYPE", "NAME", args);
        break;
      case opDevice:
        problem = choose(scDevice);
        if (problem.empty()) problem = ParsePair("--device", value, "BRAND", "MODEL", args);
        break;
      case opLike:
        problem = choose(scLike);
        if (value.empty()) problem = "--like needs a sample video";
        args.Sample = value;
        break;
      case opCustom:
        problem = choose(scCustom);
        if (problem.empty()) problem = ParseCustom(value, args.Custom);
        break;
      case opRemovePreset:
        args.RemovePreset = true;
        problem = ParsePair("--remove-preset", value, "TYPE", "NAME", args);
        break;
    }
    return problem;
  };
  // Files may come before, between and after the options, as getopt_long lets them.
  int files = argc;
  if (const TParseResult result = ScanOptions(argc, argv, ":", options, take, problem, files);
      result != prRun)
    return result;
  for (int i = files; i < argc; ++i) args.Files.push_back(argv[i]);
  if (args.List) {
    if (argc != 2) problem = "--list takes nothing else";
  } else if (args.RemovePreset) {
    if (taken != 1 || !args.Files.empty()) problem = "--remove-preset takes nothing else";
  } else if (args.Choice == scNone) {
    problem = "choose the output with --preset, --device, --like or --custom";
  } else if (args.Files.empty()) {
    problem = "no FILE to convert";
  }
  return problem.empty() ? prRun : prBadArguments;
}

}  // namespace ok::cli
