#include "component_test_support.h"

#include <algorithm>

namespace ok::test {

std::string ComponentClip() {
  return Fixture(
      "comp_clip.avi",
      "-f lavfi -i testsrc=size=96x64:rate=25:duration=1 -f lavfi -i sine=frequency=440:duration=1 "
      "-c:v mpeg4 -c:a mp2 -shortest");
}

void ComponentTest::SetUp() {
  component = std::make_unique<TTranscoder>();
  ASSERT_TRUE(component->LoadLibraries("")) << component->LastError();
  component->OnTerminate = [this](int index, bool finished, bool exception, const std::string& message) {
    std::lock_guard lock(mutex_);
    terminations_.push_back({index, finished, exception, message, std::this_thread::get_id()});
    changed_.notify_all();
  };
  component->OnLog = [this](int index, TLogLevel level, const std::string& msg) {
    std::lock_guard lock(mutex_);
    logs_.push_back({index, level, msg});
  };
}

void ComponentTest::TearDown() { component.reset(); }

int ComponentTest::AddConverted(const std::string& outputName, bool realTime, int threads) {
  TInputOptions in;
  in.ExtraOptions = "threads=" + std::to_string(threads) + "\n";
  if (realTime) in.ExtraOptions += "re=1\n";
  const int index = component->AddTask(ComponentClip(), &in);
  EXPECT_GE(index, 0) << component->LastError();
  if (index < 0) return index;
  TOutputOptions out;
  out.VideoCodec = "mpeg4";
  out.AudioCodec = "mp2";
  EXPECT_TRUE(component->SetOutput(index, tmp_ / outputName, &out)) << component->LastError();
  return index;
}

bool ComponentTest::WaitAllDone(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] {
    return std::any_of(terminations_.begin(), terminations_.end(),
                       [](const TTerminateRecord& r) { return r.Index == -1; });
  });
}

std::vector<TTerminateRecord> ComponentTest::Terminations() {
  std::lock_guard lock(mutex_);
  return terminations_;
}

std::vector<TLogRecord> ComponentTest::Logs() {
  std::lock_guard lock(mutex_);
  return logs_;
}

bool ComponentTest::LoggedLine(int index, TLogLevel level, const std::string& msg) {
  std::lock_guard lock(mutex_);
  return std::any_of(logs_.begin(), logs_.end(), [&](const TLogRecord& r) {
    return r.Index == index && r.Level == level && r.Msg == msg;
  });
}

}  // namespace ok::test
