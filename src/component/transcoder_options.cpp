#include "component/transcoder_options.h"

#include <cmath>
#include <ctime>
#include <utility>

#include "engine/ffmpeg_exception.h"
#include "engine/options/value_parsing.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// Milliseconds as µs; not a number, or out of range once in µs: -1 ms.
int64_t RangeTime(const std::string& text) {
  int64_t ms = -1;
  try {
    ms = StrToInt64(TrimText(text));
  } catch (const EConvertError&) {
    ms = -1;
  }
  if (ms > INT64_MAX / 1000 || ms < INT64_MIN / 1000) ms = -1;
  return ms * 1000;
}

}  // namespace

void TakeRecordFieldsFromLines(const std::string& extraOptions, TOutputOptions& options) {
  using TSetter = void (*)(TOutputOptions&, const std::string&);
  static const std::pair<const char*, TSetter> fields[] = {
      {"an", [](TOutputOptions& o, const std::string& v) { o.DisableAudio = IsTrueFlag(v); }},
      {"vn", [](TOutputOptions& o, const std::string& v) { o.DisableVideo = IsTrueFlag(v); }},
      {"sn", [](TOutputOptions& o, const std::string& v) { o.DisableSubtitle = IsTrueFlag(v); }},
      // The engine's copyts is set by any value.
      {"copyts", [](TOutputOptions& o, const std::string&) { o.CopyTimestamps = true; }},
      {"padcolor", [](TOutputOptions& o, const std::string& v) { o.PadColor = StrToIntDef(v, o.PadColor); }},
      {"async", [](TOutputOptions& o, const std::string& v) { o.AudioSync = StrToIntDef(v, o.AudioSync); }},
      {"vsync", [](TOutputOptions& o, const std::string& v) { o.VideoSync = StrToIntDef(v, o.VideoSync); }},
      {"alang", [](TOutputOptions& o, const std::string& v) { o.AudioLanguage = v; }},
      {"slang", [](TOutputOptions& o, const std::string& v) { o.SubtitleLanguage = v; }},
  };
  size_t start = 0;
  while (start < extraOptions.size()) {
    size_t end = extraOptions.find_first_of("\r\n", start);
    if (end == std::string::npos) end = extraOptions.size();
    const std::string line = TrimText(extraOptions.substr(start, end - start));
    start = end + 1;
    const size_t eq = line.find('=');
    const std::string name = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    for (const auto& [field, set] : fields)
      if (name == field) set(options, value);
  }
}

void ResetInputOptions(TInputOptions& options) { options = TInputOptions{}; }

void ResetOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

std::vector<TTimeRange> ParseTimeRanges(const std::string& text) {
  std::vector<TTimeRange> ranges;
  std::string rest = TrimText(text);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string piece = TrimText(rest.substr(0, comma));
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    const size_t dash = piece.find('-');
    if (dash == std::string::npos) continue;
    TTimeRange range{RangeTime(piece.substr(0, dash)), RangeTime(piece.substr(dash + 1))};
    if (range.End >= range.Start && range.End >= 0) ranges.push_back(range);
  }
  return ranges;
}

int64_t DateTimeToUnixSeconds(double dateTime) {
  constexpr double UnixEpochDays = 25569.0;  // 1970-01-01 in days since 1899-12-30
  const double asUtc = (dateTime - UnixEpochDays) * 86400.0;
  // The zone offset in force at that local moment.
  std::time_t probe = static_cast<std::time_t>(asUtc);
  std::tm local{};
  localtime_r(&probe, &local);
  return static_cast<int64_t>(std::llround(asUtc - double(local.tm_gmtoff)));
}

int ColorToRGB(TColor color) { return color & 0xFFFFFF; }

}  // namespace ok
