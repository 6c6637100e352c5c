#include "app/cli/cli_console.h"

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

void TCliConsole::ShowProgress(const std::vector<TProgressRow>& rows) {
  if (terminal_) {
    if (barLines_ == 0 || rows != shown_) DrawBars(rows);
  } else {
    for (size_t i = 0; i < rows.size(); ++i) {
      const TProgressRow& row = rows[i];
      const bool changed = i >= shown_.size() || shown_[i].Progress != row.Progress;
      if (!changed || row.Progress.empty()) continue;
      std::fprintf(stderr, "[%zu] %s: %s\n", i, row.Name.c_str(), row.Progress.c_str());
    }
  }
  shown_ = rows;
}

void TCliConsole::DrawBars(const std::vector<TProgressRow>& rows) {
  std::string out;
  if (barLines_ > 0) out += "\x1b[" + std::to_string(barLines_) + "A";
  for (const TProgressRow& row : rows) {
    // Columns, not characters: a Chinese name takes two per character.
    const std::string name = CutToWidth(row.Name, NameColumns);
    const std::string line = name + std::string(NameColumns + 1 - DisplayWidth(name), ' ') +
                             ProgressBar(row.Percent, BarWidth) + " " + row.Progress;
    out += "\r\x1b[2K" + line + "\n";
  }
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
  barLines_ = int(rows.size());
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
