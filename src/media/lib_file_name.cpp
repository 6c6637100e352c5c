#include "media/lib_file_name.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "media/ff_functions.h"
#include "platform/code_page.h"

namespace ok {

namespace {

const char UnicodePrefix[] = "unicode:utf8:";
constexpr size_t UnicodePrefixLength = sizeof UnicodePrefix - 1;
const char PlainProtocols[] = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";
constexpr int UnicodeBufferSize = 32768;

std::atomic<bool> unicodeRegistered{false};

std::string Formatted(const char* fmt, const std::string& fileName) {
  std::string out;
  for (const char* p = fmt; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += fileName;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      out += '%';
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// The open file behind a byte stream of the "unicode" protocol.
struct TUnicodeFile {
  int fd = -1;
  ~TUnicodeFile() {
    if (fd >= 0) ::close(fd);
  }
};

int UnicodeRead(void* opaque, uint8_t* buf, int size) {
  auto* f = static_cast<TUnicodeFile*>(opaque);
  for (;;) {
    ssize_t n = ::read(f->fd, buf, size_t(size));
    if (n > 0) return int(n);
    if (n == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
  }
}

int UnicodeWrite(void* opaque, uint8_t* buf, int size) {
  auto* f = static_cast<TUnicodeFile*>(opaque);
  int done = 0;
  while (done < size) {
    ssize_t n = ::write(f->fd, buf + done, size_t(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? AVERROR(errno) : AVERROR(EIO);
    done += int(n);
  }
  return done;
}

int64_t UnicodeSeek(void* opaque, int64_t position, int whence) {
  auto* f = static_cast<TUnicodeFile*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat st;
    return ::fstat(f->fd, &st) == 0 ? int64_t(st.st_size) : -1;
  }
  off_t r = ::lseek(f->fd, off_t(position), whence & ~AVSEEK_FORCE);
  return r < 0 ? -1 : int64_t(r);
}

}  // namespace

std::string OpenErrorText(const std::string& fileName, int code) {
  const char* fmt;
  // The old generation's codes, by meaning: its "no format" code is what this one returns for
  // data it cannot recognise.
  if (code == AVERROR_INVALIDDATA || code == AVERROR(EILSEQ))
    fmt = "%s: Unknown format";
  else if (code == AVERROR(EDOM))
    fmt =
        "%s: Incorrect image filename syntax.\r\nUse '%%d' to specify the image number:\r\n"
        "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n"
        "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.";
  else if (code == AVERROR(EINVAL))
    fmt = "%s: Error while parsing header";
  else if (code == AVERROR(ENOMEM))
    fmt = "%s: memory allocation error occurred";
  else if (code == AVERROR(EIO))
    fmt = "%s: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.";
  else if (code == AVERROR(ENOENT))
    fmt = "%s: no such file or directory";
  else if (code == ErrorNotRegularFile)
    fmt = "%s: not a regular file or block device (a pipe or device could block), not opened";
  else if (code == AVERROR(ENOSPC) || code == AVERROR(EDQUOT) || code == AVERROR(EFBIG) ||
           code == AVERROR(EMFILE) || code == AVERROR(ENFILE)) {
    // A full disk or quota, or no file descriptor left: the system's own words.
    char text[256];
    return fileName + ": " + strerror_r(-code, text, sizeof text);
  } else
    fmt = "%s: Error while opening file";
  return Formatted(fmt, fileName);
}

bool NeedsUnicodeName(const std::string& name) {
  size_t colon = name.find(':');
  if (colon != std::string::npos) {
    std::string protocol = ToCodePage(":" + name.substr(0, colon) + ":");
    if (std::strstr(PlainProtocols, protocol.c_str())) return false;
  }
  // The file system takes the name's own bytes: a code-page form that differs from them (CP936
  // bytes of a Chinese name, say) would name another file, so only a byte-identical form goes plain.
  bool lossless = true;
  std::string converted = ToCodePage(name, &lossless);
  return !lossless || converted != name;
}

std::string EncodeLibFileName(const std::string& name) {
  std::string text = NeedsUnicodeName(name) ? UnicodePrefix + name : ToCodePage(name);
  if (text.size() > LibFileNameMax)
    throw EFileNameTooLong("File name too long for the media libraries (" + std::to_string(text.size()) +
                           " bytes, at most " + std::to_string(LibFileNameMax) + "): " + name);
  return text;
}

bool IsUnicodeName(const std::string& libName) {
  return libName.size() > UnicodePrefixLength && libName.compare(0, UnicodePrefixLength, UnicodePrefix) == 0;
}

std::string DecodeLibFileName(const std::string& libName) {
  if (IsUnicodeName(libName)) return libName.substr(UnicodePrefixLength);
  return FromCodePage(libName);
}

bool RegisterUnicodeProtocol() {
  // This library generation has no public protocol list to extend; the protocol is served by the
  // openers below as a custom byte stream. It is registered once, unless the library knows one.
  void* it = nullptr;
  while (const char* p = FF.avio_enum_protocols(&it, 0))
    if (std::strcmp(p, "unicode") == 0) return false;
  bool expected = false;
  return unicodeRegistered.compare_exchange_strong(expected, true);
}

bool UnicodeProtocolRegistered() { return unicodeRegistered.load(); }

int UnicodeOpen(AVIOContext** pb, const std::string& libName, int flags) {
  *pb = nullptr;
  int mode;
  if ((flags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE)
    mode = O_RDWR | O_CREAT | O_TRUNC;
  else if (flags & AVIO_FLAG_WRITE)
    mode = O_WRONLY | O_CREAT | O_TRUNC;
  else
    mode = O_RDONLY;
  auto file = std::make_unique<TUnicodeFile>();
  file->fd = ::open(DecodeLibFileName(libName).c_str(), mode | O_CLOEXEC, 0666);
  struct stat st;
  if (file->fd < 0 || ::fstat(file->fd, &st) != 0 || S_ISDIR(st.st_mode)) return AVERROR(ENOENT);
  auto* buffer = static_cast<unsigned char*>(FF.av_malloc(UnicodeBufferSize));
  if (!buffer) return AVERROR(ENOMEM);
  bool writable = (flags & AVIO_FLAG_WRITE) != 0;
  *pb = FF.avio_alloc_context(buffer, UnicodeBufferSize, writable ? 1 : 0, file.get(), UnicodeRead,
                              UnicodeWrite, UnicodeSeek);
  if (!*pb) {
    FF.av_free(buffer);
    return AVERROR(ENOMEM);
  }
  file.release();
  return 0;
}

bool IsUnicodeIO(const AVIOContext* pb) { return pb && pb->read_packet == UnicodeRead; }

void UnicodeClose(AVIOContext** pb) {
  if (!pb || !*pb) return;
  std::unique_ptr<TUnicodeFile> file(static_cast<TUnicodeFile*>((*pb)->opaque));
  if ((*pb)->write_flag) FF.avio_flush(*pb);
  FF.av_freep(&(*pb)->buffer);
  FF.avio_context_free(pb);
}

int OpenInputContext(AVFormatContext** ctx, const std::string& libName, const AVInputFormat* format,
                     AVDictionary** options) {
  *ctx = nullptr;
  if (!IsUnicodeName(libName)) return FF.avformat_open_input(ctx, libName.c_str(), format, options);
  AVIOContext* pb = nullptr;
  int r = UnicodeOpen(&pb, libName, AVIO_FLAG_READ);
  if (r < 0) return r;
  AVFormatContext* c = FF.avformat_alloc_context();
  if (!c) {
    UnicodeClose(&pb);
    return AVERROR(ENOMEM);
  }
  c->pb = pb;
  c->flags |= AVFMT_FLAG_CUSTOM_IO;
  // On failure the library frees the context it was given, but never a caller's byte stream.
  r = FF.avformat_open_input(&c, libName.c_str(), format, options);
  if (r < 0) {
    UnicodeClose(&pb);
    return r;
  }
  *ctx = c;
  return 0;
}

void CloseInputContext(AVFormatContext** ctx) {
  if (!ctx || !*ctx) return;
  AVIOContext* pb = ((*ctx)->flags & AVFMT_FLAG_CUSTOM_IO) ? (*ctx)->pb : nullptr;
  FF.avformat_close_input(ctx);
  if (IsUnicodeIO(pb)) UnicodeClose(&pb);
}

int OpenOutputIO(AVIOContext** pb, const std::string& libName, int flags) {
  if (IsUnicodeName(libName)) return UnicodeOpen(pb, libName, flags);
  return FF.avio_open2(pb, libName.c_str(), flags, nullptr, nullptr);
}

void CloseOutputIO(AVIOContext** pb) {
  if (!pb || !*pb) return;
  if (IsUnicodeIO(*pb))
    UnicodeClose(pb);
  else
    FF.avio_closep(pb);
}

namespace {

int OpenFurtherFile(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                    AVDictionary** options) {
  if (IsUnicodeName(url)) return UnicodeOpen(pb, url, flags);
  return FF.avio_open2(pb, url, flags, &s->interrupt_callback, options);
}

void CloseFurtherFile(AVFormatContext*, AVIOContext* pb) { CloseOutputIO(&pb); }

}  // namespace

void OpenFurtherFilesByLibName(AVFormatContext* oc) {
  oc->io_open = OpenFurtherFile;
  oc->io_close = CloseFurtherFile;
}

std::string LocalPathOf(const std::string& name) {
  const size_t colon = name.find(':');
  if (colon == std::string::npos || colon == 0 ||
      name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_+-.") < colon)
    return name;
  return name.compare(0, colon, "file") == 0 ? name.substr(colon + 1) : "";
}

int CheckLocalInput(const std::string& fileName) {
  const std::string path = LocalPathOf(fileName);
  struct stat st;
  // Another protocol's address, or nothing there: the opening says what is wrong.
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return 0;
  // A folder does not block: its opening fails as it always did.
  return S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode) ? ErrorNotRegularFile : 0;
}

int64_t FileSizeOf(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

void SplitFirst(std::string& text, const std::string& separator, bool remove, std::string& head) {
  size_t at = separator.empty() ? std::string::npos : text.find(separator);
  if (at != std::string::npos) {
    head = text.substr(0, at);
    if (remove) text.erase(0, at + separator.size());
  } else {
    head = text;
    if (remove) text.clear();
  }
}

}  // namespace ok
