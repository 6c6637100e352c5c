#include "app/qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <exception>
#include <vector>

#include "app/qt/about_box.h"
#include "app/qt/qt_dialogs.h"
#include "app/qt/qt_images.h"
#include "app/qt/qt_widgets.h"
#include "app/qt/size_limit_controls.h"
#include "app/workbench/workbench_texts.h"

namespace ok {

namespace {

template <typename W, typename... Args>
W* Place(QWidget* parent, const char* name, QRect geometry, Args&&... args) {
  auto* widget = new W(std::forward<Args>(args)..., parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(geometry);
  return widget;
}

QLabel* Label(QWidget* parent, const QString& text, QRect geometry, const char* name = "") {
  return Place<QLabel>(parent, name, geometry, text);
}

// The source list's columns (their captions and widths come from the model).
constexpr int ListColumnCount = 5;

}  // namespace

template <typename Handler>
void MainWindow::UserAction(Handler&& handler) {
  if (redrawing_ || !model_) return;
  try {
    handler();
  } catch (const std::exception& error) {
    ShowMessage(error.what(), mkError);
  }
}

MainWindow::MainWindow(TWorkbenchEnvironment environment, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
  setObjectName("Form1");
  setWindowIcon(ProgramIcon());
  ApplyFonts();
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(ClientWidth, ClientHeight);
  setCentralWidget(client);
  BuildMenu();
  BuildSourceList(client);
  BuildPreview(client);
  BuildSettings(client);
  BuildOutputRow(client);
  BuildRunButtons(client);
  SetTabOrder();
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  model_ = std::make_unique<TWorkbench>(*this, environment);
  try {
    model_->OnCreate();
    created_ = true;
    // The "Topaz" skin gives the large add button its own teal 12-pixel font.
    if (model_->SkinName == "Topaz")
      addFilesButton->setStyleSheet(QStringLiteral("color: teal; font-size: 12px;"));
  } catch (const std::exception& error) {
    // The window stays usable for what does not need the output folder; the user is told why.
    ShowMessage(error.what(), mkError);
  }
  Changed(wcAll);
}

MainWindow::~MainWindow() {
  if (model_ && created_) model_->OnDestroy();
  // The model's handlers may still redraw while it goes; they find no model any more.
  std::unique_ptr<TWorkbench> model = std::move(model_);
}

void MainWindow::ApplyFonts() {
  // "宋体" where the machine has it, else an installed CJK font.
  QFont font(QStringLiteral("宋体"));
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  setFont(font);
}

void MainWindow::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QText(FileMenuCaption));
  file->setObjectName("N1");
  exitAction = file->addAction(QText(ExitCaption));
  exitAction->setObjectName("N2");
  connect(exitAction, &QAction::triggered, this, [this] { OnExitTriggered(); });
  QMenu* help = menuBar()->addMenu(QText(HelpMenuCaption));
  help->setObjectName("N4");
  aboutAction = help->addAction(QText(AboutCaption));
  aboutAction->setObjectName("N5");
  connect(aboutAction, &QAction::triggered, this, [this] { OnAboutTriggered(); });
}

void MainWindow::BuildSourceList(QWidget* client) {
  const QRect listArea(8, 8, 418, 228);
  sourceList = Place<QTreeWidget>(client, "sListView1", listArea);
  sourceList->setRootIsDecorated(false);
  sourceList->setUniformRowHeights(true);
  sourceList->setSelectionMode(QAbstractItemView::SingleSelection);
  sourceList->setSelectionBehavior(QAbstractItemView::SelectRows);
  sourceList->setAllColumnsShowFocus(true);
  // The columns fit the list's width; the last one takes what is left.
  sourceList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sourceList->setColumnCount(ListColumnCount);
  sourceList->header()->setStretchLastSection(true);
  sourceList->header()->setSectionsMovable(false);
  sourceList->setItemDelegate(new TProgressDelegate(ProgressColumn, sourceList));
  connect(sourceList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    UserAction([&] { model_->OnSourceSelected(item ? sourceList->indexOfTopLevelItem(item) : -1); });
  });
  auto* remove =
      new QShortcut(QKeySequence::Delete, sourceList, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(remove, &QShortcut::activated, this, [this] {
    UserAction([&] {
      if (model_->removeButton.Enabled) model_->OnRemoveClicked();
    });
  });

  addPanel = Place<QWidget>(client, "sPanel1", listArea);
  addFilesButton = Place<QPushButton>(addPanel, "sSpeedButton7", QRect(QPoint(0, 0), listArea.size()));
  addFilesButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  addFilesButton->setIconSize(QSize(32, 32));
  addFilesButton->setAccessibleName(QText(AddFilesAccessibleName));
  connect(addFilesButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnAddFilesClicked(); }); });
  addPanel->raise();

  auto* drops = new TFileDropFilter(
      this, [this](const std::vector<std::string>& paths) { UserAction([&] { model_->AddFiles(paths); }); });
  drops->Watch(sourceList->viewport());
  drops->Watch(addFilesButton);

  addButton = Place<QPushButton>(client, "sSpeedButton1", QRect(8, 240, 60, 24));
  removeButton = Place<QPushButton>(client, "sSpeedButton2", QRect(72, 240, 60, 24));
  clearButton = Place<QPushButton>(client, "sSpeedButton3", QRect(136, 240, 60, 24));
  connect(addButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnAddFilesClicked(); }); });
  connect(removeButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnRemoveClicked(); }); });
  connect(clearButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnClearClicked(); }); });

  powerOffCheckBox = Place<QCheckBox>(client, "sCheckBox1", QRect(290, 242, 136, 20));
  connect(powerOffCheckBox, &QCheckBox::clicked, this,
          [this](bool checked) { UserAction([&] { model_->OnPowerOffCheckBoxClicked(checked); }); });
}

