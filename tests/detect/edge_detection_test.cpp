#include "edge_detection.h"
#include "intensity_grid.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

constexpr Colour kWhite = 0xFFFFFF, kBlack = 0x000000, kBlue = 0xFF0000, kRed = 0x0000FF, kGreen = 0x00FF00;

// Two blocks, the upper one to the right: the last edge row ends left of
// where the first one starts.
PictureSurface leaningBlocks() {
    PictureSurface s(100, 60);
    fillRect(s, 61, 11, 79, 19, kWhite);
    fillRect(s, 11, 41, 19, 49, kWhite);
    return s;
}

PictureSurface box100x50to160x90() {
    PictureSurface s(200, 120);
    fillRect(s, 101, 51, 159, 89, kWhite);
    return s;
}

// The field texts in Edit order; "-" for a field the run does not write.
std::vector<std::string> texts(const FieldTexts& f) {
    std::vector<std::string> out;
    for (int n = 1; n <= FieldTexts::kCount; ++n)
        out.push_back(f.edit(n).value_or("-"));
    return out;
}

struct KnownAnswer {
    const char* name;
    std::function<PictureSurface()> picture;
    int edgeCount;
    Point first, last;
    // Edit1 ... Edit14
    std::vector<std::string> fields;
    friend void PrintTo(const KnownAnswer& k, std::ostream* os) { *os << k.name; }
};

const KnownAnswer kKnownAnswers[] = {
    {"WhiteSquare", whiteSquare, 32, {2, 2}, {7, 7},
     {"7", "7", "8", "8", "5", "5", "2", "2", "7", "2", "2", "7", "2.5", "2.5"}},
    {"Diamond", diamond, -1, {4, 1}, {6, 9},
     {"6", "9", "9", "9", "2", "8", "4", "1", "6", "1", "4", "9", "1", "4"}},
    {"RedSquareHasNoBlue", [] { auto s = PictureSurface(10, 10); fillRect(s, 3, 3, 6, 6, kRed); return s; }, 0, {}, {},
     {"-", "-", "8", "8", "0", "0", "-", "-", "0", "0", "0", "0", "0", "0"}},
    {"Uniform", [] { return filled(7, 5, 0x808080); }, 0, {}, {},
     {"-", "-", "5", "3", "0", "0", "-", "-", "0", "0", "0", "0", "0", "0"}},
    {"Empty", [] { return PictureSurface(); }, 0, {}, {},
     {"-", "-", "0", "0", "0", "0", "-", "-", "0", "0", "0", "0", "0", "0"}},
    {"OneColumn", [] { auto s = PictureSurface(1, 9); s.setPixel(0, 4, kWhite); return s; }, 0, {}, {},
     {"-", "-", "0", "0", "0", "0", "-", "-", "0", "0", "0", "0", "0", "0"}},
    {"TwoByTwo", [] { auto s = PictureSurface(2, 2); s.setPixel(1, 1, kWhite); return s; }, 0, {}, {},
     {"-", "-", "0", "0", "0", "0", "-", "-", "0", "0", "0", "0", "0", "0"}},
    {"NegativeWidth", leaningBlocks, -1, {60, 10}, {20, 50},
     {"20", "50", "98", "58", "-40", "40", "60", "10", "20", "10", "60", "50", "-20", "20"}},
    {"Box100x50To160x90", box100x50to160x90, -1, {100, 50}, {160, 90},
     {"160", "90", "198", "118", "60", "40", "100", "50", "160", "50", "100", "90", "30", "20"}},
    {"SinglePixelEdge", [] { auto s = PictureSurface(3, 3); s.setPixel(1, 2, 0x040000); return s; }, 1, {1, 1}, {1, 1},
     {"1", "1", "1", "1", "0", "0", "1", "1", "1", "1", "1", "1", "0", "0"}},
};

class KnownAnswers : public ::testing::TestWithParam<KnownAnswer> {};

