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

struct Kernels {
    // blue[x] = row[3x] for x in [0, width).
    void (*extractBlue)(const std::uint8_t* row, std::uint8_t* blue, std::int32_t width);
    // For the kTileRows blue rows firstRow + i * rowStride and every x in
    // [0, width): cells[x * columnStride + i] = row i's blue[x].
    void (*fillTile)(const std::uint8_t* firstRow, std::size_t rowStride, std::int32_t width, std::int32_t* cells,
                     std::size_t columnStride);
    // Edge test of the interior pixels 1 .. width-2 of one row from the blue
    // rows above, here and below (width >= 3); paints pixels 1 .. width-2 of
    // `out` (3 bytes each) blue or black. `scratch` holds `width` bytes.
    RowEdges (*scanRow)(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                        std::uint8_t* out, std::int32_t width, std::uint8_t* scratch);
};

extern const Kernels kPortableKernels;
// Defined only when the AVX2 translation unit is built (x86-64).
extern const Kernels kAvx2Kernels;

} // namespace quadfind::edgepass
