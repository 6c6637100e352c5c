#pragma once
// What the workbench model needs from a person or the desktop. The Qt window, the command-line
// front end and the tests each implement it; the model calls it on the main thread only.

#include <optional>
#include <string>
#include <vector>

namespace ok {

// The caption of every message box.
inline constexpr const char* ApplicationTitle = "OstrelKalvexaV1.4";
// The main window's caption.
inline constexpr const char* MainWindowCaption = "OstrelKalvexa V1.4";

enum TMessageKind { mkError, mkWarning, mkInformation };

// Parts of the model a view redraws after a change notification.
enum TWorkbenchChange {
  wcAll,         // anything
  wcList,        // rows, their texts, the selection, the add panel and list buttons
  wcPreview,     // the preview image, track bar, time label, marks and clip box
  wcSettings,    // pages, boxes, summary labels, custom page, output folder
  wcRunButtons,  // the four run buttons and the list buttons' enabled state
};

class TWorkbenchView {
 public:
  virtual ~TWorkbenchView() = default;

  // A modal message box with ApplicationTitle as caption and the icon of `kind`.
  virtual void ShowMessage(const std::string& text, TMessageKind kind) = 0;
  // The open dialog with `filter` ("Video Files|*.AVI;*.MP4;..."); the chosen paths, empty when
  // cancelled. Without `multiSelect` at most one path.
  virtual std::vector<std::string> OpenFileDialog(const std::string& filter, bool multiSelect) = 0;
  // The folder browser with `title`; "" when nothing was chosen.
  virtual std::string BrowseFolder(const std::string& title) = 0;
  // Shell "open" of a folder (xdg-open).
  virtual void ShellOpen(const std::string& folder) = 0;
  // The system's default beep.
  virtual void Beep() = 0;
  // Lets pending user-interface events run.
  virtual void ProcessMessages() = 0;
  // The model changed; redraw what `what` names.
  virtual void Changed(TWorkbenchChange what) = 0;
  // List row `row` was rendered anew (a wcList change follows): a view that keeps its own copy of
  // the rows need not compare them all.
  virtual void RowChanged(int row) { (void)row; }
  // Before the system powers off: a countdown of `seconds` that the user can cancel. True when
  // the power-off is to go ahead.
  virtual bool ConfirmPowerOff(int seconds) = 0;
  // A batch ended with `report` (what the end dialog says); `allFinished` when every row finished.
  // The window tells the desktop when it is not in front; others need not do anything.
  virtual void BatchEnded(const std::string& report, bool allFinished) {
    (void)report;
    (void)allFinished;
  }
  // A modal question with ApplicationTitle as caption and the buttons yes and no; true for yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // A modal text input with ApplicationTitle as caption, `prompt` above the field and `initial`
  // in it; the text entered, or nullopt when cancelled. A view without one answers cancelled.
  virtual std::optional<std::string> AskText(const std::string& prompt, const std::string& initial) {
    (void)prompt;
    (void)initial;
    return std::nullopt;
  }
};

}  // namespace ok
