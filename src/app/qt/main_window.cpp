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
#include <exception>

#include "app/qt/about_box.h"
#include "app/qt/qt_dialogs.h"
#include "app/qt/qt_images.h"
#include "app/qt/qt_widgets.h"

namespace ok {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

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

void ApplyState(QWidget* widget, const TControlState& state) {
  widget->setEnabled(state.Enabled);
  widget->setToolTip(Q(state.Hint));
  // A child shown while its window is hidden appears with the window.
  if (widget->isVisibleTo(widget->parentWidget()) != state.Visible) widget->setVisible(state.Visible);
}

void ApplyButton(QAbstractButton* button, const TControlState& state) {
  ApplyState(button, state);
  button->setText(Q(state.Caption));
}

void ApplyCheckBox(QCheckBox* box, const TCheckBoxState& state) {
  ApplyButton(box, state);
  box->setChecked(state.Checked);
}

void ApplyLabel(QLabel* label, const TControlState& state) {
  ApplyState(label, state);
  label->setText(Q(state.Caption));
}

void ApplyEdit(QLineEdit* edit, const TEditState& state) {
  ApplyState(edit, state);
  edit->setMaxLength(state.MaxLength > 0 ? state.MaxLength : 32767);
  edit->setReadOnly(state.ReadOnly);
  if (edit->text() != Q(state.Text)) edit->setText(Q(state.Text));
}

void ApplyComboBox(QComboBox* box, const TComboBoxState& state) {
  ApplyState(box, state);
  bool same = box->count() == int(state.Items.size());
  for (int i = 0; same && i < box->count(); ++i)
    same = box->itemText(i) == Q(state.Items[size_t(i)].Caption) &&
           box->itemData(i).toInt() == state.Items[size_t(i)].ImageIndex;
  if (!same) {
    box->clear();
    for (const TComboItem& item : state.Items)
      box->addItem(ComboImage(item.ImageIndex), Q(item.Caption), item.ImageIndex);
  }
  box->setCurrentIndex(state.ItemIndex < box->count() ? state.ItemIndex : -1);
}

// The source list's columns: caption, width (0: the rest).
struct TColumn {
  const char* Caption;
  int Width;
};
constexpr TColumn ListColumns[] = {{"文件名", 155}, {"类型", 46}, {"分辨率", 70}, {"时长", 60}, {"进度", 0}};
constexpr int ProgressColumn = 4;

}  // namespace

template <typename Handler>
void TForm1::UserAction(Handler&& handler) {
  if (redrawing_ || !model_) return;
  try {
    handler();
  } catch (const std::exception& error) {
    ShowMessage(error.what(), mkError);
  }
}

TForm1::TForm1(TWorkbenchEnvironment environment, QWidget* parent)
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
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  model_ = std::make_unique<TWorkbench>(*this, environment);
  try {
    model_->FormCreate();
    created_ = true;
    // The "Topaz" skin gives the large add button its own teal 12-pixel font.
    if (model_->SkinName == "Topaz")
      sSpeedButton7->setStyleSheet(QStringLiteral("color: teal; font-size: 12px;"));
  } catch (const std::exception& error) {
    // The window stays usable for what does not need the output folder; the user is told why.
    ShowMessage(error.what(), mkError);
  }
  Changed(wcAll);
}

TForm1::~TForm1() {
  if (model_ && created_) model_->FormDestroy();
  // The model's handlers may still redraw while it goes; they find no model any more.
  std::unique_ptr<TWorkbench> model = std::move(model_);
}

void TForm1::ApplyFonts() {
  // "宋体" where the machine has it, else an installed CJK font.
  QFont font(QStringLiteral("宋体"));
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  setFont(font);
}

void TForm1::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
  file->setObjectName("N1");
  N2 = file->addAction(QStringLiteral("退出"));
  N2->setObjectName("N2");
  connect(N2, &QAction::triggered, this, [this] { N2Click(); });
  QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
  help->setObjectName("N4");
  N5 = help->addAction(QStringLiteral("关于"));
  N5->setObjectName("N5");
  connect(N5, &QAction::triggered, this, [this] { N5Click(); });
}

