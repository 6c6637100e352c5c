#include "app/workbench/size_limit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ok {
namespace {

TEST(SizeLimit, ParsesNumbersWithUnits) {
  const struct {
    const char* Text;
    int64_t Bytes;
    const char* Unit;
  } accepted[] = {
      {"800000", 800000, "B"},         {"25M", 25000000, "MB"}, {"25 mb", 25000000, "MB"},
      {" 1.5GiB ", 1610612736, "GiB"}, {"10k", 10000, "KB"},    {"2KiB", 2048, "KiB"},
      {"0.5 G", 500000000, "GB"},      {"100b", 100, "B"},      {"7.", 7, "B"},
  };
  for (const auto& c : accepted) {
    TSizeLimit limit;
    ASSERT_TRUE(ParseSizeLimit(c.Text, limit)) << c.Text;
    EXPECT_EQ(limit.Bytes, c.Bytes) << c.Text;
    EXPECT_EQ(limit.Unit, c.Unit) << c.Text;
  }
  for (const char* refused : {"", " ", "0", "0.0MB", "-5M", "+5M", "5 XB", "M", "5MBs", "1e6", "0.1",
                              "2000000T", "5000000000000000"}) {
    TSizeLimit limit;
    EXPECT_FALSE(ParseSizeLimit(refused, limit)) << refused;
  }
}

TEST(SizeLimit, FormatsRoundedUpInTheUsersUnit) {
  EXPECT_EQ(FormatSize(25000000, "MB"), "25 MB");
  EXPECT_EQ(FormatSize(25000001, "MB"), "25.1 MB");
  EXPECT_EQ(FormatSize(1536 * 1024, "MiB"), "1.5 MiB");
  EXPECT_EQ(FormatSize(999, "B"), "999 B");
}

TSizeJob Job720p(const char* codec, int64_t videoBitrate, double seconds) {
  TSizeJob job;
  job.Container = "mp4";
  job.VideoCodec = codec;
  job.Width = 1280;
  job.Height = 720;
  job.FrameRate = 25;
  job.VideoBitrate = videoBitrate;
  job.AudioCodec = "aac";
  job.AudioBitrate = 128000;
  job.AudioChannels = 2;
  job.DurationSeconds = seconds;
  return job;
}

TEST(SizeLimit, IsACeilingNotATarget) {
  const TSizePlan plan = PlanSizeLimit(Job720p("libx264", 1000000, 10), 25000000);
  EXPECT_TRUE(plan.Fits);
  EXPECT_FALSE(plan.Changed);
  EXPECT_EQ(plan.VideoBitrate, 1000000);
  EXPECT_LT(plan.ExpectedBytes, 25000000);
}

TEST(SizeLimit, AChangedPlanAimsJustUnderTheLimitAndKeepsTheShape) {
  for (const char* codec : {"libx264", "mpeg4", "libx265", "libvpx-vp9"})
    for (double seconds : {10.0, 120.0, 1800.0})
      for (int64_t limit : {int64_t(5e6), int64_t(25e6), int64_t(200e6)}) {
        const TSizeJob job = Job720p(codec, 20000000, seconds);
        const TSizePlan plan = PlanSizeLimit(job, limit);
        SCOPED_TRACE(std::string(codec) + " " + std::to_string(seconds) + "s " + std::to_string(limit));
        if (!plan.Fits) {
          EXPECT_GT(plan.MinimumBytes, limit);
          continue;
        }
        EXPECT_LE(plan.ExpectedBytes, limit);
        if (!plan.Changed) continue;  // the job's own size is under the limit
        EXPECT_GE(plan.ExpectedBytes, 0.85 * double(limit));
        // Never below what the codec can show.
        EXPECT_GE(double(plan.VideoBitrate),
                  VideoBitsPerPixelFloor(codec) * plan.Width * plan.Height * job.FrameRate * 0.999);
        EXPECT_EQ(plan.Width % 2, 0);
        EXPECT_EQ(plan.Height % 2, 0);
        EXPECT_NEAR(double(plan.Width) / plan.Height, 16.0 / 9, 0.03);
      }
}

TEST(SizeLimit, TheMpeg4RateThatAbortsTheEncoderIsNeverPlanned) {
  // 560 kbit/s for a 720p clip: FFmpeg 5.1's MPEG-4 Part 2 second pass aborts the process.
  const double seconds = 60;
  const int64_t limit = int64_t((560000 + 64000) * seconds / 8);
  const TSizePlan plan = PlanSizeLimit(Job720p("mpeg4", 4000000, seconds), limit);
  ASSERT_TRUE(plan.Fits);
  EXPECT_LT(plan.Width, 1280);
  EXPECT_GE(double(plan.VideoBitrate) / (double(plan.Width) * plan.Height * 25),
            VideoBitsPerPixelFloor("mpeg4"));
}

TEST(SizeLimit, ALimitBelowTheFloorsIsRefusedWithTheSmallestSize) {
  const TSizePlan plan = PlanSizeLimit(Job720p("libx264", 2000000, 3600), 1000000);
  EXPECT_FALSE(plan.Fits);
  EXPECT_GT(plan.MinimumBytes, 1000000);
  // The smallest reachable size itself is accepted.
  EXPECT_TRUE(PlanSizeLimit(Job720p("libx264", 2000000, 3600), plan.MinimumBytes).Fits);
}

TEST(SizeLimit, AudioOnlyGoesMonoAtItsFloor) {
  TSizeJob job = Job720p("", 0, 600);
  job.VideoCodec.clear();
  const int64_t limit = int64_t(40000 * 600 / 8);  // room for 40 kbit/s
  const TSizePlan plan = PlanSizeLimit(job, limit);
  ASSERT_TRUE(plan.Fits);
  EXPECT_EQ(plan.AudioChannels, 1);
  EXPECT_LE(plan.ExpectedBytes, limit);
}

TEST(SizeLimit, ARetryTakesOffTheMeasuredOvershoot) {
  // 10% over with 1 MB of audio and container: the video part shrinks by a little more than that.
  const int64_t next = RetryVideoBitrate(1000000, 10000000, 11000000, 1000000);
  EXPECT_LT(next, int64_t(1000000 * (9.5e6 - 1e6) / 10e6));
  EXPECT_GT(next, 800000);
}

}  // namespace
}  // namespace ok
