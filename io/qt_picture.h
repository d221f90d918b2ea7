// The one adapter between QImage and PictureSurface, and the decoding of the
// formats that go through QtGui's image reader.
#pragma once

#include "load_limits.h"
#include "picture_surface.h"

#include <QImage>

#include <cstdint>
#include <span>
#include <stdexcept>

namespace quadfind {

// Any QImage format; converted to 24-bit B, G, R (alpha dropped).
PictureSurface SurfaceFromImage(const QImage& image);

// A QImage of format BGR888 owning its own pixels; a null QImage for an
// empty surface.
QImage ImageFromSurface(const PictureSurface& surface);

// What DecodeWithQt refuses with: one sentence, without the file's name.
class QtDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes a whole file held in memory through Qt's image reader. The format
// comes from the bytes; formatHint (a Qt format name such as "png", or
// nullptr) is tried first, and with onlyHint nothing else is.
//
// Refuses, before the picture is decoded, a size over limits.maxPixels as
// the header declares it (for an icon, also the size of every picture
// inside), and a file cut short or damaged where its structure shows it: a
// PNG whose chunks or checksums are wrong up to IEND (a chunk that is not
// four letters, unknown but critical, a second IHDR or PLTE, a palette
// missing or of a wrong length), a JPEG without its end marker after the
// first scan, a GIF that stops before its trailer, an XBM without its
// closing brace. Once the size is known to be within the limit, the
// compressed pixels are checked too: a PNG's are inflated once and refused
// when damaged, short or long, or with a row filter that does not exist; a
// GIF's first image is decoded once by giflib and refused when damaged or
// short. Decodes under Qt's allocation limit set from limits.maxPixels, for
// what no header tells.
// Every message the codec logs while decoding this file on this thread
// (corrupt data, premature end, short read...) is taken from Qt's message
// handler instead of reaching stderr, and makes the decode a refusal that
// quotes it. The capturing handler is installed at the first decode and
// hands on whatever it does not capture to the handler before it: a
// program that installs its own should do so before loading its first
// picture.
// Needs a QCoreApplication for Qt's format plug-ins.
PictureSurface DecodeWithQt(std::span<const std::uint8_t> bytes, const char* formatHint, bool onlyHint,
                            const LoadLimits& limits);

// Whether the first bytes of a stream look like any format Qt reads, so that
// an endless stream of something else (/dev/zero) is refused at once.
bool QtRecognises(std::span<const std::uint8_t> prefix);

// The size the header at the start of a file declares, when Qt can tell.
QSize QtDeclaredSize(std::span<const std::uint8_t> start);

} // namespace quadfind
