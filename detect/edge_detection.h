// The edge-detection command, shared by the window and the CLI.
//
// Fills IntensityGrid from `picture`'s blue channel and writes the edge map
// into `working` in one pass (see edge_pass.h), then derives the report and
// draws the diagonals. `working` then holds what the result view shows. Its
// old pixels never matter: a `working` of the picture's size is reused as it
// is, with no allocation; any other is freed first and replaced by one of the
// picture's size. An empty picture gives the empty-picture results. Not reentrant:
// IntensityGrid is one global, as is the GUI thread that uses it.
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
