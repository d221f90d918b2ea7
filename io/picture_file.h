// Picture files to and from PictureSurface. Every picture comes out as 24-bit
// B, G, R rows whatever the file stored (palette, 16 or 32 bits, top-down...).
// Uses QtGui's image reader (no widgets); needs a QCoreApplication for the
// format plug-ins.
#pragma once

#include "picture_error.h"
#include "picture_surface.h"

#include <string>

namespace quadfind {

// Throws PictureError whose message names the file and the reason.
PictureSurface LoadPicture(const std::string& path);

} // namespace quadfind
