// AVX2 inner loops of the edge pass. This file alone is compiled with -mavx2
// and runs only after the processor has been checked (edge_pass.cpp). It
// includes no standard header whose inline functions could be instantiated
// here with AVX2 code and then shared with the rest of the program.
#include "edge_pass_kernels.h"
#include "edge_rule.h"

#include <immintrin.h>

namespace quadfind::edgepass {
namespace {

static_assert(edge_rule::IsRowDifference(edge_rule::kBelowMinusAbove), "Sy is taken as below.sum - above.sum");
static_assert(edge_rule::IsColumnDifference(edge_rule::kLeftMinusRight), "Sx is taken as the sum of three diffs");
static_assert(edge_rule::kThreshold == 1,
              "an edge is taken as |Sy| or |Sx| reaching kEdgeMagnitude, which is the rule only at threshold 1");

// 16 pixels (48 bytes) to their 16 blue bytes.
inline __m128i blueOf16(const std::uint8_t* p) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i s0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i s1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i s2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, s0), _mm_shuffle_epi8(v1, s1)), _mm_shuffle_epi8(v2, s2));
}

// 32 pixels (96 bytes): the first 16 pixels in the low lanes, the next 16 in
// the high ones, so the in-lane shuffles of blueOf16 serve both at once.
inline __m256i blueOf32(const std::uint8_t* p) {
    auto both = [&](int offset) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48 + offset)), 1);
    };
    const __m256i s0 = _mm256_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15,
                                        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i s1 = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                        -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m256i s2 = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1,
                                        -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(both(0), s0), _mm256_shuffle_epi8(both(16), s1)),
                           _mm256_shuffle_epi8(both(32), s2));
}

void extractBlueAvx2(const std::uint8_t* row, std::uint8_t* blue, std::int32_t width) {
    std::int32_t x = 0;
    for (; x + 32 <= width; x += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(blue + x), blueOf32(row + 3 * std::size_t(x)));
    for (; x + 16 <= width; x += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + x), blueOf16(row + 3 * std::size_t(x)));
    for (; x < width; ++x)
        blue[x] = row[3 * std::size_t(x)];
}

// Rows g .. g+7 of one tile and 16 columns from x: lane i of t[k] is the
// 32-bit word of row g+i that holds columns x+4k .. x+4k+3. Loading two rows
// into the halves of each register leaves only an in-lane 4 x 4 transpose.
inline void rowWords(const std::uint8_t* first, std::size_t rowStride, __m256i t[4]) {
    auto rows = [&](std::size_t i) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i * rowStride))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + (i + 4) * rowStride)), 1);
    };
    const __m256i l0 = rows(0), l1 = rows(1), l2 = rows(2), l3 = rows(3);
    const __m256i a0 = _mm256_unpacklo_epi32(l0, l1), a1 = _mm256_unpackhi_epi32(l0, l1);
    const __m256i a2 = _mm256_unpacklo_epi32(l2, l3), a3 = _mm256_unpackhi_epi32(l2, l3);
    t[0] = _mm256_unpacklo_epi64(a0, a2);
    t[1] = _mm256_unpackhi_epi64(a0, a2);
    t[2] = _mm256_unpacklo_epi64(a1, a3);
    t[3] = _mm256_unpackhi_epi64(a1, a3);
}

// Byte j of each 32-bit lane of t, zero-extended, gives eight cells of column
// j (at cells + j * columnStride). A mask, two byte shuffles and a shift: half
// the shuffles of a byte transpose followed by zero-extension, which kept the
// fill bound by the shuffle units rather than by its stores.
inline void storeColumns(std::int32_t* cells, std::size_t columnStride, __m256i t) {
    const __m256i byte1 = _mm256_setr_epi8(1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1, 1, -1, -1, -1,
                                           5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1);
    const __m256i byte2 = _mm256_setr_epi8(2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1, 2, -1, -1, -1,
                                           6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells), _mm256_and_si256(t, _mm256_set1_epi32(0xFF)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells + columnStride), _mm256_shuffle_epi8(t, byte1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells + 2 * columnStride), _mm256_shuffle_epi8(t, byte2));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells + 3 * columnStride), _mm256_srli_epi32(t, 24));
}

// 16 rows x 16 columns per step, each column's 16 cells (one cache line when
// aligned) from two stores.
void fillTileAvx2(const std::uint8_t* firstRow, std::size_t rowStride, std::int32_t width, std::int32_t* cells,
                  std::size_t columnStride) {
    std::int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m256i upper[4], lower[4]; // rows 0-7, rows 8-15
        rowWords(firstRow + x, rowStride, upper);
        rowWords(firstRow + 8 * rowStride + x, rowStride, lower);
        for (int k = 0; k < 4; ++k) {
            std::int32_t* column = cells + std::size_t(x + 4 * k) * columnStride;
            storeColumns(column, columnStride, upper[k]);
            storeColumns(column + 8, columnStride, lower[k]);
        }
    }
    for (; x < width; ++x) {
        std::int32_t* column = cells + std::size_t(x) * columnStride;
        for (int i = 0; i < kTileRows; ++i)
            column[i] = firstRow[std::size_t(i) * rowStride + std::size_t(x)];
    }
}