void MainWindow::BuildPreview(QWidget* client) {
  previewGroup = Place<QGroupBox>(client, "sGroupBox2", QRect(434, 4, 236, 262), QText(PreviewGroupCaption));
  previewImage = Place<QLabel>(previewGroup, "imgPreview", QRect(8, 20, 220, 145));
  previewImage->setAutoFillBackground(true);
  QPalette black = previewImage->palette();
  black.setColor(QPalette::Window, Qt::black);
  previewImage->setPalette(black);
  previewTrackBar = Place<TTrackBar>(previewGroup, "trcPreview", QRect(8, 166, 220, 26));
  connect(previewTrackBar, &QSlider::valueChanged, this,
          [this](int position) { UserAction([&] { model_->OnPreviewTrackBarChanged(position); }); });
  previewTimeLabel = Place<QLabel>(previewGroup, "lblPTS", QRect(8, 192, 220, 16));
  previewTimeLabel->setAlignment(Qt::AlignCenter);
  markStartButton = Place<QPushButton>(previewGroup, "btnStartTime", QRect(8, 210, 55, 22));
  clipStartEdit = Place<QLineEdit>(previewGroup, "edtStartTime", QRect(65, 210, 52, 22));
  markEndButton = Place<QPushButton>(previewGroup, "btnEndTime", QRect(119, 210, 55, 22));
  clipEndEdit = Place<QLineEdit>(previewGroup, "edtEndTime", QRect(176, 210, 52, 22));
  clipCheckBox = Place<QCheckBox>(previewGroup, "chkCutClip", QRect(8, 236, 120, 20));
  connect(markStartButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnMarkStartClicked(); }); });
  connect(markEndButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnMarkEndClicked(); }); });
  connect(clipCheckBox, &QCheckBox::toggled, this,
          [this](bool checked) { UserAction([&] { model_->OnClipCheckBoxClicked(checked); }); });
}

void MainWindow::BuildSettings(QWidget* client) {
  settingsGroup = Place<QGroupBox>(client, "sGroupBox1", QRect(8, 270, 662, 174), QText(OutputGroupCaption));
  settingsPages = Place<QTabWidget>(settingsGroup, "sPageControl2", QRect(8, 18, 646, 150));
  const char* names[] = {"sTabSheet5", "sTabSheet6", "sTabSheet7", "sTabSheet8"};
  for (int i = 0; i < 4; ++i) {
    pages_[size_t(i)] = new QWidget;
    pages_[size_t(i)]->setObjectName(QString::fromLatin1(names[i]));
    settingsPages->addTab(pages_[size_t(i)], QString());  // the model's captions are drawn in
  }
  BuildPresetPage(pages_[0], false);
  BuildPresetPage(pages_[1], true);
  BuildExistingPage(pages_[2]);
  BuildCustomPage(pages_[3]);

  summary_ = Place<QWidget>(pages_[0], "SummaryLabels", QRect(400, 4, 236, 110));
  QLabel** labels[] = {&frameSizeLabel, &videoCodecLabel, &videoBitrateLabel, &frameRateLabel,
                       &audioCodecLabel};
  const char* labelNames[] = {"sLabelFX12", "sLabelFX6", "sLabelFX11", "sLabelFX7", "sLabelFX8"};
  for (int i = 0; i < 5; ++i) *labels[i] = Place<QLabel>(summary_, labelNames[i], QRect(0, i * 21, 236, 20));

  connect(settingsPages, &QTabWidget::currentChanged, this,
          [this](int page) { UserAction([&] { model_->OnSettingsPageChanged(page); }); });
  sizeLimitControls = new TSizeLimitControls(
      settingsPages, [this](const auto& handler) { UserAction([&] { handler(*model_); }); });
}

