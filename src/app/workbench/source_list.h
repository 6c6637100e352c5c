#pragma once
// The source list's file filter, shared by the model and the open dialogs of the front ends.

#include <string>
#include <vector>

namespace ok {

// The open dialog's filter: display name, "|", the patterns separated by ";".
inline constexpr const char* VideoFilesFilter =
    "Video Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;"
    "*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MTS;*.M2TS";

// The extensions of the filter's patterns, with their dot, upper case (".AVI", ...).
const std::vector<std::string>& VideoFileExtensions();

// True when the file name's extension is one of the filter's, in any letter case.
bool IsVideoFileName(const std::string& path);

}  // namespace ok
