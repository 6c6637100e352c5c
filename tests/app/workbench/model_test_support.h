#pragma once
// The model over the fake view with its own main-thread loop and a recording shutdown, the
// libraries loaded, and the output folder in a temporary folder; for the source list, preview,
// job and run tests.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
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

// A shared sample by name; skips the test when the samples are not beside the checkout.
#define OK_SAMPLE(var, name)                                     \
  const std::string var = ::ok::test::SamplesDir() + "/" + name; \
  if (::ok::test::SamplesDir().empty()) GTEST_SKIP() << "no media samples"

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model = std::make_unique<TWorkbench>(view, TWorkbenchEnvironment{nullptr, &shutdown, &loop});
    ASSERT_TRUE(model->Transcoder1.LoadLibraries("")) << model->Transcoder1.LastError();
    model->sComboEdit1.Text = tmp / "out";
  }
  void TearDown() override {
    model.reset();
    loop.ProcessPending();
  }

  // Start, then the main thread pumps until the batch is over; false on time-out.
  bool RunBatch(std::chrono::seconds timeout = std::chrono::seconds(120)) {
    model->btnStartClick();
    return loop.RunUntil([this] { return !model->Running(); }, timeout);
  }
  std::string Progress(int row) const { return model->sListView1.Rows.at(size_t(row)).SubItems.at(3); }
  std::string Output(const std::string& name) const { return tmp / ("out/" + name); }

  TempDir tmp;
  TFakeView view;
  TMainThreadLoop loop;
  TRecordingShutdown shutdown;
  std::unique_ptr<TWorkbench> model;
};

}  // namespace ok::test
