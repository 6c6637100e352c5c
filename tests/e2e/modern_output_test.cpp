// What outputs for today's players get from ostrelkalvexa-transcode: the encoders' own quality and
// speed options, the source's title, date, chapters and text subtitles, and remuxing by stream copy.
// Checked with ffprobe.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace ok::test {
namespace {

std::string Program() { return (fs::path(BuildDir()) / "ostrelkalvexa-transcode").string(); }

CommandResult RunTranscode(const std::string& arguments) {
  return RunCommand(ShellQuote(Program()) + " --log-level error " + arguments);
}

// One task of the command line: `options` are -i and -o lines, "@" standing for the source (input
// options go before it), followed by the `common` -o lines.
std::string Task(const std::string& source, const std::string& options, const std::string& common,
                 const std::string& output) {
  const size_t at = options.find('@');
  const std::string before = at == std::string::npos ? "" : options.substr(0, at);
  const std::string after = at == std::string::npos ? options : options.substr(at + 1);
  return " " + before + ShellQuote(source) + " " + common + " " + after + " " + ShellQuote(output);
}

// Converts each case's source (`source(c)`) with its Options and the `common` -o lines into its
// Output in `dir`, in one run of the program, which must succeed.
template <typename TCase, typename TSource>
void ConvertCases(const std::vector<TCase>& cases, TSource source, const std::string& common,
                  const TempDir& dir) {
  std::string arguments;
  for (const TCase& c : cases) arguments += Task(source(c), c.Options, common, dir / c.Output);
  const CommandResult r = RunTranscode(arguments);
  ASSERT_EQ(r.exitCode, 0) << r.output;
}

double BitRate(const std::string& file) { return std::stod("0" + ProbeValue(file, "format=bit_rate")); }

struct TQualityCase {
  const char* Encoder;
  const char* Suffix;
  const char* Speed;   // the encoder's own speed options
  const char* Fine;    // a high quality
  const char* Coarse;  // a low one
  const char* Cap;     // a rate cap added to the fine quality
};

// Each encoder's quality and speed switches reach it: the bit rate follows the quality and the cap.
TEST(ModernOutput, QualityAndSpeedOptionsReachEachEncoder) {
  const std::string clip =
      Fixture("modern_grain.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v ffv1");
  const std::vector<TQualityCase> cases = {
      {"libx264", "mp4", "-o preset=ultrafast", "-o crf=16", "-o crf=40",
       "-o maxrate=150000 -o bufsize=150000"},
      {"libx265", "mp4", "-o preset=ultrafast", "-o crf=16", "-o crf=40",
       "-o maxrate=150000 -o bufsize=150000"},
      {"libvpx-vp9", "webm", "-o deadline=realtime -o cpu-used=8 -o row-mt=1", "-o crf=10 -o b=0",
       "-o crf=55 -o b=0", "-o b=150000"},
      {"libsvtav1", "mkv", "-o preset=12", "-o crf=10", "-o crf=55", "-o maxrate=150000"},
      {"libaom-av1", "mkv", "-o cpu-used=8 -o row-mt=1", "-o crf=10", "-o crf=55", "-o b=150000"},
  };
  TempDir dir;
  std::string arguments = "--parallel 2";
  auto name = [&](const TQualityCase& c, const char* kind) {
    return dir / (std::string(c.Encoder) + "_" + kind + "." + c.Suffix);
  };
  for (const TQualityCase& c : cases) {
    const std::string common = ShellQuote(clip) + " -o vcodec=" + c.Encoder + " " + c.Speed + " ";
    arguments += " " + common + c.Fine + " " + ShellQuote(name(c, "fine"));
    arguments += " " + common + c.Coarse + " " + ShellQuote(name(c, "coarse"));
    arguments += " " + common + c.Fine + " " + c.Cap + " " + ShellQuote(name(c, "capped"));
  }
  const CommandResult r = RunTranscode(arguments);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const TQualityCase& c : cases) {
    SCOPED_TRACE(c.Encoder);
    const double fine = BitRate(name(c, "fine"));
    EXPECT_GT(fine, 1.5 * BitRate(name(c, "coarse")));
    EXPECT_LT(BitRate(name(c, "capped")), 0.6 * fine);
  }
}

struct TTagCase {
  const char* Output;
  const char* Options;  // as Task takes them
  const char* Title;
  const char* Date;
};

