// Huffman 1D, the CCITT Group 3 one-dimensional code of fax machines, as
// OS/2 bitmaps use it, decoded by libtiff: the BMP reader's one use of
// libtiff, and the only place that knows it. No Qt.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quadfind {

// The `height` rows of `width` pixels that `stream` codes, in the stream's
// order, each (width + 7) / 8 bytes of 1 bit a pixel, most significant bit
// first: a white run 0, a black one 1. Rows may end in an EOL (as a bitmap's
// do) or start with one (as a fax's do). Throws BmpError, saying what
// libtiff found wrong, when the stream is damaged or codes rows of another
// length.
//
// Memory: a copy of the stream, wrapped as a TIFF in memory, and the rows.
std::vector<std::uint8_t> DecodeHuffman1D(std::span<const std::uint8_t> stream, std::uint32_t width,
                                          std::uint32_t height);

} // namespace quadfind
