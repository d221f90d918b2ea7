// Uncompressed 24-bit bitmaps are read from their files row by row straight
// into the picture, not through DecodeBmp: the two must agree on every
// layout and refuse the same files with the same words.
#include "bmp_reader.h"
#include "bmp_writer.h"
#include "picture_file.h"
#include "test_pictures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

// The writer's bottom-up file, turned top-down: rows reversed, height negated.
Bytes topDown(Bytes b, const PictureSurface& p) {
    const std::size_t stride = (p.rowBytes() + 3) & ~std::size_t(3);
    for (std::size_t top = 0, bottom = std::size_t(p.height() - 1); top < bottom; ++top, --bottom)
        std::swap_ranges(b.begin() + std::ptrdiff_t(54 + top * stride), b.begin() + std::ptrdiff_t(54 + (top + 1) * stride),
                         b.begin() + std::ptrdiff_t(54 + bottom * stride));
    put32(b, 22, std::uint32_t(-p.height()));
    return b;
}

// 100 bytes of something else between the headers and the rows.
Bytes gap(Bytes b) {
    b.insert(b.begin() + 54, 100, 0xEE);
    put32(b, 10, 154);
    return b;
}

Bytes cut(Bytes b, std::size_t bytes) {
    b.resize(b.size() - bytes);
    return b;
}

TEST(PlainRows, AgreeWithTheWholeFileDecoderOnEveryLayout) {
    QTemporaryDir dir;
    const PictureSurface padded = randomPicture(5, 3, 1);   // 15-byte rows, one padding byte
    const PictureSurface unpadded = randomPicture(4, 2, 2); // 12-byte rows
    const PictureSurface tall = randomPicture(3, 700, 3);   // past one batch of rows a read
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"bottom-up, padded", EncodeBmp(padded)},
        {"bottom-up, unpadded", EncodeBmp(unpadded)},
        {"top-down", topDown(EncodeBmp(padded), padded)},
        {"gap before the rows", gap(EncodeBmp(padded))},
        {"last row's padding missing", cut(EncodeBmp(padded), 1)},
        {"tall, top-down", topDown(EncodeBmp(tall), tall)},
        {"one byte of the last row missing", cut(EncodeBmp(padded), 2)},
        {"offset past the end", [&] {
             Bytes b = EncodeBmp(padded);
             put32(b, 10, 5000);
             return b;
         }()},
    };
    for (const auto& c : cases) {
        const std::string file = dir.filePath(c.name).toStdString();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()),
                                                     std::streamsize(c.bytes.size()));
        std::string expected, loaded;
        PictureSurface fromMemory, fromFile;
        try {
            fromMemory = DecodeBmp(c.bytes);
        } catch (const BmpError& e) {
            expected = "Cannot load " + ReadableName(file) + ": " + e.what();
        }
        try {
            fromFile = LoadPicture(file);
        } catch (const PictureError& e) {
            loaded = e.what();
        }
        EXPECT_EQ(loaded, expected) << c.name;
        EXPECT_EQ(fromFile, fromMemory) << c.name;
    }
}

} // namespace
