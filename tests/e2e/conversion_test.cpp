// Real conversions through one engine instance, run on the test's thread, each output checked with
// ffprobe (and, where pixels matter, decoded with the ffmpeg tool).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/custom_ffmpeg.h"
#include "media/ff_loader.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

using TOptions = std::vector<std::pair<std::string, std::string>>;

// Two seconds of a moving test picture and a tone: enough for every container, short for CI.
std::string Source() {
  return Fixture("e2e_source.mkv",
                 "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                 "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 "
                 "-c:v mpeg4 -q:v 3 -c:a pcm_s16le");
}

std::string HdSource() {
  return Fixture("e2e_hd.mkv",
                 "-f lavfi -i smptebars=size=1280x720:rate=25:duration=1 "
                 "-f lavfi -i sine=duration=1 -c:v mpeg4 -q:v 4 -c:a pcm_s16le");
}

struct TResult {
  std::string Error;  // "" when the conversion finished
  bool Finished = false;
  std::vector<std::pair<int, std::string>> Log;
  bool Logged(const std::string& prefix) const {
    for (const auto& [level, text] : Log)
      if (text.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }
};

// One task: the input options, the input, the output options, the output; `configure` runs last
// before the conversion (handlers, stop requests).
TResult Convert(const std::string& input, const TOptions& inputOptions, const std::string& output,
                const TOptions& outputOptions,
                const std::function<void(TCustomFFmpeg&)>& configure = nullptr) {
  TResult result;
  TCustomFFmpeg engine;
  engine.ResetOptions();
  engine.OnLog = [&result](int level, const std::string& text) { result.Log.emplace_back(level, text); };
  try {
    for (const auto& [name, value] : inputOptions) engine.ApplyOption(name, value);
    engine.OpenInputFile(input);
    for (const auto& [name, value] : outputOptions) engine.ApplyOption(name, value);
    engine.OpenOutput(output);
    if (configure) configure(engine);
    engine.Transcode();
    result.Finished = engine.Finished;
  } catch (const std::exception& e) {
    result.Error = e.what();
  }
  return result;
}

double Number(const std::string& text) {
  try {
    return std::stod(text);
  } catch (...) {
    return -1;
  }
}

// A stream's duration in seconds; the container's when the stream does not say.
double Duration(const std::string& file, const std::string& stream) {
  double d = Number(ProbeValue(file, "stream=duration", stream));
  return d > 0 ? d : Number(ProbeValue(file, "format=duration"));
}

// Frames and samples really in the file, counted by decoding.
int CountFrames(const std::string& file) {
  return int(Number(ProbeValue(file, "stream=nb_read_frames", "v:0 -count_frames")));
}

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg(); }
  TempDir dir;
};

struct TContainerCase {
  const char* Name;
  const char* Extension;
  TOptions Options;
  const char* Format;  // what ffprobe names the container (a prefix of format_name)
  const char* Video;   // codec names
  const char* Audio;
  int Width, Height;
  int SampleRate, Channels;
  double FrameRate;
};

void PrintTo(const TContainerCase& c, std::ostream* os) { *os << c.Name; }

// With one thread and with one per core.
const std::string threadCounts[] = {"1", "0"};

class Containers : public ConversionTest,
                   public ::testing::WithParamInterface<std::tuple<TContainerCase, std::string>> {};