void TForm1::BuildSourceList(QWidget* client) {
  const QRect listArea(8, 8, 418, 228);
  sListView1 = Place<QTreeWidget>(client, "sListView1", listArea);
  sListView1->setRootIsDecorated(false);
  sListView1->setUniformRowHeights(true);
  sListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  sListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  sListView1->setAllColumnsShowFocus(true);
  // The columns fit the list's width; the last one takes what is left.
  sListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sListView1->setColumnCount(int(std::size(ListColumns)));
  QStringList captions;
  for (const TColumn& column : ListColumns) captions << QString::fromUtf8(column.Caption);
  sListView1->setHeaderLabels(captions);
  sListView1->header()->setStretchLastSection(true);
  sListView1->header()->setSectionsMovable(false);
  for (int i = 0; i < int(std::size(ListColumns)); ++i) {
    if (ListColumns[i].Width > 0) sListView1->setColumnWidth(i, ListColumns[i].Width);
    if (i > 0) sListView1->headerItem()->setTextAlignment(i, Qt::AlignCenter);
  }
  sListView1->setItemDelegate(new TProgressDelegate(ProgressColumn, sListView1));
  connect(sListView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    UserAction([&] { model_->sListView1Change(item ? sListView1->indexOfTopLevelItem(item) : -1); });
  });
  auto* remove =
      new QShortcut(QKeySequence::Delete, sListView1, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(remove, &QShortcut::activated, this, [this] {
    UserAction([&] {
      if (model_->sSpeedButton2.Enabled) model_->sSpeedButton2Click();
    });
  });

  sPanel1 = Place<QWidget>(client, "sPanel1", listArea);
  sSpeedButton7 = Place<QPushButton>(sPanel1, "sSpeedButton7", QRect(QPoint(0, 0), listArea.size()));
  sSpeedButton7->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  sSpeedButton7->setIconSize(QSize(32, 32));
  connect(sSpeedButton7, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton7Click(); }); });
  sPanel1->raise();

  auto* drops = new TFileDropFilter(
      this, [this](const std::vector<std::string>& paths) { UserAction([&] { model_->AddFiles(paths); }); });
  drops->Watch(sListView1->viewport());
  drops->Watch(sSpeedButton7);

  sSpeedButton1 = Place<QPushButton>(client, "sSpeedButton1", QRect(8, 240, 60, 24));
  sSpeedButton2 = Place<QPushButton>(client, "sSpeedButton2", QRect(72, 240, 60, 24));
  sSpeedButton3 = Place<QPushButton>(client, "sSpeedButton3", QRect(136, 240, 60, 24));
  connect(sSpeedButton1, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton7Click(); }); });
  connect(sSpeedButton2, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton2Click(); }); });
  connect(sSpeedButton3, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton3Click(); }); });

  sCheckBox1 = Place<QCheckBox>(client, "sCheckBox1", QRect(290, 242, 136, 20));
  connect(sCheckBox1, &QCheckBox::clicked, this,
          [this](bool checked) { UserAction([&] { model_->sCheckBox1Click(checked); }); });
}

void TForm1::BuildPreview(QWidget* client) {
  sGroupBox2 =
      Place<QGroupBox>(client, "sGroupBox2", QRect(434, 4, 236, 262), QStringLiteral("视频预览窗口"));
  imgPreview = Place<QLabel>(sGroupBox2, "imgPreview", QRect(8, 20, 220, 145));
  imgPreview->setAutoFillBackground(true);
  QPalette black = imgPreview->palette();
  black.setColor(QPalette::Window, Qt::black);
  imgPreview->setPalette(black);
  trcPreview = Place<TTrackBar>(sGroupBox2, "trcPreview", QRect(8, 166, 220, 26));
  connect(trcPreview, &QSlider::valueChanged, this,
          [this](int position) { UserAction([&] { model_->trcPreviewChange(position); }); });
  lblPTS = Place<QLabel>(sGroupBox2, "lblPTS", QRect(8, 192, 220, 16));
  lblPTS->setAlignment(Qt::AlignCenter);
  btnStartTime = Place<QPushButton>(sGroupBox2, "btnStartTime", QRect(8, 210, 55, 22));
  edtStartTime = Place<QLineEdit>(sGroupBox2, "edtStartTime", QRect(65, 210, 52, 22));
  btnEndTime = Place<QPushButton>(sGroupBox2, "btnEndTime", QRect(119, 210, 55, 22));
  edtEndTime = Place<QLineEdit>(sGroupBox2, "edtEndTime", QRect(176, 210, 52, 22));
  chkCutClip = Place<QCheckBox>(sGroupBox2, "chkCutClip", QRect(8, 236, 120, 20));
  connect(btnStartTime, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->btnStartTimeClick(); }); });
  connect(btnEndTime, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->btnEndTimeClick(); }); });
  connect(chkCutClip, &QCheckBox::toggled, this,
          [this](bool checked) { UserAction([&] { model_->chkCutClipClick(checked); }); });
}

