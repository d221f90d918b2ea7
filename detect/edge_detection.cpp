#include "edge_detection.h"

#include "edge_pass.h"
#include "edge_rule.h"
#include "intensity_grid.h"

#include <cstring>

namespace quadfind {

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                                  IntensityGridStore& grid, std::string_view decimalSeparator, std::int32_t minSum) {
    // The fused pass writes every byte of the working copy, so it needs the
    // picture's size and nothing of its pixels.
    if (working.width() != picture.width() || working.height() != picture.height()) {
        working = PictureSurface(); // the old pixels go before the new ones come
        working = PictureSurface(picture.width(), picture.height(), PictureSurface::Uninitialised{});
    }
    EdgeDetectionRun run;
    if (minSum == edge_rule::kThreshold) {
        run.scan = CaptureAndScan(picture, working, workspace, grid);
    } else {
        // The per-pixel scan leaves the frame as it is: it must hold the
        // picture's colours.
        for (std::int32_t y = 0; y < picture.height(); ++y)
            std::memcpy(working.row(y), picture.row(y), picture.rowBytes());
        Capture(picture, grid);
        run.scan = ScanInterior(grid, working, minSum);
    }
    run.report = ReportQuadrilateral(run.scan);
    DrawDiagonals(working, run.scan, run.report);
    run.fields = FormatFields(run.scan, run.report, decimalSeparator);
    return run;
}

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                                  std::string_view decimalSeparator, std::int32_t minSum) {
    return RunEdgeDetection(picture, working, workspace, IntensityGrid, decimalSeparator, minSum);
}

} // namespace quadfind
