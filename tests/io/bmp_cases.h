// BMP files written field by field, so that tests can make any variant,
// valid or broken, without a file on disk or another encoder; and the two
// tables the reader is held to: valid variants with the exact colours they
// must decode to, and broken files with the one message each must be refused
// with. The seed corpus of the fuzzer is these files.
#pragma once

#include "picture_surface.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quadfind::testing {

using Bytes = std::vector<std::uint8_t>;

// Little-endian, `size` bytes of v at b[at].
inline void put(Bytes& b, std::size_t at, std::uint32_t v, int size = 4) {
    for (int i = 0; i < size; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

struct Bmp {
    std::uint32_t headerSize = 40;      // 12: OS/2 1.x (16-bit sizes, 3-byte palette entries)
    std::int32_t width = 1, height = 1; // a negative height: top-down
    std::uint16_t planes = 1, bits = 24;
    std::uint32_t compression = 0, coloursUsed = 0;
    std::vector<std::uint32_t> masks = {};    // after a 40-byte header, inside larger ones
    std::vector<Colour> palette = {};         // 0x00BBGGRR, written B, G, R (, 0)
    std::size_t gap = 0;                      // bytes between the palette and the pixels
    std::optional<std::uint32_t> offset = {}; // when the field should lie
    Bytes pixels = {};

    Bytes bytes() const {
        Bytes b{'B', 'M'};
        b.resize(14 + headerSize);
        // The fields a header of this size has room for.
        auto field = [&](std::size_t at, std::uint32_t v, int size = 4) {
            if (at + std::size_t(size) <= headerSize)
                put(b, 14 + at, v, size);
        };
        const int sizeBytes = headerSize == 12 ? 2 : 4;
        field(0, headerSize);
        field(4, std::uint32_t(width), sizeBytes);
        field(4 + std::size_t(sizeBytes), std::uint32_t(height), sizeBytes);
        field(4 + 2 * std::size_t(sizeBytes), planes, 2);
        field(6 + 2 * std::size_t(sizeBytes), bits, 2);
        field(16, compression);
        field(20, std::uint32_t(pixels.size()));
        field(32, coloursUsed);
        if (headerSize >= 108)
            field(56, 0x73524742);                                           // 'sRGB'
        for (std::size_t i = 0; i < masks.size() && headerSize >= 40; ++i) { // after a 40-byte header
            b.resize(std::max(b.size(), 58 + 4 * i));
            put(b, 54 + 4 * i, masks[i]);
        }
        for (const Colour c : palette) {
            b.insert(b.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
            if (headerSize != 12)
                b.push_back(0);
        }
        b.resize(b.size() + gap, 0);
        put(b, 10, offset.value_or(std::uint32_t(b.size())));
        b.insert(b.end(), pixels.begin(), pixels.end());
        put(b, 2, std::uint32_t(b.size()));
        return b;
    }
};

// Packs rows, given in file order, each padded to 4 bytes. Below 8 bits the
// values are palette indices, first pixel in the high bits; 16 and 32 bits
// are little-endian words; 24 bits are colours written B, G, R.
inline Bytes packRows(unsigned bits, const std::vector<std::vector<std::uint32_t>>& rows) {
    Bytes out;
    for (const auto& row : rows) {
        const std::size_t start = out.size();
        out.resize(start + (row.size() * bits + 31) / 32 * 4, 0);
        for (std::size_t x = 0; x < row.size(); ++x) {
            if (bits < 8)
                out[start + x * bits / 8] |= std::uint8_t(row[x] << (8 - bits - x * bits % 8));
            else
                for (unsigned i = 0; i < bits / 8; ++i) // 24 bits: B, G, R from 0x00BBGGRR
                    out[start + x * bits / 8 + i] = std::uint8_t(row[x] >> (bits == 24 ? 16 - 8 * i : 8 * i));
        }
    }
    return out;
}

struct ValidBmp {
    std::string name;
    Bytes file;
    PictureSurface picture;
};

struct BrokenBmp {
    std::string name;
    Bytes file;
    std::string message;
    std::uint64_t maxPixels = 100'000'000;
};

std::vector<ValidBmp> ValidBmps();
std::vector<BrokenBmp> BrokenBmps();

// What a reader throws, or "(read)".
inline std::string refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(read)";
}

inline std::string writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

} // namespace quadfind::testing
