#include "picture_file.h"

#include "bmp_format.h"
#include "bmp_reader.h"
#include "file_names.h"
#include "io_vectors.h"
#include "qt_decoder.h"

#include <QImageReader>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quadfind {

namespace {

[[noreturn]] void refuse(const std::string& name, const std::string& reason) {
    throw PictureError("Cannot load " + ReadableName(name) + ": " + reason);
}

std::string systemReason(int error) {
    return std::strerror(error);
}

// Enough for any format's signature and header.
constexpr std::size_t kProbeBytes = std::size_t(64) << 10;
const std::string kUnknownFormat = "its first 64 KiB are in no picture format this program reads";

bool looksLikeAPicture(std::span<const std::uint8_t> prefix) {
    return HasBmpSignature(prefix) || QtRecognises(prefix);
}

// A large file over the limit is refused from its header, before the rest of
// it is read into memory; the decoders check again on the whole file.
void refuseDeclaredOverLimit(std::span<const std::uint8_t> start, const std::string& name, const LoadLimits& limits) {
    std::uint64_t w = 0, h = 0;
    if (HasBmpSignature(start)) {
        if (const auto size = DeclaredBmpSize(start))
            std::tie(w, h) = *size;
    } else if (const QSize size = QtDeclaredSize(start); size.isValid()) {
        w = std::uint64_t(size.width());
        h = std::uint64_t(size.height());
    }
    if (!limits.allows(w, h))
        refuse(name, limits.tooLarge(w, h));
}

// Bytes not zeroed first, so that a file refused from its header costs what
// was read of it, not its size.
struct Bytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0, size = 0;

    void grow(std::size_t to) {
        auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(to);
        std::copy_n(data.get(), size, bigger.get());
        data = std::move(bigger);
        capacity = to;
    }
    std::span<const std::uint8_t> span() const { return {data.get(), size}; }
};

