// Writes a PictureSurface as an uncompressed 24-bit bottom-up BMP with a
// 40-byte INFO header and rows padded to 4 bytes. No Qt.
#pragma once

#include "picture_surface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadfind {

// Throws std::length_error when the file would exceed the format's 4 GiB.
std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture);

// Throws PictureError naming the file when it cannot be written.
void SaveBmp(const PictureSurface& picture, const std::string& path);

} // namespace quadfind
