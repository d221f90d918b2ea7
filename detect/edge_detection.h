// The edge-detection command, shared by the window and the CLI.
//
// Fills IntensityGrid from `picture`'s blue channel and writes the edge map
// into `working` in one pass (see edge_pass.h), then derives the report and
// draws the diagonals. `working` then holds what the result view shows; it is
// resized to the picture when its size differs, and its old pixels never
// matter. Reusing one `working` across runs spares an allocation per run. An
// empty picture gives the empty-picture results. Not reentrant:
// IntensityGrid is one global, as is the GUI thread that uses it.
#pragma once

#include "edge_scan.h"
#include "picture_surface.h"
#include "quad_report.h"

#include <cstdint>
#include <string_view>

namespace quadfind {

struct EdgeDetectionRun {
    EdgeScanResult scan;
    QuadReport report;
    FieldTexts fields;
};

EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator);

// The same command with another edge rule: a pixel is an edge when
// GradientY + GradientX >= minSum (noisy photographs need more than 1).
// minSum 1 is the function above; any other value takes the plain
// per-pixel scan (Capture, ScanInterior), several times slower.
EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working,
                                  std::string_view decimalSeparator, std::int32_t minSum);

} // namespace quadfind
