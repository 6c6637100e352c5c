#include "platform/text_utils.h"

#include <cstdarg>
#include <cstdio>

namespace ok {

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? size_t(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

std::string TrimText(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string TrimBlanks(const std::string& text) {
  const size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

}  // namespace ok