INSTANTIATE_TEST_SUITE_P(Pictures, KnownAnswers, ::testing::ValuesIn(kKnownAnswers),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_P(KnownAnswers, FieldsCornersAndEdgeMap) {
    const KnownAnswer& k = GetParam();
    const PictureSurface picture = k.picture();
    const PictureSurface before = picture;
    PictureSurface working;
    const EdgeDetectionRun run = RunEdgeDetection(picture, working, testWorkspace(), ".");

    EXPECT_EQ(texts(run.fields), k.fields);
    if (k.edgeCount >= 0) {
        EXPECT_EQ(run.scan.EdgeCount, k.edgeCount);
    }
    EXPECT_EQ(run.scan.FirstEdge, k.first);
    EXPECT_EQ(run.scan.LastEdge, k.last);
    EXPECT_EQ(picture, before) << "the command changed its input";

    // Apart from the diagonals, the result is the reference edge map.
    PictureSurface expected;
    const EdgeScanResult ref = referenceScan(picture, expected);
    EXPECT_EQ(run.scan, ref);
    DrawDiagonals(expected, ref, ReportQuadrilateral(ref));
    EXPECT_EQ(working, expected);
}

TEST(EdgeDetection, WhiteSquareBandAndDiagonals) {
    PictureSurface working;
    RunEdgeDetection(whiteSquare(), working, testWorkspace(), ".");
    // The diagonals cover the band's corners; everything else in the band is
    // blue and the square's middle is black.
    auto onGreen = [](int x, int y) { return x == y && x >= 2 && x < 7; };
    auto onRed = [](int x, int y) { return x + y == 9 && x > 2 && x <= 7; };
    for (int y = 1; y <= 8; ++y) {
        for (int x = 1; x <= 8; ++x) {
            const bool band = x >= 2 && x <= 7 && y >= 2 && y <= 7 && !(x >= 4 && x <= 5 && y >= 4 && y <= 5);
            Colour want = band ? kBlue : kBlack;
            if (onGreen(x, y))
                want = kGreen;
            if (onRed(x, y))
                want = kRed;
            EXPECT_EQ(working.pixel(x, y), want) << "pixel (" << x << "," << y << ")";
        }
    }
    EXPECT_EQ(working.pixel(7, 7), kBlue) << "the green line painted its end point";
    EXPECT_EQ(working.pixel(2, 7), kBlue) << "the red line painted its end point";
}

TEST(EdgeDetection, FrameKeepsItsColoursAndInteriorHoldsOnlyTheFourColours) {
    for (const auto& [w, h] : {std::pair{3, 3}, {17, 5}, {64, 33}}) {
        const PictureSurface picture = randomPicture(w, h, std::uint32_t(w * 131 + h));
        PictureSurface working;
        const auto run = RunEdgeDetection(picture, working, testWorkspace(), ".");
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                const Colour c = working.pixel(x, y);
                if (frame)
                    EXPECT_EQ(c, picture.pixel(x, y)) << "frame pixel (" << x << "," << y << ") changed";
                else
                    EXPECT_TRUE(c == kBlack || c == kBlue || c == kGreen || c == kRed)
                        << "pixel (" << x << "," << y << ") is not black, blue or a diagonal's colour";
            }
        }
        EXPECT_EQ(run.scan.ScanEnd, (Point{w - 2, h - 2}));
    }
}

TEST(EdgeDetection, MatchesReferenceOnRandomAndStructuredPictures) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 40; ++trial) {
        const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 40);
        PictureSurface picture = trial % 2 ? randomPicture(w, h, std::uint32_t(rng())) : PictureSurface(w, h);
        if (trial % 2 == 0 && w > 4 && h > 4) {
            // Low-contrast blocks around the |S| = 4 threshold.
            const int x0 = int(rng() % std::uint32_t(w - 2)), y0 = int(rng() % std::uint32_t(h - 2));
            fillRect(picture, x0, y0, x0 + 1 + int(rng() % 3) % (w - x0 - 1), y0 + 1, Colour(rng() % 3) << 16);
        }
        PictureSurface working, expected;
        const auto run = RunEdgeDetection(picture, working, testWorkspace(), ".");
        const auto ref = referenceScan(picture, expected);
        DrawDiagonals(expected, ref, ReportQuadrilateral(ref));
        ASSERT_EQ(run.scan, ref) << w << " x " << h << " trial " << trial;
        ASSERT_EQ(working, expected) << w << " x " << h << " trial " << trial;
    }
}

