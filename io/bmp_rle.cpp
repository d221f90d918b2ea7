// RLE4, RLE8 and OS/2's RLE24: checked whole before the picture is
// allocated, then painted.
#include "bmp_header.h"

#include <algorithm>

namespace quadfind::bmp {

namespace {

// Walks an RLE stream. The first walk, Paint false, only checks it, so that a
// broken stream is refused before the picture is allocated; the second
// paints into a picture already filled with palette colour 0.
template <bool Paint>
class RleWalk {
public:
    RleWalk(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette,
            PictureSurface* out)
        : b_(b), pos_(at), palette_(palette), out_(out), four_(h.coding == Coding::Rle4),
          valueBytes_(h.coding == Coding::Rle24 ? 3 : 1), w_(h.width), rows_(h.height) {}

    // To the end-of-bitmap marker.
    void walk() {
        for (;;) {
            if (b_.size() - pos_ < 2)
                refuse("the RLE stream ends before its end-of-bitmap marker");
            const unsigned count = b_[pos_], value = b_[pos_ + 1];
            if (count > 0)
                encodedRun(count, value);
            else if (!escape(value))
                return;
        }
    }

private:
    // `count` pixels of one value; RLE4 alternates the value's two indices.
    void encodedRun(unsigned count, unsigned value) {
        if (b_.size() - pos_ < 1 + valueBytes_)
            refuse("the RLE stream ends inside a run");
        startRun(count);
        for (unsigned i = 0; i < count; ++i) {
            if (valueBytes_ == 3)
                putTriple(b_.data() + pos_ + 1);
            else
                put(four_ ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
        }
        pos_ += 1 + valueBytes_;
    }

    // After a count of 0: false at the end of the bitmap.
    bool escape(unsigned value) {
        pos_ += 2;
        switch (value) {
        case 0: // end of line
            if (fileRow_ >= rows_)
                refuse("the RLE stream runs past the last row");
            x_ = 0;
            ++fileRow_;
            return true;
        case 1: // end of bitmap
            return false;
        case 2: delta(); return true;
        default: absoluteRun(value); return true;
        }
    }

    void delta() {
        if (b_.size() - pos_ < 2)
            refuse("the RLE stream ends inside a delta");
        const std::int64_t dx = b_[pos_], dy = b_[pos_ + 1];
        pos_ += 2;
        if (x_ + dx > w_ || fileRow_ + dy > rows_)
            refuse("an RLE delta moves past the picture");
        x_ += dx;
        fileRow_ += dy;
    }

    // `count` pixels as they are, padded to 16 bits.
    void absoluteRun(unsigned count) {
        startRun(count);
        const std::size_t bytes = four_ ? (count + 1) / 2 : count * valueBytes_;
        const std::size_t padded = bytes + (bytes & 1);
        if (b_.size() - pos_ < padded)
            refuse("the RLE stream ends inside an absolute run");
        for (unsigned i = 0; i < count; ++i) {
            if (valueBytes_ == 3)
                putTriple(b_.data() + pos_ + 3 * std::size_t(i));
            else
                put(four_ ? (i % 2 == 0 ? b_[pos_ + i / 2] >> 4 : b_[pos_ + i / 2] & 15) : b_[pos_ + i]);
        }
        pos_ += padded;
    }

    void startRun(std::int64_t n) const {
        if (fileRow_ >= rows_)
            refuse("the RLE stream runs past the last row");
        if (x_ + n > w_)
            refuse("an RLE run passes the end of row " + str(rows_ - 1 - fileRow_));
    }

    void put(unsigned index) {
        const std::int64_t y = rows_ - 1 - fileRow_;
        const std::size_t colours = palette_.colours.size();
        if (index >= colours)
            refuseIndex(x_, y, index, colours);
        if constexpr (Paint)
            std::copy(palette_.colours[index].begin(), palette_.colours[index].end(),
                      out_->row(std::int32_t(y)) + std::size_t(x_) * 3);
        ++x_;
    }

    // RLE24: every run value and absolute pixel is a B, G, R triple.
    void putTriple(const std::uint8_t* bgr) {
        if constexpr (Paint)
            std::copy_n(bgr, 3, out_->row(std::int32_t(rows_ - 1 - fileRow_)) + std::size_t(x_) * 3);
        ++x_;
    }

    std::span<const std::uint8_t> b_;
    std::size_t pos_;
    const Palette& palette_;
    PictureSurface* out_;
    const bool four_;
    const std::size_t valueBytes_;
    const std::int64_t w_, rows_;
    std::int64_t x_ = 0, fileRow_ = 0;
};

} // namespace

PictureSurface decodeRle(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette) {
    RleWalk<false>(b, at, h, palette, nullptr).walk();
    PictureSurface out{std::int32_t(h.width), std::int32_t(h.height)};
    // What a never-written index holds; RLE24 has no palette, and leaves black.
    static constexpr std::array<std::uint8_t, 3> kBlack{};
    const auto& background = palette.colours.empty() ? kBlack : palette.colours[0];
    for (std::int32_t y = 0; y < out.height(); ++y)
        for (std::size_t i = 0; i < out.rowBytes(); i += 3)
            std::copy(background.begin(), background.end(), out.row(y) + i);
    RleWalk<true>(b, at, h, palette, &out).walk();
    return out;
}

} // namespace quadfind::bmp
