#pragma once
// The window's language: the program's texts (platform/translation) and Qt's own dialogs
// ("Open", "Cancel", ...) from Qt's translations, both from the environment's choice.

namespace ok {

// Call after QApplication exists (it resets the locale); again after the environment changed.
void SetUpWindowLanguage();

}  // namespace ok