void MainWindow::BuildPresetPage(QWidget* page, bool device) {
  Label(page, QText(device ? BrandLabel : FileTypeLabel), QRect(12, 16, 64, 16),
        device ? "sLabelFX3" : "sLabelFX2");
  Label(page, QText(device ? ModelLabel : PresetLabel), QRect(12, 56, 64, 16),
        device ? "sLabelFX5" : "sLabelFX4");
  QComboBox* first = Place<QComboBox>(page, device ? "sComboBoxEx3" : "sComboBoxEx1", QRect(80, 12, 300, 24));
  QComboBox* second =
      Place<QComboBox>(page, device ? "sComboBoxEx4" : "sComboBoxEx2", QRect(80, 52, 300, 24));
  for (QComboBox* box : {first, second}) box->setMaxVisibleItems(20);
  if (device) {
    brandBox = first;
    modelBox = second;
    connect(first, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectBrand(i); }); });
    connect(second, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectModel(i); }); });
  } else {
    fileTypeBox = first;
    presetBox = second;
    connect(first, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectFileType(i); }); });
    connect(second, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectPreset(i); }); });
    removePresetButton = Place<QPushButton>(page, "removePresetButton", QRect(80, 86, 120, 26));
    connect(removePresetButton, &QPushButton::clicked, this,
            [this] { UserAction([&] { model_->OnRemovePresetClicked(); }); });
  }
}

void MainWindow::BuildExistingPage(QWidget* page) {
  QLabel* text = Label(page, QText(ExistingVideoText), QRect(12, 8, 370, 64), "sLabelFX9");
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  analyseButton = Place<QPushButton>(page, "sSpeedButton4", QRect(12, 80, 120, 28));
  connect(analyseButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnAnalyseClicked(); }); });
}

void MainWindow::BuildCustomPage(QWidget* page) {
  applyCustomButton = Place<QPushButton>(page, "sSpeedButton5", QRect(12, 12, 100, 28));
  connect(applyCustomButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnApplyCustomClicked(); }); });

  customValuesPanel = Place<QWidget>(page, "sPanel3", QRect(0, 0, 642, 124));
  customValuesPanel->setAutoFillBackground(true);
  Label(customValuesPanel, QText(CustomTypeLabel), QRect(8, 10, 64, 16));
  customTypeBox = Place<QComboBox>(customValuesPanel, "sComboBoxEx5", QRect(76, 6, 200, 24));
  connect(customTypeBox, &QComboBox::activated, this,
          [this](int i) { UserAction([&] { model_->SelectCustomType(i); }); });
  Label(customValuesPanel, QText(CustomSizeLabel), QRect(8, 42, 64, 16));
  Label(customValuesPanel, QText(CustomBitrateLabel), QRect(8, 74, 64, 16));
  Label(customValuesPanel, QText(CustomFrameRateLabel), QRect(168, 74, 44, 16));
  Label(customValuesPanel, QText(CustomSizeSeparator), QRect(130, 42, 14, 16));
  const QRect editPlaces[4] = {{76, 38, 50, 22}, {146, 38, 50, 22}, {76, 70, 80, 22}, {214, 70, 40, 22}};
  for (int i = 0; i < 4; ++i)
    customEdits_[size_t(i)] =
        Place<QLineEdit>(customValuesPanel, ("sEdit" + std::to_string(i + 1)).c_str(), editPlaces[i]);

  // The quality of the quality-based types under the bit rate, and saving the page as a preset.
  customQualityLabel = Label(customValuesPanel, QText(CustomQualityLabel), QRect(8, 100, 64, 16));
  customEdits_[12] = Place<QLineEdit>(customValuesPanel, "customQualityEdit", QRect(76, 96, 40, 22));
  saveCustomPresetButton = Place<QPushButton>(customValuesPanel, "btnSavePreset", QRect(134, 95, 140, 24));
  connect(saveCustomPresetButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnSaveCustomPresetClicked(); }); });

  cropPadGroup =
      Place<QGroupBox>(customValuesPanel, "sGroupBox3", QRect(286, 0, 350, 100), QText(CropPadCaption));
  cropCheckBox = Place<QCheckBox>(cropPadGroup, "sCheckBox2", QRect(8, 28, 56, 20));
  padCheckBox = Place<QCheckBox>(cropPadGroup, "sCheckBox3", QRect(8, 64, 56, 20));
  connect(cropCheckBox, &QCheckBox::clicked, this,
          [this](bool on) { UserAction([&] { model_->OnCropCheckBoxClicked(on); }); });
  connect(padCheckBox, &QCheckBox::clicked, this,
          [this](bool on) { UserAction([&] { model_->OnPadCheckBoxClicked(on); }); });
  for (int row = 0; row < 2; ++row) {
    for (int side = 0; side < 4; ++side) {
      const int index = 4 + row * 4 + side;  // cropTopEdit .. padRightEdit in customEdits_[4..11]
      const int x = 66 + side * 70;
      const int y = 26 + row * 36;
      cropPadLabels_[size_t(index - 4)] =
          Label(cropPadGroup, QText(CropPadSideLabels[side]), QRect(x, y + 3, 14, 16));
      customEdits_[size_t(index)] = Place<QLineEdit>(
          cropPadGroup, ("sEdit" + std::to_string(index + 1)).c_str(), QRect(x + 16, y, 46, 22));
    }
  }
  for (int i = 0; i < int(customEdits_.size()); ++i) {
    connect(customEdits_[size_t(i)], &QLineEdit::textEdited, this, [this, i](const QString& text) {
      UserAction([&] {
        // A refused text puts the model's back.
        if (!model_->SetCustomEditText(i + 1, text.toStdString())) Changed(wcSettings);
      });
    });
  }
}

