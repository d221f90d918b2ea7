// io's adapter from QImage to PictureSurface, for the pictures Qt's reader
// decodes (qt_decoder.h). The window has two of its own, the other way,
// which borrow a picture's pixels to draw them (BorrowedWindow and
// RenderPicture in app/).
#pragma once

#include "picture_surface.h"

#include <QImage>

namespace quadfind {

// Any QImage format; converted to 24-bit B, G, R (alpha dropped). A null
// QImage gives an empty surface.
PictureSurface SurfaceFromImage(const QImage& image);

} // namespace quadfind
