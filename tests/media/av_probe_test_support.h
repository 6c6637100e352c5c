#pragma once
// What the probe tests share: the clips they read, reference frames and the fixture.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "media/av_probe.h"
#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "platform/code_page.h"
#include "support/test_support.h"

namespace ok {
namespace fs = std::filesystem;
using test::Fixture;
using test::ProbeValue;
using test::TempDir;

constexpr int64_t Second = 1000000;
constexpr int64_t FrameTime = 40000;  // 25 frames per second

// 160x120, 2 s, audio stream first, tagged.
inline std::string AudioFirstClip() {
  return Fixture("probe_audio_first.mp4",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                 "-map 1:a -map 0:v -c:v mpeg4 -c:a aac -metadata title=Probe -metadata artist=Someone "
                 "-metadata date=2010-05-01 -metadata track=3/12 -metadata album=Album -metadata genre=Test "
                 "-metadata comment=Note -metadata creation_time=2010-05-01T12:00:00Z");
}

// 50 grey frames whose brightness tells the frame number (16 + 4 N in luma), keyframes every
// `gop` frames, `bframes` B-frames (so the decoder holds frames back).
inline std::string RampClip(int gop, int bframes) {
  return Fixture("probe_ramp_g" + std::to_string(gop) + "_b" + std::to_string(bframes) + ".mp4",
                 "-f lavfi -i \"color=c=black:size=160x120:rate=25:duration=2,format=yuv420p,"
                 "geq=lum=16+4*N:cb=128:cr=128\" -c:v mpeg4 -q:v 2 -sc_threshold 1000000000 -g " +
                     std::to_string(gop) + " -bf " + std::to_string(bframes));
}

// The frame number a ramp frame shows; its middle pixel's blue is 4 N * 255/219.
inline int RampFrame(const TBitmap& b) {
  if (b.IsEmpty()) return -1;
  return int(std::lround(b.ScanLine(b.Height() / 2)[3 * (b.Width() / 2)] / (4.0 * 255 / 219)));
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The first frame as the ffmpeg tool decodes it to bgr24, rows packed.
inline std::vector<uint8_t> ReferenceFrame(const std::string& file) {
  TempDir dir;
  test::CommandResult r =
      test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(file) +
                       " -frames:v 1 -f rawvideo -pix_fmt bgr24 " + test::ShellQuote(dir / "f.raw"));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadAll(dir / "f.raw");
}

inline bool IsBlack(const TBitmap& b) {
  for (size_t i = 0; i < b.DataSize(); ++i)
    if (b.Data()[i] != 0) return false;
  return true;
}

inline void ExpectClosed(const TCustomAVProbe& p) {
  EXPECT_EQ(p.Context(), nullptr);
  EXPECT_EQ(p.StreamCount(), -1);
  EXPECT_EQ(p.ProgramCount(), -1);
  EXPECT_EQ(p.AudioStreamCount(), -1);
  EXPECT_EQ(p.VideoStreamCount(), -1);
  EXPECT_EQ(p.SubtitleStreamCount(), -1);
  EXPECT_EQ(p.FirstAudioStream(), -1);
  EXPECT_EQ(p.FirstVideoStream(), -1);
  EXPECT_EQ(p.FirstSubtitleStream(), -1);
}

class AVProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg(); }
};

}  // namespace ok
