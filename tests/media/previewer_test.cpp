#include "media/previewer.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

extern "C" {
#include <libavutil/avutil.h>
}

namespace ok {
namespace {

using namespace std::chrono_literals;

constexpr auto Settle = 50ms;
constexpr auto Patience = 5s;

TEST(FormatPTS, FormatsHoursMinutesSecondsAndMilliseconds) {
  EXPECT_EQ(FormatPTS(3723456789), "01:02:03.456");
  EXPECT_EQ(FormatPTS(0), "00:00:00.000");
  EXPECT_EQ(FormatPTS(AV_NOPTS_VALUE), "N/A");
  EXPECT_EQ(FormatPTS(int64_t(100) * 3600 * 1000000), "100:00:00.000") << "hours are not wrapped at 24";
  EXPECT_EQ(FormatPTS(999), "00:00:00.000") << "milliseconds truncate";
  EXPECT_EQ(FormatPTS(59999999), "00:00:59.999");
  EXPECT_EQ(FormatPTS(INT64_MAX), "2562047788:00:54.775");
}

TEST(FormatPTS, NegativeTimesCarryOneLeadingSign) {
  EXPECT_EQ(FormatPTS(-1500000), "-00:00:01.500");
  EXPECT_EQ(FormatPTS(-3723456789), "-01:02:03.456");
  EXPECT_EQ(FormatPTS(INT64_MIN + 1), "-2562047788:00:54.775");
}

// What the test window saw, and on which threads.
struct TWindowRecord {
  std::mutex mutex;
  int created = 0, shown = 0, destroyed = 0, deleted = 0;
  int width = 0, height = 0;
  bool offMainThread = false;  // a member was called on another thread than the main one
  std::string caption;
  int shownWidth = 0;
  std::function<void()> onUserClose;
  bool closeWhileShowing = false;
};

class TTestWindow : public TPreviewWindow {
 public:
  TTestWindow(TWindowRecord& record, TMainThread& main) : record_(record), main_(main) {}
  ~TTestWindow() override {
    std::lock_guard lock(record_.mutex);
    ++record_.deleted;
  }
  void ShowBitmap(const TBitmap& bitmap, const std::string& caption) override {
    std::function<void()> close;
    {
      std::lock_guard lock(record_.mutex);
      record_.offMainThread |= !main_.IsMainThread();
      ++record_.shown;
      record_.caption = caption;
      record_.shownWidth = bitmap.Width();
      if (record_.closeWhileShowing) close = record_.onUserClose;
    }
    if (close) close();
  }
  void Destroy() override {
    std::lock_guard lock(record_.mutex);
    record_.offMainThread |= !main_.IsMainThread();
    ++record_.destroyed;
  }

 private:
  TWindowRecord& record_;
  TMainThread& main_;
};

class TTestWindowFactory : public TPreviewWindowFactory {
 public:
  TTestWindowFactory(TWindowRecord& record, TMainThread& main) : record_(record), main_(main) {}
  std::unique_ptr<TPreviewWindow> Create(int width, int height, std::function<void()> onUserClose) override {
    std::lock_guard lock(record_.mutex);
    record_.offMainThread |= !main_.IsMainThread();
    ++record_.created;
    record_.width = width;
    record_.height = height;
    record_.onUserClose = std::move(onUserClose);
    return std::make_unique<TTestWindow>(record_, main_);
  }

 private:
  TWindowRecord& record_;
  TMainThread& main_;
};

class Previewer : public ::testing::Test {
 protected:
  // Preview on a worker while this (the main) thread pumps.
  bool PreviewFromWorker(TPreviewer& previewer, const TBitmap& bitmap, int frame, int64_t pts) {
    std::atomic<bool> done{false};
    bool result = false;
    std::thread worker([&] {
      result = previewer.Preview(bitmap, frame, pts);
      done = true;
    });
    loop.WaitPumping([&] { return done.load(); });
    worker.join();
    return result;
  }
  // The user presses the window's close button (on the main thread).
  void UserCloses() {
    ASSERT_TRUE(record.onUserClose);
    record.onUserClose();
  }