void TForm1::BuildSettings(QWidget* client) {
  sGroupBox1 = Place<QGroupBox>(client, "sGroupBox1", QRect(8, 270, 662, 174), QStringLiteral("输出设置："));
  sPageControl2 = Place<QTabWidget>(sGroupBox1, "sPageControl2", QRect(8, 18, 646, 150));
  const char* names[] = {"sTabSheet5", "sTabSheet6", "sTabSheet7", "sTabSheet8"};
  const char* captions[] = {"按预置方案", "按设备类型", "按已有视频", "自己定义"};
  for (int i = 0; i < 4; ++i) {
    pages_[size_t(i)] = new QWidget;
    pages_[size_t(i)]->setObjectName(QString::fromLatin1(names[i]));
    sPageControl2->addTab(pages_[size_t(i)], QString::fromUtf8(captions[i]));
  }
  BuildPresetPage(pages_[0], false);
  BuildPresetPage(pages_[1], true);
  BuildExistingPage(pages_[2]);
  BuildCustomPage(pages_[3]);

  summary_ = Place<QWidget>(pages_[0], "SummaryLabels", QRect(400, 4, 236, 110));
  QLabel** labels[] = {&sLabelFX12, &sLabelFX6, &sLabelFX11, &sLabelFX7, &sLabelFX8};
  const char* labelNames[] = {"sLabelFX12", "sLabelFX6", "sLabelFX11", "sLabelFX7", "sLabelFX8"};
  for (int i = 0; i < 5; ++i) *labels[i] = Place<QLabel>(summary_, labelNames[i], QRect(0, i * 21, 236, 20));

  connect(sPageControl2, &QTabWidget::currentChanged, this,
          [this](int page) { UserAction([&] { model_->sPageControl2Change(page); }); });
}

void TForm1::BuildPresetPage(QWidget* page, bool device) {
  Label(page, device ? QStringLiteral("设备品牌:") : QStringLiteral("文件类型:"), QRect(12, 16, 64, 16),
        device ? "sLabelFX3" : "sLabelFX2");
  Label(page, device ? QStringLiteral("设备型号:") : QStringLiteral("预置方案:"), QRect(12, 56, 64, 16),
        device ? "sLabelFX5" : "sLabelFX4");
  QComboBox* first = Place<QComboBox>(page, device ? "sComboBoxEx3" : "sComboBoxEx1", QRect(80, 12, 300, 24));
  QComboBox* second =
      Place<QComboBox>(page, device ? "sComboBoxEx4" : "sComboBoxEx2", QRect(80, 52, 300, 24));
  for (QComboBox* box : {first, second}) box->setMaxVisibleItems(20);
  if (device) {
    sComboBoxEx3 = first;
    sComboBoxEx4 = second;
    connect(first, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectBrand(i); }); });
    connect(second, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectModel(i); }); });
  } else {
    sComboBoxEx1 = first;
    sComboBoxEx2 = second;
    connect(first, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectFileType(i); }); });
    connect(second, &QComboBox::activated, this,
            [this](int i) { UserAction([&] { model_->SelectPreset(i); }); });
  }
}

void TForm1::BuildExistingPage(QWidget* page) {
  QLabel* text =
      Label(page,
            QStringLiteral("       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些可以"
                           "播放的视频文件，OK,本软件可以提取并分析这些文件为您自动生成合适的方案。"),
            QRect(12, 8, 370, 64), "sLabelFX9");
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  sSpeedButton4 = Place<QPushButton>(page, "sSpeedButton4", QRect(12, 80, 120, 28));
  connect(sSpeedButton4, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton4Click(); }); });
}