void MainWindow::BuildOutputRow(QWidget* client) {
  outputFolderLabel = Label(client, QText(OutputFolderLabel), QRect(8, 456, 66, 16), "sLabelFX1");
  outputFolderEdit = Place<QLineEdit>(client, "sComboEdit1", QRect(76, 452, 300, 26));
  outputFolderBrowseButton =
      outputFolderEdit->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
  outputFolderBrowseButton->setObjectName("sComboEdit1Button");
  outputFolderBrowseButton->setText(QText(BrowseAccessibleName));
  connect(outputFolderBrowseButton, &QAction::triggered, this,
          [this] { UserAction([&] { model_->OnBrowseOutputFolder(); }); });
  connect(outputFolderEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
    UserAction([&] { model_->OnOutputFolderEdited(text.toStdString()); });
  });
  connect(outputFolderEdit, &QLineEdit::editingFinished, this,
          [this] { UserAction([&] { model_->OnOutputFolderEditLeft(); }); });
  openOutputFolderButton = Place<QToolButton>(client, "sSpeedButton6", QRect(380, 452, 26, 26));
  openOutputFolderButton->setIcon(style()->standardIcon(QStyle::SP_DirLinkIcon));
  openOutputFolderButton->setAccessibleName(QText(OpenFolderAccessibleName));
  connect(openOutputFolderButton, &QToolButton::clicked, this,
          [this] { UserAction([&] { model_->OnOpenOutputFolderClicked(); }); });
}

void MainWindow::BuildRunButtons(QWidget* client) {
  runButtonsPanel = Place<QWidget>(client, "sPanel2", QRect(412, 450, 258, 30));
  QPushButton** buttons[] = {&startButton, &pauseButton, &resumeButton, &stopButton};
  const char* names[] = {"btnStart", "btnPause", "btnResume", "btnStop"};
  for (int i = 0; i < 4; ++i)
    *buttons[i] = Place<QPushButton>(runButtonsPanel, names[i], QRect(i * 65, 2, 60, 26));
  connect(startButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnStartClicked(); }); });
  connect(pauseButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnPauseClicked(); }); });
  connect(resumeButton, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->OnResumeClicked(); }); });
  connect(stopButton, &QPushButton::clicked, this, [this] { UserAction([&] { model_->OnStopClicked(); }); });
  // Shortcuts of their own: a button's text replaces its shortcut. A disabled button ignores the click.
  for (auto [button, keys] : {std::pair{startButton, QKeySequence(Qt::CTRL | Qt::Key_Return)},
                              std::pair{stopButton, QKeySequence(Qt::Key_Escape)}}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setObjectName(button->objectName() + QStringLiteral("Shortcut"));
    connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
  }
  auto* add = new QShortcut(QKeySequence::Open, this);
  connect(add, &QShortcut::activated, this, [this] {
    UserAction([&] {
      if (addFilesButton->isEnabled()) model_->OnAddFilesClicked();
    });
  });
}

