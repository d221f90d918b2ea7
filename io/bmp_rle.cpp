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
void walkRle(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette,
             PictureSurface* out) {
    const bool four = h.coding == Coding::Rle4;
    // RLE24: every run value and absolute pixel is a B, G, R triple.
    const std::size_t valueBytes = h.coding == Coding::Rle24 ? 3 : 1;
    const std::size_t colours = palette.colours.size();
    const std::int64_t w = h.width, rows = h.height;
    std::int64_t x = 0, fileRow = 0;
    std::size_t pos = at;
    auto put = [&](unsigned index) {
        const std::int64_t y = rows - 1 - fileRow;
        if (index >= colours)
            refuseIndex(x, y, index, colours);
        if constexpr (Paint)
            std::copy(palette.colours[index].begin(), palette.colours[index].end(),
                      out->row(std::int32_t(y)) + std::size_t(x) * 3);
        ++x;
    };
    auto putTriple = [&](const std::uint8_t* bgr) {
        if constexpr (Paint)
            std::copy_n(bgr, 3, out->row(std::int32_t(rows - 1 - fileRow)) + std::size_t(x) * 3);
        ++x;
    };
    auto startRun = [&](std::int64_t n) {
        if (fileRow >= rows)
            refuse("the RLE stream runs past the last row");
        if (x + n > w)
            refuse("an RLE run passes the end of row " + str(rows - 1 - fileRow));
    };
    for (;;) {
        if (b.size() - pos < 2)
            refuse("the RLE stream ends before its end-of-bitmap marker");
        const unsigned count = b[pos], value = b[pos + 1];
        if (count > 0) {
            if (b.size() - pos < 1 + valueBytes)
                refuse("the RLE stream ends inside a run");
            startRun(count);
            for (unsigned i = 0; i < count; ++i) {
                if (valueBytes == 3)
                    putTriple(b.data() + pos + 1);
                else
                    put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
            }
            pos += 1 + valueBytes;
            continue;
        }
        pos += 2;
        if (value == 0) { // end of line
            if (fileRow >= rows)
                refuse("the RLE stream runs past the last row");
            x = 0;
            ++fileRow;
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // delta
            if (b.size() - pos < 2)
                refuse("the RLE stream ends inside a delta");
            const std::int64_t dx = b[pos], dy = b[pos + 1];
            pos += 2;
            if (x + dx > w || fileRow + dy > rows)
                refuse("an RLE delta moves past the picture");
            x += dx;
            fileRow += dy;
        } else { // absolute run, padded to 16 bits
            startRun(value);
            const std::size_t bytes = four ? (value + 1) / 2 : value * valueBytes;
            const std::size_t padded = bytes + (bytes & 1);
            if (b.size() - pos < padded)
                refuse("the RLE stream ends inside an absolute run");
            for (unsigned i = 0; i < value; ++i) {
                if (valueBytes == 3)
                    putTriple(b.data() + pos + 3 * i);
                else
                    put(four ? (i % 2 == 0 ? b[pos + i / 2] >> 4 : b[pos + i / 2] & 15) : b[pos + i]);
            }
            pos += padded;
        }
    }
}

} // namespace

PictureSurface decodeRle(std::span<const std::uint8_t> b, std::size_t at, const Header& h, const Palette& palette) {
    walkRle<false>(b, at, h, palette, nullptr);
    PictureSurface out{std::int32_t(h.width), std::int32_t(h.height)};
    // What a never-written index holds; RLE24 has no palette, and leaves black.
    static constexpr std::array<std::uint8_t, 3> kBlack{};
    const auto& background = palette.colours.empty() ? kBlack : palette.colours[0];
    for (std::int32_t y = 0; y < out.height(); ++y)
        for (std::size_t i = 0; i < out.rowBytes(); i += 3)
            std::copy(background.begin(), background.end(), out.row(y) + i);
    walkRle<true>(b, at, h, palette, &out);
    return out;
}

} // namespace quadfind::bmp
