// Sources whose stored pictures are not what is shown: turned by a display matrix, or led by a
// still picture before the real video. Converted with ostrelkalvexa-transcode, checked with ffprobe.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace ok::test {
namespace {

std::string RunTranscode(const std::string& arguments) {
  const std::string program = (fs::path(BuildDir()) / "ostrelkalvexa-transcode").string();
  CommandResult r = RunCommand(ShellQuote(program) + " --log-level error " + arguments);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output;
}

int ProbeNumber(const std::string& file, const std::string& entry) {
  return std::atoi(("0" + ProbeValue(file, entry, "v:0")).c_str());
}

struct TTurnCase {
  const char* Turn;       // of TurnedClip
  const char* Options;    // -i lines
  int Width, Height;      // of the output
  int RedColumn, RedRow;  // the red quadrant: 0 left or top, 1 right or bottom
};

TEST(PictureShape, TurnedSourcesComeOutUprightWithoutARotationOfTheirOwn) {
  const std::vector<TTurnCase> cases = {
      {"270", "", 240, 320, 1, 0},  // a quarter clockwise, as phones record portrait
      {"180", "", 320, 240, 1, 1},    {"90", "", 240, 320, 0, 1},
      {"mirror", "", 320, 240, 1, 0}, {"270", "-i autorotate=0", 320, 240, 0, 0},  // the picture as stored
  };
  TempDir dir;
  std::string arguments;
  for (size_t i = 0; i < cases.size(); ++i)
    arguments += std::string(" ") + cases[i].Options + " " + ShellQuote(TurnedClip(cases[i].Turn)) +
                 " -o vcodec=mpeg4 " + ShellQuote(dir / ("out" + std::to_string(i) + ".mp4"));
  // A stream copy keeps the stored pictures, and with them the turn that shows them upright.
  arguments += " " + ShellQuote(TurnedClip("270")) + " -o vcodec=copy " + ShellQuote(dir / "copy.mp4");
  RunTranscode(arguments);
  const std::string turn = ProbeValue(TurnedClip("270"), "stream_side_data=rotation", "v:0");
  EXPECT_FALSE(turn.empty());
  EXPECT_EQ(ProbeValue(dir / "copy.mp4", "stream_side_data=rotation", "v:0"), turn);
  for (size_t i = 0; i < cases.size(); ++i) {
    const TTurnCase& c = cases[i];
    const std::string out = dir / ("out" + std::to_string(i) + ".mp4");
    SCOPED_TRACE(std::string(c.Turn) + " " + c.Options);
    EXPECT_EQ(ProbeNumber(out, "stream=width"), c.Width);
    EXPECT_EQ(ProbeNumber(out, "stream=height"), c.Height);
    EXPECT_EQ(ProbeValue(out, "stream_side_data", "v:0"), "");
    const std::vector<int> red = PixelAt(out, c.Width, c.Width / 4 + c.RedColumn * c.Width / 2,
                                         c.Height / 4 + c.RedRow * c.Height / 2, dir);
    ASSERT_EQ(red.size(), 3u);
    EXPECT_GT(red[0], 200);
    EXPECT_LT(red[2], 60);
  }
}

TEST(PictureShape, AStillPictureBeforeTheVideoIsPassedOver) {
  TempDir dir;
  RunTranscode(ShellQuote(StillFirstClip()) + " -o vcodec=mpeg4 " + ShellQuote(dir / "video.mp4"));
  EXPECT_EQ(ProbeNumber(dir / "video.mp4", "stream=width"), 320);
  const std::string frames = RunCommand(
                                 "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=nb_read_frames -of csv=p=0 " +
                                 ShellQuote(dir / "video.mp4"))
                                 .output;
  EXPECT_EQ(std::atoi(frames.c_str()), 25);
}

}  // namespace
}  // namespace ok::test
