// The main window over the model: its controls, the batch from the buttons to the end report, the
// track bar and marks, files dropped and the Delete key.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "app/qt/fake_desktop_bus.h"
#include "app/qt/qt_test_support.h"
#include "app/qt/qt_widgets.h"
#include "app/qt/window_arguments.h"
#include "app/workbench/model_test_support.h"

namespace ok::test {
namespace {

struct TExpectedControl {
  const char* Name;
  const char* Caption;  // nullptr: not checked
  const char* Hint;
  bool Enabled;
  bool Visible;
};

QString CaptionOf(QWidget* widget) {
  if (auto* button = dynamic_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = dynamic_cast<QLabel*>(widget)) return label->text();
  if (auto* group = dynamic_cast<QGroupBox*>(widget)) return group->title();
  if (auto* edit = dynamic_cast<QLineEdit*>(widget)) return edit->text();
  return {};
}

TEST_F(WindowTest, EveryControlShowsItsCaptionHintAndState) {
  const TExpectedControl controls[] = {
      {"sSpeedButton7", "添加待转视频文件(&A)", "添加待转视频文件", true, true},
      {"sSpeedButton1", "添加(&A)", "", true, false},
      {"sSpeedButton2", "删除(&R)", "", true, false},
      {"sSpeedButton3", "清空(&C)", "", true, false},
      {"sGroupBox1", "输出设置：", "", true, true},
      {"sLabelFX1", "输出目录：", "", true, true},
      {"sComboEdit1", nullptr, "视频输出目录", true, true},
      {"sSpeedButton6", nullptr, "打开目录", true, true},
      {"btnStart", "开始(&S)", "", true, true},
      {"btnPause", "暂停(&P)", "", false, true},
      {"btnResume", "继续(&U)", "", false, true},
      {"btnStop", "停止(&T)", "", false, true},
      {"sCheckBox1", "转换完成自动关机(&W)", "", true, true},
      {"sGroupBox2", "视频预览窗口", "", true, true},
      {"lblPTS", "--", "", true, true},
      {"btnStartTime", "起始位置", "", true, true},
      {"edtStartTime", "0", "", true, true},
      {"btnEndTime", "结束位置", "", true, true},
      {"edtEndTime", "0", "", true, true},
      {"chkCutClip", "是否裁剪(&L)", "", true, true},
      {"sComboBoxEx1", nullptr, "选择文件类型方案", true, true},
      {"sComboBoxEx2", nullptr, "选择预置方案", true, true},
      {"sSpeedButton4", "分析视频文件(&V)", "", true, false},  // on a page not shown
      {"sSpeedButton5", "自定义(&M)", "", true, false},
      {"sLabelFX12", nullptr, "", true, true},
  };
  for (const TExpectedControl& expected : controls) {
    SCOPED_TRACE(expected.Name);
    QWidget* widget = Child<QWidget>(expected.Name);
    ASSERT_NE(widget, nullptr);
    if (expected.Caption) {
      EXPECT_EQ(CaptionOf(widget), QString::fromUtf8(expected.Caption));
    }
    EXPECT_EQ(widget->toolTip(), QString::fromUtf8(expected.Hint));
    EXPECT_EQ(widget->isEnabled(), expected.Enabled);
    EXPECT_EQ(widget->isVisible(), expected.Visible);
  }
  EXPECT_TRUE(Child<QLineEdit>("edtStartTime")->isReadOnly());
  EXPECT_EQ(Child<QAction>("sComboEdit1Button")->toolTip(), QStringLiteral("另外指定输出目录"));
  EXPECT_EQ(Child<QLineEdit>("sComboEdit1")->text(), QString::fromStdString(Model().OutputFolder));

  EXPECT_EQ(form->windowTitle(), QStringLiteral("OstrelKalvexa V1.4"));
  EXPECT_EQ(form->centralWidget()->size(), QSize(MainWindow::ClientWidth, MainWindow::ClientHeight));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_EQ(Child<QLabel>("imgPreview")->size(), QSize(220, 145));
  auto* track = Child<TTrackBar>("trcPreview");
  EXPECT_EQ(track->width(), 220);
  EXPECT_EQ(track->tickPosition(), QSlider::TicksAbove);

  auto* list = Child<QTreeWidget>("sListView1");
  const char* columns[] = {"文件名", "类型", "分辨率", "时长", "进度"};
  ASSERT_EQ(list->columnCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list->headerItem()->text(i), QString::fromUtf8(columns[i]));
    EXPECT_EQ(list->headerItem()->textAlignment(i) & Qt::AlignHCenter, i > 0 ? Qt::AlignHCenter : 0) << i;
  }
  EXPECT_EQ(list->columnWidth(0), 155);
  EXPECT_EQ(list->columnWidth(2), 70);
  EXPECT_EQ(list->columnWidth(3), 60);

