#include "picture_surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

using quadfind::Colour;
using quadfind::PictureSurface;
using quadfind::Point;

namespace {

constexpr Colour kPen = 0x00FF00;

std::vector<Point> paintedPixels(const PictureSurface& s) {
    std::vector<Point> out;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.pixel(x, y) == kPen)
                out.push_back({x, y});
    return out;
}

// Distance from (px, py) to the infinite line through a and b, measured
// along the minor axis, which is what "within half a pixel" means for a line
// drawn one pixel per step of its longer axis.
double minorAxisError(Point a, Point b, Point p) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    if (std::abs(dx) >= std::abs(dy))
        return std::abs(a.y + dy * (p.x - a.x) / dx - p.y);
    return std::abs(a.x + dx * (p.y - a.y) / dy - p.x);
}

} // namespace

TEST(PictureSurface, RowLayoutIsBlueGreenRedTopRowFirst) {
    PictureSurface s(4, 3);
    s.setPixel(2, 1, 0x00332211); // red 0x11, green 0x22, blue 0x33
    const std::uint8_t* row = s.row(1);
    EXPECT_EQ(row[6], 0x33);
    EXPECT_EQ(row[7], 0x22);
    EXPECT_EQ(row[8], 0x11);
    EXPECT_EQ(s.row(1) - s.row(0), 12);
    EXPECT_EQ(s.pixel(2, 1), 0x00332211u);
}

TEST(PictureSurface, CopiesAreIndependent) {
    PictureSurface a(3, 3);
    a.setPixel(1, 1, 0xFFFFFF);
    PictureSurface b = a;
    b.setPixel(1, 1, 0x0000FF);
    EXPECT_EQ(a.pixel(1, 1), 0xFFFFFFu);
    PictureSurface c(1, 1);
    c = a;
    a.setPixel(0, 0, 0x123456);
    EXPECT_EQ(c.pixel(0, 0), 0u);
    EXPECT_EQ(c.width(), 3);
}

TEST(PictureSurface, EmptyAndInvalidSizes) {
    EXPECT_TRUE(PictureSurface().empty());
    EXPECT_TRUE(PictureSurface(0, 5).empty());
    EXPECT_TRUE(PictureSurface(5, 0).empty());
    EXPECT_FALSE(PictureSurface(1, 1).empty());
    EXPECT_THROW(PictureSurface(-1, 2), std::invalid_argument);
}

struct LineCase {
    Point from, to;
    friend void PrintTo(const LineCase& c, std::ostream* os) {
        *os << "(" << c.from.x << "," << c.from.y << ")->(" << c.to.x << "," << c.to.y << ")";
    }
};

class LineOctants : public ::testing::TestWithParam<LineCase> {};

// Every octant, both axes, the diagonals and the degenerate cases.
INSTANTIATE_TEST_SUITE_P(AllDirections, LineOctants,
                         ::testing::Values(LineCase{{10, 10}, {17, 12}}, LineCase{{10, 10}, {12, 17}},
                                           LineCase{{10, 10}, {8, 17}}, LineCase{{10, 10}, {3, 12}},
                                           LineCase{{10, 10}, {3, 8}}, LineCase{{10, 10}, {8, 3}},
                                           LineCase{{10, 10}, {12, 3}}, LineCase{{10, 10}, {17, 8}},
                                           LineCase{{10, 10}, {19, 10}}, LineCase{{10, 10}, {10, 1}},
                                           LineCase{{2, 2}, {7, 7}}, LineCase{{7, 2}, {2, 7}},
                                           LineCase{{0, 0}, {19, 1}}, LineCase{{5, 5}, {6, 6}},
                                           LineCase{{19, 0}, {0, 19}}, LineCase{{4, 4}, {4, 4}}));

