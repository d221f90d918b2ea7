// How a file name shows in a message or an output line. No Qt.
#pragma once

#include <string>
#include <string_view>

namespace quadfind {

// A name's bytes as text fit for a message: valid UTF-8 stays as it is;
// bytes that are not valid UTF-8, and control characters, are written \xFF,
// and a backslash is doubled.
std::string ReadableName(std::string_view bytes);

} // namespace quadfind
