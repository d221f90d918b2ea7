#include "edge_pass.h"

#include "edge_pass_kernels.h"
#include "intensity_grid.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quadfind {
namespace edgepass {
namespace {

static_assert(std::endian::native == std::endian::little, "the 8-pixel paint table assumes little-endian words");

// Byte triples for 8 pixels whose edge flags are the bits of the index,
// pixel 0 in bit 0: blue (255, 0, 0) or black.
using PaintRun = std::array<std::uint8_t, 24>;
constexpr std::array<PaintRun, 256> makePaintTable() {
    std::array<PaintRun, 256> t{};
    for (unsigned bits = 0; bits < 256; ++bits)
        for (unsigned i = 0; i < 8; ++i)
            t[bits][3 * i] = (bits >> i & 1) ? 255 : 0;
    return t;
}
constexpr std::array<PaintRun, 256> kPaintTable = makePaintTable();

void extractBluePortable(const std::uint8_t* row, std::uint8_t* blue, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x)
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
        for (int i = 0; i < 16; ++i)
            r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(firstRow + std::size_t(i) * rowStride + x));
        for (int i = 0; i < 8; ++i) {
            a[2 * i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
            a[2 * i + 1] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
        }
        for (int g = 0; g < 4; ++g) { // rows 4g .. 4g+3
            b[4 * g] = _mm_unpacklo_epi16(a[4 * g], a[4 * g + 2]);
            b[4 * g + 1] = _mm_unpackhi_epi16(a[4 * g], a[4 * g + 2]);
            b[4 * g + 2] = _mm_unpacklo_epi16(a[4 * g + 1], a[4 * g + 3]);
            b[4 * g + 3] = _mm_unpackhi_epi16(a[4 * g + 1], a[4 * g + 3]);
        }
        for (int h = 0; h < 2; ++h) // rows 8h .. 8h+7
            for (int k = 0; k < 4; ++k) {
                c[8 * h + 2 * k] = _mm_unpacklo_epi32(b[8 * h + k], b[8 * h + 4 + k]);
                c[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(b[8 * h + k], b[8 * h + 4 + k]);
            }
        for (int k = 0; k < 8; ++k) {
            const __m128i columns[2] = {_mm_unpacklo_epi64(c[k], c[k + 8]), _mm_unpackhi_epi64(c[k], c[k + 8])};
            for (int j = 0; j < 2; ++j) {
                const __m128i lo = _mm_unpacklo_epi8(columns[j], zero), hi = _mm_unpackhi_epi8(columns[j], zero);
                auto* out = reinterpret_cast<__m128i*>(cells + std::size_t(x + 2 * k + j) * columnStride);
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

RowEdges scanRowPortable(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint8_t* out,
                         std::int32_t width, std::uint8_t* edge) {
    // edge[i] is pixel i + 1. |S| >= 4 for one operator is exactly
    // GradientY + GradientX >= 1, so neither the division nor the sum is needed.
    const std::int32_t n = width - 2;
    for (std::int32_t i = 0; i < n; ++i) {
        const int sy = (c[i] + c[i + 1] + c[i + 2]) - (a[i] + a[i + 1] + a[i + 2]);
        const int sx = (a[i] + b[i] + c[i]) - (a[i + 2] + b[i + 2] + c[i + 2]);
        edge[i] = std::uint8_t((unsigned(sy + 3) > 6u) | (unsigned(sx + 3) > 6u));
    }
    std::int32_t count = 0;
    for (std::int32_t i = 0; i < n; ++i)
        count += edge[i];

    std::uint8_t* p = out + 3;
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t flags;
        std::memcpy(&flags, edge + i, 8);
        const unsigned bits = unsigned((flags * 0x0102040810204080ull) >> 56); // bit k = edge[i + k]
        std::memcpy(p + std::size_t(i) * 3, kPaintTable[bits].data(), 24);
    }
    for (; i < n; ++i) {
        p[std::size_t(i) * 3] = std::uint8_t(-edge[i]);
        p[std::size_t(i) * 3 + 1] = 0;
        p[std::size_t(i) * 3 + 2] = 0;
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

// Blue rows of the last 32 picture rows (enough for a tile of 16 and the two
// rows above it), then one row of per-pixel flags for the portable kernel.
struct Scratch {
    static constexpr int kRingRows = 32;
    std::vector<std::uint8_t> bytes;
    std::size_t rowStride = 0;
    std::uint8_t* blueRow(std::int32_t y) { return bytes.data() + std::size_t(y & (kRingRows - 1)) * rowStride; }
    std::uint8_t* flags() { return bytes.data() + std::size_t(kRingRows) * rowStride; }

    void prepare(std::int32_t width) {
        const std::size_t stride = (std::size_t(width) + 63) / 64 * 64;
        if (stride > rowStride) {
            bytes.assign(stride * (kRingRows + 1), 0);
            rowStride = stride;
        }
    }
};
Scratch scratch;

} // namespace

const Kernels kPortableKernels = {extractBluePortable, fillTilePortable, scanRowPortable};

} // namespace edgepass

namespace {

#if defined(QUADFIND_HAVE_AVX2_KERNEL)
bool processorHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
#endif

const edgepass::Kernels& kernelsFor(EdgePassKernel kernel) {
    if (!EdgePassKernelAvailable(kernel))
        throw std::invalid_argument("edge pass kernel not available on this processor");
#if defined(QUADFIND_HAVE_AVX2_KERNEL)
    if (kernel == EdgePassKernel::Avx2)
        return edgepass::kAvx2Kernels;
#endif
    return edgepass::kPortableKernels;
}

} // namespace

bool EdgePassKernelAvailable(EdgePassKernel kernel) {
    switch (kernel) {
    case EdgePassKernel::Portable:
        return true;
    case EdgePassKernel::Avx2: {
#if defined(QUADFIND_HAVE_AVX2_KERNEL)
        static const bool has = processorHasAvx2();
        return has;
#else
        return false;
#endif
    }
    }
    return false;
}

EdgePassKernel BestEdgePassKernel() {
    static const EdgePassKernel best =
        EdgePassKernelAvailable(EdgePassKernel::Avx2) ? EdgePassKernel::Avx2 : EdgePassKernel::Portable;
    return best;
}

EdgeScanResult CaptureAndScan(const PictureSurface& picture, PictureSurface& working) {
    return CaptureAndScan(picture, working, BestEdgePassKernel());
}

EdgeScanResult CaptureAndScan(const PictureSurface& picture, PictureSurface& working, EdgePassKernel kernel) {
    using namespace edgepass;
    const std::int32_t w = picture.width(), h = picture.height();
    if (working.width() != w || working.height() != h)
        throw std::invalid_argument("the working copy must have the picture's size");
    const Kernels& k = kernelsFor(kernel);
    EdgeScanResult r;
    if (w < 3 || h < 3) { // no interior: the copy and the grid are all there is
        for (std::int32_t y = 0; y < h; ++y)
            std::memcpy(working.row(y), picture.row(y), picture.rowBytes());
        Capture(picture);
        return r;
    }

    IntensityGrid.prepare(w, h);
    scratch.prepare(w);
    const std::size_t columnStride = IntensityGrid.columnStride();
    std::int32_t* const cells = IntensityGrid.column(0);
    const std::size_t lastPixel = std::size_t(w - 1) * PictureSurface::kBytesPerPixel;

    for (std::int32_t y0 = 0; y0 < h; y0 += kTileRows) {
        const std::int32_t rows = std::min(kTileRows, h - y0);
        for (std::int32_t y = y0; y < y0 + rows; ++y)
            k.extractBlue(picture.row(y), scratch.blueRow(y), w);
        if (rows == kTileRows) {
            k.fillTile(scratch.blueRow(y0), scratch.rowStride, w, cells + y0, columnStride);
        } else {
            for (std::int32_t y = y0; y < y0 + rows; ++y) {
                const std::uint8_t* blue = scratch.blueRow(y);
                for (std::int32_t x = 0; x < w; ++x)
                    cells[std::size_t(x) * columnStride + std::size_t(y)] = blue[x];
            }
        }
        // Every row whose lower neighbour is now captured.
        const std::int32_t last = std::min(h - 2, y0 + rows - 2);
        for (std::int32_t y = std::max(1, y0 - 1); y <= last; ++y) {
            const std::uint8_t* src = picture.row(y);
            std::uint8_t* out = working.row(y);
            std::memcpy(out, src, PictureSurface::kBytesPerPixel);
            std::memcpy(out + lastPixel, src + lastPixel, PictureSurface::kBytesPerPixel);
            const RowEdges e =
                k.scanRow(scratch.blueRow(y - 1), scratch.blueRow(y), scratch.blueRow(y + 1), out, w, scratch.flags());
            if (e.count > 0) {
                if (r.EdgeCount == 0)
                    r.FirstEdge = {e.first, y};
                r.LastEdge = {e.last, y};
                r.EdgeCount += e.count;
            }
        }
    }
    std::memcpy(working.row(0), picture.row(0), picture.rowBytes());
    std::memcpy(working.row(h - 1), picture.row(h - 1), picture.rowBytes());
    r.ScanEnd = {w - 2, h - 2};
    return r;
}

} // namespace quadfind
