// The fused edge pass against the per-pixel reference, for every kernel this
// processor runs, both ways of storing and one or two threads.
#include "edge_pass.h"
#include "intensity_grid.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

// Blue in [base, base + spread), green and red random: differences around
// the |S| = 4 threshold when the spread is small.
PictureSurface lowContrast(int w, int h, int base, int spread, std::uint32_t seed) {
    PictureSurface s = randomPicture(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s.row(y)[3 * x] = std::uint8_t(base + s.row(y)[3 * x] % spread);
    return s;
}

// Random blocks of a few blue levels: long uniform runs with edges that fall
// anywhere relative to the vector widths.
PictureSurface blocks(int w, int h, std::uint32_t seed) {
    PictureSurface s = filled(w, h, 0x202020);
    std::mt19937 rng(seed);
    for (int i = 0; i < 6 && w > 0 && h > 0; ++i) {
        const int x0 = int(rng() % std::uint32_t(w)), y0 = int(rng() % std::uint32_t(h));
        const int x1 = std::min(w - 1, x0 + int(rng() % 40)), y1 = std::min(h - 1, y0 + int(rng() % 20));
        fillRect(s, x0, y0, x1, y1, Colour(0x20 + int(rng() % 3) * 2) << 16 | 0x00FFFF);
    }
    return s;
}

// Lone dots of blue 128 + 3, - 3, + 4 or - 4 on every third row and column,
// the phase moving from row to row: |S| of each dot's neighbours is exactly 3
// or 4, so that every column, vector body and scalar tail alike, meets the
// threshold from both sides.
PictureSurface dots(int w, int h) {
    constexpr int kDelta[] = {3, -3, 4, -4};
    PictureSurface s = lowContrast(w, h, 128, 1, 3);
    for (int y = 1; y < h; y += 3)
        for (int x = y / 3 % 3; x < w; x += 3)
            s.row(y)[3 * x] = std::uint8_t(128 + kDelta[(x / 3 + y / 3) % 4]);
    return s;
}

struct Options {
    EdgePassOptions options;
    std::string name;
    friend void PrintTo(const Options& o, std::ostream* os) { *os << o.name; }
};

std::vector<Options> everyOption() {
    std::vector<Options> out;
    for (const auto k : {EdgePassKernel::Portable, EdgePassKernel::Avx2})
        for (const auto s : {EdgePassStores::Cached, EdgePassStores::Streaming})
            for (const auto t : {EdgePassThreads::One, EdgePassThreads::Two})
                out.push_back({{k, s, t}, std::string(k == EdgePassKernel::Avx2 ? "Avx2" : "Portable") +
                                              (s == EdgePassStores::Cached ? "Cached" : "Streaming") +
                                              (t == EdgePassThreads::One ? "OneThread" : "TwoThreads")});
    return out;
}

class EdgePass : public ::testing::TestWithParam<Options> {
protected:
    void SetUp() override {
        if (!EdgePassKernelAvailable(*GetParam().options.kernel))
            GTEST_SKIP() << "processor lacks this kernel";
    }

    // The pass over a working copy and grid full of garbage, which it must
    // overwrite, against the reference; then every grid cell.
    void expectAsReference(const PictureSurface& picture, const std::string& what) {
        const int w = picture.width(), h = picture.height();
        PictureSurface working = randomPicture(w, h, 4242), expected;
        Capture(working);
        ASSERT_EQ(CaptureAndScan(picture, working, testWorkspace(), GetParam().options),
                  referenceScan(picture, expected)) << what;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (working.pixel(x, y) != expected.pixel(x, y) || IntensityGrid(x, y) != picture.row(y)[3 * x])
                    FAIL() << what << ": pixel (" << x << "," << y << ") is " << std::hex << working.pixel(x, y)
                           << ", want " << expected.pixel(x, y) << "; its grid cell holds " << IntensityGrid(x, y)
                           << ", want the blue byte " << int(picture.row(y)[3 * x]);
        EXPECT_EQ(IntensityGrid.usesStaticGrid(), w <= 1920 && h <= 480) << what;
    }
};

INSTANTIATE_TEST_SUITE_P(KernelsStoresThreads, EdgePass, ::testing::ValuesIn(everyOption()),
                         [](const auto& test) { return test.param.name; });

// Tiny pictures, widths and heights on both sides of 16 and 32, tile heights
// that do not divide the picture, and the overflow grid, whose columns start
// at every offset within a cache line and end in a partial tile of 1 to 63 rows.
TEST_P(EdgePass, MatchesTheReferenceOnManySizes) {
    const std::pair<int, int> sizes[] = {
        {0, 0},   {1, 1},   {1, 9},   {9, 1},   {2, 2},   {3, 3},    {4, 3},    {3, 4},     {15, 16},  {16, 17},
        {17, 15}, {18, 31}, {31, 18}, {32, 33}, {33, 32}, {34, 5},   {35, 48},  {47, 3},    {63, 31},  {64, 64},
        {65, 19}, {97, 50}, {33, 65}, {40, 66}, {75, 40}, {35, 130}, {257, 40}, {1920, 480}, {1921, 20}, {20, 481},
        {1937, 490}, {1923, 129}, {7, 1000}, {11, 527}};
    for (const auto& [w, h] : sizes) {
        const auto seed = std::uint32_t(w * 7919 + h);
        const std::pair<const char*, PictureSurface> pictures[] = {
            {"random", randomPicture(w, h, seed)},         {"blue spread 3", lowContrast(w, h, 100, 3, seed)},
            {"blue 0 or 1", lowContrast(w, h, 0, 2, seed)}, {"blocks", blocks(w, h, seed)},
            {"dots", dots(w, h)}};
        for (const auto& [what, picture] : pictures)
            expectAsReference(picture, std::to_string(w) + " x " + std::to_string(h) + " " + what);
        if (HasFatalFailure())
            return;
    }
}

// A single dot on every row in turn: its edges lie in one band, in the
// other, or across the rows where the bands meet, and the tallies must come
// out as if one thread had scanned the picture in raster order.
TEST_P(EdgePass, SingleDotOnEveryRow) {
    for (int y = 0; y < 300; ++y) {
        PictureSurface s = filled(37, 300, 0x404040);
        s.setPixel(5 + y % 27, y, 0xFFFFFF);
        expectAsReference(s, "dot on row " + std::to_string(y));
        if (HasFatalFailure())
            return;
    }
}

TEST(EdgePassContract, WorkingCopyOfAnotherSizeIsRefused) {
    PictureSurface working(10, 10);
    EXPECT_THROW(CaptureAndScan(PictureSurface(10, 11), working, testWorkspace()), std::invalid_argument);
}

} // namespace
