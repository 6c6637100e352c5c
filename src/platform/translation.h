#pragma once
// The language of the user interface. Chinese is the source text and what a zh* locale shows;
// every other locale (C and POSIX included) shows English from the "ostrelkalvexa" gettext
// catalogue. The choice reads LANGUAGE, LC_ALL, LC_MESSAGES and LANG itself, so it holds where
// the locale asked for was never generated.

#include <string>

namespace ok {

// True when the first of LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and LANG that is set
// and not empty names Chinese (zh*).
bool ChineseWanted();

// That setting ("zh_CN.UTF-8", "en", ...), "" when none is set.
std::string WantedLanguage();

// Chooses the language and binds the catalogue (beside the program in "locale/", else the
// installed "share/locale/"). Call once at start, before other threads run, and in the window
// after QApplication exists (which resets the locale).
void SetUpTranslation();

// True when SetUpTranslation chose English.
bool EnglishChosen();

// `text` (a Chinese source text) in the chosen language; `text` itself when the catalogue has none.
const char* Tr(const char* text);
std::string Tr(const std::string& text);

}  // namespace ok
