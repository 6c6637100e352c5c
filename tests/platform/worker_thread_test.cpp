#include "platform/worker_thread.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace ok {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThread, WaitsAtItsStartGateUntilResumed) {
  std::atomic<int> runs{0};
  std::atomic<uint32_t> ranOn{0};
  TWorkerThread thread(
      [&] {
        ranOn = CurrentThreadID();
        ++runs;
      },
      tpNormal);
  EXPECT_NE(thread.ThreadID(), 0u);
  EXPECT_NE(thread.ThreadID(), CurrentThreadID());
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(thread.Suspended());
  EXPECT_EQ(runs, 0);
  thread.Resume();
  thread.Resume();
  thread.WaitFor();
  EXPECT_FALSE(thread.Suspended());
  EXPECT_TRUE(thread.Done());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(ranOn, thread.ThreadID());
}

TEST(WorkerThread, ANeverResumedThreadSkipsItsBodyAndAnEscapingExceptionEndsItQuietly) {
  std::atomic<bool> ran{false};
  {
    TWorkerThread never([&] { ran = true; }, tpNormal);
  }
  TWorkerThread waited([&] { ran = true; }, tpNormal);
  waited.WaitFor();
  waited.Resume();
  EXPECT_TRUE(waited.Done());
  EXPECT_FALSE(ran);
  TWorkerThread throwing([] { throw std::runtime_error("lost"); }, tpNormal);
  throwing.Resume();
  throwing.WaitFor();
  EXPECT_TRUE(throwing.Done());
}

TEST(WorkerThread, SetsItsPriorityOnItself) {
  struct TSeen {
    int Policy = -1;
    int Nice = -100;
  };
  auto seen = [](TThreadPriority priority) {
    TSeen s;
    TWorkerThread thread(
        [&] {
          s.Policy = sched_getscheduler(0);
          s.Nice = getpriority(PRIO_PROCESS, id_t(CurrentThreadID()));
        },
        priority);
    thread.Resume();
    thread.WaitFor();
    return s;
  };
  const int callers = getpriority(PRIO_PROCESS, id_t(CurrentThreadID()));
  EXPECT_EQ(seen(tpIdle).Policy, SCHED_IDLE);
  EXPECT_EQ(seen(tpLowest).Nice, 19);
  TSeen lower = seen(tpLower);
  EXPECT_EQ(lower.Nice, 10);
  EXPECT_EQ(lower.Policy, SCHED_OTHER);
  EXPECT_EQ(seen(tpNormal).Nice, 0);
  EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(CurrentThreadID())), callers)
      << "the caller's own priority is untouched (also when the tests run under nice)";
}

}  // namespace
}  // namespace ok
