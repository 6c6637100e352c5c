// ostrelkalvexa-cli's modern types, device classes and lossless remux, on tiny clips checked with
// ffprobe.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/cli_home.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

struct TModernCase {
  std::string Arguments;  // the choice, then the source
  const char* Extension;
  const char* VideoCodec;
  const char* Tag;  // "" where the container keeps none
  const char* PixelFormat;
  int Width, Height;
  const char* FrameRate;
  const char* AudioCodec;  // "" for no audio stream
  int Channels;
};

// Video packets of a file's first video stream, each as its bytes' hash.
std::string VideoPacketHashes(const std::string& file) {
  return RunCommand(
             "ffprobe -v error -select_streams v:0 -show_packets -show_data_hash md5"
             " -show_entries packet=data_hash -of csv=p=0 " +
             ShellQuote(file))
      .output;
}

// Whether an MP4's index comes before its media data, so that a player starts before the download ends.
bool IndexFirst(const std::string& file) {
  const std::string bytes = ReadText(file);
  const size_t moov = bytes.find("moov"), mdat = bytes.find("mdat");
  return moov != std::string::npos && mdat != std::string::npos && moov < mdat;
}

// Each modern type and one device class per encoder on tiny clips (the slow encoders run under
// the sanitizers): codec, tag, pixel format, a frame that fits its box at square pixels and is
// never enlarged, the frame rate under its cap, the audio, the MP4 index in front.
TEST(WorkbenchCli, ConvertsToTheModernTypesAndDeviceClasses) {
  // 10 frames of 320x180 at 25 fps with 5.1 sound.
  const std::string small = ShellQuote(
      Fixture("modern_small.mkv",
              "-f lavfi -i testsrc2=size=320x180:rate=25 -f lavfi -i sine=duration=0.4 -frames:v 10 "
              "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:v libx264 -pix_fmt yuv420p -c:a aac"));
  const std::string fast = ShellQuote(
      Fixture("modern_60fps.mp4",
              "-f lavfi -i testsrc2=size=320x180:rate=60 -frames:v 20 -c:v libx264 -pix_fmt yuv420p"));
  const std::string deep = ShellQuote(
      Fixture("modern_10bit.mkv",
              "-f lavfi -i testsrc2=size=320x180:rate=25 -frames:v 10 -pix_fmt yuv420p10le -c:v ffv1"));
  const std::string vga = ShellQuote(
      Fixture("modern_vga.mp4", "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 10 -c:v mpeg4"));
  // A PAL DVD's picture: interlaced, anamorphic 720x576 shown at 768x576.
  const std::string dvd =
      ShellQuote(Fixture("modern_dvd.mpg",
                         "-f lavfi -i testsrc2=size=720x576:rate=50 -frames:v 20 "
                         "-vf tinterlace=interleave_top,setsar=16/15 -flags +ilme+ildct -top 1 "
                         "-c:v mpeg2video -b:v 4M"));
  // A phone's standing video: 960x540 stored, shown turned a quarter (the tag becomes a display
  // matrix on a stream copy).
  const std::string phone = ShellQuote(Fixture(
      "modern_phone.mp4",
      "-i " +
          ShellQuote(Fixture(
              "modern_phone_stored.mp4",
              "-f lavfi -i testsrc2=size=960x540:rate=30 -frames:v 10 -c:v libx264 -pix_fmt yuv420p")) +
          " -c copy -metadata:s:v:0 rotate=90"));
  const std::vector<TModernCase> cases = {
      {"--preset 'MP4 H.264/1080p' " + small, ".mp4", "h264", "avc1", "yuv420p", 320, 180, "25/1", "aac", 2},
      {"--preset 10/3 " + small, ".mp4", "hevc", "hvc1", "yuv420p", 320, 180, "25/1", "aac", 2},
      {"--preset 'WebM VP9/720p' " + small, ".webm", "vp9", "", "yuv420p", 320, 180, "25/1", "opus", 2},
      {"--preset 12/7 " + small, ".mkv", "av1", "", "yuv420p", 320, 180, "25/1", "opus", 2},
      {"--preset 'MKV AV1/与源相同' " + deep, ".mkv", "av1", "", "yuv420p10le", 320, 180, "25/1", "", 0},
      {"--preset 10/0 " + deep, ".mp4", "hevc", "hvc1", "yuv420p10le", 320, 180, "25/1", "", 0},
      {"--device 26/0 " + small, ".mp4", "h264", "avc1", "yuv420p", 320, 180, "25/1", "aac", 2},
      {"--device 28/0 " + small, ".mp4", "hevc", "hvc1", "yuv420p", 320, 180, "25/1", "aac",
       6},                                                                                    // surround kept
      {"--device 31/1 " + fast, ".mp4", "h264", "avc1", "yuv420p", 320, 180, "30/1", "", 0},  // capped at 30
      {"--preset 9/3 " + fast, ".mp4", "h264", "avc1", "yuv420p", 320, 180, "60/1", "", 0},
      {"--preset 9/3 " + vga, ".mp4", "h264", "avc1", "yuv420p", 640, 480, "25/1", "", 0},  // never enlarged
      {"--preset 9/7 " + vga, ".mp4", "h264", "avc1", "yuv420p", 480, 360, "25/1", "", 0},
      {"--preset 9/3 " + dvd, ".mp4", "h264", "avc1", "yuv420p", 768, 576, "25/1", "", 0},
      {"--preset 9/7 " + phone, ".mp4", "h264", "avc1", "yuv420p", 360, 640, "30/1", "", 0},  // as shown
  };
  for (const TModernCase& c : cases) {
    SCOPED_TRACE(c.Arguments);
    CliHome home;
    const CommandResult r = home.Run(c.Arguments);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string out = SingleOutput(home, r);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(fs::path(out).extension(), c.Extension);
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), c.VideoCodec);
    if (*c.Tag) {
      EXPECT_EQ(ProbeValue(out, "stream=codec_tag_string", "v:0"), c.Tag);
    }
    EXPECT_EQ(ProbeValue(out, "stream=pix_fmt", "v:0"), c.PixelFormat);
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), std::to_string(c.Width));
    EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), std::to_string(c.Height));
    const std::string sar = ProbeValue(out, "stream=sample_aspect_ratio", "v:0");
    EXPECT_TRUE(sar == "1:1" || sar == "N/A") << sar;
    EXPECT_EQ(ProbeValue(out, "stream=r_frame_rate", "v:0"), c.FrameRate);
    EXPECT_EQ(ProbeValue(out, "stream=field_order", "v:0").find('t'), std::string::npos);  // no tt, tb, bt
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), c.AudioCodec);
    if (*c.AudioCodec) {
      EXPECT_EQ(ProbeValue(out, "stream=channels", "a:0"), std::to_string(c.Channels));
    }
    EXPECT_EQ(ProbeValue(out, "stream_side_data=rotation", "v:0"), "");
    if (std::string(c.Extension) == ".mp4") {
      EXPECT_TRUE(IndexFirst(out));
    }
  }
}

