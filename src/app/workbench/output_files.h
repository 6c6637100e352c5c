#pragma once

#include <string>

namespace ok {

// An output is written under a hidden part name beside its final name and takes the final name
// only when its task has ended with something worth keeping, so that a killed run never leaves a
// broken file under a name that looks finished. The writer's process id in the name tells a
// later batch whether the part is still being written.

// Bytes a part name adds to its output's name; output names leave room for them.
constexpr size_t PartNameExtraBytes = 20;

// ".<stem>.<pid>.ok-part<suffix>" beside `output` ("<stem><suffix>"): the suffix stays last, so
// the container is still told by the name. `pid` 0: this process.
std::string PartFileName(const std::string& output, int pid = 0);
// The output name (without folder) and writer of a part name; false for any other name.
bool ParsePartFileName(const std::string& name, std::string& output, int& pid);
// Removes from `folder` the parts whose writer is gone, with the empty output each had reserved.
void RemoveAbandonedParts(const std::string& folder);
// A task has ended: its part becomes the output when it holds anything (what the engine keeps of
// a failed or stopped task is whole), else it goes. Returns true when the output was written.
bool SettlePart(const std::string& part, const std::string& output);

}  // namespace ok
