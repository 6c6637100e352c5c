// The window's command line answered without a display: no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM, as on a console or over ssh.

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace ok::test {
namespace {

TEST(WindowCli, AnswersWithoutADisplay) {
  const std::string program = (fs::path(BuildDir()) / "ostrelkalvexa").string();
  ExpectCommandLineForms(
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + ShellQuote(program),
      {
          {"--help", 0, "usage: ostrelkalvexa [--] [FILE | FOLDER]...", ""},
          {"--version", 0, "OstrelKalvexa 1.4\nFFmpeg 5.", ""},
          {"--version", 0, "\nQt 6.", ""},
          {"--bogus=1 file.mp4", 2, "", "unknown option --bogus (see ostrelkalvexa --help)"},
          {"-x", 2, "", "unknown option -x"},
      });
}

}  // namespace
}  // namespace ok::test
