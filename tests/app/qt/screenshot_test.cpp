// One picture of the window as a person sees it, taken from the X server under Xvfb (the ctest
// entry qt_screenshot runs it there): three files listed, a frame in the preview and a batch
// paused half way. Written to screenshots/main-window.png in the build folder.

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "app/qt/qt_test_support.h"
#include "app/qt/qt_widgets.h"

namespace ok::test {
namespace {

TEST_F(WindowTest, ScreenshotOfAHalfDoneBatch) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "the screenshot is taken under Xvfb";
  const std::string clip = Fixture("qt_screenshot_clip60.mp4",
                                   "-f lavfi -i testsrc2=size=640x360:rate=25:duration=60 -f lavfi -i "
                                   "sine=frequency=330:duration=60 -c:v mpeg4 -q:v 4 -c:a aac -shortest");
  TempDir sources;
  const std::vector<std::string> files = {sources / "海边日落.mp4", sources / "holiday-2026.mp4",
                                          sources / "concert_live.mp4"};
  for (const std::string& file : files) fs::copy_file(clip, file);
  Model().AddFiles(files);
  Model().OnOutputFolderEdited(harness.Folder / "out");
  auto* list = Child<QTreeWidget>("sListView1");
  ASSERT_EQ(list->topLevelItemCount(), 3);
  Child<TTrackBar>("trcPreview")->setValue(Child<TTrackBar>("trcPreview")->maximum() / 3);

  QTest::mouseClick(Child<QPushButton>("btnStart"), Qt::LeftButton);
  // Paused when the first file is done and the second well on its way. The files are long enough
  // for several progress reports each (every 500 ms) on a fast machine too.
  ASSERT_TRUE(PumpUntil(
      [&] {
        return list->topLevelItem(0)->text(4) == "100%" &&
               ProgressPercent(list->topLevelItem(1)->text(4)) >= 40 &&
               ProgressPercent(list->topLevelItem(1)->text(4)) < 100;
      },
      std::chrono::seconds(180)));
  QTest::mouseClick(Child<QPushButton>("btnPause"), Qt::LeftButton);
  PumpUntil([] { return false; }, std::chrono::milliseconds(500));

  const QRect frame = form->frameGeometry();
  const QPixmap shot = form->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  const std::string path = BuildDir() + "/screenshots/main-window.png";
  fs::create_directories(BuildDir() + "/screenshots");
  ASSERT_TRUE(shot.save(QString::fromStdString(path), "PNG")) << path;
  std::cout << "screenshot: " << path << "\n";

  QTest::mouseClick(Child<QPushButton>("btnResume"), Qt::LeftButton);
  QTest::mouseClick(Child<QPushButton>("btnStop"), Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return !Model().Running(); }, std::chrono::seconds(60)));
}

}  // namespace
}  // namespace ok::test
