#pragma once
// The desktop dialogs the window shows for the workbench: message boxes, the open dialog, the
// folder browser, the shell's "open" and the power-off countdown.

#include <QDialog>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "app/workbench/workbench_view.h"

class QLabel;
class QMessageBox;
class QPushButton;
class QTimer;

namespace ok {

// "Video Files|*.AVI;*.MP4" as a Qt name filter, "Video Files (*.AVI *.avi *.MP4 *.mp4)": names
// are matched case-sensitively here, so each pattern is given in both cases.
QString DialogFilter(const std::string& filter);

// Modal, ApplicationTitle as caption, the icon of `kind`.
void ShowMessageBox(QWidget* parent, const std::string& text, TMessageKind kind);
// Modal, ApplicationTitle as caption, buttons yes and no; true for yes.
bool AskQuestion(QWidget* parent, const std::string& text);
// Modal text input, ApplicationTitle as caption; nullopt when cancelled.
std::optional<std::string> AskTextInput(QWidget* parent, const std::string& prompt,
                                        const std::string& initial);
// Makes a message box at least wide enough for its whole title on the window's title bar.
void FitTitle(QMessageBox& box);
// Empty when cancelled.
std::vector<std::string> ChooseFiles(QWidget* parent, const std::string& filter, bool multiSelect);
// "" when nothing was chosen.
std::string ChooseFolder(QWidget* parent, const std::string& title);
// Opens a local folder (an absolute path, its bytes as they are) or a web address with the
// desktop's program; false when it could not be started.
bool OpenInShell(const std::string& target);

// Counts down before the power-off; "取消关机" cancels it.
class TPowerOffDialog : public QDialog {
 public:
  TPowerOffDialog(QWidget* parent, int seconds);
  // True when the countdown ran out, false when cancelled.
  bool Run();
  int SecondsLeft() const { return secondsLeft_; }

 private:
  void Tick();
  void ShowSecondsLeft();

  int secondsLeft_;
  QLabel* text_;
  QPushButton* cancel_;
  QTimer* timer_;
};

}  // namespace ok
