// Picture files to and from PictureSurface. Every picture comes out as 24-bit
// B, G, R rows whatever the file stored (palette, 16 or 32 bits, top-down...).
//
// A file is read with read(2), never mapped, so a file that shrinks or
// vanishes meanwhile is a refusal of that file alone. An uncompressed 24-bit
// bitmap's rows go straight from the file into the picture; any other file
// is read whole into memory first. Names
// are bytes as the operating system takes them, with no encoding assumed;
// from a QString, pass QFile::encodeName(name).toStdString(). Pipes, FIFOs
// and standard input are read as streams and their format is recognised
// from the bytes.
//
// Bitmaps (bytes that start with "BM", or files whose name ends in .bmp or
// .dib in any case: IsBitmapName in file_names.h) go through our
// own strict decoder (bmp_reader.h); other formats, and the JPEG or PNG
// stream of a BI_JPEG or BI_PNG bitmap, through QtGui's image reader (no
// widgets), which needs a QCoreApplication for its format plug-ins; see
// DecodeWithQt in qt_decoder.h for how damage and sizes are checked there.
//
// Every refusal throws PictureError: "Cannot load NAME: reason", where NAME
// is ReadableName of the name and the reason is the operating system's own
// (strerror) when reading failed.
#pragma once

#include "load_limits.h"
#include "picture_error.h"
#include "readable_name.h"
#include "picture_surface.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadfind {

// A picture with more than limits.maxPixels pixels is refused before it is
// decoded, and so is a file or stream longer than any picture within the
// limit could need (LoadLimits::maxFileBytes).
PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits = {});

// A name from a command line: "-" is standard input (refused when it is a
// terminal), anything else a file as for LoadPicture.
PictureSurface LoadPictureArgument(const std::string& argument, const LoadLimits& limits = {});

// The same into `picture`, whose storage is reused when the new picture has
// its size: a batch of pictures of one size allocates once. After a refusal
// `picture` holds nothing worth keeping.
void LoadPictureArgumentInto(const std::string& argument, const LoadLimits& limits, PictureSurface& picture);

// Reads an already open descriptor to its end, without closing it.
// displayName names it in messages (e.g. "standard input").
PictureSurface LoadPictureFromDescriptor(int fd, const std::string& displayName, const LoadLimits& limits = {});

// What LoadPicture and LoadPictureFromDescriptor are made of, open for tests
// that need a source that misbehaves. read behaves as read(2): a count, 0 at
// the end, or -1 with errno set. A source that ends before expectedBytes (a
// regular file's size when it was opened) is refused as a file that shrank.
// bitmapByName: the name ends in .bmp or .dib, so a non-bitmap is refused.
using ReadSome = std::function<long(void* buffer, std::size_t capacity)>;
PictureSurface LoadPictureFromSource(const ReadSome& read, std::optional<std::uint64_t> expectedBytes,
                                     bool bitmapByName, const char* formatHint, const std::string& displayName,
                                     const LoadLimits& limits);

// The endings of the file names LoadPicture reads by their name, lower case
// and without the dot: the bitmaps' (kBitmapSuffixes) first, then those of
// Qt's image reader (its plug-ins, so it needs a QCoreApplication). Any
// other file is still read when its bytes are a picture.
std::vector<std::string> ReadableSuffixes();

// Whether a name ends in one of them (NameSuffix, any case): what a folder
// of pictures lists. The endings are asked of Qt once, at the first call.
bool HasReadableSuffix(std::string_view path);

} // namespace quadfind
