#include "picture_surface.h"

#include "huge_pages.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace quadfind {

PictureSurface::PictureSurface(std::int32_t width, std::int32_t height)
    : PictureSurface(width, height, Uninitialised{}) {
    std::memset(data_, 0, byteCount());
}

PictureSurface::PictureSurface(std::int32_t width, std::int32_t height, Uninitialised) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("picture size must not be negative");
    const auto w = std::uint64_t(width), h = std::uint64_t(height);
    if (w != 0 && h > std::numeric_limits<std::size_t>::max() / kBytesPerPixel / w)
        throw std::length_error("picture too large");
    data_ = AllocateAligned(bytes_, std::size_t(w * h * kBytesPerPixel));
    width_ = width;
    height_ = height;
}

PictureSurface::PictureSurface(const PictureSurface& other)
    : PictureSurface(other.width_, other.height_, Uninitialised{}) {
    if (other.byteCount() != 0)
        std::memcpy(data_, other.data_, other.byteCount());
    pen_ = other.pen_;
    penAt_ = other.penAt_;
}

PictureSurface& PictureSurface::operator=(const PictureSurface& other) {
    if (this != &other)
        *this = PictureSurface(other);
    return *this;
}

PictureSurface::PictureSurface(PictureSurface&& other) noexcept
    : width_(std::exchange(other.width_, 0)), height_(std::exchange(other.height_, 0)), bytes_(std::move(other.bytes_)),
      data_(std::exchange(other.data_, nullptr)), pen_(other.pen_), penAt_(other.penAt_) {}

PictureSurface& PictureSurface::operator=(PictureSurface&& other) noexcept {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    bytes_ = std::move(other.bytes_);
    data_ = std::exchange(other.data_, nullptr);
    pen_ = other.pen_;
    penAt_ = other.penAt_;
    return *this;
}

bool operator==(const PictureSurface& a, const PictureSurface& b) {
    return a.width_ == b.width_ && a.height_ == b.height_ &&
           (a.byteCount() == 0 || std::memcmp(a.data_, b.data_, a.byteCount()) == 0);
}

Colour PictureSurface::pixel(std::int32_t x, std::int32_t y) const {
    const std::uint8_t* p = row(y) + std::size_t(x) * kBytesPerPixel;
    return Colour(p[2]) | Colour(p[1]) << 8 | Colour(p[0]) << 16;
}

void PictureSurface::setPixel(std::int32_t x, std::int32_t y, Colour c) {
    std::uint8_t* p = row(y) + std::size_t(x) * kBytesPerPixel;
    p[0] = std::uint8_t(c >> 16); // blue
    p[1] = std::uint8_t(c >> 8);  // green
    p[2] = std::uint8_t(c);       // red
}

void PictureSurface::lineTo(std::int32_t x1, std::int32_t y1) {
    const std::int64_t x0 = penAt_.x, y0 = penAt_.y;
    penAt_ = {x1, y1};
    if (empty())
        return;

    const std::int64_t dx = std::int64_t(x1) - x0, dy = std::int64_t(y1) - y0;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const std::int64_t dMajor = xMajor ? dx : dy, dMinor = xMajor ? dy : dx;
    const std::int64_t steps = dMajor < 0 ? -dMajor : dMajor; // end point excluded
    if (steps == 0)
        return;
    const std::int64_t stepMajor = dMajor < 0 ? -1 : 1, stepMinor = dMinor < 0 ? -1 : 1;
    const std::int64_t absMinor = dMinor < 0 ? -dMinor : dMinor;
    const std::int64_t m0 = xMajor ? x0 : y0, n0 = xMajor ? y0 : x0;
    const std::int64_t majorExtent = xMajor ? width_ : height_;
    const std::int64_t minorExtent = xMajor ? height_ : width_;

    // Only the steps whose major coordinate lies on the surface can paint.
    std::int64_t first, last;
    if (stepMajor > 0) {
        first = std::max<std::int64_t>(0, -m0);
        last = std::min<std::int64_t>(steps - 1, majorExtent - 1 - m0);
    } else {
        first = std::max<std::int64_t>(0, m0 - (majorExtent - 1));
        last = std::min<std::int64_t>(steps - 1, m0);
    }
    if (first > last)
        return;
    // Pixel i is the nearest to the ideal line, halves rounded away from the
    // start: offset = floor((2 i |dMinor| + steps) / (2 steps)). The first
    // clipped step is computed directly (2 i |dMinor| can reach 2^64, hence
    // the widening), the rest by carrying the remainder.
    __extension__ using Wide = unsigned __int128;
    const std::int64_t denominator = 2 * steps, increment = 2 * absMinor; // increment <= denominator
    const Wide start = Wide(2) * Wide(first) * Wide(absMinor) + Wide(steps);
    std::int64_t offset = std::int64_t(start / Wide(denominator));
    std::int64_t remainder = std::int64_t(start % Wide(denominator));
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t m = m0 + i * stepMajor, n = n0 + offset * stepMinor;
        if (n >= 0 && n < minorExtent) {
            if (xMajor)
                setPixel(std::int32_t(m), std::int32_t(n), pen_);
            else
                setPixel(std::int32_t(n), std::int32_t(m), pen_);
        }
        remainder += increment;
        if (remainder >= denominator) {
            remainder -= denominator;
            ++offset;
        }
    }
}

} // namespace quadfind
