// The window's tests run on Qt's offscreen platform unless QT_QPA_PLATFORM names another (the
// screenshot runs under Xvfb on "xcb").

#include <gtest/gtest.h>

#include <QApplication>

#include "app/qt/preview_window.h"
#include "app/qt/qt_main_thread.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  ok::TQtMainThread mainThread;
  ok::SetCurrentMainThread(&mainThread);
  ok::TQtPreviewWindowFactory previewWindows;
  ok::SetPreviewWindowFactory(&previewWindows);
  const int status = RUN_ALL_TESTS();
  mainThread.Shutdown();
  ok::SetPreviewWindowFactory(nullptr);
  ok::SetCurrentMainThread(nullptr);
  return status;
}
