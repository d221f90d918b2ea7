// Writes a PictureSurface as an uncompressed 24-bit bottom-up BMP with a
// 40-byte INFO header and rows padded to 4 bytes. No Qt.
#pragma once

#include "picture_surface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadfind {

// The whole file in memory. Throws std::length_error when the file would
// exceed the format's 4 GiB.
std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture);

// Writes the file at `path` as careful tools do: the rows go straight from
// the picture into a temporary file in the same folder, which is flushed to
// the disk (fsync), closed and only then renamed over `path`. A symlink at
// `path` is replaced by the new file, never written through. On any failure
// the temporary file is removed, whatever was at `path` is left as it was, and
// PictureError names the file and the operating system's cause. Memory: one
// buffer of at most about 1 MiB, whatever the picture's size.
void SaveBmp(const PictureSurface& picture, const std::string& path);

} // namespace quadfind
