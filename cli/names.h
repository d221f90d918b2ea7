// The pictures of one call: file names as the operating system gives them
// (bytes, any name it accepts), from the command line, a list file, and
// folders, in the order the user gave them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quadfind::cli {

// Thrown for anything that ends the call before a picture is processed; the
// message names the file and the operating system's cause.
struct UsageError {
    std::string message;
};

// Names from a list file ("-": standard input), one a line or, with
// `nulSeparated`, separated by NUL bytes. Empty entries are skipped.
std::vector<std::string> ReadNameList(const std::string& listFile, bool nulSeparated);

// Each name as it stands, except that a folder stands for its picture files
// (by the loader's suffix rule, HasReadableSuffix: bmp, dib and every format
// Qt's reader knows, any case), not recursively, sorted by name byte for byte.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& names);

} // namespace quadfind::cli
