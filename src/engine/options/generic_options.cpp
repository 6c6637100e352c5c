// Generic options: names the dispatcher does not handle, set on the libraries' own option tables
// and copied later onto the codec and format contexts that use them.

#include <memory>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "engine/options/option_successors.h"
#include "engine/options/value_parsing.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// The media-type masks of the codec contexts: data and attachment take every option.
constexpr int TypeMasks[MediaTypeCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                           AV_OPT_FLAG_SUBTITLE_PARAM, 0};

void LogInvalidValue(const std::string& name, const std::string& value) {
  FF.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
}

}  // namespace

bool TCustomFFmpeg::SetGenericOption(const std::string& name, const std::string& value) {
  if (TrimText(name).empty() || TrimText(value).empty()) return false;
  if (!OptionContexts.Created()) return false;

  // Members of the old codec flags that are private options of single encoders now.
  std::string v = value;
  if (name == "flags" || name == "flags2") {
    std::vector<TMovedFlagUse> moved;
    v = SplitMovedFlags(name, value, moved);
    for (const TMovedFlagUse& use : moved) {
      const TMovedFlag& f = *use.Flag;
      switch (f.Kind) {
        case TMovedFlag::mfPrivateBool:
          StorePrivateCodecOption(1 << f.MediaType, f.NewName, use.Set ? "1" : "0");
          break;
        case TMovedFlag::mfPrivateChoice:
          StorePrivateCodecOption(1 << f.MediaType, f.NewName, use.Set ? f.SetValue : f.ClearValue);
          break;
        case TMovedFlag::mfPrivateFlags:
          StorePrivateCodecOption(1 << f.MediaType, f.NewName,
                                  (use.Set ? "+" : "-") + std::string(f.SetValue), AV_DICT_APPEND);
          break;
        case TMovedFlag::mfGeneric:
          SetGenericOption(f.NewName, use.Set ? "1" : "0");
          break;
      }
    }
    if (moved.empty())
      v = value;
    else if (TrimText(v).empty())
      return true;
  }

  auto& codecs = OptionContexts.CodecOptions;
  const AVOption* found = nullptr;
  int result = 0;
  if (const AVOption* o = FF.av_opt_find(codecs[0].get(), name.c_str(), nullptr, 0, 0)) {
    int flags = EffectiveOptionFlags(o);
    for (int t = 0; t < MediaTypeCount && result >= 0; ++t) {
      if ((flags & TypeMasks[t]) != TypeMasks[t]) continue;
      found = o;
      result = FF.av_opt_set(codecs[t].get(), name.c_str(), v.c_str(), 0);
    }
  }
  for (void* context : {static_cast<void*>(OptionContexts.FormatOptions.get()),
                        static_cast<void*>(OptionContexts.ScalerOptions.get())}) {
    if (found) break;
    if (const AVOption* o = FF.av_opt_find(context, name.c_str(), nullptr, 0, 0)) {
      found = o;
      result = FF.av_opt_set(context, name.c_str(), v.c_str(), 0);
    }
  }
  if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    // "ab", "vb", "abt": the option of that media type without its prefix.
    int t = name[0] == 'a' ? MediaAudio : name[0] == 'v' ? MediaVideo : MediaSubtitle;
    const char* bare = name.c_str() + 1;
    if (const AVOption* o = FF.av_opt_find(codecs[t].get(), bare, nullptr, 0, 0)) {
      found = o;
      result = FF.av_opt_set(codecs[t].get(), bare, v.c_str(), 0);
    }
  }
  if (!found) return SetSuccessorOption(name, v);
  if (result < 0) {
    LogInvalidValue(name, value);
    return false;
  }
  OptionContexts.OptionNames.push_back(found->name);
  if (codecs[0]->debug || OptionContexts.FormatOptions->debug) {
    if (VerboseSetter)
      VerboseSetter(2);
    else
      SetVerbose(2);
  }
  return true;
}

bool TCustomFFmpeg::KnowsGenericOption(const std::string& name) const {
  if (!OptionContexts.Created() || TrimText(name).empty()) return false;
  auto knows = [&](const void* context, const char* n) {
    return FF.av_opt_find(const_cast<void*>(context), n, nullptr, 0, 0) != nullptr;
  };
  for (const void* context : {static_cast<const void*>(OptionContexts.CodecOptions[0].get()),
                              static_cast<const void*>(OptionContexts.FormatOptions.get()),
                              static_cast<const void*>(OptionContexts.ScalerOptions.get())})
    if (knows(context, name.c_str())) return true;
  if (name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's') &&
      knows(OptionContexts.CodecOptions[0].get(), name.c_str() + 1))
    return true;
  return !RenamedOptions(name).empty() || EncoderPrivateOptionTypes(name) != 0 || MuxerHasPrivateOption(name);
}

