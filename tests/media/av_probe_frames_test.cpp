#include <gtest/gtest.h>

#include "media/av_probe.h"
#include "media/av_probe_test_support.h"

namespace ok {
namespace {

// ---------------------------------------------------------------------------------------------
// Frames

TEST_F(AVProbeTest, FramesAtStartMiddleAndEndWithForwardSeeking) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(RampClip(12, 2)));

  TBitmap& b = p.GetFrameBitmap(-1, 0);
  ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_EQ(&b, &p.FrameBitmap());
  EXPECT_EQ(b.Width(), 160);
  EXPECT_EQ(b.Height(), 120);
  EXPECT_EQ(RampFrame(b), 0);
  EXPECT_EQ(p.LastPTS(), 0);
  EXPECT_FALSE(p.SeekBackward());
  EXPECT_EQ(p.LastTimestamp(), 0);
  EXPECT_EQ(p.LastStreamIndex(), 0);

  // Seeking forwards lands on the next keyframe (frames 0, 12, 24, 36, 48).
  p.GetFrameBitmap(-1, Second);
  ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_FALSE(p.SeekBackward());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 36);
  EXPECT_EQ(p.LastPTS(), 36 * FrameTime);

  // Past the last keyframe: the forward seek fails, the backward one finds frame 48 and decoding
  // skips to the frame asked for. The last frame only leaves the decoder when it is drained.
  p.GetFrameBitmap(-1, 49 * FrameTime);
  ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_TRUE(p.SeekBackward());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 49);
  EXPECT_EQ(p.LastPTS(), 49 * FrameTime);
  EXPECT_EQ(std::memcmp(p.GetLastFrameBitmap().Data(), p.FrameBitmap().Data(), b.DataSize()), 0);
}

TEST_F(AVProbeTest, ReadsEveryFrameInOrderWithoutTimes) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(RampClip(12, 2)));
  int frames = 0;
  for (int n = 0; n < 60; ++n) {
    p.GetFrameBitmap(-1, -1);
    if (!p.FrameReady()) break;
    EXPECT_EQ(RampFrame(p.FrameBitmap()), n);
    EXPECT_EQ(p.LastPTS(), n * FrameTime);
    ++frames;
  }
  EXPECT_EQ(frames, 50);
  EXPECT_EQ(p.ErrorMessage(), "stream eof reached.");
  EXPECT_TRUE(p.EndOfStream());
}

TEST_F(AVProbeTest, BackwardFallbackDecodesOnwardsAndSeeksAgainForEarlierTimes) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(RampClip(50, 0)));  // one keyframe: every forward seek fails

  p.GetFrameBitmap(-1, Second);
  ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_TRUE(p.SeekBackward());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 25);
  EXPECT_EQ(p.LastPTS(), Second);

  // Later on the same stream: no seek back to the keyframe, only the five frames between are read.
  const int64_t before = p.PacketsRead();
  p.GetFrameBitmap(-1, 30 * FrameTime);
  ASSERT_TRUE(p.FrameReady());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 30);
  EXPECT_LE(p.PacketsRead() - before, 6);

  // Earlier: seek again.
  p.GetFrameBitmap(-1, 10 * FrameTime);
  ASSERT_TRUE(p.FrameReady());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 10);
  EXPECT_EQ(p.LastPTS(), 10 * FrameTime);
}

TEST_F(AVProbeTest, TimesPastTheOnlyKeyframeFallBackWhenTheForwardSeekFindsNothing) {
  // These demuxers' forward seek past the last keyframe "succeeds" at the end of the file.
  for (const char* container : {"flv", "ts"}) {
    SCOPED_TRACE(container);
    const std::string codec = std::string(container) == "flv" ? "flv" : "mpeg4";
    TAVProbe p;
    ASSERT_TRUE(
        p.LoadFile(Fixture(std::string("probe_one_key.") + container,
                           "-f lavfi -i \"color=c=black:size=160x120:rate=25:duration=2,format=yuv420p,"
                           "geq=lum=16+4*N:cb=128:cr=128\" -c:v " +
                               codec + " -q:v 2 -g 1000 -bf 0")));
    p.GetFrameBitmap(-1, Second / 2);
    ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
    EXPECT_NEAR(RampFrame(p.FrameBitmap()), 13, 1);
    // Past the last frame's start but inside its display time: that frame.
    p.GetFrameBitmap(-1, 1990000);
    ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
    EXPECT_NEAR(RampFrame(p.FrameBitmap()), 49, 1);
  }
}

