// The portable inner loops of the edge pass: plain C++ and SSE2, which every
// x86-64 processor has, that the compiler vectorises further where it can.
// The AVX2 loops beside them (edge_pass_avx2.cpp) compute the same.
#include "edge_pass_kernels.h"
#include "edge_rule.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quadfind::edgepass {
namespace {

static_assert(edge_rule::IsRowDifference(edge_rule::kBelowMinusAbove), "Sy is taken as sumBelow - sumAbove");
static_assert(edge_rule::IsColumnDifference(edge_rule::kLeftMinusRight), "Sx is taken as the sum of three diffs");
static_assert(edge_rule::kThreshold == 1,
              "an edge is taken as |Sy| or |Sx| reaching kEdgeMagnitude, which is the rule only at threshold 1");

// The portable scan keeps a row of flags and six rows of 16-bit terms.
static_assert(kScanScratchRows >= 1 + 6 * 2, "scratch too small for the portable scan");
static_assert(std::endian::native == std::endian::little, "the 8-pixel paint table assumes little-endian words");

// Byte triples for 8 pixels whose edge flags are the bits of the index,
// pixel 0 in bit 0: blue (255, 0, 0) or black.
using PaintRun = std::array<std::uint8_t, 24>;
constexpr std::array<PaintRun, 256> makePaintTable() {
    std::array<PaintRun, 256> t{};
    for (unsigned bits = 0; bits < 256; ++bits)
        for (unsigned i = 0; i < 8; ++i)
            t[bits][std::size_t(3) * i] = (bits >> i & 1) ? edge_rule::kEdgeBlue : 0;
    return t;
}
constexpr std::array<PaintRun, 256> kPaintTable = makePaintTable();

// Eight pixels from three 64-bit words: what the compiler makes of the plain
// stride-3 loop for SSE2 is more than twice as slow.
void extractBluePortable(const std::uint8_t* row, std::uint8_t* blue, std::int32_t width) {
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        std::uint64_t q0, q1, q2; // pixel bytes 0-7, 8-15, 16-23; blue at 0, 3, ..., 21
        const std::uint8_t* p = row + std::size_t(x) * 3;
        std::memcpy(&q0, p, 8);
        std::memcpy(&q1, p + 8, 8);
        std::memcpy(&q2, p + 16, 8);
        const std::uint64_t b = (q0 & 0xFF) | (q0 >> 16 & 0xFF00) | (q0 >> 32 & 0xFF0000) | (q1 << 16 & 0xFF000000) |
                                (q1 & 0xFF00000000) | (q1 >> 16 & 0xFF0000000000) | (q2 << 32 & 0xFF000000000000) |
                                (q2 << 16 & 0xFF00000000000000);
        std::memcpy(blue + x, &b, 8);
    }
    for (; x < width; ++x)
        blue[x] = row[std::size_t(x) * 3];
}

void fillTilePortable(const std::uint8_t* firstRow, std::size_t rowStride, std::int32_t width, std::int32_t* cells,
                      std::size_t columnStride) {
    std::int32_t x = 0;
#if defined(__SSE2__)
    // 16 x 16 bytes at a time: transpose in registers, widen, store each
    // column's 16 cells (one cache line when aligned) in four stores.
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= width; x += 16) {
        __m128i r[16], a[16], b[16], c[16];
        for (std::size_t i = 0; i < 16; ++i)
            r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(firstRow + i * rowStride + x));
        for (std::size_t i = 0; i < 8; ++i) {
            a[2 * i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
            a[2 * i + 1] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
        }
        for (std::size_t g = 0; g < 4; ++g) { // rows 4g .. 4g+3
            b[4 * g] = _mm_unpacklo_epi16(a[4 * g], a[4 * g + 2]);
            b[4 * g + 1] = _mm_unpackhi_epi16(a[4 * g], a[4 * g + 2]);
            b[4 * g + 2] = _mm_unpacklo_epi16(a[4 * g + 1], a[4 * g + 3]);
            b[4 * g + 3] = _mm_unpackhi_epi16(a[4 * g + 1], a[4 * g + 3]);
        }
        for (std::size_t h = 0; h < 2; ++h) // rows 8h .. 8h+7
            for (std::size_t k = 0; k < 4; ++k) {
                c[8 * h + 2 * k] = _mm_unpacklo_epi32(b[8 * h + k], b[8 * h + 4 + k]);
                c[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(b[8 * h + k], b[8 * h + 4 + k]);
            }
        for (std::size_t k = 0; k < 8; ++k) {
            const __m128i columns[2] = {_mm_unpacklo_epi64(c[k], c[k + 8]), _mm_unpackhi_epi64(c[k], c[k + 8])};
            for (std::size_t j = 0; j < 2; ++j) {
                const __m128i lo = _mm_unpacklo_epi8(columns[j], zero), hi = _mm_unpackhi_epi8(columns[j], zero);
                auto* out = reinterpret_cast<__m128i*>(cells + (std::size_t(x) + 2 * k + j) * columnStride);
                _mm_storeu_si128(out, _mm_unpacklo_epi16(lo, zero));
                _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(lo, zero));
                _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(hi, zero));
                _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(hi, zero));
            }
        }
    }