TEST_P(Containers, ConvertWithTheAskedStreamsAndDuration) {
  const TContainerCase& c = std::get<0>(GetParam());
  const std::string out = dir / (std::string("out.") + c.Extension);
  TOptions options = c.Options;
  options.emplace_back("threads", std::get<1>(GetParam()));
  TResult r = Convert(Source(), {}, out, options);
  ASSERT_EQ(r.Error, "");
  EXPECT_TRUE(r.Finished);
  EXPECT_EQ(ProbeValue(out, "format=format_name").rfind(c.Format, 0), 0u)
      << ProbeValue(out, "format=format_name");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), c.Video);
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), std::to_string(c.Width));
  EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), std::to_string(c.Height));
  const std::string rate = ProbeValue(out, "stream=r_frame_rate", "v:0");
  const auto slash = rate.find('/');
  ASSERT_NE(slash, std::string::npos) << rate;
  EXPECT_NEAR(Number(rate.substr(0, slash)) / Number(rate.substr(slash + 1)), c.FrameRate, 0.01);
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), c.Audio);
  EXPECT_EQ(ProbeValue(out, "stream=sample_rate", "a:0"), std::to_string(c.SampleRate));
  EXPECT_EQ(ProbeValue(out, "stream=channels", "a:0"), std::to_string(c.Channels));
  EXPECT_NEAR(CountFrames(out), 2.0 * c.FrameRate, 1);
  // Some containers only know the whole file's duration, which includes the audio encoder's
  // priming and padding (the ffmpeg tool's own output is as long).
  EXPECT_NEAR(Duration(out, "a:0"), 2.0, 0.06);
}

// clang-format off
const TContainerCase containerCases[] = {
    {"mp4", "mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, "mov,mp4", "mpeg4", "aac", 320, 240, 44100, 2, 25},
    {"3gp", "3gp", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, "mov,mp4", "mpeg4", "aac", 320, 240, 44100, 2, 25},
    {"3gp_h263", "3gp", {{"vcodec", "h263"}, {"s", "176x144"}, {"acodec", "aac"}, {"ar", "8000"}, {"ac", "1"}},
     "mov,mp4", "h263", "aac", 176, 144, 8000, 1, 25},
    {"mov", "mov", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, "mov,mp4", "mpeg4", "aac", 320, 240, 44100, 2, 25},
    {"avi", "avi", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, "avi", "mpeg4", "aac", 320, 240, 44100, 2, 25},
    {"avi_mp3", "avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, "avi", "mpeg4", "mp3", 320, 240, 44100, 2, 25},
    {"wmv", "wmv", {{"vcodec", "wmv2"}, {"acodec", "wmav2"}}, "asf", "wmv2", "wmav2", 320, 240, 44100, 2, 25},
    {"flv", "flv", {{"vcodec", "flv"}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, "flv", "flv1", "mp3", 320, 240,
     22050, 2, 25},
    {"mkv", "mkv", {{"vcodec", "libx264"}, {"acodec", "libmp3lame"}}, "matroska", "h264", "mp3", 320, 240, 44100, 2, 25},
    {"rm_rv10", "rm", {{"vcodec", "rv10"}, {"acodec", "ac3"}}, "rm", "rv10", "ac3", 320, 240, 44100, 2, 25},
    {"rm_rv20", "rm", {{"vcodec", "rv20"}, {"acodec", "ac3"}}, "rm", "rv20", "ac3", 320, 240, 44100, 2, 25},
    {"mpeg", "mpeg", {{"vcodec", "mpeg4"}, {"acodec", "ac3"}}, "mpeg", "mpeg4", "ac3", 320, 240, 44100, 2, 25},
    {"ogg", "ogg", {{"vcodec", "libtheora"}, {"acodec", "flac"}}, "ogg", "theora", "flac", 320, 240, 44100, 2, 25},
    {"psp", "mp4", {{"f", "psp"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}}, "mov,mp4", "mpeg4", "aac", 320, 240, 44100,
     2, 25},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Offered, Containers,
                         ::testing::Combine(::testing::ValuesIn(containerCases),
                                            ::testing::ValuesIn(threadCounts)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) + "_threads" +
                                  std::get<1>(info.param);
                         });

struct TTargetCase {
  const char* Target;
  const char* Extension;
  const char* Video;
  int Width, Height;
};

void PrintTo(const TTargetCase& c, std::ostream* os) { *os << c.Target; }

class Targets : public ConversionTest, public ::testing::WithParamInterface<TTargetCase> {};

TEST_P(Targets, SetFormatCodecsAndSizes) {
  const TTargetCase& c = GetParam();
  const std::string out = dir / (std::string("target.") + c.Extension);
  TResult r = Convert(Source(), {}, out, {{"target", std::string("pal-") + c.Target}});
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), c.Video);
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), std::to_string(c.Width));
  EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), std::to_string(c.Height));
  EXPECT_NE(ProbeValue(out, "stream=codec_name", "a:0"), "");
  EXPECT_NEAR(Duration(out, "v:0"), 2.0, 0.05);
}

