// Picture files to PictureSurface: the loader. Every picture comes out as
// 24-bit B, G, R rows whatever the file stored (palette, 16 or 32 bits,
// top-down...).
//
// A file is read with read(2), never mapped (file_reading.h), so a file
// that shrinks or vanishes meanwhile is a refusal of that file alone. An
// uncompressed 24-bit bitmap's rows go straight from the file into the
// picture (plain_rows.h); any other file is read whole into memory first.
// Names are bytes as the operating system takes them, with no encoding
// assumed; from a QString, pass QFile::encodeName(name).toStdString().
// Pipes, FIFOs and standard input are read as streams and their format is
// recognised from the bytes.
//
// Bitmaps (bytes that start with "BM", or files whose name ends in .bmp or
// .dib in any case: IsBitmapName in file_names.h) go through our own strict
// decoder (bmp_reader.h); other formats, and the JPEG or PNG stream of a
// BI_JPEG or BI_PNG bitmap, through QtGui's image reader (no widgets), which
// needs a QCoreApplication for its format plug-ins; see DecodeWithQt in
// qt_decoder.h for how damage and sizes are checked there.
//
// Every refusal throws PictureError: "Cannot load NAME: reason", where NAME
// is ReadableName of the name and the reason is the operating system's own
// (strerror) when reading failed.
#pragma once

#include "file_reading.h"
#include "format_guess.h"
#include "load_limits.h"
#include "picture_error.h"
#include "picture_surface.h"
#include "readable_name.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quadfind {

// A picture with more than limits.maxPixels pixels is refused, and so is a
// file or stream longer than any picture within the limit could need
// (LoadLimits::maxFileBytes). Where the header declares the size (bitmaps,
// and the formats whose size Qt's reader reads from the header: PNG, JPEG,
// GIF, icons...), the refusal comes before the picture is decoded, and for
// a large file before the rest of it is read; a format whose header gives
// no size is decoded first, under Qt's allocation limit, and refused after.
PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits = {});

// A name from a command line into `picture`: "-" is standard input (refused
// when it is a terminal), anything else a file as for LoadPicture.
// `picture`'s storage is reused when the new picture has its size: a batch
// of pictures of one size allocates once. After a refusal `picture` holds
// nothing worth keeping.
void LoadPictureArgumentInto(const std::string& argument, const LoadLimits& limits, PictureSurface& picture);

// What LoadPicture is made of once the bytes are not a plain bitmap's rows,
// open for tests and the fuzzer, which need a source that misbehaves. A
// source that ends before expectedBytes (a regular file's size when it was
// opened) is refused as a file that shrank. bitmapByName: the name ends in
// .bmp or .dib, so a non-bitmap is refused. formatHint: SuffixFormat of the
// name, or nullptr.
PictureSurface LoadPictureFromSource(const ReadSome& read, std::optional<std::uint64_t> expectedBytes,
                                     bool bitmapByName, const char* formatHint, const std::string& displayName,
                                     const LoadLimits& limits);

} // namespace quadfind
