#include "bmp_reader.h"

#include "bmp_format.h"
#include "fax_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace quadfind {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw BmpError(why);
}

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

template <class Number>
std::string str(Number v) {
    return std::to_string(v);
}

// Little-endian reads; callers have checked that the bytes are there.
std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}
std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

enum class Coding { Rgb, Rle8, Rle4, Rle24, Huffman1D, BitFields, Jpeg, Png };

struct Header {
    std::uint32_t size = 0;    // of the info header
    bool os2 = false;          // compressions 3 and 4 mean Huffman 1D and RLE24 here
    std::size_t entryBytes = 4;
    std::int64_t width = 0, height = 0;
    bool topDown = false;
    unsigned bits = 0;
    Coding coding = Coding::Rgb;
    bool alphaField = false;   // BI_ALPHABITFIELDS: four masks after an INFO header
    bool hasColoursUsed = false;
    std::uint32_t coloursUsed = 0;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::size_t paletteAt = 0;
};

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
    case 11: case 12: case 13: refuse("unsupported: CMYK compression " + str(compression));
    default: refuse("unknown compression " + str(compression));
    }
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

Header readHeader(std::span<const std::uint8_t> b) {
    if (!HasBmpSignature(b))
        refuse("not a BMP file (it does not start with \"BM\")");
    if (b.size() < kBmpFileHeaderBytes + 4)
        refuse("the file ends inside its headers (" + str(b.size()) + " bytes)");
    Header h;
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
        // OS/2 2.x headers may stop after any field; what is missing is zero.
        if (h.size >= 20)
            h.coding = codingOf(u32(b, at + 16), h.os2, h);
        if (h.size >= 36) {
            h.hasColoursUsed = true;
            h.coloursUsed = u32(b, at + 32);
        }
    }
    if (planes != 1)
        refuse("the planes field is " + str(planes) + ", not 1");
    const bool embedded = h.coding == Coding::Jpeg || h.coding == Coding::Png;
    if (!(h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
          h.bits == 32 || h.bits == 64 || (embedded && h.bits == 0)))
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
                h.masks[i] = u32(b, at + 40 + 4 * i);
        }
        checkMasks(h);
    } else if (h.bits == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bits == 32) {
        h.masks = {0xFF0000, 0x00FF00, 0x0000FF, 0};
    }
    return h;
}

struct Palette {
    std::vector<std::array<std::uint8_t, 3>> colours; // B, G, R
};

Palette readPalette(std::span<const std::uint8_t> b, const Header& h, std::uint64_t pixelsAt) {
    const std::uint64_t room = (pixelsAt - h.paletteAt) / h.entryBytes;
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

[[noreturn]] void refuseIndex(std::int64_t x, std::int64_t y, unsigned index, std::size_t colours) {
    refuse("pixel (" + str(x) + ", " + str(y) + ") has colour index " + str(index) +
           ", past the palette's " + str(colours) + " colours");
}

// Bits is a template argument so that the position arithmetic is shifts.
// With a short palette, a first pass (Paint false) looks for indices past it
// so that such a file is refused before the picture is allocated; with a
// full one no index can be past it.
template <unsigned Bits, bool Paint>
void indexedRows(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h,
                 const Palette& palette, PictureSurface* out) {
    constexpr unsigned kMask = (1u << Bits) - 1, kPerByte = 8 / Bits;
    const std::size_t colours = palette.colours.size();
    for (std::int64_t fileRow = 0; fileRow < h.height; ++fileRow) {
        const std::int64_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
        const std::uint8_t* in = b.data() + at + std::size_t(fileRow) * stride;
        std::uint8_t* o = Paint ? out->row(std::int32_t(y)) : nullptr;
        for (std::int64_t x = 0; x < h.width; ++x) {
            const unsigned shift = 8 - Bits * (unsigned(x % kPerByte) + 1);
            const unsigned index = (in[x / kPerByte] >> shift) & kMask;
            if constexpr (Paint) {
                const auto& c = palette.colours[index];
                o[0] = c[0];
                o[1] = c[1];
                o[2] = c[2];
                o += 3;
            } else if (index >= colours) {
                refuseIndex(x, y, index, colours);
            }
        }
    }
}

template <unsigned Bits>
PictureSurface decodeIndexedAt(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h,
                               const Palette& palette) {
    if (palette.colours.size() < (1u << Bits))
        indexedRows<Bits, false>(b, at, stride, h, palette, nullptr);
    PictureSurface out{std::int32_t(h.width), std::int32_t(h.height)};
    indexedRows<Bits, true>(b, at, stride, h, palette, &out);
    return out;
}

PictureSurface decodeIndexed(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h,
                             const Palette& palette) {
    switch (h.bits) {
    case 1: return decodeIndexedAt<1>(b, at, stride, h, palette);
    case 2: return decodeIndexedAt<2>(b, at, stride, h, palette);
    case 4: return decodeIndexedAt<4>(b, at, stride, h, palette);
    default: return decodeIndexedAt<8>(b, at, stride, h, palette);
    }
}

void decode24(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h,
              PictureSurface& out) {
    for (std::int64_t fileRow = 0; fileRow < h.height; ++fileRow) {
        const std::int64_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
        std::copy_n(b.data() + at + std::size_t(fileRow) * stride, out.rowBytes(), out.row(std::int32_t(y)));
    }
}

// One colour channel of a bit-field layout.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    std::vector<std::uint8_t> table; // value -> 0..255 when bits <= 16

    std::uint8_t fromTable(std::uint32_t pixel) const { return table[(pixel & mask) >> shift]; }
    std::uint8_t computed(std::uint32_t pixel) const {
        const std::uint64_t v = (pixel & mask) >> shift;
        const std::uint64_t top = (std::uint64_t(1) << bits) - 1;
        // 255 and 2^n - 1 are odd, so v * 255 / top is never a half: no ties.
        return std::uint8_t((v * 510 + top) / (2 * top));
    }
};

