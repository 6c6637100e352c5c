// The task list and the option records: what AddTask and SetOutput hand to a task, in which order,
// and how the list renumbers.

#include <gtest/gtest.h>

#include "component_test_support.h"

namespace ok::test {
namespace {

using Options = ComponentTest;

TEST_F(Options, ProgressIntervalNeverGoesBelow100) {
  component->SetProgressInterval(50);
  EXPECT_EQ(component->ProgressInterval(), 100);
  component->SetProgressInterval(101);
  EXPECT_EQ(component->ProgressInterval(), 101);
  component->SetProgressInterval(-7);
  EXPECT_EQ(component->ProgressInterval(), 100);
}

TEST_F(Options, AddTaskFillsAnEmptyFileNameAndFailsWithoutChangingTheList) {
  TInputOptions in;
  ASSERT_EQ(component->AddTask(ComponentClip(), &in), 0) << component->LastError();
  EXPECT_EQ(in.FileName, ComponentClip());
  EXPECT_EQ(component->Tasks().Items(0).InputOptions.FileName, ComponentClip());

  EXPECT_EQ(component->AddTask(tmp_ / "missing.avi"), -1);
  EXPECT_FALSE(component->LastError().empty());
  TInputOptions refused;
  refused.ExtraOptions = "threads=-2";
  EXPECT_EQ(component->AddTask(ComponentClip(), &refused), -1);
  EXPECT_EQ(component->LastError(), "threads must be a whole number >= 0 (0: one per core), not '-2'");
  TInputOptions badFormat;
  badFormat.FileFormat = "nosuchformat";
  EXPECT_EQ(component->AddTask(ComponentClip(), &badFormat), -1);
  EXPECT_EQ(component->LastError(), "Unknown input format: nosuchformat");
  EXPECT_EQ(component->Tasks().Count(), 1);
}

TEST_F(Options, TheOutputRecordAppliesInItsDeclaredOrder) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  TOutputOptions out;
  out.FrameSize = "80x60";
  out.CropTop = 10;  // taken off the size just set
  out.RecordingTime = 900;
  out.RecordingTimeUS = 500000;  // wins over its ms twin
  out.StartTime = 300;
  out.StartTimeUS = 100000;
  out.AudioVolume = 128;
  out.PadColor = 0x0000FF;  // red
  ASSERT_TRUE(component->SetOutput(0, tmp_ / "ordered.avi", &out)) << component->LastError();
  TFFmpeg& task = component->Tasks().Items(0);
  EXPECT_EQ(task.FrameWidth, 80);
  EXPECT_EQ(task.FrameHeight, 50);
  EXPECT_EQ(task.RecordingTime, 500000);
  EXPECT_EQ(task.RecordingTimeMs, 500);
  EXPECT_EQ(task.StartTime, 100000);
  EXPECT_EQ(task.AudioVolume, 128);
  EXPECT_GT(task.PadColorV, 200) << "red gives a high V";
  EXPECT_EQ(out.FileName, tmp_ / "ordered.avi");

  TOutputOptions odd;
  odd.CropTop = 3;
  EXPECT_FALSE(component->SetOutput(0, tmp_ / "odd.avi", &odd));
  EXPECT_EQ(component->LastError(), "Top crop size must be a multiple of 2");
}

TEST_F(Options, LinesNamingARecordFieldTakeEffectOverTheRecord) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  TOutputOptions out;
  out.ExtraOptions = "padcolor=255\r\nasync=1\nvsync=2\nalang=fre\nslang=ger\ncopyts=1\nvn=1\nsn=1\n";
  TakeRecordFieldsFromLines(out.ExtraOptions, out);
  EXPECT_EQ(out.PadColor, 255);
  EXPECT_EQ(out.AudioSync, 1);
  EXPECT_EQ(out.VideoSync, 2);
  EXPECT_EQ(out.AudioLanguage, "fre");
  EXPECT_EQ(out.SubtitleLanguage, "ger");
  EXPECT_TRUE(out.CopyTimestamps);
  EXPECT_TRUE(out.DisableVideo);
  EXPECT_TRUE(out.DisableSubtitle);
  EXPECT_FALSE(out.DisableAudio);
  ASSERT_TRUE(component->SetOutput(0, tmp_ / "lines.mkv", &out)) << component->LastError();
  TFFmpeg& task = component->Tasks().Items(0);
  // The files are opened again when the task starts; that set-up is what the run sees.
  ASSERT_TRUE(task.OnSetUp);
  task.OnSetUp();
  EXPECT_GT(task.PadColorV, 200) << "red gives a high V";
  EXPECT_EQ(task.AudioSyncMethod, 1);
  EXPECT_EQ(task.VideoSyncMethod, 2);
  EXPECT_EQ(task.SubtitleLanguage, "ger");
  EXPECT_TRUE(task.CopyTs);
  AVFormatContext* oc = task.OutputFiles[0].Context.get();
  ASSERT_EQ(oc->nb_streams, 1u) << "video left out";
  EXPECT_EQ(oc->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
  const AVDictionaryEntry* language = FF.av_dict_get(oc->streams[0]->metadata, "language", nullptr, 0);
  ASSERT_NE(language, nullptr);
  EXPECT_STREQ(language->value, "fre");

  // A value that is not a number stays out of the record, and the engine refuses the line.
  ASSERT_EQ(component->AddTask(ComponentClip()), 1);
  TOutputOptions bad;
  bad.ExtraOptions = "async=x\n";
  TakeRecordFieldsFromLines(bad.ExtraOptions, bad);
  EXPECT_EQ(bad.AudioSync, 0);
  EXPECT_FALSE(component->SetOutput(1, tmp_ / "bad.mkv", &bad));
  EXPECT_EQ(component->LastError(), "'x' is not a valid integer value");
}

TEST_F(Options, TimeRangesAreParsedSortedAndBadPiecesDropped) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  TOutputOptions out;
  out.TimeRanges = "5000-9000, 1000-2000, 3000";
  ASSERT_TRUE(component->SetOutput(0, tmp_ / "ranges.avi", &out)) << component->LastError();
  TFFmpeg& task = component->Tasks().Items(0);
  ASSERT_EQ(task.TimeRangeCount, 2);
  EXPECT_EQ(task.TimeRangeIndex, 0);
  EXPECT_EQ(task.TimeRanges[0].Start, 1000000);
  EXPECT_EQ(task.TimeRanges[0].End, 2000000);
  EXPECT_EQ(task.TimeRanges[1].Start, 5000000);
  EXPECT_EQ(task.TimeRanges[1].End, 9000000);

