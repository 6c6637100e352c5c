#pragma once
// What ostrelkalvexa-cli prints: the workbench's messages, each file's progress and the results.
// Results (the outputs, the catalogue) go to standard output; messages and progress go to standard
// error, progress as bars redrawn in place on a terminal and as one line per change otherwise.
// A list taller than the terminal shows the bars from its first row still going; the rows that
// leave them stay above as lines. Main thread only.

#include <string>
#include <vector>

#include "app/workbench/workbench_view.h"

namespace ok::cli {

struct TProgressRow {
  std::string Name;
  std::string Progress;  // the list's "进度" text: "", "45%", "100%", "失败"
  int Percent = -1;      // the bar's value, -1 for no bar
  bool Ended = false;    // finished, failed or stopped in this batch
  bool operator==(const TProgressRow&) const = default;
};

class TCliConsole {
 public:
  explicit TCliConsole(bool terminal);

  // A message box of the workbench, on standard error.
  void Message(const std::string& text, TMessageKind kind);
  // Messages of `kind` shown so far.
  size_t Count(TMessageKind kind) const { return counts_[kind]; }

  // The rows as they are now; `changed` names the ones that may differ from the last call (every
  // row the first time). The work is in the changed rows and the bars shown, not the whole list.
  void ShowProgress(const std::vector<TProgressRow>& rows, const std::vector<size_t>& changed);
  // Leaves the bars where they are; what follows goes below them.
  void EndProgress();

  void Print(const std::string& line);  // a result
  void Error(const std::string& line);  // anything else

 private:
  void DrawBars(const std::vector<TProgressRow>& rows);

  bool terminal_;
  size_t counts_[3] = {0, 0, 0};
  int barLines_ = 0;                // lines of bars drawn above the cursor
  size_t firstBar_ = 0;             // the row of the first bar; the rows before it are lines above
  std::vector<std::string> shown_;  // the progress text printed last, row by row
};

// "[#########-----------]" for `percent` (45), `width` characters inside; an empty one below 0.
std::string ProgressBar(int percent, int width);

}  // namespace ok::cli
