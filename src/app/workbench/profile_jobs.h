#pragma once
// The jobs of quality-based profiles (the keys Quality, Fit, FPSCap, PixelFormat, Remux, ...):
// the picture fitted in a box, the frame rate under a cap, the encoder picked from a list, and
// the output record they make for one source.

#include <cstdint>
#include <functional>
#include <string>

namespace ok {

struct profile_rec;
struct TSourceRow;
struct TOutputOptions;

// Answers whether the loaded libraries have an encoder of that name.
using TEncoderCheck = std::function<bool(const std::string&)>;

// True when the profile uses any key of quality-based profiles; such a job is built here.
bool IsQualityProfile(const profile_rec& p);

struct TFrameBox {
  int Width = 0, Height = 0;
  bool operator==(const TFrameBox&) const = default;
};

// A picture shown at `width` x `height` fitted inside the box at its own shape, never enlarged,
// both sides even. A standing picture fits the box turned, so "1080p" keeps 1080 lines across.
// A box of 0 x 0 keeps the picture's size (made even); an unknown picture gives the box.
TFrameBox FitInBox(int64_t width, int64_t height, int boxWidth, int boxHeight);

// The frame rate "num/den" that keeps `num`/`den` at or under `cap`: the source's own rate divided
// by the smallest whole number that brings it there (59.94 under 30 gives 29.97); "" when the
// source's rate is under the cap already or unknown.
std::string CappedFrameRate(int num, int den, double cap);

// The first name of the comma-separated `list` that `available` accepts; "" when none is.
std::string FirstAvailableEncoder(const std::string& list, const TEncoderCheck& available);

// The output record's codecs, rates, frame and lines for `source` under profile `p`; `suffix` is
// the output's. `encoder` is the video encoder picked for the job.
void ApplyQualityProfile(const profile_rec& p, const TSourceRow& source, const std::string& encoder,
                         TOutputOptions& o, std::string& suffix);

// A quality-based record (its "crf" line) made one at `bitrate` instead: the size limit's rates
// then reach the encoder. False for a record without a quality.
bool ReplaceQualityByRate(TOutputOptions& o, int bitrate);

// The container a remux profile ("Remux=auto|mp4|mkv") copies `source` into, as its suffix
// (".mp4", ".mkv"): "auto" takes MP4 when MP4 holds every stream, else MKV. A container asked for
// by name that cannot hold a stream raises the reason.
std::string RemuxSuffix(const profile_rec& p, const TSourceRow& source);

// The output record of a remux: every video, audio and subtitle stream the container holds copied
// as it is, in the file's order within each kind; `suffix` becomes the container's.
void ApplyRemuxProfile(const profile_rec& p, const TSourceRow& source, TOutputOptions& o,
                       std::string& suffix);

}  // namespace ok