void TForm1::BuildCustomPage(QWidget* page) {
  sSpeedButton5 = Place<QPushButton>(page, "sSpeedButton5", QRect(12, 12, 100, 28));
  connect(sSpeedButton5, &QPushButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton5Click(); }); });

  sPanel3 = Place<QWidget>(page, "sPanel3", QRect(0, 0, 642, 124));
  sPanel3->setAutoFillBackground(true);
  Label(sPanel3, QStringLiteral("视频类型"), QRect(8, 10, 64, 16));
  sComboBoxEx5 = Place<QComboBox>(sPanel3, "sComboBoxEx5", QRect(76, 6, 200, 24));
  connect(sComboBoxEx5, &QComboBox::activated, this,
          [this](int i) { UserAction([&] { model_->SelectCustomType(i); }); });
  Label(sPanel3, QStringLiteral("视频尺寸"), QRect(8, 42, 64, 16));
  Label(sPanel3, QStringLiteral("视频比特率"), QRect(8, 74, 64, 16));
  Label(sPanel3, QStringLiteral("帧速率"), QRect(168, 74, 44, 16));
  Label(sPanel3, QStringLiteral("Ⅹ"), QRect(130, 42, 14, 16));
  const QRect editPlaces[4] = {{76, 38, 50, 22}, {146, 38, 50, 22}, {76, 70, 80, 22}, {214, 70, 40, 22}};
  for (int i = 0; i < 4; ++i)
    sEdit_[size_t(i)] = Place<QLineEdit>(sPanel3, ("sEdit" + std::to_string(i + 1)).c_str(), editPlaces[i]);

  sGroupBox3 = Place<QGroupBox>(sPanel3, "sGroupBox3", QRect(286, 0, 350, 100), QStringLiteral("裁剪与填充"));
  sCheckBox2 = Place<QCheckBox>(sGroupBox3, "sCheckBox2", QRect(8, 28, 56, 20));
  sCheckBox3 = Place<QCheckBox>(sGroupBox3, "sCheckBox3", QRect(8, 64, 56, 20));
  connect(sCheckBox2, &QCheckBox::clicked, this,
          [this](bool on) { UserAction([&] { model_->sCheckBox2Click(on); }); });
  connect(sCheckBox3, &QCheckBox::clicked, this,
          [this](bool on) { UserAction([&] { model_->sCheckBox3Click(on); }); });
  const QString sides[4] = {QStringLiteral("上"), QStringLiteral("下"), QStringLiteral("左"),
                            QStringLiteral("右")};
  for (int row = 0; row < 2; ++row) {
    for (int side = 0; side < 4; ++side) {
      const int index = 4 + row * 4 + side;  // sEdit5 .. sEdit12 in sEdit_[4..11]
      const int x = 66 + side * 70;
      const int y = 26 + row * 36;
      cropPadLabels_[size_t(index - 4)] = Label(sGroupBox3, sides[side], QRect(x, y + 3, 14, 16));
      sEdit_[size_t(index)] = Place<QLineEdit>(sGroupBox3, ("sEdit" + std::to_string(index + 1)).c_str(),
                                               QRect(x + 16, y, 46, 22));
    }
  }
  for (int i = 0; i < 12; ++i) {
    connect(sEdit_[size_t(i)], &QLineEdit::textEdited, this, [this, i](const QString& text) {
      UserAction([&] {
        // A refused text puts the model's back.
        if (!model_->SetCustomEditText(i + 1, text.toStdString())) Changed(wcSettings);
      });
    });
  }
}

void TForm1::BuildOutputRow(QWidget* client) {
  sLabelFX1 = Label(client, QStringLiteral("输出目录："), QRect(8, 456, 66, 16), "sLabelFX1");
  sComboEdit1 = Place<QLineEdit>(client, "sComboEdit1", QRect(76, 452, 300, 26));
  sComboEdit1Button =
      sComboEdit1->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
  sComboEdit1Button->setObjectName("sComboEdit1Button");
  connect(sComboEdit1Button, &QAction::triggered, this,
          [this] { UserAction([&] { model_->sComboEdit1ButtonClick(); }); });
  connect(sComboEdit1, &QLineEdit::textEdited, this, [this](const QString& text) {
    UserAction([&] { model_->sComboEdit1Change(text.toStdString()); });
  });
  connect(sComboEdit1, &QLineEdit::editingFinished, this,
          [this] { UserAction([&] { model_->sComboEdit1Exit(); }); });
  sSpeedButton6 = Place<QToolButton>(client, "sSpeedButton6", QRect(380, 452, 26, 26));
  sSpeedButton6->setIcon(style()->standardIcon(QStyle::SP_DirLinkIcon));
  connect(sSpeedButton6, &QToolButton::clicked, this,
          [this] { UserAction([&] { model_->sSpeedButton6Click(); }); });
}

