// The rc_override option: frame ranges with their own quantiser or quality factor, parsed from
// "start,end,q/start,end,q..." into the table the encoder context owns.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"

namespace ok {

namespace {

// An optionally signed decimal integer at text[pos]; false when there is none.
bool ReadInteger(const std::string& text, size_t& pos, int& value) {
  size_t p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '-' || text[p] == '+')) negative = text[p++] == '-';
  size_t digits = p;
  int64_t v = 0;
  while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
    if (v < INT32_MAX) v = v * 10 + (text[p] - '0');
    ++p;
  }
  if (p == digits) return false;
  value = int(negative ? -std::min<int64_t>(v, INT32_MAX) : std::min<int64_t>(v, INT32_MAX));
  pos = p;
  return true;
}

std::vector<RcOverride> ParseRcOverride(const std::string& text) {
  std::vector<RcOverride> overrides;
  size_t pos = 0;
  while (!text.empty()) {
    int start, end, q;
    // Each of start and end must be followed by a separator; q may end the text.
    if (!ReadInteger(text, pos, start) || pos >= text.size())
      throw FFmpegException("error parsing rc_override");
    ++pos;
    if (!ReadInteger(text, pos, end) || pos >= text.size())
      throw FFmpegException("error parsing rc_override");
    ++pos;
    if (!ReadInteger(text, pos, q)) throw FFmpegException("error parsing rc_override");
    RcOverride o{};
    o.start_frame = start;
    o.end_frame = end;
    if (q > 0) {
      o.qscale = q;
      o.quality_factor = 1.0f;
    } else {
      o.qscale = 0;
      o.quality_factor = float(-q) / 100.0f;
    }
    overrides.push_back(o);
    size_t slash = text.find('/', pos);
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  return overrides;
}

}  // namespace

void TCustomFFmpeg::ApplyRcOverride(AVCodecContext* encoder) {
  std::vector<RcOverride> overrides = ParseRcOverride(VideoRcOverride);
  if (overrides.empty()) return;
  // The encoder context owns the array and frees it with itself.
  auto* array = static_cast<RcOverride*>(FF.av_mallocz(overrides.size() * sizeof(RcOverride)));
  if (!array) throw FFmpegException("Could not allocate the rc_override table");
  std::memcpy(array, overrides.data(), overrides.size() * sizeof(RcOverride));
  encoder->rc_override = array;
  encoder->rc_override_count = int(overrides.size());
}

}  // namespace ok
