// The loader's fast path for the commonest bitmap: an uncompressed 24-bit
// one's rows read from a regular file straight into the picture, a few
// hundred rows a system call, instead of through a copy of the whole file,
// so that the bytes are copied once. No Qt.
#pragma once

#include "load_limits.h"
#include "picture_surface.h"

#include <cstdint>
#include <string>

namespace quadfind {

// Reads the rows when the file at the descriptor's position is such a
// bitmap (PlainBmpRows), within `limits`, and holds all its rows (the last
// one's padding may be missing) in its `fileBytes`; `picture`'s storage is
// reused when it has the size. False, having read nothing into `picture`,
// for any other file: the whole-file path then reads it or says what is
// wrong with it. Refuses a read that fails or a file that shrinks meanwhile
// ("Cannot load NAME: ...").
bool ReadPlainRows(int fd, std::uint64_t fileBytes, const std::string& name, const LoadLimits& limits,
                   PictureSurface& picture);

} // namespace quadfind