// A modern preset keeps what a player shows of the source besides its pictures and sound: the
// title, the date, the chapters and the text subtitles, in the container's own text form.
TEST(WorkbenchCli, ModernPresetsCarryTitleDateChaptersAndSubtitles) {
  const std::string source = ShellQuote(TaggedSource());
  for (const auto& [arguments, subtitles] : {std::pair{"--preset 'MP4 H.264/360p' ", "mov_text"},
                                             std::pair{"--preset 'WebM VP9/360p' ", "webvtt"}}) {
    SCOPED_TRACE(arguments);
    CliHome home;
    const CommandResult r = home.Run(arguments + source);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string out = SingleOutput(home, r);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(ProbeValue(out, "format_tags=title"), "Source Title");
    EXPECT_EQ(ProbeValue(out, "format_tags=creation_time").substr(0, 19), "2020-01-02T03:04:05");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "s"), subtitles);
    const std::string chapters =
        RunCommand("ffprobe -v error -show_entries chapter=start_time -of csv=p=0 " + ShellQuote(out)).output;
    EXPECT_EQ(chapters, "0.000000\n1.500000\n3.000000\n");
  }
}

// The lossless remux copies every video, audio and subtitle stream as it is: MP4 where MP4 holds
// them all, else MKV; an MP4 asked for that cannot hold one fails with the reason.
TEST(WorkbenchCli, RemuxCopiesEveryStreamIntoAContainerThatHoldsIt) {
  const std::string twoTracks =
      Fixture("remux_two_tracks.mkv",
              "-f lavfi -i testsrc2=size=320x180:rate=25 -f lavfi -i sine=duration=0.4 "
              "-f lavfi -i sine=frequency=880:duration=0.4 -frames:v 10 -map 0 -map 1 "
              "-map 2 -c:v libx264 -pix_fmt yuv420p -c:a aac");
  const fs::path subtitles = fs::path(BuildDir()) / "fixtures" / "remux.srt";
  std::ofstream(subtitles) << "1\n00:00:00,000 --> 00:00:00,300\nhello\n";
  const std::string subtitled =
      Fixture("remux_subtitled.mkv", "-i " + ShellQuote(twoTracks) + " -i " + ShellQuote(subtitles.string()) +
                                         " -map 0 -map 1 -c copy -c:s srt");
  // A camera's MOV with a time code track, and an MKV carrying a font: the data and the font stay behind.
  const std::string timecoded =
      Fixture("remux_timecode.mov",
              "-f lavfi -i testsrc2=size=320x180:rate=25 -f lavfi -i sine=duration=0.4 "
              "-frames:v 10 -c:v libx264 -pix_fmt yuv420p -c:a aac -timecode 01:00:00:00");
  const fs::path font = fs::path(BuildDir()) / "fixtures" / "remux_font.ttf";
  std::ofstream(font) << "not really a font";  // the muxers keep attachments' bytes as they are
  const std::string withFont =
      Fixture("remux_font.mkv", "-i " + ShellQuote(timecoded) + " -map 0:v -map 0:a -c copy -attach " +
                                    ShellQuote(font.string()) +
                                    " -metadata:s:t mimetype=application/x-truetype-font");
  struct TCase {
    std::string Preset, Source;
    const char* Extension;
    const char* Streams;
  };
  for (const TCase& c : {TCase{"'无损换封装/自动'", twoTracks, ".mp4", "h264,aac,aac"},
                         TCase{"13/0", subtitled, ".mkv", "h264,aac,subrip,aac"},
                         TCase{"'无损换封装/MKV'", twoTracks, ".mkv", "h264,aac,aac"},
                         TCase{"'无损换封装/自动'", timecoded, ".mp4", "h264,aac"},
                         TCase{"'无损换封装/自动'", withFont, ".mp4", "h264,aac"}}) {
    SCOPED_TRACE(c.Preset + " " + c.Source);
    CliHome home;
    const CommandResult r = home.Run("--preset " + c.Preset + " " + ShellQuote(c.Source));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string out = SingleOutput(home, r);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(fs::path(out).extension(), c.Extension);
    std::string streams;
    for (const char ch : ProbeValue(out, "stream=codec_name")) streams += ch == '\n' ? ',' : ch;
    EXPECT_EQ(streams, c.Streams);
    EXPECT_EQ(VideoPacketHashes(out), VideoPacketHashes(c.Source));
    EXPECT_FALSE(VideoPacketHashes(out).empty());
  }
  CliHome home;
  const CommandResult r = home.Run("--preset 13/1 " + ShellQuote(subtitled));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("MP4 容器不能容纳第 4 条流（subrip）"), std::string::npos) << r.output;
  EXPECT_TRUE(home.Outputs().empty());
}

