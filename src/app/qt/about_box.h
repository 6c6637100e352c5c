#pragma once
// The about box "关于系统": the product's name and version, a contact line, the project's web
// address (opened with xdg-open) and the button "退 出".

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace ok {

inline constexpr const char* ProductWebAddress = "https://ostrelkalvexa.example.org/";

class AboutBox : public QDialog {
 public:
  // `openLink` opens the web address; by default xdg-open.
  explicit AboutBox(QWidget* parent, std::function<void(const std::string&)> openLink = {});

 private:
  std::function<void(const std::string&)> openLink_;
};

}  // namespace ok
