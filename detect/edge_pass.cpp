#include "edge_pass.h"

#include "edge_pass_kernels.h"
#include "intensity_grid.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <semaphore>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quadfind {
namespace edgepass {
namespace {

// Writes n cells (or bytes) to dst with non-temporal stores for every whole
// cache line, so that those lines are neither read first nor kept in the
// cache; the partial lines at either end get ordinary stores.
template <typename T>
void streamOut(const T* src, T* dst, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    constexpr std::size_t kLine = 64 / sizeof(T);
    const std::size_t head = ((64 - reinterpret_cast<std::uintptr_t>(dst) % 64) % 64) / sizeof(T);
    if (head + kLine <= n) {
        for (; i < head; ++i)
            dst[i] = src[i];
        for (; i + kLine <= n; i += kLine)
            for (std::size_t q = 0; q < kLine; q += 16 / sizeof(T))
                _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + q),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + q)));
    }
#endif
    for (; i < n; ++i)
        dst[i] = src[i];
}

void streamFence() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// Blue rows of the last picture rows (a ring of 32 rows holds a tile of 16
// and the two rows above it; for streaming writes, a tile of 64 and the 16
// rows above it), the scan kernel's own scratch, and for streaming writes the
// staging areas they are copied out of.
struct Scratch {
    std::vector<std::uint8_t> bytes;
    std::size_t blueRowBytes = 0; // bytes per blue row
    std::int32_t ringMask = 0;
    std::uint8_t* ring = nullptr;
    std::uint8_t* kernel = nullptr;
    std::int32_t* tileCells = nullptr; // 32 columns of a 64-row tile and the 16 rows above it
    std::uint8_t* rows = nullptr;      // kStreamScanRows rows of the working copy
    std::size_t stagedRowBytes = 0;

    std::uint8_t* blueRow(std::int32_t y) { return ring + std::size_t(y & ringMask) * blueRowBytes; }

    void prepare(std::int32_t width, bool streaming) {
        const std::size_t stride = (std::size_t(width) + 63) / 64 * 64;
        const std::size_t outStride = (std::size_t(width) * PictureSurface::kBytesPerPixel + 63) / 64 * 64;
        const int ringRows = streaming ? int(std::bit_ceil(kStagedRows)) : 32;
        const std::size_t need =
            stride * std::size_t(ringRows + kScanScratchRows) +
            (streaming ? kTileColumns * kStagedRows * sizeof(std::int32_t) + outStride * kStreamScanRows : 0) + 64;
        if (bytes.size() < need)
            bytes.assign(need, 0);
        auto* base = bytes.data() + (64 - reinterpret_cast<std::uintptr_t>(bytes.data()) % 64) % 64;
        blueRowBytes = stride;
        ringMask = ringRows - 1;
        ring = base;
        kernel = ring + stride * std::size_t(ringRows);
        tileCells = reinterpret_cast<std::int32_t*>(kernel + stride * kScanScratchRows);
        rows = reinterpret_cast<std::uint8_t*>(tileCells + kTileColumns * kStagedRows);
        stagedRowBytes = outStride;
    }

    static constexpr std::size_t kTileColumns = 32;
    static constexpr std::int32_t kStreamTileRows = 64;
    static constexpr std::size_t kStagedRows = kStreamTileRows + kTileRows;
    static constexpr std::int32_t kStreamScanRows = 4;
};
} // namespace

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
    case EdgePassKernel::Portable: return true;
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

EdgePassStores DefaultEdgePassStores(std::int32_t width, std::int32_t height) {
    // Grid, picture and working copy take 10 bytes a pixel; from a few
    // megapixels on they no longer fit a desktop processor's last-level cache.
    constexpr std::uint64_t kStreamingPixels = std::uint64_t(1) << 21;
    return std::uint64_t(std::max(width, 0)) * std::uint64_t(std::max(height, 0)) > kStreamingPixels
               ? EdgePassStores::Streaming
               : EdgePassStores::Cached;
}