inline __m256i widen16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Horizontal terms of 16 pixels from x of one blue row: the sum of the pixel
// and its two neighbours, and left minus right.
struct Terms {
    __m256i sum, diff;
};
inline Terms termsOf(const std::uint8_t* blue, std::int32_t x) {
    const __m256i left = widen16(blue + x - 1), centre = widen16(blue + x), right = widen16(blue + x + 1);
    return {_mm256_add_epi16(_mm256_add_epi16(left, centre), right), _mm256_sub_epi16(left, right)};
}

// The terms of 32 pixels from x, widened by in-lane unpacking: `low` holds
// pixels 0-7 and 16-23, `high` 8-15 and 24-31, so that packing their edge
// masks back to bytes gives the pixels in order with no lane crossing, and
// each row takes three loads rather than six.
struct Terms32 {
    Terms low, high;
};
inline Terms32 terms32Of(const std::uint8_t* blue, std::int32_t x) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + x - 1));
    const __m256i centre = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + x));
    const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + x + 1));
    auto terms = [](__m256i l, __m256i c, __m256i r) {
        return Terms{_mm256_add_epi16(_mm256_add_epi16(l, c), r), _mm256_sub_epi16(l, r)};
    };
    auto low = [&](__m256i v) { return _mm256_unpacklo_epi8(v, zero); };
    auto high = [&](__m256i v) { return _mm256_unpackhi_epi8(v, zero); };
    return {terms(low(left), low(centre), low(right)), terms(high(left), high(centre), high(right))};
}

