#pragma once
// The 8-bit code page: a process setting through which text reaches 8-bit interfaces and legacy
// files. Text inside the program is UTF-8; the default code page is UTF-8, CP936 (GBK) can be chosen.

#include <cstddef>
#include <string>

namespace ok {

enum class TCodePage { Utf8, Cp936 };

void SetCodePage(TCodePage page);
TCodePage CurrentCodePage();

// UTF-8 text in the current code page. A character the code page cannot express becomes '?'
// and, when `lossless` is given, sets it to false.
std::string ToCodePage(const std::string& utf8, bool* lossless = nullptr);
// Text of the current code page as UTF-8; bytes that do not decode become U+FFFD.
std::string FromCodePage(const std::string& bytes);

// The same between UTF-8 and an explicit code page.
std::string Utf8ToPage(const std::string& utf8, TCodePage page, bool* lossless = nullptr);
std::string PageToUtf8(const std::string& bytes, TCodePage page);

bool IsValidUtf8(const std::string& text);

// The terminal columns UTF-8 text takes (a CJK character two, a combining mark none). Program text
// is UTF-8 whatever the user's locale, so widths are those of the UTF-8 locale; a byte that does not
// decode or a character without a width counts as one column.
size_t DisplayWidth(const std::string& utf8);
// The longest head of `utf8` that takes at most `columns` columns, cut on a character boundary.
std::string CutToWidth(const std::string& utf8, size_t columns);

}  // namespace ok