  auto* pages = Child<QTabWidget>("sPageControl2");
  const char* captions[] = {"按预置方案", "按设备类型", "按已有视频", "自己定义"};
  ASSERT_EQ(pages->count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pages->tabText(i), QString::fromUtf8(captions[i]));
  EXPECT_EQ(pages->currentIndex(), 0);
  auto* fileTypes = Child<QComboBox>("sComboBoxEx1");
  ASSERT_EQ(fileTypes->count(), 14);  // the nine classic types, then the modern ones
  EXPECT_EQ(fileTypes->itemText(0), QStringLiteral("3GP  (适合手机播放)"));
  EXPECT_EQ(fileTypes->currentIndex(), 9);  // the first start's "MP4 H.264"
  EXPECT_FALSE(fileTypes->itemIcon(8).isNull());
  EXPECT_FALSE(fileTypes->itemIcon(13).isNull());
  EXPECT_GT(Child<QComboBox>("sComboBoxEx2")->count(), 0);

  QMenuBar* menu = form->menuBar();
  ASSERT_EQ(menu->actions().size(), 2);
  EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("文件(&F)"));
  EXPECT_EQ(Child<QAction>("N2")->text(), QStringLiteral("退出(&X)"));
  EXPECT_EQ(Child<QAction>("N5")->text(), QStringLiteral("关于(&A)"));
}

// An entry the loaded libraries cannot encode stays listed, greyed, with the reason as its tip.
TEST_F(WindowTest, EntriesThatCannotBeEncodedAreGreyedWithTheReason) {
  auto* presets = Child<QComboBox>("sComboBoxEx2");
  auto* items = qobject_cast<QStandardItemModel*>(presets->model());
  ASSERT_NE(items, nullptr);
  ASSERT_GT(presets->count(), 1);
  Model().presetBox.Items[1].DisabledReason = "没有 libx265 编码器";
  form->Changed(wcSettings);
  EXPECT_TRUE(items->item(0)->isEnabled());
  EXPECT_FALSE(items->item(1)->isEnabled());
  EXPECT_EQ(presets->itemData(1, Qt::ToolTipRole).toString(), QString::fromUtf8("没有 libx265 编码器"));
  Model().presetBox.Items[1].DisabledReason.clear();
  form->Changed(wcSettings);
  EXPECT_TRUE(items->item(1)->isEnabled());
  EXPECT_FALSE(presets->itemData(1, Qt::ToolTipRole).isValid());
}