std::array<Channel, 3> channelsOf(const Header& h) {
    std::array<Channel, 3> out;
    for (std::size_t i = 0; i < 3; ++i) {
        Channel& c = out[i];
        c.mask = h.masks[i];
        c.shift = std::countr_zero(c.mask);
        c.bits = std::popcount(c.mask);
        if (c.bits <= 16) {
            const std::uint64_t top = (std::uint64_t(1) << c.bits) - 1;
            c.table.resize(std::size_t(top) + 1);
            for (std::uint64_t v = 0; v <= top; ++v)
                c.table[std::size_t(v)] = std::uint8_t((v * 510 + top) / (2 * top));
        }
    }
    return out;
}

// Chosen once per picture: the word size, and whether every channel has a
// table (any channel over 16 bits is computed instead).
template <std::size_t BytesPerPixel, bool Tables>
void decodeBitFieldRows(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h,
                        const std::array<Channel, 3>& ch, PictureSurface& out) {
    for (std::int64_t fileRow = 0; fileRow < h.height; ++fileRow) {
        const std::int64_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
        const std::uint8_t* in = b.data() + at + std::size_t(fileRow) * stride;
        std::uint8_t* o = out.row(std::int32_t(y));
        for (std::int64_t x = 0; x < h.width; ++x, in += BytesPerPixel, o += 3) {
            std::uint32_t pixel = std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8;
            if constexpr (BytesPerPixel == 4)
                pixel |= std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
            if constexpr (Tables) {
                o[0] = ch[2].fromTable(pixel);
                o[1] = ch[1].fromTable(pixel);
                o[2] = ch[0].fromTable(pixel);
            } else {
                o[0] = ch[2].computed(pixel);
                o[1] = ch[1].computed(pixel);
                o[2] = ch[0].computed(pixel);
            }
        }
    }
}

PictureSurface decodeBitFields(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride,
                               const Header& h) {
    const std::array<Channel, 3> ch = channelsOf(h);
    PictureSurface out{std::int32_t(h.width), std::int32_t(h.height)};
    const bool tables = !ch[0].table.empty() && !ch[1].table.empty() && !ch[2].table.empty();
    if (h.bits == 16)
        decodeBitFieldRows<2, true>(b, at, stride, h, ch, out); // 16-bit channels always have tables
    else if (tables)
        decodeBitFieldRows<4, true>(b, at, stride, h, ch, out);
    else
        decodeBitFieldRows<4, false>(b, at, stride, h, ch, out);
    return out;
}

