// PictureSurface: a 24-bit picture as the detection core sees it.
//
// Layout: `height` rows of 3 * `width` bytes, tightly packed, row 0 on top;
// pixel x of a row occupies bytes 3x, 3x+1, 3x+2 in blue, green, red order.
// Copies are deep: a copy and its source never share pixels. A moved-from
// surface is empty.
//
// The canvas (pen colour, move-to, line-to) draws 8-connected lines with one
// pixel per step of the longer axis, each pixel within half a pixel of the
// ideal line. A line never paints its end point, is clipped to the surface
// and costs at most max(width, height) steps whatever its end points are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quadfind {

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(Point, Point) = default;
};

// 0x00BBGGRR: 0x00FF00 is green, 0x0000FF is red.
using Colour = std::uint32_t;

class PictureSurface {
public:
    static constexpr int kBytesPerPixel = 3;

    PictureSurface() = default;
    // A black picture. Throws std::invalid_argument for negative sizes and
    // std::length_error when the byte count does not fit in memory's index type.
    PictureSurface(std::int32_t width, std::int32_t height);
    // The same, but the pixels are left as the allocator gives them: for a
    // surface whose every byte is about to be written, this spares touching
    // each page twice.
    struct Uninitialised {};
    PictureSurface(std::int32_t width, std::int32_t height, Uninitialised);

    PictureSurface(const PictureSurface& other);
    PictureSurface& operator=(const PictureSurface& other);
    PictureSurface(PictureSurface&& other) noexcept;
    PictureSurface& operator=(PictureSurface&& other) noexcept;
    ~PictureSurface() = default;

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    std::size_t rowBytes() const { return std::size_t(width_) * kBytesPerPixel; }

    std::uint8_t* row(std::int32_t y) { return data_ + std::size_t(y) * rowBytes(); }
    const std::uint8_t* row(std::int32_t y) const { return data_ + std::size_t(y) * rowBytes(); }

    // Unchecked; for tests and small fix-ups, not for pixel loops.
    Colour pixel(std::int32_t x, std::int32_t y) const;
    void setPixel(std::int32_t x, std::int32_t y, Colour c);

    // Canvas.
    void setPenColour(Colour c) { pen_ = c; }
    void moveTo(std::int32_t x, std::int32_t y) { penAt_ = {x, y}; }
    void lineTo(std::int32_t x, std::int32_t y);
    Point penPosition() const { return penAt_; }

    friend bool operator==(const PictureSurface& a, const PictureSurface& b);

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::size_t byteCount() const { return std::size_t(height_) * rowBytes(); }

    std::unique_ptr<std::uint8_t[]> bytes_;
    std::uint8_t* data_ = nullptr; // in bytes_, on a huge page for a large picture
    Colour pen_ = 0;
    Point penAt_{};
};

} // namespace quadfind
