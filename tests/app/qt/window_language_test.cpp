// The window in English and in Chinese (its own texts, the model's and Qt's dialogs follow the
// locale's variables), and its keyboard.

#include <QCoreApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTest>

#include "app/qt/qt_language.h"
#include "app/qt/qt_test_support.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

TEST_F(WindowTest, ShowsTheLanguageOfTheLocale) {
  struct {
    const char* Lang;
    const char* Start;
    const char* Menu;
    const char* QtCancel;
  } cases[] = {{"en_US.UTF-8", "Start", "&File", "Cancel"}, {"zh_CN.UTF-8", "开始", "文件(&F)", "取消"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Lang);
    {
      TScopedEnv language("LANGUAGE", std::nullopt), all("LC_ALL", std::nullopt),
          messages("LC_MESSAGES", std::nullopt), lang("LANG", c.Lang);
      SetUpWindowLanguage();
      form.reset();
      TWorkbenchEnvironment environment;
      form = std::make_unique<MainWindow>(environment);
      form->show();
      ASSERT_TRUE(PumpUntil([this] { return form->isVisible(); }, std::chrono::seconds(5)));
      EXPECT_EQ(Child<QPushButton>("btnStart")->text(), QString::fromUtf8(c.Start));
      EXPECT_EQ(form->menuBar()->actions().at(0)->text(), QString::fromUtf8(c.Menu));
      EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8(c.QtCancel));
    }
  }  // the last case leaves Chinese, the source texts the other tests see
}

// Ctrl+O opens the add dialog, as the add button does; Esc with nothing running stops nothing.
TEST_F(WindowTest, KeyboardAddsFiles) {
  form->activateWindow();
  ASSERT_TRUE(PumpUntil([this] { return form->isActiveWindow(); }, std::chrono::seconds(5)));
  int dialogs = 0;
  answerer->OnOtherDialog = [&](QDialog* dialog) {
    ++dialogs;
    dialog->reject();
  };
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(Child<QShortcut>("btnStartShortcut")->key(), QKeySequence(Qt::CTRL | Qt::Key_Return));
  EXPECT_EQ(Child<QShortcut>("btnStopShortcut")->key(), QKeySequence(Qt::Key_Escape));
}

}  // namespace
}  // namespace ok::test
