#include "picture_file.h"

#include "qt_picture.h"

#include <QDir>
#include <QImageReader>
#include <QString>

#include <algorithm>

namespace quadfind {

namespace {

[[noreturn]] void refuse(const QString& name, const QString& reason) {
    throw PictureError(QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(name), reason).toStdString());
}

} // namespace

PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits) {
    const QString name = QString::fromStdString(path);
    QImageReader reader(name);
    const QSize size = reader.size();
    if (size.isValid() && std::uint64_t(size.width()) * std::uint64_t(size.height()) > limits.maxPixels)
        refuse(name, QStringLiteral("%1 x %2 pixels is more than the limit of %3 pixels")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(limits.maxPixels));
    // Qt's own cap (256 MB) would refuse pictures well within ours.
    reader.setAllocationLimit(int(std::min<std::uint64_t>(limits.maxPixels * 8 / (1024 * 1024) + 1, 1u << 30)));
    const QImage image = reader.read();
    if (image.isNull())
        refuse(name, reader.errorString());
    return SurfaceFromImage(image);
}

} // namespace quadfind
