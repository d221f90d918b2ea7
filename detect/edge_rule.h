// The edge rule and the overlay's colours, in one place.
//
// GradientY and GradientX weigh the 3 x 3 neighbourhood of the intensity
// grid with the two tables below, take |S| and divide it by kDivisor,
// rounding down; a pixel is an edge where their sum reaches kThreshold. The
// fast pass (edge_pass.h), which serves kThreshold, paints edge pixels
// kEdgeColour and the others kBackgroundColour; the per-pixel scan for any
// other threshold (edge_scan.h) paints edge pixels kEdgeColour and the others
// grey, the low 8 bits of their sum in all three bytes. The diagonals are
// drawn in kDiagonal13Colour (corner 1 to 3) and kDiagonal24Colour (corner 2
// to 4). Colours are 0x00BBGGRR, as Colour.
//
// The fast loops (edge_pass*.cpp) never divide: with the threshold at 1 the
// sum reaches it exactly when |S| >= kDivisor for one operator. They also
// never multiply by the weights: each table is a difference of whole rows or
// whole columns, so they add three bytes and subtract. They static_assert
// both against the rule here (kThreshold, IsRowDifference,
// IsColumnDifference).
#pragma once

// Plain arrays and <cstdint> only: the AVX2 translation unit includes this
// and must not instantiate any standard inline function.
#include <cstdint>

namespace quadfind::edge_rule {

// Weights of the nine neighbours, row-major from (x-1, y-1) to (x+1, y+1).
using Weights = int[9];

// GradientY: the row below minus the row above (horizontal edges).
inline constexpr Weights kBelowMinusAbove = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
// GradientX: the column on the left minus the column on the right.
inline constexpr Weights kLeftMinusRight = {1, 0, -1, 1, 0, -1, 1, 0, -1};
inline constexpr int kDivisor = 4;
// GradientY + GradientX >= kThreshold makes an edge.
inline constexpr int kThreshold = 1;

inline constexpr std::uint32_t kEdgeColour = 0xFF0000;       // blue
inline constexpr std::uint32_t kBackgroundColour = 0x000000; // black
inline constexpr std::uint32_t kDiagonal13Colour = 0x00FF00; // green
inline constexpr std::uint32_t kDiagonal24Colour = 0x0000FF; // red

// The largest value of one operator: |S| of its positive weights on 255 and
// its negative ones on 0, or the other way round, divided by kDivisor.
constexpr int LargestGradient(const Weights& w) {
    int positive = 0, negative = 0;
    for (int i = 0; i < 9; ++i)
        (w[i] > 0 ? positive : negative) += (w[i] > 0 ? w[i] : -w[i]) * 255;
    return (positive > negative ? positive : negative) / kDivisor;
}
// GradientY's largest value plus GradientX's: no sum exceeds it, so a
// larger threshold would find no edge. (No pixel reaches both at once.)
inline constexpr int kLargestSum = LargestGradient(kBelowMinusAbove) + LargestGradient(kLeftMinusRight);

// The blue byte of an edge pixel; its green and red bytes are 0.
inline constexpr std::uint8_t kEdgeBlue = std::uint8_t(kEdgeColour >> 16);

// The smallest |S| of one operator that makes an edge on its own, which is
// the whole rule while the threshold is 1.
inline constexpr int kEdgeMagnitude = kDivisor * kThreshold;

// True when the table is the bottom row minus the top row: what the fast loops
// compute as the difference of two three-pixel row sums.
constexpr bool IsRowDifference(const Weights& w) {
    for (int i = 0; i < 3; ++i)
        if (w[i] != -1 || w[3 + i] != 0 || w[6 + i] != 1)
            return false;
    return true;
}

// True when the table is the left column minus the right one: what the fast
// loops compute as three rows' (left - right) terms added up.
constexpr bool IsColumnDifference(const Weights& w) {
    for (std::size_t row = 0; row < 3; ++row)
        if (w[3 * row] != 1 || w[3 * row + 1] != 0 || w[3 * row + 2] != -1)
            return false;
    return true;
}

static_assert(kEdgeColour == 0xFF0000 && kBackgroundColour == 0,
              "the fast loops paint an edge as the bytes (255, 0, 0) and the rest as (0, 0, 0)");

} // namespace quadfind::edge_rule
