// The window's command line: `quadfind [FILE]`, as a file manager's "Open
// with" runs it, plus --help and --version. Read before any window exists,
// so that --help and a usage error answer on a machine with no display.
#pragma once

#include <optional>
#include <string>

namespace quadfind {

struct CommandLine {
    // Set when the program is to end at once with this status: after --help
    // or --version (0; 1 when standard output could not take the text) or a
    // usage error (2, explained on standard error).
    std::optional<int> exitStatus;
    // The picture to load once the window shows, as the system's bytes.
    std::optional<std::string> file;
};

CommandLine ReadCommandLine(int argc, char* argv[]);

} // namespace quadfind
