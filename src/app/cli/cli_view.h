#pragma once
// The workbench's view for the command line: messages on the console, the open dialog answered
// with the sample named by --like, the main-thread loop pumped for pending events. Nothing here
// asks a person: the folder browser chooses nothing and power-off is never confirmed.

#include <functional>
#include <string>
#include <vector>

#include "app/cli/cli_console.h"
#include "app/workbench/workbench_view.h"
#include "platform/main_thread.h"

namespace ok::cli {

class TCliView : public TWorkbenchView {
 public:
  TCliView(TMainThreadLoop& loop, TCliConsole& console) : loop_(loop), console_(console) {}

  // What the open dialog answers (the analysis asks for its sample); "" cancels it.
  std::string DialogAnswer;
  // Called for every row rendered anew.
  std::function<void(int)> OnRowChanged;
  // Sees every message first; true when it has taken it.
  std::function<bool(const std::string&, TMessageKind)> OnMessage;

  void ShowMessage(const std::string& text, TMessageKind kind) override {
    if (!OnMessage || !OnMessage(text, kind)) console_.Message(text, kind);
  }
  std::vector<std::string> OpenFileDialog(const std::string&, bool) override {
    if (DialogAnswer.empty()) return {};
    return {DialogAnswer};
  }
  std::string BrowseFolder(const std::string&) override { return ""; }
  void ShellOpen(const std::string&) override {}
  void Beep() override {}
  void ProcessMessages() override { loop_.ProcessPending(); }
  void Changed(TWorkbenchChange) override {}
  void RowChanged(int row) override {
    if (OnRowChanged) OnRowChanged(row);
  }
  bool ConfirmPowerOff(int) override { return false; }
  bool AskYesNo(const std::string&) override { return true; }
  void BatchEnded(const std::string&, bool) override { BatchesEnded++; }

  // Batches ended so far: a batch whose every row was refused ends inside Start.
  int BatchesEnded = 0;

 private:
  TMainThreadLoop& loop_;
  TCliConsole& console_;
};

}  // namespace ok::cli
