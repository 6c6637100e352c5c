#pragma once
// The window under test: a QApplication on the offscreen platform (see qt_test_main.cpp), the
// Qt hand-off as the current main thread, the window over a program folder of its own, and the
// answering of the modal boxes the window shows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "app/workbench/workbench_test_support.h"

namespace ok::test {

// Runs Qt's events until `done` holds or `timeout` has passed; the last value of `done`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

struct TAnsweredBox {
  QString Title;
  QString Text;
  QMessageBox::Icon Icon;
  int Width;       // the box's
  int TitleWidth;  // its title's, in its font
};

// While it lives, every message box that comes up is recorded and closed with its default
// button (a question with `QuestionAnswer`); other modal dialogs are handed to `OnOtherDialog`
// (or rejected).
class TModalAnswerer {
 public:
  TModalAnswerer();
  std::vector<TAnsweredBox> Boxes;
  QMessageBox::StandardButton QuestionAnswer = QMessageBox::No;
  std::function<void(QDialog*)> OnOtherDialog;

 private:
  void Look();
  QTimer timer_;
};

// The window over a program folder with the shipped profiles and a Videos folder of its own.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  template <typename W>
  W* Child(const char* name) const {
    W* widget = form->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  TWorkbench& Model() { return form->Model(); }

  TWorkbenchHarness harness;
  std::unique_ptr<TModalAnswerer> answerer = std::make_unique<TModalAnswerer>();
  std::unique_ptr<MainWindow> form;
};

}  // namespace ok::test