void TForm1::BuildRunButtons(QWidget* client) {
  sPanel2 = Place<QWidget>(client, "sPanel2", QRect(412, 450, 258, 30));
  QPushButton** buttons[] = {&btnStart, &btnPause, &btnResume, &btnStop};
  const char* names[] = {"btnStart", "btnPause", "btnResume", "btnStop"};
  for (int i = 0; i < 4; ++i) *buttons[i] = Place<QPushButton>(sPanel2, names[i], QRect(i * 65, 2, 60, 26));
  connect(btnStart, &QPushButton::clicked, this, [this] { UserAction([&] { model_->btnStartClick(); }); });
  connect(btnPause, &QPushButton::clicked, this, [this] { UserAction([&] { model_->btnPauseClick(); }); });
  connect(btnResume, &QPushButton::clicked, this, [this] { UserAction([&] { model_->btnResumeClick(); }); });
  connect(btnStop, &QPushButton::clicked, this, [this] { UserAction([&] { model_->btnStopClick(); }); });
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (event->spontaneous() || !model_ || !created_) return;
  UserAction([&] { model_->FormShow(); });
  shownOnce_ = true;
  Changed(wcAll);
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool close = true;
  if (model_) {
    // A folder typed and not yet left is remembered too.
    UserAction([&] { model_->sComboEdit1Exit(); });
    UserAction([&] { close = model_->CloseRequested(); });
  }
  if (close)
    event->accept();
  else
    event->ignore();
}

void TForm1::N2Click() { close(); }

void TForm1::N5Click() {
  TForm3 about(this);
  about.exec();
}

// ---- The view interface ----

void TForm1::ShowMessage(const std::string& text, TMessageKind kind) { ShowMessageBox(this, text, kind); }

std::vector<std::string> TForm1::OpenFileDialog(const std::string& filter, bool multiSelect) {
  return ChooseFiles(this, filter, multiSelect);
}

std::string TForm1::BrowseFolder(const std::string& title) { return ChooseFolder(this, title); }

void TForm1::ShellOpen(const std::string& folder) {
  if (!OpenInShell(folder)) ShowMessage("无法打开目录：" + folder, mkError);
}

void TForm1::Beep() { QApplication::beep(); }

void TForm1::ProcessMessages() { QCoreApplication::processEvents(); }

bool TForm1::AskYesNo(const std::string& text) { return AskQuestion(this, text); }

bool TForm1::ConfirmPowerOff(int seconds) {
  TPowerOffDialog dialog(this, seconds);
  return dialog.Run();
}

void TForm1::Changed(TWorkbenchChange what) {
  if (!model_) return;
  const bool wasRedrawing = redrawing_;
  redrawing_ = true;
  if (what == wcAll || what == wcList) RedrawList();
  if (what == wcAll || what == wcPreview) RedrawPreview();
  if (what == wcAll || what == wcSettings) RedrawSettings();
  if (what == wcAll || what == wcRunButtons || what == wcList) RedrawRunButtons();
  RedrawCaption();
  redrawing_ = wasRedrawing;
}

// ---- Drawing the model ----

