#include "media/av_probe.h"

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

#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "platform/code_page.h"
#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;
using test::Fixture;
using test::ProbeValue;
using test::TempDir;

constexpr int64_t Second = 1000000;
constexpr int64_t FrameTime = 40000;  // 25 frames per second

// 160x120, 2 s, audio stream first, tagged.
std::string AudioFirstClip() {
  return Fixture("probe_audio_first.mp4",
                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=duration=2 "
                 "-map 1:a -map 0:v -c:v mpeg4 -c:a aac -metadata title=Probe -metadata artist=Someone "
                 "-metadata date=2010-05-01 -metadata track=3/12 -metadata album=Album -metadata genre=Test "
                 "-metadata comment=Note -metadata creation_time=2010-05-01T12:00:00Z");
}

// 50 grey frames whose brightness tells the frame number (16 + 4 N in luma), keyframes every
// `gop` frames, `bframes` B-frames (so the decoder holds frames back).
std::string RampClip(int gop, int bframes) {
  return Fixture("probe_ramp_g" + std::to_string(gop) + "_b" + std::to_string(bframes) + ".mp4",
                 "-f lavfi -i \"color=c=black:size=160x120:rate=25:duration=2,format=yuv420p,"
                 "geq=lum=16+4*N:cb=128:cr=128\" -c:v mpeg4 -q:v 2 -sc_threshold 1000000000 -g " +
                     std::to_string(gop) + " -bf " + std::to_string(bframes));
}

// The frame number a ramp frame shows; its middle pixel's blue is 4 N * 255/219.
int RampFrame(const TBitmap& b) {
  if (b.IsEmpty()) return -1;
  return int(std::lround(b.ScanLine(b.Height() / 2)[3 * (b.Width() / 2)] / (4.0 * 255 / 219)));
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The first frame as the ffmpeg tool decodes it to bgr24, rows packed.
std::vector<uint8_t> ReferenceFrame(const std::string& file) {
  TempDir dir;
  test::CommandResult r =
      test::RunCommand("ffmpeg -v error -i " + test::ShellQuote(file) +
                       " -frames:v 1 -f rawvideo -pix_fmt bgr24 " + test::ShellQuote(dir / "f.raw"));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadAll(dir / "f.raw");
}

bool IsBlack(const TBitmap& b) {
  for (size_t i = 0; i < b.DataSize(); ++i)
    if (b.Data()[i] != 0) return false;
  return true;
}

void ExpectClosed(const TCustomAVProbe& p) {
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

// ---------------------------------------------------------------------------------------------
// Opening, counting, describing

TEST_F(AVProbeTest, CountsStreamsWithAudioFirstAndResetsOnClose) {
  TAVProbe p;
  ExpectClosed(p);
  ASSERT_TRUE(p.LoadFile(AudioFirstClip())) << p.ErrorMessage();
  EXPECT_TRUE(p.OwnsContext());
  EXPECT_EQ(p.StreamCount(), 2);
  EXPECT_EQ(p.ProgramCount(), 0);
  EXPECT_EQ(p.AudioStreamCount(), 1);
  EXPECT_EQ(p.VideoStreamCount(), 1);
  EXPECT_EQ(p.SubtitleStreamCount(), 0);
  EXPECT_EQ(p.FirstAudioStream(), 0);
  EXPECT_EQ(p.FirstVideoStream(), 1);
  EXPECT_EQ(p.FirstSubtitleStream(), -1);
  EXPECT_EQ(p.FormatName(), "");
  EXPECT_EQ(p.GetFileName(), AudioFirstClip());
  EXPECT_EQ(p.GetFormatName(), "mov,mp4,m4a,3gp,3g2,mj2");

  p.CloseFile();
  ExpectClosed(p);
  EXPECT_EQ(p.GetFileName(), "");
  EXPECT_EQ(p.ErrorMessage(), "file not loaded.");
}

TEST_F(AVProbeTest, FileInformationAgreesWithFfprobe) {
  const std::string file = AudioFirstClip();
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(file, "mp4"));
  EXPECT_EQ(p.FormatName(), "mp4");
  TFileStreamInfo info;
  ASSERT_TRUE(p.GetFileStreamInfo(info));
  EXPECT_NEAR(double(info.Duration), std::stod(ProbeValue(file, "format=duration")) * 1e6, 1.0);
  EXPECT_NEAR(double(info.StartTime), std::stod(ProbeValue(file, "format=start_time")) * 1e6, 1.0);
  EXPECT_EQ(info.BitRate, std::stoi(ProbeValue(file, "format=bit_rate")));
  EXPECT_EQ(info.Timestamp, int64_t(1272715200) * Second);  // 2010-05-01 12:00:00 UTC
  EXPECT_EQ(info.Year, 2010);
  EXPECT_EQ(info.Track, 3);
  EXPECT_EQ(info.Title, ProbeValue(file, "format_tags=title"));
  EXPECT_EQ(info.Title, "Probe");
  EXPECT_EQ(info.Author, "Someone");  // stored as "artist"
  EXPECT_EQ(info.Album, "Album");
  EXPECT_EQ(info.Genre, "Test");
  EXPECT_EQ(info.Comment, ProbeValue(file, "format_tags=comment"));
  EXPECT_EQ(info.Copyright, "");

  p.CloseFile();
  EXPECT_FALSE(p.GetFileStreamInfo(info));
  EXPECT_EQ(info.StartTime, -1);
  EXPECT_EQ(info.Duration, -1);
  EXPECT_EQ(info.BitRate, -1);
  EXPECT_EQ(info.Timestamp, -1);
  EXPECT_EQ(info.Year, -1);
  EXPECT_EQ(info.Track, -1);
  EXPECT_EQ(info.Title, "");
  EXPECT_EQ(p.ErrorMessage(), "file not loaded.");
}

TEST_F(AVProbeTest, StartTimeOfAnInputThatDoesNotStartAtZero) {
  const std::string samples = test::SamplesDir();
  if (samples.empty()) GTEST_SKIP() << "no media samples";
  const std::string file = samples + "/sample.vob";
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(file)) << p.ErrorMessage();
  TFileStreamInfo info;
  ASSERT_TRUE(p.GetFileStreamInfo(info));
  EXPECT_GT(info.StartTime, 0);
  EXPECT_NEAR(double(info.StartTime), std::stod(ProbeValue(file, "format=start_time")) * 1e6, 1.0);
  EXPECT_NEAR(double(info.Duration), std::stod(ProbeValue(file, "format=duration")) * 1e6, 1.0);
  // The frame at time 0 is the first one although the stream starts later.
  p.GetFrameBitmap(-1, 0);
  EXPECT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_GE(p.LastPTS(), 0);
  EXPECT_LT(p.LastPTS(), 100000);
}

