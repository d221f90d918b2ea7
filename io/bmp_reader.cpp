// DecodeBmp: the header checks (bmp_header.cpp), then the pixel data of
// each kind: palette indices, 24 bits, bit fields, 64 bits here; RLE in
// bmp_rle.cpp; Huffman 1D through fax_decoder.cpp; BI_JPEG and BI_PNG
// through the embedded decoder the caller gives.
#include "bmp_reader.h"

#include "bmp_format.h"
#include "bmp_header.h"
#include "fax_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string>
#include <vector>

namespace quadfind {

namespace {

using namespace bmp;

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

PictureSurface decodeBitFields(std::span<const std::uint8_t> b, std::size_t at, std::size_t stride, const Header& h) {
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

// BI_JPEG and BI_PNG bitmaps carry a whole JPEG or PNG file as pixel data.
PictureSurface decodeEmbedded(std::span<const std::uint8_t> bytes, const Header& h, const EmbeddedDecoder& embedded) {
    const char* name = h.coding == Coding::Jpeg ? "JPEG" : "PNG";
    if (!embedded)
        refuse(std::string("unsupported: embedded ") + name + " stream");
    PictureSurface picture = embedded(h.coding == Coding::Jpeg ? EmbeddedFormat::Jpeg : EmbeddedFormat::Png,
                                      bytes.subspan(std::size_t(h.pixelsAt)));
    if (picture.width() != h.width || picture.height() != h.height)
        refuse(std::string("the embedded ") + name + " picture is " + str(picture.width()) + " x " +
               str(picture.height()) + ", the header says " + str(h.width) + " x " + str(h.height));
    return picture;
}

// The stride of uncompressed rows, once the file is known to hold them all.
// The last row's padding is not needed, so a file may end without it.
std::size_t checkedStride(std::span<const std::uint8_t> bytes, const Header& h) {
    const std::uint64_t w = std::uint64_t(h.width), rows = std::uint64_t(h.height);
    const std::uint64_t stride = BmpRowStride(w, h.bits);
    const std::uint64_t available = bytes.size() - h.pixelsAt;
    const std::uint64_t lastRow = BmpRowBytes(w, h.bits);
    // Divides first: stride * rows could wrap for a limit set absurdly high.
    // The header was refused for a width of 0, so stride is never 0.
    // NOLINTNEXTLINE(clang-analyzer-core.DivideZero)
    if ((rows - 1) > available / stride || available - (rows - 1) * stride < lastRow)
        refuse("the pixel data is " + str(available) + " bytes, the " + str(w) + " x " + str(rows) + " rows need " +
               str(stride * (rows - 1) + lastRow));
    return std::size_t(stride);
}

} // namespace

PictureSurface DecodeBmp(std::span<const std::uint8_t> bytes, const LoadLimits& limits,
                         const EmbeddedDecoder& embedded) {
    const Header h = readHeader(bytes);
    if (!limits.allows(std::uint64_t(h.width), std::uint64_t(h.height)))
        refuse(limits.tooLarge(std::uint64_t(h.width), std::uint64_t(h.height)));
    if (h.pixelsAt < h.paletteAt)
        refuse("the pixel data offset " + str(h.pixelsAt) + " lies inside the headers (they end at " +
               str(h.paletteAt) + ")");
    if (h.pixelsAt >= bytes.size())
        refuse("the pixel data offset " + str(h.pixelsAt) + " is past the end of the file (" + str(bytes.size()) +
               " bytes)");
    if (h.coding == Coding::Jpeg || h.coding == Coding::Png)
        return decodeEmbedded(bytes, h, embedded);

    const Palette palette = readPalette(bytes, h);
    const std::size_t at = std::size_t(h.pixelsAt);
    if (h.coding == Coding::Rle4 || h.coding == Coding::Rle8 || h.coding == Coding::Rle24)
        return decodeRle(bytes, at, h, palette);
    if (h.coding == Coding::Huffman1D)
        return decodeHuffman1D(bytes.subspan(at), h, palette);
    const std::size_t stride = checkedStride(bytes, h);
    if (h.bits <= 8)
        return decodeIndexed(bytes, at, stride, h, palette);
    if (h.bits == 64)
        return decode64(bytes, at, stride, h);
    if (h.bits != 24)
        return decodeBitFields(bytes, at, stride, h);
    PictureSurface picture{std::int32_t(h.width), std::int32_t(h.height), PictureSurface::Uninitialised{}};
    decode24(bytes, at, stride, h, picture);
    return picture;
}

} // namespace quadfind
