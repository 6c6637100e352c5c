#pragma once
// The model over the fake view with its own main-thread loop and a recording shutdown, the
// libraries loaded, and the output folder in a temporary folder; for the source list, preview,
// job and run tests.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/workbench/fake_view.h"
#include "app/workbench/workbench.h"
#include "platform/main_thread.h"
#include "platform/system_shutdown.h"
#include "support/test_support.h"

namespace ok::test {

class TRecordingShutdown : public TSystemShutdown {
 public:
  bool PowerOff(std::string& error) override {
    ++Requests;
    if (!Succeeds) error = "refused";
    return Succeeds;
  }
  int Requests = 0;
  bool Succeeds = true;
};

// The fake view that also counts calls made off the model's main thread (there must be none: the
// component's events reach the model on worker threads).
class TThreadCheckingView : public TFakeView {
 public:
  explicit TThreadCheckingView(const TMainThread& main) : main_(main) {}
  void ShowMessage(const std::string& text, TMessageKind kind) override {
    Check();
    TFakeView::ShowMessage(text, kind);
  }
  void Changed(TWorkbenchChange what) override {
    Check();
    TFakeView::Changed(what);
  }
  bool ConfirmPowerOff(int seconds) override {
    Check();
    return TFakeView::ConfirmPowerOff(seconds);
  }
  std::atomic<int> OffMainThreadCalls{0};

 private:
  void Check() {
    if (!main_.IsMainThread()) ++OffMainThreadCalls;
  }
  const TMainThread& main_;
};

// A second of 160 x 90 video and a tone: quick to convert.
inline std::string SmallClip() {
  return Fixture("wb_small.avi",
                 "-f lavfi -i testsrc=size=160x90:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                 "-c:v mpeg4 -c:a mp2 -shortest");
}

// A shared sample by name; skips the test when the samples are not beside the checkout.
#define OK_SAMPLE(var, name)                                     \
  const std::string var = ::ok::test::SamplesDir() + "/" + name; \
  if (::ok::test::SamplesDir().empty()) GTEST_SKIP() << "no media samples"

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The settings the model writes stay in the test's folder, never the user's.
    if (const char* config = std::getenv("XDG_CONFIG_HOME")) savedConfigHome_ = config;
    ::setenv("XDG_CONFIG_HOME", (tmp / "config").c_str(), 1);
    model = std::make_unique<TWorkbench>(view, TWorkbenchEnvironment{&shutdown, &loop});
    ASSERT_TRUE(model->Transcoder.LoadLibraries("")) << model->Transcoder.LastError();
    model->outputFolderEdit.Text = tmp / "out";
  }
  void TearDown() override {
    EXPECT_EQ(view.OffMainThreadCalls, 0);
    model.reset();
    loop.ProcessPending();
    if (savedConfigHome_)
      ::setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }

  // Start, then the main thread pumps until the batch is over; false on time-out.
  bool RunBatch(std::chrono::seconds timeout = std::chrono::seconds(120)) {
    model->OnStartClicked();
    return loop.RunUntil([this] { return !model->Running(); }, timeout);
  }
  std::string Progress(int row) const { return model->sourceList.Rows.at(size_t(row)).SubItems.at(3); }
  std::string Output(const std::string& name) const { return tmp / ("out/" + name); }

  TempDir tmp;
  TMainThreadLoop loop;
  TThreadCheckingView view{loop};
  TRecordingShutdown shutdown;
  std::unique_ptr<TWorkbench> model;

 private:
  std::optional<std::string> savedConfigHome_;
};

}  // namespace ok::test
