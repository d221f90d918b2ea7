#include "format_checks.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <zlib.h>

namespace quadfind {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw QtDecodeError(why);
}

std::uint32_t be32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}
std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

// Qt's GIF decoder shows whatever rows a cut file holds as if they were the
// whole picture, without a word. Walking the blocks to the trailer is cheap
// and tells a cut file from a whole one.
void checkGifReachesTrailer(std::span<const std::uint8_t> b) {
    const std::size_t n = b.size();
    auto cut = [] { refuse("the GIF data ends before its trailer (the file is cut short)"); };
    auto skipColourTable = [&](std::size_t& pos, std::uint8_t flags) {
        if (flags & 0x80)
            pos += std::size_t(3) << ((flags & 7) + 1);
    };
    auto skipSubBlocks = [&](std::size_t& pos) {
        for (;;) {
            if (pos >= n)
                cut();
            const std::size_t length = b[pos++];
            if (length == 0)
                return;
            pos += length;
        }
    };
    if (n < 13)
        cut();
    std::size_t pos = 13;
    skipColourTable(pos, b[10]);
    for (;;) {
        if (pos >= n)
            cut();
        switch (b[pos]) {
        case 0x3B: return;
        case 0x21: // extension: label, then sub-blocks
            pos += 2;
            skipSubBlocks(pos);
            break;
        case 0x2C: { // image: descriptor, colour table, code size, sub-blocks
            if (n - pos < 11)
                cut();
            const std::uint8_t flags = b[pos + 9];
            pos += 10;
            skipColourTable(pos, flags);
            skipSubBlocks(++pos);
            break;
        }
        default:
            refuse("the GIF data holds an unknown block (byte " + std::to_string(b[pos]) + " at " +
                   std::to_string(pos) + ")");
        }
    }
}

// Qt's GIF decoder also shows, without a word, a picture whose compressed
// pixel data stops early or goes wrong inside blocks that reach the trailer.
// giflib decodes the first image, the one Qt shows, a row at a time into one
// row's buffer (its rows in file order, interlaced or not, which is all a
// check needs), and says what is wrong: one more decode of that image, as
// long as Qt's own. Called only once the size is within the limit.
void checkGifPixelData(std::span<const std::uint8_t> b) {
    struct Source {
        std::span<const std::uint8_t> bytes;
        std::size_t at = 0;
    } source{b};
    const InputFunc read = [](GifFileType* file, GifByteType* out, int size) {
        Source& s = *static_cast<Source*>(file->UserData);
        const std::size_t n = std::min(std::size_t(size), s.bytes.size() - s.at);
        std::memcpy(out, s.bytes.data() + s.at, n);
        s.at += n;
        return int(n);
    };
    const auto close = [](GifFileType* file) {
        int ignored = 0;
        DGifCloseFile(file, &ignored);
    };
    int error = 0;
    const std::unique_ptr<GifFileType, decltype(close)> gif(DGifOpen(&source, read, &error), close);
    auto failed = [&](int code) {
        if (code == D_GIF_ERR_NOT_ENOUGH_MEM)
            throw std::bad_alloc();
        const std::string cause = std::string(" (giflib: ") + GifErrorString(code) + ")";
        if (code == D_GIF_ERR_EOF_TOO_SOON)
            refuse("the GIF's pixel data ends before the picture is complete" + cause);
        refuse("the GIF's pixel data is damaged" + cause);
    };
    if (!gif)
        failed(error);
    for (GifRecordType record = UNDEFINED_RECORD_TYPE; record != TERMINATE_RECORD_TYPE;) {
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            failed(gif->Error);
        if (record == EXTENSION_RECORD_TYPE) {
            int label = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &label, &block) == GIF_ERROR)
                failed(gif->Error);
            while (block)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    failed(gif->Error);
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
                failed(gif->Error);
            std::vector<GifPixelType> row(std::size_t(std::max(gif->Image.Width, 1)));
            for (int y = 0; y < gif->Image.Height; ++y)
                if (DGifGetLine(gif.get(), row.data(), gif->Image.Width) == GIF_ERROR)
                    failed(gif->Error);
            return;
        }
    }
}

