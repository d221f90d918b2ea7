// The exception of picture input and output. Every function of io that
// reads or writes a file by its name (picture_file.h, pending_file.h,
// bmp_writer.h) refuses with a PictureError whose message names the file and
// says what is wrong, ready to show a user as it stands. Besides it, only
// running out of memory (std::bad_alloc) and a PendingFile used after its
// commit (std::logic_error) escape them. The functions that work on bytes,
// with no file to name, throw their own: DecodeBmp's BmpError, DecodeWithQt's
// QtDecodeError, EncodeBmp's std::length_error.
#pragma once

#include <stdexcept>
#include <string>

namespace quadfind {

class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quadfind
