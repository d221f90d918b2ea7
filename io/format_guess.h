// What format a file is in, from its name or from its first bytes, before
// it is decoded: the bitmaps by the BMP reader's rules (file_names.h,
// bmp_format.h, bmp_reader.h), every other format by Qt's reader, whose
// plug-ins need a QCoreApplication.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quadfind {

// The endings of the file names LoadPicture reads by their name, lower case
// and without the dot: the bitmaps' (kBitmapSuffixes) first, then those of
// Qt's image reader. Any other file is still read when its bytes are a
// picture.
std::vector<std::string> ReadableSuffixes();

// Whether a name ends in one of them (NameSuffix, any case): what a folder
// of pictures lists. The endings are asked of Qt once, at the first call.
bool HasReadableSuffix(std::string_view path);

// The Qt format a name's ending names (the format Qt's reader is asked for
// first), or "" when it names none. Where Qt has a reader for the ending,
// that reader alone decides (a PNG named .jpg is refused); formats without
// a signature, such as TGA, need it.
std::string SuffixFormat(std::string_view path);

// Whether the first bytes of a stream look like a bitmap or any format Qt
// reads, so that an endless stream of something else (/dev/zero) is refused
// at once.
bool LooksLikeAPicture(std::span<const std::uint8_t> prefix);

// The width and height the header at the start of a file declares, when it
// can be read (a bitmap's, or one Qt's reader can tell); nothing for a
// format whose header gives no size.
std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredSize(std::span<const std::uint8_t> start);

} // namespace quadfind
