// ostrelkalvexa: the window. Files and folders given on the command line are added to the list.

#include <QApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "app/qt/desktop_bus.h"
#include "app/qt/main_window.h"
#include "app/qt/preview_window.h"
#include "app/qt/qt_images.h"
#include "app/qt/qt_language.h"
#include "app/qt/qt_main_thread.h"
#include "app/qt/window_arguments.h"
#include "media/previewer.h"

int main(int argc, char* argv[]) {
  std::vector<std::string> files;
  if (const int status = ok::ReadWindowArguments(argc, argv, files); status >= 0) return status;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ostrelkalvexa"));  // the X11 window class: no version
  // No display name: Qt would append it to every window's caption. The desktop entry names the program.
  QApplication::setDesktopFileName(QStringLiteral("ostrelkalvexa"));
  QApplication::setWindowIcon(ok::ProgramIcon());
  ok::SetUpWindowLanguage();

  ok::TQtMainThread mainThread;
  ok::SetCurrentMainThread(&mainThread);
  ok::TQtPreviewWindowFactory previewWindows;
  ok::SetPreviewWindowFactory(&previewWindows);

  int status = 0;
  {
    ok::TLogindShutdown shutdown(ok::TDesktopBus::Default());
    ok::TWorkbenchEnvironment environment;
    environment.Shutdown = &shutdown;
    ok::MainWindow form(environment);
    form.show();
    if (!files.empty()) QTimer::singleShot(0, &form, [&form, files] { form.Model().AddFiles(files); });
    status = QApplication::exec();
  }
  // Workers still handing calls over are let go before the hand-off disappears.
  mainThread.Shutdown();
  ok::SetPreviewWindowFactory(nullptr);
  ok::SetCurrentMainThread(nullptr);
  return status;
}
