// The line drawer: one pixel per step of the longer axis, each within half a
// pixel of the ideal line, never the end point, clipped to the surface.
#include "picture_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

using quadfind::PictureSurface;
using quadfind::Point;

namespace {

constexpr quadfind::Colour kPen = 0x00FF00;

PictureSurface drawn(int w, int h, Point from, Point to, int shift = 0) {
    PictureSurface s(w, h);
    s.setPenColour(kPen);
    s.moveTo(from.x + shift, from.y + shift);
    s.lineTo(to.x + shift, to.y + shift);
    return s;
}

// Each line is drawn whole on a large surface, where it is judged, and on a
// 20 x 20 one, which must show exactly that part of it.
TEST(PictureSurfaceLine, OnePixelPerMajorStepWithinHalfAPixelWithoutTheEndPointClipped) {
    const std::pair<Point, Point> cases[] = {
        {{10, 10}, {17, 12}}, {{10, 10}, {12, 17}}, {{10, 10}, {8, 17}}, {{10, 10}, {3, 12}},  {{10, 10}, {3, 8}},
        {{10, 10}, {8, 3}},   {{10, 10}, {12, 3}},  {{10, 10}, {17, 8}}, {{10, 10}, {19, 10}}, {{10, 10}, {10, 1}},
        {{2, 2}, {7, 7}},     {{7, 2}, {2, 7}},     {{0, 0}, {19, 1}},   {{5, 5}, {6, 6}},     {{19, 0}, {0, 19}},
        {{4, 4}, {4, 4}},     {{-7, -3}, {25, 14}}, {{30, 2}, {-5, 9}},  {{4, -20}, {9, 40}},  {{-3, 12}, {12, -3}},
        {{10, -5}, {30, 40}}, {{-5, 10}, {40, 30}}};
    for (const auto& [from, to] : cases) {
        const std::string line = "line (" + std::to_string(from.x) + "," + std::to_string(from.y) + ")-(" +
                                 std::to_string(to.x) + "," + std::to_string(to.y) + ")";
        const PictureSurface big = drawn(100, 100, from, to, 40), small = drawn(20, 20, from, to);
        EXPECT_EQ(small.penPosition(), to) << line;
        const int dx = to.x - from.x, dy = to.y - from.y, steps = std::max(std::abs(dx), std::abs(dy));
        int painted = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                painted += big.pixel(x, y) == kPen;
                EXPECT_TRUE(x >= 20 || y >= 20 || small.pixel(x, y) == big.pixel(x + 40, y + 40))
                    << line << " clipped differently at (" << x << "," << y << ")";
            }
        EXPECT_EQ(painted, steps) << line;
        // Only the minor coordinate can fall halfway; either neighbour will do.
        for (int i = 0; i < steps; ++i) {
            const double x = 40 + from.x + double(dx) * i / steps, y = 40 + from.y + double(dy) * i / steps;
            EXPECT_TRUE(big.pixel(int(std::floor(x + 0.5)), int(std::floor(y + 0.5))) == kPen ||
                        big.pixel(int(std::ceil(x - 0.5)), int(std::ceil(y - 0.5))) == kPen)
                << line << ": nothing within half a pixel of step " << i;
        }
        EXPECT_NE(big.pixel(to.x + 40, to.y + 40), kPen) << line << ": end point painted";
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
