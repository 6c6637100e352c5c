#pragma once
// The custom page saved as a user preset: a profile file in the catalogue's own format, in the
// user's preset folder, which ReadProfile reads back as the same job.

#include <string>

namespace ok {

struct profile_rec;

// The text of a profile file holding every value of `p` that differs from what ReadProfile
// assumes for a missing key.
std::string ProfileFileText(const profile_rec& p);

// Why `name` cannot name a preset file (empty, a "/" in it, "." or ".."); "" when it can.
std::string PresetNameRefusal(const std::string& name);

}  // namespace ok
