#include "platform/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ok {
namespace {

using namespace std::chrono_literals;

// Long enough for a worker to reach its wait, short enough to keep the suite quick.
constexpr auto Settle = 50ms;
constexpr auto Patience = 5s;

TEST(MainThreadLoop, RunAndWaitOnTheMainThreadRunsDirectly) {
  TMainThreadLoop loop;
  EXPECT_TRUE(loop.IsMainThread());
  bool ran = false;
  EXPECT_TRUE(loop.RunAndWait([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_EQ(loop.PendingCount(), 0u);
  EXPECT_THROW(loop.RunAndWait([] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(MainThreadLoop, RunAndWaitFromAWorkerRunsOnTheMainThreadAndBlocksUntilRun) {
  TMainThreadLoop loop;
  std::atomic<bool> returned{false};
  std::atomic<bool> result{false};
  std::thread::id ranOn;
  bool workerSawMain = true;
  std::thread worker([&] {
    workerSawMain = loop.IsMainThread();
    result = loop.RunAndWait([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  std::this_thread::sleep_for(Settle);
  EXPECT_FALSE(returned) << "returned before the main thread pumped";
  EXPECT_EQ(loop.PendingCount(), 1u);
  EXPECT_TRUE(loop.RunUntil([&] { return returned.load(); }, Patience));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_FALSE(workerSawMain);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(MainThreadLoop, AnExceptionOfTheCallReachesTheWaitingWorker) {
  TMainThreadLoop loop;
  std::atomic<bool> done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      loop.RunAndWait([] { throw std::runtime_error("drawn badly"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    done = true;
  });
  loop.WaitPumping([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(caught, "drawn badly");
}

TEST(MainThreadLoop, PostQueuesInOrderAndProcessPendingRunsOnlyWhatWasQueued) {
  TMainThreadLoop loop;
  std::vector<int> order;
  loop.Post([&] { order.push_back(1); });
  loop.Post([&] {
    order.push_back(2);
    loop.Post([&] { order.push_back(3); });  // queued for the next pass
  });
  EXPECT_TRUE(order.empty()) << "a post from the main thread must not run at once";
  EXPECT_EQ(loop.ProcessPending(), 2);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(loop.ProcessPending(), 1);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MainThreadLoop, APostedCallThatThrowsLeavesTheRestQueued) {
  TMainThreadLoop loop;
  bool second = false;
  loop.Post([] { throw std::runtime_error("x"); });
  loop.Post([&] { second = true; });
  EXPECT_THROW(loop.ProcessPending(), std::runtime_error);
  EXPECT_FALSE(second);
  EXPECT_EQ(loop.ProcessPending(), 1);
  EXPECT_TRUE(second);
}

TEST(MainThreadLoop, RunUntilGivesUpAtItsTimeout) {
  TMainThreadLoop loop;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

// The main thread waits for a worker that itself needs the main thread, several times over.
TEST(MainThreadLoop, WaitPumpingServesTheWorkerItWaitsFor) {
  TMainThreadLoop loop;
  std::atomic<bool> done{false};
  int served = 0;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) loop.RunAndWait([&] { ++served; });
    done = true;
  });
  loop.WaitPumping([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(served, 20);
}

TEST(MainThreadLoop, WakeEndsTheWaitWithoutAnyCall) {
  TMainThreadLoop loop;
  std::atomic<bool> flag{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(10ms);
    flag = true;
    loop.Wake();
  });
  EXPECT_TRUE(loop.RunUntil([&] { return flag.load(); }, Patience));
  worker.join();
}

TEST(MainThreadLoop, ShutdownReleasesAWaitingWorkerWithoutRunningItsCall) {
  TMainThreadLoop loop;
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = loop.RunAndWait([&] { ran = true; }) ? 1 : 0; });
  // The main thread is "busy" (not pumping) until the call is queued, then gives up on the loop.
  while (loop.PendingCount() == 0) std::this_thread::sleep_for(1ms);
  loop.Shutdown();
  worker.join();  // would hang if the worker stayed blocked
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(loop.IsShutDown());
  EXPECT_EQ(loop.PendingCount(), 0u);

  // Later calls from workers return at once; posts are dropped; the main thread still runs its own.
  std::thread late([&] { result = loop.RunAndWait([&] { ran = true; }) ? 1 : 0; });
  late.join();
  EXPECT_EQ(result, 0);
  loop.Post([&] { ran = true; });
  EXPECT_EQ(loop.ProcessPending(), 0);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(loop.RunAndWait([&] { ran = true; }));
  EXPECT_TRUE(ran);
}

TEST(MainThreadLoop, ShutdownFromAnotherThreadReleasesEveryWaiter) {
  TMainThreadLoop loop;
  std::atomic<int> refused{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([&] {
      if (!loop.RunAndWait([] { std::this_thread::sleep_for(1ms); })) ++refused;
    });
  while (loop.PendingCount() < 4) std::this_thread::sleep_for(1ms);
  std::thread stopper([&] { loop.Shutdown(); });
  stopper.join();
  for (auto& w : workers) w.join();
  EXPECT_EQ(refused, 4);
}

TEST(MainThreadLoop, DestroyingTheLoopReleasesAWaitingWorker) {
  std::atomic<int> result{-1};
  std::thread worker;
  {
    TMainThreadLoop loop;
    worker = std::thread([&] { result = loop.RunAndWait([] {}) ? 1 : 0; });
    while (loop.PendingCount() == 0) std::this_thread::sleep_for(1ms);
  }
  worker.join();
  EXPECT_EQ(result, 0);
}

TEST(CurrentMainThread, DefaultsToTheLoopOfTheProgramsMainThreadAndCanBeReplaced) {
  // Static initialisation ran on this (the program's main) thread.
  EXPECT_EQ(&CurrentMainThread(), &DefaultMainThreadLoop());
  EXPECT_TRUE(CurrentMainThread().IsMainThread());
  bool onWorker = true;
  std::thread([&] { onWorker = CurrentMainThread().IsMainThread(); }).join();
  EXPECT_FALSE(onWorker);

  TMainThreadLoop* replacement = nullptr;
  bool replacementIsMainOnWorker = false;
  std::thread([&] {
    TMainThreadLoop loop;  // this worker's loop: the worker is its main thread
    SetCurrentMainThread(&loop);
    replacement = &loop;
    replacementIsMainOnWorker = CurrentMainThread().IsMainThread();
    SetCurrentMainThread(nullptr);
  }).join();
  EXPECT_NE(replacement, nullptr);
  EXPECT_TRUE(replacementIsMainOnWorker);
  EXPECT_EQ(&CurrentMainThread(), &DefaultMainThreadLoop());
}

}  // namespace
}  // namespace ok
