// Quality-based profiles: the picture in its box, the frame rate under its cap, the encoder from
// its list, the record a source gets, and the container of a remux.

#include "app/workbench/profile_jobs.h"

#include <gtest/gtest.h>

#include <set>

#include "app/workbench/profile_catalogue.h"
#include "model_test_support.h"

namespace ok::test {
namespace {

TEST(ProfileJobs, PicturesFitTheBoxAtTheirShapeNeverEnlargedWithEvenSides) {
  struct TCase {
    int Width, Height, BoxWidth, BoxHeight;
    TFrameBox Expected;
  };
  for (const TCase& c : {
           TCase{3840, 2160, 1920, 1080, {1920, 1080}},
           TCase{640, 480, 1920, 1080, {640, 480}},    // never enlarged
           TCase{768, 576, 1920, 1080, {768, 576}},    // an anamorphic 720x576 as displayed
           TCase{1440, 1080, 1280, 720, {960, 720}},   // 4:3 in a 16:9 box: no pads
           TCase{2560, 1080, 1280, 720, {1280, 540}},  // wider than the box
           TCase{1080, 1920, 1280, 720, {720, 1280}},  // standing: the box stands too
           TCase{1000, 1000, 640, 360, {360, 360}},
           TCase{321, 181, 1920, 1080, {320, 180}},  // odd sides made even
           TCase{1001, 563, 0, 0, {1000, 562}},      // no box: the source's own size
           TCase{0, 0, 1280, 720, {1280, 720}},      // an unknown picture takes the box
           TCase{0, 0, 0, 0, {}},
       }) {
    SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height) + " in " +
                 std::to_string(c.BoxWidth) + "x" + std::to_string(c.BoxHeight));
    const TFrameBox fitted = FitInBox(c.Width, c.Height, c.BoxWidth, c.BoxHeight);
    EXPECT_EQ(fitted.Width, c.Expected.Width);
    EXPECT_EQ(fitted.Height, c.Expected.Height);
  }
}

TEST(ProfileJobs, FrameRatesOverTheCapAreDividedWhole) {
  struct TCase {
    int Num, Den;
    double Cap;
    const char* Expected;
  };
  for (const TCase& c :
       {TCase{60000, 1001, 30, "30000/1001"}, TCase{50, 1, 30, "25/1"}, TCase{120, 1, 30, "30/1"},
        TCase{48, 1, 30, "24/1"}, TCase{120, 1, 60, "60/1"}, TCase{30, 1, 30, ""}, TCase{30000, 1001, 30, ""},
        TCase{25, 1, 60, ""}, TCase{0, 0, 30, ""}}) {
    EXPECT_EQ(CappedFrameRate(c.Num, c.Den, c.Cap), c.Expected)
        << c.Num << "/" << c.Den << " under " << c.Cap;
  }
}

TEST(ProfileJobs, TheFirstEncoderPresentIsTaken) {
  const std::set<std::string> present = {"libaom-av1", "libx264"};
  const TEncoderCheck has = [&](const std::string& name) { return present.count(name) > 0; };
  EXPECT_EQ(FirstAvailableEncoder("libsvtav1,libaom-av1", has), "libaom-av1");
  EXPECT_EQ(FirstAvailableEncoder(" libx264 , libaom-av1", has), "libx264");
  EXPECT_EQ(FirstAvailableEncoder("libsvtav1", has), "");
  EXPECT_EQ(FirstAvailableEncoder("", has), "");
}

profile_rec H265Profile() {
  profile_rec p;
  p.Extension = ".mp4";
  p.Quality = 24;
  p.MaxRate = 6000000;
  p.BufSize = 12000000;
  p.Speed = "faster";
  p.Fit = "box";
  p.Width = 1920;
  p.Height = 1080;
  p.PixelFormat = "keep10";
  p.Tag = "hvc1";
  p.AudioCodec = "AAC";
  p.AudioBitrate = 160000;
  p.MaxChannels = 6;
  p.Deinterlace = true;
  return p;
}

