#include "media/ff_loader.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "media/ff_functions.h"
#include "media/lib_file_name.h"
#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;

const char* const SystemLibDir = "/usr/lib/x86_64-linux-gnu/";
const TLibraryType Required[] = {ltAVCodec, ltAVFilter, ltAVFormat,  ltAVUtil,
                                 ltSwScale, ltMyUtil,   ltSwResample};

std::string Maps() {
  std::ifstream in("/proc/self/maps");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Each test runs in a process of its own, so the process-wide loader starts unloaded.
TEST(FFLoader, LoadsFromTheSystemWhenTheFolderIsMissingAndBindsOnlyOnce) {
  FFLoader.SetLibraryPath("/nonexistent/LibAV");
  ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg();
  for (TLibraryType k : Required) EXPECT_TRUE(FFLoader.IsLoaded(k)) << k;
  EXPECT_TRUE(FFLoader.AllLoaded(RequiredLibraries));
  EXPECT_FALSE(FFLoader.IsLoaded(ltAVDevice));
  EXPECT_FALSE(FFLoader.IsLoaded(ltSDL));
  EXPECT_EQ(fs::path(FFLoader.LoadedPath(ltAVCodec)).filename(), "libavcodec.so.59");
  EXPECT_EQ(FFLoader.LoadedPath(ltAVCodec).find("/nonexistent/"), std::string::npos);
  EXPECT_EQ(int(FF.avcodec_version() >> 16), LIBAVCODEC_VERSION_MAJOR);
  EXPECT_NE(FF.my_snprintf, nullptr);

  void* handle = FFLoader.State(ltAVFormat).Handle;
  auto entry = FF.avformat_open_input;
  EXPECT_FALSE(RegisterUnicodeProtocol()) << "registered once by the first load";
  EXPECT_TRUE(FFLoader.LoadLib(ltAVFormat));
  EXPECT_EQ(FFLoader.State(ltAVFormat).Handle, handle);
  EXPECT_EQ(FF.avformat_open_input, entry);
  EXPECT_TRUE(UnicodeProtocolRegistered());

  EXPECT_FALSE(FFLoader.LoadLib(ltSDL));
  EXPECT_FALSE(FFLoader.LoadLib(ltAVDevice));
  EXPECT_FALSE(FFLoader.IsLoaded(ltAVDevice));
}

TEST(FFLoader, TakesTheLibAVFolderCopiesAndTheirDependenciesFromThere) {
  test::TempDir tmp;
  fs::path folder = tmp.Path() / "LibAV";
  fs::create_directory(folder);
  for (const char* f : {"libavcodec.so.59", "libavformat.so.59", "libavutil.so.57", "libswscale.so.6",
                        "libswresample.so.4", "libavfilter.so.8", "libpostproc.so.56"})
    fs::copy_file(fs::path(SystemLibDir) / f, folder / f);
  FFLoader.SetLibraryPath(folder.string());
  ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg();
  for (TLibraryType k : {ltAVCodec, ltAVFilter, ltAVFormat, ltAVUtil, ltSwScale, ltSwResample})
    EXPECT_EQ(fs::path(FFLoader.LoadedPath(k)).parent_path(), folder) << FFLoader.LoadedPath(k);
  // The folder's libraries must not have pulled in the system's copies of each other.
  std::string maps = Maps();
  for (const char* f : {"libavutil.so.57", "libswresample.so.4", "libavcodec.so.59"})
    EXPECT_EQ(maps.find(std::string(SystemLibDir) + f), std::string::npos) << f;
  EXPECT_NE(maps.find((folder / "libavutil.so.57").string()), std::string::npos);
}

class FakeLibrary : public ::testing::Test {
 protected:
  void Install(const std::string& fake) {
    folder_ = tmp_.Path() / "LibAV";
    fs::create_directory(folder_);
    fs::copy_file(fs::path(test::BuildDir()) / "fakes" / fake, folder_ / "libswscale.so.6");
    FFLoader.SetLibraryPath(folder_.string());
  }
  void ExpectNothingLoaded() {
    for (TLibraryType k : Required) EXPECT_FALSE(FFLoader.IsLoaded(k)) << k;
    EXPECT_EQ(FF.sws_getContext, nullptr);
    EXPECT_EQ(FF.avcodec_open2, nullptr);
  }
  test::TempDir tmp_;
  fs::path folder_;
};

TEST_F(FakeLibrary, AMissingFunctionIsNamedAndLeavesNoLibraryLoaded) {
  Install("libfake_swscale_missing.so");
  EXPECT_FALSE(FFLoader.LoadLibs(RequiredLibraries));
  const std::string prefix = "Load function sws_scale@libswscale.so.6 error: ";
  std::string msg = FFLoader.GetLastErrMsg();
  EXPECT_EQ(msg.substr(0, prefix.size()), prefix) << msg;
  EXPECT_GT(msg.size(), prefix.size()) << "the system's text follows";
  ExpectNothingLoaded();
}

TEST_F(FakeLibrary, AForeignMajorVersionIsRefusedNamingBoth) {
  Install("libfake_swscale_oldmajor.so");
  EXPECT_FALSE(FFLoader.LoadLibs(RequiredLibraries));
  std::string msg = FFLoader.GetLastErrMsg();
  EXPECT_NE(msg.find("libswscale.so.6"), std::string::npos) << msg;
  EXPECT_NE(msg.find("major version 5"), std::string::npos) << msg;
  EXPECT_NE(msg.find(std::to_string(LIBSWSCALE_VERSION_MAJOR)), std::string::npos) << msg;
  ExpectNothingLoaded();
}

TEST(FFLoader, AMissingFileNamesTheFolderAndFileJoined) {
  FFLoader.SetLibFileName(ltSwScale, "libnotthere.so.1");
  FFLoader.SetLibraryPath("/nonexistent/LibAV");
  EXPECT_FALSE(FFLoader.LoadLib(ltSwScale));
  const std::string prefix = "Load library /nonexistent/LibAV/libnotthere.so.1 error: ";
  EXPECT_EQ(FFLoader.GetLastErrMsg().substr(0, prefix.size()), prefix) << FFLoader.GetLastErrMsg();

  FFLoader.SetLibraryPath("");
  EXPECT_FALSE(FFLoader.LoadLibs(RequiredLibraries));
  EXPECT_EQ(FFLoader.GetLastErrMsg().rfind("Load library libnotthere.so.1 error: ", 0), 0u);
  EXPECT_FALSE(FFLoader.IsLoaded(ltAVCodec)) << "a failed set releases what it loaded";
  FFLoader.SetLibFileName(ltSwScale, "");
}

TEST(FloatingPointControl, MasksEveryExceptionAndRestoresTheSavedSetting) {
  feenableexcept(FE_DIVBYZERO);
  {
    TFloatingPointControl control;
    EXPECT_EQ(fegetexcept(), 0);
    volatile double zero = 0.0;
    EXPECT_TRUE(std::isinf(1.0 / zero));
    EXPECT_TRUE(std::isnan(zero / zero));
  }
  EXPECT_EQ(fegetexcept() & FE_DIVBYZERO, FE_DIVBYZERO);
  fedisableexcept(FE_ALL_EXCEPT);
}

TEST(ProductBinaries, LinkNoMediaLibrary) {
  int checked = 0;
  for (auto& e : fs::directory_iterator(test::BuildDir())) {
    std::string name = e.path().filename().string();
    if (name.rfind("ostrelkalvexa", 0) != 0 || !e.is_regular_file()) continue;
    test::CommandResult r = test::RunCommand("ldd " + test::ShellQuote(e.path().string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("libav"), std::string::npos) << name << "\n" << r.output;
    EXPECT_EQ(r.output.find("libsw"), std::string::npos) << name << "\n" << r.output;
    EXPECT_EQ(r.output.find("libmediainfo"), std::string::npos) << name << "\n" << r.output;
    ++checked;
  }
  EXPECT_GE(checked, 1);
}

}  // namespace
}  // namespace ok
