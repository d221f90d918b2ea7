// quadfind-cli's options and names: what one call asks for, as a Batch.
#pragma once

#include "batch.h"
#include "names.h"

#include <variant>

namespace quadfind::cli {

// The call's arguments as the operating system passed them, after the
// QCoreApplication is made. Returns the batch, with its pictures found and
// its overlays planned (which creates the overlays' folder), or the usage
// error that ends the call with status 2 before any picture is read.
// --help and --version are answered here and end the program.
std::variant<Batch, UsageError> ParseArguments(int argc, char* argv[]);

} // namespace quadfind::cli