TEST(ProfileJobs, TheRecordCarriesEveryKeyOfTheProfile) {
  TSourceRow source;
  source.DisplayWidth = 3840;
  source.DisplayHeight = 2160;
  source.FrameRateNum = 60000;
  source.FrameRateDen = 1001;
  source.BitDepth = 10;
  source.AudioChannels = 6;
  TOutputOptions o;
  std::string suffix = ".mp4";
  ApplyQualityProfile(H265Profile(), source, "libx265", o, suffix);
  EXPECT_EQ(o.VideoCodec, "libx265");
  EXPECT_EQ(
      o.ExtraOptions,
      "crf=24\npreset=faster\npix_fmt=yuv420p10le\nmovflags=+faststart\n");  // progressive: no deinterlacing
  EXPECT_EQ(o.VideoBitrate, -1);
  EXPECT_EQ(o.VideoMaxRate, 6000000);
  EXPECT_EQ(o.VideoBufSize, 12000000);
  EXPECT_EQ(o.VideoTag, "hvc1");
  EXPECT_EQ(o.FrameSize, "1920x1080");
  EXPECT_EQ(o.FrameAspectRatio, "1920:1080");
  EXPECT_EQ(o.FrameRate, "");  // 59.94 is under the default cap of 60
  EXPECT_EQ(o.AudioCodec, "aac");
  EXPECT_EQ(o.AudioChannels, -1);     // 5.1 is kept
  EXPECT_EQ(o.AudioBitrate, 480000);  // the stereo rate for each pair kept

  // An older device's: baseline at level 3.0, 30 fps, stereo, an interlaced 8-bit source
  // deinterlaced; VP9's rate is its cap.
  profile_rec older = H265Profile();
  older.Profile = "baseline";
  older.Level = "3.0";
  older.PixelFormat = "yuv420p";
  older.FPSCap = 30;
  older.MaxChannels = 2;
  older.Tag.clear();
  source.BitDepth = 8;
  source.Interlaced = true;
  source.FrameRateNum = 50;
  source.FrameRateDen = 1;
  TOutputOptions o2;
  ApplyQualityProfile(older, source, "libx264", o2, suffix);
  EXPECT_EQ(
      o2.ExtraOptions,
      "crf=24\npreset=faster\npix_fmt=yuv420p\nvprofile=66\nvlevel=30\ndeinterlace=1\nmovflags=+faststart\n");
  EXPECT_EQ(o2.FrameRate, "25/1");
  EXPECT_EQ(o2.AudioChannels, 2);
  EXPECT_EQ(o2.AudioBitrate, 160000);

  profile_rec vp9 = H265Profile();
  vp9.VideoBitrate = 4500000;
  vp9.MaxRate = vp9.BufSize = 0;
  vp9.Speed = "5";
  vp9.AudioCodec = "OPUS";
  suffix = ".webm";
  TOutputOptions o3;
  ApplyQualityProfile(vp9, source, "libvpx-vp9", o3, suffix);
  EXPECT_EQ(o3.VideoBitrate, 4500000);
  EXPECT_NE(o3.ExtraOptions.find("cpu-used=5\n"), std::string::npos);
  EXPECT_EQ(o3.ExtraOptions.find("movflags"), std::string::npos);
  EXPECT_EQ(o3.AudioCodec, "libopus");

  // Under a size limit the rate rules instead of the quality.
  EXPECT_TRUE(ReplaceQualityByRate(o2, 900000));
  EXPECT_EQ(o2.VideoBitrate, 900000);
  EXPECT_EQ(o2.ExtraOptions.find("crf="), std::string::npos);
  EXPECT_EQ(o2.ExtraOptions.rfind("preset=faster\n", 0), 0u);
  EXPECT_FALSE(ReplaceQualityByRate(o2, 900000));
}

class RemuxTest : public ModelTest {};

TEST_F(RemuxTest, TheContainerIsTheOneThatHoldsEveryStream) {
  const TSourceStream h264{AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_H264}, aac{AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_AAC},
      srt{AVMEDIA_TYPE_SUBTITLE, AV_CODEC_ID_SUBRIP};
  // A camera's time code track and an MKV's font: neither is copied, so neither rules the container.
  const TSourceStream timecode{AVMEDIA_TYPE_DATA, AV_CODEC_ID_NONE},
      font{AVMEDIA_TYPE_ATTACHMENT, AV_CODEC_ID_TTF};
  TSourceRow plain, subtitled, marked;
  plain.Streams = {h264, aac, aac};
  subtitled.Streams = {h264, aac, srt};
  marked.Streams = {h264, timecode, aac, font};
  profile_rec p;
  for (const auto& [remux, source, suffix] : {std::tuple{"auto", &plain, ".mp4"},
                                              {"auto", &subtitled, ".mkv"},
                                              {"mkv", &plain, ".mkv"},
                                              {"mp4", &plain, ".mp4"},
                                              {"mkv", &subtitled, ".mkv"},
                                              {"auto", &marked, ".mp4"},
                                              {"mp4", &marked, ".mp4"}}) {
    p.Remux = remux;
    EXPECT_EQ(RemuxSuffix(p, *source), suffix) << remux;
  }
  p.Remux = "mp4";
  p.Type = "MP4";
  try {
    RemuxSuffix(p, subtitled);
    ADD_FAILURE() << "MP4 took a SubRip stream";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "MP4 容器不能容纳第 3 条流（subrip）");
  }

  // Every stream is mapped: one of each kind first, the further ones after, each with its stream.
  TOutputOptions o;
  std::string suffix;
  p.Remux = "auto";
  ApplyRemuxProfile(p, plain, o, suffix);
  EXPECT_EQ(o.ExtraOptions,
            "movflags=+faststart\nmap=0:0\nmap=0:1\nmap=0:2\nscodec=copy\nacodec=copy\nnewaudio=\n");
  EXPECT_EQ(o.VideoCodec, "copy");
  EXPECT_EQ(o.AudioCodec, "copy");
  EXPECT_FALSE(o.DisableSubtitle);
  o = {};
  ApplyRemuxProfile(p, marked, o, suffix);
  EXPECT_EQ(o.ExtraOptions, "movflags=+faststart\nmap=0:0\nmap=0:2\nscodec=copy\n");
}

}  // namespace
}  // namespace ok::test
