// The edge-detection command: known answers for the fourteen fields, the
// result picture against the plain reference, and the grid past its limits.
#include "edge_detection.h"
#include "intensity_grid.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

constexpr Colour kWhite = 0xFFFFFF;

PictureSurface with(PictureSurface s, int x0, int y0, int x1, int y1, Colour c = kWhite) {
    fillRect(s, x0, y0, x1, y1, c);
    return s;
}

// The result with the reference's map and the command's own diagonals.
PictureSurface expectedResult(const PictureSurface& picture, EdgeScanResult& scan, int minSum = 1) {
    PictureSurface expected;
    scan = referenceScan(picture, expected, minSum);
    DrawDiagonals(expected, scan, ReportQuadrilateral(scan));
    return expected;
}

struct KnownAnswer {
    const char* name;
    std::function<PictureSurface()> picture;
    const char* fields; // Edit1 ... Edit14, "-" where the run leaves a field; "," separates decimals
    friend void PrintTo(const KnownAnswer& k, std::ostream* os) { *os << k.name; }
};

const KnownAnswer kKnownAnswers[] = {
    {"WhiteSquare", whiteSquare, "7 7 8 8 5 5 2 2 7 2 2 7 2,5 2,5"},
    {"Diamond", diamond, "6 9 9 9 2 8 4 1 6 1 4 9 1 4"},
    {"RedSquareHasNoBlue", [] { return with(PictureSurface(10, 10), 3, 3, 6, 6, 0x0000FF); },
     "- - 8 8 0 0 - - 0 0 0 0 0 0"},
    {"Uniform", [] { return filled(7, 5, 0x808080); }, "- - 5 3 0 0 - - 0 0 0 0 0 0"},
    {"Empty", [] { return PictureSurface(); }, "- - 0 0 0 0 - - 0 0 0 0 0 0"},
    {"OneColumn", [] { return with(PictureSurface(1, 9), 0, 4, 0, 4); }, "- - 0 0 0 0 - - 0 0 0 0 0 0"},
    {"TwoByTwo", [] { return with(PictureSurface(2, 2), 1, 1, 1, 1); }, "- - 0 0 0 0 - - 0 0 0 0 0 0"},
    // The upper block lies right of the lower one: corner 3 left of corner 1.
    {"NegativeWidth", [] { return with(with(PictureSurface(100, 60), 61, 11, 79, 19), 11, 41, 19, 49); },
     "20 50 98 58 -40 40 60 10 20 10 60 50 -20 20"},
    {"Box100x50To160x90", [] { return with(PictureSurface(200, 120), 101, 51, 159, 89); },
     "160 90 198 118 60 40 100 50 160 50 100 90 30 20"},
    {"SinglePixelEdge", [] { return with(PictureSurface(3, 3), 1, 2, 1, 2, 0x040000); },
     "1 1 1 1 0 0 1 1 1 1 1 1 0 0"},
};

class KnownAnswers : public ::testing::TestWithParam<KnownAnswer> {};