const TTargetCase targetCases[] = {
    {"vcd", "mpg", "mpeg1video", 352, 288}, {"svcd", "mpg", "mpeg2video", 480, 576},
    {"dvd", "mpg", "mpeg2video", 720, 576}, {"dv", "dv", "dvvideo", 720, 576},
    {"dv50", "dv", "dvvideo", 720, 576},
};

INSTANTIATE_TEST_SUITE_P(Presets, Targets, ::testing::ValuesIn(targetCases),
                         [](const auto& info) { return std::string(info.param.Target); });

// A DVD-like source: MPEG-2 video with 5.1 AC-3.
std::string SurroundSource() {
  return Fixture(
      "e2e_surround.mpg",
      "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 "
      "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -af aformat=channel_layouts=5.1 "
      "-c:v mpeg2video -c:a ac3");
}

struct TSurroundCase {
  const char* Name;
  const char* Extension;
  TOptions Options;
  const char* Audio;
  int Channels;
};

void PrintTo(const TSurroundCase& c, std::ostream* os) { *os << c.Name; }

class SurroundSources : public ConversionTest, public ::testing::WithParamInterface<TSurroundCase> {};

TEST_P(SurroundSources, GetALayoutTheirEncoderTakes) {
  const TSurroundCase& c = GetParam();
  ASSERT_EQ(ProbeValue(SurroundSource(), "stream=channels", "a:0"), "6");
  const std::string out = dir / (std::string("surround.") + c.Extension);
  TResult r = Convert(SurroundSource(), {}, out, c.Options);
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), c.Audio);
  EXPECT_EQ(ProbeValue(out, "stream=channels", "a:0"), std::to_string(c.Channels));
  EXPECT_NEAR(Duration(out, "a:0"), 1.0, 0.1);
  EXPECT_EQ(r.Logged("Encoder "), c.Channels != 6 && c.Channels != 1);
}

