#pragma once
// The arguments of ostrelkalvexa-cli: which settings page, its choices, the clip, the files.

#include <array>
#include <string>
#include <vector>

#include "app/cli/program_options.h"

namespace ok::cli {

enum TSettingsChoice { scNone, scPreset, scDevice, scLike, scCustom };

// --custom TYPE:WxH:BITRATE:FPS[:crop=T,B,L,R][:pad=T,B,L,R][:quality=Q], as typed: the custom page's edits
// judge the numbers.
struct TCustomValues {
  std::string Type;
  std::string Width, Height, Bitrate, FrameRate;
  bool Crop = false;
  std::array<std::string, 4> CropValues;  // top, bottom, left, right
  bool Pad = false;
  std::array<std::string, 4> PadValues;
  bool Quality = false;
  std::string QualityValue;  // only the quality-based types take one
};

struct TCliArguments {
  bool List = false;
  bool RemovePreset = false;  // --remove-preset TYPE/NAME, in First and Second
  std::string OutputFolder;   // "" keeps the window's
  bool Clip = false;
  double ClipStart = 0, ClipEnd = 0;  // seconds
  int Parallel = 0;                   // 0 keeps the settings'
  int Threads = -1;                   // -1 keeps the settings'; 0 as many as cores
  std::string MaxSize;                // --max-size as typed (checked), "" for no limit
  TSettingsChoice Choice = scNone;
  std::string First, Second;  // TYPE and NAME of --preset, BRAND and MODEL of --device
  std::string Sample;         // --like
  TCustomValues Custom;
  std::vector<std::string> Files;
};

// What the command line asks for; `problem` says what is wrong with one that is refused.
TParseResult ParseCliArguments(int argc, char** argv, TCliArguments& args, std::string& problem);

std::string CliUsage();

}  // namespace ok::cli