TEST_F(WindowTest, PagesAndCustomPanelFollowTheModel) {
  auto* pages = Child<QTabWidget>("sPageControl2");
  pages->setCurrentIndex(spCustom);  // as a click on the tab
  EXPECT_EQ(Model().settingsPages.ActivePageIndex, spCustom);
  EXPECT_EQ(Model().SummaryLabelsPage, spCustom);
  EXPECT_EQ(Child<QLabel>("sLabelFX12")->parentWidget()->parentWidget(), pages->widget(spCustom));
  QTest::mouseClick(Child<QPushButton>("sSpeedButton5"), Qt::LeftButton);
  EXPECT_TRUE(Child<QWidget>("sPanel3")->isVisible());
  auto* width = Child<QLineEdit>("sEdit1");
  EXPECT_EQ(width->text(), QStringLiteral("220"));
  EXPECT_EQ(width->maxLength(), 4);
  width->setFocus();
  QTest::keyClicks(width, "x9");  // the letter is refused, the digit taken
  EXPECT_EQ(Model().customWidthEdit.Text, "2209");
  EXPECT_EQ(width->text(), QStringLiteral("2209"));

  // The quality beside the bit rate: only for the quality-based types, digits only, after the
  // frame rate in the tab order.
  auto* quality = Child<QLineEdit>("customQualityEdit");
  EXPECT_FALSE(quality->isEnabled());
  EXPECT_EQ(Child<QComboBox>("sComboBoxEx5")->count(), 13);
  emit Child<QComboBox>("sComboBoxEx5")->activated(9);
  EXPECT_TRUE(quality->isEnabled());
  EXPECT_EQ(Child<QLineEdit>("sEdit3")->maxLength(), 8);
  quality->setFocus();
  QTest::keyClicks(quality, "q23");
  EXPECT_EQ(Model().customQualityEdit.Text, "23");
  EXPECT_EQ(Child<QLineEdit>("sEdit4")->nextInFocusChain(), quality);
  EXPECT_EQ(Child<QPushButton>("btnSavePreset")->text(), QStringLiteral("保存为预置方案"));

  auto* crop = Child<QCheckBox>("sCheckBox2");
  EXPECT_FALSE(Child<QLineEdit>("sEdit5")->isEnabled());
  QTest::mouseClick(crop, Qt::LeftButton);
  EXPECT_TRUE(Model().cropCheckBox.Checked);
  EXPECT_TRUE(Child<QLineEdit>("sEdit5")->isEnabled());
  pages->setCurrentIndex(spPreset);
  EXPECT_FALSE(Child<QWidget>("sPanel3")->isVisibleTo(pages->widget(spCustom)));
  EXPECT_FALSE(crop->isChecked());
}

// The URI list a file manager drops: each name's bytes percent-encoded, UTF-8 or not.
QMimeData* FileDrop(const std::vector<std::string>& paths) {
  auto* data = new QMimeData;
  QByteArray list;
  for (const std::string& path : paths)
    list += "file://" + QByteArray::fromStdString(path).toPercentEncoding("/") + "\r\n";
  data->setData(QStringLiteral("text/uri-list"), list);
  return data;
}

// Sends a drag entering `target` and the drop; true when both were taken.
bool Drop(QWidget* target, const std::vector<std::string>& paths) {
  std::unique_ptr<QMimeData> data(FileDrop(paths));
  const QPoint centre = target->rect().center();
  QDragEnterEvent enter(centre, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(centre), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

TEST_F(WindowTest, DroppedFilesAndFoldersAreAddedAndDeleteRemovesTheRow) {
  const std::string clip = SmallClip();
  TempDir other;
  const std::string first = other / "first.avi", second = other / "second.avi";
  fs::copy_file(clip, first);
  fs::copy_file(clip, second);
  fs::create_directory(other / "folder");
  fs::copy_file(clip, other / "folder/inside.avi");

  auto* add = Child<QPushButton>("sSpeedButton7");
  ASSERT_TRUE(Drop(add, {first, second}));
  auto* list = Child<QTreeWidget>("sListView1");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_FALSE(Child<QWidget>("sPanel1")->isVisible());
  EXPECT_TRUE(Child<QWidget>("sSpeedButton2")->isVisible());
  EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("first"));
  EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral(".AVI"));
  EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("160 X 90"));

  ASSERT_TRUE(Drop(list->viewport(), {other / "folder"}));
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral("inside"));
  EXPECT_FALSE(Drop(list->viewport(), {}));

  list->setCurrentItem(list->topLevelItem(1));
  EXPECT_EQ(Model().sourceList.SelectedIndex, 1);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("inside"));
  EXPECT_EQ(Model().Sources.size(), 2u);
}

