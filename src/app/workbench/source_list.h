#pragma once
// The source list's file filter (VideoFileFilter) as extensions, for folders and drag and drop.

#include <string>
#include <vector>

#include "app/workbench/workbench_texts.h"

namespace ok {

// The extensions of the filter's patterns, with their dot, upper case (".AVI", ...).
const std::vector<std::string>& VideoFileExtensions();

// True when the file name's extension is one of the filter's, in any letter case.
bool IsVideoFileName(const std::string& path);

}  // namespace ok
