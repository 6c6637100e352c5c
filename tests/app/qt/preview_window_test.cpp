// The preview window, the Qt hand-off between worker and main thread, the about box, the
// power-off countdown, the open dialog's filter and the icons.

#include "app/qt/preview_window.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/qt/about_box.h"
#include "app/qt/qt_dialogs.h"
#include "app/qt/qt_images.h"
#include "app/qt/qt_test_support.h"
#include "platform/worker_thread.h"

namespace ok::test {
namespace {

TBitmap Gradient(int width, int height) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = bitmap.ScanLine(y) + x * 3;
      pixel[0] = uint8_t(x);  // blue
      pixel[2] = uint8_t(y);  // red
    }
  return bitmap;
}

TEST(PreviewWindowTest, ShownOnTopWithItsCaptionAndClosingStopsThePreview) {
  TQtPreviewWindowFactory factory;
  TPreviewer previewer(&factory);
  const TBitmap frame = Gradient(96, 64);
  std::atomic<int> shown{0};
  std::atomic<bool> later{true};
  std::thread worker([&] {
    if (previewer.Preview(frame, 1, 3723456789)) ++shown;
    // Waits until the main thread has closed the window, then tries once more.
    while (!previewer.Closed()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    later = previewer.Preview(frame, 2, 4000000);
  });
  ASSERT_TRUE(PumpUntil([&] { return shown.load() == 1; }, std::chrono::seconds(10)));
  auto* form = dynamic_cast<TPreviewForm*>(QApplication::topLevelWidgets().isEmpty() ? nullptr : [] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->objectName() == "PreviewForm") return widget;
    return static_cast<QWidget*>(nullptr);
  }());
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("01:02:03.456"));
  EXPECT_EQ(form->size(), QSize(96, 64));
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  const QImage drawn = form->grab().toImage();
  EXPECT_EQ(QColor(drawn.pixel(40, 20)), QColor(20, 0, 40));

  // Dragged by the picture: the window moves with the cursor where no window manager does it.
  const QPoint start = form->pos();
  QTest::mousePress(form, Qt::LeftButton, {}, QPoint(10, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(30, 25), QPointF(form->mapToGlobal(QPoint(30, 25))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form, &move);
  QTest::mouseRelease(form, Qt::LeftButton, {}, QPoint(30, 25));
  EXPECT_NE(form->pos(), start);

  form->close();
  worker.join();
  EXPECT_TRUE(previewer.Closed());
  EXPECT_FALSE(later.load());
}

TEST(QtMainThreadTest, AWorkerHandingOverIsServedWhileTheMainThreadWaitsForIt) {
  ASSERT_TRUE(CurrentMainThread().IsMainThread());
  int ranOnMain = 0;
  TWorkerThread worker(
      [&] {
        for (int i = 0; i < 20; ++i) {
          ASSERT_TRUE(CurrentMainThread().RunAndWait([&] {
            if (CurrentMainThread().IsMainThread()) ++ranOnMain;
          }));
        }
        CurrentMainThread().Post([&] { ++ranOnMain; });
      },
      TThreadPriority::tpNormal);
  worker.Resume();
  worker.WaitFor();  // the main thread waits without returning to Qt's loop, pumping the hand-off
  EXPECT_GE(ranOnMain, 20);
  ASSERT_TRUE(PumpUntil([&] { return ranOnMain == 21; }, std::chrono::seconds(5)));
}

TEST(AboutBoxTest, ShowsTheProductAndClosesOnItsButton) {
  std::vector<std::string> opened;
  AboutBox about(nullptr, [&](const std::string& url) { opened.push_back(url); });
  about.show();
  EXPECT_EQ(about.windowTitle(), QStringLiteral("关于系统"));
  EXPECT_TRUE(about.findChild<QLabel*>("lblProduct")->text().contains("OstrelKalvexa V1.4"));
  EXPECT_FALSE(about.findChild<QLabel*>("lblContact")->text().isEmpty());
  QLabel* link = about.findChild<QLabel*>("lblLink");
  emit link->linkActivated(QString::fromUtf8(ProductWebAddress));
  EXPECT_EQ(opened, std::vector<std::string>{ProductWebAddress});
  QPushButton* close = about.findChild<QPushButton*>("btnClose");
  EXPECT_EQ(close->text(), QStringLiteral("退 出"));
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(PowerOffDialogTest, CountsDownToPowerOffUnlessCancelled) {
  {
    TPowerOffDialog dialog(nullptr, 30);
    QTimer::singleShot(50, [&] {
      EXPECT_TRUE(dialog.findChild<QLabel*>("PowerOffText")->text().contains("30"));
      QTest::mouseClick(dialog.findChild<QPushButton*>("PowerOffCancel"), Qt::LeftButton);
    });
    EXPECT_FALSE(dialog.Run());
  }
  TPowerOffDialog dialog(nullptr, 1);
  EXPECT_TRUE(dialog.Run());
  EXPECT_EQ(dialog.SecondsLeft(), 0);
}

TEST(DialogFilterTest, GivesEveryPatternInBothCases) {
  EXPECT_EQ(DialogFilter("Video Files|*.AVI;*.MP4"), QStringLiteral("Video Files (*.AVI *.avi *.MP4 *.mp4)"));
  EXPECT_EQ(DialogFilter("A|*.x|B|*.Y"), QStringLiteral("A (*.x);;B (*.Y *.y)"));
  EXPECT_EQ(DialogFilter(""), QString());
}

// Every icon has as many pixels as the screen shows it with: a 2x screen gets a picture drawn at
// twice the size, not one drawn at 1x and stretched; disabled too.
TEST(QtImagesTest, IconsAreDrawnForTheScreensPixelRatio) {
  std::vector<std::pair<QIcon, int>> icons;  // with the size they are shown at
  for (int i = 0; i < 10; ++i) icons.emplace_back(ComboImage(i), 16);
  for (int i = 0; i < 8; ++i) icons.emplace_back(PageImage(i), 16);
  for (int size : {16, 64, 128}) icons.emplace_back(ProgramIcon(), size);
  for (const auto& [icon, size] : icons) {
    for (qreal ratio : {1.0, 1.5, 2.0}) {
      for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        const QPixmap picture = icon.pixmap(QSize(size, size), ratio, mode);
        EXPECT_EQ(picture.size(), QSize(size, size) * ratio) << size << " at " << ratio;
        EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(size, size));
        const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
          for (int x = 0; x < image.width() && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn) << "an empty picture";
      }
    }
  }
}

}  // namespace
}  // namespace ok::test