// A progress report redraws its own row only: with thousands of rows, redrawing every one on each
// report would take all the window's time. Row 0 is changed behind the window's back to tell.
TEST_F(WindowTest, AProgressReportRedrawsOnlyItsRow) {
  TempDir other;
  std::vector<std::string> files;
  for (const char* name : {"a.avi", "b.avi"}) {
    fs::copy_file(SmallClip(), other / name);
    files.push_back(other / name);
  }
  Model().AddFiles(files);
  auto* list = Child<QTreeWidget>("sListView1");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  Model().sourceList.Rows[0].Caption = "not redrawn";
  Model().OnTranscoderProgress(1, 500, 1000);
  EXPECT_EQ(list->topLevelItem(1)->text(4), QStringLiteral("50%"));
  EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("a"));
  form->Changed(wcAll);
  EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("not redrawn"));
}

// A name that is no UTF-8 (byte 0xff), dropped or on the command line, is shown with a replacement
// character and converted under its own bytes.
TEST_F(WindowTest, NameThatIsNoUtf8IsShownAndConverted) {
  TempDir sources;
  const std::string file = sources / "clip\xff.avi";
  fs::copy_file(SmallClip(), file);
  std::string argument = file;
  char* argv[] = {const_cast<char*>("ostrelkalvexa"), const_cast<char*>("-style"),
                  const_cast<char*>("fusion"), argument.data()};
  std::vector<std::string> files;
  EXPECT_EQ(ReadWindowArguments(4, argv, files), -1);
  EXPECT_EQ(files, std::vector<std::string>{file});
  EXPECT_EQ(LocalPath(LocalUrl(file)), file);  // the URL a folder is opened by

  auto* list = Child<QTreeWidget>("sListView1");
  ASSERT_TRUE(Drop(Child<QPushButton>("sSpeedButton7"), {file}));
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("clip\uFFFD"));
  Model().OnOutputFolderEdited(harness.Folder / "out");
  QTest::mouseClick(Child<QPushButton>("btnStart"), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return !answerer->Boxes.empty(); }, std::chrono::seconds(120)));
  EXPECT_EQ(answerer->Boxes[0].Text, QStringLiteral("视频成功转换！"));
  const std::string output = fs::directory_iterator(harness.Folder / "out")->path().string();
  EXPECT_NE(output.find("clip\xff"), std::string::npos) << output;
  EXPECT_EQ(ProbeValue(output, "stream=codec_type", "v:0"), "video");
}

TEST_F(WindowTest, TrackBarMovesThePreviewAndMarksTheClip) {
  OK_SAMPLE(sample, "sample.mp4");
  Model().AddFiles({sample});
  auto* track = Child<TTrackBar>("trcPreview");
  ASSERT_GT(track->maximum(), 10);
  const QImage before = Child<QLabel>("imgPreview")->pixmap().toImage();
  EXPECT_FALSE(before.isNull());

  track->setValue(track->maximum() / 4);  // as the user drags it
  EXPECT_EQ(Model().previewTrackBar.Position, track->maximum() / 4);
  EXPECT_NE(Child<QLabel>("lblPTS")->text(), QStringLiteral("--"));
  QTest::mouseClick(Child<QPushButton>("btnStartTime"), Qt::LeftButton);
  track->setValue(track->maximum() / 2);
  QTest::mouseClick(Child<QPushButton>("btnEndTime"), Qt::LeftButton);

  EXPECT_EQ(Child<QLineEdit>("edtStartTime")->text(), QString::fromStdString(Model().clipStartEdit.Text));
  EXPECT_EQ(Child<QLineEdit>("edtEndTime")->text(), QString::fromStdString(Model().clipEndEdit.Text));
  EXPECT_NE(Model().clipEndEdit.Text, "0");
  EXPECT_EQ(track->SelStart(), Model().previewTrackBar.SelStart);
  EXPECT_EQ(track->SelEnd(), Model().previewTrackBar.SelEnd);
  EXPECT_LT(track->SelStart(), track->SelEnd());
  auto* clip = Child<QCheckBox>("chkCutClip");
  EXPECT_TRUE(clip->isEnabled());
  QTest::mouseClick(clip, Qt::LeftButton);
  EXPECT_TRUE(Model().clipCheckBox.Checked);
  EXPECT_NE(Child<QLabel>("imgPreview")->pixmap().toImage(), before);
}

