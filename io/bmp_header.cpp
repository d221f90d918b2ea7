#include "bmp_header.h"

#include "bmp_format.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <optional>
#include <utility>

namespace quadfind {

namespace bmp {

void refuse(const std::string& why) {
    throw BmpError(why);
}

void refuseIndex(std::int64_t x, std::int64_t y, unsigned index, std::size_t colours) {
    refuse("pixel (" + str(x) + ", " + str(y) + ") has colour index " + str(index) + ", past the palette's " +
           str(colours) + " colours");
}

namespace {

bool isWindowsHeader(std::uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

Coding codingOf(std::uint32_t compression, bool os2, Header& h) {
    if (os2) {
        switch (compression) {
        case 0: return Coding::Rgb;
        case 1: return Coding::Rle8;
        case 2: return Coding::Rle4;
        case 3: return Coding::Huffman1D;
        case 4: return Coding::Rle24;
        default: refuse("unknown compression " + str(compression));
        }
    }
    switch (compression) {
    case 0: return Coding::Rgb;
    case 1: return Coding::Rle8;
    case 2: return Coding::Rle4;
    case 3: return Coding::BitFields;
    case 4: return Coding::Jpeg;
    case 5: return Coding::Png;
    case 6: h.alphaField = true; return Coding::BitFields;
    case 11:
    case 12:
    case 13: refuse("unsupported: CMYK compression " + str(compression));
    default: refuse("unknown compression " + str(compression));
    }
}

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

// Refuses masks that leave a colour without bits, share bits, or (for the
// colours) are not one run of bits.
void checkMasks(const Header& h) {
    static constexpr const char* kNames[] = {"red", "green", "blue", "alpha"};
    const std::uint64_t pixelMask = h.bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    for (std::size_t i = 0; i < 4; ++i) {
        // Alpha is dropped: only where it would steal a colour's bits matters.
        const std::uint32_t m = h.masks[i] & (i == 3 ? std::uint32_t(pixelMask) : 0xFFFFFFFFu);
        if (m == 0) {
            if (i < 3)
                refuse(std::string("the ") + kNames[i] + " mask is empty");
            continue;
        }
        if (m & ~pixelMask)
            refuse(std::string("the ") + kNames[i] + " mask " + hex(m) + " has bits beyond the " + str(h.bits) +
                   " of a pixel");
        const std::uint32_t low = m >> std::countr_zero(m);
        if (i < 3 && (low & (low + 1)) != 0)
            refuse(std::string("the ") + kNames[i] + " mask " + hex(m) + " is not contiguous");
        for (std::size_t j = 0; j < i; ++j)
            if (m & h.masks[j])
                refuse(std::string("the ") + kNames[j] + " and " + kNames[i] + " masks overlap (" + hex(h.masks[j]) +
                       ", " + hex(m) + ")");
    }
}

// The fields every header has, where its kind keeps them. OS/2 2.x headers
// may stop after any field; what is missing is zero.
Header readFields(std::span<const std::uint8_t> b) {
    if (!HasBmpSignature(b))
        refuse("not a BMP file (it does not start with \"BM\")");
    if (b.size() < kBmpFileHeaderBytes + 4)
        refuse("the file ends inside its headers (" + str(b.size()) + " bytes)");
    Header h;
    h.pixelsAt = u32(b, 10);
    h.size = u32(b, kBmpFileHeaderBytes);
    const bool os2v1 = h.size == 12;
    h.os2 = os2v1 || (h.size >= 16 && h.size <= 64 && !isWindowsHeader(h.size));
    if (!h.os2 && !isWindowsHeader(h.size))
        refuse("unknown info header size " + str(h.size));
    if (kBmpFileHeaderBytes + h.size > b.size())
        refuse("the file ends inside its " + str(h.size) + "-byte info header");
    const std::size_t at = kBmpFileHeaderBytes;
    unsigned planes;
    if (os2v1) {
        h.entryBytes = 3;
        h.width = u16(b, at + 4);
        h.height = u16(b, at + 6);
        planes = u16(b, at + 8);
        h.bits = u16(b, at + 10);
    } else {
        h.width = std::int32_t(u32(b, at + 4));
        h.height = std::int32_t(u32(b, at + 8));
        planes = u16(b, at + 12);
        h.bits = u16(b, at + 14);
        if (h.size >= 20)
            h.coding = codingOf(u32(b, at + 16), h.os2, h);
        if (h.size >= 36) {
            h.hasColoursUsed = true;
            h.coloursUsed = u32(b, at + 32);
        }
    }
    if (planes != 1)
        refuse("the planes field is " + str(planes) + ", not 1");
    return h;
}

void checkBitsForCoding(const Header& h) {
    const bool embedded = h.coding == Coding::Jpeg || h.coding == Coding::Png;
    if (!(h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32 ||
          h.bits == 64 || (embedded && h.bits == 0)))
        refuse("the bit count " + str(h.bits) + " is not 1, 2, 4, 8, 16, 24, 32 or 64");
    if (h.bits == 64 && h.coding != Coding::Rgb)
        refuse("64 bits per pixel with a compression (it takes none)");
    if (h.coding == Coding::Rle8 && h.bits != 8)
        refuse("RLE8 compression with " + str(h.bits) + " bits per pixel (it needs 8)");
    if (h.coding == Coding::Rle4 && h.bits != 4)
        refuse("RLE4 compression with " + str(h.bits) + " bits per pixel (it needs 4)");
    if (h.coding == Coding::Rle24 && h.bits != 24)
        refuse("RLE24 compression with " + str(h.bits) + " bits per pixel (it needs 24)");
    if (h.coding == Coding::Huffman1D && h.bits != 1)
        refuse("Huffman 1D compression with " + str(h.bits) + " bits per pixel (it needs 1)");
    if (h.coding == Coding::BitFields && h.bits != 16 && h.bits != 32)
        refuse("bit-field compression with " + str(h.bits) + " bits per pixel (it needs 16 or 32)");
}

// A negative height means top-down rows.
void checkSize(Header& h) {
    if (h.width <= 0)
        refuse("the width " + str(h.width) + " is not positive");
    if (h.height == 0)
        refuse("the height is 0");
    if (h.height < -std::int64_t(INT32_MAX))
        refuse("the height " + str(h.height) + " is out of range");
    if (h.height < 0) {
        if (h.coding == Coding::Rle4 || h.coding == Coding::Rle8 || h.coding == Coding::Rle24)
            refuse("a top-down picture cannot be RLE-compressed");
        h.topDown = true;
        h.height = -h.height;
    }
}

// The masks, and where the palette starts after them.
void readMasks(std::span<const std::uint8_t> b, Header& h) {
    h.paletteAt = kBmpFileHeaderBytes + h.size;
    if (h.coding == Coding::BitFields) {
        if (h.size == 40) {
            // An INFO header is followed by the masks; later headers hold them.
            const std::size_t count = h.alphaField ? 4 : 3;
            if (h.paletteAt + 4 * count > b.size())
                refuse("the file ends inside its bit-field masks");
            for (std::size_t i = 0; i < count; ++i)
                h.masks[i] = u32(b, h.paletteAt + 4 * i);
            h.paletteAt += 4 * count;
        } else {
            for (std::size_t i = 0; i < (h.size >= 56 ? 4u : 3u); ++i)
                h.masks[i] = u32(b, kBmpFileHeaderBytes + 40 + 4 * i);
        }
        checkMasks(h);
    } else if (h.bits == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bits == 32) {
        h.masks = {0xFF0000, 0x00FF00, 0x0000FF, 0};
    }
}

} // namespace

Header readHeader(std::span<const std::uint8_t> b) {
    Header h = readFields(b);
    checkBitsForCoding(h);
    checkSize(h);
    readMasks(b, h);
    return h;
}

Palette readPalette(std::span<const std::uint8_t> b, const Header& h) {
    const std::uint64_t room = (h.pixelsAt - h.paletteAt) / h.entryBytes;
    const std::uint64_t needed = h.bits <= 8 ? std::uint64_t(1) << h.bits : 0;
    std::uint64_t count;
    if (h.hasColoursUsed && h.coloursUsed != 0) {
        if (h.coloursUsed > room)
            refuse("the palette of " + str(h.coloursUsed) + " colours does not fit before the pixel data (room for " +
                   str(room) + ")");
        count = std::min<std::uint64_t>(h.coloursUsed, needed);
    } else {
        // Implied length: a short palette ends where the pixel data starts.
        count = std::min(needed, room);
    }
    if (h.bits <= 8 && count == 0)
        refuse("no palette for a picture of " + str(h.bits) + " bits per pixel");
    Palette p;
    p.colours.resize(std::size_t(count));
    for (std::size_t i = 0; i < p.colours.size(); ++i) {
        const std::size_t at = h.paletteAt + i * h.entryBytes;
        p.colours[i] = {b[at], b[at + 1], b[at + 2]};
    }
    return p;
}

} // namespace bmp

std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredBmpSize(std::span<const std::uint8_t> start) {
    try {
        const bmp::Header h = bmp::readHeader(start);
        return std::pair{std::uint64_t(h.width), std::uint64_t(h.height)};
    } catch (const BmpError&) {
        return std::nullopt;
    }
}

std::optional<PlainRows> PlainBmpRows(std::span<const std::uint8_t> start, const LoadLimits& limits) {
    try {
        const bmp::Header h = bmp::readHeader(start);
        if (h.coding != bmp::Coding::Rgb || h.bits != 24 || h.pixelsAt < h.paletteAt ||
            !limits.allows(std::uint64_t(h.width), std::uint64_t(h.height)))
            return std::nullopt;
        (void)bmp::readPalette(start, h); // refuses what DecodeBmp would; reads no colour at 24 bits
        return PlainRows{h.pixelsAt, BmpRowStride(std::uint64_t(h.width), 24), std::int32_t(h.width),
                         std::int32_t(h.height), h.topDown};
    } catch (const BmpError&) {
        return std::nullopt;
    }
}

} // namespace quadfind