// Walks an RLE stream. The first walk, Paint false, only checks it, so that a
// broken stream is refused before the picture is allocated; the second
// paints into a picture already filled with palette colour 0.
template <bool Paint>
void walkRle(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette,
             PictureSurface* out) {
    const bool four = h.coding == Coding::Rle4;
    // RLE24: every run value and absolute pixel is a B, G, R triple.
    const std::size_t valueBytes = h.coding == Coding::Rle24 ? 3 : 1;
    const std::size_t colours = palette.colours.size();
    const std::int64_t w = h.width, rows = h.height;
    std::int64_t x = 0, fileRow = 0;
    std::size_t pos = at;
    auto put = [&](unsigned index) {
        const std::int64_t y = rows - 1 - fileRow;
        if (index >= colours)
            refuseIndex(x, y, index, colours);
        if constexpr (Paint)
            std::copy(palette.colours[index].begin(), palette.colours[index].end(),
                      out->row(std::int32_t(y)) + std::size_t(x) * 3);
        ++x;
    };
    auto putTriple = [&](const std::uint8_t* bgr) {
        if constexpr (Paint)
            std::copy_n(bgr, 3, out->row(std::int32_t(rows - 1 - fileRow)) + std::size_t(x) * 3);
        ++x;
    };
    auto startRun = [&](std::int64_t n) {
        if (fileRow >= rows)
            refuse("the RLE stream runs past the last row");
        if (x + n > w)
            refuse("an RLE run passes the end of row " + str(rows - 1 - fileRow));
    };
    for (;;) {
        if (b.size() - pos < 2)
            refuse("the RLE stream ends before its end-of-bitmap marker");
        const unsigned count = b[pos], value = b[pos + 1];
        if (count > 0) {
            if (b.size() - pos < 1 + valueBytes)
                refuse("the RLE stream ends inside a run");
            startRun(count);
            for (unsigned i = 0; i < count; ++i) {
                if (valueBytes == 3)
                    putTriple(b.data() + pos + 1);
                else
                    put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
            }
            pos += 1 + valueBytes;
            continue;
        }
        pos += 2;
        if (value == 0) { // end of line
            if (fileRow >= rows)
                refuse("the RLE stream runs past the last row");
            x = 0;
            ++fileRow;
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // delta
            if (b.size() - pos < 2)
                refuse("the RLE stream ends inside a delta");
            const std::int64_t dx = b[pos], dy = b[pos + 1];
            pos += 2;
            if (x + dx > w || fileRow + dy > rows)
                refuse("an RLE delta moves past the picture");
            x += dx;
            fileRow += dy;
        } else { // absolute run, padded to 16 bits
            startRun(value);
            const std::size_t bytes = four ? (value + 1) / 2 : value * valueBytes;
            const std::size_t padded = bytes + (bytes & 1);
            if (b.size() - pos < padded)
                refuse("the RLE stream ends inside an absolute run");
            for (unsigned i = 0; i < value; ++i) {
                if (valueBytes == 3)
                    putTriple(b.data() + pos + 3 * i);
                else
                    put(four ? (i % 2 == 0 ? b[pos + i / 2] >> 4 : b[pos + i / 2] & 15) : b[pos + i]);
            }
            pos += padded;
        }
    }
}

PictureSurface decodeRle(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette) {
    walkRle<false>(b, at, h, palette, nullptr);
    PictureSurface out{std::int32_t(h.width), std::int32_t(h.height)};
    // What a never-written index holds; RLE24 has no palette, and leaves black.
    static constexpr std::array<std::uint8_t, 3> kBlack{};
    const auto& background = palette.colours.empty() ? kBlack : palette.colours[0];
    for (std::int32_t y = 0; y < out.height(); ++y)
        for (std::size_t i = 0; i < out.rowBytes(); i += 3)
            std::copy(background.begin(), background.end(), out.row(y) + i);
    walkRle<true>(b, at, h, palette, &out);
    return out;
}

// 64 bits: B, G, R, A, each signed fixed point s2.13 (8192 is 1.0) in linear
// light. One table over the 65536 values does the clamping, the sRGB curve
// and the rounding.
void decode64(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h,
              PictureSurface& out) {
    std::vector<std::uint8_t> table(65536);
    for (std::size_t v = 0; v < table.size(); ++v) {
        const double linear = std::clamp(double(std::int16_t(std::uint16_t(v))) / 8192.0, 0.0, 1.0);
        const double encoded = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
        table[v] = std::uint8_t(std::lround(encoded * 255));
    }
    for (std::int64_t fileRow = 0; fileRow < h.height; ++fileRow) {
        const std::int64_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
        const std::uint8_t* in = b.data() + at + std::size_t(fileRow) * stride;
        std::uint8_t* o = out.row(std::int32_t(y));
        for (std::int64_t x = 0; x < h.width; ++x, in += 8, o += 3) {
            o[0] = table[std::size_t(in[0] | in[1] << 8)];
            o[1] = table[std::size_t(in[2] | in[3] << 8)];
            o[2] = table[std::size_t(in[4] | in[5] << 8)];
        }
    }
}

PictureSurface decode64(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h) {
    PictureSurface out{std::int32_t(h.width), std::int32_t(h.height)};
    decode64(b, at, stride, h, out);
    return out;
}

