#include "qt_picture.h"

#include <cstring>

namespace quadfind {

PictureSurface SurfaceFromImage(const QImage& image) {
    if (image.isNull())
        return {};
    const QImage bgr = image.format() == QImage::Format_BGR888 ? image : image.convertToFormat(QImage::Format_BGR888);
    PictureSurface surface(bgr.width(), bgr.height());
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(surface.row(y), bgr.constScanLine(y), surface.rowBytes());
    return surface;
}

} // namespace quadfind