struct ThresholdCase {
    int top[3], bottom[3];
    bool edge;
};

TEST(GradientOperators, ThresholdAndSignLoss) {
    // A 3 x 3 picture: only the centre pixel is interior, and only the top and
    // bottom rows differ, so S of GradientY is bottom minus top.
    const ThresholdCase cases[] = {
        {{0, 0, 0}, {1, 1, 1}, false}, // S = 3
        {{0, 0, 0}, {1, 2, 1}, true},  // S = 4
        {{1, 2, 1}, {0, 0, 0}, true},  // S = -4
        {{1, 1, 1}, {0, 0, 0}, false}, // S = -3
        {{0, 0, 0}, {0, 7, 0}, true},  // S = 7: 7 div 4 = 1
    };
    for (const ThresholdCase& c : cases) {
        PictureSurface s(3, 3);
        for (int x = 0; x < 3; ++x) {
            s.setPixel(x, 0, Colour(c.top[x]) << 16);
            s.setPixel(x, 2, Colour(c.bottom[x]) << 16);
        }
        PictureSurface working;
        const auto run = RunEdgeDetection(s, working, testWorkspace(), ".");
        EXPECT_EQ(run.scan.EdgeCount, c.edge ? 1 : 0)
            << "top " << c.top[0] << c.top[1] << c.top[2] << " bottom " << c.bottom[0] << c.bottom[1] << c.bottom[2];
    }
}

TEST(GradientOperators, FullContrastGives191EitherWay) {
    PictureSurface blackOverWhite(3, 3), whiteOverBlack(3, 3), leftWhite(3, 3);
    fillRect(blackOverWhite, 0, 2, 2, 2, kWhite);
    fillRect(whiteOverBlack, 0, 0, 2, 0, kWhite);
    fillRect(leftWhite, 0, 0, 0, 2, kWhite);
    Capture(blackOverWhite);
    EXPECT_EQ(GradientY(1, 1), 191);
    EXPECT_EQ(GradientX(1, 1), 0);
    Capture(whiteOverBlack);
    EXPECT_EQ(GradientY(1, 1), 191);
    Capture(leftWhite);
    EXPECT_EQ(GradientX(1, 1), 191);
    EXPECT_EQ(GradientY(1, 1), 0);
}

TEST(EdgeDetection, OnlyBlueCounts) {
    PictureSurface s = filled(12, 12, 0x400000);
    fillRect(s, 2, 2, 8, 8, 0x40FFFF); // green and red change, blue does not
    PictureSurface working;
    EXPECT_EQ(RunEdgeDetection(s, working, testWorkspace(), ".").scan.EdgeCount, 0);
}

TEST(EdgeDetection, ShiftingTheShapeShiftsTheCorners) {
    for (const auto& [dx, dy] : {std::pair{0, 0}, {5, 0}, {0, 7}, {13, 21}}) {
        PictureSurface s(60, 60);
        fillRect(s, 10 + dx, 10 + dy, 20 + dx, 25 + dy, kWhite);
        PictureSurface working;
        const auto run = RunEdgeDetection(s, working, testWorkspace(), ".");
        EXPECT_EQ(run.scan.FirstEdge, (Point{9 + dx, 9 + dy}));
        EXPECT_EQ(run.scan.LastEdge, (Point{21 + dx, 26 + dy}));
        EXPECT_EQ(run.report.BoxWidth, 12);
        EXPECT_EQ(run.report.BoxHeight, 17);
    }
}

TEST(EdgeDetection, TwoRunsAreIdentical) {
    const PictureSurface picture = randomPicture(40, 30, 99);
    PictureSurface a, b;
    const auto first = RunEdgeDetection(picture, a, testWorkspace(), ".");
    const auto second = RunEdgeDetection(picture, b, testWorkspace(), ".");
    EXPECT_EQ(first.scan, second.scan);
    EXPECT_EQ(texts(first.fields), texts(second.fields));
    EXPECT_EQ(a, b);
}