INSTANTIATE_TEST_SUITE_P(Pictures, KnownAnswers, ::testing::ValuesIn(kKnownAnswers),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_P(KnownAnswers, FieldsAndTheReferenceResult) {
    const PictureSurface picture = GetParam().picture(), before = picture;
    // A working copy reused from an earlier run: its old pixels never show.
    PictureSurface working = randomPicture(picture.width(), picture.height(), 5);
    const EdgeDetectionRun run = RunEdgeDetection(picture, working, testWorkspace(), ",");
    std::string shown;
    for (int n = 1; n <= FieldTexts::kCount; ++n)
        shown += (n > 1 ? " " : "") + run.fields.edit(n).value_or("-");
    EXPECT_EQ(shown, GetParam().fields);
    EXPECT_EQ(picture, before) << "the command changed its input";
    EdgeScanResult scan;
    EXPECT_EQ(working, expectedResult(picture, scan));
    EXPECT_EQ(run.scan, scan);
}

// Drawn out, with no help from the reference: the blue band, and over it the
// green 1 -> 3 and red 2 -> 4 diagonals, neither painting its end point.
TEST(EdgeDetection, WhiteSquareResultPixelForPixel) {
    const char* const rows[] = {"..........", "..........", "..GBBBBR..", "..BGBBRB..", "..BBGRBB..",
                                "..BBRGBB..", "..BRBBGB..", "..BBBBBB..", "..........", ".........."};
    PictureSurface working;
    RunEdgeDetection(whiteSquare(), working, testWorkspace(), ".");
    const auto colour = [](char c) { return c == 'B' ? 0xFF0000u : c == 'G' ? 0x00FF00u : c == 'R' ? 0x0000FFu : 0u; };
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(working.pixel(x, y), colour(rows[y][x])) << "pixel (" << x << "," << y << ")";
}

// Any other threshold takes the per-pixel scan (Capture, the two operators,
// ScanInterior), which also shows the sums of the pixels it finds no edge in.
TEST(EdgeDetection, EveryMinSumGivesTheReferenceResult) {
    for (const int minSum : {1, 2, 3, 7, 40, 382}) {
        for (const auto& [w, h] : {std::pair{3, 3}, {17, 5}, {64, 33}}) {
            PictureSurface ramp = randomPicture(w, h, 7);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ramp.row(y)[3 * x] = std::uint8_t(x * 5 + y * 3 + ramp.row(y)[3 * x] % 8);
            for (const PictureSurface& picture : {randomPicture(w, h, std::uint32_t(minSum)), ramp}) {
                PictureSurface working = randomPicture(w, h, 9);
                const EdgeDetectionRun run = RunEdgeDetection(picture, working, testWorkspace(), ".", minSum);
                EdgeScanResult scan;
                ASSERT_EQ(working, expectedResult(picture, scan, minSum)) << w << " x " << h << " at " << minSum;
                ASSERT_EQ(run.scan, scan) << w << " x " << h << " at " << minSum;
            }
        }
    }
}

// Pictures beyond 1920 x 480 once wrote past the static grid; a large
// picture leaves values in cells a smaller one does not cover. In this
// order, each has its known corners; only a picture with more cells than any
// before it may move the grid, and the window may give it back.
TEST(EdgeDetection, regression_oversize_then_small) {
    std::size_t largest = 0;
    const std::int32_t* storage = nullptr;
    for (const auto& [w, h] : {std::pair{1920, 480}, {1921, 20}, {20, 481}, {1921, 481}, {4000, 600}, {30, 3000},
                               {10, 10}, {0, 0}, {1921, 481}}) {
        if (w == 0) { // a new Load in the window
            IntensityGrid.releaseOverflow();
            largest = 0;
            continue;
        }
        const PictureSurface s = with(with(PictureSurface(w, h), w - 8, h - 6, w - 4, h - 3), 3, 2, 4, 3);
        PictureSurface working;
        const EdgeDetectionRun run = RunEdgeDetection(s, working, testWorkspace(), ",");
        EXPECT_EQ(run.scan.FirstEdge, (Point{2, 1})) << w << " x " << h;
        EXPECT_EQ(run.scan.LastEdge, (Point{w - 3, h - 2})) << w << " x " << h;
        EXPECT_EQ(IntensityGrid.usesStaticGrid(), w <= 1920 && h <= 480) << w << " x " << h;
        EdgeScanResult scan;
        EXPECT_EQ(working, expectedResult(s, scan)) << w << " x " << h;
        EXPECT_EQ(run.scan, scan) << w << " x " << h;
        const std::size_t cells = std::size_t(w) * std::size_t(h);
        if (!IntensityGrid.usesStaticGrid()) {
            if (cells <= largest) {
                EXPECT_EQ(IntensityGrid.column(0), storage) << w << " x " << h << " reallocated the grid";
            }
            largest = std::max(largest, cells);
            storage = IntensityGrid.column(0);
        }
    }
}

TEST(FieldText, HalvesInTheirShortestFormWithTheCallersSeparator) {
    const std::tuple<float, const char*, const char*> cases[] = {
        {2.5f, ".", "2.5"},   {1.0f, ",", "1"},     {-3.5f, ".", "-3.5"},          {-20.0f, ",", "-20"},
        {0.0f, ".", "0"},     {-0.5f, ",", "-0,5"}, {8388607.5f, ",", "8388607,5"}, {1073741824.0f, ".", "1073741824"},
        {959.5f, ".", "959.5"}, {2.5f, "\u066B", "2\u066B5"}};
    for (const auto& [value, separator, text] : cases)
        EXPECT_EQ(HalfText(value, separator), text) << value;
    EXPECT_EQ(IntegerText(-2147483647 - 1), "-2147483648");
}

} // namespace
