#include "media/lib_file_name.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "platform/code_page.h"
#include "support/code_page_scope.h"
#include "support/test_support.h"

namespace ok {
namespace {

namespace fs = std::filesystem;
using test::CodePageScope;

// A character that GBK cannot express.
const std::string OutsideCp936 = "\xF0\x9F\x98\x80";  // U+1F600

TEST(OpenErrorText, MapsTheLibraryCodesByMeaning) {
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR_INVALIDDATA), "a.avi: Unknown format");
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(ENOENT)), "a.avi: no such file or directory");
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(EIO)),
            "a.avi: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.");
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(EINVAL)), "a.avi: Error while parsing header");
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(ENOMEM)), "a.avi: memory allocation error occurred");
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(EACCES)), "a.avi: Error while opening file");
  // A full disk says so.
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(ENOSPC)), "a.avi: No space left on device");
  EXPECT_EQ(OpenErrorText("a.avi", AVERROR(EMFILE)), "a.avi: Too many open files");
  std::string image = OpenErrorText("img.jpg", AVERROR(EDOM));
  EXPECT_EQ(image.rfind("img.jpg: Incorrect image filename syntax.\r\nUse '%d' to specify", 0), 0u) << image;
  EXPECT_NE(image.find("use 'img%03d.jpg'."), std::string::npos);
  // A file name's own percent signs are not format directives.
  EXPECT_EQ(OpenErrorText("100%s.avi", AVERROR(ENOENT)), "100%s.avi: no such file or directory");
}

TEST(LibFileName, NamesWhoseCodePageFormDiffersGoOverTheProtocol) {
  CodePageScope cp936(TCodePage::Cp936);
  EXPECT_FALSE(NeedsUnicodeName("/tmp/clip-1.mp4"));
  EXPECT_EQ(EncodeLibFileName("/tmp/clip-1.mp4"), "/tmp/clip-1.mp4");

  // GBK bytes would name another file on this file system: the name goes over the protocol even
  // though the code page can express it.
  const std::string chinese = "/tmp/视频.mp4";
  EXPECT_TRUE(NeedsUnicodeName(chinese));
  EXPECT_EQ(EncodeLibFileName(chinese), "unicode:utf8:" + chinese);
  EXPECT_EQ(DecodeLibFileName(EncodeLibFileName(chinese)), chinese);
  // A plain library name in the code page reads back as UTF-8.
  EXPECT_EQ(DecodeLibFileName(ToCodePage(chinese)), chinese);

  const std::string smiley = "/tmp/clip" + OutsideCp936 + ".mp4";
  EXPECT_TRUE(NeedsUnicodeName(smiley));
  EXPECT_EQ(EncodeLibFileName(smiley), "unicode:utf8:" + smiley);
  EXPECT_EQ(DecodeLibFileName(EncodeLibFileName(smiley)), smiley);

  // Listed protocols pass unchanged; a drive-letter-like prefix is judged by its characters.
  EXPECT_FALSE(NeedsUnicodeName("http://host/" + OutsideCp936));
  EXPECT_TRUE(NeedsUnicodeName("C:" + OutsideCp936));
  EXPECT_FALSE(NeedsUnicodeName("C:/tmp/a.mp4"));
}

TEST(LibFileName, Utf8CodePageNeedsNoProtocol) {
  CodePageScope utf8(TCodePage::Utf8);
  const std::string smiley = "/tmp/clip" + OutsideCp936 + "视频.mp4";
  EXPECT_FALSE(NeedsUnicodeName(smiley));
  EXPECT_EQ(EncodeLibFileName(smiley), smiley);
}

TEST(LibFileName, ProtocolFormNeedsMoreThanThePrefixAndLongNamesAreRefused) {
  EXPECT_FALSE(IsUnicodeName("unicode:utf8:"));
  EXPECT_TRUE(IsUnicodeName("unicode:utf8:a"));
  EXPECT_FALSE(IsUnicodeName("unicode:utf16:a"));

  EXPECT_EQ(EncodeLibFileName(std::string(LibFileNameMax, 'a')).size(), LibFileNameMax);
  EXPECT_THROW(EncodeLibFileName(std::string(LibFileNameMax + 1, 'a')), EFileNameTooLong);
  CodePageScope cp936(TCodePage::Cp936);
  // The prefix counts: a name that fits plain may not fit in the protocol form.
  EXPECT_THROW(EncodeLibFileName(std::string(LibFileNameMax - 10, 'a') + OutsideCp936), EFileNameTooLong);
}

