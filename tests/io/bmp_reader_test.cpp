#include "bmp_cases.h"
#include "bmp_reader.h"
#include "bmp_writer.h"
#include "counting_allocator.h"
#include "edge_detection.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;

std::string hex(Colour c) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", c);
    return text;
}

// The first pixel that differs, or "" when all match.
std::string firstDifference(const PictureSurface& got, int width, int height, const std::vector<Colour>& want) {
    if (got.width() != width || got.height() != height)
        return "size " + std::to_string(got.width()) + " x " + std::to_string(got.height());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (got.pixel(x, y) != want[std::size_t(y * width + x)])
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " + hex(got.pixel(x, y)) +
                       ", not " + hex(want[std::size_t(y * width + x)]);
    return "";
}

PictureSurface decode(const Bytes& b, std::uint64_t maxPixels = LoadLimits::kDefaultMaxPixels) {
    return DecodeBmp(b, LoadLimits{maxPixels});
}

TEST(BmpReader, ValidVariantsDecodeToTheirExactColours) {
    for (const ValidBmp& c : ValidBmps()) {
        try {
            EXPECT_EQ(firstDifference(decode(c.file), c.width, c.height, c.pixels), "") << c.name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.name << " refused: " << e.what();
        }
    }
}

TEST(BmpReader, BrokenFilesAreRefusedWithTheirOwnMessage) {
    for (const BrokenBmp& c : BrokenBmps()) {
        const AllocationWatch watch;
        try {
            const PictureSurface p = decode(c.file, c.maxPixels);
            ADD_FAILURE() << c.name << " decoded to " << p.width() << " x " << p.height();
        } catch (const BmpError& e) {
            EXPECT_LT(watch.largest(), 64u * 1024) << c.name << " allocated before refusing";
            EXPECT_EQ(std::string(e.what()), c.message) << c.name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.name << " threw something other than BmpError: " << e.what();
        }
    }
}

// Cutting a file anywhere must give a refusal, never a read past the end (the
// sanitizer build sees those) and never a different picture.
TEST(BmpReader, EveryTruncationIsRefusedOrChangesNothing) {
    for (const ValidBmp& c : ValidBmps()) {
        const PictureSurface whole = decode(c.file);
        for (std::size_t n = 0; n < c.file.size(); ++n) {
            const Bytes cut(c.file.begin(), c.file.begin() + std::ptrdiff_t(n));
            try {
                EXPECT_EQ(decode(cut), whole) << c.name << " cut to " << n << " bytes decoded differently";
            } catch (const BmpError&) {
            }
        }
    }
}

TEST(BmpReader, AcceptsAPictureOfExactlyTheLimit) {
    Bmp b;
    b.width = 3;
    b.height = 2;
    b.pixels = packRows(24, {{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(decode(b.bytes(), 6).width(), 3);
}

// The writer's padding and layout are checked against Qt's reader in
// tests/io; here, whatever a variant decodes to survives being written.
TEST(BmpReader, DecodedVariantsSurviveBeingWrittenAs24Bits) {
    for (const ValidBmp& c : ValidBmps()) {
        const PictureSurface first = decode(c.file);
        EXPECT_EQ(decode(EncodeBmp(first)), first) << c.name;
    }
}

// Past the static grid in both directions, from an 8-bit file and from the
// same picture written as 24 bits: the corners of a white box, known answer.
TEST(BmpReader, PictureJustOverTheGridGivesItsKnownCorners) {
    constexpr int kWidth = 1921, kHeight = 481;
    constexpr int x0 = 1800, y0 = 400, x1 = 1915, y1 = 476;
    Bmp b;
    b.bits = 8;
    b.width = kWidth;
    b.height = kHeight;
    b.palette = {0x000000, 0xFFFFFF};
    Rows rows(kHeight, std::vector<std::uint32_t>(kWidth, 0));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            rows[std::size_t(kHeight - 1 - y)][std::size_t(x)] = 1; // bottom-up
    b.pixels = packRows(8, rows);
    const PictureSurface fromPalette = decode(b.bytes());
    PictureSurface expected(kWidth, kHeight);
    fillRect(expected, x0, y0, x1, y1, 0xFFFFFF);
    ASSERT_EQ(fromPalette, expected);

    for (const PictureSurface& picture : {fromPalette, decode(EncodeBmp(expected))}) {
        PictureSurface working, reference;
        const EdgeDetectionRun run = RunEdgeDetection(picture, working, testWorkspace(), ".");
        EXPECT_EQ(run.scan.FirstEdge, (Point{x0 - 1, y0 - 1}));
        EXPECT_EQ(run.scan.LastEdge, (Point{x1 + 1, y1 + 1}));
        EXPECT_EQ(run.scan.ScanEnd, (Point{kWidth - 2, kHeight - 2}));
        EXPECT_EQ(run.fields.edit(5), std::optional<std::string>(std::to_string(x1 - x0 + 2)));
        EXPECT_EQ(run.scan, referenceScan(picture, reference));
    }
}

} // namespace