void MainWindow::SetTabOrder() {
  // Left to right and top to bottom through each part; the custom page's check boxes lead their rows.
  std::vector<QWidget*> order = {sourceList,    addFilesButton,   addButton,         removeButton,
                                 clearButton,   powerOffCheckBox, previewTrackBar,   markStartButton,
                                 clipStartEdit, markEndButton,    clipEndEdit,       clipCheckBox,
                                 settingsPages, fileTypeBox,      presetBox,         brandBox,
                                 modelBox,      analyseButton,    applyCustomButton, customTypeBox};
  order.insert(std::find(order.begin(), order.end(), presetBox) + 1, removePresetButton);
  order.insert(order.end(), customEdits_.begin(), customEdits_.begin() + 4);
  order.insert(order.end(), {customEdits_[12], saveCustomPresetButton, cropCheckBox});
  order.insert(order.end(), customEdits_.begin() + 4, customEdits_.begin() + 8);
  order.push_back(padCheckBox);
  order.insert(order.end(), customEdits_.begin() + 8, customEdits_.begin() + 12);
  for (QWidget* control : sizeLimitControls->TabOrder()) order.push_back(control);
  order.insert(order.end(), {outputFolderEdit, openOutputFolderButton, startButton, pauseButton, resumeButton,
                             stopButton});
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (event->spontaneous() || !model_ || !created_) return;
  UserAction([&] { model_->OnShow(); });
  shownOnce_ = true;
  Changed(wcAll);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool close = true;
  if (model_) {
    // A folder typed and not yet left is remembered too.
    UserAction([&] { model_->OnOutputFolderEditLeft(); });
    UserAction([&] { close = model_->CloseRequested(); });
  }
  if (close)
    event->accept();
  else
    event->ignore();
}

void MainWindow::OnExitTriggered() { close(); }

void MainWindow::OnAboutTriggered() {
  AboutBox about(this);
  about.exec();
}

// ---- The view interface ----

void MainWindow::ShowMessage(const std::string& text, TMessageKind kind) { ShowMessageBox(this, text, kind); }

std::vector<std::string> MainWindow::OpenFileDialog(const std::string& filter, bool multiSelect) {
  return ChooseFiles(this, filter, multiSelect);
}

std::string MainWindow::BrowseFolder(const std::string& title) { return ChooseFolder(this, title); }

void MainWindow::ShellOpen(const std::string& folder) {
  if (!OpenInShell(folder)) ShowMessage(CannotOpenFolderText(folder), mkError);
}

void MainWindow::Beep() { QApplication::beep(); }

void MainWindow::ProcessMessages() { QCoreApplication::processEvents(); }

bool MainWindow::AskYesNo(const std::string& text) { return AskQuestion(this, text); }

std::optional<std::string> MainWindow::AskText(const std::string& prompt, const std::string& initial) {
  return AskTextInput(this, prompt, initial);
}

bool MainWindow::ConfirmPowerOff(int seconds) {
  TPowerOffDialog dialog(this, seconds);
  return dialog.Run();
}

void MainWindow::Changed(TWorkbenchChange what) {
  if (!model_) return;
  const bool wasRedrawing = redrawing_;
  redrawing_ = true;
  if (what == wcAll || what == wcList) RedrawList(what == wcAll);
  if (what == wcAll || what == wcPreview) RedrawPreview();
  if (what == wcAll || what == wcSettings) RedrawSettings();
  if (what == wcAll || what == wcRunButtons || what == wcList) RedrawRunButtons();
  RedrawCaption();
  redrawing_ = wasRedrawing;
}

void MainWindow::RowChanged(int row) { changedRows_.push_back(row); }

void MainWindow::ShowBatchOnDesktop(bool running, int percent) {
  if (running && !inhibitor_) inhibitor_ = desktop_->InhibitSleep(QText(SleepInhibitReason));
  if (!running) inhibitor_.reset();
  const int shown = running ? std::max(percent, 0) : -1;
  if (shown == launcherPercent_) return;
  launcherPercent_ = shown;
  desktop_->SetLauncherProgress(shown < 0 ? 0 : shown / 100.0, shown >= 0);
}

void MainWindow::BatchEnded(const std::string& report, bool allFinished) {
  ShowBatchOnDesktop(false, -1);
  if (isActiveWindow()) return;  // the end dialog is in front of the user already
  desktop_->Notify(QText(allFinished ? BatchFinishedTitle : BatchEndedTitle), QText(report));
}

}  // namespace ok