  auto ranges = ParseTimeRanges(" 9000-1000,x-400,,7-,1-99999999999999999 ");
  ASSERT_EQ(ranges.size(), 1u) << "end before start, empty end and out of range dropped";
  EXPECT_EQ(ranges[0].Start, -1000) << "a start that is no number counts as -1 ms";
  EXPECT_EQ(ranges[0].End, 400000);
}

TEST_F(Options, TheCustomHookWinsOverTheBeforeHookAndTheRanges) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  ASSERT_EQ(component->AddTask(ComponentClip()), 1);
  TOutputOptions both;
  both.CustomHook = true;
  both.BeforeHook = true;
  both.TimeRanges = "0-1000";
  ASSERT_TRUE(component->SetOutput(0, tmp_ / "custom.avi", &both));
  TFFmpeg& custom = component->Tasks().Items(0);
  EXPECT_TRUE(custom.OnCustomHook);
  EXPECT_FALSE(custom.OnBeforeHook);
  EXPECT_EQ(custom.TimeRangeCount, 0);

  TOutputOptions before;
  before.BeforeHook = true;
  before.TimeRanges = "0-1000";
  ASSERT_TRUE(component->SetOutput(1, tmp_ / "before.avi", &before));
  TFFmpeg& hooked = component->Tasks().Items(1);
  EXPECT_FALSE(hooked.OnCustomHook);
  EXPECT_TRUE(hooked.OnBeforeHook);
  EXPECT_EQ(hooked.TimeRangeCount, 0);

  // The before-hook's answer goes back to the engine through the event.
  component->OnBeforeHook = [](int index, int64_t pts, THookAction& action) {
    if (index == 1 && pts == 40000) action = haStop;
  };
  int action = haContinue;
  hooked.OnBeforeHook(40000, action);
  EXPECT_EQ(action, haStop);
}

TEST_F(Options, PreviewFlagsReachEveryTask) {
  ASSERT_EQ(component->AddTask(ComponentClip()), 0);
  component->SetPreviewBitmap(true);
  ASSERT_EQ(component->AddTask(ComponentClip()), 1);
  EXPECT_EQ(component->Tasks().Items(0).HookFlags, hfPreviewBitmap);
  EXPECT_EQ(component->Tasks().Items(1).HookFlags, hfPreviewBitmap);
  component->SetPreview(true);
  component->SetPreviewBitmap(false);
  EXPECT_EQ(component->Tasks().Items(0).HookFlags, hfPreview);
  EXPECT_EQ(component->Tasks().Items(1).HookFlags, hfPreview);
}

TEST(TFFmpegList, DeleteAndExtractRenumberTheTasksBehind) {
  TFFmpegList list;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.Add(std::make_unique<TFFmpeg>()), i);
  TFFmpeg* third = &list.Items(2);
  TFFmpeg* fourth = &list.Items(3);
  third->ThreadID = 77;
  list.Delete(1);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(third->Index, 1);
  EXPECT_EQ(fourth->Index, 2);
  EXPECT_EQ(list.FindByThreadID(77), third);
  EXPECT_EQ(list.FindByThreadID(78), nullptr);
  std::unique_ptr<TFFmpeg> taken = list.Extract(0);
  EXPECT_EQ(taken->Index, -1);
  EXPECT_EQ(third->Index, 0);
  EXPECT_THROW(list.Items(5), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(OptionRecords, ResetRestoresTheDefaults) {
  TOutputOptions out;
  out.CropTop = 4;
  out.Metadata.Year = 2001;
  out.TargetDefaultNorm = 2;
  ResetOutputOptions(out);
  EXPECT_EQ(out.CropTop, -1);
  EXPECT_EQ(out.Metadata.Year, -1);
  EXPECT_EQ(out.Metadata.TimeStamp, -1.0);
  EXPECT_EQ(out.TargetDefaultNorm, 1);
  TInputOptions in;
  in.StartTimeUS = 5;
  ResetInputOptions(in);
  EXPECT_EQ(in.StartTimeUS, -1);
}

TEST(OptionRecords, DateTimesBecomeUnixSeconds) {
  // 2001-01-01 00:00 local time.
  std::tm local{};
  local.tm_year = 101;
  local.tm_mday = 1;
  local.tm_isdst = -1;
  EXPECT_EQ(DateTimeToUnixSeconds(36892.0), int64_t(std::mktime(&local)));
  EXPECT_EQ(ColorToRGB(0x00102030), 0x102030);
}

}  // namespace
}  // namespace ok::test
