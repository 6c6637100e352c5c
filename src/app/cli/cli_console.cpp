#include "app/cli/cli_console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/code_page.h"

namespace ok::cli {
namespace {

constexpr int BarWidth = 30;
constexpr size_t NameColumns = 28;

const char* KindPrefix(TMessageKind kind) { return kind == mkError ? "error: " : "warning: "; }

}  // namespace

std::string ProgressBar(int percent, int width) {
  percent = std::min(100, std::max(0, percent));
  const int filled = percent * width / 100;
  return "[" + std::string(size_t(filled), '#') + std::string(size_t(width - filled), '-') + "]";
}

TCliConsole::TCliConsole(bool terminal) : terminal_(terminal) {}

void TCliConsole::Message(const std::string& text, TMessageKind kind) {
  ++counts_[kind];
  // Standard output carries only results, so that a redirection captures what was made.
  Error(kind == mkInformation ? text : KindPrefix(kind) + text);
}

void TCliConsole::ShowProgress(const std::vector<TProgressRow>& rows, const std::vector<size_t>& changed) {
  if (shown_.size() != rows.size()) shown_.assign(rows.size(), std::string());
  if (terminal_) {
    if (barLines_ == 0 || !changed.empty()) DrawBars(rows);
    return;
  }
  for (const size_t i : changed) {
    if (i >= rows.size() || shown_[i] == rows[i].Progress) continue;
    shown_[i] = rows[i].Progress;
    if (!rows[i].Progress.empty())
      std::fprintf(stderr, "[%zu] %s: %s\n", i, rows[i].Name.c_str(), shown_[i].c_str());
  }
}

void TCliConsole::DrawBars(const std::vector<TProgressRow>& rows) {
  winsize window{};
  const int height = ioctl(STDERR_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_row > 1 ? window.ws_row : 24;
  // One line stays free for the cursor; as many bars as fit, from the first row still going.
  const size_t bars = std::min(rows.size(), size_t(height - 1));
  if (firstBar_ > rows.size()) firstBar_ = 0;
  size_t first = firstBar_;
  while (first < rows.size() && rows[first].Ended) ++first;
  first = std::max(firstBar_, std::min(first, rows.size() - bars));
  auto line = [](const TProgressRow& row) {
    // Columns, not characters: a Chinese name takes two per character.
    const std::string name = CutToWidth(row.Name, NameColumns);
    return "\r\x1b[2K" + name + std::string(NameColumns + 1 - DisplayWidth(name), ' ') +
           ProgressBar(row.Percent, BarWidth) + " " + row.Progress + "\n";
  };
  std::string out;
  if (barLines_ > 0) out += "\x1b[" + std::to_string(barLines_) + "A";
  for (size_t i = firstBar_; i < first; ++i) out += line(rows[i]);  // these scroll up and stay
  for (size_t i = first; i < first + bars; ++i) out += line(rows[i]);
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
  firstBar_ = first;
  barLines_ = int(bars);
}

void TCliConsole::EndProgress() { barLines_ = 0; }

void TCliConsole::Print(const std::string& line) {
  EndProgress();
  std::fflush(stderr);
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

void TCliConsole::Error(const std::string& line) {
  EndProgress();
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace ok::cli
