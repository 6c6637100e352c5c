// Jobs from every settings page through the shipped catalogue: the suffix and audio-label rules of
// the preset page, and one file converted end to end from the device, sample-video and custom pages.

#include <gtest/gtest.h>

#include <filesystem>

#include "model_test_support.h"
#include "platform/file_utils.h"
#include "workbench_test_support.h"

namespace ok::test {
namespace {

// The model started in a program folder of its own with the shipped profiles.
class SettingsPagesTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    model = std::make_unique<TWorkbench>(view, TWorkbenchEnvironment{&shutdown, &loop});
    model->OnCreate();
    model->OnShow();
    ASSERT_TRUE(model->Transcoder.LibrariesLoaded());
    model->outputFolderEdit.Text = tmp / "out";
    view.Messages.clear();
  }
  // `audio` "": any audio stream.
  void Expect(const std::string& out, const std::string& format, const std::string& video,
              const std::string& audio) {
    SCOPED_TRACE(out);
    EXPECT_NE(ProbeValue(out, "format=format_name").find(format), std::string::npos);
    EXPECT_EQ(ProbeValue(out, "stream=codec_name,width,height,r_frame_rate", "v:0"), video);
    const std::string audioCodec = ProbeValue(out, "stream=codec_name", "a:0");
    if (audio.empty())
      EXPECT_FALSE(audioCodec.empty());
    else
      EXPECT_EQ(audioCodec, audio);
  }

  TWorkbenchHarness harness;
};

TEST_F(SettingsPagesTest, PresetSuffixAndAudioLabelRules) {
  model->AddFiles({SmallClip()});
  struct TCase {
    int Type, Preset;
    const char *Label, *Suffix, *VideoCodec, *AudioCodec;
    int SampleRate, Channels, AudioBitrate;
  };
  for (const TCase& c : {TCase{0, 0, "音频编码：AAC", ".3gp", "mpeg4", "libfaac", 8000, 1, 7400},
                         TCase{4, 0, "音频编码：AAC", ".wmv", "wmv2", "wmav2", -1, -1, -1},
                         TCase{7, 0, "音频编码：AC3", ".mkv", "libx264", "ac3", -1, -1, -1},
                         TCase{8, 1, "音频编码：MP3", ".flv", "flv", "libmp3lame", 22050, -1, -1},
                         TCase{3, 0, "音频编码：FLAC", ".mpeg", "mpeg4", "flac", -1, -1, -1}}) {
    SCOPED_TRACE(c.Suffix);
    model->settingsPages.ActivePageIndex = spPreset;
    model->SelectFileType(c.Type);
    model->SelectPreset(c.Preset);
    model->audioCodecLabel.Caption = c.Label;
    const TOutputOptions out = model->BuildOutputOptions(0);
    EXPECT_EQ(out.FileExt, c.Suffix);
    EXPECT_EQ(out.FileName, Output(std::string("wb_small_(new)") + c.Suffix));
    EXPECT_EQ(out.VideoCodec, c.VideoCodec);
    EXPECT_EQ(out.AudioCodec, c.AudioCodec);
    EXPECT_EQ(out.AudioSampleRate, c.SampleRate);
    EXPECT_EQ(out.AudioChannels, c.Channels);
    EXPECT_EQ(out.AudioBitrate, c.AudioBitrate);
  }
}

TEST_F(SettingsPagesTest, DevicePageConvertsAFile) {
  model->AddFiles({SmallClip()});
  model->OnSettingsPageChanged(spDevice);
  model->SelectBrand(0);
  model->SelectModel(0);  // .avi 480x272 mpeg4 24 fps
  ASSERT_TRUE(RunBatch());
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  EXPECT_EQ(Progress(0), "100%");
  Expect(Output("wb_small_(new).avi"), "avi", "mpeg4\n480\n272\n24/1", "");  // audio as the profile says
}

TEST_F(SettingsPagesTest, SampleVideoPageConvertsAFile) {
  OK_SAMPLE(sample, "sample.avi");  // avi, 640x360, 29.97 fps (taken as 30), MP3
  view.DialogAnswers.push_back({sample});
  model->OnAnalyseClicked();
  model->AddFiles({SmallClip()});
  model->OnSettingsPageChanged(spExisting);
  view.Messages.clear();
  ASSERT_TRUE(RunBatch());
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  Expect(Output("wb_small_(new).avi"), "avi", "mpeg4\n640\n360\n30/1", "mp3");
}

TEST_F(SettingsPagesTest, CustomPageConvertsAFile) {
  model->AddFiles({SmallClip()});
  model->OnSettingsPageChanged(spCustom);
  model->OnApplyCustomClicked();
  model->SelectCustomType(2);  // AVI; the edits keep their defaults 220 x 176, 38400, 15
  model->audioCodecLabel.Caption = "音频编码：MP3";
  ASSERT_TRUE(RunBatch());
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  Expect(Output("wb_small_(new).avi"), "avi", "mpeg4\n220\n176\n15/1", "mp3");
}

