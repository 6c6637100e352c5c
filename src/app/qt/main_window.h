#pragma once
// The main window: a fixed-size view over the workbench model. It draws the model's control
// states, turns the user's actions into the model's handlers and gives the model the desktop's
// dialogs; what to do is always the model's decision.

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

#include "app/qt/desktop_bus.h"
#include "app/workbench/workbench.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QTreeWidget;

namespace ok {

class TTrackBar;

class TForm1 : public QMainWindow, public TWorkbenchView {
 public:
  // The client area's fixed size.
  static constexpr int ClientWidth = 678;
  static constexpr int ClientHeight = 486;

  explicit TForm1(TWorkbenchEnvironment environment = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  TWorkbench& Model() { return *model_; }

  void ShowMessage(const std::string& text, TMessageKind kind) override;
  std::vector<std::string> OpenFileDialog(const std::string& filter, bool multiSelect) override;
  std::string BrowseFolder(const std::string& title) override;
  void ShellOpen(const std::string& folder) override;
  void Beep() override;
  void ProcessMessages() override;
  void Changed(TWorkbenchChange what) override;
  bool ConfirmPowerOff(int seconds) override;
  bool AskYesNo(const std::string& text) override;
  void BatchEnded(const std::string& report, bool allFinished) override;

  // The desktop services the window uses while a batch runs (tests give a private bus).
  void SetDesktopBus(TDesktopBus& bus) { desktop_ = &bus; }

  // "退出" and "关于".
  void N2Click();
  void N5Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void BuildSourceList(QWidget* client);
  void BuildPreview(QWidget* client);
  void BuildSettings(QWidget* client);
  void BuildPresetPage(QWidget* page, bool device);
  void BuildExistingPage(QWidget* page);
  void BuildCustomPage(QWidget* page);
  void BuildOutputRow(QWidget* client);
  void BuildRunButtons(QWidget* client);
  void ApplyFonts();

  void RedrawList();
  void RedrawPreview();
  void RedrawSettings();
  void RedrawRunButtons();
  void RedrawCaption();
  // While a batch runs: the session kept awake and the launcher entry's progress.
  void ShowBatchOnDesktop(bool running, int percent);

  // Runs a model handler for a user action; nothing while the window itself sets its controls,
  // and a failure of the handler is shown instead of ending the program.
  template <typename Handler>
  void UserAction(Handler&& handler);

  std::unique_ptr<TWorkbench> model_;
  bool redrawing_ = false;
  bool shownOnce_ = false;
  bool created_ = false;
  TDesktopBus* desktop_ = &TDesktopBus::Default();
  std::optional<TSleepInhibitor> inhibitor_;  // held while a batch runs
  int launcherPercent_ = -1;                  // last progress sent, -1 when hidden

  QAction* N2 = nullptr;
  QAction* N5 = nullptr;
  QTreeWidget* sListView1 = nullptr;
  QWidget* sPanel1 = nullptr;
  QPushButton* sSpeedButton7 = nullptr;
  QPushButton *sSpeedButton1 = nullptr, *sSpeedButton2 = nullptr, *sSpeedButton3 = nullptr;
  QCheckBox* sCheckBox1 = nullptr;

  QGroupBox* sGroupBox2 = nullptr;
  QLabel* imgPreview = nullptr;
  TTrackBar* trcPreview = nullptr;
  QLabel* lblPTS = nullptr;
  QPushButton *btnStartTime = nullptr, *btnEndTime = nullptr;
  QLineEdit *edtStartTime = nullptr, *edtEndTime = nullptr;
  QCheckBox* chkCutClip = nullptr;

  QGroupBox* sGroupBox1 = nullptr;
  QTabWidget* sPageControl2 = nullptr;
  std::array<QWidget*, 4> pages_{};
  QComboBox *sComboBoxEx1 = nullptr, *sComboBoxEx2 = nullptr, *sComboBoxEx3 = nullptr,
            *sComboBoxEx4 = nullptr, *sComboBoxEx5 = nullptr;
  QWidget* summary_ = nullptr;  // the five summary labels, moved to the page shown
  QLabel *sLabelFX12 = nullptr, *sLabelFX6 = nullptr, *sLabelFX11 = nullptr, *sLabelFX7 = nullptr,
         *sLabelFX8 = nullptr;
  QPushButton* sSpeedButton4 = nullptr;
  QPushButton* sSpeedButton5 = nullptr;
  QWidget* sPanel3 = nullptr;
  QGroupBox* sGroupBox3 = nullptr;
  std::array<QLineEdit*, 12> sEdit_{};      // sEdit1 .. sEdit12
  std::array<QLabel*, 8> cropPadLabels_{};  // the labels of sEdit5 .. sEdit12
  QCheckBox *sCheckBox2 = nullptr, *sCheckBox3 = nullptr;

  QLabel* sLabelFX1 = nullptr;
  QLineEdit* sComboEdit1 = nullptr;
  QAction* sComboEdit1Button = nullptr;
  QToolButton* sSpeedButton6 = nullptr;
  QWidget* sPanel2 = nullptr;
  QPushButton *btnStart = nullptr, *btnPause = nullptr, *btnResume = nullptr, *btnStop = nullptr;
};

}  // namespace ok
