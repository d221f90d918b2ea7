// PicturePyramid: a picture halved again and again, for showing it shrunk
// without losing its thin lines. Level 0 is the picture itself, borrowed;
// level k + 1 is ceil(w / 2) x ceil(h / 2) pixels of level k, each the mean
// of the 2 x 2 block it covers, rounded. Level k's pixel (x, y) stands for
// the picture's area [x 2^k, (x + 1) 2^k) x [y 2^k, (y + 1) 2^k) clipped to
// the picture: a block cut short by an odd edge is the mean of the pixels
// it has, weighted by their areas. So a level-k pixel is within k / 2 of
// the exact mean of its area, and a one-pixel line shrinks into a fainter
// line instead of vanishing.
//
// Levels are built on first request and kept; all of them together take a
// third of the picture's bytes (1 byte per picture pixel). Building level 1
// reads the whole picture once; no copy of level 0 is ever made. The
// picture must outlive the pyramid and must not change under it: reset()
// the pyramid when it does.
//
// RenderPicture draws from a pyramid: each output pixel covers an interval
// of the picture on each axis. One that covers a picture pixel or more
// shows the mean of its area (clipped to the picture) as the smallest level
// whose pixels are no larger than it tells it: the level's pixels it
// overlaps, weighted by the overlap. That is the picture's own mean where
// the area's edges fall on the level's pixel edges and close to it
// elsewhere; every level pixel's weights add up to its area, so a line
// keeps its total brightness. One that covers less shows the picture pixel
// holding its interval's start. It costs the output's pixels times the taps
// per axis (at most three where it shrinks), whatever the picture's size,
// once the level exists.
#pragma once

#include "picture_surface.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quadfind {

class PicturePyramid {
public:
    explicit PicturePyramid(const PictureSurface* picture = nullptr) { reset(picture); }
    PicturePyramid(const PicturePyramid&) = delete;
    PicturePyramid& operator=(const PicturePyramid&) = delete;

    // Drops the levels built so far and borrows `picture` (may be null: empty).
    void reset(const PictureSurface* picture);
    // Whether the pyramid borrows `picture` at the size it had at reset():
    // a picture that changed size behind its back is caught, not read past.
    bool follows(const PictureSurface* picture) const {
        return picture == picture_ && (!picture || (picture->width() == width_ && picture->height() == height_));
    }

    // Levels down to and including the first of 1 x 1; 0 for an empty picture.
    int levelCount() const { return levelCount_; }
    // Builds `k` and the levels above it on first request; k < levelCount().
    const PictureSurface& level(int k);
    // What the built levels hold, level 0 (the picture) not counted.
    std::size_t bytes() const;

private:
    const PictureSurface* picture_ = nullptr;
    std::int32_t width_ = 0, height_ = 0;
    int levelCount_ = 0;
    std::vector<PictureSurface> built_; // built_[k - 1] is level k
};

// One axis of a rendered picture: output pixel i covers the picture's
// [origin + i / scale, origin + (i + 1) / scale), scale being output pixels
// per picture pixel.
struct RenderAxis {
    double origin = 0;
    double scale = 1;
    int count = 0;
};

// x.count x y.count pixels as RGB32; null when either count is 0 or the
// picture is empty. Where an interval lies wholly outside the picture, its
// nearest edge pixel is shown.
QImage RenderPicture(PicturePyramid& pyramid, RenderAxis x, RenderAxis y);

} // namespace quadfind
