// The fused edge pass against the per-pixel reference, for every kernel this
// processor runs, both ways of storing and one or two threads.
#include "edge_pass.h"
#include "intensity_grid.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

// Parameter bits: 4 the AVX2 kernel, 2 streaming stores, 1 two threads.
class EdgePass : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!EdgePassKernelAvailable(options.kernel.value()))
            GTEST_SKIP() << "processor lacks this kernel";
    }

    // The pass over a working copy and grid full of garbage, which it must
    // overwrite, against the reference; then every grid cell.
    void expectAsReference(const PictureSurface& picture, const std::string& what) {
        const int w = picture.width(), h = picture.height();
        PictureSurface working = randomPicture(w, h, 4242), expected;
        Capture(working);
        ASSERT_EQ(CaptureAndScan(picture, working, testWorkspace(), options), referenceScan(picture, expected)) << what;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (working.pixel(x, y) != expected.pixel(x, y) ||
                    IntensityGrid(x, y) != picture.row(y)[std::size_t(3) * std::size_t(x)])
                    FAIL() << what << ": pixel (" << x << "," << y << ") is " << std::hex << working.pixel(x, y)
                           << ", want " << expected.pixel(x, y) << "; its grid cell " << IntensityGrid(x, y);
        EXPECT_EQ(IntensityGrid.usesStaticGrid(), w <= 1920 && h <= 480) << what;
    }

    const int bits = GetParam();
    const EdgePassOptions options{bits & 4 ? EdgePassKernel::Avx2 : EdgePassKernel::Portable,
                                  bits & 2 ? EdgePassStores::Streaming : EdgePassStores::Cached,
                                  bits & 1 ? EdgePassThreads::Two : EdgePassThreads::One};
};

INSTANTIATE_TEST_SUITE_P(KernelsStoresThreads, EdgePass, ::testing::Range(0, 8), [](const auto& test) {
    return std::string(test.param & 4 ? "Avx2" : "Portable") + (test.param & 2 ? "Streaming" : "Cached") +
           (test.param & 1 ? "TwoThreads" : "OneThread");
});

// Tiny pictures, widths and heights on both sides of 16 and 32, tile heights
// that do not divide the picture, and the overflow grid, whose columns start
// at every offset within a cache line and end in a partial tile of 1 to 63 rows.
TEST_P(EdgePass, MatchesTheReferenceOnManySizes) {
    const std::pair<int, int> sizes[] = {
        {0, 0},      {1, 1},     {1, 9},    {9, 1},      {2, 2},      {3, 3},    {4, 3},   {3, 4},    {15, 16},
        {16, 17},    {17, 15},   {18, 31},  {31, 18},    {32, 33},    {33, 32},  {34, 5},  {35, 48},  {47, 3},
        {63, 31},    {64, 64},   {65, 19},  {97, 50},    {33, 65},    {40, 66},  {75, 40}, {35, 130}, {257, 40},
        {1920, 480}, {1921, 20}, {20, 481}, {1937, 490}, {1923, 129}, {7, 1000}, {11, 527}};
    for (const auto& [w, h] : sizes) {
        const auto seed = std::uint32_t(w * 7919 + h);
        // Blue spread 3 or 2: differences around the |S| = 4 threshold. Stripes:
        // long empty runs, and edges that fall anywhere relative to the vector
        // widths.
        // Dots of 128 + 3, - 3, + 4 or - 4, the phase moving from row to row:
        // |S| of each dot's neighbours is exactly 3 or 4, so that every column,
        // vector body and scalar tail alike, meets the threshold from both sides.
        const std::pair<const char*, PictureSurface> pictures[] = {
            {"random", randomPicture(w, h, seed)},
            {"blue spread 3", withBlue(w, h, seed, [](int, int, int b) { return 100 + b % 3; })},
            {"blue 0 or 1", withBlue(w, h, seed, [](int, int, int b) { return b % 2; })},
            {"stripes",
             withBlue(w, h, seed, [](int x, int y, int) { return y % 40 < 20 && (x + y) % 97 < 5 ? 36 : 0; })},
            {"dots", withBlue(w, h, 3, [](int x, int y, int) {
                 const int step = std::array{3, -3, 4, -4}[std::size_t(x / 3 + y / 3) % 4];
                 return y % 3 == 1 && x % 3 == y / 3 % 3 ? 128 + step : 128;
             })}};
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
    for (int y = 0; y < 300 && !HasFatalFailure(); ++y) {
        PictureSurface s = filled(37, 300, 0x404040);
        s.setPixel(5 + y % 27, y, 0xFFFFFF);
        expectAsReference(s, "dot on row " + std::to_string(y));
    }
}

} // namespace