TEST_F(AVProbeTest, SameRequestTwiceIsAnsweredFromTheCache) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(RampClip(50, 0)));
  p.GetFrameBitmap(-1, 20 * FrameTime);
  ASSERT_TRUE(p.FrameReady());
  const std::vector<uint8_t> first(p.FrameBitmap().Data(),
                                   p.FrameBitmap().Data() + p.FrameBitmap().DataSize());
  const int64_t read = p.PacketsRead();
  ASSERT_GT(read, 0);

  p.FrameBitmap().FillBlack();  // a caller may draw on the returned bitmap
  p.GetFrameBitmap(-1, 20 * FrameTime);
  EXPECT_TRUE(p.FrameReady());
  EXPECT_EQ(p.PacketsRead(), read);
  ASSERT_EQ(p.FrameBitmap().DataSize(), first.size());
  EXPECT_EQ(std::memcmp(p.FrameBitmap().Data(), first.data(), first.size()), 0);

  // -1 names the first video stream: the same request again.
  p.GetFrameBitmap(0, 20 * FrameTime);
  EXPECT_TRUE(p.FrameReady());
  EXPECT_EQ(p.PacketsRead(), read);

  // Another time is another request.
  p.GetFrameBitmap(0, 21 * FrameTime);
  EXPECT_TRUE(p.FrameReady());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 21);
  EXPECT_GT(p.PacketsRead(), read);
}

TEST_F(AVProbeTest, RequestPastTheEndGivesBlackAndIsAnsweredAgainWithoutReading) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(RampClip(12, 2)));
  TBitmap& b = p.GetFrameBitmap(-1, 10 * Second);
  EXPECT_FALSE(p.FrameReady());
  EXPECT_TRUE(p.EndOfStream());
  EXPECT_EQ(p.ErrorMessage(), "stream eof reached.");
  EXPECT_EQ(b.Width(), 160);
  EXPECT_EQ(b.Height(), 120);
  EXPECT_TRUE(IsBlack(b));
  EXPECT_EQ(p.LastTimestamp(), 10 * Second);

  const int64_t read = p.PacketsRead();
  p.GetFrameBitmap(-1, 10 * Second);
  EXPECT_FALSE(p.FrameReady());
  EXPECT_EQ(p.ErrorMessage(), "stream eof reached.");
  EXPECT_EQ(p.PacketsRead(), read);
  EXPECT_TRUE(IsBlack(p.FrameBitmap()));

  // The file is still usable afterwards.
  p.GetFrameBitmap(-1, 0);
  EXPECT_TRUE(p.FrameReady());
  EXPECT_FALSE(p.EndOfStream());
  EXPECT_EQ(RampFrame(p.FrameBitmap()), 0);
}

TEST_F(AVProbeTest, SolidColourArrivesAsBgr) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(Fixture(
      "probe_solid.mp4", "-f lavfi -i color=c=0x2040C0:size=160x120:rate=25:duration=1 -c:v mpeg4 -q:v 2")));
  const TBitmap& b = p.GetFrameBitmap(-1, 0);
  ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
  for (int y : {0, 60, 119})
    for (int x : {0, 80, 159}) {
      const uint8_t* px = b.ScanLine(y) + 3 * x;
      EXPECT_NEAR(px[0], 0xC0, 6) << x << "," << y;
      EXPECT_NEAR(px[1], 0x40, 6) << x << "," << y;
      EXPECT_NEAR(px[2], 0x20, 6) << x << "," << y;
    }
}

TEST_F(AVProbeTest, BgrInputOfEvenSizeIsCopiedDirectlyAndExactly) {
  const std::string file =
      Fixture("probe_bgr_even.nut",
              "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v rawvideo -pix_fmt bgr24");
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(file));
  const TBitmap& b = p.GetFrameBitmap(-1, 0);
  ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_EQ(p.RGBBufferSize(), 0) << "the picture went through the conversion";
  const std::vector<uint8_t> ref = ReferenceFrame(file);
  ASSERT_EQ(ref.size(), size_t(160 * 120 * 3));
  for (int y = 0; y < 120; ++y)
    ASSERT_EQ(std::memcmp(b.ScanLine(y), &ref[size_t(y) * 480], 480), 0) << "row " << y;
}

TEST_F(AVProbeTest, OddSizeGoesThroughTheConversion) {
  for (const char* codec : {"rawvideo -pix_fmt bgr24", "ffv1 -pix_fmt bgr0"}) {
    SCOPED_TRACE(codec);
    const std::string name = std::string("probe_odd_") + (codec[0] == 'r' ? "raw" : "ffv1") + ".nut";
    const std::string file =
        Fixture(name, std::string("-f lavfi -i testsrc=size=161x121:rate=25:duration=1 -c:v ") + codec);
    TAVProbe p;
    ASSERT_TRUE(p.LoadFile(file));
    const TBitmap& b = p.GetFrameBitmap(-1, 0);
    ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
    ASSERT_EQ(b.Width(), 161);
    ASSERT_EQ(b.Height(), 121);
    EXPECT_EQ(b.RowSize(), 484);
    EXPECT_GE(p.RGBBufferSize(), 161 * 121 * 3);
    const std::vector<uint8_t> ref = ReferenceFrame(file);
    ASSERT_EQ(ref.size(), size_t(161 * 121 * 3));
    for (int y = 0; y < 121; ++y)
      ASSERT_EQ(std::memcmp(b.ScanLine(y), &ref[size_t(y) * 483], 483), 0) << "row " << y;
    // The padding bytes stay black.
    EXPECT_EQ(b.ScanLine(5)[483], 0);
  }
}

