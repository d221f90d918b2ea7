#include "edge_detection.h"

#include "edge_pass.h"
#include "intensity_grid.h"

namespace quadfind {

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator) {
    // The fused pass writes every byte of the working copy, so copying the
    // picture first is only needed to give it the picture's size.
    if (working.width() != picture.width() || working.height() != picture.height())
        working = picture;
    EdgeDetectionRun run;
    run.scan = CaptureAndScan(picture, working);
    run.report = ReportQuadrilateral(run.scan);
    DrawDiagonals(working, run.scan, run.report);
    run.fields = FormatFields(run.scan, run.report, decimalSeparator);
    return run;
}

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator, std::int32_t minSum) {
    if (minSum == 1)
        return RunEdgeDetection(picture, working, decimalSeparator);
    // The scan leaves the frame as it is: it must hold the picture's colours.
    working = picture;
    EdgeDetectionRun run;
    Capture(picture);
    run.scan = ScanInterior(working, minSum);
    run.report = ReportQuadrilateral(run.scan);
    DrawDiagonals(working, run.scan, run.report);
    run.fields = FormatFields(run.scan, run.report, decimalSeparator);
    return run;
}

} // namespace quadfind
