// The formats that go through QtGui's image reader (no widgets): decoding a
// file held in memory under the limits, and the questions the loader asks
// of a file's first bytes. Needs a QCoreApplication for Qt's format plug-ins.
#pragma once

#include "load_limits.h"
#include "picture_surface.h"

#include <QSize>

#include <cstdint>
#include <span>
#include <stdexcept>

namespace quadfind {

// What DecodeWithQt refuses with: one sentence, without the file's name.
class QtDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes a whole file held in memory through Qt's image reader, to 24-bit
// B, G, R (alpha dropped). formatHint (a Qt format name such as "png", or
// nullptr) is tried first; Qt's reader goes by the bytes only where it has
// no reader of that name (so a PNG hinted "jpg" is refused), and with
// onlyHint never.
//
// Before the picture is decoded, refuses a file cut short or damaged where
// its structure shows it, and a size over the limit where the header
// declares one (for an icon, the size of every picture inside too); then,
// the size being within the limit, damaged compressed pixels
// (format_checks.h says which formats and how). A format whose header
// declares no size to Qt's reader is decoded first, under Qt's allocation
// limit (set from limits.maxPixels, process-wide, for every decoding
// thread), and refused after if its picture is over the limit.
//
// Every message the codec logs while decoding this file on this thread
// (corrupt data, premature end, short read...) is taken from Qt's message
// handler (codec_messages.h) instead of reaching stderr, and makes the
// decode a refusal that quotes it.
PictureSurface DecodeWithQt(std::span<const std::uint8_t> bytes, const char* formatHint, bool onlyHint,
                            const LoadLimits& limits);

// Whether the first bytes of a stream look like any format Qt reads, so that
// an endless stream of something else (/dev/zero) is refused at once.
bool QtRecognises(std::span<const std::uint8_t> prefix);

// The size the header at the start of a file declares, when Qt can tell
// (an invalid QSize when it cannot).
QSize QtDeclaredSize(std::span<const std::uint8_t> start);

} // namespace quadfind
