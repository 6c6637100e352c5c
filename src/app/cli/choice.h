#pragma once
// Finding a box item from the command line: by the name the box shows, without regard to case,
// or by its position counted from 0.

#include <string>
#include <vector>

namespace ok::cli {

// The position of the item `key` names among `captions`, or -1. A caption also answers to its part
// before a "(" ("MP4  (适合手机...)" to "mp4") and to its part after a leading ordinal ("04 1080p" to
// "1080p"). A name that matches wins over a position.
int FindChoice(const std::vector<std::string>& captions, const std::string& key);

// Up to `count` captions nearest to `key` (fewest edits, without regard to case), nearest first.
std::vector<std::string> NearestChoices(const std::vector<std::string>& captions, const std::string& key,
                                        size_t count = 5);

}  // namespace ok::cli