// The source's title and creation date go to the output under its own tags, unless told otherwise;
// the streams keep their languages.
TEST(ModernOutput, TitleDateAndLanguagesComeFromTheSource) {
  const std::vector<TTagCase> cases = {
      {"whole.mp4", "", "Source Title", "2020-01-02T03:04:05.000000Z"},
      {"whole.mkv", "", "Source Title", "2020-01-02T03:04:05.000000Z"},
      {"titled.mp4", "-o metadata=title=Mine", "Mine", "2020-01-02T03:04:05.000000Z"},
      {"dated.mkv", "-o timestamp=2021-05-06T07:08:09Z", "Source Title", "2021-05-06T07:08:09.000000Z"},
      {"bare.mkv", "-o map_metadata=-1", "", ""},
  };
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(ConvertCases(
      cases, [](const TTagCase&) { return TaggedSource(); }, "-o vcodec=libx264 -o preset=ultrafast -o sn=1",
      dir));
  for (const TTagCase& c : cases) {
    SCOPED_TRACE(c.Output);
    EXPECT_EQ(ProbeValue(dir / c.Output, "format_tags=title"), c.Title);
    EXPECT_EQ(ProbeValue(dir / c.Output, "format_tags=creation_time"), c.Date);
    EXPECT_EQ(ProbeValue(dir / c.Output, "stream_tags=language", "a:0"), "fra");
  }
}

struct TChapterCase {
  const char* Output;
  const char* Options;   // as Task takes them
  const char* Chapters;  // start,end,title of each, as ffprobe prints them
};

// Chapters go along, on the clip's timeline: moved by its start and cut at its end.
TEST(ModernOutput, ChaptersFollowTheClip) {
  const std::string whole = "0.000000,1.500000,One 1.500000,3.000000,Two 3.000000,4.000000,Three";
  const std::vector<TChapterCase> cases = {
      {"whole.mp4", "", whole.c_str()},
      {"whole.mkv", "", whole.c_str()},
      {"clip.mp4", "-i ss=1 @ -o t=2.5",
       "0.000000,0.500000,One 0.500000,2.000000,Two 2.000000,2.500000,Three"},
      {"clip.mkv", "-i ss=2 @ -o t=1", "0.000000,1.000000,Two"},
      {"none.mkv", "-o map_chapters=-1", ""},
  };
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(ConvertCases(
      cases, [](const TChapterCase&) { return TaggedSource(); },
      "-o vcodec=libx264 -o preset=ultrafast -o sn=1", dir));
  for (const TChapterCase& c : cases) {
    SCOPED_TRACE(c.Output);
    std::string chapters =
        RunCommand(
            "ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags=title "
            "-of csv=p=0 " +
            ShellQuote(dir / c.Output))
            .output;
    for (char& ch : chapters)
      if (ch == '\n') ch = ' ';
    while (!chapters.empty() && chapters.back() == ' ') chapters.pop_back();
    EXPECT_EQ(chapters, c.Chapters);
  }
}

struct TSubtitleCase {
  std::string Source;
  const char* Output;
  const char* Options;  // as Task takes them
  const char* Codec;    // of the output's subtitle stream, "" for none
  const char* Cues;     // the cues' texts and the first one's start, as an SRT dump shows them
};

