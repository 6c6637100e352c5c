#pragma once
// Shared by the component tests: a component over the really loaded libraries whose events are
// recorded, and the clips its tasks convert.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component/transcoder.h"
#include "support/test_support.h"

namespace ok::test {

struct TTerminateRecord {
  int Index;
  bool Finished;
  bool Exception;
  std::string Message;
  std::thread::id Thread;
};

struct TLogRecord {
  int Index;
  TLogLevel Level;
  std::string Msg;
};

// A second of 96x64 video and a tone.
std::string ComponentClip();

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A task over the clip with an output in the temporary folder (mpeg4 and mp2 in AVI); its index.
  int AddConverted(const std::string& outputName, bool realTime = false, int threads = 1);
  // Waits for OnTerminate(-1, ...); false after `timeout`.
  bool WaitAllDone(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  std::vector<TTerminateRecord> Terminations();
  std::vector<TLogRecord> Logs();
  bool LoggedLine(int index, TLogLevel level, const std::string& msg);

  TempDir tmp_;
  std::unique_ptr<TTranscoder> component;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TTerminateRecord> terminations_;
  std::vector<TLogRecord> logs_;
};

}  // namespace ok::test
