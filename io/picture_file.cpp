#include "picture_file.h"

#include "bmp_reader.h"
#include "qt_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <span>

namespace quadfind {

namespace {

[[noreturn]] void refuse(const QString& name, const QString& reason) {
    throw PictureError(QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(name), reason).toStdString());
}

QString limitReason(QSize size, const LoadLimits& limits) {
    return QStringLiteral("%1 x %2 pixels is more than the limit of %3 pixels")
        .arg(size.width())
        .arg(size.height())
        .arg(limits.maxPixels);
}

bool overLimit(QSize size, const LoadLimits& limits) {
    return size.isValid() && std::uint64_t(size.width()) * std::uint64_t(size.height()) > limits.maxPixels;
}

// Qt's own cap (256 MB) would refuse pictures well within ours.
void allowUpTo(QImageReader& reader, const LoadLimits& limits) {
    reader.setAllocationLimit(int(std::min<std::uint64_t>(limits.maxPixels * 8 / (1024 * 1024) + 1, 1u << 30)));
}

PictureSurface readWithQt(QImageReader& reader, const LoadLimits& limits, const QString& name) {
    if (overLimit(reader.size(), limits))
        refuse(name, limitReason(reader.size(), limits));
    allowUpTo(reader, limits);
    const QImage image = reader.read();
    if (image.isNull())
        refuse(name, reader.errorString());
    return SurfaceFromImage(image);
}

// BI_JPEG and BI_PNG bitmaps carry a whole JPEG or PNG file as pixel data.
PictureSurface decodeEmbedded(EmbeddedFormat format, std::span<const std::uint8_t> stream, const LoadLimits& limits) {
    const char* kind = format == EmbeddedFormat::Jpeg ? "JPEG" : "PNG";
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(stream.data()), qsizetype(stream.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format == EmbeddedFormat::Jpeg ? "jpeg" : "png");
    reader.setAutoDetectImageFormat(false);
    if (overLimit(reader.size(), limits))
        throw BmpError(std::string("the embedded ") + kind + " picture: " + limitReason(reader.size(), limits).toStdString());
    allowUpTo(reader, limits);
    const QImage image = reader.read();
    if (image.isNull())
        throw BmpError(std::string("the embedded ") + kind + " stream cannot be decoded: " +
                       reader.errorString().toStdString());
    return SurfaceFromImage(image);
}

PictureSurface readBmp(QFile& file, const LoadLimits& limits, const QString& name) {
    // Mapping spares a copy of the whole file; pages are read as the decoder
    // walks the rows.
    const qint64 size = file.size();
    QByteArray copy;
    std::span<const std::uint8_t> bytes;
    if (size > 0) {
        if (const uchar* mapped = file.map(0, size))
            bytes = {mapped, std::size_t(size)};
        else {
            copy = file.readAll();
            bytes = {reinterpret_cast<const std::uint8_t*>(copy.constData()), std::size_t(copy.size())};
        }
    }
    try {
        return DecodeBmp(bytes, limits, [&limits](EmbeddedFormat format, std::span<const std::uint8_t> stream) {
            return decodeEmbedded(format, stream, limits);
        });
    } catch (const BmpError& e) {
        refuse(name, QString::fromStdString(e.what()));
    }
}

} // namespace

PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits) {
    const QString name = QString::fromStdString(path);
    // A file is a bitmap, and goes to our own decoder, when it starts with
    // "BM" or its name ends in .bmp: a .bmp file holding something else is
    // refused rather than silently read as another format.
    QFile file(name);
    const bool opened = file.open(QIODevice::ReadOnly);
    const bool bmpName = name.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive);
    if (bmpName && !opened)
        refuse(name, file.errorString());
    if (opened && (bmpName || file.peek(2) == QByteArrayLiteral("BM")))
        return readBmp(file, limits, name);
    file.close();
    QImageReader reader(name);
    return readWithQt(reader, limits, name);
}

} // namespace quadfind
