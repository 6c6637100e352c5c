#pragma once
// Small text helpers every layer uses: formatting and trimming.

#include <string>

namespace ok {

// printf-style formatting into a string of any length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Removes spaces and control characters (every byte up to ' ') at both ends.
std::string TrimText(const std::string& text);

// Removes spaces and tabs (only those) at both ends.
std::string TrimBlanks(const std::string& text);

}  // namespace ok
