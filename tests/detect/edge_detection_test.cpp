// The edge-detection command: known answers for the fourteen fields, the
// result picture against the plain reference, and the grid past its limits.
#include "edge_detection.h"
#include "edge_rule.h"
#include "intensity_grid.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <latch>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

PictureSurface with(PictureSurface s, int x0, int y0, int x1, int y1, Colour c = 0xFFFFFF) {
    fillRect(s, x0, y0, x1, y1, c);
    return s;
}

// The command over a working copy holding an earlier run's pixels, against
// the reference's map with the command's own diagonals.
EdgeDetectionRun expectAsReference(const PictureSurface& picture, int minSum, const std::string& what) {
    PictureSurface working = randomPicture(picture.width(), picture.height(), 5), expected;
    EdgeDetectionRun run = RunEdgeDetection(picture, working, testWorkspace(), ",", minSum);
    const EdgeScanResult scan = referenceScan(picture, expected, minSum);
    DrawDiagonals(expected, scan, ReportQuadrilateral(scan));
    EXPECT_EQ(working, expected) << what;
    EXPECT_EQ(run.scan, scan) << what;
    return run;
}

// The fields from the reference's tallies, in field order, "-" where the
// run leaves one: corner 3, the last interior pixel, the box, corner 1, the
// top-right and bottom-left corners (2 and 4) and the half box, with ",".
std::string referenceFields(const EdgeScanResult& s) {
    const auto half = [](int v) { return (v < 0 ? "-" : "") + std::to_string(std::abs(v) / 2) + (v % 2 ? ",5" : ""); };
    const auto corner = [&](Point p) { return s.EdgeCount ? std::to_string(p.x) + " " + std::to_string(p.y) : "- -"; };
    const int w = s.LastEdge.x - s.FirstEdge.x, h = s.LastEdge.y - s.FirstEdge.y;
    return corner(s.LastEdge) + " " + std::to_string(s.ScanEnd.x) + " " + std::to_string(s.ScanEnd.y) + " " +
           std::to_string(w) + " " + std::to_string(h) + " " + corner(s.FirstEdge) + " " +
           std::to_string(s.LastEdge.x) + " " + std::to_string(s.FirstEdge.y) + " " + std::to_string(s.FirstEdge.x) +
           " " + std::to_string(s.LastEdge.y) + " " + half(w) + " " + half(h);
}

// Known pictures and noise at every threshold: 1 takes the fused pass, any
// other the per-pixel scan (Capture, the two operators, ScanInterior), which
// also shows the sums of the pixels it finds no edge in. The fields at 1 are
// the known ones where the table has them, else those of the reference.
TEST(EdgeDetection, KnownFieldsAndTheReferenceResultAtEveryMinSum) {
    PictureSurface diamond(11, 11); // |x - 5| + |y - 5| <= 3
    for (int d = 0; d <= 3; ++d)
        fillRect(diamond, 2 + d, 5 - d, 8 - d, 5 + d, 0xFFFFFF);
    const std::tuple<const char*, PictureSurface, const char*> cases[] = {
        {"white square", whiteSquare(), "7 7 8 8 5 5 2 2 7 2 2 7 2,5 2,5"},
        {"diamond", diamond, "6 9 9 9 2 8 4 1 6 1 4 9 1 4"},
        {"no blue", with(PictureSurface(10, 10), 3, 3, 6, 6, 0x0000FF), "- - 8 8 0 0 - - 0 0 0 0 0 0"},
        {"uniform", filled(7, 5, 0x808080), "- - 5 3 0 0 - - 0 0 0 0 0 0"},
        {"empty", PictureSurface(), "- - 0 0 0 0 - - 0 0 0 0 0 0"},
        {"two by two", with(PictureSurface(2, 2), 1, 1, 1, 1), "- - 0 0 0 0 - - 0 0 0 0 0 0"},
        // The upper block lies right of the lower one: corner 3 left of corner 1.
        {"negative width", with(with(PictureSurface(100, 60), 61, 11, 79, 19), 11, 41, 19, 49),
         "20 50 98 58 -40 40 60 10 20 10 60 50 -20 20"},
        {"box", with(PictureSurface(200, 120), 101, 51, 159, 89), "160 90 198 118 60 40 100 50 160 50 100 90 30 20"},
        {"single pixel edge", with(PictureSurface(3, 3), 1, 2, 1, 2, 0x040000), "1 1 1 1 0 0 1 1 1 1 1 1 0 0"},
        {"noise 3 x 3", randomPicture(3, 3, 1), nullptr},
        {"noise 17 x 5", randomPicture(17, 5, 2), nullptr},
        {"noise", randomPicture(64, 33, 3), nullptr},
        {"gentle ramp", withBlue(64, 33, 7, [](int x, int y, int b) { return x * 5 + y * 3 + b % 8; }), nullptr},
        {"steep ramp", withBlue(17, 5, 7, [](int x, int y, int b) { return x * 13 + y * 29 + b % 8; }), nullptr}};
    for (const auto& [name, picture, fields] : cases) {
        const PictureSurface before = picture;
        EdgeDetectionRun run;
        for (const int minSum : {edge_rule::kLargestSum, 40, 7, 3, 2, 1})
            run = expectAsReference(picture, minSum, std::string(name) + " at " + std::to_string(minSum));
        std::string shown;
        for (const Field field : kFields)
            shown += (shown.empty() ? "" : " ") + run.fields[field].value_or("-");
        EXPECT_EQ(shown, fields ? fields : referenceFields(run.scan)) << name;
        EXPECT_EQ(picture, before) << name << ": the command changed its input";
    }
}

