// A bitmap's headers as the BMP reader reads them, and the small helpers its
// parts share: what bmp_header.cpp, bmp_reader.cpp and bmp_rle.cpp have in
// common. Internal to the BMP reader; the public face is bmp_reader.h. No Qt.
#pragma once

#include "bmp_reader.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadfind::bmp {

// Every refusal of the reader: BmpError with one sentence.
[[noreturn]] void refuse(const std::string& why);

template <class Number>
std::string str(Number v) {
    return std::to_string(v);
}

// Little-endian reads; callers have checked that the bytes are there.
inline std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}
inline std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

enum class Coding { Rgb, Rle8, Rle4, Rle24, Huffman1D, BitFields, Jpeg, Png };

struct Header {
    std::uint32_t size = 0; // of the info header
    bool os2 = false;       // compressions 3 and 4 mean Huffman 1D and RLE24 here
    std::size_t entryBytes = 4;
    std::int64_t width = 0, height = 0; // height made positive; topDown says which way
    bool topDown = false;
    unsigned bits = 0;
    Coding coding = Coding::Rgb;
    bool alphaField = false; // BI_ALPHABITFIELDS: four masks after an INFO header
    bool hasColoursUsed = false;
    std::uint32_t coloursUsed = 0;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::size_t paletteAt = 0;
    std::uint64_t pixelsAt = 0; // the file header's offset of the pixel data, unchecked
};

// The file and info headers and the masks, each field checked for what it
// can be on its own and with the others; refuses with the first problem.
Header readHeader(std::span<const std::uint8_t> b);

struct Palette {
    std::vector<std::array<std::uint8_t, 3>> colours; // B, G, R
};

// The colours between the headers and the pixel data (h.pixelsAt, which
// must not lie inside the headers): as many as the header says are used, or
// as fit, up to what the bit count can index.
Palette readPalette(std::span<const std::uint8_t> b, const Header& h);

[[noreturn]] void refuseIndex(std::int64_t x, std::int64_t y, unsigned index, std::size_t colours);

// RLE4, RLE8 and RLE24 from `at` (bmp_rle.cpp).
PictureSurface decodeRle(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette);

} // namespace quadfind::bmp