// A large picture leaves values in grid cells the next, smaller one does not
// cover; they must not leak into its result.
TEST(EdgeDetection, regression_large_then_small) {
    PictureSurface working;
    RunEdgeDetection(filled(1920, 480, kWhite), working, testWorkspace(), ".");
    const auto run = RunEdgeDetection(whiteSquare(), working, testWorkspace(), ".");
    EXPECT_EQ(run.scan.EdgeCount, 32);
    EXPECT_EQ(run.scan.LastEdge, (Point{7, 7}));
    EXPECT_TRUE(IntensityGrid.usesStaticGrid());
}

// Pictures beyond 1920 x 480 once wrote past the static grid. They now get a
// grid of their own and the same rules; each case has a known answer.
TEST(EdgeDetection, regression_oversize_pictures) {
    struct Case {
        int w, h;
    };
    // Each picture also tells whether the grid may move: only one with more
    // cells than any before it may reallocate.
    std::size_t largest = 0;
    const std::int32_t* storage = nullptr;
    for (const Case c : {Case{1921, 20}, Case{20, 481}, Case{1921, 481}, Case{4000, 600}, Case{30, 3000}}) {
        PictureSurface s(c.w, c.h);
        fillRect(s, c.w - 8, c.h - 6, c.w - 4, c.h - 3, kWhite);
        fillRect(s, 3, 2, 4, 3, kWhite);
        PictureSurface working;
        const auto run = RunEdgeDetection(s, working, testWorkspace(), ",");
        EXPECT_FALSE(IntensityGrid.usesStaticGrid());
        EXPECT_EQ(run.scan.FirstEdge, (Point{2, 1})) << c.w << " x " << c.h;
        EXPECT_EQ(run.scan.LastEdge, (Point{c.w - 3, c.h - 2})) << c.w << " x " << c.h;
        EXPECT_EQ(run.scan.ScanEnd, (Point{c.w - 2, c.h - 2}));
        EXPECT_EQ(run.fields.edit(13), HalfText(float(c.w - 5) * 0.5f, ","));
        const std::size_t cells = std::size_t(c.w) * std::size_t(c.h);
        if (cells <= largest) {
            EXPECT_EQ(IntensityGrid.column(0), storage) << c.w << " x " << c.h << " reallocated the grid";
        }
        largest = std::max(largest, cells);
        storage = IntensityGrid.column(0);
    }
    // Back within the limit: the static grid and the known answer again,
    // also after the window has given the large grid back.
    PictureSurface working;
    EXPECT_EQ(RunEdgeDetection(whiteSquare(), working, testWorkspace(), ".").scan.EdgeCount, 32);
    EXPECT_TRUE(IntensityGrid.usesStaticGrid());
    IntensityGrid.releaseOverflow();
    EXPECT_EQ(RunEdgeDetection(whiteSquare(), working, testWorkspace(), ".").scan.EdgeCount, 32);
    PictureSurface large(1921, 481);
    fillRect(large, 1000, 300, 1010, 310, kWhite);
    EXPECT_EQ(RunEdgeDetection(large, working, testWorkspace(), ".").scan.LastEdge, (Point{1011, 311}));
}

TEST(FieldText, HalvesAndSeparators) {
    struct Case {
        float value;
        const char* separator;
        const char* text;
    };
    const Case cases[] = {
        {2.5f, ".", "2.5"}, {2.5f, ",", "2,5"}, {1.0f, ",", "1"},          {-3.5f, ".", "-3.5"},
        {-20.0f, ",", "-20"}, {0.0f, ".", "0"}, {-0.5f, ",", "-0,5"},     {959.5f, ".", "959.5"},
        {8388607.5f, ",", "8388607,5"}, {1073741824.0f, ".", "1073741824"}, {2.5f, "\u066B", "2\u066B5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HalfText(c.value, c.separator), c.text) << c.value;
    EXPECT_EQ(IntegerText(-2147483647 - 1), "-2147483648");
}

TEST(FieldText, SeparatorReachesOnlyTheHalves) {
    PictureSurface working;
    const auto run = RunEdgeDetection(whiteSquare(), working, testWorkspace(), ",");
    EXPECT_EQ(*run.fields.edit(13), "2,5");
    EXPECT_EQ(*run.fields.edit(14), "2,5");
    EXPECT_EQ(*run.fields.edit(5), "5");
}

} // namespace
