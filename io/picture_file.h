// Picture files to and from PictureSurface. Every picture comes out as 24-bit
// B, G, R rows whatever the file stored (palette, 16 or 32 bits, top-down...).
// Bitmaps (files that start with "BM" or are named *.bmp) go through our own
// strict decoder (bmp_reader.h); other formats, and the JPEG or PNG stream of
// a BI_JPEG or BI_PNG bitmap, through QtGui's image reader (no widgets),
// which needs a QCoreApplication for its format plug-ins.
#pragma once

#include "picture_error.h"
#include "picture_surface.h"

#include <cstdint>
#include <string>

namespace quadfind {

struct LoadLimits {
    // Keeps a desktop responsive: a 100-megapixel picture already needs about
    // 1.3 GB for the picture, the working copy and the intensity grid.
    static constexpr std::uint64_t kDefaultMaxPixels = 100'000'000;
    // The scan counts edge pixels in 32 bits.
    static constexpr std::uint64_t kHighestMaxPixels = 2'000'000'000;
    std::uint64_t maxPixels = kDefaultMaxPixels;
};

// Throws PictureError whose message names the file and the reason; a picture
// with more than limits.maxPixels pixels is refused before it is decoded.
PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits = {});

} // namespace quadfind
