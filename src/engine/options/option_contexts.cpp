#include "engine/options/option_contexts.h"

#include "engine/ffmpeg_exception.h"

namespace ok {

void TFormatContextDeleter::operator()(AVFormatContext* context) const {
  if (FF.avformat_free_context) FF.avformat_free_context(context);
}

void TBsfContextDeleter::operator()(AVBSFContext* context) const {
  if (FF.av_bsf_free) FF.av_bsf_free(&context);
}

TDictionary::~TDictionary() { Clear(); }

TDictionary& TDictionary::operator=(TDictionary&& other) noexcept {
  if (this != &other) {
    Clear();
    dict_ = other.dict_;
    other.dict_ = nullptr;
  }
  return *this;
}

void TDictionary::Set(const std::string& key, const std::string& value, int flags) {
  if (FF.av_dict_set(&dict_, key.c_str(), value.c_str(), flags) < 0)
    throw FFmpegException("Out of memory while recording option " + key);
}

std::string TDictionary::Value(const std::string& key) const {
  const AVDictionaryEntry* e = dict_ ? FF.av_dict_get(dict_, key.c_str(), nullptr, 0) : nullptr;
  return e && e->value ? e->value : "";
}

bool TDictionary::Has(const std::string& key) const {
  return dict_ && FF.av_dict_get(dict_, key.c_str(), nullptr, 0) != nullptr;
}

int TDictionary::Count() const {
  int n = 0;
  const AVDictionaryEntry* e = nullptr;
  while (dict_ && (e = FF.av_dict_get(dict_, "", e, AV_DICT_IGNORE_SUFFIX))) ++n;
  return n;
}

void TDictionary::Clear() {
  if (dict_ && FF.av_dict_free) FF.av_dict_free(&dict_);
  dict_ = nullptr;
}

namespace {

// The old generation gave a codec context only the defaults of the options of its media type;
// data and attachment contexts take every default.
int TypeMask(int mediaType) {
  switch (mediaType) {
    case MediaVideo:
      return AV_OPT_FLAG_VIDEO_PARAM;
    case MediaAudio:
      return AV_OPT_FLAG_AUDIO_PARAM;
    case MediaSubtitle:
      return AV_OPT_FLAG_SUBTITLE_PARAM;
    default:
      return 0;
  }
}

}  // namespace

void TOptionContexts::Create(int swsFlags) {
  Release();
  for (int t = 0; t < MediaTypeCount; ++t) {
    CodecOptions[t].reset(FF.avcodec_alloc_context3(nullptr));
    if (!CodecOptions[t]) throw FFmpegException("Could not allocate the codec option context");
    CodecOptions[t]->codec_type = AVMediaType(t);
    if (int mask = TypeMask(t)) FF.av_opt_set_defaults2(CodecOptions[t].get(), mask, mask);
  }
  FormatOptions.reset(FF.avformat_alloc_context());
  if (!FormatOptions) throw FFmpegException("Could not allocate the format option context");
  // Only a holder of the scaler's option names and defaults; it never scales.
  ScalerOptions.reset(FF.sws_getContext(16, 16, AVPixelFormat(0), 16, 16, AVPixelFormat(0), swsFlags, nullptr,
                                        nullptr, nullptr));
  if (!ScalerOptions) throw FFmpegException("Could not allocate the scaler option context");
}

void TOptionContexts::Release() {
  for (auto& c : CodecOptions) c.reset();
  FormatOptions.reset();
  ScalerOptions.reset();
  OptionNames.clear();
  for (auto& d : CodecPrivateOptions) d.Clear();
  FormatPrivateOptions.Clear();
}

}  // namespace ok
