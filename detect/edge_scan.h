// The tallies of the edge-detection command's interior scan (edge_pass.h).
//
// The scan visits every interior pixel (1 <= x <= width-2, 1 <= y <= height-2)
// once in raster order; a pixel is an edge by the rule of edge_rule.h.
#pragma once

#include "picture_surface.h"

#include <cstdint>

namespace quadfind {

struct EdgeScanResult {
    std::int32_t EdgeCount = 0;
    Point FirstEdge{}; // first edge pixel in raster order: corner 1
    Point LastEdge{};  // last edge pixel in raster order: corner 3
    Point ScanEnd{};   // last interior pixel visited
    friend bool operator==(const EdgeScanResult&, const EdgeScanResult&) = default;
};

} // namespace quadfind