TEST_F(AVProbeTest, OpenFailuresReportTheirTextsAndLeaveTheProbeClosed) {
  TempDir dir;
  TAVProbe p;

  const std::string missing = dir / "missing.mp4";
  EXPECT_FALSE(p.LoadFile(missing));
  EXPECT_EQ(p.ErrorMessage(), missing + ": no such file or directory");
  ExpectClosed(p);

  const std::string empty = dir / "empty.mp4";
  std::ofstream(empty).close();
  EXPECT_FALSE(p.LoadFile(empty));
  EXPECT_EQ(p.ErrorMessage(), empty + ": Unknown format");

  const std::string noise = dir / "noise.avi";
  {
    std::mt19937 gen(12345);
    std::ofstream out(noise, std::ios::binary);
    for (int i = 0; i < 20000; ++i) out.put(char(gen()));
  }
  EXPECT_FALSE(p.LoadFile(noise));
  EXPECT_EQ(p.ErrorMessage(), noise + ": Unknown format");

  // Cut short before the index that this muxer writes at the end.
  const std::string cut = dir / "cut.mp4";
  {
    std::vector<uint8_t> d = ReadAll(AudioFirstClip());
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size() / 3));
  }
  EXPECT_FALSE(p.LoadFile(cut));
  EXPECT_EQ(p.ErrorMessage(), cut + ": Unknown format");

  const std::string folder = dir / "folder.mp4";
  fs::create_directory(folder);
  EXPECT_FALSE(p.LoadFile(folder));
  EXPECT_EQ(p.ErrorMessage(), folder + ": Error while opening file");

  EXPECT_FALSE(p.LoadFile(AudioFirstClip(), "nosuchformat"));
  EXPECT_EQ(p.ErrorMessage(), "Unknown input format: nosuchformat");
  ExpectClosed(p);

  // A file the demuxer cannot read as the forced format.
  EXPECT_FALSE(p.LoadFile(empty, "mpegts"));
  EXPECT_EQ(p.ErrorMessage().rfind(empty + ": ", 0), 0u) << p.ErrorMessage();
  ExpectClosed(p);

  // A failed open also closes what was open before.
  ASSERT_TRUE(p.LoadFile(AudioFirstClip()));
  EXPECT_FALSE(p.LoadFile(missing));
  ExpectClosed(p);
}

TEST_F(AVProbeTest, UnreadableFileIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from reading";
  TempDir dir;
  const std::string file = dir / "locked.mp4";
  fs::copy_file(AudioFirstClip(), file);
  ::chmod(file.c_str(), 0);
  TAVProbe p;
  EXPECT_FALSE(p.LoadFile(file));
  EXPECT_EQ(p.ErrorMessage(), file + ": Error while opening file");
}

