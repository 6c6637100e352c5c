#include "media/media_info.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <system_error>
#include <type_traits>

namespace ok {

namespace {

// Information kind "text" and search kind "by name" of the library's Get.
constexpr int InfoText = 1;
constexpr int SearchByName = 0;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::string_view BeforeFirst(std::string_view text, char separator) {
  size_t at = text.find(separator);
  return at == std::string_view::npos ? text : text.substr(0, at);
}

// A leading "+" is accepted as the old conversions did; from_chars takes only "-".
std::string_view WithoutPlus(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  return text;
}

// The whole of `text` as a finite decimal number with "." as the separator.
bool ParseDecimal(std::string_view text, double& value) {
  text = WithoutPlus(text);
  const char* end = text.data() + text.size();
  double v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), end, v, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// A UTF-8 character type for the library's conversions. "C.UTF-8" is built into current C
// libraries; the others cover systems that only have generated locales.
void* NewUtf8Locale() {
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}) {
    if (locale_t loc = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) return loc;
  }
  return nullptr;
}

}  // namespace

int64_t MediaInfoIntRule(std::string_view text, int64_t def) {
  text = TrimBlanks(BeforeFirst(BeforeFirst(text, '.'), '/'));
  if (text.empty()) return def;
  text = WithoutPlus(text);
  const char* end = text.data() + text.size();
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end ? value : def;
}

double MediaInfoDecimalRule(std::string_view text, double def) {
  // Older code turned "." into the platform's separator and then read with it, which made every
  // fractional text the default on a platform whose separator is "."; the library always writes ".".
  text = TrimBlanks(BeforeFirst(text, '/'));
  double value = def;
  return !text.empty() && ParseDecimal(text, value) ? value : def;
}