// Blue byte of each pixel from 16 flag bytes: 48 bytes of (flag, 0, 0).
inline void paint16(std::uint8_t* out, __m128i flags) {
    const __m128i p0 = _mm_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
    const __m128i p1 = _mm_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
    const __m128i p2 = _mm_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(flags, p0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_shuffle_epi8(flags, p1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_shuffle_epi8(flags, p2));
}

// Flags of 32 pixels (0 or 0xFF, pixel order) to 96 bytes of (flag, 0, 0):
// each 16-byte quarter of output draws on one 16-byte half of the flags.
inline void paint32(std::uint8_t* out, __m256i flags) {
    const __m128i p0 = _mm_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
    const __m128i p1 = _mm_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
    const __m128i p2 = _mm_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
    const __m256i low = _mm256_permute2x128_si256(flags, flags, 0x00);
    const __m256i high = _mm256_permute2x128_si256(flags, flags, 0x11);
    auto* o = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(o, _mm256_shuffle_epi8(low, _mm256_setr_m128i(p0, p1)));
    _mm256_storeu_si256(o + 1, _mm256_shuffle_epi8(flags, _mm256_setr_m128i(p2, p0)));
    _mm256_storeu_si256(o + 2, _mm256_shuffle_epi8(high, _mm256_setr_m128i(p1, p2)));
}

// 0xFFFF where |Sy| or |Sx| reaches kEdgeMagnitude, from the terms of three rows.
inline __m256i edgesOf(const Terms& above, const Terms& here, const Terms& below) {
    const __m256i sy = _mm256_sub_epi16(below.sum, above.sum);
    const __m256i sx = _mm256_add_epi16(_mm256_add_epi16(above.diff, here.diff), below.diff);
    return _mm256_cmpgt_epi16(_mm256_max_epi16(_mm256_abs_epi16(sy), _mm256_abs_epi16(sx)),
                              _mm256_set1_epi16(edge_rule::kEdgeMagnitude - 1));
}

// 0xFF where |Sy| or |Sx| reaches kEdgeMagnitude for the 32 pixels of a
// step, in pixel order. Packing with signed saturation keeps every |S| at or
// above it (beyond 127 it becomes 127 or -128), so the test runs on 32 bytes
// at once.
inline __m256i edges32Of(const Terms32& above, const Terms32& here, const Terms32& below) {
    auto sy = [](const Terms& a, const Terms& b) { return _mm256_sub_epi16(b.sum, a.sum); };
    auto sx = [](const Terms& a, const Terms& h, const Terms& b) {
        return _mm256_add_epi16(_mm256_add_epi16(a.diff, h.diff), b.diff);
    };
    const __m256i y = _mm256_packs_epi16(sy(above.low, below.low), sy(above.high, below.high));
    const __m256i x = _mm256_packs_epi16(sx(above.low, here.low, below.low), sx(above.high, here.high, below.high));
    // abs(-128) is 0x80, which is 128 as an unsigned byte.
    const __m256i m = _mm256_max_epu8(_mm256_abs_epi8(y), _mm256_abs_epi8(x));
    static_assert(edge_rule::kEdgeMagnitude <= 127, "the magnitude must survive packing to signed bytes");
    const __m256i magnitude = _mm256_set1_epi8(edge_rule::kEdgeMagnitude);
    return _mm256_cmpeq_epi8(_mm256_min_epu8(m, magnitude), magnitude);
}

// Down the strip 32 (then 16) columns at a time: each blue row's terms are
// computed once per column step and stay in registers for the three rows
// that use them.
void scanRowsAvx2(const StripInputs& in, RowEdges* edges) {
    const std::int32_t width = in.width, rows = in.rows;
    // The vector loop keeps each row's edge flags as a bitmap, pixel 1 in bit
    // 0, 16 bits a step; the tallies are read off it 64 pixels at a time.
    const std::int32_t interior = width - 2;
    const std::int32_t steps = width >= 18 ? interior / 16 : 0;
    // The pixels after the last whole step get one more 16-pixel step that
    // ends at the last interior pixel: the pixels it shares with the step
    // before are painted again with the same bytes, and only its new pixels
    // go into the bitmap, in the slot after the last step's.
    const bool closingStep = steps > 0 && interior % 16 != 0;
    const std::size_t slots = std::size_t(steps) + (closingStep ? 1 : 0);
    const std::size_t words = (slots + 3) / 4;
    auto* const bitmap = reinterpret_cast<std::uint16_t*>(in.scratch);
    for (std::int32_t i = 0; i < rows; ++i)
        for (std::size_t s = slots; s < 4 * words; ++s)
            bitmap[std::size_t(i) * 4 * words + s] = 0;
    std::int32_t x = 1, step = 0;
    // While the step's right neighbours lie in the row.
    for (; x + 32 <= width - 1; x += 32, step += 2) {
        Terms32 above = terms32Of(in.blue[0], x), here = terms32Of(in.blue[1], x);
        for (std::int32_t i = 0; i < rows; ++i) {
            const Terms32 below = terms32Of(in.blue[i + 2], x);
            const __m256i flags = edges32Of(above, here, below);
            paint32(in.out[i] + 3 * std::size_t(x), flags);
            const auto bits = std::uint32_t(_mm256_movemask_epi8(flags)); // two steps, little-endian
            __builtin_memcpy(bitmap + std::size_t(i) * 4 * words + std::size_t(step), &bits, sizeof bits);
            above = here;
            here = below;
        }
    }
    // One 16-pixel step from x, its bitmap bits from pixel x + skip on.
    auto step16 = [&](std::int32_t from, int skip) {
        Terms above = termsOf(in.blue[0], from), here = termsOf(in.blue[1], from);
        for (std::int32_t i = 0; i < rows; ++i) {
            const Terms below = termsOf(in.blue[i + 2], from);
            const __m256i edge = edgesOf(above, here, below);
            const __m128i flags = _mm_packs_epi16(_mm256_castsi256_si128(edge), _mm256_extracti128_si256(edge, 1));
            paint16(in.out[i] + 3 * std::size_t(from), flags);
            bitmap[std::size_t(i) * 4 * words + std::size_t(step)] =
                std::uint16_t(unsigned(_mm_movemask_epi8(flags)) >> skip);
            above = here;
            here = below;
        }
    };
    for (; x + 16 <= width - 1; x += 16, ++step)
        step16(x, 0);
    if (closingStep) {
        const std::int32_t from = width - 17;
        step16(from, x - from);
        x = width - 1;
    }
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::uint16_t* row = bitmap + std::size_t(i) * 4 * words;
        auto word = [&](std::size_t k) { // little-endian: pixel order is bit order
            std::uint64_t w;
            __builtin_memcpy(&w, row + 4 * k, sizeof w);
            return w;
        };
        RowEdges& e = edges[i];
        e = {0, -1, 0};
        for (std::size_t k = 0; k < words; ++k)
            e.count += std::int32_t(_mm_popcnt_u64(word(k)));
        if (e.count > 0) {
            std::size_t k = 0;
            while (word(k) == 0)
                ++k;
            e.first = 1 + 64 * std::int32_t(k) + __builtin_ctzll(word(k));
            k = words - 1;
            while (word(k) == 0)
                --k;
            e.last = 1 + 64 * std::int32_t(k) + 63 - __builtin_clzll(word(k));
        }
    }
    // Rows narrower than one step, one pixel at a time.
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::uint8_t *a = in.blue[i], *b = in.blue[i + 1], *c = in.blue[i + 2];
        RowEdges& e = edges[i];
        for (std::int32_t t = x; t <= width - 2; ++t) {
            const int sy = (c[t - 1] + c[t] + c[t + 1]) - (a[t - 1] + a[t] + a[t + 1]);
            const int sx = (a[t - 1] + b[t - 1] + c[t - 1]) - (a[t + 1] + b[t + 1] + c[t + 1]);
            constexpr unsigned kBelow = edge_rule::kEdgeMagnitude - 1;
            const bool edge = unsigned(sy + int(kBelow)) > 2 * kBelow || unsigned(sx + int(kBelow)) > 2 * kBelow;
            std::uint8_t* p = in.out[i] + 3 * std::size_t(t);
            p[0] = edge ? edge_rule::kEdgeBlue : 0;
            p[1] = 0;
            p[2] = 0;
            if (edge) {
                if (e.first < 0)
                    e.first = t;
                e.last = t;
                ++e.count;
            }
        }
    }
}

} // namespace

const Kernels kAvx2Kernels = {extractBlueAvx2, fillTileAvx2, scanRowsAvx2};

} // namespace quadfind::edgepass