TEST_F(AVProbeTest, StreamInformationProbingHoldsTheCodecLock) {
  const std::string file = AudioFirstClip();
  TAVProbe p;
  std::atomic<bool> done{false};
  std::thread worker;
  {
    std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
    worker = std::thread([&] {
      p.LoadFile(file);
      done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(done) << "the probe read the streams without the codec lock";
  }
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(p.StreamCount(), 2);
}

TEST_F(AVProbeTest, UnicodeNameGoesThroughTheWideNameStream) {
  struct CodePageGuard {
    TCodePage saved = CurrentCodePage();
    ~CodePageGuard() { SetCodePage(saved); }
  } guard;
  SetCodePage(TCodePage::Cp936);

  TempDir dir;
  const std::string file = dir / "test_\xF0\x9F\x98\x80.mp4";  // U+1F600 has no CP936 form
  fs::copy_file(AudioFirstClip(), file);
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(file)) << p.ErrorMessage();
  EXPECT_TRUE(IsUnicodeIO(p.Context()->pb));
  EXPECT_EQ(p.GetFileName(), file);
  EXPECT_EQ(p.StreamCount(), 2);
  p.GetFrameBitmap(-1, Second);
  EXPECT_TRUE(p.FrameReady()) << p.ErrorMessage();
  EXPECT_EQ(p.FrameBitmap().Width(), 160);

  const std::string missing = dir / "gone_\xF0\x9F\x98\x80.mp4";
  EXPECT_FALSE(p.LoadFile(missing));
  EXPECT_EQ(p.ErrorMessage(), missing + ": no such file or directory");
}

TEST_F(AVProbeTest, AttachedContextIsDescribedButReadOnly) {
  const std::string file = AudioFirstClip();
  AVFormatContext* raw = nullptr;
  ASSERT_GE(OpenInputContext(&raw, EncodeLibFileName(file), nullptr, nullptr), 0);
  struct Closer {
    void operator()(AVFormatContext* c) const { CloseInputContext(&c); }
  };
  std::unique_ptr<AVFormatContext, Closer> owner(raw);
  ASSERT_GE(FF.avformat_find_stream_info(raw, nullptr), 0);

  {
    TAVProbe p;
    p.AttachContext(raw);
    EXPECT_FALSE(p.OwnsContext());
    EXPECT_EQ(p.Context(), raw);
    EXPECT_EQ(p.StreamCount(), 2);
    EXPECT_EQ(p.FirstVideoStream(), 1);
    EXPECT_EQ(p.GetFileName(), file);
    TFileStreamInfo info;
    EXPECT_TRUE(p.GetFileStreamInfo(info));
    EXPECT_EQ(info.Title, "Probe");
    try {
      p.GetFrameBitmap(-1, 0);
      ADD_FAILURE() << "no error raised";
    } catch (const EProbeError& e) {
      EXPECT_STREQ(e.what(), "frame cannot be read, handle is readonly.");
    }
    EXPECT_EQ(p.ErrorMessage(), "frame cannot be read, handle is readonly.");
    EXPECT_FALSE(p.FrameReady());
    p.CloseFile();
    ExpectClosed(p);
    p.AttachContext(raw);
  }  // the destructor forgets the context too

  // The context still belongs to its opener and works.
  AVPacket* pkt = FF.av_packet_alloc();
  EXPECT_GE(FF.av_read_frame(raw, pkt), 0);
  FF.av_packet_free(&pkt);
}

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

// ---------------------------------------------------------------------------------------------
// Damaged input

TEST_F(AVProbeTest, DamagedDataEndsTheReadingInsteadOfLooping) {
  TempDir dir;
  const std::string file = dir / "damaged.mp4";
  std::vector<uint8_t> d = ReadAll(RampClip(12, 2));
  std::mt19937 gen(7);
  // The index lies at the end; the frames in between are overwritten with noise.
  for (size_t i = d.size() / 5; i < d.size() * 3 / 5; ++i) d[i] = uint8_t(gen());
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));

  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(file)) << p.ErrorMessage();
  p.GetFrameBitmap(-1, 0);
  int requests = 1;
  while (p.FrameReady() && requests < 200) {
    p.GetFrameBitmap(-1, -1);
    ++requests;
  }
  EXPECT_LE(requests, 51);
  EXPECT_EQ(p.ErrorMessage(), "stream eof reached.");
  p.GetFrameBitmap(-1, 49 * FrameTime);  // must come back
  SUCCEED();
}

