#include "edge_detection.h"

#include "edge_pass.h"

namespace quadfind {

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator) {
    // The fused pass writes every byte of the working copy, so it needs the
    // picture's size and nothing of its pixels.
    if (working.width() != picture.width() || working.height() != picture.height()) {
        working = PictureSurface(); // the old pixels go before the new ones come
        working = PictureSurface(picture.width(), picture.height(), PictureSurface::Uninitialised{});
    }
    EdgeDetectionRun run;
    run.scan = CaptureAndScan(picture, working);
    run.report = ReportQuadrilateral(run.scan);
    DrawDiagonals(working, run.scan, run.report);
    run.fields = FormatFields(run.scan, run.report, decimalSeparator);
    return run;
}

} // namespace quadfind
