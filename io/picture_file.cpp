#include "picture_file.h"

#include "qt_picture.h"

#include <QDir>
#include <QImageReader>
#include <QString>

namespace quadfind {

PictureSurface LoadPicture(const std::string& path) {
    const QString name = QString::fromStdString(path);
    QImageReader reader(name);
    const QImage image = reader.read();
    if (image.isNull())
        throw PictureError(QStringLiteral("Cannot load %1: %2")
                               .arg(QDir::toNativeSeparators(name), reader.errorString())
                               .toStdString());
    return SurfaceFromImage(image);
}

} // namespace quadfind