EdgePassThreads DefaultEdgePassThreads(std::int32_t width, std::int32_t height) {
    // A second core pays where the pass waits on memory: the pictures that
    // stream. Below that one core keeps up with the caches.
    static const bool twoCores = std::thread::hardware_concurrency() >= 2;
    return twoCores && DefaultEdgePassStores(width, height) == EdgePassStores::Streaming ? EdgePassThreads::Two
                                                                                         : EdgePassThreads::One;
}

namespace {

// What every band of one pass shares.
struct Pass {
    const PictureSurface& picture;
    PictureSurface& working;
    const edgepass::Kernels& k;
    bool streaming;
    std::int32_t w, h;
    std::size_t columnStride;
    std::int32_t* cells;
    std::size_t rowBytes;
    std::size_t lastPixel;
    // Tiles of 16 rows through the cache, or of 64 rows staged and streamed
    // out, so that most of each column's 256 bytes are whole lines.
    std::int32_t tileRows, scanRows;
};

void fill(const Pass& p, edgepass::Scratch& scratch, std::int32_t y0, std::int32_t rows) {
    using namespace edgepass;
    const auto& k = p.k;
    if (p.streaming) {
        // A column's cells are rarely line-aligned at y0 (its stride is the
        // picture's height), so each column's run is shifted back to the line
        // boundary at or before y0 and ends at the one before the tile's end:
        // whole lines only, none of them read first. The rows above y0 that
        // this needs are staged again from the ring.
        constexpr std::int32_t kLead = kTileRows;
        constexpr std::size_t kStaged = Scratch::kStagedRows;
        const std::int32_t from = y0 == 0 ? 0 : y0 - kLead;
        const bool lastTile = y0 + rows == p.h;
        for (std::int32_t x = 0; x < p.w; x += std::int32_t(Scratch::kTileColumns)) {
            const std::int32_t n = std::min(std::int32_t(Scratch::kTileColumns), p.w - x);
            for (std::int32_t g = from; g < y0 + rows; g += kTileRows)
                k.fillTile(scratch.blueRow(g) + x, scratch.blueRowBytes, n, scratch.tileCells + (g - y0 + kLead),
                           kStaged);
            for (std::int32_t j = 0; j < n; ++j) {
                std::int32_t* column = p.cells + std::size_t(x + j) * p.columnStride;
                const auto behind =
                    std::int32_t(reinterpret_cast<std::uintptr_t>(column + y0) % 64 / sizeof(std::int32_t));
                const std::int32_t lo = y0 == 0 ? 0 : y0 - behind;
                const std::int32_t hi = lastTile ? p.h : y0 + rows - behind;
                streamOut(scratch.tileCells + std::size_t(j) * kStaged + std::size_t(lo - y0 + kLead), column + lo,
                          std::size_t(hi - lo));
            }
        }
        return;
    }
    std::int32_t y = y0;
    for (; y + kTileRows <= y0 + rows; y += kTileRows)
        k.fillTile(scratch.blueRow(y), scratch.blueRowBytes, p.w, p.cells + y, p.columnStride);
    if (y == y0 + rows)
        return;
    // The last rows of a picture whose height is not a multiple of 16: a
    // column at a time, so that each column's line is written once.
    const std::uint8_t* blue[kTileRows];
    const std::int32_t left = y0 + rows - y;
    for (std::int32_t i = 0; i < left; ++i)
        blue[i] = scratch.blueRow(y + i);
    for (std::int32_t x = 0; x < p.w; ++x) {
        std::int32_t* column = p.cells + std::size_t(x) * p.columnStride + std::size_t(y);
        for (std::int32_t i = 0; i < left; ++i)
            column[i] = blue[i][x];
    }
}

void scan(const Pass& p, edgepass::Scratch& scratch, EdgeScanResult& r, std::int32_t first, std::int32_t rows) {
    using namespace edgepass;
    const std::uint8_t* blue[kTileRows + 2];
    std::uint8_t* out[kTileRows];
    RowEdges edges[kTileRows];
    const StripInputs strip{blue, out, rows, p.w, scratch.kernel};
    for (std::int32_t i = 0; i < rows + 2; ++i)
        blue[i] = scratch.blueRow(first - 1 + i);
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::uint8_t* src = p.picture.row(first + i);
        out[i] = p.streaming ? scratch.rows + std::size_t(i) * scratch.stagedRowBytes : p.working.row(first + i);
        std::memcpy(out[i], src, PictureSurface::kBytesPerPixel);
        std::memcpy(out[i] + p.lastPixel, src + p.lastPixel, PictureSurface::kBytesPerPixel);
    }
    p.k.scanRows(strip, edges);
    for (std::int32_t i = 0; i < rows; ++i) {
        if (p.streaming)
            streamOut(out[i], p.working.row(first + i), p.rowBytes);
        if (edges[i].count == 0)
            continue;
        if (r.EdgeCount == 0)
            r.FirstEdge = {edges[i].first, first + i};
        r.LastEdge = {edges[i].last, first + i};
        r.EdgeCount += edges[i].count;
    }
}