double MediaInfoFrameRate(std::string_view text) {
  std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return 0;
  double value = 0;
  if (!ParseDecimal(trimmed, value))
    throw std::invalid_argument("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

std::string MediaInfoCodecFromFormat(std::string_view format, std::string_view profile) {
  format = TrimBlanks(format);
  profile = TrimBlanks(profile);
  if (format == "MPEG Audio") {
    if (profile.starts_with("Layer 3")) return "MP3";
    if (profile.starts_with("Layer 2")) return "MP2";
    if (profile.starts_with("Layer 1")) return "MP1";
  }
  if (format == "AC-3") return "AC3";
  return std::string(format);
}

// The library converts 8-bit texts with the calling thread's locale (the process's is "C" unless
// the program set another, and may be a non-UTF-8 one). Program texts are UTF-8, so every call
// runs with the UTF-8 locale on this thread only and restores the thread's own afterwards.
class TMediaInfoLibrary::TLocaleScope {
 public:
  explicit TLocaleScope(void* locale) {
    if (locale) previous_ = uselocale(static_cast<locale_t>(locale));
  }
  ~TLocaleScope() {
    if (previous_) uselocale(previous_);
  }
  TLocaleScope(const TLocaleScope&) = delete;
  TLocaleScope& operator=(const TLocaleScope&) = delete;

 private:
  locale_t previous_ = nullptr;
};

void TMediaInfoLibrary::TLocaleDeleter::operator()(void* locale) const {
  if (locale) freelocale(static_cast<locale_t>(locale));
}

TMediaInfoLibrary::TMediaInfoLibrary(const std::string& fileOrPath)
    : library_(fileOrPath), utf8Locale_(NewUtf8Locale()) {
  if (!library_.IsLoaded()) {
    lastError_ = "cannot load " + fileOrPath + ": " + DlLastError();
    return;
  }
  auto bind = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(library_.Symbol(name));
    if (!fn && lastError_.empty()) lastError_ = std::string(name) + " not found in " + fileOrPath;
  };
  bind(New_, "MediaInfoA_New");
  bind(Open_, "MediaInfoA_Open");
  bind(Option_, "MediaInfoA_Option");
  bind(Get_, "MediaInfoA_Get");
  bind(Delete_, "MediaInfoA_Delete");
  loaded_ = lastError_.empty();
  if (!loaded_) {
    // Not the library we know: answer empty rather than call half of it.
    New_ = nullptr;
    Open_ = nullptr;
    Option_ = nullptr;
    Get_ = nullptr;
    Delete_ = nullptr;
    library_.Reset();
  }
}

TMediaInfoLibrary::~TMediaInfoLibrary() = default;

std::shared_ptr<const TMediaInfoLibrary> TMediaInfoLibrary::Process() {
  static const std::shared_ptr<const TMediaInfoLibrary> library =
      std::make_shared<const TMediaInfoLibrary>(MediaInfoLibraryFileName);
  return library;
}

void* TMediaInfoLibrary::OpenFile(const std::string& fileName) const {
  // A name with a NUL in it would reach the library cut short and name another file.
  if (!loaded_ || fileName.find('\0') != std::string::npos) return nullptr;
  TLocaleScope utf8(utf8Locale_.get());
  void* handle = New_();
  if (handle) Open_(handle, fileName.c_str());
  return handle;
}

void TMediaInfoLibrary::Delete(void* handle) const {
  if (!loaded_ || !handle) return;
  TLocaleScope utf8(utf8Locale_.get());
  Delete_(handle);
}

std::string TMediaInfoLibrary::Get(void* handle, TMediaInfoStreamKind kind, size_t streamNumber,
                                   const char* parameter) const {
  if (!loaded_ || !handle) return "";
  TLocaleScope utf8(utf8Locale_.get());
  // The answer lives in a buffer of the handle until its next call: copy it at once.
  const char* text = Get_(handle, kind, streamNumber, parameter, InfoText, SearchByName);
  return text ? text : "";
}

std::string TMediaInfoLibrary::Option(void* handle, const char* option, const char* value) const {
  if (!loaded_) return "";
  std::unique_lock<std::mutex> lock(globalOptionLock_, std::defer_lock);
  if (!handle) lock.lock();
  TLocaleScope utf8(utf8Locale_.get());
  const char* text = Option_(handle, option, value);
  return text ? text : "";
}

TMediaInfoDll::TMediaInfoDll(const std::string& fileName)
    : TMediaInfoDll(fileName, TMediaInfoLibrary::Process()) {}

TMediaInfoDll::TMediaInfoDll(const std::string& fileName, std::shared_ptr<const TMediaInfoLibrary> library)
    : Handle(nullptr, THandleDeleter{std::move(library)}) {
  const TMediaInfoLibrary* lib = Handle.get_deleter().Library.get();
  if (!lib || !lib->IsLoaded()) return;
  Handle.reset(lib->OpenFile(fileName));
  // "Complete" is a library-wide setting whichever handle carries it. Given to the null handle the
  // library keeps an answer buffer for that handle that it never frees, so it goes through the
  // object's own handle. It changes only the full text report, not the parameters asked for here.
  if (Handle) lib->Option(Handle.get(), "Complete", "");
}

std::string TMediaInfoDll::Query(TMediaInfoStreamKind kind, size_t streamNumber,
                                 const char* parameter) const {
  if (!Handle) return "";
  return Handle.get_deleter().Library->Get(Handle.get(), kind, streamNumber, parameter);
}

// "Codec/String" is gone from current library generations; "Format" took its place with other
// texts ("MPEG Audio" + "Layer 3" for "MP3", "AC-3" for "AC3"). The old name is asked first so that
// an older library still answers with its own texts.
std::string TMediaInfoDll::CodecText(TMediaInfoStreamKind kind, size_t streamNumber) const {
  std::string codec = Query(kind, streamNumber, "Codec/String");
  if (!codec.empty()) return codec;
  std::string format = Query(kind, streamNumber, "Format");
  if (format.empty()) return "";
  return MediaInfoCodecFromFormat(format, Query(kind, streamNumber, "Format_Profile"));
}

double TMediaInfoDll::GetFrameRate() const { return MediaInfoFrameRate(Query(mskVideo, 0, "FrameRate")); }

std::string TMediaInfoDll::GetAudioCodec(int streamNumber) const {
  if (streamNumber < 0) return "";
  return CodecText(mskAudio, static_cast<size_t>(streamNumber));
}

int64_t TMediaInfoDll::GetDuration() const {
  // "PlayTime" is the old name of "Duration"; ask the new one where the old one is no longer known.
  std::string text = Query(mskGeneral, 0, "PlayTime");
  if (text.empty()) text = Query(mskGeneral, 0, "Duration");
  return MediaInfoIntRule(text, 0);
}

std::string TMediaInfoDll::GetFileExtension() const { return Query(mskGeneral, 0, "FileExtension"); }

// 32-bit results are the low part of the 64-bit value.
int TMediaInfoDll::GetHeight() const {
  return static_cast<int32_t>(static_cast<uint32_t>(MediaInfoIntRule(Query(mskVideo, 0, "Height"), 0)));
}

std::string TMediaInfoDll::GetVideoCodec() const { return CodecText(mskVideo, 0); }

int TMediaInfoDll::GetWidth() const {
  return static_cast<int32_t>(static_cast<uint32_t>(MediaInfoIntRule(Query(mskVideo, 0, "Width"), 0)));
}

double TMediaInfoDll::GetBitRate() const { return MediaInfoDecimalRule(Query(mskVideo, 0, "BitRate"), 0); }

}  // namespace ok
