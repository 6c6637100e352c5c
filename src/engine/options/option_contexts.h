#pragma once
// The library objects that hold generic options until the streams and files that use them exist:
// one codec context per media type, a format context and a scaler context, the names of the
// options set on them, and the options that this library generation keeps private to single
// encoders or muxers.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/options/option_state.h"
#include "media/ff_holders.h"

namespace ok {

// A format context that was never opened (an option holder or an output being built).
struct TFormatContextDeleter {
  void operator()(AVFormatContext* context) const;
};
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TFormatContextDeleter>;

// An owned AVDictionary.
class TDictionary {
 public:
  TDictionary() = default;
  ~TDictionary();
  TDictionary(TDictionary&& other) noexcept : dict_(other.dict_) { other.dict_ = nullptr; }
  TDictionary& operator=(TDictionary&& other) noexcept;
  TDictionary(const TDictionary&) = delete;
  TDictionary& operator=(const TDictionary&) = delete;

  AVDictionary* Get() const { return dict_; }
  void Set(const std::string& key, const std::string& value, int flags = 0);
  // The value of `key`, "" when absent.
  std::string Value(const std::string& key) const;
  bool Has(const std::string& key) const;
  int Count() const;
  void Clear();

 private:
  AVDictionary* dict_ = nullptr;
};

struct TOptionContexts {
  std::array<TCodecContextPtr, MediaTypeCount> CodecOptions;
  TFormatContextPtr FormatOptions;
  TSwsContextPtr ScalerOptions;
  // The libraries' own names of the generic options that were set, in order.
  std::vector<std::string> OptionNames;
  // Per media type: options of encoders of that type, applied to an encoder that has them.
  std::array<TDictionary, MediaTypeCount> CodecPrivateOptions;
  // Options of muxers, applied to an output format that has them.
  TDictionary FormatPrivateOptions;

  bool Created() const { return FormatOptions != nullptr; }
  int OptionNameCount() const { return int(OptionNames.size()); }

  // Allocates every context with the library's defaults (the codec contexts with those of their
  // media type; the scaler context for 16x16 pictures of pixel format 0 with `swsFlags`). Raises
  // FFmpegException when the libraries cannot allocate them.
  void Create(int swsFlags);
  void Release();
};

}  // namespace ok