// What libpng would refuse in the header, refused here for the same reason
// as below.
void checkPngHeader(std::span<const std::uint8_t> ihdr) {
    if (ihdr.empty())
        refuse("the PNG data does not start with its 13-byte IHDR chunk");
    const std::uint32_t w = be32(ihdr, 0), h = be32(ihdr, 4);
    const unsigned depth = ihdr[8], colour = ihdr[9];
    const bool depthFits = colour == 0   ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                           : colour == 3 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                                         : (colour == 2 || colour == 4 || colour == 6) && (depth == 8 || depth == 16);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF || !depthFits || ihdr[10] != 0 || ihdr[11] != 0 ||
        ihdr[12] > 1)
        refuse("the PNG header is invalid (size " + std::to_string(w) + " x " + std::to_string(h) + ", bit depth " +
               std::to_string(depth) + ", colour type " + std::to_string(colour) + ")");
}

// libpng prints its errors (a cut file's "Read Error", a failed checksum,
// a chunk out of place or unknown to it) straight to stderr, past Qt's
// message log, and Qt's reader lets it. A file cut short or with a damaged
// chunk is refused here before libpng sees it.
void checkPngChunks(std::span<const std::uint8_t> b) {
    const std::size_t n = b.size();
    std::size_t pos = 8;
    bool pixels = false, palette = false, paletteIndices = false;
    for (;;) {
        if (n - pos < 12)
            refuse("the PNG data ends before its IEND chunk (the file is cut short)");
        const std::uint32_t length = be32(b, pos);
        if (length > n - pos - 12)
            refuse("the PNG data ends inside a chunk (the file is cut short)");
        const std::uint8_t* type = b.data() + pos + 4;
        const std::string at = " at byte " + std::to_string(pos);
        if (!std::all_of(type, type + 4, [](std::uint8_t c) { return unsigned((c | 0x20) - 'a') < 26; }))
            refuse("the PNG data holds a chunk whose type is not four letters" + at);
        const std::string name(reinterpret_cast<const char*>(type), 4);
        const uLong crc = ::crc32(::crc32(0L, nullptr, 0), type, uInt(length + 4));
        if (crc != be32(b, pos + 8 + length))
            refuse("the PNG chunk " + name + at + " fails its checksum");
        if (pos == 8) {
            checkPngHeader(name == "IHDR" && length == 13 ? b.subspan(pos + 8, 13) : std::span<const std::uint8_t>());
            paletteIndices = b[25] == 3; // IHDR's colour type
        } else if (name == "IHDR") {
            refuse("the PNG data holds a second IHDR chunk" + at);
        }
        if ((type[0] & 0x20) == 0 && name != "IHDR" && name != "PLTE" && name != "IDAT" && name != "IEND")
            refuse("the PNG data holds a chunk " + name + at + " that a reader must understand, and this one does not");
        if (name == "PLTE") {
            if (palette)
                refuse("the PNG data holds a second PLTE chunk" + at);
            if (paletteIndices && (length == 0 || length % 3 != 0 || length > 3 * 256))
                refuse("the PNG's palette (PLTE chunk) is invalid: " + std::to_string(length) +
                       " bytes, not 3 for each of 1 to 256 colours");
            palette = true;
        }
        if (name == "IDAT") {
            if (paletteIndices && !palette)
                refuse("the PNG's palette (PLTE chunk) is missing: its pixels are palette indices");
            pixels = true;
        }
        if (name == "IEND") {
            if (!pixels)
                refuse("the PNG data has no IDAT chunk");
            return;
        }
        pos += 12 + length;
    }
}