  TMainThreadLoop loop;
  TWindowRecord record;
  TTestWindowFactory factory{record, loop};
  TBitmap bitmap{8, 6};
};

TEST_F(Previewer, PreviewFromAWorkerRunsOnTheMainThreadAndBlocksUntilShown) {
  TPreviewer previewer(&factory, &loop);
  EXPECT_FALSE(previewer.Closed());
  std::atomic<bool> returned{false};
  bool result = false;
  std::thread worker([&] {
    result = previewer.Preview(bitmap, 7, 3723456789);
    returned = true;
  });
  std::this_thread::sleep_for(Settle);
  EXPECT_FALSE(returned) << "returned before the main thread showed the frame";
  EXPECT_EQ(record.created, 0) << "the window is made on the main thread only";
  ASSERT_TRUE(loop.RunUntil([&] { return returned.load(); }, Patience));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(record.created, 1);
  EXPECT_EQ(record.shown, 1);
  EXPECT_EQ(record.width, 8);
  EXPECT_EQ(record.height, 6);
  EXPECT_EQ(record.caption, "01:02:03.456");
  EXPECT_EQ(previewer.FrameNumber(), 7);
  EXPECT_EQ(previewer.PTS(), 3723456789);

  TBitmap larger(16, 12);
  EXPECT_TRUE(PreviewFromWorker(previewer, larger, 8, AV_NOPTS_VALUE));
  EXPECT_EQ(record.created, 1) << "one window for the whole task";
  EXPECT_EQ(record.width, 8) << "the window keeps the first bitmap's size";
  EXPECT_EQ(record.shown, 2);
  EXPECT_EQ(record.shownWidth, 16);
  EXPECT_EQ(record.caption, "N/A");
  EXPECT_FALSE(record.offMainThread);
}

TEST_F(Previewer, AClosedWindowStopsFurtherFramesWithoutTouchingTheWindow) {
  TPreviewer previewer(&factory, &loop);
  ASSERT_TRUE(PreviewFromWorker(previewer, bitmap, 1, 0));
  UserCloses();
  EXPECT_TRUE(previewer.Closed());
  // Nobody pumps now: a Preview that handed anything to the main thread would not return.
  auto next = std::async(std::launch::async, [&] { return previewer.Preview(bitmap, 2, 40000); });
  ASSERT_EQ(next.wait_for(Patience), std::future_status::ready);
  EXPECT_FALSE(next.get());
  EXPECT_EQ(loop.PendingCount(), 0u);
  EXPECT_EQ(record.shown, 1);
  EXPECT_EQ(previewer.FrameNumber(), 1) << "a refused frame is not even stored";
}

TEST_F(Previewer, AWindowClosedWhileShowingTurnsThatFramesResultToFalse) {
  TPreviewer previewer(&factory, &loop);
  record.closeWhileShowing = true;
  EXPECT_FALSE(PreviewFromWorker(previewer, bitmap, 1, 0));
  EXPECT_EQ(record.shown, 1);
  EXPECT_FALSE(PreviewFromWorker(previewer, bitmap, 2, 0));
  EXPECT_EQ(record.shown, 1);
}

TEST_F(Previewer, TheDestructorTakesTheWindowDownOnTheMainThread) {
  auto previewer = std::make_unique<TPreviewer>(&factory, &loop);
  ASSERT_TRUE(PreviewFromWorker(*previewer, bitmap, 1, 0));
  std::atomic<bool> done{false};
  std::thread worker([&] {
    previewer.reset();
    done = true;
  });
  loop.WaitPumping([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(record.destroyed, 1);
  EXPECT_EQ(record.deleted, 1);
  EXPECT_FALSE(record.offMainThread);

  // A previewer that never showed a frame has no window and needs no main thread to go.
  auto unused = std::async(std::launch::async, [&] { TPreviewer p(&factory, &loop); });
  EXPECT_EQ(unused.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(record.created, 1);
}

TEST_F(Previewer, PreviewOnTheMainThreadItselfShowsDirectly) {
  TPreviewer previewer(&factory, &loop);
  EXPECT_TRUE(previewer.Preview(bitmap, 1, 1000));
  EXPECT_EQ(record.shown, 1);
  EXPECT_EQ(record.caption, "00:00:00.001");
}

TEST_F(Previewer, WithoutAWindowFactoryThereIsNothingToShowOn) {
  ASSERT_EQ(PreviewWindowFactory(), nullptr);
  TPreviewer previewer(nullptr, &loop);
  EXPECT_FALSE(PreviewFromWorker(previewer, bitmap, 1, 0));
  EXPECT_TRUE(previewer.Closed());

  // The process-wide factory is taken when none is given.
  SetPreviewWindowFactory(&factory);
  TPreviewer withDefault(nullptr, &loop);
  SetPreviewWindowFactory(nullptr);
  EXPECT_TRUE(PreviewFromWorker(withDefault, bitmap, 1, 0));
  EXPECT_EQ(record.created, 1);
}

// A front end that stops pumping for good must not leave the worker hanging in the preview.
TEST_F(Previewer, AMainThreadThatTakesNoMoreCallsEndsThePreviewWithoutHangingTheWorker) {
  auto previewer = std::make_unique<TPreviewer>(&factory, &loop);
  ASSERT_TRUE(PreviewFromWorker(*previewer, bitmap, 1, 0));
  std::atomic<int> result{-1};
  std::thread worker([&] { result = previewer->Preview(bitmap, 2, 0) ? 1 : 0; });
  while (loop.PendingCount() == 0) std::this_thread::sleep_for(1ms);
  loop.Shutdown();
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(record.shown, 1);
  std::thread([&] { previewer.reset(); }).join();
  EXPECT_EQ(record.destroyed, 0) << "the window is not touched off the main thread";
  EXPECT_EQ(record.deleted, 1);
  EXPECT_FALSE(record.offMainThread);
}

}  // namespace
}  // namespace ok
