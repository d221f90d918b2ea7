// The loader's dispatch: where a picture's bytes come from (file_reading.h,
// plain_rows.h) and which decoder reads them (format_guess.h, bmp_reader.h,
// qt_decoder.h).
#include "picture_file.h"

#include "bmp_format.h"
#include "bmp_reader.h"
#include "file_names.h"
#include "file_reading.h"
#include "format_guess.h"
#include "plain_rows.h"
#include "qt_decoder.h"

#include <unistd.h>

#include <span>

namespace quadfind {

namespace {

// BI_JPEG and BI_PNG bitmaps carry a whole JPEG or PNG file as pixel data.
PictureSurface decodeEmbedded(EmbeddedFormat format, std::span<const std::uint8_t> stream, const LoadLimits& limits) {
    const bool jpeg = format == EmbeddedFormat::Jpeg;
    try {
        return DecodeWithQt(stream, jpeg ? "jpeg" : "png", true, limits);
    } catch (const QtDecodeError& e) {
        throw BmpError(std::string("the embedded ") + (jpeg ? "JPEG" : "PNG") + " stream: " + e.what());
    }
}

// suffixOf: the name whose ending hints at the format, if any.
void loadFromDescriptor(int fd, bool bitmapByName, const std::string& suffixOf, const std::string& name,
                        const LoadLimits& limits, PictureSurface& picture) {
    const std::optional<std::uint64_t> fileBytes = RegularFileBytes(fd);
    if (fileBytes && ReadPlainRows(fd, *fileBytes, name, limits, picture))
        return;
    // Asking Qt for its formats loads its plug-ins: only for a file that
    // will need them.
    const std::string hint = bitmapByName || suffixOf.empty() ? std::string() : SuffixFormat(suffixOf);
    picture = {};
    picture = LoadPictureFromSource(ReadFrom(fd), fileBytes, bitmapByName, hint.empty() ? nullptr : hint.c_str(), name,
                                    limits);
}

void loadPicture(const std::string& path, const LoadLimits& limits, PictureSurface& picture) {
    const OpenFile file(path);
    loadFromDescriptor(file.fd(), IsBitmapName(path), path, path, limits, picture);
}

} // namespace

PictureSurface LoadPictureFromSource(const ReadSome& read, std::optional<std::uint64_t> expectedBytes,
                                     bool bitmapByName, const char* formatHint, const std::string& displayName,
                                     const LoadLimits& limits) {
    // A large file over the limit is refused from its header, before the
    // rest of it is read into memory; the decoders check again on the whole
    // file. A stream must look like a picture from its start.
    const FileBytes whole =
        ReadToEnd(read, expectedBytes, displayName, limits, [&](std::span<const std::uint8_t> start) {
            if (!expectedBytes && !LooksLikeAPicture(start))
                throw LoadError(displayName, "its first 64 KiB are in no picture format this program reads");
            if (const auto size = DeclaredSize(start); size && !limits.allows(size->first, size->second))
                throw LoadError(displayName, limits.tooLarge(size->first, size->second));
        });
    const std::span<const std::uint8_t> bytes = whole.span();
    // Our own decoder takes what starts with "BM" and whatever is named
    // .bmp or .dib: such a file holding something else is refused rather
    // than silently read as another format.
    if (HasBmpSignature(bytes) || bitmapByName) {
        try {
            return DecodeBmp(bytes, limits, [&limits](EmbeddedFormat format, std::span<const std::uint8_t> stream) {
                return decodeEmbedded(format, stream, limits);
            });
        } catch (const BmpError& e) {
            throw LoadError(displayName, e.what());
        }
    }
    try {
        return DecodeWithQt(bytes, formatHint, false, limits);
    } catch (const QtDecodeError& e) {
        throw LoadError(displayName, e.what());
    }
}

PictureSurface LoadPicture(const std::string& path, const LoadLimits& limits) {
    PictureSurface picture;
    loadPicture(path, limits, picture);
    return picture;
}

void LoadPictureArgumentInto(const std::string& argument, const LoadLimits& limits, PictureSurface& picture) {
    if (argument != "-")
        return loadPicture(argument, limits, picture);
    static const std::string kStandardInput = "standard input";
    if (::isatty(STDIN_FILENO))
        throw LoadError(kStandardInput, "it is a terminal; send a picture into it with < or a pipe");
    loadFromDescriptor(STDIN_FILENO, false, {}, kStandardInput, limits, picture);
}

} // namespace quadfind