// The rows a PNG's inflated pixel data must hold, each a filter byte and
// then its packed pixels: one run of rows, or seven for Adam7, whose empty
// passes (a picture narrower or lower than a pass's step) have no rows at
// all.
class PngRows {
public:
    explicit PngRows(std::span<const std::uint8_t> ihdr) {
        static constexpr std::uint64_t kChannels[] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
        const std::uint64_t width = be32(ihdr, 0), height = be32(ihdr, 4);
        const std::uint64_t bits = ihdr[8] * kChannels[ihdr[9]];
        auto add = [&](std::uint64_t x0, std::uint64_t y0, std::uint64_t dx, std::uint64_t dy) {
            const std::uint64_t w = width > x0 ? (width - x0 + dx - 1) / dx : 0;
            const std::uint64_t h = height > y0 ? (height - y0 + dy - 1) / dy : 0;
            if (w > 0 && h > 0)
                passes_[count_++] = {h, (w * bits + 7) / 8};
        };
        if (ihdr[12] == 0) {
            add(0, 0, 1, 1);
        } else {
            static constexpr std::uint64_t kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
            for (const auto& pass : kAdam7)
                add(pass[0], pass[1], pass[2], pass[3]);
        }
    }

    // Takes the next `size` inflated bytes; false when they run past the
    // last row.
    bool take(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            if (left_ == 0) {
                while (rowsLeft_ == 0) {
                    if (next_ == count_)
                        return false;
                    rowsLeft_ = passes_[next_].rows;
                    rowBytes_ = passes_[next_++].rowBytes;
                }
                if (*data > 4)
                    refuse("the PNG's pixel data is damaged (a row has filter type " + std::to_string(*data) +
                           "; only 0 to 4 exist)");
                ++data, --size, --rowsLeft_;
                left_ = rowBytes_;
            }
            const std::size_t step = std::size_t(std::min<std::uint64_t>(left_, size));
            data += step, size -= step, left_ -= step;
        }
        return true;
    }

    bool complete() const { return left_ == 0 && rowsLeft_ == 0 && next_ == count_; }

private:
    struct Pass {
        std::uint64_t rows = 0, rowBytes = 0;
    };
    Pass passes_[7];
    std::size_t count_ = 0, next_ = 0;
    std::uint64_t rowsLeft_ = 0, rowBytes_ = 0, left_ = 0;
};

// libpng prints a damaged zlib stream ("IDAT: incorrect data check"), too
// few rows ("Not enough image data") and a bad row filter straight to stderr
// too, and none of them is seen from the chunks. So the pixel data of a PNG
// whose chunks passed is inflated once here, through a small buffer: one
// more inflate pass over the picture, as long as libpng's own, and no
// memory that grows with the picture. Called only once its size is within
// the limit, so that the pass is bounded.
void checkPngPixelData(std::span<const std::uint8_t> b) {
    PngRows rows(b.subspan(16, 13));
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, inflateEnd);
    std::uint8_t out[16384];
    int status = Z_OK;
    auto tooLong = [] { refuse("the PNG's pixel data holds more than its header's picture size needs"); };
    for (std::size_t pos = 8; std::memcmp(b.data() + pos + 4, "IEND", 4) != 0; pos += 12 + be32(b, pos)) {
        if (std::memcmp(b.data() + pos + 4, "IDAT", 4) != 0)
            continue;
        z.next_in = const_cast<Bytef*>(b.data() + pos + 8);
        z.avail_in = be32(b, pos);
        if (status == Z_STREAM_END && z.avail_in > 0)
            tooLong();
        while (status != Z_STREAM_END && (z.avail_in > 0 || z.avail_out == 0)) {
            z.next_out = out;
            z.avail_out = sizeof out;
            status = inflate(&z, Z_NO_FLUSH);
            if (status == Z_MEM_ERROR)
                throw std::bad_alloc();
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                refuse(std::string("the PNG's compressed pixel data is damaged (zlib: ") +
                       (z.msg ? z.msg : zError(status)) + ")");
            if (!rows.take(out, sizeof out - z.avail_out))
                tooLong();
        }
        if (status == Z_STREAM_END && z.avail_in > 0)
            tooLong();
    }
    if (status != Z_STREAM_END || !rows.complete())
        refuse("the PNG's pixel data ends early (the file is cut short or damaged)");
}

