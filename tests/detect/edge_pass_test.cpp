// The fused edge pass against the per-pixel test oracle, for every kernel
// this processor can run.
#include "edge_detection.h"
#include "edge_pass.h"
#include "intensity_grid.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

// Blue in [base, base + spread), green and red random: differences around
// the |S| = 4 threshold when spread is small.
PictureSurface lowContrast(int w, int h, int base, int spread, std::uint32_t seed) {
    PictureSurface s(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = s.row(y) + 3 * x;
            p[0] = std::uint8_t(base + int(rng() % std::uint32_t(spread)));
            p[1] = std::uint8_t(rng());
            p[2] = std::uint8_t(rng());
        }
    return s;
}

// Random blocks of a few blue levels: long uniform runs with edges that fall
// anywhere relative to the vector widths.
PictureSurface blocks(int w, int h, std::uint32_t seed) {
    PictureSurface s = filled(w, h, 0x202020);
    std::mt19937 rng(seed);
    if (w == 0 || h == 0)
        return s;
    for (int i = 0; i < 6; ++i) {
        const int x0 = int(rng() % std::uint32_t(w)), y0 = int(rng() % std::uint32_t(h));
        const int x1 = std::min(w - 1, x0 + int(rng() % 40)), y1 = std::min(h - 1, y0 + int(rng() % 20));
        fillRect(s, x0, y0, x1, y1, Colour(0x20 + int(rng() % 3) * 2) << 16 | 0x00FFFF);
    }
    return s;
}

PictureSurface garbage(int w, int h) { return randomPicture(w, h, 4242); }

struct Size {
    int w, h;
};

// Tiny pictures, widths and heights on both sides of 16 and 32, tile
// heights that do not divide the picture, and the overflow grid, whose
// columns start at every offset within a cache line and end in a partial
// tile of 1 to 63 rows.
const Size kSizes[] = {
    {0, 0},   {1, 1},   {1, 9},   {9, 1},   {2, 2},   {3, 3},   {4, 3},    {3, 4},    {15, 16},
    {16, 17}, {17, 15}, {18, 31}, {31, 18}, {32, 33}, {33, 32}, {34, 5},   {35, 48},  {47, 3},
    {63, 31}, {64, 64}, {65, 19}, {97, 50}, {33, 65}, {40, 66}, {35, 130}, {257, 40}, {1920, 480},
    {1921, 20}, {20, 481}, {1937, 490}, {1923, 129}, {7, 1000}, {11, 527},
};

class EdgePass : public ::testing::TestWithParam<std::tuple<EdgePassKernel, EdgePassStores, EdgePassThreads>> {
protected:
    void SetUp() override {
        if (!EdgePassKernelAvailable(kernel()))
            GTEST_SKIP() << "processor lacks this kernel";
    }
    EdgePassKernel kernel() const { return std::get<0>(GetParam()); }
    EdgePassStores stores() const { return std::get<1>(GetParam()); }
    EdgePassThreads threads() const { return std::get<2>(GetParam()); }
    EdgePassOptions options() const { return {kernel(), stores(), threads()}; }

    // Runs the pass on `picture` over a garbage working copy and compares it
    // with the per-pixel oracle; then checks every grid cell.
    void expectSameAsPerPixelPath(const PictureSurface& picture, const std::string& what) {
        const int w = picture.width(), h = picture.height();
        PictureSurface expected;
        const EdgeScanResult want = referenceScan(picture, expected);

        // Garbage in the grid's cells and in the working copy: the pass must
        // overwrite every one of them.
        PictureSurface working = garbage(w, h);
        Capture(working);
        const EdgeScanResult got = CaptureAndScan(picture, working, testWorkspace(), options());
        EXPECT_EQ(got, want) << what;
        if (working != expected) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (working.pixel(x, y) != expected.pixel(x, y)) {
                        ADD_FAILURE() << what << ": pixel (" << x << "," << y << ") is " << std::hex
                                      << working.pixel(x, y) << ", want " << expected.pixel(x, y);
                        return;
                    }
        }
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                if (IntensityGrid(x, y) != picture.row(y)[3 * x]) {
                    ADD_FAILURE() << what << ": grid cell [" << x << "][" << y << "] is " << IntensityGrid(x, y)
                                  << ", want the blue byte " << int(picture.row(y)[3 * x]);
                    return;
                }
        EXPECT_EQ(IntensityGrid.usesStaticGrid(), w <= 1920 && h <= 480) << what;
    }
};

INSTANTIATE_TEST_SUITE_P(KernelsStoresThreads, EdgePass,
                         ::testing::Combine(::testing::Values(EdgePassKernel::Portable, EdgePassKernel::Avx2),
                                            ::testing::Values(EdgePassStores::Cached, EdgePassStores::Streaming),
                                            ::testing::Values(EdgePassThreads::One, EdgePassThreads::Two)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param) == EdgePassKernel::Avx2 ? "Avx2" : "Portable") +
                                    (std::get<1>(test.param) == EdgePassStores::Streaming ? "Streaming" : "Cached") +
                                    (std::get<2>(test.param) == EdgePassThreads::Two ? "TwoThreads" : "OneThread");
                         });