TEST(FileSizeOf, TellsRegularFilesOnly) {
  test::TempDir tmp;
  EXPECT_EQ(FileSizeOf(tmp.Path().string()), -1);
  EXPECT_EQ(FileSizeOf(tmp / "missing"), -1);
  std::ofstream(tmp / "empty").close();
  EXPECT_EQ(FileSizeOf(tmp / "empty"), 0);
  // A sparse file of exactly 4 GiB costs no disk space.
  { std::ofstream big(tmp / "big"); }
  ASSERT_EQ(::truncate((tmp / "big").c_str(), 4294967296LL), 0);
  EXPECT_EQ(FileSizeOf(tmp / "big"), 4294967296LL);
}

TEST(SplitFirst, TakesTheHeadAndOptionallyTheRest) {
  std::string text = "vcodec=mpeg4=x", head;
  SplitFirst(text, "=", false, head);
  EXPECT_EQ(head, "vcodec");
  EXPECT_EQ(text, "vcodec=mpeg4=x");
  SplitFirst(text, "=", true, head);
  EXPECT_EQ(head, "vcodec");
  EXPECT_EQ(text, "mpeg4=x");
  SplitFirst(text, "::", true, head);
  EXPECT_EQ(head, "mpeg4=x");
  EXPECT_EQ(text, "");
}

class UnicodeProtocol : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg();
  }
  test::TempDir tmp_;
};

TEST_F(UnicodeProtocol, WriteReplacesContentAndSizeQueryLeavesThePosition) {
  std::string path = tmp_ / ("five" + OutsideCp936);
  std::ofstream(path) << "old content that is longer";
  AVIOContext* pb = nullptr;
  ASSERT_EQ(UnicodeOpen(&pb, "unicode:utf8:" + path, AVIO_FLAG_WRITE), 0);
  ASSERT_TRUE(IsUnicodeIO(pb));
  FF.avio_write(pb, reinterpret_cast<const unsigned char*>("12345"), 5);
  UnicodeClose(&pb);
  EXPECT_EQ(pb, nullptr);
  EXPECT_EQ(FileSizeOf(path), 5);

  ASSERT_EQ(UnicodeOpen(&pb, "unicode:utf8:" + path, AVIO_FLAG_READ), 0);
  unsigned char buf[8] = {};
  EXPECT_EQ(FF.avio_read(pb, buf, 2), 2);
  EXPECT_EQ(FF.avio_size(pb), 5);
  EXPECT_EQ(FF.avio_seek(pb, 0, SEEK_CUR), 2);
  EXPECT_EQ(FF.avio_read(pb, buf, 8), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "345");
  UnicodeClose(&pb);

  EXPECT_EQ(UnicodeOpen(&pb, "unicode:utf8:" + tmp_ / "missing", AVIO_FLAG_READ), AVERROR(ENOENT));
  EXPECT_EQ(UnicodeOpen(&pb, "unicode:utf8:" + tmp_.Path().string(), AVIO_FLAG_READ), AVERROR(ENOENT));
  EXPECT_EQ(pb, nullptr);
}

TEST_F(UnicodeProtocol, OpensAMediaFileWhoseNameTheCodePageCannotExpress) {
  std::string fixture = test::Fixture("unicode-src.mp4", "-f lavfi -i testsrc=size=64x48:rate=10:duration=1");
  CodePageScope cp936(TCodePage::Cp936);
  for (const std::string& name : {"clip" + OutsideCp936 + ".mp4", std::string("视频.mp4")}) {
    std::string path = tmp_ / name;
    fs::copy_file(fixture, path);
    std::string libName = EncodeLibFileName(path);
    ASSERT_TRUE(IsUnicodeName(libName));

    AVFormatContext* ctx = nullptr;
    ASSERT_EQ(OpenInputContext(&ctx, libName, nullptr, nullptr), 0);
    ASSERT_GE(FF.avformat_find_stream_info(ctx, nullptr), 0);
    EXPECT_EQ(ctx->streams[0]->codecpar->width, 64);
    EXPECT_EQ(DecodeLibFileName(ctx->url), path);
    AVPacket* pkt = FF.av_packet_alloc();
    int packets = 0;
    while (FF.av_read_frame(ctx, pkt) >= 0) {
      ++packets;
      FF.av_packet_unref(pkt);
    }
    FF.av_packet_free(&pkt);
    EXPECT_EQ(packets, 10);
    CloseInputContext(&ctx);
    EXPECT_EQ(ctx, nullptr);
  }

  // A failed open through the protocol leaves nothing behind (the sanitizers check for leaks).
  std::string junk = tmp_ / ("junk" + OutsideCp936 + ".avi");
  std::ofstream(junk) << "this is not a media file at all, just some text";
  AVFormatContext* ctx = nullptr;
  EXPECT_LT(OpenInputContext(&ctx, EncodeLibFileName(junk), nullptr, nullptr), 0);
  EXPECT_EQ(ctx, nullptr);
}

}  // namespace
}  // namespace ok
