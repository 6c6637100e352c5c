#include "engine/files/channel_layouts.h"

#include <cstdlib>

namespace ok {

namespace {

// Encoders that list no layouts but fail to open with more channels than these.
int UnlistedChannelLimit(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
      return 2;
    case AV_CODEC_ID_AMR_NB:
    case AV_CODEC_ID_AMR_WB:
      return 1;
    default:
      return 0;
  }
}

const AVChannelLayout* NearestListed(const AVChannelLayout* list, const AVChannelLayout& wanted) {
  const AVChannelLayout* best = nullptr;
  for (const AVChannelLayout* l = list; l->nb_channels != 0; ++l) {
    if (FF.av_channel_layout_compare(l, &wanted) == 0) return nullptr;
    if (!best) {
      best = l;
      continue;
    }
    const int distance = std::abs(l->nb_channels - wanted.nb_channels);
    const int bestDistance = std::abs(best->nb_channels - wanted.nb_channels);
    if (distance < bestDistance || (distance == bestDistance && l->nb_channels < best->nb_channels)) best = l;
  }
  if (best && wanted.nb_channels > 2 && best->nb_channels != wanted.nb_channels)
    for (const AVChannelLayout* l = list; l->nb_channels != 0; ++l)
      if (l->order == AV_CHANNEL_ORDER_NATIVE && l->u.mask == AV_CH_LAYOUT_STEREO) return l;
  return best;
}

// The usual rates up to 48 kHz, for encoders that list none but take no more.
constexpr int RatesUpTo48k[] = {48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 0};

}  // namespace

const int* AcceptedSampleRates(const AVCodec* encoder) {
  if (!encoder) return nullptr;
  if (encoder->supported_samplerates) return encoder->supported_samplerates;
  if (encoder->id == AV_CODEC_ID_WMAV1 || encoder->id == AV_CODEC_ID_WMAV2) return RatesUpTo48k;
  return nullptr;
}

bool NearestAcceptedLayout(const AVCodec* encoder, const AVChannelLayout& wanted, AVChannelLayout& chosen) {
  if (!encoder || wanted.nb_channels <= 0) return false;
  if (encoder->ch_layouts) {
    const AVChannelLayout* nearest = NearestListed(encoder->ch_layouts, wanted);
    return nearest && FF.av_channel_layout_copy(&chosen, nearest) >= 0;
  }
  const int limit = UnlistedChannelLimit(encoder->id);
  if (limit == 0 || wanted.nb_channels <= limit) return false;
  FF.av_channel_layout_default(&chosen, limit);
  return true;
}

}  // namespace ok
