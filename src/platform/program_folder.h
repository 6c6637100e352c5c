#pragma once
// Where the program and its settings live.

#include <string>

namespace ok {

// The folder of the executable with a trailing "/". The environment variable OSTRELKALVEXA_HOME,
// when set and not empty, takes its place (for settings, profiles and LibAV alike). "" when the
// executable's path cannot be found.
std::string ProgramFolder();

// The folder of the executable itself with a trailing "/", whatever OSTRELKALVEXA_HOME says; "" when
// unknown.
std::string ExecutableFolder();

// The settings folder, created when missing, ending with "/": the folder OSTRELKALVEXA_HOME names
// when it is set and writable (a portable setup), else $XDG_CONFIG_HOME/ostrelkalvexa/ (by default
// ~/.config/ostrelkalvexa/). Settings files that earlier versions kept beside the program are
// carried over into it once.
std::string SettingsFolder();

// Copies each of "config.ini" and "extfile.ini" from `from` into `to` where `to` has none yet; the
// files in `from` stay. Both folders end with "/".
void CarryOverSettings(const std::string& from, const std::string& to);

// The user's folder of kind `kind` ("VIDEOS", "DOWNLOAD", ...) as xdg-user-dir answers it: the
// XDG_<kind>_DIR entry of $XDG_CONFIG_HOME/user-dirs.dirs, else the home folder. No trailing "/".
std::string UserDirectory(const std::string& kind);

// The user's home folder ($HOME, else the password database), without a trailing "/"; "" when unknown.
std::string HomeFolder();

// SettingsFolder() + name, e.g. SettingsFile("config.ini").
std::string SettingsFile(const std::string& name);

}  // namespace ok