// The container and audio encoder pairs of the file-type presets.
// clang-format off
const TSurroundCase surroundCases[] = {
    {"avi_mp3", "avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, "mp3", 2},
    {"flv_mp3", "flv", {{"vcodec", "flv"}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, "mp3", 2},
    {"mkv_mp3", "mkv", {{"vcodec", "libx264"}, {"acodec", "libmp3lame"}}, "mp3", 2},
    {"wmv_wmav2", "wmv", {{"vcodec", "wmv2"}, {"acodec", "wmav2"}}, "wmav2", 2},
    {"wma_wmav2", "wma", {{"vn", "1"}, {"acodec", "wmav2"}}, "wmav2", 2},
    {"mp4_aac", "mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, "aac", 6},
    {"psp_aac", "mp4", {{"f", "psp"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ar", "24000"}}, "aac", 6},
    {"ogg_flac", "ogg", {{"vcodec", "libtheora"}, {"acodec", "flac"}}, "flac", 6},
    {"rm_ac3", "rm", {{"vcodec", "rv20"}, {"acodec", "ac3"}}, "ac3", 6},
    {"mpeg_mp2", "mpeg", {{"vcodec", "mpeg1video"}, {"acodec", "mp2"}}, "mp2", 2},
    {"3gp_aac_mono", "3gp", {{"vcodec", "h263"}, {"s", "176x144"}, {"acodec", "aac"}, {"ar", "8000"}, {"ac", "1"}},
     "aac", 1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Presets, SurroundSources, ::testing::ValuesIn(surroundCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ConversionTest, AnAskedChannelCountTheEncoderCannotTakeIsRefused) {
  TResult r = Convert(SurroundSource(), {}, dir / "six.avi", {{"acodec", "libmp3lame"}, {"ac", "6"}});
  EXPECT_EQ(r.Error,
            "Error while opening codec for output stream #0.1 - maybe incorrect parameters such as bit_rate, "
            "rate, width or height");
}

// The rows of one decoded frame as grey bytes.
std::vector<uint8_t> FirstFrameLuma(const std::string& file, int width, int height, const TempDir& dir) {
  const std::string raw = dir / "frame.gray";
  RunCommand("ffmpeg -v error -y -i " + ShellQuote(file) + " -frames:v 1 -f rawvideo -pix_fmt gray " +
             ShellQuote(raw));
  std::ifstream in(raw, std::ios::binary);
  std::vector<uint8_t> pixels(size_t(width) * height);
  in.read(reinterpret_cast<char*>(pixels.data()), std::streamsize(pixels.size()));
  if (in.gcount() != std::streamsize(pixels.size())) pixels.clear();
  return pixels;
}

double RowMean(const std::vector<uint8_t>& pixels, int width, int row) {
  double sum = 0;
  for (int x = 0; x < width; ++x) sum += pixels[size_t(row) * width + x];
  return sum / width;
}

TEST_F(ConversionTest, HdSourceFittedWithPadsKeepsPadColourAndPicture) {
  const std::string out = dir / "padded.mp4";
  TResult r = Convert(HdSource(), {}, out,
                      {{"vcodec", "mpeg4"},
                       {"qscale", "2"},
                       {"s", "320x180"},
                       {"padtop", "30"},
                       {"padbottom", "30"},
                       {"padcolor", "0"}});
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "320");
  EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), "240");
  const std::vector<uint8_t> luma = FirstFrameLuma(out, 320, 240, dir);
  ASSERT_FALSE(luma.empty());
  for (int row : {2, 20, 219, 237}) EXPECT_LT(RowMean(luma, 320, row), 24) << "pad row " << row;
  // The bars are bright in the upper part of the picture.
  EXPECT_GT(RowMean(luma, 320, 60), 80);
}

TEST_F(ConversionTest, TheColourDescriptionOfTheSourceIsKept) {
  const std::string source =
      Fixture("e2e_bt709.mkv",
              "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v mpeg4 -colorspace bt709 "
              "-color_primaries bt709 -color_trc bt709 -color_range tv");
  const std::string out = dir / "colour.mkv";
  ASSERT_EQ(Convert(source, {}, out, {{"vcodec", "mpeg4"}, {"s", "160x120"}}).Error, "");
  EXPECT_EQ(ProbeValue(out, "stream=color_space", "v:0"), "bt709");
  EXPECT_EQ(ProbeValue(out, "stream=color_primaries", "v:0"), "bt709");
  EXPECT_EQ(ProbeValue(out, "stream=color_range", "v:0"), "tv");
}

TEST_F(ConversionTest, CropRemovesTheEdges) {
  const std::string out = dir / "cropped.mp4";
  TResult r = Convert(Source(), {}, out,
                      {{"vcodec", "mpeg4"}, {"croptop", "40"}, {"cropbottom", "40"}, {"cropleft", "16"}});
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), "304");
  EXPECT_EQ(ProbeValue(out, "stream=height", "v:0"), "160");
}

TEST_F(ConversionTest, ClipFromAStartTimeForARecordingTime) {
  const std::string out = dir / "clip.mp4";
  int decoded = 0;
  TResult r = Convert(Source(), {}, out, {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ss", "0.5"}, {"t", "1"}},
                      [&decoded](TCustomFFmpeg& e) {
                        e.OnCustomHook = [&decoded](TBitmap&, int, int64_t, bool& update, bool&) {
                          ++decoded;
                          update = false;
                        };
                      });
  ASSERT_EQ(r.Error, "");
  // Reading stops at the end of the clip (1.5 s of the 2 s source), not at the end of the file.
  EXPECT_LT(decoded, 45);
  EXPECT_NEAR(Duration(out, "v:0"), 1.0, 0.041);
  EXPECT_NEAR(Duration(out, "a:0"), 1.0, 0.05);
}

// Key frames two seconds apart, so an input start time seeks well before the start.
std::string SparseKeyframeSource() {
  return Fixture("e2e_sparse_keys.mkv",
                 "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 "
                 "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 -ac 2 "
                 "-c:v mpeg4 -g 50 -q:v 3 -c:a pcm_s16le");
}

struct TInputStartCase {
  const char* Extension;
  const char* AudioCodec;
};

void PrintTo(const TInputStartCase& c, std::ostream* os) { *os << c.Extension; }

class InputStartTimes : public ConversionTest, public ::testing::WithParamInterface<TInputStartCase> {};

// What was decoded from the key frame up to the start is not encoded: the clip starts at 0 with the
// picture and sample at the start and lasts the recording time.
TEST_P(InputStartTimes, CutExactlyAtTheStart) {
  const TInputStartCase& c = GetParam();
  const std::string out = dir / (std::string("clip.") + c.Extension);
  TResult r = Convert(SparseKeyframeSource(), {{"ss", "1.3"}}, out,
                      {{"vcodec", "mpeg4"}, {"acodec", c.AudioCodec}, {"t", "1"}});
  ASSERT_EQ(r.Error, "");
  const double frame = 0.04;
  EXPECT_NEAR(Number(ProbeValue(out, "format=start_time")), 0.0, frame);
  for (const char* stream : {"v:0", "a:0"}) {
    SCOPED_TRACE(stream);
    EXPECT_NEAR(Number(ProbeValue(out, "stream=start_time", stream)), 0.0, frame);
    EXPECT_NEAR(Duration(out, stream), 1.0, frame + 0.01);
  }
  EXPECT_NEAR(CountFrames(out), 25, 1);
  // An edit list may hide early pictures from decoding: the stored ones count too.
  const double stored = Number(ProbeValue(out, "stream=nb_frames", "v:0"));
  if (stored >= 0) {
    EXPECT_NEAR(stored, 25, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, InputStartTimes,
                         ::testing::Values(TInputStartCase{"avi", "libmp3lame"},
                                           TInputStartCase{"mp4", "aac"},
                                           TInputStartCase{"mkv", "libmp3lame"}),
                         [](const auto& info) { return std::string(info.param.Extension); });

// A rate going up holds the last picture for its whole time, at a constant rate (AVI) as at a
// variable one (MP4, Matroska).
TEST_F(ConversionTest, ARaisedFrameRateHoldsTheLastPictureForItsTime) {
  const std::string slow =
      Fixture("e2e_5fps.mkv", "-f lavfi -i testsrc=size=160x120:rate=5:duration=1 -c:v mpeg4");
  for (const char* extension : {"avi", "mp4", "mkv"}) {
    SCOPED_TRACE(extension);
    const std::string out = dir / (std::string("fast.") + extension);
    ASSERT_EQ(Convert(slow, {}, out, {{"vcodec", "mpeg4"}, {"r", "25"}}).Error, "");
    EXPECT_NEAR(Duration(out, "v:0"), 1.0, 0.041);
  }
}

// A clip shorter than a picture's time, between two pictures, holds the picture showing at its
// start.
TEST_F(ConversionTest, AClipBetweenTwoPicturesHoldsThePictureShowingAtItsStart) {
  const std::string out = dir / "tiny.mp4";
  ASSERT_EQ(Convert(SparseKeyframeSource(), {{"ss", "1.31"}}, out,
                    {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"t", "0.01"}})
                .Error,
            "");
  EXPECT_EQ(CountFrames(out), 1);
}

TEST_F(ConversionTest, FrameLimitAndFileSizeLimitEndTheConversion) {
  const std::string frames = dir / "frames.avi";
  ASSERT_EQ(Convert(Source(), {}, frames, {{"vcodec", "mpeg4"}, {"an", ""}, {"vframes", "10"}}).Error, "");
  EXPECT_EQ(CountFrames(frames), 10);

  const std::string sized = dir / "sized.mpeg";
  ASSERT_EQ(Convert(Source(), {}, sized, {{"vcodec", "mpeg4"}, {"b", "2000000"}, {"fs", "100000"}}).Error,
            "");
  const auto size = fs::file_size(sized);
  EXPECT_GT(size, 100000u);
  EXPECT_LT(size, 200000u);
  EXPECT_LT(Duration(sized, "v:0"), 1.9);
}

TEST_F(ConversionTest, StreamCopiesKeepTheCodecs) {
  const std::string out = dir / "copy.mkv";
  ASSERT_EQ(Convert(Source(), {}, out, {{"vcodec", "copy"}, {"acodec", "copy"}}).Error, "");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "v:0"), "mpeg4");
  EXPECT_EQ(ProbeValue(out, "stream=codec_name", "a:0"), "pcm_s16le");
  EXPECT_EQ(CountFrames(out), 50);
  EXPECT_NEAR(Duration(out, "a:0"), 2.0, 0.05);
}

double MeanVolume(const std::string& file) {
  CommandResult r =
      RunCommand("ffmpeg -hide_banner -nostats -i " + ShellQuote(file) + " -af volumedetect -f null - 2>&1");
  const auto at = r.output.find("mean_volume: ");
  return at == std::string::npos ? 0 : Number(r.output.substr(at + 13));
}

TEST_F(ConversionTest, VolumeChangesTheLevel) {
  const std::string same = dir / "same.wav", louder = dir / "half.wav";
  ASSERT_EQ(Convert(Source(), {}, same, {{"vn", ""}}).Error, "");
  ASSERT_EQ(Convert(Source(), {}, louder, {{"vn", ""}, {"vol", "128"}}).Error, "");
  // Half the amplitude is 6 dB less.
  EXPECT_NEAR(MeanVolume(same) - MeanVolume(louder), 6.0, 0.3);
}

TEST_F(ConversionTest, TwoPassEncoding) {
  for (const std::string& threads : threadCounts) {
    SCOPED_TRACE(std::string("threads=") + threads);
    const std::string log = dir / (std::string("2pass") + threads);
    const std::string first = dir / "pass1.avi", second = dir / "pass2.avi";
    TOptions options = {
        {"vcodec", "mpeg4"}, {"b", "300000"}, {"an", ""}, {"passlogfile", log}, {"threads", threads}};
    TOptions pass1 = options, pass2 = options;
    pass1.emplace_back("pass", "1");
    pass2.emplace_back("pass", "2");
    ASSERT_EQ(Convert(Source(), {}, first, pass1).Error, "");
    ASSERT_GT(fs::file_size(log + "-0.log"), 0u);
    ASSERT_EQ(Convert(Source(), {}, second, pass2).Error, "");
    EXPECT_EQ(CountFrames(second), 50);
  }
}

TEST_F(ConversionTest, FilterChainAndDeinterlacing) {
  const std::string turned = dir / "turned.mp4";
  ASSERT_EQ(Convert(Source(), {}, turned, {{"vcodec", "mpeg4"}, {"vfilters", "transpose=1"}}).Error, "");
  EXPECT_EQ(ProbeValue(turned, "stream=width", "v:0"), "240");
  EXPECT_EQ(ProbeValue(turned, "stream=height", "v:0"), "320");
  EXPECT_EQ(CountFrames(turned), 50);

  const std::string deinterlaced = dir / "deinterlaced.mp4";
  ASSERT_EQ(Convert(Source(), {}, deinterlaced, {{"vcodec", "mpeg4"}, {"deinterlace", ""}}).Error, "");
  EXPECT_EQ(CountFrames(deinterlaced), 50);
}

TEST_F(ConversionTest, CustomHookDrawsOnEveryFrame) {
  const std::string out = dir / "hooked.mp4";
  int calls = 0;
  TResult r = Convert(Source(), {}, out, {{"vcodec", "mpeg4"}, {"qscale", "2"}}, [&calls](TCustomFFmpeg& e) {
    e.OnCustomHook = [&calls](TBitmap& bitmap, int, int64_t, bool& update, bool&) {
      ++calls;
      // A white band over the top 40 rows.
      for (int y = 0; y < 40 && y < bitmap.Height(); ++y)
        std::fill_n(bitmap.ScanLine(y), size_t(bitmap.Width()) * 3, uint8_t(255));
      update = true;
    };
  });
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(calls, 50);
  const std::vector<uint8_t> luma = FirstFrameLuma(out, 320, 240, dir);
  ASSERT_FALSE(luma.empty());
  EXPECT_GT(RowMean(luma, 320, 20), 230);
}

TEST_F(ConversionTest, StopRequestLeavesAShorterPlayableFile) {
  for (const std::string& threads : threadCounts) {
    SCOPED_TRACE(std::string("threads=") + threads);
    const std::string out = dir / (std::string("stopped") + threads + ".mp4");
    TResult r = Convert(Source(), {}, out, {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"threads", threads}},
                        [](TCustomFFmpeg& e) {
                          e.OnCustomHook = [&e](TBitmap&, int frame, int64_t, bool& update, bool&) {
                            update = false;
                            if (frame == 20) e.StopRequested = true;
                          };
                        });
    ASSERT_EQ(r.Error, "");
    EXPECT_FALSE(r.Finished);
    const int frames = CountFrames(out);
    EXPECT_GT(frames, 10);
    EXPECT_LT(frames, 40);
  }
}

TEST_F(ConversionTest, DamagedInputConvertsWhatCanBeDecoded) {
  // Bytes cut out of the middle of an MPEG stream.
  const std::string whole =
      Fixture("e2e_whole.mpg", "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg1video");
  std::ifstream in(whole, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const std::string damaged = dir / "damaged.mpg";
  std::ofstream(damaged, std::ios::binary)
      << bytes.substr(0, bytes.size() / 3) + bytes.substr(bytes.size() / 2);

  const std::string out = dir / "repaired.mp4";
  TResult r = Convert(damaged, {}, out, {{"vcodec", "mpeg4"}});
  ASSERT_EQ(r.Error, "");
  EXPECT_GT(CountFrames(out), 20);

  const std::string strict = dir / "strict.mp4";
  TResult s = Convert(damaged, {}, strict, {{"vcodec", "mpeg4"}, {"xerror", ""}});
  EXPECT_FALSE(fs::exists(strict) && fs::file_size(strict) == 0);
  EXPECT_EQ(s.Error.rfind("Error while decoding stream #0.0", 0), 0u) << s.Error;
}

// Every sample made by other people's tools either converts or ends with a clear message; none
// leaves an empty output behind.
TEST_F(ConversionTest, SharedSamplesConvertOrFailCleanly) {
  const std::string samples = SamplesDir();
  if (samples.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
  for (const auto& entry : fs::directory_iterator(samples)) {
    const std::string name = entry.path().filename().string();
    if (name == "README.md") continue;
    SCOPED_TRACE(name);
    const std::string out = dir / (entry.path().stem().string() + ".mp4");
    TResult r = Convert(entry.path().string(), {}, out, {{"vcodec", "mpeg4"}, {"acodec", "aac"}});
    if (!r.Error.empty()) {
      EXPECT_FALSE(fs::exists(out) && fs::file_size(out) == 0) << "empty output left: " << r.Error;
      continue;
    }
    // A file with two programs lists its streams twice. A picture turned a quarter for display
    // comes out upright: its height becomes the width.
    const std::string widths =
        ProbeValue(entry.path().string(),
                   TurnedAQuarter(entry.path().string()) ? "stream=height" : "stream=width", "v:0");
    const std::string video = widths.substr(0, widths.find('\n'));
    if (!video.empty()) {
      EXPECT_EQ(ProbeValue(out, "stream=width", "v:0"), video);
    }
    const double source = Number(ProbeValue(entry.path().string(), "format=duration"));
    if (source > 0) {
      EXPECT_NEAR(Number(ProbeValue(out, "format=duration")), source, std::max(0.2, source * 0.05));
    }
  }
}

}  // namespace
}  // namespace ok::test