#endif
    for (; x < width; ++x) {
        std::int32_t* column = cells + std::size_t(x) * columnStride;
        for (int i = 0; i < kTileRows; ++i)
            column[i] = firstRow[std::size_t(i) * rowStride + std::size_t(x)];
    }
}

void rowTermsPortable(const std::uint8_t* blue, std::int16_t* sum, std::int16_t* diff, std::int32_t width) {
    for (std::int32_t x = 1; x < width - 1; ++x) {
        sum[x] = std::int16_t(blue[x - 1] + blue[x] + blue[x + 1]);
        diff[x] = std::int16_t(blue[x - 1] - blue[x + 1]);
    }
}

// One row from the horizontal terms of the rows above, here and below:
// Sy = sumBelow - sumAbove, Sx = diffAbove + diffHere + diffBelow.
RowEdges scanRowPortable(const std::int16_t* sumAbove, const std::int16_t* sumBelow, const std::int16_t* diffAbove,
                         const std::int16_t* diffHere, const std::int16_t* diffBelow, std::uint8_t* out,
                         std::int32_t width, std::uint8_t* edge) {
    // edge[i] is pixel i + 1. |S| >= kEdgeMagnitude for one operator is
    // exactly the edge rule, so neither the division nor the sum is needed;
    // shifting S by m - 1 turns |S| >= m into one unsigned comparison.
    constexpr unsigned kBelow = edge_rule::kEdgeMagnitude - 1;
    const std::int32_t n = width - 2;
    ++sumAbove, ++sumBelow, ++diffAbove, ++diffHere, ++diffBelow;
    for (std::int32_t i = 0; i < n; ++i) {
        const auto sy = std::uint16_t(sumBelow[i] - sumAbove[i] + int(kBelow));
        const auto sx = std::uint16_t(diffAbove[i] + diffHere[i] + diffBelow[i] + int(kBelow));
        edge[i] = std::uint8_t((sy > 2 * kBelow) | (sx > 2 * kBelow));
    }
    std::int32_t count = 0;
    std::uint8_t* p = out + 3;
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t flags; // eight bytes of 0 or 1
        std::memcpy(&flags, edge + i, 8);
        const unsigned bits = unsigned((flags * 0x0102040810204080ull) >> 56); // bit k = edge[i + k]
        count += std::int32_t((flags * 0x0101010101010101ull) >> 56);          // their sum
        std::memcpy(p + std::size_t(i) * 3, kPaintTable[bits].data(), 24);
    }
    for (; i < n; ++i) {
        p[std::size_t(i) * 3] = edge[i] ? edge_rule::kEdgeBlue : 0;
        p[std::size_t(i) * 3 + 1] = 0;
        p[std::size_t(i) * 3 + 2] = 0;
        count += edge[i];
    }

    RowEdges r{count, 0, 0};
    if (count > 0) {
        r.first = std::int32_t(std::find(edge, edge + n, 1) - edge) + 1;
        std::int32_t j = n - 1;
        while (edge[j] == 0)
            --j;
        r.last = j + 1;
    }
    return r;
}

// Each blue row's horizontal terms serve the three rows it neighbours; the
// scratch keeps those of the last three rows.
void scanRowsPortable(const StripInputs& in, RowEdges* edges) {
    const std::size_t stride = (std::size_t(in.width) + 63) / 64 * 64;
    std::uint8_t* const flags = in.scratch;
    auto* const terms = reinterpret_cast<std::int16_t*>(in.scratch + stride); // 3 rows of sums, 3 of diffs
    auto sums = [&](std::int32_t i) { return terms + std::size_t(i % 3) * stride; };
    auto diffs = [&](std::int32_t i) { return terms + std::size_t(3 + i % 3) * stride; };
    for (std::int32_t i = 0; i < 2; ++i)
        rowTermsPortable(in.blue[i], sums(i), diffs(i), in.width);
    for (std::int32_t r = 0; r < in.rows; ++r) {
        rowTermsPortable(in.blue[r + 2], sums(r + 2), diffs(r + 2), in.width);
        edges[r] =
            scanRowPortable(sums(r), sums(r + 2), diffs(r), diffs(r + 1), diffs(r + 2), in.out[r], in.width, flags);
    }
}

} // namespace

const Kernels kPortableKernels = {extractBluePortable, fillTilePortable, scanRowsPortable};

} // namespace quadfind::edgepass
