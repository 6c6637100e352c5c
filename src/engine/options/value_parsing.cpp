#include "engine/options/value_parsing.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "engine/ffmpeg_exception.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

[[noreturn]] void NotAnInteger(const std::string& value) {
  throw EConvertError(FormatText("'%s' is not a valid integer value", value.c_str()));
}

// Leading blanks, an optional sign and at least one digit, nothing after them.
bool ParseDecimal(const std::string& value, int64_t min, int64_t max, int64_t& result) {
  size_t i = 0;
  while (i < value.size() && value[i] == ' ') ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  if (i == value.size()) return false;
  // Accumulate as a negative number so that the most negative value fits.
  int64_t n = 0;
  for (; i < value.size(); ++i) {
    char c = value[i];
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (n < (INT64_MIN + digit) / 10) return false;
    n = n * 10 - digit;
  }
  if (!negative) {
    if (n == INT64_MIN) return false;
    n = -n;
  }
  if (n < min || n > max) return false;
  result = n;
  return true;
}

// The longest decimal number at the start of `text` (after blanks and a sign): digits with at
// most one ".", then an optional exponent. Returns the number of characters used, 0 for none.
size_t ParseDoublePrefix(const char* text, double& result) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!((*p >= '0' && *p <= '9') || (*p == '.' && p[1] >= '0' && p[1] <= '9'))) return 0;
  double magnitude = 0;
  auto [end, ec] =
      std::from_chars(p, p + std::char_traits<char>::length(p), magnitude, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    magnitude = HUGE_VAL;
  } else if (ec != std::errc()) {
    return 0;
  }
  result = negative ? -magnitude : magnitude;
  return size_t(end - text);
}

}  // namespace

bool IsTrueFlag(const std::string& value) { return value != "0"; }

int StrToInt(const std::string& value) {
  int64_t n = 0;
  if (!ParseDecimal(value, INT_MIN, INT_MAX, n)) NotAnInteger(value);
  return int(n);
}

int64_t StrToInt64(const std::string& value) {
  int64_t n = 0;
  if (!ParseDecimal(value, INT64_MIN, INT64_MAX, n)) NotAnInteger(value);
  return n;
}

int StrToIntDef(const std::string& value, int fallback) {
  int64_t n = 0;
  return ParseDecimal(value, INT_MIN, INT_MAX, n) ? int(n) : fallback;
}

double StrToFloat(const std::string& value) {
  std::string text = TrimText(value);
  double result = 0;
  if (text.empty() || ParseDoublePrefix(text.c_str(), result) != text.size() || !std::isfinite(result))
    throw EConvertError(FormatText("'%s' is not a valid floating point value", value.c_str()));
  return result;
}

double StrToFloatDef(const std::string& value, double fallback) {
  std::string text = TrimText(value);
  double result = 0;
  if (text.empty() || ParseDoublePrefix(text.c_str(), result) != text.size() || !std::isfinite(result))
    return fallback;
  return result;
}

int ReadPrefixedInt(const char*& p) {
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(p, &end, 0);
  p = end;
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return int(n);
}

double ReadDecimalPrefix(const char*& p) {
  double result = 0;
  p += ParseDoublePrefix(p, result);
  return result;
}

int64_t RoundHalfEven(double value) {
  double lower = std::floor(value);
  double fraction = value - lower;
  double rounded = lower;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0)) rounded = lower + 1;
  if (rounded >= 9.2e18) return INT64_MAX;
  if (rounded <= -9.2e18) return INT64_MIN;
  return int64_t(rounded);
}

}  // namespace ok
