#include "media/av_probe.h"

#include <gtest/gtest.h>

#include "media/av_probe_test_support.h"

namespace ok {
namespace {

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
