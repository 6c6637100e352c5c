#include "engine/options/option_successors.h"

#include <cstring>

#include "engine/options/option_state.h"
#include "media/ff_functions.h"

namespace ok {

namespace {

constexpr int VideoEncoding = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;

// "mpv_flags" is the private flags option of every encoder built on the MPEG video core.
const std::vector<TMovedFlag> MovedFlagTable = {
    {"flags", "scan_offset", TMovedFlag::mfPrivateBool, MediaVideo, "scan_offset", nullptr, nullptr},
    {"flags", "alt", TMovedFlag::mfPrivateBool, MediaVideo, "alternate_scan", nullptr, nullptr},
    {"flags", "part", TMovedFlag::mfPrivateBool, MediaVideo, "data_partitioning", nullptr, nullptr},
    {"flags", "obmc", TMovedFlag::mfPrivateBool, MediaVideo, "obmc", nullptr, nullptr},
    {"flags", "umv", TMovedFlag::mfPrivateBool, MediaVideo, "umv", nullptr, nullptr},
    {"flags", "aiv", TMovedFlag::mfPrivateBool, MediaVideo, "aiv", nullptr, nullptr},
    {"flags", "slice", TMovedFlag::mfPrivateBool, MediaVideo, "structured_slices", nullptr, nullptr},
    {"flags", "naq", TMovedFlag::mfPrivateFlags, MediaVideo, "mpv_flags", "naq", nullptr},
    {"flags", "mv0", TMovedFlag::mfPrivateFlags, MediaVideo, "mpv_flags", "mv0", nullptr},
    {"flags", "qprd", TMovedFlag::mfPrivateFlags, MediaVideo, "mpv_flags", "qp_rd", nullptr},
    {"flags", "cbp", TMovedFlag::mfPrivateFlags, MediaVideo, "mpv_flags", "cbp_rd", nullptr},
    {"flags", "trell", TMovedFlag::mfGeneric, MediaVideo, "trellis", nullptr, nullptr},
    {"flags2", "sgop", TMovedFlag::mfPrivateFlags, MediaVideo, "mpv_flags", "strict_gop", nullptr},
    {"flags2", "skiprd", TMovedFlag::mfPrivateFlags, MediaVideo, "mpv_flags", "skip_rd", nullptr},
    {"flags2", "ivlc", TMovedFlag::mfPrivateBool, MediaVideo, "intra_vlc", nullptr, nullptr},
    {"flags2", "drop_frame_timecode", TMovedFlag::mfPrivateBool, MediaVideo, "drop_frame_timecode", nullptr,
     nullptr},
    {"flags2", "non_linear_q", TMovedFlag::mfPrivateBool, MediaVideo, "non_linear_quant", nullptr, nullptr},
    {"flags2", "bpyramid", TMovedFlag::mfPrivateChoice, MediaVideo, "b-pyramid", "normal", "none"},
    {"flags2", "wpred", TMovedFlag::mfPrivateBool, MediaVideo, "weightb", nullptr, nullptr},
    {"flags2", "mixed_refs", TMovedFlag::mfPrivateBool, MediaVideo, "mixed-refs", nullptr, nullptr},
    {"flags2", "dct8x8", TMovedFlag::mfPrivateBool, MediaVideo, "8x8dct", nullptr, nullptr},
    {"flags2", "fastpskip", TMovedFlag::mfPrivateBool, MediaVideo, "fast-pskip", nullptr, nullptr},
    {"flags2", "aud", TMovedFlag::mfPrivateBool, MediaVideo, "aud", nullptr, nullptr},
    {"flags2", "mbtree", TMovedFlag::mfPrivateBool, MediaVideo, "mbtree", nullptr, nullptr},
    {"flags2", "psy", TMovedFlag::mfPrivateBool, MediaVideo, "psy", nullptr, nullptr},
    {"flags2", "ssim", TMovedFlag::mfPrivateBool, MediaVideo, "ssim", nullptr, nullptr},
    {"flags2", "intra_refresh", TMovedFlag::mfPrivateBool, MediaVideo, "intra-refresh", nullptr, nullptr},
    {"flags2", "reservoir", TMovedFlag::mfPrivateBool, MediaAudio, "reservoir", nullptr, nullptr},
};

// The old motion-estimation method names that the MPEG video encoders still know.
std::string MotionEstValue(const std::string& value) { return value == "x1" ? "xone" : value; }

const TRenamedOption RenamedTable[] = {
    // The component's GopSize field names "gop"; the group-of-pictures size was always "g".
    {"gop", "g", nullptr},
    {"cqp", "qp", nullptr},
    {"directpred", "direct-pred", nullptr},
    {"rc_lookahead", "rc-lookahead", nullptr},
    {"aq_mode", "aq-mode", nullptr},
    {"aq_strength", "aq-strength", nullptr},
    {"wpredp", "weightp", nullptr},
    {"lelim", "luma_elim_threshold", nullptr},
    {"celim", "chroma_elim_threshold", nullptr},
    {"qns", "quantizer_noise_shaping", nullptr},
    {"nr", "noise_reduction", nullptr},
    // The H.264 encoder kept "me_method"; the MPEG video encoders call it "motion_est".
    {"me_method", "me_method", nullptr},
    {"me_method", "motion_est", &MotionEstValue},
};

bool ClassHasOption(const AVClass* const* cls, const char* name) {
  return *cls && FF.av_opt_find(const_cast<const AVClass**>(cls), name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) !=
                     nullptr;
}

}  // namespace

std::optional<int> OldGenerationFlags(std::string_view name) {
  if (name == "b" || name == "maxrate" || name == "minrate") return VideoEncoding;
  return std::nullopt;
}

int EffectiveOptionFlags(const AVOption* option) {
  return OldGenerationFlags(option->name).value_or(option->flags);
}

const std::vector<TMovedFlag>& MovedFlags() { return MovedFlagTable; }

std::string SplitMovedFlags(const std::string& unit, const std::string& value,
                            std::vector<TMovedFlagUse>& moved) {
  std::string kept;
  size_t i = 0;
  while (i < value.size()) {
    char sign = 0;
    if (value[i] == '+' || value[i] == '-') sign = value[i++];
    size_t end = value.find_first_of("+-", i);
    if (end == std::string::npos) end = value.size();
    std::string name = value.substr(i, end - i);
    i = end;
    if (name.empty()) {
      if (sign) kept += sign;
      continue;
    }
    const TMovedFlag* found = nullptr;
    for (const TMovedFlag& f : MovedFlagTable)
      if (unit == f.Unit && name == f.OldName) found = &f;
    if (found) {
      moved.push_back({found, sign != '-'});
    } else {
      if (sign) kept += sign;
      kept += name;
    }
  }
  return kept;
}

std::vector<const TRenamedOption*> RenamedOptions(std::string_view oldName) {
  std::vector<const TRenamedOption*> result;
  for (const TRenamedOption& r : RenamedTable)
    if (oldName == r.OldName) result.push_back(&r);
  return result;
}

int EncoderPrivateOptionTypes(const std::string& name) {
  int types = 0;
  void* it = nullptr;
  while (const AVCodec* codec = FF.av_codec_iterate(&it)) {
    if (!FF.av_codec_is_encoder(codec) || !codec->priv_class) continue;
    if (codec->type < 0 || codec->type >= MediaTypeCount) continue;
    if (types & (1 << codec->type)) continue;
    if (ClassHasOption(&codec->priv_class, name.c_str())) types |= 1 << codec->type;
  }
  return types;
}

bool MuxerHasPrivateOption(const std::string& name) {
  void* it = nullptr;
  while (const AVOutputFormat* format = FF.av_muxer_iterate(&it))
    if (format->priv_class && ClassHasOption(&format->priv_class, name.c_str())) return true;
  return false;
}

const char* SuccessorCodecName(std::string_view name) {
  if (name == "libfaac") return "aac";
  if (name == "avc") return "libx264";
  return nullptr;
}

}  // namespace ok
