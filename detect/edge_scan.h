// The interior scan of the edge-detection command.
//
// Visits every interior pixel (1 <= x <= width-2, 1 <= y <= height-2) once in
// raster order, adds GradientY and GradientX of the captured grid, and paints
// the pixel blue (255, 0, 0) when the sum is at least `minSum` (1, the
// window's rule, unless a caller asks for another), otherwise grey at the
// sum's level (black for a sum of 0). The
// one-pixel frame is left as it was. Capture must have run on the same picture.
// Pictures smaller than 3 x 3 have no interior and stay unchanged.
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

EdgeScanResult ScanInterior(PictureSurface& working, std::int32_t minSum = 1);

} // namespace quadfind
