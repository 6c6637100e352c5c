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
class TSizeLimitControls;

class MainWindow : public QMainWindow, public TWorkbenchView {
 public:
  // The client area's fixed size.
  static constexpr int ClientWidth = 678;
  static constexpr int ClientHeight = 486;

  explicit MainWindow(TWorkbenchEnvironment environment = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  TWorkbench& Model() { return *model_; }

  void ShowMessage(const std::string& text, TMessageKind kind) override;
  std::vector<std::string> OpenFileDialog(const std::string& filter, bool multiSelect) override;
  std::string BrowseFolder(const std::string& title) override;
  void ShellOpen(const std::string& folder) override;
  void Beep() override;
  void ProcessMessages() override;
  void Changed(TWorkbenchChange what) override;
  void RowChanged(int row) override;
  bool ConfirmPowerOff(int seconds) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> AskText(const std::string& prompt, const std::string& initial) override;
  void BatchEnded(const std::string& report, bool allFinished) override;

  // The desktop services the window uses while a batch runs (tests give a private bus).
  void SetDesktopBus(TDesktopBus& bus) { desktop_ = &bus; }

  // "退出" and "关于".
  void OnExitTriggered();
  void OnAboutTriggered();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  static constexpr int ProgressColumn = 4;  // the source list's column with the bar
  void BuildMenu();
  void BuildSourceList(QWidget* client);
  void BuildPreview(QWidget* client);
  void BuildSettings(QWidget* client);
  void BuildPresetPage(QWidget* page, bool device);
  void BuildExistingPage(QWidget* page);
  void BuildCustomPage(QWidget* page);
  void BuildOutputRow(QWidget* client);
  void BuildRunButtons(QWidget* client);
  void SetTabOrder();
  void ApplyFonts();

  // The rows the model rendered anew since the last redraw; all of them on `all` or when the
  // number of rows changed.
  void RedrawList(bool all);
  void RedrawRow(int row);
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
  std::vector<int> changedRows_;  // reported by RowChanged, not redrawn yet
  bool shownOnce_ = false;
  bool created_ = false;
  TDesktopBus* desktop_ = &TDesktopBus::Default();
  std::optional<TSleepInhibitor> inhibitor_;  // held while a batch runs
  int launcherPercent_ = -1;                  // last progress sent, -1 when hidden

  QAction* exitAction = nullptr;
  QAction* aboutAction = nullptr;
  QTreeWidget* sourceList = nullptr;
  QWidget* addPanel = nullptr;
  QPushButton* addFilesButton = nullptr;
  QPushButton *addButton = nullptr, *removeButton = nullptr, *clearButton = nullptr;
  QCheckBox* powerOffCheckBox = nullptr;

  QGroupBox* previewGroup = nullptr;
  QLabel* previewImage = nullptr;
  TTrackBar* previewTrackBar = nullptr;
  QLabel* previewTimeLabel = nullptr;
  QPushButton *markStartButton = nullptr, *markEndButton = nullptr;
  QLineEdit *clipStartEdit = nullptr, *clipEndEdit = nullptr;
  QCheckBox* clipCheckBox = nullptr;

  QGroupBox* settingsGroup = nullptr;
  QTabWidget* settingsPages = nullptr;
  TSizeLimitControls* sizeLimitControls = nullptr;
  std::array<QWidget*, 4> pages_{};
  QPushButton* removePresetButton = nullptr;
  QComboBox *fileTypeBox = nullptr, *presetBox = nullptr, *brandBox = nullptr, *modelBox = nullptr,
            *customTypeBox = nullptr;
  QWidget* summary_ = nullptr;  // the five summary labels, moved to the page shown
  QLabel *frameSizeLabel = nullptr, *videoCodecLabel = nullptr, *videoBitrateLabel = nullptr,
         *frameRateLabel = nullptr, *audioCodecLabel = nullptr;
  QPushButton* analyseButton = nullptr;
  QPushButton* applyCustomButton = nullptr;
  QWidget* customValuesPanel = nullptr;
  QGroupBox* cropPadGroup = nullptr;
  std::array<QLineEdit*, 13> customEdits_{};  // customWidthEdit .. padRightEdit, customQualityEdit
  QLabel* customQualityLabel = nullptr;
  QPushButton* saveCustomPresetButton = nullptr;
  std::array<QLabel*, 8> cropPadLabels_{};  // the labels of cropTopEdit .. padRightEdit
  QCheckBox *cropCheckBox = nullptr, *padCheckBox = nullptr;

  QLabel* outputFolderLabel = nullptr;
  QLineEdit* outputFolderEdit = nullptr;
  QAction* outputFolderBrowseButton = nullptr;
  QToolButton* openOutputFolderButton = nullptr;
  QWidget* runButtonsPanel = nullptr;
  QPushButton *startButton = nullptr, *pauseButton = nullptr, *resumeButton = nullptr, *stopButton = nullptr;
};

}  // namespace ok