TEST_F(WindowTest, BatchFromTheButtonsEndsWithTheReport) {
  const std::string clip = SmallClip();
  TempDir sources;
  std::vector<std::string> files = {sources / "a.avi", sources / "b.avi"};
  for (const std::string& file : files) fs::copy_file(clip, file);
  Model().AddFiles(files);
  Model().OnOutputFolderEdited(harness.Folder / "out");
  TFakeDesktop desktop;
  TDesktopBus bus(desktop.Client(), desktop.Client(), QStringLiteral("ostrelkalvexa"));
  form->SetDesktopBus(bus);
  struct TRestore {
    MainWindow* Form;
    ~TRestore() { Form->SetDesktopBus(TDesktopBus::Default()); }
  } restore{form.get()};

  auto* start = Child<QPushButton>("btnStart");
  QTest::mouseClick(start, Qt::LeftButton);
  // The user looks at another window while the batch runs.
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
  EXPECT_FALSE(start->isEnabled());
  EXPECT_TRUE(Child<QPushButton>("btnStop")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("sSpeedButton3")->isEnabled());
  ASSERT_TRUE(PumpUntil([&] { return !answerer->Boxes.empty(); }, std::chrono::seconds(120)));

  ASSERT_EQ(answerer->Boxes.size(), 1u);
  EXPECT_EQ(answerer->Boxes[0].Text, QStringLiteral("视频成功转换！"));
  EXPECT_EQ(answerer->Boxes[0].Title, QStringLiteral("OstrelKalvexaV1.4"));
  EXPECT_EQ(answerer->Boxes[0].Icon, QMessageBox::Information);
  auto* list = Child<QTreeWidget>("sListView1");
  for (int row = 0; row < 2; ++row) EXPECT_EQ(list->topLevelItem(row)->text(4), QStringLiteral("100%"));
  EXPECT_TRUE(start->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("btnPause")->isEnabled());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("OstrelKalvexa V1.4"));
  int outputs = 0;
  for (const auto& entry : fs::directory_iterator(harness.Folder / "out")) {
    ++outputs;
    EXPECT_EQ(ProbeValue(entry.path().string(), "stream=codec_type", "v:0"), "video") << entry.path();
  }
  EXPECT_EQ(outputs, 2);
  if (!desktop.Available()) return;
  // The session was kept awake for the batch and let go after it; a window not in front tells the
  // desktop how the batch ended.
  ASSERT_EQ(desktop.CallsOf("Inhibit").size(), 1u);
  char byte;
  EXPECT_EQ(::read(desktop.Services().LockReadEnd(), &byte, 1), 0);
  ASSERT_EQ(desktop.CallsOf("Notify").size(), 1u);
  EXPECT_EQ(desktop.CallsOf("Notify")[0].arguments().at(4).toString(), QStringLiteral("视频成功转换！"));
}

TEST_F(WindowTest, StartWithoutFilesShowsTheErrorBox) {
  QTest::mouseClick(Child<QPushButton>("btnStart"), Qt::LeftButton);
  ASSERT_EQ(answerer->Boxes.size(), 1u);
  EXPECT_EQ(answerer->Boxes[0].Text, QStringLiteral("请选择视频！"));
  EXPECT_EQ(answerer->Boxes[0].Icon, QMessageBox::Critical);
  // Wide enough for the whole caption beside the title bar's icon and buttons.
  EXPECT_GE(answerer->Boxes[0].Width, answerer->Boxes[0].TitleWidth + 120);
}