// Grid cells of rows [begin, end) and the working copy's interior rows among
// them, with their tallies. `begin` is 0 or a multiple of the tile height.
EdgeScanResult runBand(const Pass& p, edgepass::Scratch& scratch, std::int32_t begin, std::int32_t end) {
    using namespace edgepass;
    EdgeScanResult r;
    // Another band fills the rows above; this one needs them in its own ring
    // for the scan of its first row and for the streamed runs shifted back.
    for (std::int32_t y = std::max(0, begin - kTileRows); y < begin; ++y)
        p.k.extractBlue(p.picture.row(y), scratch.blueRow(y), p.w);
    for (std::int32_t y0 = begin; y0 < end; y0 += p.tileRows) {
        const std::int32_t rows = std::min(p.tileRows, end - y0);
        for (std::int32_t y = y0; y < y0 + rows; ++y)
            p.k.extractBlue(p.picture.row(y), scratch.blueRow(y), p.w);
        fill(p, scratch, y0, rows);
        // Every row whose lower neighbour is now captured, in raster order.
        const std::int32_t last = std::min(p.h - 2, y0 + rows - 2);
        for (std::int32_t y = std::max(1, y0 - 1); y <= last; y += p.scanRows)
            scan(p, scratch, r, y, std::min(p.scanRows, last - y + 1));
    }
    if (p.streaming)
        streamFence(); // the streamed lines are ordered before the band is reported done
    return r;
}

// The second thread of a two-band pass: started once, then woken per pass.
class BandHelper {
public:
    BandHelper() : thread_([this] { loop(); }) {}
    BandHelper(const BandHelper&) = delete;
    BandHelper& operator=(const BandHelper&) = delete;
    ~BandHelper() {
        quit_ = true;
        go_.release();
        thread_.join();
    }

    void start(const Pass& p, edgepass::Scratch& scratch, std::int32_t begin, std::int32_t end) {
        job_ = Job{&p, &scratch, begin, end};
        go_.release();
    }
    EdgeScanResult wait() {
        done_.acquire();
        return result_;
    }

private:
    struct Job {
        const Pass* pass;
        edgepass::Scratch* scratch;
        std::int32_t begin, end;
    };
    void loop() {
        for (;;) {
            go_.acquire();
            if (quit_)
                return;
            result_ = runBand(*job_.pass, *job_.scratch, job_.begin, job_.end);
            done_.release();
        }
    }

    std::binary_semaphore go_{0}, done_{0};
    bool quit_ = false; // published by go_
    Job job_{};
    EdgeScanResult result_;
    std::thread thread_; // last: starts once the rest exists
};

