// The one adapter between QImage and PictureSurface. Both directions copy.
#pragma once

#include "picture_surface.h"

#include <QImage>

namespace quadfind {

// Any QImage format; converted to 24-bit B, G, R (alpha dropped).
PictureSurface SurfaceFromImage(const QImage& image);

// A QImage of format BGR888 owning its own pixels; a null QImage for an
// empty surface.
QImage ImageFromSurface(const PictureSurface& surface);

} // namespace quadfind
