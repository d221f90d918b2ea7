// IntensityGrid: the blue component of the current picture as signed 32-bit
// cells indexed [x][y], column-major (the cells of one column lie together).
//
// IntensityGrid, the window's one grid, uses a static, zero-initialised grid
// with a column stride of 480 for pictures up to 1920 x 480; it is never
// cleared. A larger picture is captured into a separate overflow grid with a
// column stride of its own height, allocated when a picture needs more cells
// than the grid held (the window gives it back on each Load:
// releaseOverflow). A grid of its own (one a thread, for detections side by
// side) has no static part: its cells come from the overflow grid from the
// first picture on. Either way that costs 4 bytes a pixel. Capture overwrites
// exactly the current picture's cells and the operators read only those, so
// what a larger picture leaves behind never reaches a smaller one.
//
// Cost: Capture is one pass over the picture; the operators read nine cells
// and check no bounds (call them for interior pixels only). A grid is used by
// one thread at a time.
#pragma once

#include "huge_pages.h"
#include "picture_surface.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quadfind {

class IntensityGridStore {
public:
    static constexpr std::int32_t kColumns = 1920;
    static constexpr std::int32_t kRows = 480;

    // A grid of its own, without the static part.
    IntensityGridStore();
    // The window's: pictures up to kColumns x kRows in the static grid.
    struct StaticGridFirst {};
    explicit IntensityGridStore(StaticGridFirst);
    IntensityGridStore(const IntensityGridStore&) = delete;
    IntensityGridStore& operator=(const IntensityGridStore&) = delete;

    // Selects the storage for a width x height picture, growing the overflow
    // grid if it is too small. Throws std::length_error if the cell count
    // cannot be indexed.
    void prepare(std::int32_t width, std::int32_t height);

    // Frees the overflow grid, 4 bytes a pixel of the largest picture yet,
    // for a caller about to need the memory more (the window, while it
    // loads a new picture that the next capture overwrites anyway). The
    // static grid stays; the next picture it cannot hold allocates afresh.
    void releaseOverflow();

    std::int32_t* column(std::int32_t x) { return cells_ + std::size_t(x) * stride_; }
    const std::int32_t* column(std::int32_t x) const { return cells_ + std::size_t(x) * stride_; }
    std::int32_t operator()(std::int32_t x, std::int32_t y) const { return column(x)[y]; }
    std::int32_t& operator()(std::int32_t x, std::int32_t y) { return column(x)[y]; }

    std::size_t columnStride() const { return stride_; }
    bool usesStaticGrid() const { return cells_ == staticCells_; }

private:
    // Rounded up to whole huge pages (see huge_pages.h).
    static constexpr std::size_t kStaticCells =
        HugePageSpan(std::size_t(kColumns) * kRows * sizeof(std::int32_t)) / sizeof(std::int32_t);
    static std::int32_t staticCells_[kStaticCells];
    std::int32_t* fixed_; // staticCells_, or null for a grid of its own
    std::int32_t* cells_;
    std::size_t stride_ = kRows;
    std::unique_ptr<std::int32_t[]> overflow_;
    std::int32_t* overflowStart_ = nullptr; // in overflow_: on a cache line, or on a huge page
    std::size_t overflowCapacity_ = 0;      // cells from overflowStart_
};

static_assert(sizeof(std::int32_t) == 4, "grid cells are signed 32-bit");

extern IntensityGridStore IntensityGrid;

// Fills grid [x][y] (IntensityGrid where none is given) with the blue byte
// of pixel (x, y).
void Capture(const PictureSurface& picture, IntensityGridStore& grid);
void Capture(const PictureSurface& picture);

// Row below minus row above over columns x-1..x+1, |S| div 4, in 0..191.
std::int32_t GradientY(const IntensityGridStore& grid, std::int32_t x, std::int32_t y);
std::int32_t GradientY(std::int32_t x, std::int32_t y); // of IntensityGrid
// Column left minus column right over rows y-1..y+1, |S| div 4, in 0..191.
std::int32_t GradientX(const IntensityGridStore& grid, std::int32_t x, std::int32_t y);
std::int32_t GradientX(std::int32_t x, std::int32_t y); // of IntensityGrid

} // namespace quadfind
