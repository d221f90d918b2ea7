// The exception of picture input and output. Every function of io that
// reads or writes a file by its name (picture_file.h, pending_file.h,
// bmp_writer.h) refuses with a PictureError whose message names the file and
// says what is wrong, ready to show a user as it stands. Besides it, only
// running out of memory (std::bad_alloc) and a PendingFile used after its
// commit (std::logic_error) escape them. The functions that work on bytes,
// with no file to name, throw their own: DecodeBmp's BmpError, DecodeWithQt's
// QtDecodeError, EncodeBmp's std::length_error.
#pragma once

#include "readable_name.h"

#include <stdexcept>
#include <string>

namespace quadfind {

class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The two forms of its message: "Cannot load NAME: reason" and "Cannot write
// NAME: reason", NAME shown by ReadableName.
inline PictureError LoadError(const std::string& name, const std::string& reason) {
    return PictureError("Cannot load " + ReadableName(name) + ": " + reason);
}
inline PictureError WriteError(const std::string& name, const std::string& reason) {
    return PictureError("Cannot write " + ReadableName(name) + ": " + reason);
}

} // namespace quadfind
