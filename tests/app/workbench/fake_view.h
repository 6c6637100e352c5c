#pragma once
// A view that records what the model asked of it and answers from scripted replies.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/workbench/workbench_view.h"

namespace ok::test {

struct TShownMessage {
  std::string Text;
  TMessageKind Kind;
};

class TFakeView : public TWorkbenchView {
 public:
  void ShowMessage(const std::string& text, TMessageKind kind) override { Messages.push_back({text, kind}); }
  std::vector<std::string> OpenFileDialog(const std::string& filter, bool multiSelect) override {
    LastFilter = filter;
    LastMultiSelect = multiSelect;
    ++DialogsShown;
    if (DialogAnswers.empty()) return {};
    std::vector<std::string> answer = DialogAnswers.front();
    DialogAnswers.pop_front();
    return answer;
  }
  std::string BrowseFolder(const std::string& title) override {
    LastBrowseTitle = title;
    return BrowseAnswer;
  }
  void ShellOpen(const std::string& folder) override { Opened.push_back(folder); }
  void Beep() override { ++Beeps; }
  void ProcessMessages() override { ++Pumps; }
  void Changed(TWorkbenchChange what) override { Changes.push_back(what); }
  bool ConfirmPowerOff(int seconds) override {
    PowerOffCountdown = seconds;
    return PowerOffAnswer;
  }
  bool AskYesNo(const std::string& text) override {
    Questions.push_back(text);
    return YesNoAnswer;
  }
  std::optional<std::string> AskText(const std::string& prompt, const std::string&) override {
    Questions.push_back(prompt);
    return TextAnswer;
  }

  // Texts of the messages shown so far.
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : Messages) texts.push_back(m.Text);
    return texts;
  }

  std::vector<TShownMessage> Messages;
  std::deque<std::vector<std::string>> DialogAnswers;
  std::string LastFilter;
  bool LastMultiSelect = false;
  int DialogsShown = 0;
  std::string BrowseAnswer;
  std::string LastBrowseTitle;
  std::vector<std::string> Opened;
  int Beeps = 0;
  int Pumps = 0;
  std::vector<TWorkbenchChange> Changes;
  bool PowerOffAnswer = true;
  int PowerOffCountdown = -1;
  std::vector<std::string> Questions;
  bool YesNoAnswer = true;
  std::optional<std::string> TextAnswer;  // nullopt: the text input is cancelled
};

}  // namespace ok::test
