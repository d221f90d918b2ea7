#include "plain_rows.h"

#include "bmp_format.h"
#include "bmp_reader.h"
#include "io_vectors.h"
#include "picture_error.h"

#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>

namespace quadfind {

namespace {

// The rows' place in the file at `base`, when it holds all of them.
std::optional<PlainRows> rowsInFile(int fd, off_t base, std::uint64_t fileBytes, const std::string& name,
                                    const LoadLimits& limits) {
    std::array<std::uint8_t, 4096> start;
    long got;
    do
        got = long(::pread(fd, start.data(), start.size(), base));
    while (got < 0 && errno == EINTR);
    if (got < 0)
        throw LoadError(name, std::strerror(errno));
    const std::optional<PlainRows> rows = PlainBmpRows(std::span(start.data(), std::size_t(got)), limits);
    if (!rows)
        return std::nullopt;
    // The last row's padding may be missing, as for the whole-file path.
    const std::uint64_t end =
        rows->pixelsAt + rows->stride * std::uint64_t(rows->height - 1) + BmpRowBytes(std::uint64_t(rows->width), 24);
    return end <= fileBytes ? rows : std::nullopt;
}

} // namespace

bool ReadPlainRows(int fd, std::uint64_t fileBytes, const std::string& name, const LoadLimits& limits,
                   PictureSurface& picture) {
    const off_t base = ::lseek(fd, 0, SEEK_CUR);
    if (base < 0)
        return false;
    const std::optional<PlainRows> rows = rowsInFile(fd, base, fileBytes, name, limits);
    if (!rows)
        return false;
    if (picture.width() != rows->width || picture.height() != rows->height) {
        picture = {};
        picture = PictureSurface(rows->width, rows->height, PictureSurface::Uninitialised{});
    }
    const std::size_t rowBytes = picture.rowBytes(), padding = std::size_t(rows->stride) - rowBytes;
    std::uint8_t skipped[3];
    constexpr int kRowsPerRead = 256; // two parts a row, within every system's IOV_MAX
    std::array<iovec, std::size_t(2) * kRowsPerRead> parts;
    std::uint64_t at = rows->pixelsAt;
    for (std::int32_t fileRow = 0; fileRow < rows->height;) {
        int count = 0;
        for (; fileRow < rows->height && count < 2 * kRowsPerRead; ++fileRow) {
            const std::int32_t y = rows->topDown ? fileRow : rows->height - 1 - fileRow;
            parts[std::size_t(count++)] = {picture.row(y), rowBytes};
            if (padding != 0 && fileRow + 1 < rows->height)
                parts[std::size_t(count++)] = {skipped, padding};
        }
        iovec* part = parts.data();
        while (count > 0) {
            const ssize_t n = ::preadv(fd, part, count, base + off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw LoadError(name, std::strerror(errno));
            if (n == 0)
                throw LoadError(name, "the file shrank while it was read (" + std::to_string(at) + " of " +
                                          std::to_string(fileBytes) + " bytes)");
            at += std::uint64_t(n);
            StepPast(part, count, std::size_t(n));
        }
    }
    return true;
}

} // namespace quadfind
