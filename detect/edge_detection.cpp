#include "edge_detection.h"

#include "edge_pass.h"

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

} // namespace quadfind
