#include "intensity_grid.h"

#include "edge_rule.h"
#include "huge_pages.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace quadfind {

// On a huge-page boundary and a whole number of huge pages long, so that the
// system can back all of it with huge pages.
alignas(kHugePageBytes) std::int32_t IntensityGridStore::staticCells_[kStaticCells] = {};

IntensityGridStore IntensityGrid{IntensityGridStore::StaticGridFirst{}};

IntensityGridStore::IntensityGridStore() : fixed_(nullptr), cells_(nullptr) {}

IntensityGridStore::IntensityGridStore(StaticGridFirst) : fixed_(staticCells_), cells_(staticCells_) {
    AdviseHugePages(staticCells_, sizeof staticCells_); // before any capture touches it
}

void IntensityGridStore::prepare(std::int32_t width, std::int32_t height) {
    if (fixed_ && width <= kColumns && height <= kRows) {
        cells_ = fixed_;
        stride_ = kRows;
        return;
    }
    const auto w = std::uint64_t(width), h = std::uint64_t(height);
    if (h != 0 && w > (std::numeric_limits<std::size_t>::max() / sizeof(std::int32_t) - kHugePageBytes) / h)
        throw std::length_error("picture too large for the intensity grid");
    const auto cells = std::size_t(w * h);
    if (overflowCapacity_ < cells) {
        overflow_.reset(); // never hold two large grids at once
        overflowCapacity_ = 0;
        // Left unset: every pass writes the cells it reads, and zeroing them
        // first would touch every page an extra time.
        // On a cache line, as the static grid is.
        overflowStart_ = AllocateAligned(overflow_, cells, 64);
        overflowCapacity_ = cells;
    }
    cells_ = overflowStart_;
    stride_ = std::size_t(height);
}

void IntensityGridStore::releaseOverflow() {
    cells_ = fixed_;
    stride_ = kRows;
    overflow_.reset();
    overflowCapacity_ = 0;
    overflowStart_ = nullptr;
}

void Capture(const PictureSurface& picture, IntensityGridStore& grid) {
    grid.prepare(picture.width(), picture.height());
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (std::int32_t x = 0; x < picture.width(); ++x)
            grid(x, y) = row[std::size_t(x) * PictureSurface::kBytesPerPixel];
    }
}

void Capture(const PictureSurface& picture) {
    Capture(picture, IntensityGrid);
}

namespace {

std::int32_t apply(const edge_rule::Weights& k, const IntensityGridStore& grid, std::int32_t x, std::int32_t y) {
    std::int32_t s = 0;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            s += k[j * 3 + i] * grid(x - 1 + i, y - 1 + j);
    return std::abs(s) / edge_rule::kDivisor;
}

} // namespace

std::int32_t GradientY(const IntensityGridStore& grid, std::int32_t x, std::int32_t y) {
    return apply(edge_rule::kBelowMinusAbove, grid, x, y);
}
std::int32_t GradientX(const IntensityGridStore& grid, std::int32_t x, std::int32_t y) {
    return apply(edge_rule::kLeftMinusRight, grid, x, y);
}
std::int32_t GradientY(std::int32_t x, std::int32_t y) {
    return GradientY(IntensityGrid, x, y);
}
std::int32_t GradientX(std::int32_t x, std::int32_t y) {
    return GradientX(IntensityGrid, x, y);
}

} // namespace quadfind
