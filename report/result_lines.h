// What quadfind-cli prints for one picture: the panel as text under a line
// naming the picture, its size and its edge count; or one JSON object on one
// line (JSON Lines) with the file, the size, the edge count and the fields by
// FieldName in field order, null where the run leaves a field.
#pragma once

#include "edge_detection.h"
#include "picture_surface.h"

#include <string>

namespace quadfind {

// `shownName`: the file name as it may reach a terminal (escaped).
std::string ResultText(const std::string& shownName, const PictureSurface& picture, const EdgeDetectionRun& run);

// `file`: the name's bytes; those that are not UTF-8 become U+FFFD.
std::string ResultJsonLine(const std::string& file, const PictureSurface& picture, const EdgeDetectionRun& run);

} // namespace quadfind
