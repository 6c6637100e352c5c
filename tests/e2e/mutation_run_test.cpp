// A reproducible run of the probe and the converter over damaged copies of small generated files:
// whatever the damage, no sanitizer report, no death by a signal, no hang, no empty output left
// and the input never written.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace ok::test {
namespace {

constexpr unsigned Seed = 14;
// Each case starts a sanitized program that loads the media libraries (about 0.3 s): 160 of them
// stay within a minute on two cores.
constexpr int Cases = 160;
constexpr int ConversionEvery = 4;  // every fourth case converts, the others probe

std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// One damage of the kinds seen in the field: bit flips, a range cut out, a range doubled, the
// header overwritten, the end cut off, a field claiming a huge value.
std::string Mutate(std::string data, std::mt19937& rng) {
  if (data.size() < 64) return data;
  auto at = [&](size_t below) { return size_t(std::uniform_int_distribution<size_t>(0, below - 1)(rng)); };
  const size_t size = data.size();
  switch (at(6)) {
    case 0:
      for (size_t n = 1 + at(16); n > 0; --n) data[at(size)] ^= char(1 << at(8));
      break;
    case 1: {
      const size_t from = at(size), length = std::min(size - from, 1 + at(size / 4));
      data.erase(from, length);
      break;
    }
    case 2: {
      const size_t from = at(size), length = std::min(size - from, 1 + at(size / 4));
      data.insert(at(size), data.substr(from, length));
      break;
    }
    case 3:
      for (size_t i = at(64), end = std::min(size, i + 1 + at(64)); i < end; ++i) data[i] = char(at(256));
      break;
    case 4:
      data.resize(at(size));
      break;
    default: {
      // 0xFFFF.. where a size, count or dimension may stand.
      const size_t from = at(std::min<size_t>(size, 4096)), length = std::min<size_t>(size - from, 2 + at(3));
      for (size_t i = from; i < from + length; ++i) data[i] = char(0xFF);
      break;
    }
  }
  return data;
}

struct TCaseResult {
  std::string Failure;  // empty when the case is sound
};

TEST(MutationRun, DamagedInputsNeverCrashHangOrLeaveEmptyOutputs) {
  const std::vector<std::string> sources = {
      Fixture("mut_base.mkv",
              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v mpeg4 "
              "-c:a pcm_s16le"),
      Fixture("mut_base.mp4",
              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v libx264 "
              "-preset ultrafast -c:a aac"),
      Fixture("mut_base.avi",
              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v mjpeg "
              "-c:a pcm_s16le"),
      Fixture("mut_base.flv",
              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v flv "
              "-c:a libmp3lame"),
      Fixture("mut_base.ts",
              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v mpeg2video "
              "-c:a mp2"),
      Fixture("mut_base.webm",
              "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=duration=1 -c:v libvpx "
              "-c:a libvorbis"),
  };
  std::vector<std::string> originals;
  for (const std::string& s : sources) originals.push_back(ReadBytes(s));

  TempDir dir;
  const std::string probe = ShellQuote((fs::path(BuildDir()) / "ostrelkalvexa-probe").string());
  const std::string transcode = ShellQuote((fs::path(BuildDir()) / "ostrelkalvexa-transcode").string());
  std::mt19937 rng(Seed);
  std::vector<std::string> commands, inputs, outputs, contents;
  for (int i = 0; i < Cases; ++i) {
    const size_t source = size_t(i) % sources.size();
    const std::string name = "case" + std::to_string(i) + fs::path(sources[source]).extension().string();
    contents.push_back(Mutate(originals[source], rng));
    inputs.push_back(dir / name);
    std::ofstream(inputs.back(), std::ios::binary) << contents.back();
    const bool convert = i % ConversionEvery == 0;
    outputs.push_back(convert ? dir / ("out" + std::to_string(i) + ".mp4") : "");
    // A hang is ended after 30 s by a kill the sanitizers cannot catch; it shows as 137.
    commands.push_back("cd " + ShellQuote(dir.Path().string()) + " && timeout -s KILL 30 " +
                       (convert ? transcode + " --log-level error " + ShellQuote(inputs.back()) +
                                      " -o t=1 -o vcodec=mpeg4 -o s=96x64 -o acodec=aac " +
                                      ShellQuote(outputs.back())
                                : probe + " " + ShellQuote(inputs.back()) + (i % 2 ? " 0.5" : "")));
  }

  std::vector<TCaseResult> results(commands.size());
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i; (i = next++) < commands.size();) {
      const CommandResult r = RunCommand(commands[i]);
      std::string& failure = results[i].Failure;
      for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:", "UndefinedBehavior"})
        if (r.output.find(report) != std::string::npos) failure = std::string("sanitizer report: ") + report;
      if (r.exitCode == 137 || r.exitCode == 124)
        failure = "hang";
      else if (r.exitCode > 2)
        failure = "exit " + std::to_string(r.exitCode);
      if (!outputs[i].empty() && fs::exists(outputs[i]) && fs::file_size(outputs[i]) == 0)
        failure = "empty output left";
      if (ReadBytes(inputs[i]) != contents[i]) failure = "input written";
      if (!failure.empty()) failure += "\n" + commands[i] + "\n" + r.output.substr(0, 4000);
    }
  };
  std::thread second(worker);
  worker();
  second.join();

  int failed = 0;
  for (size_t i = 0; i < results.size(); ++i)
    if (!results[i].Failure.empty() && ++failed <= 5)
      ADD_FAILURE() << "case " << i << ": " << results[i].Failure;
  EXPECT_EQ(failed, 0);
  for (size_t s = 0; s < sources.size(); ++s) EXPECT_EQ(ReadBytes(sources[s]), originals[s]);
}

}  // namespace
}  // namespace ok::test
