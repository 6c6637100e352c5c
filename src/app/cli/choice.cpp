#include "app/cli/choice.h"

#include <algorithm>
#include <numeric>

#include "app/cli/cli_common.h"

namespace ok::cli {
namespace {

// Code points of UTF-8 text with ASCII letters folded to lower case; a stray byte stands for itself.
std::u32string Folded(const std::string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    char32_t code = length == 1 ? c : c & (0x3F >> (length - 1));
    bool sound = i + size_t(length) <= text.size();
    for (int k = 1; sound && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + size_t(k)]);
      sound = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!sound) {
      code = c;
      out.push_back(code);
      ++i;
      continue;
    }
    if (code >= 'A' && code <= 'Z') code += 'a' - 'A';
    out.push_back(code);
    i += size_t(length);
  }
  return out;
}

std::u32string Trimmed(const std::u32string& text) {
  const size_t first = text.find_first_not_of(U" \t");
  if (first == std::u32string::npos) return U"";
  return text.substr(first, text.find_last_not_of(U" \t") - first + 1);
}

// The caption itself and, when it has them, its part before the first "(" and its part after a
// leading ordinal ("04 1080p" answers to "1080p").
std::vector<std::u32string> Names(const std::string& caption) {
  const std::u32string whole = Trimmed(Folded(caption));
  std::vector<std::u32string> names{whole};
  if (const size_t bracket = whole.find(U'('); bracket != std::u32string::npos && bracket > 0)
    names.push_back(Trimmed(whole.substr(0, bracket)));
  for (size_t i = 0, count = names.size(); i < count; ++i) {
    const std::u32string& name = names[i];
    const size_t digits = name.find_first_not_of(U"0123456789");
    if (digits > 0 && digits != std::u32string::npos && name[digits] == U' ')
      names.push_back(Trimmed(name.substr(digits)));
  }
  return names;
}

size_t EditDistance(const std::u32string& a, const std::u32string& b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t(0));
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

int FindChoice(const std::vector<std::string>& captions, const std::string& key) {
  const std::u32string wanted = Trimmed(Folded(key));
  for (size_t i = 0; i < captions.size(); ++i)
    for (const std::u32string& name : Names(captions[i]))
      if (name == wanted) return int(i);
  int position = -1;
  if (ParseCount(key, 0, long(captions.size()) - 1, position)) return position;
  return -1;
}

std::vector<std::string> NearestChoices(const std::vector<std::string>& captions, const std::string& key,
                                        size_t count) {
  const std::u32string wanted = Trimmed(Folded(key));
  std::vector<std::pair<size_t, size_t>> ranked;  // distance, caption
  for (size_t i = 0; i < captions.size(); ++i) {
    size_t best = SIZE_MAX;
    for (const std::u32string& name : Names(captions[i])) {
      // A caption that holds the key is as near as the letters it adds.
      const size_t distance = name.find(wanted) != std::u32string::npos ? name.size() - wanted.size()
                                                                        : EditDistance(name, wanted);
      best = std::min(best, distance);
    }
    ranked.emplace_back(best, i);
  }
  std::stable_sort(ranked.begin(), ranked.end());
  std::vector<std::string> nearest;
  for (size_t i = 0; i < ranked.size() && i < count; ++i) nearest.push_back(captions[ranked[i].second]);
  return nearest;
}

}  // namespace ok::cli
