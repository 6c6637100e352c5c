#include "media/media_info.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The conversion rules

TEST(MediaInfoIntRule, KeepsTheWholePartBeforeDotAndSlash) {
  EXPECT_EQ(MediaInfoIntRule("5432.5", 0), 5432);
  EXPECT_EQ(MediaInfoIntRule("3937.266667", 0), 3937);
  EXPECT_EQ(MediaInfoIntRule("90/1", 0), 90);
  EXPECT_EQ(MediaInfoIntRule("25.5/2", 0), 25);
  EXPECT_EQ(MediaInfoIntRule("  640 ", 0), 640);
  EXPECT_EQ(MediaInfoIntRule("-12", 0), -12);
  EXPECT_EQ(MediaInfoIntRule("+7", 0), 7);
  EXPECT_EQ(MediaInfoIntRule("8589934597", 0), 8589934597);
}

TEST(MediaInfoIntRule, GivesTheDefaultForEmptyAndNonIntegers) {
  EXPECT_EQ(MediaInfoIntRule("abc", 0), 0);
  EXPECT_EQ(MediaInfoIntRule("abc", -3), -3);
  EXPECT_EQ(MediaInfoIntRule("", 11), 11);
  EXPECT_EQ(MediaInfoIntRule("   ", 11), 11);
  EXPECT_EQ(MediaInfoIntRule(".5", 11), 11);
  EXPECT_EQ(MediaInfoIntRule("12abc", 11), 11);
  EXPECT_EQ(MediaInfoIntRule("1 2", 11), 11);
  EXPECT_EQ(MediaInfoIntRule("9223372036854775808", 11), 11);  // one past the 64-bit range
}

TEST(MediaInfoDecimalRule, ReadsDotDecimalsWhateverTheLocale) {
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("1500000", 0), 1500000.0);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("1500000.5", 0), 1500000.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule(" 29.970 ", 0), 29.97);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("30000/1001", 0), 30000.0);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("-2.5", 0), -2.5);
}

TEST(MediaInfoDecimalRule, GivesTheDefaultForEmptyAndNonNumbers) {
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("", 7.5), 7.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("abc", 7.5), 7.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("1500000,5", 7.5), 7.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("12 kb/s", 7.5), 7.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("inf", 7.5), 7.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("nan", 7.5), 7.5);
  EXPECT_DOUBLE_EQ(MediaInfoDecimalRule("1e999", 7.5), 7.5);
}

TEST(MediaInfoFrameRate, EmptyIsZeroAndNumbersReadWithDot) {
  EXPECT_DOUBLE_EQ(MediaInfoFrameRate(""), 0);
  EXPECT_DOUBLE_EQ(MediaInfoFrameRate("  "), 0);
  EXPECT_DOUBLE_EQ(MediaInfoFrameRate("29.970"), 29.97);
  EXPECT_DOUBLE_EQ(MediaInfoFrameRate("25"), 25);
}

