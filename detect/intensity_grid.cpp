#include "intensity_grid.h"

#include "edge_rule.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quadfind {

alignas(64) std::int32_t IntensityGridStore::staticCells_[std::size_t(kColumns) * kRows] = {};

IntensityGridStore IntensityGrid;

IntensityGridStore::IntensityGridStore() : cells_(staticCells_) {}

namespace {

// Huge pages, where the system grants them on request, spare the column-major
// fill a page-table walk for almost every column of a large picture.
void adviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // advice only: failure is harmless
#endif
}

// The overflow grid starts on a cache line, as the static one does.
constexpr std::size_t kLineCells = 64 / sizeof(std::int32_t);

} // namespace

void IntensityGridStore::prepare(std::int32_t width, std::int32_t height) {
    if (width <= kColumns && height <= kRows) {
        cells_ = staticCells_;
        stride_ = kRows;
        return;
    }
    const auto w = std::uint64_t(width), h = std::uint64_t(height);
    if (h != 0 && w > (std::numeric_limits<std::size_t>::max() / sizeof(std::int32_t) - kLineCells) / h)
        throw std::length_error("picture too large for the intensity grid");
    const std::size_t needed = std::size_t(w * h) + kLineCells;
    if (overflowCells_ < needed) {
        overflow_.reset(); // never hold two large grids at once
        overflowCells_ = 0;
        // Left unset: every pass writes the cells it reads, and zeroing them
        // first would touch every page an extra time.
        overflow_.reset(new std::int32_t[needed]);
        overflowCells_ = needed;
        adviseHugePages(overflow_.get(), needed * sizeof(std::int32_t)); // before the first touch
    }
    const auto misalignment = reinterpret_cast<std::uintptr_t>(overflow_.get()) % 64;
    cells_ = overflow_.get() + (misalignment ? (64 - misalignment) / sizeof(std::int32_t) : 0);
    stride_ = std::size_t(height);
}

void IntensityGridStore::releaseOverflow() {
    if (!usesStaticGrid()) {
        cells_ = staticCells_;
        stride_ = kRows;
    }
    overflow_.reset();
    overflowCells_ = 0;
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

std::int32_t apply(const edge_rule::Weights& k, std::int32_t x, std::int32_t y) {
    std::int32_t s = 0;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            s += k[j * 3 + i] * IntensityGrid(x - 1 + i, y - 1 + j);
    return std::abs(s) / edge_rule::kDivisor;
}

} // namespace

std::int32_t GradientY(std::int32_t x, std::int32_t y) { return apply(edge_rule::kBelowMinusAbove, x, y); }
std::int32_t GradientX(std::int32_t x, std::int32_t y) { return apply(edge_rule::kLeftMinusRight, x, y); }

} // namespace quadfind