// Text subtitles go into MP4 as timed text, into Matroska and WebM as they are or as the
// container's text; a clip keeps the cues inside it, on its timeline.
TEST(ModernOutput, TextSubtitlesGoWhereTheContainerCanHoldThem) {
  const std::string srt = TaggedSource();
  const std::string movText =
      Fixture("modern_mov_text.mp4", "-i " + ShellQuote(srt) + " -map 0 -c copy -c:s mov_text");
  const std::string ass = Fixture("modern_ass.mkv", "-i " + ShellQuote(srt) + " -map 0 -c copy -c:s ass");
  const std::vector<TSubtitleCase> cases = {
      {srt, "srt.mp4", "", "mov_text", "00:00:00,5 Hello World"},
      {srt, "srt.mkv", "", "subrip", "00:00:00,5 Hello World"},
      {srt, "srt.webm", "-o vcodec=libvpx-vp9 -o deadline=realtime -o cpu-used=8", "webvtt",
       "00:00:00,5 Hello World"},
      {movText, "mov_text.mkv", "", "ass", "00:00:00,5 Hello World"},
      {ass, "ass.mp4", "", "mov_text", "00:00:00,5 Hello World"},
      {srt, "clip.mp4", "-i ss=1.1 @ -o t=2.5", "mov_text", "00:00:01,4 World"},
      {srt, "clip.mkv", "-i ss=2.7 @ -o t=1", "subrip", "00:00:00,0 World"},
      {srt, "none.mkv", "-o sn=1", "", ""},
  };
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(ConvertCases(
      cases, [](const TSubtitleCase& c) { return c.Source; }, "-o preset=ultrafast", dir));
  for (const TSubtitleCase& c : cases) {
    SCOPED_TRACE(c.Output);
    EXPECT_EQ(ProbeValue(dir / c.Output, "stream=codec_name", "s"), c.Codec);
    if (*c.Codec == 0) continue;
    EXPECT_EQ(ProbeValue(dir / c.Output, "stream_tags=language", "s"), "eng");
    // "00:00:00,523 --> ..." lines and texts: the first start to a tenth, then the texts.
    const std::string dump =
        RunCommand("ffmpeg -v error -i " + ShellQuote(dir / c.Output) + " -map 0:s -f srt -").output;
    std::string cues;
    size_t pos = 0;
    for (size_t end; (end = dump.find('\n', pos)) != std::string::npos; pos = end + 1) {
      const std::string text = dump.substr(pos, end - pos);
      if (text.find(" --> ") != std::string::npos) {
        if (cues.empty()) cues = text.substr(0, 10);
      } else if (!text.empty() && !std::isdigit(static_cast<unsigned char>(text[0]))) {
        cues += " " + text;
      }
    }
    EXPECT_EQ(cues, c.Cues) << dump;
  }
}

struct TPacket {
  std::string Size, Flags;
  double Pts;
};

// The video packets of `file` in stored order.
std::vector<TPacket> VideoPackets(const std::string& file) {
  const std::string lines = RunCommand(
                                "ffprobe -v error -select_streams v -show_entries packet=pts_time,size,flags "
                                "-of csv=p=0 " +
                                ShellQuote(file))
                                .output;
  std::vector<TPacket> packets;
  size_t pos = 0;
  for (size_t end; (end = lines.find('\n', pos)) != std::string::npos; pos = end + 1) {
    const std::string line = lines.substr(pos, end - pos);
    const size_t a = line.find(','), b = line.find(',', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    packets.push_back(
        {line.substr(a + 1, b - a - 1), line.substr(b + 1, 1), std::atof(line.substr(0, a).c_str())});
  }
  return packets;
}

struct TRemuxCase {
  std::string Source;
  const char* Output;
  const char* Options;  // as Task takes them
  int FirstKey;         // the source's key frame (second) the output starts at
  double End;           // the clip's end in the source's time, 0 for none
};

// A stream copy remuxes the video packets as they are, with their times; a clip starts at the key
// frame before its start and ends at its end.
TEST(ModernOutput, StreamCopyKeepsThePacketsAndCutsAtKeyFrames) {
  const std::string mkv = TaggedSource();
  const std::string mp4 =
      Fixture("modern_mov_text.mp4", "-i " + ShellQuote(mkv) + " -map 0 -c copy -c:s mov_text");
  const std::vector<TRemuxCase> cases = {
      {mkv, "remux.mp4", "", 0, 0},
      {mp4, "remux.mkv", "", 0, 0},
      {mkv, "cut.mp4", "-i ss=1.5 @ -o t=1", 1, 2.5},
      {mp4, "cut.mkv", "-i ss=2.2 @ -o t=1", 2, 3.2},
  };
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(ConvertCases(
      cases, [](const TRemuxCase& c) { return c.Source; }, "-o vcodec=copy -o acodec=copy", dir));
  for (const TRemuxCase& c : cases) {
    SCOPED_TRACE(c.Output);
    const std::vector<TPacket> in = VideoPackets(c.Source), out = VideoPackets(dir / c.Output);
    // 25 pictures a second, a key frame each second.
    const size_t first = size_t(c.FirstKey) * 25;
    ASSERT_GT(in.size(), first);
    ASSERT_FALSE(out.empty());
    const size_t expected = c.End == 0 ? in.size() - first : size_t((c.End - c.FirstKey) * 25);
    // The pictures reordered around the end come along.
    EXPECT_NEAR(double(out.size()), double(expected), 3.0);
    for (size_t i = 0; i < out.size() && first + i < in.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(out[i].Size, in[first + i].Size);
      EXPECT_EQ(out[i].Flags, in[first + i].Flags);
      EXPECT_NEAR(out[i].Pts - out[0].Pts, in[first + i].Pts - in[first].Pts, 0.0015);
    }
  }
}

}  // namespace
}  // namespace ok::test
