#pragma once
// What a video stream shows, beyond its stored pictures: the turn its display matrix asks for, and
// whether it is a still picture (cover art, a one-frame image) rather than the file's video.

struct AVFormatContext;
struct AVStream;

namespace ok {

class TBitmap;

// How the stored picture is turned to stand upright.
struct TPictureTurn {
  int Rotation = 0;       // degrees clockwise: 0, 90, 180, 270
  bool Mirrored = false;  // flipped left to right after the turn
  bool None() const { return Rotation == 0 && !Mirrored; }
  bool SwapsSides() const { return Rotation == 90 || Rotation == 270; }
};

// The turn of `stream`'s display matrix, to the nearest quarter; none without a matrix.
TPictureTurn PictureTurnOf(const AVStream* stream);

// Turns `bitmap` as `turn` says.
void TurnBitmap(TBitmap& bitmap, const TPictureTurn& turn);

// An attached picture, or an image codec's stream of at most one frame (or of no known duration).
bool IsStillPicture(const AVStream* stream);

// The stream that stands for the file's video: the first video stream that is no still picture,
// else the still with the most pixels; -1 without video.
int MainVideoStream(const AVFormatContext* context);

// True when `index` is a still picture and the file has a video stream that is not.
bool StillBesideVideo(const AVFormatContext* context, int index);

}  // namespace ok
