#pragma once
// The media-information wrapper: resolution, duration, frame rate, bit rate and codec texts of one
// file, read through the 8-bit interface of the MediaInfo library, which is loaded at run time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/dynamic_library.h"

namespace ok {

// The library file found by the system's search.
inline constexpr const char* MediaInfoLibraryFileName = "libmediainfo.so.0";

// Stream kinds of the library's queries.
enum TMediaInfoStreamKind : int { mskGeneral = 0, mskVideo = 1, mskAudio = 2 };

// The integer rule: the part before the first "." and then before the first "/", trimmed, as a
// 64-bit integer; `def` when that is empty or not an integer.
int64_t MediaInfoIntRule(std::string_view text, int64_t def);

// The decimal rule: the part before the first "/", trimmed, as a decimal number with "." as the
// separator whatever the locale; `def` when that is empty or not a (finite) number.
double MediaInfoDecimalRule(std::string_view text, double def);

// A frame-rate text as a number: blanks around it are ignored, an empty text gives 0, anything
// else that is not wholly a finite decimal number (with ".") throws std::invalid_argument.
double MediaInfoFrameRate(std::string_view text);

// The codec text the library used to give under "Codec/String", from what it gives now under
// "Format" and "Format_Profile": MPEG audio by layer "MP1"/"MP2"/"MP3", "AC-3" -> "AC3"; every
// other format as it comes.
std::string MediaInfoCodecFromFormat(std::string_view format, std::string_view profile);

// The loaded library and its bound entry points. A library counts as loaded only when all of them
// were found; otherwise every call below answers empty. Calls run with a UTF-8 character type on the
// calling thread, since the library converts 8-bit names and texts with the thread's locale.
class TMediaInfoLibrary {
 public:
  explicit TMediaInfoLibrary(const std::string& fileOrPath);
  ~TMediaInfoLibrary();
  TMediaInfoLibrary(const TMediaInfoLibrary&) = delete;
  TMediaInfoLibrary& operator=(const TMediaInfoLibrary&) = delete;

  // The library of this process, loaded on first use (from any thread) and kept.
  static std::shared_ptr<const TMediaInfoLibrary> Process();

  bool IsLoaded() const { return loaded_; }
  // Why loading failed; "" when loaded.
  const std::string& LastError() const { return lastError_; }

  // A new handle with `fileName` opened in it (nullptr without the library); the outcome of opening
  // is not examined: a file the library cannot read simply answers empty texts.
  void* OpenFile(const std::string& fileName) const;
  void Delete(void* handle) const;
  // The text of a parameter found by name ("" for a null handle or when the library has none).
  std::string Get(void* handle, TMediaInfoStreamKind kind, size_t streamNumber, const char* parameter) const;
  // An option; a null handle sets it for the whole library. Returns the library's answer.
  std::string Option(void* handle, const char* option, const char* value) const;

 private:
  using NewFn = void* (*)();
  using OpenFn = size_t (*)(void*, const char*);
  using OptionFn = const char* (*)(void*, const char*, const char*);
  using GetFn = const char* (*)(void*, int, size_t, const char*, int, int);
  using DeleteFn = void (*)(void*);

  struct TLocaleDeleter {
    void operator()(void* locale) const;
  };
  class TLocaleScope;

  TDynamicLibrary library_;
  NewFn New_ = nullptr;
  OpenFn Open_ = nullptr;
  OptionFn Option_ = nullptr;
  GetFn Get_ = nullptr;
  DeleteFn Delete_ = nullptr;
  bool loaded_ = false;
  std::string lastError_;
  std::unique_ptr<void, TLocaleDeleter> utf8Locale_;  // a locale_t with a UTF-8 LC_CTYPE, or null
  // Answers to options of the null handle share one buffer in the library.
  mutable std::mutex globalOptionLock_;
};

// One file as the MediaInfo library describes it. The handle is released on destruction. One
// object is used by one thread at a time; separate objects may be used on separate threads.
class TMediaInfoDll {
 public:
  // `fileName` is the file's real path (UTF-8, as it is on disk).
  explicit TMediaInfoDll(const std::string& fileName);
  TMediaInfoDll(const std::string& fileName, std::shared_ptr<const TMediaInfoLibrary> library);
  TMediaInfoDll(const TMediaInfoDll&) = delete;
  TMediaInfoDll& operator=(const TMediaInfoDll&) = delete;
  TMediaInfoDll(TMediaInfoDll&&) noexcept = default;
  TMediaInfoDll& operator=(TMediaInfoDll&&) noexcept = default;
  ~TMediaInfoDll() = default;

  // Frames per second of video stream 0; 0 when there is none. Throws std::invalid_argument when
  // the library answers something that is not a number.
  double GetFrameRate() const;
  // The codec text of audio stream `streamNumber` ("MP3", "AAC", "AC3", ...); "" when there is none.
  std::string GetAudioCodec(int streamNumber) const;
  // Milliseconds; 0 when unknown.
  int64_t GetDuration() const;
  // As the library reports it, normally without a dot ("mp4").
  std::string GetFileExtension() const;
  int GetHeight() const;
  // The codec text of video stream 0 ("AVC", "MPEG-4 Visual", ...); "" when there is none.
  std::string GetVideoCodec() const;
  int GetWidth() const;
  // Bits per second of video stream 0; 0 when unknown.
  double GetBitRate() const;

  void* GetHandle() const { return Handle.get(); }

 private:
  // Keeps the library loaded for as long as the handle lives.
  struct THandleDeleter {
    std::shared_ptr<const TMediaInfoLibrary> Library;
    void operator()(void* handle) const { Library->Delete(handle); }
  };

  std::string Query(TMediaInfoStreamKind kind, size_t streamNumber, const char* parameter) const;
  std::string CodecText(TMediaInfoStreamKind kind, size_t streamNumber) const;

  std::unique_ptr<void, THandleDeleter> Handle;
};

}  // namespace ok