// The stream decoded to 1-bit rows (fax_decoder.h), which go through the
// indexed path as any 1-bit bitmap's: an index past a short palette is
// refused before the picture is allocated.
PictureSurface decodeHuffman1D(std::span<const std::uint8_t> stream, const Header& h, const Palette& palette) {
    const std::vector<std::uint8_t> rows = DecodeHuffman1D(stream, std::uint32_t(h.width), std::uint32_t(h.height));
    return decodeIndexedAt<1>(rows, 0, std::size_t(BmpRowBytes(std::uint64_t(h.width), 1)), h, palette);
}

} // namespace

std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredBmpSize(std::span<const std::uint8_t> start) {
    try {
        const Header h = readHeader(start);
        return std::pair{std::uint64_t(h.width), std::uint64_t(h.height)};
    } catch (const BmpError&) {
        return std::nullopt;
    }
}

std::optional<PlainRows> PlainBmpRows(std::span<const std::uint8_t> start, const LoadLimits& limits) {
    try {
        const Header h = readHeader(start);
        const std::uint64_t pixelsAt = u32(start, 10);
        if (h.coding != Coding::Rgb || h.bits != 24 || pixelsAt < h.paletteAt ||
            !limits.allows(std::uint64_t(h.width), std::uint64_t(h.height)))
            return std::nullopt;
        (void)readPalette(start, h, pixelsAt); // refuses what DecodeBmp would; reads no colour at 24 bits
        return PlainRows{pixelsAt, BmpRowStride(std::uint64_t(h.width), 24), std::int32_t(h.width),
                         std::int32_t(h.height), h.topDown};
    } catch (const BmpError&) {
        return std::nullopt;
    }
}

PictureSurface DecodeBmp(std::span<const std::uint8_t> bytes, const LoadLimits& limits,
                         const EmbeddedDecoder& embedded) {
    const Header h = readHeader(bytes);
    const std::uint64_t w = std::uint64_t(h.width), rows = std::uint64_t(h.height);
    if (!limits.allows(w, rows))
        refuse(limits.tooLarge(w, rows));

    const std::uint64_t pixelsAt = u32(bytes, 10);
    if (pixelsAt < h.paletteAt)
        refuse("the pixel data offset " + str(pixelsAt) + " lies inside the headers (they end at " + str(h.paletteAt) +
               ")");
    if (pixelsAt >= bytes.size())
        refuse("the pixel data offset " + str(pixelsAt) + " is past the end of the file (" + str(bytes.size()) +
               " bytes)");

    if (h.coding == Coding::Jpeg || h.coding == Coding::Png) {
        const char* name = h.coding == Coding::Jpeg ? "JPEG" : "PNG";
        if (!embedded)
            refuse(std::string("unsupported: embedded ") + name + " stream");
        PictureSurface picture = embedded(h.coding == Coding::Jpeg ? EmbeddedFormat::Jpeg : EmbeddedFormat::Png,
                                          bytes.subspan(std::size_t(pixelsAt)));
        if (std::uint64_t(picture.width()) != w || std::uint64_t(picture.height()) != rows)
            refuse(std::string("the embedded ") + name + " picture is " + str(picture.width()) + " x " +
                   str(picture.height()) + ", the header says " + str(w) + " x " + str(rows));
        return picture;
    }

    const Palette palette = readPalette(bytes, h, pixelsAt);
    const std::size_t at = std::size_t(pixelsAt);
    if (h.coding == Coding::Rle4 || h.coding == Coding::Rle8 || h.coding == Coding::Rle24)
        return decodeRle(bytes, at, h, palette);
    if (h.coding == Coding::Huffman1D)
        return decodeHuffman1D(bytes.subspan(at), h, palette);

    // The last row's padding is not needed, so a file may end without it.
    const std::uint64_t stride = BmpRowStride(w, h.bits);
    const std::uint64_t available = bytes.size() - at;
    const std::uint64_t lastRow = BmpRowBytes(w, h.bits);
    // Divides first: stride * rows could wrap for a limit set absurdly high.
    if ((rows - 1) > available / stride || available - (rows - 1) * stride < lastRow)
        refuse("the pixel data is " + str(available) + " bytes, the " + str(w) + " x " + str(rows) +
               " rows need " + str(stride * (rows - 1) + lastRow));

    if (h.bits <= 8)
        return decodeIndexed(bytes, at, std::size_t(stride), h, palette);
    if (h.bits == 64)
        return decode64(bytes, at, std::size_t(stride), h);
    if (h.bits != 24)
        return decodeBitFields(bytes, at, std::size_t(stride), h);
    PictureSurface picture{std::int32_t(w), std::int32_t(rows), PictureSurface::Uninitialised{}};
    decode24(bytes, at, std::size_t(stride), h, picture);
    return picture;
}

} // namespace quadfind
