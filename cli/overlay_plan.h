// Where each picture's overlay goes, decided and checked for the whole call
// before any picture is processed.
#pragma once

#include <string>
#include <vector>

namespace quadfind::cli {

// `overlay` is the --overlay value. With `intoFolder` (several pictures, a
// folder or a list was given, or `overlay` is a folder or ends in '/') each
// overlay is `overlay`/<name without its last extension>.bmp and the folder is
// created; otherwise the one picture's overlay is `overlay` itself.
//
// Throws UsageError, naming the paths, when two pictures would get the same
// overlay, when an overlay would replace one of the call's pictures (by file
// identity, device and inode, through symlinks and hard links, and by name
// for pictures that do not exist yet), or when a folder, a device, a FIFO or
// a socket stands at an overlay's name (the writer's rule, WhatIsAt in
// pending_file.h: a symlink there is replaced). Returns one target per
// picture.
std::vector<std::string> PlanOverlays(const std::string& overlay, const std::vector<std::string>& pictures,
                                      bool intoFolder);

} // namespace quadfind::cli
