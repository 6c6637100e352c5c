#pragma once
// Pictures of the window drawn in code: the bitmap of the media layer as a QImage, the image
// lists of the boxes and page tabs, the program's icon. The icons are drawn at the size and
// device pixel ratio they are shown at.

#include <QIcon>
#include <QImage>

#include "media/bitmap.h"

namespace ok {

// A deep copy of `bitmap` (24-bit BGR rows).
QImage BitmapToImage(const TBitmap& bitmap);

// The boxes' image list: 0 to 8 the nine file types in the order of the file-type box, 9 a
// profile; any other index gives a null icon.
QIcon ComboImage(int index);
// The page tabs' image list: 0 to 3 the four pages, 4 to 7 the same pages when active.
QIcon PageImage(int index);
// The program's icon (the same picture as the installed ostrelkalvexa.svg).
QIcon ProgramIcon();

}  // namespace ok
