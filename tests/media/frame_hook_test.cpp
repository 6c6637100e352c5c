#include "media/frame_hook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "media/ff_loader.h"
#include "platform/dynamic_library.h"
#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

// The layout of the fake module's record (tests/fakes/fake_hook.c).
struct TFakeHookStats {
  int configured, processed, released;
  int process_ids[64];
  int release_ids[64];
  int last_argc;
  char last_args[256];
};

std::mutex logMutex;
std::string logText;

void CaptureLog(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  // Formatted straight into a string: appending a local char buffer draws a false dangling-pointer
  // warning from GCC 12's optimiser.
  std::string line(1024, '\0');
  const int n = std::vsnprintf(line.data(), line.size(), format, args);
  if (n <= 0) return;
  line.resize(std::min(size_t(n), line.size() - 1));
  std::lock_guard lock(logMutex);
  logText += line;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return s;
}

class FrameHook : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg();
    FF.av_log_set_callback(CaptureLog);
    std::lock_guard lock(logMutex);
    logText.clear();
  }
  void TearDown() override { FF.av_log_set_callback(FF.av_log_default_callback); }

  static std::string Log() {
    std::lock_guard lock(logMutex);
    return logText;
  }
  // A private copy of a built module: HookModules is process-wide, so each test loads files that
  // no other test has named.
  std::string CopyOf(const std::string& builtPath, const std::string& name) {
    fs::path target = tmp.Path() / name;
    fs::copy_file(builtPath, target);
    return target.string();
  }
  std::string Drawbox() { return CopyOf(test::BuildDir() + "/hooks/libokv_drawbox.so", "libokv_drawbox.so"); }
  std::string Fake(const std::string& variant) {
    return CopyOf(test::BuildDir() + "/fakes/libfake_hook_" + variant + ".so",
                  "libfake_hook_" + variant + ".so");
  }
  static TFakeHookStats& StatsOf(const std::string& module) {
    void* handle = HookModules().Find(module);
    EXPECT_NE(handle, nullptr) << module;
    auto stats = reinterpret_cast<TFakeHookStats* (*)()>(DlSym(handle, "FakeHookStats"));
    EXPECT_NE(stats, nullptr);
    return *stats();
  }

  test::TempDir tmp;
};

// A 4:2:0 picture with padded lines holding a real test pattern made by the ffmpeg tool.
struct TYuv {
  TYuv(int w, int h) : width(w), height(h), cw((w + 1) / 2), ch((h + 1) / 2) {
    const std::string name = "hook_testsrc_" + std::to_string(w) + "x" + std::to_string(h) + ".yuv";
    std::string file =
        test::Fixture(name, "-f lavfi -i testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) +
                                ":rate=1 -frames:v 1 -pix_fmt yuv420p -f rawvideo");
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(raw.size(), size_t(w) * h + 2 * size_t(cw) * ch);
    raw.resize(size_t(w) * h + 2 * size_t(cw) * ch);
    const uint8_t* src = raw.data();
    for (int p = 0; p < 3; ++p) {
      const int pw = p == 0 ? w : cw, ph = p == 0 ? h : ch;
      linesize[p] = pw + 13;
      planes[p].assign(size_t(linesize[p]) * ph, 0xA5);
      for (int y = 0; y < ph; ++y, src += pw) std::memcpy(&planes[p][size_t(y) * linesize[p]], src, pw);
    }
  }
  TPicture Picture() {
    TPicture pic{};
    for (int p = 0; p < 3; ++p) {
      pic.data[p] = planes[p].data();
      pic.linesize[p] = linesize[p];
    }
    return pic;
  }
  uint8_t At(int plane, int x, int y) const { return planes[plane][size_t(y) * linesize[plane] + x]; }

  int width, height, cw, ch;
  int linesize[3];
  std::vector<uint8_t> planes[3];
};