TEST_F(AVProbeTest, FileWithHeaderButMissingDataEndsAtItsData) {
  TempDir dir;
  const std::string file = dir / "partial.mp4";
  const std::string full =
      Fixture("probe_ramp_faststart.mp4",
              "-f lavfi -i \"color=c=black:size=160x120:rate=25:duration=2,format=yuv420p,"
              "geq=lum=16+4*N:cb=128:cr=128\" -c:v mpeg4 -q:v 2 -g 12 -movflags +faststart");
  std::vector<uint8_t> d = ReadAll(full);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size() / 2));
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(file)) << p.ErrorMessage();
  p.GetFrameBitmap(-1, 0);
  EXPECT_TRUE(p.FrameReady());
  p.GetFrameBitmap(-1, 49 * FrameTime);
  EXPECT_FALSE(p.FrameReady());
  EXPECT_EQ(p.ErrorMessage(), "stream eof reached.");
  EXPECT_TRUE(IsBlack(p.FrameBitmap()));
}

// Files made by other tools: nothing crashes, and what the ffmpeg tool can decode gives a frame.
TEST_F(AVProbeTest, TurnedPicturesAreDescribedAndShownUpright) {
  struct {
    const char* Turn;  // of TurnedClip
    int Rotation;
    bool Mirrored;
    int Width, Height;      // upright
    int RedColumn, RedRow;  // the red quadrant: 0 left or top, 1 right or bottom
  } const cases[] = {
      {"270", 90, false, 240, 320, 1, 0},
      {"180", 180, false, 320, 240, 1, 1},
      {"90", 270, false, 240, 320, 0, 1},
      {"mirror", 0, true, 320, 240, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Turn);
    TAVProbe p;
    ASSERT_TRUE(p.LoadFile(test::TurnedClip(c.Turn))) << p.ErrorMessage();
    TVideoGeometry g;
    ASSERT_TRUE(p.GetVideoGeometry(g));
    EXPECT_EQ(g.Rotation, c.Rotation);
    EXPECT_EQ(g.Mirrored, c.Mirrored);
    EXPECT_EQ(g.Width, 320);
    EXPECT_EQ(g.Height, 240);
    EXPECT_EQ(g.DisplayWidth, c.Width);
    EXPECT_EQ(g.DisplayHeight, c.Height);
    const TBitmap& b = p.GetFrameBitmap(-1, 0);
    ASSERT_EQ(b.Width(), c.Width);
    ASSERT_EQ(b.Height(), c.Height);
    const uint8_t* red =
        b.ScanLine(c.Height / 4 + c.RedRow * c.Height / 2) + 3 * (c.Width / 4 + c.RedColumn * c.Width / 2);
    EXPECT_GT(red[2], 200);  // BGR
    EXPECT_LT(red[0], 60);
  }
}

TEST_F(AVProbeTest, AStillPictureBeforeTheVideoIsPassedOver) {
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(test::StillFirstClip())) << p.ErrorMessage();
  EXPECT_EQ(p.VideoStreamCount(), 2);
  EXPECT_EQ(p.FirstVideoStream(), 1);
  TVideoGeometry g;
  ASSERT_TRUE(p.GetVideoGeometry(g));
  EXPECT_EQ(g.DisplayWidth, 320);
  EXPECT_EQ(p.GetFrameBitmap(-1, Second / 2).Width(), 320);
  EXPECT_TRUE(p.FrameReady());
}

TEST_F(AVProbeTest, SamplesFromOtherToolsAreProbed) {
  const std::string samples = test::SamplesDir();
  if (samples.empty()) GTEST_SKIP() << "no media samples";
  int withFrames = 0;
  for (const auto& entry : fs::directory_iterator(samples)) {
    const std::string file = entry.path().string();
    if (entry.path().extension() == ".md") continue;
    SCOPED_TRACE(file);
    TAVProbe p;
    if (!p.LoadFile(file)) {
      EXPECT_EQ(p.ErrorMessage().rfind(file + ": ", 0), 0u) << p.ErrorMessage();
      continue;
    }
    TFileStreamInfo info;
    EXPECT_TRUE(p.GetFileStreamInfo(info));
    if (p.VideoStreamCount() <= 0) continue;
    // The picture as shown: a stream turned a quarter shows its height as its width.
    const bool quarter = test::TurnedAQuarter(file);
    const std::string width =
        test::RunCommand(
            "ffprobe -v error -select_streams v:0 -read_intervals %+#1 "
            "-show_entries frame=" +
            std::string(quarter ? "height" : "width") + " -of csv=p=0 " + test::ShellQuote(file))
            .output;
    p.GetFrameBitmap(-1, 0);
    if (width.empty() || !std::isdigit(static_cast<unsigned char>(width[0]))) continue;
    EXPECT_TRUE(p.FrameReady()) << p.ErrorMessage();
    EXPECT_EQ(p.FrameBitmap().Width(), std::atoi(width.c_str()));
    if (p.FrameReady()) ++withFrames;
    if (info.Duration > 0) p.GetFrameBitmap(-1, info.Duration / 2);  // must come back
  }
  EXPECT_GT(withFrames, 5);
}

}  // namespace
}  // namespace ok