// A second of one colour, in the pane's middle when shown.
std::string ColourClip(const char* colour) {
  return Fixture(
      std::string("qt_") + colour + ".avi",
      std::string("-f lavfi -i color=c=") + colour + ":size=160x90:rate=25:duration=1 -c:v mpeg4 -q:v 2");
}

QColor PaneCentre(QLabel* pane) {
  const QImage image = pane->pixmap().toImage();
  return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

TEST_F(WindowTest, PreviewShowsTheSelectedRowAfterDeleteAddAndClear) {
  TempDir sources;
  const std::string red = sources / "red.avi", blue = sources / "blue.avi";
  fs::copy_file(ColourClip("red"), red);
  fs::copy_file(ColourClip("blue"), blue);
  auto* pane = Child<QLabel>("imgPreview");
  auto* list = Child<QTreeWidget>("sListView1");
  Model().AddFiles({red, blue});
  EXPECT_EQ(list->currentItem(), list->topLevelItem(1));  // the last added is selected and shown
  EXPECT_GT(PaneCentre(pane).blue(), 200);

  list->setCurrentItem(list->topLevelItem(0));
  EXPECT_GT(PaneCentre(pane).red(), 200);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);  // the blue row moves up and is shown
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
  EXPECT_GT(PaneCentre(pane).blue(), 200);

  Model().AddFiles({red});
  EXPECT_EQ(list->currentItem(), list->topLevelItem(1));
  EXPECT_GT(PaneCentre(pane).red(), 200);

  QTest::mouseClick(Child<QPushButton>("sSpeedButton3"), Qt::LeftButton);
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_LT(PaneCentre(pane).red(), 200);  // the empty pane's background
  EXPECT_TRUE(Child<QWidget>("sPanel1")->isVisible());
  EXPECT_FALSE(Child<QWidget>("sSpeedButton2")->isVisible());
}

TEST_F(WindowTest, ClosingMidBatchAsksAndYesStopsWithProperOutputs) {
  const std::string longer = Fixture("qt_long.mp4",
                                     "-f lavfi -i testsrc=size=320x240:rate=25:duration=60 -f lavfi -i "
                                     "sine=duration=60 -c:v mpeg4 -q:v 4 -c:a aac -shortest");
  Model().AddFiles({longer});
  Model().OnOutputFolderEdited(harness.Folder / "out");
  QTest::mouseClick(Child<QPushButton>("btnStart"), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return Model().Sources[0].Progress > 0; }, std::chrono::seconds(60)));

  answerer->QuestionAnswer = QMessageBox::No;
  EXPECT_FALSE(form->close());
  ASSERT_EQ(answerer->Boxes.size(), 1u);
  EXPECT_EQ(answerer->Boxes[0].Icon, QMessageBox::Question);
  EXPECT_TRUE(Model().Running());
  EXPECT_TRUE(form->isVisible());

  answerer->QuestionAnswer = QMessageBox::Yes;
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(Model().Running());
  EXPECT_EQ(Model().Sources[0].State, rsStopped);
  EXPECT_EQ(answerer->Boxes.size(), 2u);  // no report after the question
  // The stopped output is a whole file: its index was written, so it reads to its end.
  int outputs = 0;
  for (const auto& entry : fs::directory_iterator(harness.Folder / "out")) {
    ++outputs;
    const double seconds = std::stod(ProbeValue(entry.path().string(), "format=duration"));
    EXPECT_GT(seconds, 0.0) << entry.path();
    EXPECT_LT(seconds, 60.0) << entry.path();
  }
  EXPECT_EQ(outputs, 1);
}

}  // namespace
}  // namespace ok::test