struct TBox {
  int x, y, w, h;
  bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// Every sample of `after` is the box colour where it should be and untouched everywhere else: a
// luma sample inside the box; a chroma sample when every pixel of the picture it covers is inside.
void ExpectBoxDrawn(const TYuv& before, const TYuv& after, const TBox& box, const uint8_t colour[3]) {
  for (int y = 0; y < before.height; ++y)
    for (int x = 0; x < before.width; ++x) {
      const bool in = box.Contains(x, y);
      ASSERT_EQ(after.At(0, x, y), in ? colour[0] : before.At(0, x, y)) << "luma " << x << "," << y;
    }
  for (int cy = 0; cy < before.ch; ++cy)
    for (int cx = 0; cx < before.cw; ++cx) {
      bool covered = true;
      for (int y = 2 * cy; y < std::min(2 * cy + 2, before.height); ++y)
        for (int x = 2 * cx; x < std::min(2 * cx + 2, before.width); ++x) covered &= box.Contains(x, y);
      for (int p = 1; p < 3; ++p)
        ASSERT_EQ(after.At(p, cx, cy), covered ? colour[p] : before.At(p, cx, cy))
            << "plane " << p << " " << cx << "," << cy;
    }
  // Line padding beyond the pixels is never written.
  for (int p = 0; p < 3; ++p) EXPECT_EQ(after.planes[p].back(), 0xA5) << p;
}

TEST_F(FrameHook, DrawboxChangesExactlyTheBoxOnARealPicture) {
  const std::string module = Drawbox();
  const uint8_t colour[3] = {201, 47, 222};
  struct {
    int width, height;
    TBox box;
  } const cases[] = {
      {64, 48, {10, 6, 20, 12}},     // even edges: chroma follows the box exactly
      {64, 48, {11, 7, 5, 4}},       // odd edges: the chroma samples half inside keep their colour
      {64, 48, {-5, -3, 9, 8}},      // clipped at the top left
      {64, 48, {50, 40, 100, 100}},  // clipped at the bottom right
      {63, 47, {55, 41, 20, 20}},    // odd picture size: the last chroma sample covers one column
      {63, 47, {0, 0, 63, 47}},      // the whole picture
      {64, 48, {70, 10, 5, 5}},      // entirely outside
      {64, 48, {10, 10, 0, 5}},      // empty
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " box " << c.box.x << " " << c.box.y
                                    << " " << c.box.w << " " << c.box.h);
    TFrameHookChain chain;
    ASSERT_EQ(FrameHookAdd(chain, {module, std::to_string(c.box.x), std::to_string(c.box.y),
                                   std::to_string(c.box.w), std::to_string(c.box.h), "201", "47", "222"}),
              fhOk)
        << Log();
    TYuv before(c.width, c.height), after(c.width, c.height);
    TPicture pic = after.Picture();
    FrameHookProcess(chain, pic, AV_PIX_FMT_YUV420P, c.width, c.height, 40000);
    ExpectBoxDrawn(before, after, c.box, colour);
  }
}

TEST_F(FrameHook, DrawboxFillsBGRPicturesWithTheConvertedColour) {
  const std::string module = Drawbox();
  struct {
    const char *y, *u, *v;
    int b, g, r;
  } const colours[] = {
      {"235", "128", "128", 255, 255, 255}, {"16", "128", "128", 0, 0, 0}, {"81", "90", "240", 0, 0, 255}};
  for (const auto& c : colours) {
    TFrameHookChain chain;
    ASSERT_EQ(FrameHookAdd(chain, {module, "2", "1", "3", "2", c.y, c.u, c.v}), fhOk);
    const int width = 6, height = 4, linesize = 24;
    std::vector<uint8_t> bytes(size_t(linesize) * height, 0x11);
    TPicture pic{};
    pic.data[0] = bytes.data();
    pic.linesize[0] = linesize;
    FrameHookProcess(chain, pic, AV_PIX_FMT_BGR24, width, height, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < linesize; ++x) {
        const int px = x / 3;
        const uint8_t got = bytes[size_t(y) * linesize + x];
        if (x < width * 3 && px >= 2 && px < 5 && y >= 1 && y < 3)
          EXPECT_NEAR(got, (x % 3 == 0 ? c.b : x % 3 == 1 ? c.g : c.r), 2) << x << "," << y;
        else
          EXPECT_EQ(got, 0x11) << x << "," << y;
      }
  }
  // Formats the module does not know pass unchanged.
  TFrameHookChain chain;
  ASSERT_EQ(FrameHookAdd(chain, {module, "0", "0", "4", "4", "235", "128", "128"}), fhOk);
  std::vector<uint8_t> bytes(64, 0x22);
  TPicture pic{};
  pic.data[0] = bytes.data();
  pic.linesize[0] = 16;
  FrameHookProcess(chain, pic, AV_PIX_FMT_RGBA, 4, 4, 0);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0x22), 64);
}