TEST_F(AVProbeTest, StillImageIsDecodedOnce) {
  const std::string png =
      Fixture("probe_still.png", "-f lavfi -i testsrc=size=64x48:rate=1:duration=1 -frames:v 1");
  const std::string jpg =
      Fixture("probe_still.jpg", "-f lavfi -i testsrc=size=64x48:rate=1:duration=1 -frames:v 1");
  for (const auto& [file, format] : {std::pair{png, ""}, std::pair{jpg, ""}, std::pair{jpg, "image2"}}) {
    SCOPED_TRACE(file + " " + format);
    TAVProbe p;
    ASSERT_TRUE(p.LoadFile(file, format)) << p.ErrorMessage();
    EXPECT_EQ(p.GetFormatName(), "image2");
    EXPECT_TRUE(p.Seek(-1, true, 3 * Second));
    EXPECT_FALSE(p.SeekBackward());

    p.GetFrameBitmap(-1, 0);
    ASSERT_TRUE(p.FrameReady()) << p.ErrorMessage();
    EXPECT_TRUE(p.IsImage2());
    EXPECT_EQ(p.FrameBitmap().Width(), 64);
    const std::vector<uint8_t> first(p.FrameBitmap().Data(),
                                     p.FrameBitmap().Data() + p.FrameBitmap().DataSize());
    const int64_t read = p.PacketsRead();

    for (int64_t t : {int64_t(5) * Second, int64_t(-1), int64_t(0)}) {
      p.GetFrameBitmap(-1, t);
      EXPECT_TRUE(p.FrameReady()) << "time " << t;
      EXPECT_EQ(p.PacketsRead(), read);
      ASSERT_EQ(p.FrameBitmap().DataSize(), first.size());
      EXPECT_EQ(std::memcmp(p.FrameBitmap().Data(), first.data(), first.size()), 0);
    }
  }
}

TEST_F(AVProbeTest, ArgumentFailuresEmptyTheBitmap) {
  TAVProbe p;
  p.GetFrameBitmap(-1, 0);
  EXPECT_EQ(p.ErrorMessage(), "file not loaded.");
  EXPECT_FALSE(p.FrameReady());
  EXPECT_FALSE(p.Seek(-1, true, 0));

  ASSERT_TRUE(p.LoadFile(AudioFirstClip()));
  p.GetFrameBitmap(-1, 0);
  ASSERT_TRUE(p.FrameReady());
  ASSERT_FALSE(p.FrameBitmap().IsEmpty());

  p.GetFrameBitmap(2, 0);
  EXPECT_EQ(p.ErrorMessage(), "stream index #2 is invalid.");
  EXPECT_TRUE(p.FrameBitmap().IsEmpty());
  EXPECT_FALSE(p.FrameReady());

  p.GetFrameBitmap(0, 0);
  EXPECT_EQ(p.ErrorMessage(), "stream #0 is not video stream.");
  EXPECT_TRUE(p.FrameBitmap().IsEmpty());

  EXPECT_FALSE(p.Seek(7, true, Second));
  EXPECT_EQ(p.ErrorMessage(), "stream index #7 is invalid.");
  EXPECT_TRUE(p.Seek(-1, true, Second));
  EXPECT_TRUE(p.Seek(0, false, Second / 2));  // the audio stream

  ASSERT_TRUE(p.LoadFile(Fixture("probe_tone.m4a", "-f lavfi -i sine=duration=1 -c:a aac")));
  p.GetFrameBitmap(-1, 0);
  EXPECT_EQ(p.ErrorMessage(), "no video stream.");
  EXPECT_TRUE(p.FrameBitmap().IsEmpty());
  EXPECT_TRUE(p.Seek(-1, true, 0)) << "the whole file falls back to the audio stream";
}

TEST_F(AVProbeTest, ClosingForgetsFramesAndDecoder) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(
      Fixture("probe_odd_raw.nut",
              "-f lavfi -i testsrc=size=161x121:rate=25:duration=1 -c:v rawvideo -pix_fmt bgr24")));
  p.GetFrameBitmap(-1, 0);
  ASSERT_TRUE(p.FrameReady());
  EXPECT_NE(p.DecoderContext(), nullptr);
  EXPECT_GT(p.RGBBufferSize(), 0);
  p.CloseFile();
  EXPECT_EQ(p.DecoderContext(), nullptr);
  EXPECT_EQ(p.RGBBufferSize(), 0);
  EXPECT_FALSE(p.FrameReady());
  EXPECT_FALSE(p.IsImage2());
  EXPECT_EQ(p.LastTimestamp(), -1);
  EXPECT_EQ(p.LastStreamIndex(), -1);
  EXPECT_EQ(p.LastPTS(), -1);
  EXPECT_TRUE(p.FrameBitmap().IsEmpty());
  EXPECT_TRUE(p.GetLastFrameBitmap().IsEmpty());
  ExpectClosed(p);
}

}  // namespace
}  // namespace ok
