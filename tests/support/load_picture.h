// The loader's command-line entry as the tests call it: the picture
// returned, not loaded into one the caller keeps.
#pragma once

#include "picture_file.h"

#include <string>

namespace quadfind::testing {

inline PictureSurface LoadPictureArgument(const std::string& argument, const LoadLimits& limits = {}) {
    PictureSurface picture;
    LoadPictureArgumentInto(argument, limits, picture);
    return picture;
}

} // namespace quadfind::testing
