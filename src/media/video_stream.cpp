#include "media/video_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "media/bitmap.h"
#include "media/ff_functions.h"

namespace ok {

namespace {

bool IsImageCodec(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_PNG:
    case AV_CODEC_ID_APNG:
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_JPEGLS:
    case AV_CODEC_ID_JPEG2000:
    case AV_CODEC_ID_BMP:
    case AV_CODEC_ID_TIFF:
    case AV_CODEC_ID_WEBP:
    case AV_CODEC_ID_GIF:
    case AV_CODEC_ID_TARGA:
    case AV_CODEC_ID_PPM:
    case AV_CODEC_ID_PGM:
    case AV_CODEC_ID_PBM:
    case AV_CODEC_ID_PAM:
    case AV_CODEC_ID_SGI:
    case AV_CODEC_ID_PCX:
      return true;
    default:
      return false;
  }
}

bool IsVideo(const AVStream* stream) {
  return stream && stream->codecpar && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

int64_t Pixels(const AVStream* stream) { return int64_t(stream->codecpar->width) * stream->codecpar->height; }

}  // namespace

TPictureTurn PictureTurnOf(const AVStream* stream) {
  TPictureTurn turn;
  if (!stream) return turn;
  const auto* m = reinterpret_cast<const int32_t*>(
      FF.av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
  if (!m) return turn;
  int32_t matrix[9];
  for (int i = 0; i < 9; ++i) matrix[i] = m[i];
  // A negative determinant is a mirror image: the flip after the turn is taken out before the
  // angle is read.
  turn.Mirrored = double(matrix[0]) * matrix[4] - double(matrix[1]) * matrix[3] < 0;
  if (turn.Mirrored) {
    matrix[0] = -matrix[0];
    matrix[3] = -matrix[3];
  }
  const double angle = FF.av_display_rotation_get(matrix);  // counterclockwise
  if (std::isnan(angle)) return TPictureTurn{};
  const long quarters = std::lround(-angle / 90.0);
  turn.Rotation = int(((quarters % 4) + 4) % 4) * 90;
  return turn;
}

void TurnBitmap(TBitmap& bitmap, const TPictureTurn& turn) {
  if (turn.None() || bitmap.IsEmpty()) return;
  const TBitmap source = bitmap;
  const int w = source.Width(), h = source.Height();
  const int tw = turn.SwapsSides() ? h : w, th = turn.SwapsSides() ? w : h;
  bitmap.SetSize(tw, th);
  for (int y = 0; y < th; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < tw; ++x) {
      const int u = turn.Mirrored ? tw - 1 - x : x;  // the column before the flip
      int sx = u, sy = y;
      switch (turn.Rotation) {
        case 90:
          sx = y;
          sy = h - 1 - u;
          break;
        case 180:
          sx = w - 1 - u;
          sy = h - 1 - y;
          break;
        case 270:
          sx = w - 1 - y;
          sy = u;
          break;
        default:
          break;
      }
      const uint8_t* pixel = source.ScanLine(sy) + 3 * sx;
      std::copy(pixel, pixel + 3, row + 3 * x);
    }
  }
}

bool IsStillPicture(const AVStream* stream) {
  if (!IsVideo(stream)) return false;
  if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) return true;
  if (!IsImageCodec(stream->codecpar->codec_id)) return false;
  // Containers that count no frames (0) may still know the duration of a real image sequence.
  return stream->nb_frames == 1 ||
         (stream->nb_frames == 0 && (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0));
}

int MainVideoStream(const AVFormatContext* context) {
  if (!context) return -1;
  int best = -1;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* st = context->streams[i];
    if (!IsVideo(st)) continue;
    if (!IsStillPicture(st)) return int(i);
    if (best < 0 || Pixels(st) > Pixels(context->streams[best])) best = int(i);
  }
  return best;
}

bool StillBesideVideo(const AVFormatContext* context, int index) {
  if (!context || index < 0 || index >= int(context->nb_streams)) return false;
  if (!IsStillPicture(context->streams[index])) return false;
  const int main = MainVideoStream(context);
  return main >= 0 && !IsStillPicture(context->streams[main]);
}

}  // namespace ok
