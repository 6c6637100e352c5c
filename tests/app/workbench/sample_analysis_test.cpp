#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "app/workbench/workbench_test_support.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"

namespace ok::test {
namespace {

TEST(SampleAnalysis, SharedSamplesWriteExtfileAndGiveTheJobValues) {
  if (SamplesDir().empty()) GTEST_SKIP() << "no shared media samples";
  struct TCase {
    std::string File, Type, VideoCodec;  // the job keeps the sample's own codec
  };
  for (const TCase& c : {TCase{"sample.mp4", "mp4", "libx264"}, TCase{"phone.3gp", "3gp", "mpeg4"},
                         TCase{"echo-hereweare.webm", "webm", "libvpx"}}) {
    SCOPED_TRACE(c.File);
    TWorkbenchHarness h(false);
    TWorkbench& m = h.NewModel();
    const std::string path = SamplesDir() + "/" + c.File;
    const std::string width = ProbeValue(path, "stream=width", "v:0");
    const std::string height = ProbeValue(path, "stream=height", "v:0");
    h.View.DialogAnswers.push_back({path});
    m.OnAnalyseClicked();
    EXPECT_FALSE(h.View.LastMultiSelect);
    ASSERT_EQ(h.View.MessageTexts(), std::vector<std::string>{"您选择的视频格式为 ." + c.Type});
    EXPECT_EQ(h.View.Messages[0].Kind, mkInformation);

    const TIniFile ext(h.ExtFile());
    EXPECT_EQ(ext.ReadString("mediatype", "Type", ""), c.Type);
    EXPECT_EQ(ext.ReadString("video", "Width", ""), width);
    EXPECT_EQ(ext.ReadString("video", "Height", ""), height);
    EXPECT_FALSE(ext.ReadString("video", "VideoCodec", "").empty());
    const double fps = ext.ReadFloat("video", "FPS", -1);
    const double bitrate = ext.ReadFloat("video", "VideoBitrate", -1);
    EXPECT_GT(fps, 0);
    EXPECT_EQ(m.frameSizeLabel.Caption, "视频像素：" + width + "X" + height);
    EXPECT_EQ(m.frameRateLabel.Caption,
              "帧速率：" + std::to_string(int(std::nearbyint(fps))));  // as the job runs
    EXPECT_EQ(m.audioCodecLabel.Caption, "音频编码：" + ext.ReadString("audio", "AudioCodec", ""));

    m.FillPresetParams(spExisting, 7, 3);
    EXPECT_EQ(m.JobExt, "." + c.Type);
    EXPECT_EQ(m.JobFrameSize, width + "x" + height);
    EXPECT_EQ(m.JobVideoCodec, c.VideoCodec);
    EXPECT_EQ(m.JobFrameRate, int(std::nearbyint(fps)));
    EXPECT_EQ(m.JobVideoBitrate, bitrate > 0 ? int(std::nearbyint(bitrate)) : 0);
  }
}

TEST(SampleAnalysis, ContainerByItsExtensionElseByItsFormat) {
  if (SamplesDir().empty()) GTEST_SKIP() << "no shared media samples";
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  for (const char* name : {"CLIP.FLV", "clip.dat"}) {
    const std::string copy = h.Home() + name;
    std::filesystem::copy_file(SamplesDir() + "/bun33s.flv", copy);
    h.View.DialogAnswers.push_back({copy});
    m.OnAnalyseClicked();
    EXPECT_EQ(TIniFile(h.ExtFile()).ReadString("mediatype", "Type", ""), "flv") << name;
  }
}

TEST(SampleAnalysis, UnreadableSampleSaysSoAndWritesNothing) {
  TWorkbenchHarness h(false);
  TWorkbench& m = h.NewModel();
  const std::string junk = h.Home() + "junk.mp4";
  ASSERT_TRUE(WriteFileAtomic(junk, std::string(4000, '\x5a')));
  const std::string before = m.frameSizeLabel.Caption;
  for (const std::string& path : {junk, h.Home() + "missing.mp4"}) {
    h.View.Messages.clear();
    h.View.DialogAnswers.push_back({path});
    m.OnAnalyseClicked();
    ASSERT_EQ(h.View.Messages.size(), 1u);
    EXPECT_EQ(h.View.Messages[0].Kind, mkError);
    EXPECT_NE(h.View.Messages[0].Text.find(path), std::string::npos);
  }
  EXPECT_FALSE(FileExists(h.ExtFile()));
  EXPECT_EQ(m.frameSizeLabel.Caption, before);
  m.OnAnalyseClicked();  // cancelled
  EXPECT_EQ(h.View.Messages.size(), 1u);
}

TEST(SampleAnalysis, JobValuesFromExtfile) {
  struct TCase {
    std::string Text;
    std::string Ext, FrameSize;
    int Bitrate, FrameRate;
    std::string Codec = "mpeg4";
  };
  const TCase cases[] = {
      {"", ".avi", "320x240", 512000, 24},  // no analysis yet
      {"[mediatype]\nType=mp4\n[video]\nWidth=480\nHeight=272\nFPS=29.97\nVideoBitrate=512000\n", ".mp4",
       "480x272", 512000, 30},
      {"[mediatype]\nType=\n[video]\nFPS=abc\nVideoBitrate=1500000.5\n", ".", "320x240", 1500000, 24},
      {"[video]\nFPS=1e300\nVideoBitrate=-\n", ".avi", "320x240", 512000, 24},
      // Values the analysis could not read (0) are left to the source; the older number form reads.
      {"[mediatype]\nType=.mov\n[video]\nWidth=0\nHeight=0\nFPS=0\nVideoBitrate=0\n", ".mov", "", 0, 0},
      {"[mediatype]\nType=mov\n[video]\nFPS=2.5e+01\nVideoBitrate=1e+05\n", ".mov", "320x240", 100000, 25},
      // Sizes the encoder takes: even, within its largest, H.263's standard ones.
      {"[mediatype]\nType=mp4\n[video]\nWidth=7\nHeight=5\n", ".mp4", "6x4", 512000, 24},
      {"[mediatype]\nType=mp4\n[video]\nWidth=1\nHeight=1\n", ".mp4", "2x2", 512000, 24},
      {"[mediatype]\nType=mp4\n[video]\nWidth=8192\nHeight=4320\n", ".mp4", "8190x4320", 512000, 24},
      {"[mediatype]\nType=mkv\n[video]\nVideoCodec=AVC\nWidth=8191\nHeight=4320\n", ".mkv", "8190x4320",
       512000, 24, "libx264"},
      {"[mediatype]\nType=mpg\n[video]\nWidth=4096\nHeight=2160\n", ".mpg", "4094x2160", 512000, 24,
       "mpeg2video"},
      {"[mediatype]\nType=3gp\n[video]\nVideoCodec=H.263\nWidth=400\nHeight=300\n", ".3gp", "352x288", 512000,
       24, "h263"},
      {"[mediatype]\nType=3gp\n[video]\nVideoCodec=H.263\nWidth=100\nHeight=80\n", ".3gp", "128x96", 512000,
       24, "h263"},
  };
  for (const TCase& c : cases) {
    TWorkbenchHarness h(false);
    TWorkbench& m = h.NewModel();
    if (!c.Text.empty()) {
      ASSERT_TRUE(WriteFileAtomic(h.ExtFile(), c.Text));
    }
    m.FillPresetParams(spExisting, 0, 0);
    EXPECT_EQ(m.JobExt, c.Ext) << c.Text;
    EXPECT_EQ(m.JobFrameSize, c.FrameSize) << c.Text;
    EXPECT_EQ(m.JobVideoCodec, c.Codec) << c.Text;
    EXPECT_EQ(m.JobVideoBitrate, c.Bitrate) << c.Text;
    EXPECT_EQ(m.JobFrameRate, c.FrameRate) << c.Text;
  }
}

}  // namespace
}  // namespace ok::test