TEST(MediaInfoFrameRate, NonNumbersThrowNamingTheText) {
  for (const char* text : {"abc", "30000/1001", "29,97", "nan", "25 fps"}) {
    try {
      MediaInfoFrameRate(text);
      ADD_FAILURE() << "no exception for " << text;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  }
}

// MP3, MP2, AC3, AAC and FLAC are checked on real files below.
TEST(MediaInfoCodecFromFormat, OtherFormatsComeAsTheyAre) {
  EXPECT_EQ(MediaInfoCodecFromFormat("MPEG Audio", "Layer 1"), "MP1");
  EXPECT_EQ(MediaInfoCodecFromFormat("MPEG Audio", ""), "MPEG Audio");
  EXPECT_EQ(MediaInfoCodecFromFormat("E-AC-3", ""), "E-AC-3");
  EXPECT_EQ(MediaInfoCodecFromFormat("AAC", "LC"), "AAC");
}

// ---------------------------------------------------------------------------------------------
// Real files, checked against ffprobe

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// "30000/1001" or "25" as a number; NaN when ffprobe gave nothing usable.
double ProbeNumber(const std::string& text) {
  try {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return std::stod(text);
    double den = std::stod(text.substr(slash + 1));
    return den == 0 ? NAN : std::stod(text.substr(0, slash)) / den;
  } catch (const std::exception&) {
    return NAN;
  }
}

bool ProbeHasStream(const std::string& file, const std::string& streams) {
  return !test::ProbeValue(file, "stream=index", streams).empty();
}

struct TGenerated {
  const char* Name;
  const char* FfmpegArgs;
  const char* VideoCodec;  // what the library calls the video format; "" without video
};

const char* const VideoIn = "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 ";
const char* const AudioIn = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 ";

std::vector<TGenerated> GeneratedFiles() {
  std::string v = VideoIn, a = AudioIn;
  static const std::vector<std::string> args = {
      v + a + "-c:v mpeg4 -c:a libmp3lame",
      "-f lavfi -i testsrc=size=176x144:rate=30000/1001:duration=2 " + a +
          "-c:v libx264 -pix_fmt yuv420p -b:v 200k -c:a aac",
      "-f lavfi -i testsrc=size=352x288:rate=25:duration=2 " + a + "-c:v mpeg2video -c:a mp2",
      a + "-c:a ac3",
      a + "-c:a flac",
  };
  return {
      {"mediainfo_mpeg4_mp3.avi", args[0].c_str(), "MPEG-4 Visual"},
      {"mediainfo_h264_aac.mp4", args[1].c_str(), "AVC"},
      {"mediainfo_mpeg2_mp2.mpg", args[2].c_str(), "MPEG Video"},
      {"mediainfo_tone.ac3", args[3].c_str(), ""},
      {"mediainfo_tone.flac", args[4].c_str(), ""},
  };
}

void PrintTo(const TGenerated& g, std::ostream* os) { *os << g.Name; }

class MediaInfoGeneratedFile : public ::testing::TestWithParam<TGenerated> {};

TEST_P(MediaInfoGeneratedFile, AnswersAsFfprobeDoes) {
  const TGenerated& g = GetParam();
  std::string file = test::Fixture(g.Name, g.FfmpegArgs);
  ASSERT_TRUE(TMediaInfoLibrary::Process()->IsLoaded()) << TMediaInfoLibrary::Process()->LastError();
  TMediaInfoDll info(file);

  EXPECT_EQ(info.GetFileExtension(), fs::path(file).extension().string().substr(1));
  double probedMs = ProbeNumber(test::ProbeValue(file, "format=duration")) * 1000;
  ASSERT_FALSE(std::isnan(probedMs));
  EXPECT_NEAR(double(info.GetDuration()), probedMs, 60);
  EXPECT_EQ(info.GetAudioCodec(0), Upper(test::ProbeValue(file, "stream=codec_name", "a:0")));
  EXPECT_EQ(info.GetAudioCodec(1), "");

  EXPECT_EQ(info.GetVideoCodec(), g.VideoCodec);
  if (!ProbeHasStream(file, "v:0")) {
    EXPECT_EQ(info.GetWidth(), 0);
    EXPECT_EQ(info.GetHeight(), 0);
    EXPECT_EQ(info.GetFrameRate(), 0);
    EXPECT_EQ(info.GetBitRate(), 0);
    return;
  }
  EXPECT_EQ(std::to_string(info.GetWidth()), test::ProbeValue(file, "stream=width", "v:0"));
  EXPECT_EQ(std::to_string(info.GetHeight()), test::ProbeValue(file, "stream=height", "v:0"));
  EXPECT_NEAR(info.GetFrameRate(), ProbeNumber(test::ProbeValue(file, "stream=r_frame_rate", "v:0")), 0.001);
  double probedRate = ProbeNumber(test::ProbeValue(file, "stream=bit_rate", "v:0"));
  if (!std::isnan(probedRate)) {
    EXPECT_NEAR(info.GetBitRate(), probedRate, probedRate * 0.1);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MediaInfoGeneratedFile, ::testing::ValuesIn(GeneratedFiles()),
                         [](const ::testing::TestParamInfo<TGenerated>& p) {
                           std::string n = p.param.Name;
                           std::replace_if(
                               n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
                           return n;
                         });

TEST(MediaInfoDll, AudioStreamsAreCountedFromZero) {
  std::string file = test::Fixture("mediainfo_two_audio.mkv", std::string(VideoIn) + AudioIn + AudioIn +
                                                                  "-map 0 -map 1 -map 2 -c:v mpeg4 "
                                                                  "-c:a:0 libmp3lame -c:a:1 ac3");
  TMediaInfoDll info(file);
  EXPECT_EQ(info.GetAudioCodec(0), "MP3");
  EXPECT_EQ(info.GetAudioCodec(1), "AC3");
  EXPECT_EQ(info.GetAudioCodec(2), "");
  EXPECT_EQ(info.GetAudioCodec(-1), "");
}

TEST(MediaInfoDll, OpensUtf8NamesUnderTheCLocaleAndLeavesTheThreadLocale) {
  std::string source = test::Fixture(GeneratedFiles()[0].Name, GeneratedFiles()[0].FfmpegArgs);
  test::TempDir dir;
  std::string name = dir / "视频 样本.avi";
  fs::copy_file(source, name);
  locale_t before = uselocale(static_cast<locale_t>(nullptr));
  TMediaInfoDll info(name);
  EXPECT_EQ(info.GetWidth(), 320);
  EXPECT_EQ(info.GetAudioCodec(0), "MP3");
  EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), before);
}

TEST(MediaInfoDll, MovedObjectKeepsTheFile) {
  std::string file = test::Fixture(GeneratedFiles()[0].Name, GeneratedFiles()[0].FfmpegArgs);
  TMediaInfoDll first(file);
  TMediaInfoDll second(std::move(first));
  EXPECT_EQ(second.GetWidth(), 320);
  EXPECT_EQ(first.GetWidth(), 0);  // a moved-from object answers empty
  TMediaInfoDll third(file + ".missing");
  third = std::move(second);
  EXPECT_EQ(third.GetHeight(), 240);
}

TEST(MediaInfoDll, ObjectsOnSeveralThreads) {
  std::string avi = test::Fixture(GeneratedFiles()[0].Name, GeneratedFiles()[0].FfmpegArgs);
  std::string mp4 = test::Fixture(GeneratedFiles()[1].Name, GeneratedFiles()[1].FfmpegArgs);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        bool useAvi = (t + i) % 2 == 0;
        TMediaInfoDll info(useAvi ? avi : mp4);
        if (info.GetWidth() != (useAvi ? 320 : 176) || info.GetAudioCodec(0) != (useAvi ? "MP3" : "AAC"))
          ++wrong[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

// ---------------------------------------------------------------------------------------------
// Files the library cannot describe

void ExpectEmpty(const TMediaInfoDll& info, bool extensionToo) {
  EXPECT_EQ(info.GetWidth(), 0);
  EXPECT_EQ(info.GetHeight(), 0);
  EXPECT_EQ(info.GetDuration(), 0);
  EXPECT_EQ(info.GetBitRate(), 0);
  double rate = -1;
  EXPECT_NO_THROW(rate = info.GetFrameRate());
  EXPECT_EQ(rate, 0);
  EXPECT_EQ(info.GetVideoCodec(), "");
  EXPECT_EQ(info.GetAudioCodec(0), "");
  if (extensionToo) {
    EXPECT_EQ(info.GetFileExtension(), "");
  }
}

TEST(MediaInfoDll, UnreadableInputsAnswerEmpty) {
  test::TempDir dir;
  std::string empty = dir / "empty.avi";
  std::ofstream(empty).close();
  std::string noise = dir / "noise.avi";
  {
    std::ofstream out(noise, std::ios::binary);
    std::mt19937 gen(1234);
    for (int i = 0; i < 64 * 1024; ++i) out.put(static_cast<char>(gen() & 0xff));
  }
  std::string folder = dir / "folder.avi";
  fs::create_directory(folder);

  {
    SCOPED_TRACE("0-byte file");
    ExpectEmpty(TMediaInfoDll(empty), false);
  }
  {
    SCOPED_TRACE("random bytes");
    ExpectEmpty(TMediaInfoDll(noise), false);
  }
  {
    SCOPED_TRACE("missing path");
    ExpectEmpty(TMediaInfoDll(dir / "missing.avi"), true);
  }
  {
    SCOPED_TRACE("folder");
    ExpectEmpty(TMediaInfoDll(folder), true);
  }
  {
    SCOPED_TRACE("empty name");
    ExpectEmpty(TMediaInfoDll(""), true);
  }
}

TEST(MediaInfoDll, NameWithNulDoesNotOpenItsPrefix) {
  std::string source = test::Fixture(GeneratedFiles()[0].Name, GeneratedFiles()[0].FfmpegArgs);
  ASSERT_EQ(TMediaInfoDll(source).GetWidth(), 320);
  ExpectEmpty(TMediaInfoDll(source + std::string(1, '\0') + "x"), true);
}

// ---------------------------------------------------------------------------------------------
// Without the library

TEST(MediaInfoLibrary, MissingLibraryAnswersEmpty) {
  auto missing = std::make_shared<const TMediaInfoLibrary>("libmediainfo-not-there.so.0");
  EXPECT_FALSE(missing->IsLoaded());
  EXPECT_NE(missing->LastError().find("libmediainfo-not-there.so.0"), std::string::npos)
      << missing->LastError();
  std::string file = test::Fixture(GeneratedFiles()[0].Name, GeneratedFiles()[0].FfmpegArgs);
  TMediaInfoDll info(file, missing);
  EXPECT_EQ(info.GetHandle(), nullptr);
  ExpectEmpty(info, true);
  ExpectEmpty(TMediaInfoDll(file, nullptr), true);
}

TEST(MediaInfoLibrary, LibraryWithoutTheEntryPointsAnswersEmpty) {
  auto other = std::make_shared<const TMediaInfoLibrary>("libz.so.1");
  EXPECT_FALSE(other->IsLoaded());
  EXPECT_NE(other->LastError().find("MediaInfoA_"), std::string::npos) << other->LastError();
  std::string file = test::Fixture(GeneratedFiles()[0].Name, GeneratedFiles()[0].FfmpegArgs);
  ExpectEmpty(TMediaInfoDll(file, other), true);
}

// ---------------------------------------------------------------------------------------------
// Files made by other tools

std::vector<fs::path> SampleFiles() {
  std::vector<fs::path> files;
  std::string dir = test::SamplesDir();
  if (dir.empty()) return files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(MediaInfoSamples, EverySampleIsQueriedWithoutFault) {
  auto files = SampleFiles();
  if (files.empty()) GTEST_SKIP() << "no samples folder";
  for (const auto& f : files) {
    SCOPED_TRACE(f.filename().string());
    TMediaInfoDll info(f.string());
    EXPECT_NO_THROW(info.GetFrameRate());
    EXPECT_GE(info.GetWidth(), 0);
    EXPECT_GE(info.GetHeight(), 0);
    EXPECT_GE(info.GetDuration(), 0);
    EXPECT_GE(info.GetBitRate(), 0);
    info.GetVideoCodec();
    info.GetAudioCodec(0);
    info.GetAudioCodec(1);
    EXPECT_EQ(info.GetFileExtension(), f.extension().string().substr(1));
  }
}

TEST(MediaInfoSamples, HealthySamplesAgreeWithFfprobe) {
  if (SampleFiles().empty()) GTEST_SKIP() << "no samples folder";
  const std::string dir = test::SamplesDir();
  // ffprobe lists the streams of a TS once per program: its first answer is the one.
  auto probe = [](const std::string& file, const std::string& entry, const std::string& streams) {
    std::string text = test::ProbeValue(file, entry, streams);
    return text.substr(0, text.find('\n'));
  };
  struct TSample {
    const char* Name;
    bool HasFrameRate;  // the library calls the TS video variable-rate and gives no rate for it
  };
  for (TSample s : std::initializer_list<TSample>{{"sample.avi", true},
                                                  {"sample.mkv", true},
                                                  {"sample.mp4", true},
                                                  {"sample.ts", false},
                                                  {"sample.vob", true},
                                                  {"sample_ac3.vob", true},
                                                  {"phone.3gp", true},
                                                  {"bun33s.flv", true},
                                                  {"echo-hereweare.webm", true},
                                                  {"white.mp4", true},
                                                  {"minimal.mp4", true}}) {
    SCOPED_TRACE(s.Name);
    std::string file = dir + "/" + s.Name;
    TMediaInfoDll info(file);
    EXPECT_EQ(std::to_string(info.GetWidth()), probe(file, "stream=width", "v:0"));
    EXPECT_EQ(std::to_string(info.GetHeight()), probe(file, "stream=height", "v:0"));
    if (s.HasFrameRate) {
      EXPECT_NEAR(info.GetFrameRate(), ProbeNumber(probe(file, "stream=r_frame_rate", "v:0")), 0.01);
    }
    EXPECT_NEAR(double(info.GetDuration()), ProbeNumber(probe(file, "format=duration", "")) * 1000, 100);
  }
}

TEST(MediaInfoSamples, AudioCodecTextsOfOtherToolsFiles) {
  if (SampleFiles().empty()) GTEST_SKIP() << "no samples folder";
  const std::vector<std::string> known = {"mp3", "mp2", "ac3", "aac", "flac"};
  int checked = 0;
  for (const auto& f : SampleFiles()) {
    std::string probed = test::ProbeValue(f.string(), "stream=codec_name", "a:0");
    if (std::find(known.begin(), known.end(), probed) == known.end()) continue;
    SCOPED_TRACE(f.filename().string());
    EXPECT_EQ(TMediaInfoDll(f.string()).GetAudioCodec(0), Upper(probed));
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

}  // namespace
}  // namespace ok
