// What outputs for today's players get from ostrelkalvexa-transcode: the encoders' own quality and
// speed options, the source's title, date, chapters and text subtitles, and remuxing by stream copy.
// Checked with ffprobe.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace ok::test {
namespace {

std::string Program() { return (fs::path(BuildDir()) / "ostrelkalvexa-transcode").string(); }

CommandResult RunTranscode(const std::string& arguments) {
  return RunCommand(ShellQuote(Program()) + " --log-level error " + arguments);
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

}  // namespace
}  // namespace ok::test