// Raster order across the bands: the first band's first edge, the second's last.
EdgeScanResult joinBands(const EdgeScanResult& upper, const EdgeScanResult& lower) {
    if (upper.EdgeCount == 0)
        return lower;
    if (lower.EdgeCount == 0)
        return upper;
    EdgeScanResult r = upper;
    r.LastEdge = lower.LastEdge;
    r.EdgeCount += lower.EdgeCount;
    return r;
}

} // namespace

struct EdgePassWorkspace::Parts {
    edgepass::Scratch band[2];
    std::unique_ptr<BandHelper> helper;
    bool noHelper = false; // a thread could not be started: one band from then on

    // Null when no thread can be started; the pass then runs in one band.
    BandHelper* bandHelper() {
        if (!helper && !noHelper) {
            try {
                helper = std::make_unique<BandHelper>();
            } catch (const std::system_error&) {
                noHelper = true;
            }
        }
        return helper.get();
    }
};

EdgePassWorkspace::EdgePassWorkspace() : parts_(std::make_unique<Parts>()) {}
EdgePassWorkspace::~EdgePassWorkspace() = default;

EdgeScanResult CaptureAndScan(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                              IntensityGridStore& grid, const EdgePassOptions& options) {
    using namespace edgepass;
    const std::int32_t w = picture.width(), h = picture.height();
    if (working.width() != w || working.height() != h)
        throw std::invalid_argument("the working copy must have the picture's size");
    const Kernels& k = kernelsFor(options.kernel.value_or(BestEdgePassKernel()));
    const EdgePassStores stores = options.stores.value_or(DefaultEdgePassStores(w, h));
    const EdgePassThreads threads = options.threads.value_or(DefaultEdgePassThreads(w, h));
    EdgeScanResult r;
    if (w < 3 || h < 3) { // no interior: the copy and the grid are all there is
        for (std::int32_t y = 0; y < h; ++y)
            std::memcpy(working.row(y), picture.row(y), picture.rowBytes());
        Capture(picture, grid);
        return r;
    }

    const bool streaming = stores == EdgePassStores::Streaming;
    grid.prepare(w, h);
    const Pass pass{picture,
                    working,
                    k,
                    streaming,
                    w,
                    h,
                    grid.columnStride(),
                    grid.column(0),
                    picture.rowBytes(),
                    std::size_t(w - 1) * PictureSurface::kBytesPerPixel,
                    streaming ? Scratch::kStreamTileRows : kTileRows,
                    streaming ? Scratch::kStreamScanRows : kTileRows};

    // Two bands split at a tile boundary near the middle, each with a tile
    // at least.
    const std::int32_t split = h / 2 / pass.tileRows * pass.tileRows;
    EdgePassWorkspace::Parts& parts = *workspace.parts_;
    BandHelper* helper = threads == EdgePassThreads::Two && split > 0 ? parts.bandHelper() : nullptr;
    parts.band[0].prepare(w, streaming);
    if (helper) {
        parts.band[1].prepare(w, streaming);
        helper->start(pass, parts.band[1], split, h);
        const EdgeScanResult upper = runBand(pass, parts.band[0], 0, split);
        r = joinBands(upper, helper->wait());
    } else {
        r = runBand(pass, parts.band[0], 0, h);
    }

    const std::size_t rowBytes = pass.rowBytes;
    if (streaming) {
        streamOut(picture.row(0), working.row(0), rowBytes);
        streamOut(picture.row(h - 1), working.row(h - 1), rowBytes);
        streamFence();
    } else {
        std::memcpy(working.row(0), picture.row(0), rowBytes);
        std::memcpy(working.row(h - 1), picture.row(h - 1), rowBytes);
    }
    r.ScanEnd = {w - 2, h - 2};
    return r;
}

EdgeScanResult CaptureAndScan(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                              const EdgePassOptions& options) {
    return CaptureAndScan(picture, working, workspace, IntensityGrid, options);
}

} // namespace quadfind