// A preset the user saved is listed after its type's shipped ones, marked, and chosen by its name
// or its position as they are; a file that is no profile is left out. Only such a preset can be
// removed.
TEST(WorkbenchCli, ListsAndConvertsWithTheUsersOwnPreset) {
  CliHome home;
  const fs::path own = home.Home() / "userprofiles/videoconvert/MP4 H.264";
  fs::create_directories(own);
  std::ofstream(own / "手机 小.ini") << "[mediatype]\nType=MP4\n[video]\nVideoCodec=H.264\nEncoder=libx264\n"
                                        "Quality=30\nSpeed=veryfast\nFit=box\nWidth=320\nHeight=240\n"
                                        "PixelFormat=yuv420p\n[audio]\nAudioCodec=AAC\nAudioBitrate=96000\n";
  std::ofstream(own / "broken.ini") << "not a profile";
  const CommandResult list = home.Run("--list", "C.UTF-8");
  ASSERT_EQ(list.exitCode, 0) << list.output;
  EXPECT_NE(list.output.find("\npreset\t9/8\tMP4 H.264/手机 小 (mine)\t320x240\t"), std::string::npos)
      << list.output;
  EXPECT_EQ(list.output.find("broken"), std::string::npos);

  const std::string vga =
      Fixture("modern_vga.mp4", "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 10 -c:v mpeg4");
  for (const char* choice : {"'MP4 H.264/手机 小'", "9/8"}) {
    SCOPED_TRACE(choice);
    const CommandResult r = home.Run(std::string("--preset ") + choice + " " + ShellQuote(vga));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string out = SingleOutput(home, r);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(fs::path(out).extension(), ".mp4");
    EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "h264");
    EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "320");
    EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), "240");
    fs::remove(out);
  }

  const CommandResult shipped = home.Run("--remove-preset 'MP4 H.264/1080p'");
  EXPECT_EQ(shipped.exitCode, 2) << shipped.output;
  EXPECT_NE(shipped.output.find("only presets of your own"), std::string::npos) << shipped.output;
  const CommandResult removed = home.Run("--remove-preset 'MP4 H.264/手机 小'");
  EXPECT_EQ(removed.exitCode, 0) << removed.output;
  EXPECT_FALSE(fs::exists(own / "手机 小.ini"));
  EXPECT_TRUE(fs::exists(fs::path(BuildDir()) / "profiles/videoconvert/MP4 H.264/04 1080p.ini"));
}

}  // namespace
}  // namespace ok::test
