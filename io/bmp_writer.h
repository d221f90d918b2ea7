// The one BMP encoder: a PictureSurface as an uncompressed 24-bit bottom-up
// BMP with a 40-byte INFO header and rows padded to 4 bytes, into memory
// (EncodeBmp) or, its rows written straight from the picture, into a file
// (SaveBmp, and PendingFile's picture constructor in pending_file.h). No Qt.
#pragma once

#include "pending_file.h"
#include "picture_surface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadfind {

// The whole file in memory. A picture whose file would pass the format's
// 4 GiB throws std::length_error: with no file to name, the one error of
// picture output that is not a PictureError.
std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture);

// A PendingFile of the picture, committed OnDisk at once: for the window's
// Save, where one file's wait for the disk costs nothing a person notices.
// Memory: none beyond the picture, whose rows are written as they lie.
// Every error is a PictureError naming the file, a picture too large for
// the format's 4 GiB included.
void SaveBmp(const PictureSurface& picture, const std::string& path);

} // namespace quadfind