// libjpeg notices a cut file only after the whole picture is allocated, and
// then fills the rest with grey. The segments before the first scan carry
// their lengths (an EXIF thumbnail, with its own end marker, is inside one);
// from the scan on, a byte 0xFF in the data is always followed by 0x00 or a
// restart marker, so a whole file has its end marker FF D9 after that point.
void checkJpegEnds(std::span<const std::uint8_t> b) {
    const std::size_t n = b.size();
    auto cut = [] { refuse("the JPEG data ends before its end marker (the file is cut short)"); };
    std::size_t pos = 2;
    for (;;) {
        while (pos < n && b[pos] == 0xFF)
            ++pos; // fill bytes before a marker
        if (pos + 2 >= n)
            cut();
        const std::uint8_t marker = b[pos];
        if (marker == 0xD9)
            refuse("the JPEG data ends before its first scan");
        const std::size_t length = std::size_t(b[pos + 1]) << 8 | b[pos + 2];
        pos += 1 + length;
        if (marker == 0xDA)
            break;
    }
    for (; pos + 1 < n; ++pos)
        if (b[pos] == 0xFF && b[pos + 1] == 0xD9)
            return;
    cut();
}

// Qt's XBM reader keeps what it has when the numbers stop early.
void checkXbmClosed(std::span<const std::uint8_t> b) {
    std::size_t end = b.size();
    while (end > 0 && std::isspace(b[end - 1]))
        --end;
    if (end == 0 || (b[end - 1] != ';' && b[end - 1] != '}'))
        refuse("the XBM data ends before its closing brace (the file is cut short)");
}

// The directory of an icon says 0 (meaning 256) for anything larger, and Qt
// decodes the PNG or bitmap inside at whatever size it declares: each is
// held to the limit here.
void checkIconSizes(std::span<const std::uint8_t> b, const LoadLimits& limits) {
    if (b.size() < 6)
        return; // Qt refuses it
    const std::size_t count = std::size_t(b[4] | b[5] << 8);
    for (std::size_t i = 0; i < count && 6 + 16 * (i + 1) <= b.size(); ++i) {
        const std::uint64_t at = le32(b, 6 + 16 * i + 12);
        if (at + 24 > b.size())
            continue;
        static constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (std::memcmp(b.data() + at, kPng, sizeof kPng) == 0) {
            const std::uint32_t w = be32(b, std::size_t(at) + 16), h = be32(b, std::size_t(at) + 20);
            if (!limits.allows(w, h))
                refuse("an icon in it holds a PNG picture: " + limits.tooLarge(w, h));
            try {
                checkPngChunks(b.subspan(std::size_t(at)));
                checkPngPixelData(b.subspan(std::size_t(at)));
            } catch (const QtDecodeError& e) {
                refuse(std::string("an icon in it holds damaged PNG data: ") + e.what());
            }
        } else {
            // A bitmap without its file header; the height counts the mask too.
            const std::int64_t w = std::int32_t(le32(b, std::size_t(at) + 4));
            const std::int64_t h = std::int32_t(le32(b, std::size_t(at) + 8));
            const std::uint64_t aw = std::uint64_t(w < 0 ? -w : w), ah = std::uint64_t(h < 0 ? -h : h) / 2;
            if (!limits.allows(aw, ah))
                refuse("an icon in it holds a bitmap: " + limits.tooLarge(aw, ah));
        }
    }
}

} // namespace

void CheckStructure(std::span<const std::uint8_t> bytes, std::string_view format, const LoadLimits& limits) {
    if (format == "gif")
        checkGifReachesTrailer(bytes);
    if (format == "ico" || format == "cur")
        checkIconSizes(bytes, limits);
    if (format == "png")
        checkPngChunks(bytes);
    if (format == "xbm")
        checkXbmClosed(bytes);
    if (format == "jpeg" || format == "jpg")
        checkJpegEnds(bytes);
}

void CheckPixelData(std::span<const std::uint8_t> bytes, std::string_view format) {
    if (format == "png")
        checkPngPixelData(bytes);
    if (format == "gif")
        checkGifPixelData(bytes);
}

} // namespace quadfind
