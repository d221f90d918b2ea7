// The edge-detection command's fast path: Capture, the interior scan and the
// painting of the working copy fused into one pass over the picture.
//
// CaptureAndScan fills the grid exactly as Capture does, writes every
// byte of `working` (the one-pixel frame with the picture's colours, each
// interior pixel an edge or background colour by the rule of edge_rule.h)
// and returns the scan's tallies: the edge count, the first and last edge
// pixel in raster order, and the last interior pixel. `working` must already have the
// picture's size (std::invalid_argument otherwise); its old pixels are never
// read, so it need not be a copy.
//
// Layout: the scan reads the blue bytes from the picture's rows (row-major,
// the same values as the grid) and fills the column-major grid in tiles of 16
// rows, so that each column receives a 64-byte run at a time.
//
// Cost: one read of the picture, one write of `working` and of the grid's
// cells, no division and no per-pixel branch. Allocates the workspace's
// scratch of about 160 rows at a byte per pixel per band, and the grid's
// cells, 4 bytes a pixel, where the grid holds too few (IntensityGrid: above
// 1920 x 480; a grid of its own: at its first picture); both are kept, and
// grown only when a picture needs more than any before it. The workspace's
// helper thread for the two-band pass is started once, at the first pass
// that uses it. Passes with their own workspace and grid may run side by side;
// those on IntensityGrid, the window's, one at a time.
#pragma once

#include "edge_scan.h"
#include "picture_surface.h"

#include <memory>
#include <optional>

namespace quadfind {

class IntensityGridStore;

// Inner loops: plain code the compiler vectorises for any x86-64 (SSE2), or
// AVX2, compiled separately and used only where the processor has it.
enum class EdgePassKernel { Portable, Avx2 };

bool EdgePassKernelAvailable(EdgePassKernel kernel);
// The fastest available kernel, decided once per program.
EdgePassKernel BestEdgePassKernel();

// How the pass writes the grid and the working copy: through the cache, or,
// for pictures whose grid and copies exceed it, with streaming stores that
// skip reading the old lines (64-row tiles staged in a small buffer, each
// column's run shifted to its own line boundaries so that all but a column's
// first and last line are written whole). Same results either way.
enum class EdgePassStores { Cached, Streaming };
EdgePassStores DefaultEdgePassStores(std::int32_t width, std::int32_t height);

// Who does the pass: the calling thread alone, or the calling thread and one
// helper thread, each taking one band of rows (split at a tile boundary near
// the middle; pictures shorter than two tiles keep one band, as does a
// program that cannot start a thread). Same results either way. Two is the
// default where the pass streams and the processor has a second core.
enum class EdgePassThreads { One, Two };
EdgePassThreads DefaultEdgePassThreads(std::int32_t width, std::int32_t height);

// What a pass may be told; anything unset is chosen for this processor and
// the picture's size (the fastest kernel, DefaultEdgePassStores,
// DefaultEdgePassThreads). Every choice gives the same results.
struct EdgePassOptions {
    std::optional<EdgePassKernel> kernel;
    std::optional<EdgePassStores> stores;
    std::optional<EdgePassThreads> threads;
};

// What a pass keeps for the next one: the scratch rows of each band and the
// helper thread of the two-band pass (ended with the workspace).
class EdgePassWorkspace {
public:
    EdgePassWorkspace();
    ~EdgePassWorkspace();
    EdgePassWorkspace(const EdgePassWorkspace&) = delete;
    EdgePassWorkspace& operator=(const EdgePassWorkspace&) = delete;

    struct Parts; // edge_pass.cpp

private:
    friend EdgeScanResult CaptureAndScan(const PictureSurface&, PictureSurface&, EdgePassWorkspace&,
                                         IntensityGridStore&, const EdgePassOptions&);
    std::unique_ptr<Parts> parts_;
};

// Throws std::invalid_argument for a kernel this processor lacks.
EdgeScanResult CaptureAndScan(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                              IntensityGridStore& grid, const EdgePassOptions& options = {});
// On IntensityGrid.
EdgeScanResult CaptureAndScan(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                              const EdgePassOptions& options = {});

} // namespace quadfind
