#include "platform/translation.h"

#include <libintl.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "platform/file_utils.h"
#include "platform/program_folder.h"

namespace ok {

namespace {

constexpr const char* Domain = "ostrelkalvexa";
std::atomic<bool> english{false};

}  // namespace

std::string WantedLanguage() {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(value, std::strcspn(value, ":"));
  }
  return "";
}

namespace {

// The build tree keeps the catalogues beside the programs; an installed program lives in
// <prefix>/lib/ostrelkalvexa/ and its catalogues in <prefix>/share/locale/.
std::string CatalogueFolder() {
  const std::string here = ExecutableFolder();
  if (FileExists(here + "locale/en/LC_MESSAGES/" + Domain + ".mo")) return here + "locale";
  return here + "../../share/locale";
}

}  // namespace

bool ChineseWanted() { return WantedLanguage().rfind("zh", 0) == 0; }

void SetUpTranslation() {
  english = !ChineseWanted();
  if (!english) return;
  // gettext ignores LANGUAGE under the plain C locale, and a locale never generated cannot be set:
  // C.UTF-8, which every Debian has, serves then. Only the messages' category changes, so
  // numbers keep their C form.
  const char* messages = std::setlocale(LC_MESSAGES, "");
  if (!messages || std::strcmp(messages, "C") == 0 || std::strcmp(messages, "POSIX") == 0)
    std::setlocale(LC_MESSAGES, "C.UTF-8");
  ::setenv("LANGUAGE", "en", 1);
  ::bindtextdomain(Domain, CatalogueFolder().c_str());
  ::bind_textdomain_codeset(Domain, "UTF-8");
}

bool EnglishChosen() { return english; }

const char* Tr(const char* text) { return english && text && *text ? ::dgettext(Domain, text) : text; }

std::string Tr(const std::string& text) { return Tr(text.c_str()); }

}  // namespace ok
