// The edge-detection command, shared by the window and the CLI.
//
// Copies `picture` into `working` (reusing its storage when large enough),
// captures the blue channel into IntensityGrid, scans the interior, derives
// the report and draws the diagonals. `working` then holds what the result
// view shows. An empty picture gives the empty-picture results. Not
// reentrant: IntensityGrid is one global, as is the GUI thread that uses it.
#pragma once

#include "edge_scan.h"
#include "picture_surface.h"
#include "quad_report.h"

#include <string_view>

namespace quadfind {

struct EdgeDetectionRun {
    EdgeScanResult scan;
    QuadReport report;
    FieldTexts fields;
};

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator);

} // namespace quadfind
