#include "fax_decoder.h"

#include "bmp_reader.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <span>
#include <string>

#include <tiffio.h>

namespace quadfind {

namespace {

// libtiff's decoder reads the code from a TIFF file, so the stream is wrapped
// in the smallest one, in memory: one strip, 1 bit per pixel, no 2D coding.
// libtiff looks for an EOL before each row, where a bitmap has one after
// each: one is put in front when the stream lacks it. Bits are taken most
// significant first. A white run decodes to index 0, a black one to 1.
struct FaxSource {
    std::vector<std::uint8_t> tiff;
    std::size_t pos = 0;
    std::string problem;
};

tmsize_t faxRead(thandle_t handle, void* buffer, tmsize_t n) {
    auto& s = *static_cast<FaxSource*>(handle);
    const std::size_t k = std::min<std::size_t>(std::size_t(n), s.tiff.size() - std::min(s.pos, s.tiff.size()));
    std::copy_n(s.tiff.data() + s.pos, k, static_cast<std::uint8_t*>(buffer));
    s.pos += k;
    return tmsize_t(k);
}
tmsize_t faxWrite(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t faxSeek(thandle_t handle, toff_t offset, int whence) {
    auto& s = *static_cast<FaxSource*>(handle);
    const toff_t base = whence == SEEK_CUR ? s.pos : whence == SEEK_END ? s.tiff.size() : 0;
    s.pos = std::size_t(base + offset);
    return s.pos;
}
int faxClose(thandle_t) {
    return 0;
}
toff_t faxSize(thandle_t handle) {
    return static_cast<FaxSource*>(handle)->tiff.size();
}
int faxMap(thandle_t, void**, toff_t*) {
    return 0;
}
void faxUnmap(thandle_t, void*, toff_t) {}

// libtiff's errors and warnings (a row too long or too short, a bad code)
// all mean a damaged stream; the first is kept for the message. The format
// strings are libtiff's own.
[[gnu::format(printf, 4, 0)]] int faxProblem(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto& s = *static_cast<FaxSource*>(user);
    if (s.problem.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        s.problem = text;
    }
    return 1;
}

std::vector<std::uint8_t> faxTiff(std::span<const std::uint8_t> stream, std::uint32_t width, std::uint32_t height) {
    // The first 11 bits all zero: the stream starts with an EOL of its own.
    const bool leadingEol = stream.size() >= 2 && stream[0] == 0 && (stream[1] & 0xE0) == 0;
    const std::uint8_t eol[] = {0x00, 0x01};
    const std::uint32_t strip = leadingEol ? 0 : 2;
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    const Entry entries[] = {
        {256, 4, width},
        {257, 4, height},
        {258, 3, 1},
        {259, 3, COMPRESSION_CCITTFAX3},
        {262, 3, PHOTOMETRIC_MINISWHITE},
        {266, 3, FILLORDER_MSB2LSB},
        {273, 4, 0},
        {277, 3, 1},
        {278, 4, height},
        {279, 4, std::uint32_t(stream.size()) + strip},
        {292, 4, 0},
    };
    constexpr std::size_t kCount = sizeof entries / sizeof entries[0];
    const std::uint32_t dataAt = 8 + 2 + 12 * kCount + 4;
    std::vector<std::uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0, kCount, 0};
    auto le = [&t](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            t.push_back(std::uint8_t(v >> (8 * i)));
    };
    for (const Entry& e : entries) {
        le(e.tag, 2);
        le(e.type, 2);
        le(1, 4);
        le(e.tag == 273 ? dataAt : e.value, e.type == 3 ? 2 : 4);
        if (e.type == 3)
            le(0, 2);
    }
    le(0, 4);
    if (!leadingEol)
        t.insert(t.end(), std::begin(eol), std::end(eol));
    t.insert(t.end(), stream.begin(), stream.end());
    return t;
}

} // namespace

std::vector<std::uint8_t> DecodeHuffman1D(std::span<const std::uint8_t> stream, std::uint32_t width,
                                          std::uint32_t height) {
    if (stream.size() > 0xFFFF0000u)
        throw BmpError("the Huffman 1D stream is longer than 4 GB");
    FaxSource source;
    source.tiff = faxTiff(stream, width, height);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, faxProblem, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options, faxProblem, &source);
    TIFF* tiff = TIFFClientOpenExt("bitmap", "rm", &source, faxRead, faxWrite, faxSeek, faxClose, faxSize, faxMap,
                                   faxUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        throw BmpError("the Huffman 1D stream cannot be decoded: " + source.problem);
    const std::size_t rowBytes = (std::size_t(width) + 7) / 8;
    std::vector<std::uint8_t> rows(rowBytes * height);
    for (std::uint32_t row = 0; row < height && source.problem.empty(); ++row)
        if (TIFFReadScanline(tiff, rows.data() + std::size_t(row) * rowBytes, row, 0) < 0 && source.problem.empty())
            source.problem = "row " + std::to_string(row) + " cannot be read";
    TIFFClose(tiff);
    if (!source.problem.empty())
        throw BmpError("the Huffman 1D stream is damaged: " + source.problem);
    return rows;
}

} // namespace quadfind