bool TCustomFFmpeg::SetGenericIntOption(const std::string& name, int value) {
  return SetGenericOption(name, std::to_string(value));
}

void TCustomFFmpeg::StorePrivateCodecOption(int types, const std::string& name, const std::string& value,
                                            int flags) {
  for (int t = 0; t < MediaTypeCount; ++t)
    if (types & (1 << t)) OptionContexts.CodecPrivateOptions[t].Set(name, value, flags);
}

bool TCustomFFmpeg::SetSuccessorOption(const std::string& name, const std::string& value) {
  std::vector<const TRenamedOption*> renamed = RenamedOptions(name);
  if (!renamed.empty()) {
    bool stored = false;
    for (const TRenamedOption* r : renamed) {
      std::string v = r->MapValue ? r->MapValue(value) : value;
      AVCodecContext* codec = OptionContexts.CodecOptions[0].get();
      if (FF.av_opt_find(codec, r->NewName, nullptr, 0, 0)) {
        stored = SetGenericOption(r->NewName, v) || stored;
      } else if (int types = EncoderPrivateOptionTypes(r->NewName)) {
        StorePrivateCodecOption(types, r->NewName, v);
        stored = true;
      }
    }
    return stored;
  }
  // Generic options of the old generation that single encoders and muxers keep now.
  bool stored = false;
  if (int types = EncoderPrivateOptionTypes(name)) {
    StorePrivateCodecOption(types, name, value);
    stored = true;
  }
  if (MuxerHasPrivateOption(name)) {
    OptionContexts.FormatPrivateOptions.Set(name, value);
    stored = true;
  }
  return stored;
}

void TCustomFFmpeg::ApplyContextOptions(void* destination, void* source, int flags) {
  for (const std::string& name : OptionContexts.OptionNames) {
    const AVOption* o = FF.av_opt_find(source, name.c_str(), nullptr, 0, 0);
    if (!o || (EffectiveOptionFlags(o) & flags) != flags) continue;
    uint8_t* raw = nullptr;
    if (FF.av_opt_get(source, name.c_str(), 0, &raw) < 0 || !raw) continue;
    TAVMemoryPtr<uint8_t> text(raw);
    FF.av_opt_set(destination, name.c_str(), reinterpret_cast<const char*>(text.get()), 0);
  }
}

void TCustomFFmpeg::ApplyPrivateOptions(void* object, const TDictionary& options) {
  if (!object) return;
  const AVDictionaryEntry* e = nullptr;
  while ((e = FF.av_dict_get(options.Get(), "", e, AV_DICT_IGNORE_SUFFIX))) {
    if (!FF.av_opt_find(object, e->key, nullptr, 0, 0)) continue;
    if (FF.av_opt_set(object, e->key, e->value, 0) < 0) LogInvalidValue(e->key, e->value);
  }
}

void TCustomFFmpeg::ApplyPrivateCodecOptions(AVCodecContext* encoder, int mediaType) {
  if (!encoder || mediaType < 0 || mediaType >= MediaTypeCount) return;
  ApplyPrivateOptions(encoder->priv_data, OptionContexts.CodecPrivateOptions[mediaType]);
}

void TCustomFFmpeg::ApplyPrivateFormatOptions(AVFormatContext* output) {
  if (output) ApplyPrivateOptions(output->priv_data, OptionContexts.FormatPrivateOptions);
}

void TCustomFFmpeg::FindCodecByName(const std::string& name, AVMediaType mediaType, bool encoder,
                                    AVCodecID& codecId, const AVCodec** codec) {
  codecId = AV_CODEC_ID_NONE;
  if (codec) *codec = nullptr;
  if (name.empty()) return;
  auto find = encoder ? FF.avcodec_find_encoder_by_name : FF.avcodec_find_decoder_by_name;
  const AVCodec* c = find(name.c_str());
  // Encoders this generation dropped have successors; decoders kept their names.
  if (!c && encoder)
    if (const char* successor = SuccessorCodecName(name)) c = find(successor);
  const char* kind = encoder ? "encoder" : "decoder";
  if (!c) throw FFmpegException(FormatText("Unknown %s '%s'", kind, name.c_str()));
  if (c->type != mediaType) throw FFmpegException(FormatText("Invalid %s type '%s'", kind, name.c_str()));
  codecId = c->id;
  if (codec) *codec = c;
}

}  // namespace ok
