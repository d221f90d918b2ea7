// Writes BMP files byte by byte, field by field, so that tests can make any
// variant, valid or broken, without a file on disk or another encoder.
#pragma once

#include "picture_surface.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quadfind::testing {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

struct Bmp {
    std::uint32_t headerSize = 40; // 12: OS/2 1.x (16-bit sizes, 3-byte palette entries)
    std::int32_t width = 1;
    std::int32_t height = 1;       // negative: top-down
    std::uint16_t planes = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> masks; // after a 40-byte header, inside larger ones
    std::vector<Colour> palette;      // 0x00BBGGRR, written B, G, R (, 0)
    std::size_t gap = 0;              // bytes between the palette and the pixels
    std::optional<std::uint32_t> offset; // when the field should lie
    Bytes pixels;

    Bytes bytes() const {
        Bytes b(14 + headerSize, 0);
        b[0] = 'B';
        b[1] = 'M';
        const std::size_t h = 14;
        auto field32 = [&](std::size_t at, std::uint32_t v) {
            if (at + 4 <= headerSize)
                put32(b, h + at, v);
        };
        put32(b, h, headerSize);
        if (headerSize == 12) {
            put16(b, h + 4, std::uint32_t(width));
            put16(b, h + 6, std::uint32_t(height));
            put16(b, h + 8, planes);
            put16(b, h + 10, bits);
        } else {
            field32(4, std::uint32_t(width));
            field32(8, std::uint32_t(height));
            if (headerSize >= 16) {
                put16(b, h + 12, planes);
                put16(b, h + 14, bits);
            }
            field32(16, compression);
            field32(20, std::uint32_t(pixels.size()));
            field32(24, 2835);
            field32(28, 2835);
            field32(32, coloursUsed);
            if (headerSize > 40)
                for (std::size_t i = 0; i < masks.size(); ++i)
                    field32(40 + 4 * i, masks[i]);
            if (headerSize >= 108)
                field32(56, 0x73524742); // 'sRGB'
        }
        if (headerSize == 40)
            for (const std::uint32_t m : masks) {
                b.resize(b.size() + 4);
                put32(b, b.size() - 4, m);
            }
        for (const Colour c : palette) {
            b.push_back(std::uint8_t(c >> 16));
            b.push_back(std::uint8_t(c >> 8));
            b.push_back(std::uint8_t(c));
            if (headerSize != 12)
                b.push_back(0);
        }
        b.resize(b.size() + gap, 0);
        put32(b, 10, offset.value_or(std::uint32_t(b.size())));
        b.insert(b.end(), pixels.begin(), pixels.end());
        put32(b, 2, std::uint32_t(b.size()));
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
        if (bits < 8) {
            out.resize(start + (row.size() * bits + 7) / 8, 0);
            for (std::size_t x = 0; x < row.size(); ++x)
                out[start + x * bits / 8] |= std::uint8_t(row[x] << (8 - bits - x * bits % 8));
        } else {
            for (const std::uint32_t v : row) {
                if (bits == 24) {
                    out.push_back(std::uint8_t(v >> 16));
                    out.push_back(std::uint8_t(v >> 8));
                    out.push_back(std::uint8_t(v));
                } else {
                    for (unsigned i = 0; i < bits / 8; ++i)
                        out.push_back(std::uint8_t(v >> (8 * i)));
                }
            }
        }
        out.resize(start + (out.size() - start + 3) / 4 * 4, 0);
    }
    return out;
}

} // namespace quadfind::testing
