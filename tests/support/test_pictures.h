// Small picture builders and the plain reference detector the tests compare
// the core against. The reference reads the picture's blue bytes directly,
// per pixel, with no grid and no cleverness.
#pragma once

#include "edge_pass.h"
#include "edge_scan.h"
#include "picture_surface.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>

namespace quadfind::testing {

// One workspace for every pass a test process runs, as a program keeps one.
inline EdgePassWorkspace& testWorkspace() {
    static EdgePassWorkspace workspace;
    return workspace;
}

// Paints the inclusive rectangle (x0, y0)-(x1, y1).
inline void fillRect(PictureSurface& s, int x0, int y0, int x1, int y1, Colour c) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            s.setPixel(x, y, c);
}

inline PictureSurface filled(int w, int h, Colour c) {
    PictureSurface s(w, h);
    fillRect(s, 0, 0, w - 1, h - 1, c);
    return s;
}

inline PictureSurface randomPicture(int w, int h, std::uint32_t seed) {
    PictureSurface s(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (std::size_t i = 0; i < s.rowBytes(); ++i)
            s.row(y)[i] = std::uint8_t(rng());
    return s;
}

// The picture with blue(x, y, its random blue byte) for blue.
inline PictureSurface withBlue(int w, int h, std::uint32_t seed, const std::function<int(int, int, int)>& blue) {
    PictureSurface s = randomPicture(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s.row(y)[std::size_t(3) * std::size_t(x)] =
                std::uint8_t(blue(x, y, s.row(y)[std::size_t(3) * std::size_t(x)]));
    return s;
}

// 10 x 10 black with a white square from (3, 3) to (6, 6) inclusive.
inline PictureSurface whiteSquare() {
    PictureSurface s(10, 10);
    fillRect(s, 3, 3, 6, 6, 0xFFFFFF);
    return s;
}

// Edge map and tallies straight from the definitions: an interior pixel is
// an edge, painted blue, where |Sy| div 4 + |Sx| div 4 reaches minSum; any
// other shows that sum's low byte in its three channels (black at minSum 1).
inline EdgeScanResult referenceScan(const PictureSurface& in, PictureSurface& out, int minSum = 1) {
    out = in;
    auto blue = [&](int x, int y) { return int(in.row(y)[std::size_t(3) * std::size_t(x)]); };
    EdgeScanResult r;
    for (int y = 1; y < in.height() - 1; ++y) {
        for (int x = 1; x < in.width() - 1; ++x) {
            int sy = 0, sx = 0;
            for (int i = -1; i <= 1; ++i) {
                sy += blue(x + i, y + 1) - blue(x + i, y - 1);
                sx += blue(x - 1, y + i) - blue(x + 1, y + i);
            }
            const int sum = std::abs(sy) / 4 + std::abs(sx) / 4;
            const bool edge = sum >= minSum;
            out.setPixel(x, y, edge ? 0xFF0000 : Colour(sum & 0xFF) * 0x010101);
            if (edge) {
                r.LastEdge = {x, y};
                if (++r.EdgeCount == 1)
                    r.FirstEdge = {x, y};
            }
            r.ScanEnd = {x, y};
        }
    }
    return r;
}

} // namespace quadfind::testing
