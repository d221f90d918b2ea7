// The tallies of the edge-detection command's interior scan (edge_pass.h).
//
// The scan visits every interior pixel (1 <= x <= width-2, 1 <= y <= height-2)
// once in raster order; a pixel is an edge by the rule of edge_rule.h.
#pragma once

#include "picture_surface.h"

#include <cstdint>

namespace quadfind {

class IntensityGridStore;

struct EdgeScanResult {
    std::int32_t EdgeCount = 0;
    Point FirstEdge{}; // first edge pixel in raster order: corner 1
    Point LastEdge{};  // last edge pixel in raster order: corner 3
    Point ScanEnd{};   // last interior pixel visited
    friend bool operator==(const EdgeScanResult&, const EdgeScanResult&) = default;
};

// The scan with another threshold, for noisy photographs: a pixel is an
// edge where GradientY + GradientX >= minSum, and is painted blue; any other
// interior pixel gets the low 8 bits of its sum in all three bytes (black
// for 0). The one-pixel frame is left as it was; Capture must have run on
// the same picture into `grid`. One call of each operator per pixel: the fast
// pass (edge_pass.h) serves the window's threshold of 1.
EdgeScanResult ScanInterior(const IntensityGridStore& grid, PictureSurface& working, std::int32_t minSum);

} // namespace quadfind
