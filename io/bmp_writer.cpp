#include "bmp_writer.h"

#include "picture_error.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace quadfind {

namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    out[at] = std::uint8_t(v);
    out[at + 1] = std::uint8_t(v >> 8);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

} // namespace

std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture) {
    constexpr std::size_t kHeaders = 14 + 40;
    const std::uint64_t stride = (std::uint64_t(picture.rowBytes()) + 3) & ~std::uint64_t(3);
    const std::uint64_t dataBytes = stride * std::uint64_t(picture.height());
    if (dataBytes > std::numeric_limits<std::uint32_t>::max() - kHeaders)
        throw std::length_error("picture too large for a BMP file");

    std::vector<std::uint8_t> out(kHeaders + std::size_t(dataBytes), 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, std::uint32_t(out.size()));
    put32(out, 10, kHeaders);
    put32(out, 14, 40);
    put32(out, 18, std::uint32_t(picture.width()));
    put32(out, 22, std::uint32_t(picture.height())); // positive: bottom-up
    put16(out, 26, 1);
    put16(out, 28, 24);
    put32(out, 34, std::uint32_t(dataBytes));
    put32(out, 38, 3780); // 96 dpi
    put32(out, 42, 3780);
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::size_t at = kHeaders + std::size_t(picture.height() - 1 - y) * std::size_t(stride);
        if (picture.rowBytes() != 0)
            std::memcpy(out.data() + at, picture.row(y), picture.rowBytes());
    }
    return out;
}

void SaveBmp(const PictureSurface& picture, const std::string& path) {
    const std::vector<std::uint8_t> bytes = EncodeBmp(picture);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (file)
        file.close();
    if (!file)
        throw PictureError("Cannot write " + path + ": " + std::strerror(errno));
}

} // namespace quadfind
