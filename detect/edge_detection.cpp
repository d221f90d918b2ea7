#include "edge_detection.h"

#include "intensity_grid.h"

namespace quadfind {

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator) {
    working = picture;
    Capture(working);
    EdgeDetectionRun run;
    run.scan = ScanInterior(working);
    run.report = ReportQuadrilateral(run.scan);
    DrawDiagonals(working, run.scan, run.report);
    run.fields = FormatFields(run.scan, run.report, decimalSeparator);
    return run;
}

} // namespace quadfind
