// The window in English and in Chinese (its own texts, the model's and Qt's dialogs follow the
// locale's variables), and its keyboard.

#include <QCoreApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

#include "app/qt/qt_language.h"
#include "app/qt/qt_test_support.h"
#include "app/workbench/model_test_support.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

TEST_F(WindowTest, ShowsTheLanguageOfTheLocale) {
  struct {
    const char* Lang;
    const char* Start;
    const char* Menu;
    const char* QtCancel;
  } cases[] = {{"en_US.UTF-8", "&Start", "&File", "Cancel"}, {"zh_CN.UTF-8", "开始(&S)", "文件(&F)", "取消"}};
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

// The names of the controls Tab visits from the one with the focus, `count` of them.
std::vector<std::string> TabWalk(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    names.push_back(QApplication::focusWidget()->objectName().toStdString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  return names;
}

// The keyboard never lands on a control hidden under a panel: the large add button has it while
// the list is empty, the list once files are added, where Up and Down move the current row and
// Delete removes it. Tab goes through the controls as they are seen; Alt and a caption's letter
// presses its button.
TEST_F(WindowTest, KeyboardWalksTheListAndTheControls) {
  form->activateWindow();
  ASSERT_TRUE(PumpUntil([this] { return form->isActiveWindow(); }, std::chrono::seconds(5)));
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "sSpeedButton7");
  const std::vector<std::string> emptyWalk = TabWalk(20);
  EXPECT_EQ(std::count(emptyWalk.begin(), emptyWalk.end(), "sListView1"), 0);

  const std::string clip = SmallClip();
  TempDir other;
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) fs::copy_file(clip, other / name);
  Child<QPushButton>("sSpeedButton7")->setFocus();
  Model().AddFiles({other / "a.avi", other / "b.avi", other / "c.avi"});
  auto* list = Child<QTreeWidget>("sListView1");
  ASSERT_EQ(list->topLevelItemCount(), 3);
  ASSERT_EQ(QApplication::focusWidget(), list);
  for (auto [key, row] : {std::pair{Qt::Key_Up, 1}, std::pair{Qt::Key_Up, 0}, std::pair{Qt::Key_Down, 1}}) {
    QTest::keyClick(list, key);
    EXPECT_EQ(Model().sourceList.SelectedIndex, row);
    EXPECT_EQ(list->currentIndex().row(), row);
    EXPECT_TRUE(list->selectionModel()->isRowSelected(row, {}));
  }
  QTest::keyClick(list, Qt::Key_Delete);
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("c"));

  const std::vector<std::string> seen = {
      "sListView1",  "sSpeedButton1",       "sSpeedButton2", "sSpeedButton3", "sCheckBox1",
      "trcPreview",  "btnStartTime",        "edtStartTime",  "btnEndTime",    "edtEndTime",
      "chkCutClip",  "qt_tabwidget_tabbar", "sComboBoxEx1",  "sComboBoxEx2",  "sizeLimitCheckBox",
      "sComboEdit1", "sSpeedButton6",       "btnStart",      "sListView1"};
  EXPECT_EQ(TabWalk(int(seen.size())), seen);

  // The custom page: "自定义(&M)" by its letter, then its values row by row, each check box first.
  Child<QTabWidget>("sPageControl2")->setCurrentIndex(spCustom);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier);
  ASSERT_TRUE(PumpUntil([this] { return Model().customValuesPanel.Visible; }, std::chrono::seconds(5)));
  Child<QWidget>("sComboBoxEx5")->setFocus();
  // A classic type has no quality: Tab passes its edit by.
  const std::vector<std::string> sizeAndRate = {"sComboBoxEx5", "sEdit1", "sEdit2",
                                                "sEdit3",       "sEdit4", "btnSavePreset"};
  EXPECT_EQ(TabWalk(int(sizeAndRate.size())), sizeAndRate);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // crop on: its four values open
  const std::vector<std::string> crop = {"sCheckBox2", "sEdit5", "sEdit6", "sEdit7", "sEdit8", "sCheckBox3"};
  EXPECT_EQ(TabWalk(int(crop.size())), crop);
}

}  // namespace
}  // namespace ok::test