TEST_F(FrameHook, TheSameModuleTwiceIsLoadedOnceWithTwoEntriesConfiguredSeparately) {
  const std::string module = Drawbox();
  const size_t before = HookModules().Count();
  TFrameHookChain chain;
  ASSERT_EQ(FrameHookAdd(chain, {module, "0", "0", "8", "8", "50", "60", "70"}), fhOk);
  ASSERT_EQ(FrameHookAdd(chain, {module, "4", "4", "8", "8", "150", "160", "170"}), fhOk);
  // The name is compared without regard to case: this spelling names no file on this file system,
  // so it can only succeed by taking the module already loaded.
  ASSERT_FALSE(fs::exists(Upper(module)));
  ASSERT_EQ(FrameHookAdd(chain, {Upper(module), "30", "30", "2", "2", "16", "128", "128"}), fhOk) << Log();
  EXPECT_EQ(HookModules().Count(), before + 1);
  EXPECT_NE(HookModules().Find(Upper(module)), nullptr);
  ASSERT_EQ(chain.Count(), 3);
  EXPECT_NE(chain.Head->HookContext, chain.Head->Next->HookContext);
  EXPECT_EQ(chain.Head->ProcessProc, chain.Head->Next->ProcessProc);

  TYuv yuv(64, 48);
  TPicture pic = yuv.Picture();
  FrameHookProcess(chain, pic, AV_PIX_FMT_YUV420P, 64, 48, 0);
  EXPECT_EQ(yuv.At(0, 1, 1), 50) << "first entry's box";
  EXPECT_EQ(yuv.At(0, 6, 6), 150) << "the second entry runs after the first";
  EXPECT_EQ(yuv.At(0, 10, 10), 150);
  EXPECT_EQ(yuv.At(1, 1, 1), 60);
  EXPECT_EQ(yuv.At(2, 4, 4), 170);
  EXPECT_EQ(yuv.At(0, 31, 31), 16);
}

TEST_F(FrameHook, EntriesProcessAndReleaseInChainOrder) {
  const std::string module = Fake("full");
  TFrameHookChain chain;
  for (const char* arg : {"a", "b", "c"}) ASSERT_EQ(FrameHookAdd(chain, {module, arg}), fhOk);
  TFakeHookStats& stats = StatsOf(module);
  EXPECT_EQ(stats.configured, 3);
  EXPECT_EQ(stats.last_argc, 2);
  EXPECT_STREQ(stats.last_args, (module + "|c").c_str()) << "argv[0] is the module's file name";

  uint8_t pixel = 0;
  TPicture pic{};
  pic.data[0] = &pixel;
  pic.linesize[0] = 1;
  FrameHookProcess(chain, pic, AV_PIX_FMT_GRAY8, 1, 1, 0);
  EXPECT_EQ(pixel, 3) << "each entry ran once on the same picture";
  ASSERT_EQ(stats.processed, 3);
  EXPECT_EQ(std::vector<int>(stats.process_ids, stats.process_ids + 3), (std::vector<int>{1, 2, 3}));

  FrameHookRelease(chain);
  EXPECT_EQ(chain.Head, nullptr);
  ASSERT_EQ(stats.released, 3);
  EXPECT_EQ(std::vector<int>(stats.release_ids, stats.release_ids + 3), (std::vector<int>{1, 2, 3}));
  FrameHookRelease(chain);
  EXPECT_EQ(stats.released, 3) << "a released chain is empty";

  // A chain that goes out of scope releases what it still holds.
  {
    TFrameHookChain scoped;
    ASSERT_EQ(FrameHookAdd(scoped, {module, "d"}), fhOk);
  }
  EXPECT_EQ(stats.released, 4);
}

