#pragma once
// The custom page saved as a user preset: a profile file in the catalogue's own format, under the
// user's settings folder, which ReadProfile reads back as the same job.

#include <string>

namespace ok {

struct profile_rec;

// The text of a profile file holding every value of `p` that differs from what ReadProfile
// assumes for a missing key.
std::string ProfileFileText(const profile_rec& p);

// SettingsFolder() + "profiles/videoconvert/" + `typeFolder` + "/".
std::string UserPresetFolder(const std::string& typeFolder);

// Why `name` cannot name a preset file (empty, a "/" in it, "." or ".."); "" when it can.
std::string PresetNameRefusal(const std::string& name);

}  // namespace ok
