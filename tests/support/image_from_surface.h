// The way back from io's adapter (SurfaceFromImage in qt_picture.h), which
// only tests need: a PictureSurface as a QImage, to encode in another format
// or to compare with what a window shows.
#pragma once

#include "picture_surface.h"

#include <QImage>

#include <cstring>

namespace quadfind::testing {

// A QImage of format BGR888 owning its own pixels; a null QImage for an
// empty surface.
inline QImage ImageFromSurface(const PictureSurface& surface) {
    if (surface.empty())
        return {};
    QImage image(surface.width(), surface.height(), QImage::Format_BGR888);
    for (int y = 0; y < surface.height(); ++y)
        std::memcpy(image.scanLine(y), surface.row(y), surface.rowBytes());
    return image;
}

} // namespace quadfind::testing
