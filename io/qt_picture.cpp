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

QImage ImageFromSurface(const PictureSurface& surface) {
    if (surface.empty())
        return {};
    QImage image(surface.width(), surface.height(), QImage::Format_BGR888);
    for (int y = 0; y < surface.height(); ++y)
        std::memcpy(image.scanLine(y), surface.row(y), surface.rowBytes());
    return image;
}

} // namespace quadfind
