// DecodeBmp: a strict reader of Windows and OS/2 bitmaps held in memory. No Qt.
//
// Reads: the "BM" file header with its pixel-data offset (gaps allowed);
// info headers of 12 (OS/2 1.x), 16 to 64 (OS/2 2.x, short ones included),
// 40, 52, 56, 108 and 124 bytes; 1, 2, 4 and 8 bits through a palette of 3-
// or 4-byte entries (short palettes, and long ones of which the first entries
// count); RLE4 and RLE8, where pixels the stream skips take palette colour 0;
// OS/2's RLE24 (B, G, R triples in RLE8's grammar; skipped pixels black) and
// Huffman 1D (CCITT Group 3 one-dimensional, 1 bit, most significant bit
// first, decoded by libtiff; a white run is index 0); 16 and 32 bits in their
// default layouts or through contiguous bit-field masks, each channel of n
// bits scaled to round(v * 255 / (2^n - 1)); 24 bits; 64 bits (s2.13 linear
// light, clamped to 0..1, sRGB-encoded and rounded to 8 bits); top-down and
// bottom-up rows. Alpha and colour profiles are ignored: the result holds
// the colours as stored, 24-bit B, G, R, row 0 on top.
//
// Anything else, and every inconsistency that would make the picture a guess,
// throws BmpError with one sentence saying what is wrong. The message does not
// name the file (the bytes have none); callers add it. Fields that describe
// nothing needed here (file size, image size, densities, important colours)
// are never read. The header, width * height against the limit, the masks,
// the length of the pixel data, the RLE stream and, for a short palette,
// every index are checked before the picture is allocated, so that these
// refusals cost no memory the file decides. Two kinds of bitmap are decoded
// first: a Huffman 1D stream (into a copy of it and 1 bit a pixel, by
// libtiff: fax_decoder.h) before its damage or an index past a short palette
// is refused, still before the picture; and a BI_JPEG or BI_PNG stream,
// whose picture the embedded decoder makes (over the limit it refuses from
// the stream's header) before a size other than the bitmap header's is
// refused.
//
// Cost: one pass over the pixel data (two for RLE and for short palettes); one
// allocation, the picture, plus lookup tables of at most 3 * 64 KiB for bit
// fields or 64 KiB for 64 bits. Huffman 1D also holds a copy of the stream
// and the decoded bits (1 bit a pixel) before the picture.
#pragma once

#include "load_limits.h"
#include "picture_surface.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>

namespace quadfind {

class BmpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class EmbeddedFormat { Jpeg, Png };

// Decodes the JPEG or PNG stream a BI_JPEG or BI_PNG bitmap carries; throws
// BmpError when it cannot. Without one, such bitmaps are refused.
using EmbeddedDecoder = std::function<PictureSurface(EmbeddedFormat, std::span<const std::uint8_t>)>;

PictureSurface DecodeBmp(std::span<const std::uint8_t> bytes, const LoadLimits& limits = {},
                         const EmbeddedDecoder& embedded = {});

// Where the rows of an uncompressed 24-bit bitmap lie in its file, for a
// loader that reads them straight into a picture instead of holding the
// whole file: nothing unless the headers at `start` are such a bitmap's,
// within the limits, that DecodeBmp would read the same way. Whether the
// file holds all the rows is left to the loader.
struct PlainRows {
    std::uint64_t pixelsAt = 0; // offset of the first row in the file
    std::uint64_t stride = 0;   // bytes a row takes in the file, padding included
    std::int32_t width = 0, height = 0;
    bool topDown = false;
};
std::optional<PlainRows> PlainBmpRows(std::span<const std::uint8_t> start, const LoadLimits& limits);

// The width and height the headers at the start of a bitmap declare, or
// nothing when they cannot be read; lets a loader refuse a file over the
// limit before reading all of it.
std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredBmpSize(std::span<const std::uint8_t> start);

} // namespace quadfind
