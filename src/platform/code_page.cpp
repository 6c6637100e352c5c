#include "platform/code_page.h"

#include <iconv.h>
#include <locale.h>
#include <wchar.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

namespace ok {

namespace {

std::atomic<TCodePage> g_codePage{TCodePage::Utf8};

const char kReplacementChar[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Length of the well-formed UTF-8 sequence that starts at `i`, or 0 when the bytes there are not
// one (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8SequenceLength(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const size_t n = s.size();
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  const auto cont = [&](size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return k < n && byte(k) >= lo && byte(k) <= hi;
  };
  if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
  if (c == 0xE0) return cont(i + 1, 0xA0) && cont(i + 2) ? 3 : 0;
  if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) return cont(i + 1) && cont(i + 2) ? 3 : 0;
  if (c == 0xED) return cont(i + 1, 0x80, 0x9F) && cont(i + 2) ? 3 : 0;
  if (c == 0xF0) return cont(i + 1, 0x90) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) return cont(i + 1) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  if (c == 0xF4) return cont(i + 1, 0x80, 0x8F) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  return 0;
}

bool IsAscii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// One conversion descriptor, opened per call: iconv descriptors carry state and must not be shared
// between threads.
class TIconv {
 public:
  TIconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~TIconv() {
    if (IsOpen()) ::iconv_close(cd_);
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;

  bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in` from `pos` on, appending to `out`. Stops at the first byte it cannot convert and
  // returns false with `pos` pointing there; returns true when all input was consumed.
  bool Convert(const std::string& in, size_t& pos, std::string& out) {
    char buffer[1024];
    while (pos < in.size()) {
      char* src = const_cast<char*>(in.data() + pos);
      size_t srcLeft = in.size() - pos;
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      const size_t r = ::iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      const int err = errno;
      out.append(buffer, static_cast<size_t>(dst - buffer));
      pos = in.size() - srcLeft;
      if (r == static_cast<size_t>(-1) && err != E2BIG) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return false;
      }
    }
    return true;
  }

 private:
  iconv_t cd_;
};

std::string SanitizeUtf8(const std::string& utf8, bool* lossless) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t len = Utf8SequenceLength(utf8, i);
    if (len == 0) {
      out += '?';
      if (lossless) *lossless = false;
      ++i;
    } else {
      out.append(utf8, i, len);
      i += len;
    }
  }
  return out;
}

std::string Utf8ToCp936(const std::string& utf8, bool* lossless) {
  TIconv cv("CP936", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    if (cv.IsOpen() && cv.Convert(utf8, pos, out)) break;
    // Either a character GBK lacks or a malformed byte: one '?' per character.
    const size_t len = Utf8SequenceLength(utf8, pos);
    if (!cv.IsOpen() && len == 1) {
      out += utf8[pos];
    } else {
      out += '?';
      if (lossless) *lossless = false;
    }
    pos += len == 0 ? 1 : len;
  }
  return out;
}

std::string Cp936ToUtf8(const std::string& bytes) {
  TIconv cv("UTF-8", "CP936");
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  size_t pos = 0;
  while (pos < bytes.size()) {
    if (cv.IsOpen() && cv.Convert(bytes, pos, out)) break;
    if (!cv.IsOpen() && static_cast<unsigned char>(bytes[pos]) < 0x80)
      out += bytes[pos];
    else
      out += kReplacementChar;
    ++pos;  // a bad lead byte goes alone: the byte after it may start a good character
  }
  return out;
}

// The code point of the well-formed sequence of `length` bytes at `i`.
char32_t DecodeUtf8(const std::string& s, size_t i, size_t length) {
  static constexpr unsigned char leadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t point = static_cast<unsigned char>(s[i]) & leadMask[length];
  for (size_t k = 1; k < length; ++k) point = (point << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return point;
}

// Columns of the character at `i`, whose sequence takes `length` bytes (0: not one).
size_t CharacterWidth(const std::string& s, size_t i, size_t length) {
  if (length <= 1) return 1;
  // wcwidth answers for the calling thread's locale; the user's may be "C" or a non-UTF-8 one.
  static const locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
  if (!utf8Locale) return 1;
  const locale_t previous = uselocale(utf8Locale);
  const int width = wcwidth(wchar_t(DecodeUtf8(s, i, length)));
  uselocale(previous);
  return width < 0 ? 1 : size_t(width);
}

// Walks `utf8` until the next character would pass `columns`; returns the bytes taken.
size_t FitWidth(const std::string& utf8, size_t columns, size_t& width) {
  width = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t length = Utf8SequenceLength(utf8, i);
    const size_t w = CharacterWidth(utf8, i, length);
    if (width + w > columns) break;
    width += w;
    i += length == 0 ? 1 : length;
  }
  return i;
}

}  // namespace

void SetCodePage(TCodePage page) { g_codePage.store(page, std::memory_order_relaxed); }

TCodePage CurrentCodePage() { return g_codePage.load(std::memory_order_relaxed); }

std::string ToCodePage(const std::string& utf8, bool* lossless) {
  return Utf8ToPage(utf8, CurrentCodePage(), lossless);
}

std::string FromCodePage(const std::string& bytes) { return PageToUtf8(bytes, CurrentCodePage()); }

std::string Utf8ToPage(const std::string& utf8, TCodePage page, bool* lossless) {
  if (lossless) *lossless = true;
  if (IsAscii(utf8)) return utf8;
  if (page == TCodePage::Cp936) return Utf8ToCp936(utf8, lossless);
  return SanitizeUtf8(utf8, lossless);
}

std::string PageToUtf8(const std::string& bytes, TCodePage page) {
  if (IsAscii(bytes)) return bytes;
  if (page == TCodePage::Cp936) return Cp936ToUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const size_t len = Utf8SequenceLength(bytes, i);
    if (len == 0) {
      out += kReplacementChar;
      ++i;
    } else {
      out.append(bytes, i, len);
      i += len;
    }
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t len = Utf8SequenceLength(text, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

size_t DisplayWidth(const std::string& utf8) {
  size_t width = 0;
  FitWidth(utf8, size_t(-1), width);
  return width;
}

std::string CutToWidth(const std::string& utf8, size_t columns) {
  size_t width = 0;
  return utf8.substr(0, FitWidth(utf8, columns, width));
}

}  // namespace ok
