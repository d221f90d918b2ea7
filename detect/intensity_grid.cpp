#include "intensity_grid.h"

#include <array>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace quadfind {

alignas(64) std::int32_t IntensityGridStore::staticCells_[std::size_t(kColumns) * kRows] = {};

IntensityGridStore IntensityGrid;

IntensityGridStore::IntensityGridStore() : cells_(staticCells_) {}

void IntensityGridStore::prepare(std::int32_t width, std::int32_t height) {
    if (width <= kColumns && height <= kRows) {
        cells_ = staticCells_;
        stride_ = kRows;
        return;
    }
    const auto w = std::uint64_t(width), h = std::uint64_t(height);
    if (h != 0 && w > std::numeric_limits<std::size_t>::max() / sizeof(std::int32_t) / h)
        throw std::length_error("picture too large for the intensity grid");
    const std::size_t needed = std::size_t(w * h);
    if (overflow_.size() < needed) {
        overflow_.clear();
        overflow_.shrink_to_fit(); // never hold two large grids at once
        overflow_.resize(needed);
    }
    cells_ = overflow_.data();
    stride_ = std::size_t(height);
}

void Capture(const PictureSurface& picture) {
    IntensityGrid.prepare(picture.width(), picture.height());
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (std::int32_t x = 0; x < picture.width(); ++x)
            IntensityGrid(x, y) = row[std::size_t(x) * PictureSurface::kBytesPerPixel];
    }
}

namespace {

// Weights of the nine neighbours, row-major from (x-1, y-1) to (x+1, y+1).
using Kernel = std::array<int, 9>;
constexpr Kernel kBelowMinusAbove = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
constexpr Kernel kLeftMinusRight = {1, 0, -1, 1, 0, -1, 1, 0, -1};

std::int32_t apply(const Kernel& k, std::int32_t x, std::int32_t y) {
    std::int32_t s = 0;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            s += k[std::size_t(j * 3 + i)] * IntensityGrid(x - 1 + i, y - 1 + j);
    return std::abs(s) / 4;
}

} // namespace

std::int32_t GradientY(std::int32_t x, std::int32_t y) { return apply(kBelowMinusAbove, x, y); }
std::int32_t GradientX(std::int32_t x, std::int32_t y) { return apply(kLeftMinusRight, x, y); }

} // namespace quadfind
