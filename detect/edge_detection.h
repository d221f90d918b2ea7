// The edge-detection command, shared by the window and the CLI.
//
// Fills the grid from `picture`'s blue channel and writes the edge map
// into `working` in one pass (see edge_pass.h), then derives the report and
// draws the diagonals. `working` then holds what the result view shows. Its
// old pixels never matter: a `working` of the picture's size is reused as it
// is, with no allocation; any other is freed first and replaced by one of the
// picture's size. `workspace` keeps the pass's scratch and helper thread for
// the next run. An empty picture gives the empty-picture results.
//
// The window runs it on IntensityGrid, the one global grid, from its one GUI
// thread. Runs with a workspace and a grid of their own each (the CLI's jobs)
// may go on side by side.
#pragma once

#include "edge_pass.h"
#include "edge_rule.h"
#include "edge_scan.h"
#include "intensity_grid.h"
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

// minSum other than edge_rule::kThreshold (noisy photographs need more)
// makes a pixel an edge where GradientY + GradientX >= minSum and takes the
// plain per-pixel scan (Capture, ScanInterior), several times slower.
EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                                  IntensityGridStore& grid, std::string_view decimalSeparator,
                                  std::int32_t minSum = edge_rule::kThreshold);
// On IntensityGrid.
EdgeDetectionRun RunEdgeDetection(const PictureSurface& picture, PictureSurface& working, EdgePassWorkspace& workspace,
                                  std::string_view decimalSeparator, std::int32_t minSum = edge_rule::kThreshold);

} // namespace quadfind