TEST_P(EdgePass, MatchesPerPixelPathOnManySizes) {
    for (const Size s : kSizes) {
        const std::string size = std::to_string(s.w) + " x " + std::to_string(s.h);
        const auto seed = std::uint32_t(s.w * 7919 + s.h);
        expectSameAsPerPixelPath(randomPicture(s.w, s.h, seed), size + " random");
        expectSameAsPerPixelPath(lowContrast(s.w, s.h, 100, 3, seed), size + " blue spread 3");
        expectSameAsPerPixelPath(lowContrast(s.w, s.h, 0, 2, seed), size + " blue 0 or 1");
        expectSameAsPerPixelPath(blocks(s.w, s.h, seed), size + " blocks");
        if (HasFailure())
            return;
    }
}

TEST_P(EdgePass, ExtremeValuesAndUniformPictures) {
    for (const Size s : {Size{40, 20}, Size{70, 35}}) {
        expectSameAsPerPixelPath(lowContrast(s.w, s.h, 0, 1, 1), "all blue 0");
        expectSameAsPerPixelPath(lowContrast(s.w, s.h, 255, 1, 2), "all blue 255");
        PictureSurface stripes(s.w, s.h);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x)
                stripes.setPixel(x, y, (x + y) % 2 ? 0xFF0000 : 0x000000);
        expectSameAsPerPixelPath(stripes, "checkerboard of blue 0 and 255");
        // Steps of 255 in one direction only: one operator far beyond what a
        // signed byte holds (S = -765 or 765) while the other is 0.
        PictureSurface steps(s.w, s.h);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x)
                steps.setPixel(x, y, (y < s.h / 2) != (x < s.w / 3) ? 0xFF0000 : 0x000000);
        expectSameAsPerPixelPath(steps, "blue 255 and 0 in quadrants");
    }
}

// One changed blue byte moves S of its neighbours by exactly that amount:
// |S| = 3 must give no edge and |S| = 4 edges, at every position of a row,
// so that both the vector body and the scalar tail see the threshold.
TEST_P(EdgePass, ThresholdAtEveryColumn) {
    constexpr int kW = 75; // two 32-pixel steps and a tail
    struct Case {
        int row, delta, edgesPerInteriorNeighbour;
    };
    // Row 2 changes Sy of x-1, x, x+1 and Sx of x-1, x+1; row 1 only Sx.
    const Case cases[] = {{2, 3, 0}, {2, -3, 0}, {2, 4, 1}, {2, -4, 1}, {1, 3, 0}, {1, -3, 0}, {1, 4, 1}, {1, -4, 1}};
    for (const Case& c : cases) {
        for (int x = 0; x < kW; ++x) {
            PictureSurface s = filled(kW, 3, 0x808080);
            s.row(c.row)[3 * x] = std::uint8_t(0x80 + c.delta);
            PictureSurface working(kW, 3);
            const EdgeScanResult r = CaptureAndScan(s, working, testWorkspace(), options());
            int expected = 0;
            for (int n = x - 1; n <= x + 1; ++n)
                if (n >= 1 && n <= kW - 2 && (c.row == 2 || n != x))
                    expected += c.edgesPerInteriorNeighbour;
            ASSERT_EQ(r.EdgeCount, expected) << "row " << c.row << " delta " << c.delta << " at x " << x;
            PictureSurface map;
            ASSERT_EQ(r, referenceScan(s, map)) << "row " << c.row << " delta " << c.delta << " at x " << x;
            ASSERT_EQ(working, map) << "row " << c.row << " delta " << c.delta << " at x " << x;
        }
    }
}

// A single dot on every row in turn: the edges it makes lie in one band, in
// the other, or across the rows where the bands meet, and the tallies must
// come out as if one thread had scanned the picture in raster order.
TEST_P(EdgePass, SingleDotOnEveryRow) {
    constexpr int kW = 37, kH = 300;
    for (int y = 0; y < kH; ++y) {
        PictureSurface s = filled(kW, kH, 0x404040);
        s.setPixel(5 + y % 27, y, 0xFFFFFF);
        PictureSurface working(kW, kH), map;
        ASSERT_EQ(CaptureAndScan(s, working, testWorkspace(), options()), referenceScan(s, map))
            << "dot on row " << y;
        ASSERT_EQ(working, map) << "dot on row " << y;
    }
}

TEST(EdgePassContract, WorkingCopyOfAnotherSizeIsRefused) {
    PictureSurface working(10, 10);
    EXPECT_THROW(CaptureAndScan(PictureSurface(10, 11), working, testWorkspace()), std::invalid_argument);
}

// The command gives its working copy the picture's size only when it differs;
// what a reused copy held before must never show through.
TEST(EdgeDetectionCommand, regression_reused_working_copy) {
    const PictureSurface pictures[] = {randomPicture(50, 30, 1), blocks(80, 40, 2), randomPicture(50, 30, 3),
                                       PictureSurface(), lowContrast(3, 3, 10, 8, 4), randomPicture(50, 30, 5)};
    PictureSurface reused = garbage(50, 30);
    for (const PictureSurface& p : pictures) {
        PictureSurface fresh;
        const EdgeDetectionRun a = RunEdgeDetection(p, reused, testWorkspace(), ",");
        const EdgeDetectionRun b = RunEdgeDetection(p, fresh, testWorkspace(), ",");
        EXPECT_EQ(a.scan, b.scan);
        EXPECT_EQ(reused, fresh) << p.width() << " x " << p.height();
        for (int n = 1; n <= FieldTexts::kCount; ++n)
            EXPECT_EQ(a.fields.edit(n), b.fields.edit(n)) << "Edit" << n;
    }
}

} // namespace