void TForm1::RedrawList() {
  const TListViewState& list = model_->sListView1;
  ApplyState(sListView1, list);
  for (int i = 0; i < int(list.Columns.size()) && i < sListView1->columnCount(); ++i) {
    const TListColumn& column = list.Columns[size_t(i)];
    sListView1->headerItem()->setText(i, Q(column.Caption));
    sListView1->headerItem()->setTextAlignment(
        i, column.Centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    // The last column takes the rest of the list's width.
    if (column.Width > 0 && i + 1 < sListView1->columnCount() && sListView1->columnWidth(i) != column.Width)
      sListView1->setColumnWidth(i, column.Width);
  }
  while (sListView1->topLevelItemCount() > int(list.Rows.size()))
    delete sListView1->takeTopLevelItem(sListView1->topLevelItemCount() - 1);
  while (sListView1->topLevelItemCount() < int(list.Rows.size())) {
    auto* item = new QTreeWidgetItem(sListView1);
    for (int column = 0; column < sListView1->columnCount(); ++column)
      item->setTextAlignment(column, Qt::Alignment(sListView1->headerItem()->textAlignment(column)));
  }
  for (int row = 0; row < int(list.Rows.size()); ++row) {
    QTreeWidgetItem* item = sListView1->topLevelItem(row);
    const TListRow& data = list.Rows[size_t(row)];
    item->setText(0, Q(data.Caption));
    for (int column = 0; column < sListView1->columnCount(); ++column) {
      if (column > 0) {
        const size_t sub = size_t(column - 1);
        item->setText(column, sub < data.SubItems.size() ? Q(data.SubItems[sub]) : QString());
      }
      item->setToolTip(column, Q(data.Hint));
    }
    item->setData(ProgressColumn, PercentRole, data.Percent >= 0 ? QVariant(data.Percent) : QVariant());
  }
  QTreeWidgetItem* selected = list.SelectedIndex >= 0 && list.SelectedIndex < sListView1->topLevelItemCount()
                                  ? sListView1->topLevelItem(list.SelectedIndex)
                                  : nullptr;
  if (sListView1->currentItem() != selected) sListView1->setCurrentItem(selected);
  if (!selected) sListView1->clearSelection();

  ApplyState(sPanel1, model_->sPanel1);
  ApplyButton(sSpeedButton7, model_->sSpeedButton7);
  if (sPanel1->isVisibleTo(this)) sPanel1->raise();
}

void TForm1::RedrawPreview() {
  const TWorkbench& m = *model_;
  if (m.imgPreview.IsEmpty()) {
    imgPreview->setPixmap(QPixmap());
  } else {
    imgPreview->setPixmap(QPixmap::fromImage(BitmapToImage(m.imgPreview)));
  }
  const TTrackBarState& track = m.trcPreview;
  ApplyState(trcPreview, track);
  trcPreview->setRange(track.Min, track.Max);
  trcPreview->setValue(track.Position);
  trcPreview->setTickInterval(std::max(track.Frequency, 1));
  trcPreview->setSingleStep(std::max(track.LineSize, 1));
  trcPreview->setPageStep(std::max(track.PageSize, 1));
  trcPreview->SetSelection(track.SelStart, track.SelEnd);
  trcPreview->SetSliderVisible(track.SliderVisible);
  ApplyLabel(lblPTS, m.lblPTS);
  ApplyButton(btnStartTime, m.btnStartTime);
  ApplyButton(btnEndTime, m.btnEndTime);
  ApplyEdit(edtStartTime, m.edtStartTime);
  ApplyEdit(edtEndTime, m.edtEndTime);
  ApplyCheckBox(chkCutClip, m.chkCutClip);
}

void TForm1::RedrawSettings() {
  TWorkbench& m = *model_;
  const TPageControlState& pages = m.sPageControl2;
  ApplyState(sPageControl2, pages);
  for (int i = 0; i < sPageControl2->count(); ++i) {
    if (size_t(i) < pages.PageCaptions.size() && !pages.PageCaptions[size_t(i)].empty())
      sPageControl2->setTabText(i, Q(pages.PageCaptions[size_t(i)]));
    sPageControl2->setTabIcon(
        i, size_t(i) < pages.PageImageIndex.size() ? PageImage(pages.PageImageIndex[size_t(i)]) : QIcon());
  }
  if (pages.ActivePageIndex >= 0 && pages.ActivePageIndex < sPageControl2->count())
    sPageControl2->setCurrentIndex(pages.ActivePageIndex);

  ApplyComboBox(sComboBoxEx1, m.sComboBoxEx1);
  ApplyComboBox(sComboBoxEx2, m.sComboBoxEx2);
  ApplyComboBox(sComboBoxEx3, m.sComboBoxEx3);
  ApplyComboBox(sComboBoxEx4, m.sComboBoxEx4);
  ApplyComboBox(sComboBoxEx5, m.sComboBoxEx5);

  // The summary labels sit on the page shown.
  QWidget* shown = m.SummaryLabelsPage >= 0 && m.SummaryLabelsPage < 4 ? pages_[size_t(m.SummaryLabelsPage)]
                                                                       : sPageControl2->currentWidget();
  if (shown && summary_->parentWidget() != shown) {
    summary_->setParent(shown);
    summary_->move(400, 4);
    summary_->show();
  }
  ApplyLabel(sLabelFX12, m.sLabelFX12);
  ApplyLabel(sLabelFX6, m.sLabelFX6);
  ApplyLabel(sLabelFX11, m.sLabelFX11);
  ApplyLabel(sLabelFX7, m.sLabelFX7);
  ApplyLabel(sLabelFX8, m.sLabelFX8);

  ApplyButton(sSpeedButton4, m.sSpeedButton4);
  ApplyButton(sSpeedButton5, m.sSpeedButton5);
  ApplyState(sPanel3, m.sPanel3);
  sPanel3->raise();
  ApplyState(sGroupBox3, m.sGroupBox3);
  sGroupBox3->setTitle(Q(m.sGroupBox3.Caption));
  for (int i = 0; i < 12; ++i) {
    const TEditState& edit = m.CustomEdit(i + 1);
    ApplyEdit(sEdit_[size_t(i)], edit);
    if (i >= 4) cropPadLabels_[size_t(i - 4)]->setEnabled(edit.Enabled);
  }
  ApplyCheckBox(sCheckBox2, m.sCheckBox2);
  ApplyCheckBox(sCheckBox3, m.sCheckBox3);

  ApplyEdit(sComboEdit1, m.sComboEdit1);
  sComboEdit1Button->setToolTip(Q(m.sComboEdit1Button.Hint));
  ApplyState(sSpeedButton6, m.sSpeedButton6);
}

void TForm1::RedrawRunButtons() {
  const TWorkbench& m = *model_;
  ApplyButton(btnStart, m.btnStart);
  ApplyButton(btnPause, m.btnPause);
  ApplyButton(btnResume, m.btnResume);
  ApplyButton(btnStop, m.btnStop);
  ApplyButton(sSpeedButton1, m.sSpeedButton1);
  ApplyButton(sSpeedButton2, m.sSpeedButton2);
  ApplyButton(sSpeedButton3, m.sSpeedButton3);
  ApplyButton(sSpeedButton7, m.sSpeedButton7);
  ApplyCheckBox(sCheckBox1, m.sCheckBox1);
}

void TForm1::RedrawCaption() {
  QString caption = model_->Caption.empty() ? QString::fromUtf8(MainWindowCaption) : Q(model_->Caption);
  const std::vector<TSourceRow>& rows = model_->Sources;
  int percent = -1;
  if (model_->Running() && !rows.empty()) {
    // The batch's progress: the mean of the rows' percentages, a row not begun counting 0.
    int64_t sum = 0;
    for (const TSourceRow& row : rows) sum += row.State == rsFinished ? 100 : std::max(row.Progress, 0);
    percent = int(sum / int64_t(rows.size()));
    caption = QStringLiteral("%1% - %2").arg(percent).arg(caption);
  }
  if (windowTitle() != caption) setWindowTitle(caption);
  ShowBatchOnDesktop(model_->Running(), percent);
}

void TForm1::ShowBatchOnDesktop(bool running, int percent) {
  if (running && !inhibitor_) inhibitor_ = desktop_->InhibitSleep(QStringLiteral("Converting videos"));
  if (!running) inhibitor_.reset();
  const int shown = running ? std::max(percent, 0) : -1;
  if (shown == launcherPercent_) return;
  launcherPercent_ = shown;
  desktop_->SetLauncherProgress(shown < 0 ? 0 : shown / 100.0, shown >= 0);
}

void TForm1::BatchEnded(const std::string& report, bool allFinished) {
  ShowBatchOnDesktop(false, -1);
  if (isActiveWindow()) return;  // the end dialog is in front of the user already
  desktop_->Notify(QString::fromUtf8(allFinished ? "转换完成" : "转换结束"), Q(report));
}

}  // namespace ok
