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
    model = std::make_unique<TWorkbench>(view, TWorkbenchEnvironment{&harness.Drives, &shutdown, &loop});
    model->FormCreate();
    model->FormShow();
    ASSERT_TRUE(model->Transcoder1.LibrariesLoaded());
    model->sComboEdit1.Text = tmp / "out";
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
    model->sPageControl2.ActivePageIndex = spPreset;
    model->SelectFileType(c.Type);
    model->SelectPreset(c.Preset);
    model->sLabelFX8.Caption = c.Label;
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
  model->sPageControl2Change(spDevice);
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
  model->sSpeedButton4Click();
  model->AddFiles({SmallClip()});
  model->sPageControl2Change(spExisting);
  view.Messages.clear();
  ASSERT_TRUE(RunBatch());
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  Expect(Output("wb_small_(new).avi"), "avi", "mpeg4\n640\n360\n30/1", "mp3");
}

TEST_F(SettingsPagesTest, CustomPageConvertsAFile) {
  model->AddFiles({SmallClip()});
  model->sPageControl2Change(spCustom);
  model->sSpeedButton5Click();
  model->SelectCustomType(2);  // AVI; the edits keep their defaults 220 x 176, 38400, 15
  model->sLabelFX8.Caption = "音频编码：MP3";
  ASSERT_TRUE(RunBatch());
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"视频成功转换！"});
  Expect(Output("wb_small_(new).avi"), "avi", "mpeg4\n220\n176\n15/1", "mp3");
}

TEST_F(SettingsPagesTest, CustomTypesTakeTheirOwnAudioAfterEveryPresetType) {
  model->AddFiles({SmallClip()});
  const char* audio[9] = {"libfaac", "libfaac", "libmp3lame", "mp2",       "wmav2",
                          "ac3",     "libfaac", "libmp3lame", "libmp3lame"};
  for (int preset = 0; preset < 9; ++preset) {
    model->sPageControl2Change(spPreset);
    model->SelectFileType(preset);  // the labels now name that type's audio
    model->sPageControl2Change(spCustom);
    model->sSpeedButton5Click();
    for (int custom = 0; custom < 9; ++custom) {
      model->SelectCustomType(custom);
      EXPECT_EQ(model->BuildOutputOptions(0).AudioCodec, audio[custom]) << preset << " then " << custom;
    }
  }
  // Each custom type converts with audio after a preset type whose audio its container refuses.
  const int before[9] = {3, 3, 8, 0, 0, 0, 3, 4, 3};
  for (int custom = 0; custom < 9; ++custom) {
    SCOPED_TRACE(custom);
    model->sPageControl2Change(spPreset);
    model->SelectFileType(before[custom]);
    model->sPageControl2Change(spCustom);
    model->sSpeedButton5Click();
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
  model->sPageControl2Change(spCustom);  // "自定义" not pressed
  model->btnStartClick();
  EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"请设定对应视频参数！"});
  EXPECT_FALSE(model->Running());
  EXPECT_EQ(model->Transcoder1.Tasks().Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp / "out") && !std::filesystem::is_empty(tmp / "out"));
}

}  // namespace
}  // namespace ok::test