TEST_F(FrameHook, AModuleWithoutConfigureIsAcceptedOnlyWithoutArguments) {
  const std::string module = Fake("noconfigure");
  TFrameHookChain chain;
  EXPECT_EQ(FrameHookAdd(chain, {module, "x"}), fhMissingEntryPoint);
  EXPECT_EQ(Log(), "Failed to find Configure entrypoint in " + module + "\n");
  EXPECT_EQ(chain.Count(), 0);
  ASSERT_EQ(FrameHookAdd(chain, {module}), fhOk);
  ASSERT_EQ(chain.Count(), 1);
  EXPECT_EQ(chain.Head->HookContext, nullptr);
  FrameHookRelease(chain);
  EXPECT_EQ(StatsOf(module).released, 1) << "its Release still runs, with no context";
}

TEST_F(FrameHook, AMissingFileGivesMinusOneAndTheSystemsText) {
  const std::string missing = (tmp.Path() / "nowhere" / "libabsent.so").string();
  TFrameHookChain chain;
  EXPECT_EQ(FrameHookAdd(chain, {missing, "1"}), fhNotLoadable);
  EXPECT_EQ(chain.Count(), 0);
  EXPECT_EQ(HookModules().Find(missing), nullptr);
  ASSERT_EQ(DlOpen(missing), nullptr);
  EXPECT_EQ(Log(), DlLastError() + "\n");
  EXPECT_NE(Log().find("No such file"), std::string::npos) << Log();
}

TEST_F(FrameHook, AModuleLackingProcessGivesMinusTwoAndItsText) {
  const std::string module = Fake("noprocess");
  TFrameHookChain chain;
  EXPECT_EQ(FrameHookAdd(chain, {module}), fhMissingEntryPoint);
  EXPECT_EQ(Log(), "Failed to find Process entrypoint in " + module + "\n");
  EXPECT_EQ(chain.Count(), 0);
  EXPECT_EQ(StatsOf(module).configured, 0) << "refused before Configure";
}

TEST_F(FrameHook, ConfigureRefusingGivesMinus22AndAppendsNothing) {
  const std::string module = Drawbox();
  TFrameHookChain chain;
  const std::vector<std::vector<std::string>> refused = {
      {module},                                          // no box
      {module, "1", "2", "3", "4", "5", "6"},            // one short
      {module, "1", "2", "3", "4", "5", "6", "7", "8"},  // one too many
      {module, "1", "2", "x", "4", "5", "6", "7"},       // not a number
      {module, "1", "2", "3", "-4", "5", "6", "7"},      // negative height
      {module, "1", "2", "3", "4", "5", "256", "7"},     // colour out of range
  };
  for (const auto& args : refused) {
    SCOPED_TRACE(args.size());
    {
      std::lock_guard lock(logMutex);
      logText.clear();
    }
    EXPECT_EQ(FrameHookAdd(chain, args), fhConfigureRefused);
    EXPECT_EQ(Log(), "Failed to Configure " + module + "\n");
  }
  EXPECT_EQ(chain.Count(), 0);

  const std::string fake = Fake("full");
  EXPECT_EQ(FrameHookAdd(chain, {fake, "refuse"}), fhConfigureRefused);
  EXPECT_EQ(chain.Count(), 0);
  FrameHookRelease(chain);
  EXPECT_EQ(StatsOf(fake).released, 0) << "a refused entry is not released";
}

TEST_F(FrameHook, NoArgumentsGiveMinusTwo) {
  TFrameHookChain chain;
  EXPECT_EQ(FrameHookAdd(chain, 0, nullptr), fhMissingEntryPoint);
  EXPECT_EQ(FrameHookAdd(chain, std::vector<std::string>{}), fhMissingEntryPoint);
  EXPECT_EQ(chain.Count(), 0);
}

// Loading must not go through the working folder: tasks on other threads rely on it.
TEST_F(FrameHook, LoadingLeavesTheWorkingFolderAndPathAlone) {
  const fs::path cwd = fs::current_path();
  const char* path = std::getenv("PATH");
  const std::string pathBefore = path ? path : "";
  TFrameHookChain chain;
  ASSERT_EQ(FrameHookAdd(chain, {Fake("full"), "a"}), fhOk);
  EXPECT_EQ(fs::current_path(), cwd);
  path = std::getenv("PATH");
  EXPECT_EQ(path ? path : "", pathBefore);
}

}  // namespace
}  // namespace ok
