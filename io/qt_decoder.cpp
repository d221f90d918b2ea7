#include "qt_decoder.h"

#include "codec_messages.h"
#include "format_checks.h"
#include "qt_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <climits>
#include <mutex>
#include <string>

namespace quadfind {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw QtDecodeError(why);
}

// A size Qt's reader does not know (an invalid QSize) is not over the limit.
void refuseOverLimit(QSize size, const LoadLimits& limits) {
    const std::uint64_t w = std::uint64_t(size.width()), h = std::uint64_t(size.height());
    if (size.isValid() && !limits.allows(w, h))
        refuse(limits.tooLarge(w, h));
}

// Qt refuses any single image buffer over this many MiB. Eight bytes a pixel
// is the widest format a codec decodes into (16-bit PNG as RGBA64), so no
// picture within our limit is refused by Qt's; and Qt's own default (256 MiB)
// would refuse many that are.
int allocationLimitMiB(const LoadLimits& limits) {
    const std::uint64_t mib = (limits.maxPixels * 8 + (1u << 20) - 1) >> 20;
    return int(std::clamp<std::uint64_t>(mib, 1, INT_MAX));
}

// Qt keeps the limit in one process-wide variable that every decoding thread
// reads, so it is written only when it changes: once in a program whose
// limit is fixed, as the CLI's jobs share one.
void setAllocationLimitOnce(int mebibytes) {
    static std::mutex mutex;
    static int current = -1;
    const std::lock_guard<std::mutex> lock(mutex);
    if (current != mebibytes) {
        QImageReader::setAllocationLimit(mebibytes);
        current = mebibytes;
    }
}

// Asks Qt's reader about the first bytes of a file without decoding it; any
// message it logs meanwhile stays with this question.
template <typename Answer>
auto askReader(std::span<const std::uint8_t> bytes, Answer answer) {
    CapturedMessages log;
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return answer(reader);
}

} // namespace

bool QtRecognises(std::span<const std::uint8_t> prefix) {
    return askReader(prefix, [](QImageReader& reader) { return reader.canRead(); });
}

QSize QtDeclaredSize(std::span<const std::uint8_t> start) {
    return askReader(start, [](QImageReader& reader) { return reader.size(); });
}

PictureSurface DecodeWithQt(std::span<const std::uint8_t> bytes, const char* formatHint, bool onlyHint,
                            const LoadLimits& limits) {
    if (bytes.empty())
        refuse("it is empty");
    CapturedMessages log;
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, formatHint ? QByteArray(formatHint) : QByteArray());
    reader.setAutoDetectImageFormat(!onlyHint);
    setAllocationLimitOnce(allocationLimitMiB(limits));
    if (!reader.canRead()) {
        // Qt says "Unsupported image format" or, with a hint, "Unknown error".
        std::string reason = "its bytes are in no picture format this program reads";
        if (!log.messages.isEmpty())
            reason += " (" + log.summary() + ")";
        refuse(reason);
    }
    const QByteArray format = reader.format();
    const std::string shownFormat = format == "jpg" ? "JPEG" : format.toUpper().toStdString();
    CheckStructure(bytes, format.toStdString(), limits);
    refuseOverLimit(reader.size(), limits);
    CheckPixelData(bytes, format.toStdString());

    const QImage image = reader.read();
    if (image.isNull()) {
        std::string reason = "the " + shownFormat + " data cannot be decoded: " + reader.errorString().toStdString();
        if (!log.messages.isEmpty())
            reason += " (" + log.summary() + ")";
        refuse(reason);
    }
    if (!log.messages.isEmpty())
        refuse("the " + shownFormat + " data is damaged: " + log.summary());
    refuseOverLimit(image.size(), limits);
    return SurfaceFromImage(image);
}

} // namespace quadfind