TEST_F(SettingsPagesTest, CustomTypesTakeTheirOwnAudioAfterEveryPresetType) {
  model->AddFiles({SmallClip()});
  const char* audio[9] = {"libfaac", "libfaac", "libmp3lame", "mp2",       "wmav2",
                          "ac3",     "libfaac", "libmp3lame", "libmp3lame"};
  for (int preset = 0; preset < 9; ++preset) {
    model->OnSettingsPageChanged(spPreset);
    model->SelectFileType(preset);  // the labels now name that type's audio
    model->OnSettingsPageChanged(spCustom);
    model->OnApplyCustomClicked();
    for (int custom = 0; custom < 9; ++custom) {
      model->SelectCustomType(custom);
      EXPECT_EQ(model->BuildOutputOptions(0).AudioCodec, audio[custom]) << preset << " then " << custom;
    }
  }
  // Each custom type converts with audio after a preset type whose audio its container refuses.
  const int before[9] = {3, 3, 8, 0, 0, 0, 3, 4, 3};
  for (int custom = 0; custom < 9; ++custom) {
    SCOPED_TRACE(custom);
    model->OnSettingsPageChanged(spPreset);
    model->SelectFileType(before[custom]);
    model->OnSettingsPageChanged(spCustom);
    model->OnApplyCustomClicked();
    model->SelectCustomType(custom);
    const std::string out = model->BuildOutputOptions(0).FileName;
    view.Messages.clear();
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
    EXPECT_EQ(ProbeValue(out, "stream=codec_type", "a:0"), "audio");
  }
}

TEST_F(SettingsPagesTest, StartWaitsUntilThePageHoldsValues) {
  model->AddFiles({SmallClip(), SmallClip()});
  model->OnSettingsPageChanged(spCustom);  // "自定义" not pressed
  model->OnStartClicked();
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"请设定对应视频参数！"});
  model->OnSettingsPageChanged(spExisting);  // no sample analysed
  EXPECT_EQ(model->videoCodecLabel.Caption, "视频编码：请先分析视频文件");
  view.Messages.clear();
  model->OnStartClicked();
  ASSERT_EQ(view.Messages.size(), 1u);
  EXPECT_NE(view.Messages[0].Text.find("分析视频文件"), std::string::npos);
  EXPECT_FALSE(model->Running());
  EXPECT_EQ(model->Transcoder.Tasks().Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp / "out") && !std::filesystem::is_empty(tmp / "out"));
}

TEST_F(SettingsPagesTest, SampleContainersAndCodecsAreKept) {
  struct TCase {
    const char *Sample, *Output, *Format, *Codecs, *Rate;
  };
  const TCase cases[] = {
      {"sample.mp4", "wb_small_(new).mp4", "mp4", "h264\naac", "30/1"},
      {"bun33s.flv", "wb_small_(new).flv", "flv", "h264\naac", "30/1"},
      {"echo-hereweare.webm", "wb_small_(new).webm", "matroska", "vp8\nvorbis", "30/1"},
      {"sample.ts", "wb_small_(new).ts", "mpegts", "h264\naac", "25/1"},  // no rate read: the source's
      {"sample.avi", "wb_small_(new).avi", "avi", "mpeg4\nmp3", "30/1"},
  };
  OK_SAMPLE(samples, "");
  model->AddFiles({SmallClip()});
  model->OnSettingsPageChanged(spExisting);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sample);
    view.DialogAnswers.push_back({samples + c.Sample});
    model->OnAnalyseClicked();
    view.Messages.clear();
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
    const std::string out = Output(c.Output);
    EXPECT_NE(ProbeValue(out, "format=format_name").find(c.Format), std::string::npos);
    // A transport stream lists its streams once more under its program: the first line counts.
    auto first = [&](const std::string& entry, const char* stream) {
      const std::string value = ProbeValue(out, entry, stream);
      return value.substr(0, value.find('\n'));
    };
    EXPECT_EQ(first("stream=codec_name", "v:0") + "\n" + first("stream=codec_name", "a:0"), c.Codecs);
    EXPECT_EQ(first("stream=r_frame_rate", "v:0"), c.Rate);
    EXPECT_EQ(model->frameRateLabel.Caption == "帧速率：同源视频", std::string(c.Sample) == "sample.ts");
  }
}

TEST_F(SettingsPagesTest, SuffixRules) {
  model->AddFiles({SmallClip()});
  model->OnSettingsPageChanged(spExisting);
  struct TCase {
    const char *Type, *Suffix, *Format, *Video, *Audio;
    int SampleRate;
    const char *FrameRate, *FrameSize;
    bool NoVideo;
  };
  const TCase cases[] = {
      {"psp", "_psp.mp4", "psp", "mpeg4", "libfaac", 24000, "15000/1001", "320X180", false},
      {"ipod", "_ipod.mp4", "", "mpeg4", "libfaac", -1, "24", "320x240", false},
      {"ogg", ".ogg", "", "libtheora", "flac", -1, "24", "320X180", false},
      {"swf", ".swf", "", "mpeg4", "", 22050, "24", "320X180", false},
      {"wma", ".wma", "", "mpeg4", "wmav2", -1, "24", "320X180", true},
      {"dvd", "_dvd_auto.mpg", "", "mpeg4", "", -1, "24", "320X180", false},
      {"svcd", "_svcd_auto.mpg", "", "mpeg4", "", -1, "24", "320X180", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Type);
    ASSERT_TRUE(WriteFileAtomic(harness.ExtFile(), std::string("[mediatype]\nType=") + c.Type +
                                                       "\n[video]\nWidth=320\nHeight=240\n"));
    const TOutputOptions o = model->BuildOutputOptions(0);
    EXPECT_EQ(o.FileExt, c.Suffix);
    EXPECT_EQ(o.FileName, Output(std::string("wb_small_(new)") + c.Suffix));
    EXPECT_EQ(o.FileFormat, c.Format);
    EXPECT_EQ(o.VideoCodec, c.Video);
    EXPECT_EQ(o.AudioCodec, c.Audio);
    EXPECT_EQ(o.AudioSampleRate, c.SampleRate);
    EXPECT_EQ(o.FrameRate, c.FrameRate);
    EXPECT_EQ(o.FrameSize, c.FrameSize);
    EXPECT_EQ(o.DisableVideo, c.NoVideo);
  }
}

}  // namespace
}  // namespace ok::test
