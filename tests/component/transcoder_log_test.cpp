// The library log: fragments assembled into lines per thread, the class prefix, the threshold,
// the bounded buffer, and every line handed to every live component with that component's task.

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "component_test_support.h"
#include "engine/run/log_levels.h"
#include "media/ff_functions.h"
#include "platform/worker_thread.h"

namespace ok::test {
namespace {

class LibraryLog : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    ClearLogList();
  }
  void TearDown() override {
    ClearLogList();
    ComponentTest::TearDown();
  }
};

TEST_F(LibraryLog, FragmentsBecomeLinesPerThread) {
  FF.av_log(nullptr, AV_LOG_INFO, "abc");
  EXPECT_TRUE(Logs().empty());
  FF.av_log(nullptr, AV_LOG_INFO, "%s\n", "def");
  FF.av_log(nullptr, AV_LOG_ERROR, "a\nb\n");
  // Another thread's fragment does not join this thread's line.
  FF.av_log(nullptr, AV_LOG_INFO, "one");
  std::thread([] { FF.av_log(nullptr, AV_LOG_INFO, "two\n"); }).join();
  FF.av_log(nullptr, AV_LOG_INFO, "\n");
  std::vector<TLogRecord> logs = Logs();
  ASSERT_EQ(logs.size(), 5u);
  EXPECT_EQ(logs[0].Msg, "abcdef");
  EXPECT_EQ(logs[0].Level, llInfo);
  EXPECT_EQ(logs[0].Index, -1);
  EXPECT_EQ(logs[1].Msg, "a");
  EXPECT_EQ(logs[1].Level, llError);
  EXPECT_EQ(logs[2].Msg, "b");
  EXPECT_EQ(logs[3].Msg, "two");
  EXPECT_EQ(logs[4].Msg, "one");
}

TEST_F(LibraryLog, ALineFromALibraryObjectStartsWithItsClass) {
  const AVCodec* codec = FF.avcodec_find_encoder_by_name("mpeg4");
  ASSERT_NE(codec, nullptr);
  AVCodecContext* context = FF.avcodec_alloc_context3(codec);
  FF.av_log(context, AV_LOG_INFO, "first ");
  FF.av_log(context, AV_LOG_INFO, "second\n");
  FF.avcodec_free_context(&context);
  std::vector<TLogRecord> logs = Logs();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_TRUE(std::regex_match(logs[0].Msg, std::regex(R"(\[mpeg4 @ [0-9A-F]{8}\]first second)")))
      << logs[0].Msg;
}

TEST_F(LibraryLog, TheThresholdDropsLibraryLinesButNotEngineLines) {
  EXPECT_EQ(LogThreshold, 1);
  FF.av_log(nullptr, AV_LOG_DEBUG, "hidden\n");
  EXPECT_TRUE(Logs().empty());
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  component->Tasks().Items(0).Log(2, "engine debug");
  EXPECT_TRUE(LoggedLine(0, llDebug, "engine debug"));
  component->SetLogLevel(llDebug);
  EXPECT_EQ(LogThreshold, 2);
  FF.av_log(nullptr, AV_LOG_DEBUG, "shown\n");
  EXPECT_TRUE(LoggedLine(-1, llDebug, "shown"));
  component->SetLogLevel(llQuiet);
  EXPECT_EQ(LogThreshold, -1);
  component->SetLogLevel(llInfo);
  EXPECT_EQ(LogLevelOfEngineLevel(-5), llQuiet);
  EXPECT_EQ(LogLevelOfEngineLevel(7), llAll);
  EXPECT_EQ(LogLevelOfEngineLevel(0), llError);
}

TEST_F(LibraryLog, AnOverlongMessageIsCutAndEndsItsLine) {
  FF.av_log(nullptr, AV_LOG_INFO, "%s\n", std::string(5000, 'x').c_str());
  FF.av_log(nullptr, AV_LOG_INFO, "%s", std::string(2040, 'y').c_str());
  FF.av_log(nullptr, AV_LOG_INFO, "abcdefghij\n");
  FF.av_log(nullptr, AV_LOG_INFO, "next\n");
  std::vector<TLogRecord> logs = Logs();
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(logs[0].Msg, std::string(2047, 'x'));
  EXPECT_EQ(logs[1].Msg, std::string(2040, 'y') + "abcdefg");
  EXPECT_EQ(logs[2].Msg, "next") << "later messages of the thread still arrive";
}

TEST_F(LibraryLog, EveryLiveComponentGetsEveryLineWithItsOwnTask) {
  TTranscoder second;
  std::vector<TLogRecord> secondLogs;
  second.OnLog = [&](int index, TLogLevel level, const std::string& msg) {
    secondLogs.push_back({index, level, msg});
  };
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  component->Tasks().Items(0).ThreadID = CurrentThreadID();
  secondLogs.clear();  // what opening the input logged
  FF.av_log(nullptr, AV_LOG_WARNING, "shared\n");
  EXPECT_TRUE(LoggedLine(0, llError, "shared"));
  ASSERT_EQ(secondLogs.size(), 1u);
  EXPECT_EQ(secondLogs[0].Index, -1);
  EXPECT_EQ(secondLogs[0].Msg, "shared");
}

TEST(LogList, FindUsesTheHeadFirstAndInsertsBehindIt) {
  TLogList list;
  TLogItem& a = list.Find(5);
  EXPECT_EQ(&a, &list.Head());
  a.Text = "pending";
  TLogItem& b = list.Find(6);
  TLogItem& c = list.Find(7);
  EXPECT_EQ(list.Head().Next.get(), &c) << "the newest item follows the head";
  EXPECT_EQ(&list.Find(6), &b);
  EXPECT_EQ(list.Find(5).Text, "pending");
  list.Clear();
  EXPECT_EQ(list.Head().ThreadID, 0u);
  EXPECT_TRUE(list.Head().Text.empty());
  EXPECT_EQ(list.Head().Next, nullptr);
  EXPECT_EQ(&list.Find(9), &list.Head());

  // An ended thread's item goes; a head left free takes a new thread, not one already listed.
  list.Find(10).Text = "ten";
  list.Forget(9);
  EXPECT_EQ(list.Find(10).Text, "ten");
  EXPECT_EQ(&list.Find(11), &list.Head());
  list.Forget(10);
  EXPECT_EQ(list.Head().Next, nullptr);
}

}  // namespace
}  // namespace ok::test
