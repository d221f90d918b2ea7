// The line drawer: one pixel per step of the longer axis, each within half a
// pixel of the ideal line, never the end point, clipped to the surface.
#include "picture_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

using quadfind::PictureSurface;
using quadfind::Point;

namespace {

constexpr quadfind::Colour kPen = 0x00FF00;

PictureSurface drawn(int w, int h, Point from, Point to) {
    PictureSurface s(w, h);
    s.setPenColour(kPen);
    s.moveTo(from.x, from.y);
    s.lineTo(to.x, to.y);
    return s;
}

TEST(PictureSurfaceLine, OnePixelPerMajorStepWithinHalfAPixelWithoutTheEndPoint) {
    // Every octant, both axes, the diagonals and the degenerate cases.
    const std::pair<Point, Point> cases[] = {
        {{10, 10}, {17, 12}}, {{10, 10}, {12, 17}}, {{10, 10}, {8, 17}}, {{10, 10}, {3, 12}}, {{10, 10}, {3, 8}},
        {{10, 10}, {8, 3}},   {{10, 10}, {12, 3}},  {{10, 10}, {17, 8}}, {{10, 10}, {19, 10}}, {{10, 10}, {10, 1}},
        {{2, 2}, {7, 7}},     {{7, 2}, {2, 7}},     {{0, 0}, {19, 1}},   {{5, 5}, {6, 6}},    {{19, 0}, {0, 19}},
        {{4, 4}, {4, 4}}};
    for (const auto& [from, to] : cases) {
        const PictureSurface s = drawn(20, 20, from, to);
        EXPECT_EQ(s.penPosition(), to);
        const int dx = to.x - from.x, dy = to.y - from.y, steps = std::max(std::abs(dx), std::abs(dy));
        // Step i of the major axis: exactly one pixel, the nearest to the line.
        int painted = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                painted += s.pixel(x, y) == kPen;
        EXPECT_EQ(painted, steps) << "line to (" << to.x << "," << to.y << ")";
        for (int i = 0; i < steps; ++i) {
            const double x = from.x + double(dx) * i / steps, y = from.y + double(dy) * i / steps;
            bool found = false;
            for (const double px : {std::floor(x), std::ceil(x)})
                for (const double py : {std::floor(y), std::ceil(y)})
                    found = found || (std::abs(px - x) <= 0.5 && std::abs(py - y) <= 0.5 &&
                                      s.pixel(int(px), int(py)) == kPen);
            EXPECT_TRUE(found) << "no pixel within half a pixel of step " << i << " to (" << to.x << "," << to.y << ")";
        }
        EXPECT_NE(s.pixel(to.x, to.y), kPen) << "end point (" << to.x << "," << to.y << ") painted";
    }
}

TEST(PictureSurfaceLine, ClippedLinesPaintWhatTheyPaintOnALargerSurface) {
    const std::pair<Point, Point> cases[] = {
        {{-7, -3}, {25, 14}}, {{30, 2}, {-5, 9}}, {{4, -20}, {9, 40}}, {{-3, 12}, {12, -3}}};
    for (const auto& [from, to] : cases) {
        const PictureSurface small = drawn(16, 16, from, to);
        const PictureSurface big = drawn(100, 100, {from.x + 40, from.y + 40}, {to.x + 40, to.y + 40});
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(small.pixel(x, y), big.pixel(x + 40, y + 40)) << "at (" << x << "," << y << ")";
    }
}

// Far-away end points must neither hang nor write outside the surface (the
// sanitizer build sees a stray write); the clipped part keeps its place.
TEST(PictureSurfaceLine, ExtremeEndPointsStayBoundedAndInside) {
    PictureSurface s = drawn(8, 8, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX});
    s.moveTo(INT_MAX, 7 - INT_MAX); // x + y == 7 all along
    s.lineTo(7 - INT_MAX, INT_MAX);
    const PictureSurface shallow = drawn(8, 8, {-1000000, 3}, {1000000, 5});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(s.pixel(x, y) == kPen, x == y || x + y == 7) << "pixel (" << x << "," << y << ")";
            EXPECT_EQ(shallow.pixel(x, y) == kPen, y == 4) << "pixel (" << x << "," << y << ")";
        }
    PictureSurface empty;
    empty.moveTo(0, 0);
    empty.lineTo(5, 5);
    EXPECT_EQ(empty.penPosition(), (Point{5, 5}));
}

} // namespace