// Drawn out, with no help from the reference: the blue band, and over it the
// green 1 -> 3 and red 2 -> 4 diagonals, neither painting its end point.
TEST(EdgeDetection, WhiteSquareResultPixelForPixel) {
    const char* const rows[] = {"..........", "..........", "..GBBBBR..", "..BGBBRB..", "..BBGRBB..",
                                "..BBRGBB..", "..BRBBGB..", "..BBBBBB..", "..........", ".........."};
    PictureSurface working;
    RunEdgeDetection(whiteSquare(), working, testWorkspace(), ".");
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(working.pixel(x, y), rows[y][x] == 'B'   ? 0xFF0000u
                                           : rows[y][x] == 'G' ? 0x00FF00u
                                           : rows[y][x] == 'R' ? 0x0000FFu
                                                               : 0u)
                << "pixel (" << x << "," << y << ")";
}

// Pictures beyond 1920 x 480 once wrote past the static grid; a large
// picture leaves values in cells a smaller one does not cover. Only a
// picture with more cells than any before it may move the grid, and the
// window may give it back.
TEST(EdgeDetection, regression_oversize_then_small) {
    std::size_t largest = 0;
    const std::int32_t* storage = nullptr;
    for (const auto& [w, h] : {std::pair{1920, 480},
                               {1921, 20},
                               {20, 481},
                               {1921, 481},
                               {4000, 600},
                               {30, 3000},
                               {10, 10},
                               {0, 0},
                               {1921, 481}}) {
        if (w == 0) { // a new Load in the window
            IntensityGrid.releaseOverflow();
            largest = 0;
            continue;
        }
        const std::string size = std::to_string(w) + " x " + std::to_string(h);
        expectAsReference(with(with(PictureSurface(w, h), w - 8, h - 6, w - 4, h - 3), 3, 2, 4, 3), 1, size);
        if (!IntensityGrid.usesStaticGrid()) {
            EXPECT_TRUE(std::size_t(w) * std::size_t(h) > largest || IntensityGrid.column(0) == storage)
                << size << " reallocated the grid";
            largest = std::max(largest, std::size_t(w) * std::size_t(h));
            storage = IntensityGrid.column(0);
        }
    }
}

// The CLI's jobs detect side by side, each on a grid and a workspace of its
// own: pictures the static grid would hold, so that grids sharing it would
// spoil each other's cells, and one past it. Neither run disturbs the other,
// nor the window's IntensityGrid. (make tsan runs this under ThreadSanitizer.)
TEST(EdgeDetection, OwnGridsDetectSideBySide) {
    Capture(whiteSquare());
    const PictureSurface pictures[] = {randomPicture(640, 400, 11), with(PictureSurface(300, 200), 50, 40, 120, 90),
                                       with(PictureSurface(1930, 40), 7, 5, 1900, 30)};
    constexpr std::size_t kJobs = std::size(pictures);
    std::latch start(kJobs);
    std::vector<std::thread> jobs;
    for (std::size_t j = 0; j < kJobs; ++j)
        jobs.emplace_back([&, j] {
            EdgePassWorkspace workspace;
            IntensityGridStore grid;
            PictureSurface working, expected;
            start.arrive_and_wait();
            for (int round = 0; round < 4; ++round) {
                const PictureSurface& picture = pictures[(j + std::size_t(round)) % kJobs];
                const int minSum = round % 2 ? 5 : 1;
                const EdgeDetectionRun run = RunEdgeDetection(picture, working, workspace, grid, ",", minSum);
                const EdgeScanResult scan = referenceScan(picture, expected, minSum);
                DrawDiagonals(expected, scan, ReportQuadrilateral(scan));
                EXPECT_TRUE(run.scan == scan && working == expected) << "job " << j << ", round " << round;
            }
        });
    for (std::thread& job : jobs)
        job.join();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(IntensityGrid(x, y), whiteSquare().row(y)[std::size_t(3) * std::size_t(x)])
                << "the window's grid changed at " << x << "," << y;
}

TEST(FieldText, HalvesInTheirShortestFormWithTheCallersSeparator) {
    const std::tuple<float, const char*, const char*> cases[] = {{2.5f, ".", "2.5"},
                                                                 {1.0f, ",", "1"},
                                                                 {-3.5f, ".", "-3.5"},
                                                                 {-20.0f, ",", "-20"},
                                                                 {0.0f, ".", "0"},
                                                                 {-0.5f, ",", "-0,5"},
                                                                 {8388607.5f, ",", "8388607,5"},
                                                                 {1073741824.0f, ".", "1073741824"},
                                                                 {959.5f, ".", "959.5"},
                                                                 {2.5f, "\u066B", "2\u066B5"}};
    for (const auto& [value, separator, text] : cases)
        EXPECT_EQ(HalfText(value, separator), text) << value;
    EXPECT_EQ(IntegerText(-2147483647 - 1), "-2147483648");
}

} // namespace
