#pragma once
// The channel layout an encoder can take for a source's layout: most encoders of this library
// generation list theirs, a few only refuse too many channels when they are opened.

#include "media/ff_functions.h"

namespace ok {

// Sets `chosen` to the layout `encoder` accepts nearest to `wanted` and returns true when that is
// not `wanted` itself: stereo for more than two channels when the encoder offers it, else the
// accepted layout with the nearest channel count (the fewer channels on a tie). Encoders that list
// nothing take `wanted` unless they are known to take fewer channels. `chosen` must be
// uninitialised or empty; it is left so when the result is false.
bool NearestAcceptedLayout(const AVCodec* encoder, const AVChannelLayout& wanted, AVChannelLayout& chosen);

// The rates `encoder` takes, ending in 0: its own list, or for the few that list none but refuse
// high rates when opened (WMA: at most 48 kHz) the usual rates up to that limit; null when any
// rate goes.
const int* AcceptedSampleRates(const AVCodec* encoder);

}  // namespace ok
