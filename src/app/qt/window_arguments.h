#pragma once
// The window's command line, read before the application connects to a display: --help and
// --version are answered without one.

#include <string>
#include <vector>

namespace ok {

// -1 when the window is to open with `files` (its FILE and FOLDER arguments); else the exit
// status after the usage, the version or a refusal was printed.
int ReadWindowArguments(int argc, char** argv, std::vector<std::string>& files);

}  // namespace ok
