// What the BMP file format fixes, written once for the reader, the writer and
// the loader: the file header's size and signature, and the row layout. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quadfind {

// "BM", the size, two reserved words and the offset of the pixel data.
inline constexpr std::size_t kBmpFileHeaderBytes = 14;
inline constexpr std::uint8_t kBmpSignature[2] = {'B', 'M'};

// Whether bytes start with "BM": such a file is a bitmap whatever its name.
constexpr bool HasBmpSignature(std::span<const std::uint8_t> start) {
    return start.size() >= 2 && start[0] == kBmpSignature[0] && start[1] == kBmpSignature[1];
}

// The bytes a row of `width` pixels of `bits` each takes in a file, padded to
// a multiple of 4. Any width up to 2^32 and up to 64 bits: no overflow.
constexpr std::uint64_t BmpRowStride(std::uint64_t width, unsigned bits) {
    return (width * bits + 31) / 32 * 4;
}

// The same row without its padding: all that the last row of a file needs.
constexpr std::uint64_t BmpRowBytes(std::uint64_t width, unsigned bits) {
    return (width * bits + 7) / 8;
}

} // namespace quadfind
