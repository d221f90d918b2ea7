#include "edge_scan.h"

#include "edge_rule.h"
#include "intensity_grid.h"

namespace quadfind {

EdgeScanResult ScanInterior(const IntensityGridStore& grid, PictureSurface& working, std::int32_t minSum) {
    EdgeScanResult r;
    for (std::int32_t y = 1; y < working.height() - 1; ++y) {
        std::uint8_t* row = working.row(y);
        for (std::int32_t x = 1; x < working.width() - 1; ++x) {
            const std::int32_t sum = GradientY(grid, x, y) + GradientX(grid, x, y);
            std::uint8_t* p = row + std::size_t(x) * PictureSurface::kBytesPerPixel;
            p[0] = p[1] = p[2] = std::uint8_t(sum);
            if (sum >= minSum) {
                p[0] = edge_rule::kEdgeBlue;
                p[1] = 0;
                p[2] = 0;
                r.LastEdge = {x, y};
                if (++r.EdgeCount == 1)
                    r.FirstEdge = {x, y};
            }
            r.ScanEnd = {x, y};
        }
    }
    return r;
}

} // namespace quadfind
