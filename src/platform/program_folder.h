#pragma once
// Where the program and its settings live.

#include <string>

namespace ok {

// The folder of the executable with a trailing "/". The environment variable OSTRELKALVEXA_HOME,
// when set and not empty, takes its place (for settings, profiles and LibAV alike). "" when the
// executable's path cannot be found.
std::string ProgramFolder();

// ProgramFolder() when the process may write there; otherwise $XDG_CONFIG_HOME/ostrelkalvexa/
// (by default ~/.config/ostrelkalvexa/), created when missing. Ends with "/".
std::string SettingsFolder();

// The user's home folder ($HOME, else the password database), without a trailing "/"; "" when unknown.
std::string HomeFolder();

// SettingsFolder() + name, e.g. SettingsFile("config.ini").
std::string SettingsFile(const std::string& name);

}  // namespace ok
