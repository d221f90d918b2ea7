// What a file's name says about its format: the one suffix rule of the
// loader, which the CLI's folder listing applies too. No Qt.
#pragma once

#include <string>
#include <string_view>

namespace quadfind {

// The ending of a path's last component, after its last dot, in lower case
// (ASCII letters only, as the names are bytes): "bmp" for "scans/PHOTO.Bmp".
// Empty when the last component has no dot.
std::string NameSuffix(std::string_view path);

// The endings of bitmaps, "bmp" and "dib", without the dot.
inline constexpr std::string_view kBitmapSuffixes[] = {"bmp", "dib"};

// Whether a name ends in .bmp or .dib, in any case: such a file is read by
// the BMP reader (bmp_reader.h) alone, and refused when it is no bitmap.
bool IsBitmapName(std::string_view path);

} // namespace quadfind