TEST_P(LineOctants, PaintsOnePixelPerMajorStepNearTheLineExcludingTheEnd) {
    const LineCase c = GetParam();
    PictureSurface s(20, 20);
    s.setPenColour(kPen);
    s.moveTo(c.from.x, c.from.y);
    s.lineTo(c.to.x, c.to.y);

    EXPECT_EQ(s.penPosition(), c.to);
    const std::vector<Point> painted = paintedPixels(s);
    const int steps = std::max(std::abs(c.to.x - c.from.x), std::abs(c.to.y - c.from.y));
    ASSERT_EQ(int(painted.size()), steps);
    EXPECT_NE(s.pixel(c.to.x, c.to.y), kPen) << "end point painted";
    if (steps > 0) {
        EXPECT_EQ(s.pixel(c.from.x, c.from.y), kPen) << "start point not painted";
    }
    for (const Point p : painted) {
        EXPECT_LE(minorAxisError(c.from, c.to, p), 0.5) << "pixel (" << p.x << "," << p.y << ") off the line";
        const bool withinBox = std::min(c.from.x, c.to.x) <= p.x && p.x <= std::max(c.from.x, c.to.x) &&
                               std::min(c.from.y, c.to.y) <= p.y && p.y <= std::max(c.from.y, c.to.y);
        EXPECT_TRUE(withinBox) << "pixel (" << p.x << "," << p.y << ") outside the line's box";
    }
    // 8-connected: every painted pixel but the start has a painted neighbour.
    for (const Point p : painted) {
        if (p == c.from)
            continue;
        bool touches = false;
        for (const Point q : painted)
            touches |= !(p == q) && std::abs(p.x - q.x) <= 1 && std::abs(p.y - q.y) <= 1;
        EXPECT_TRUE(touches) << "pixel (" << p.x << "," << p.y << ") is isolated";
    }
}

TEST(PictureSurfaceLine, ClippedLineMatchesTheSameLineOnALargerSurface) {
    // A line drawn partly off a small surface paints exactly the pixels the
    // same line paints, shifted, on a surface large enough to hold it.
    const LineCase cases[] = {{{-7, -3}, {25, 14}}, {{30, 2}, {-5, 9}}, {{4, -20}, {9, 40}}, {{-3, 12}, {12, -3}}};
    for (const LineCase c : cases) {
        PictureSurface small(16, 16), big(100, 100);
        small.setPenColour(kPen);
        big.setPenColour(kPen);
        small.moveTo(c.from.x, c.from.y);
        small.lineTo(c.to.x, c.to.y);
        big.moveTo(c.from.x + 40, c.from.y + 40);
        big.lineTo(c.to.x + 40, c.to.y + 40);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(small.pixel(x, y), big.pixel(x + 40, y + 40)) << "at (" << x << "," << y << ")";
    }
}

TEST(PictureSurfaceLine, ExtremeEndPointsStayBoundedAndInside) {
    // Coordinates far outside the surface must neither hang nor write outside
    // it; with sanitizers on, a stray write fails here.
    PictureSurface s(8, 8);
    s.setPenColour(kPen);
    s.moveTo(INT_MIN, INT_MIN);
    s.lineTo(INT_MAX, INT_MAX);
    s.moveTo(INT_MAX, 7 - INT_MAX); // x + y == 7 all along
    s.lineTo(7 - INT_MAX, INT_MAX);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(s.pixel(i, i), kPen) << "main diagonal pixel " << i;
        EXPECT_EQ(s.pixel(7 - i, i), kPen) << "anti-diagonal pixel " << i;
    }
    // Clipped far from its start, a shallow line still lands on the nearest row.
    PictureSurface shallow(8, 8);
    shallow.setPenColour(kPen);
    shallow.moveTo(-1000000, 3);
    shallow.lineTo(1000000, 5);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(shallow.pixel(x, y) == kPen, y == 4) << "pixel (" << x << "," << y << ")";

    PictureSurface empty;
    empty.moveTo(0, 0);
    empty.lineTo(5, 5); // nothing to paint, must not touch memory
    EXPECT_EQ(empty.penPosition(), (Point{5, 5}));
}
