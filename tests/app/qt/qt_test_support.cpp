#include "app/qt/qt_test_support.h"

#include <QDialog>
#include <QElapsedTimer>

namespace ok::test {

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout.count()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

TModalAnswerer::TModalAnswerer() {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
  timer_.start();
}

void TModalAnswerer::Look() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal) return;
  if (auto* box = dynamic_cast<QMessageBox*>(modal)) {
    Boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->width(),
                     box->fontMetrics().horizontalAdvance(box->windowTitle())});
    box->done(box->icon() == QMessageBox::Question ? QuestionAnswer : QMessageBox::Ok);
  } else if (auto* dialog = dynamic_cast<QDialog*>(modal)) {
    if (OnOtherDialog)
      OnOtherDialog(dialog);
    else
      dialog->reject();
  }
}

void WindowTest::SetUp() {
  TWorkbenchEnvironment environment;
  form = std::make_unique<MainWindow>(environment);
  form->show();
  ASSERT_TRUE(PumpUntil([this] { return form->isVisible(); }, std::chrono::seconds(5)));
}

void WindowTest::TearDown() {
  form.reset();
  QCoreApplication::processEvents();
}

}  // namespace ok::test
