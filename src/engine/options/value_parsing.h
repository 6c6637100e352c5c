#pragma once
// Reading option values: the strict conversions that raise EConvertError, the lenient ones that
// fall back to a default, and the prefix readers that leave the position after the number.

#include <cstdint>
#include <string>

namespace ok {

// A flag option: true unless the value is exactly "0" (so an empty value is true).
bool IsTrueFlag(const std::string& value);

// Decimal integers with optional leading blanks and sign and nothing after the digits. Raise
// EConvertError "'%s' is not a valid integer value" for anything else or a value out of range.
int StrToInt(const std::string& value);
int64_t StrToInt64(const std::string& value);
int StrToIntDef(const std::string& value, int fallback);

// A decimal number with "." as separator (blanks around it allowed, exponent allowed; no
// infinities, no NaN, whatever the process locale). StrToFloat raises EConvertError
// "'%s' is not a valid floating point value".
double StrToFloat(const std::string& value);
double StrToFloatDef(const std::string& value, double fallback);

// An integer with automatic base ("0x" hexadecimal, leading "0" octal, else decimal) read from
// `p` up to the first character that is not part of it; `p` then stands on that character. No
// number gives 0 and leaves `p` where it was. Values beyond the 32-bit range are clamped.
int ReadPrefixedInt(const char*& p);

// A decimal number read from `p` like ReadPrefixedInt; no number gives 0.
double ReadDecimalPrefix(const char*& p);

// Rounds to the nearest integer, halves to the even neighbour.
int64_t RoundHalfEven(double value);

}  // namespace ok