// Grows as the bytes come, so a stream costs what it holds; a regular file
// is read into one buffer of its size.
Bytes readToEnd(const ReadSome& read, std::optional<std::uint64_t> expected,
                                    const std::string& name, const LoadLimits& limits) {
    const std::uint64_t cap = limits.maxFileBytes();
    if (expected && *expected > cap)
        refuse(name, limits.tooManyBytes("the file is " + std::to_string(*expected) + " bytes"));
    Bytes bytes;
    // One byte past the size, so that reaching the end needs no second buffer.
    bytes.grow(expected ? std::size_t(*expected) + 1 : kProbeBytes);
    std::size_t& used = bytes.size;
    bool probed = false;
    for (;;) {
        if (!probed && used >= kProbeBytes) {
            probed = true;
            if (!expected && !looksLikeAPicture(bytes.span()))
                refuse(name, kUnknownFormat);
            refuseDeclaredOverLimit(bytes.span(), name, limits);
        }
        if (used == bytes.capacity) {
            if (used > cap)
                refuse(name, limits.tooManyBytes("it goes on past " + std::to_string(cap) + " bytes"));
            bytes.grow(std::size_t(std::min<std::uint64_t>(used * 2, cap + 1)));
        }
        const std::size_t room = bytes.capacity - used;
        const long got = read(bytes.data.get() + used, probed ? room : std::min(room, kProbeBytes - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            refuse(name, systemReason(errno));
        }
        if (got == 0)
            break;
        used += std::size_t(got);
    }
    if (expected && used < *expected)
        refuse(name, "the file shrank while it was read (" + std::to_string(used) + " of " +
                         std::to_string(*expected) + " bytes)");
    return bytes;
}

// The format Qt's reader is asked for first. Where Qt has a reader for the
// ending, that reader alone decides (a PNG named .jpg is refused); formats
// without a signature, such as TGA, need it.
QByteArray suffixFormat(const std::string& path) {
    const QByteArray suffix = QByteArray::fromStdString(NameSuffix(path));
    return !suffix.isEmpty() && QImageReader::supportedImageFormats().contains(suffix) ? suffix : QByteArray();
}

// BI_JPEG and BI_PNG bitmaps carry a whole JPEG or PNG file as pixel data.
PictureSurface decodeEmbedded(EmbeddedFormat format, std::span<const std::uint8_t> stream, const LoadLimits& limits) {
    const bool jpeg = format == EmbeddedFormat::Jpeg;
    try {
        return DecodeWithQt(stream, jpeg ? "jpeg" : "png", true, limits);
    } catch (const QtDecodeError& e) {
        throw BmpError(std::string("the embedded ") + (jpeg ? "JPEG" : "PNG") + " stream: " + e.what());
    }
}

int openForReading(const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A regular file's bytes from here to its end; nothing for a stream.
std::optional<std::uint64_t> regularFileBytes(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return std::uint64_t(st.st_size - std::min<off_t>(std::max<off_t>(at, 0), st.st_size));
}

// Where an uncompressed 24-bit bitmap's rows are all in a regular file,
// they are read straight into the picture, a few hundred rows a system call,
// instead of through a copy of the whole file: the bytes are copied once.
// False when the file is not such a bitmap or is too short to hold its rows
// (the whole-file path then says what is wrong with it).
bool readPlainRows(int fd, std::uint64_t fileBytes, const std::string& name, const LoadLimits& limits,
                   PictureSurface& picture) {
    const off_t base = ::lseek(fd, 0, SEEK_CUR);
    if (base < 0)
        return false;
    std::array<std::uint8_t, 4096> start;
    long got;
    do
        got = long(::pread(fd, start.data(), start.size(), base));
    while (got < 0 && errno == EINTR);
    if (got < 0)
        refuse(name, systemReason(errno));
    const auto rows = PlainBmpRows(std::span(start.data(), std::size_t(got)), limits);
    if (!rows)
        return false;
    const std::uint64_t rowBytes = BmpRowBytes(std::uint64_t(rows->width), 24);
    // The last row's padding may be missing, as for the whole-file path.
    const std::uint64_t needed = rows->pixelsAt + rows->stride * std::uint64_t(rows->height - 1) + rowBytes;
    if (needed > fileBytes)
        return false;
    if (picture.width() != rows->width || picture.height() != rows->height) {
        picture = {};
        picture = PictureSurface(rows->width, rows->height, PictureSurface::Uninitialised{});
    }
    std::uint8_t padding[3];
    constexpr int kRowsPerRead = 256; // two parts a row, within every system's IOV_MAX
    std::array<iovec, 2 * kRowsPerRead> parts;
    std::uint64_t at = rows->pixelsAt;
    for (std::int32_t fileRow = 0; fileRow < rows->height;) {
        int count = 0;
        for (; fileRow < rows->height && count < 2 * kRowsPerRead; ++fileRow) {
            const std::int32_t y = rows->topDown ? fileRow : rows->height - 1 - fileRow;
            parts[std::size_t(count++)] = {picture.row(y), std::size_t(rowBytes)};
            if (rows->stride > rowBytes && fileRow + 1 < rows->height)
                parts[std::size_t(count++)] = {padding, std::size_t(rows->stride - rowBytes)};
        }
        iovec* part = parts.data();
        while (count > 0) {
            const ssize_t n = ::preadv(fd, part, count, base + off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                refuse(name, systemReason(errno));
            if (n == 0)
                refuse(name, "the file shrank while it was read (" + std::to_string(at) + " of " +
                                 std::to_string(fileBytes) + " bytes)");
            at += std::uint64_t(n);
            StepPast(part, count, std::size_t(n));
        }
    }
    return true;
}

void loadFromDescriptor(int fd, bool bitmapByName, const std::string& suffixOf, const std::string& name,
                        const LoadLimits& limits, PictureSurface& picture) {
    const std::optional<std::uint64_t> fileBytes = regularFileBytes(fd);
    if (fileBytes && readPlainRows(fd, *fileBytes, name, limits, picture))
        return;
    // Asking Qt for its formats loads its plug-ins: only for a file that
    // will need them.
    const QByteArray hint = bitmapByName ? QByteArray() : suffixFormat(suffixOf);
    picture = {};
    picture = LoadPictureFromSource([fd](void* buffer, std::size_t capacity) { return long(::read(fd, buffer, capacity)); },
                                    fileBytes, bitmapByName, hint.isEmpty() ? nullptr : hint.constData(), name, limits);
}

void loadPicture(const std::string& path, const LoadLimits& limits, PictureSurface& picture) {
    const Descriptor file(openForReading(path));
    if (file.get() < 0)
        refuse(path, systemReason(errno));
    loadFromDescriptor(file.get(), IsBitmapName(path), path, path, limits, picture);
}

} // namespace

std::vector<std::string> ReadableSuffixes() {
    std::vector<std::string> suffixes(std::begin(kBitmapSuffixes), std::end(kBitmapSuffixes));
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        if (std::find(suffixes.begin(), suffixes.end(), format.toLower().toStdString()) == suffixes.end())
            suffixes.push_back(format.toLower().toStdString());
    return suffixes;
}

bool HasReadableSuffix(std::string_view path) {
    static const std::vector<std::string> suffixes = ReadableSuffixes();
    const std::string suffix = NameSuffix(path);
    return !suffix.empty() && std::find(suffixes.begin(), suffixes.end(), suffix) != suffixes.end();
}

PictureSurface LoadPictureFromSource(const ReadSome& read, std::optional<std::uint64_t> expectedBytes,
                                     bool bitmapByName, const char* formatHint, const std::string& displayName,
                                     const LoadLimits& limits) {
    const Bytes whole = readToEnd(read, expectedBytes, displayName, limits);
    const std::span<const std::uint8_t> bytes = whole.span();
    // Our own decoder takes what starts with "BM" and whatever is named
    // .bmp: a .bmp file holding something else is refused rather than
    // silently read as another format.
    if (HasBmpSignature(bytes) || bitmapByName) {
        try {
            return DecodeBmp(bytes, limits, [&limits](EmbeddedFormat format, std::span<const std::uint8_t> stream) {
                return decodeEmbedded(format, stream, limits);
            });
        } catch (const BmpError& e) {
            refuse(displayName, e.what());
        }
    }
    try {
        return DecodeWithQt(bytes, formatHint, false, limits);
    } catch (const QtDecodeError& e) {
        refuse(displayName, e.what());
    }
}

PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits) {
    PictureSurface picture;
    loadPicture(path, limits, picture);
    return picture;
}

PictureSurface LoadPictureFromDescriptor(int fd, const std::string& displayName, const LoadLimits& limits) {
    PictureSurface picture;
    loadFromDescriptor(fd, false, {}, displayName, limits, picture);
    return picture;
}

void LoadPictureArgumentInto(const std::string& argument, const LoadLimits& limits, PictureSurface& picture) {
    if (argument != "-")
        return loadPicture(argument, limits, picture);
    static const std::string kStandardInput = "standard input";
    if (::isatty(STDIN_FILENO))
        refuse(kStandardInput, "it is a terminal; send a picture into it with < or a pipe");
    loadFromDescriptor(STDIN_FILENO, false, {}, kStandardInput, limits, picture);
}

PictureSurface LoadPictureArgument(const std::string& argument, const LoadLimits& limits) {
    PictureSurface picture;
    LoadPictureArgumentInto(argument, limits, picture);
    return picture;
}

} // namespace quadfind
