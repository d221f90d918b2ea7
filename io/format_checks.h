// The damage checks of the formats Qt's reader decodes without a word about
// damage (GIF, PNG, JPEG, XBM) and of the sizes inside an icon: what
// DecodeWithQt runs before Qt sees a file. Each refusal is a QtDecodeError
// with one sentence. The codecs' own libraries (zlib, giflib) do the
// decoding checks; no Qt.
#pragma once

#include "load_limits.h"
#include "qt_decoder.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace quadfind {

// Cheap walks of a file's structure, before its size is checked against the
// limit: a GIF must reach its trailer, a PNG's chunks and checksums must be
// right up to IEND, a JPEG must have its end marker after the first scan, an
// XBM its closing brace; each PNG or bitmap inside an icon must be within
// `limits` (and such a PNG whole). `format` is the name Qt's reader gives
// ("png", "jpg", "ico"...); other formats pass.
void CheckStructure(std::span<const std::uint8_t> bytes, std::string_view format, const LoadLimits& limits);

// The compressed pixels, once the size is known to be within the limit, so
// that the pass is bounded: a PNG's are inflated once and refused when
// damaged, short or long, or with a row filter that does not exist; a GIF's
// first picture is decoded once by giflib and refused when damaged or
// short. Memory: a few buffers, none that grows with the picture but a GIF
// row.
void CheckPixelData(std::span<const std::uint8_t> bytes, std::string_view format);

} // namespace quadfind
