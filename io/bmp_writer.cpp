#include "bmp_writer.h"

#include "bmp_format.h"
#include "picture_error.h"

#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <optional>
#include <stdexcept>

namespace quadfind {

namespace {

constexpr std::size_t kHeaders = kBmpFileHeaderBytes + 40;
using Headers = std::array<std::uint8_t, kHeaders>;

void put16(std::uint8_t* out, std::uint32_t v) {
    out[0] = std::uint8_t(v);
    out[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = std::uint8_t(v >> (8 * i));
}

// Nothing when the file would not fit the format's 32-bit sizes.
std::optional<Headers> headersOf(const PictureSurface& picture) {
    const std::uint64_t dataBytes = BmpRowStride(std::uint64_t(picture.width()), 24) * std::uint64_t(picture.height());
    if (dataBytes > std::numeric_limits<std::uint32_t>::max() - kHeaders)
        return std::nullopt;
    Headers h{};
    std::copy(std::begin(kBmpSignature), std::end(kBmpSignature), h.begin());
    put32(&h[2], std::uint32_t(kHeaders + dataBytes));
    put32(&h[10], kHeaders);
    put32(&h[14], 40);
    put32(&h[18], std::uint32_t(picture.width()));
    put32(&h[22], std::uint32_t(picture.height())); // positive: bottom-up
    put16(&h[26], 1);
    put16(&h[28], 24);
    put32(&h[34], std::uint32_t(dataBytes));
    put32(&h[38], 3780); // 96 dpi
    put32(&h[42], 3780);
    return h;
}

// The encoder: hands `write` the file's bytes in parts, the headers, then
// each row as it lies in the picture, bottom row first, followed by its
// padding; a few hundred rows a call, no copy.
void writeBmp(const PictureSurface& picture, const Headers& headers, const PendingFile::WriteParts& write) {
    static constexpr std::uint8_t kPadding[3] = {};
    const std::size_t rowBytes = picture.rowBytes();
    const std::size_t padding = std::size_t(BmpRowStride(std::uint64_t(picture.width()), 24)) - rowBytes;
    constexpr int kPartsPerWrite = 512; // within every system's IOV_MAX
    std::array<iovec, kPartsPerWrite> parts;
    int count = 0;
    parts[std::size_t(count++)] = {const_cast<std::uint8_t*>(headers.data()), kHeaders};
    for (std::int32_t y = picture.height() - 1; y >= 0; --y) {
        if (count + 2 > kPartsPerWrite) {
            write(parts.data(), count);
            count = 0;
        }
        if (rowBytes != 0)
            parts[std::size_t(count++)] = {const_cast<std::uint8_t*>(picture.row(y)), rowBytes};
        if (padding != 0)
            parts[std::size_t(count++)] = {const_cast<std::uint8_t*>(kPadding), padding};
    }
    write(parts.data(), count);
}

// Checked before the temporary file is made, so that a refusal leaves none.
Headers headersToWrite(const PictureSurface& picture, const std::string& path) {
    const std::optional<Headers> headers = headersOf(picture);
    if (!headers)
        throw WriteError(path, "a picture of " + std::to_string(picture.width()) + " x " +
                                   std::to_string(picture.height()) +
                                   " pixels is too large for a BMP file (4 GiB at most)");
    return *headers;
}

} // namespace

std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture) {
    const std::optional<Headers> headers = headersOf(picture);
    if (!headers)
        throw std::length_error("picture too large for a BMP file");
    std::vector<std::uint8_t> out;
    out.reserve(kHeaders +
                std::size_t(BmpRowStride(std::uint64_t(picture.width()), 24)) * std::size_t(picture.height()));
    writeBmp(picture, *headers, [&out](iovec* parts, int count) {
        for (const iovec& part : std::span(parts, std::size_t(count)))
            out.insert(out.end(), static_cast<const std::uint8_t*>(part.iov_base),
                       static_cast<const std::uint8_t*>(part.iov_base) + part.iov_len);
    });
    return out;
}

PendingFile::PendingFile(const PictureSurface& picture, const std::string& path)
    : PendingFile(path, [&picture, headers = headersToWrite(picture, path)](const WriteParts& write) {
          writeBmp(picture, headers, write);
      }) {}

void SaveBmp(const PictureSurface& picture, const std::string& path) {
    PendingFile(picture, path).commit(Durability::OnDisk);
}

} // namespace quadfind
