// Inner loops of the fused edge pass (edge_pass.h), one table per
// instruction set. Internal to detect/.
//
// The blue rows are the blue bytes of picture rows, one byte per pixel. No
// function reads or writes outside the ranges stated here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quadfind::edgepass {

inline constexpr int kTileRows = 16;

struct RowEdges {
    std::int32_t count; // edge pixels in the row
    std::int32_t first; // leftmost edge x; meaningful when count > 0
    std::int32_t last;  // rightmost edge x; meaningful when count > 0
};

// Rows y .. y + rows - 1 of one tile, 1 <= rows <= kTileRows, width >= 3.
struct StripInputs {
    const std::uint8_t* const* blue; // blue[i] is the blue row y - 1 + i, i in 0 .. rows + 1
    std::uint8_t* const* out;        // out[i] is the working copy's row y + i
    std::int32_t rows;
    std::int32_t width;
    std::uint8_t* scratch; // kScanScratchRows rows of `width` rounded up to 64 bytes
};
inline constexpr int kScanScratchRows = 17;

struct Kernels {
    // blue[x] = row[3x] for x in [0, width).
    void (*extractBlue)(const std::uint8_t* row, std::uint8_t* blue, std::int32_t width);
    // For the kTileRows blue rows firstRow + i * rowStride and every x in
    // [0, width): cells[x * columnStride + i] = row i's blue[x].
    void (*fillTile)(const std::uint8_t* firstRow, std::size_t rowStride, std::int32_t width, std::int32_t* cells,
                     std::size_t columnStride);
    // Edge test of the pixels 1 .. width-2 of each row of the strip:
    // Sy = (sum of the row below) - (sum of the row above) and Sx = (sum of the
    // left column) - (sum of the right column) over the 3 x 3 neighbourhood,
    // an edge where |Sy| or |Sx| >= 4. Paints those pixels of out[i] (3 bytes
    // each) blue or black and sets edges[i] to the row's tallies.
    void (*scanRows)(const StripInputs& in, RowEdges* edges);
};

extern const Kernels kPortableKernels;
// Defined only when the AVX2 translation unit is built (x86-64).
extern const Kernels kAvx2Kernels;

} // namespace quadfind::edgepass
