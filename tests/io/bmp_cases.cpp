#include "bmp_cases.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <tiffio.h>
#include <unistd.h>

namespace quadfind::testing {

namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;

// Rows are written top first here; a bottom-up file stores them the other way.
Rows flipped(Rows rows) {
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<Colour> lookUp(const std::vector<Colour>& palette, const Rows& topFirst) {
    std::vector<Colour> out;
    for (const auto& row : topFirst)
        for (const std::uint32_t i : row)
            out.push_back(palette[i]);
    return out;
}

// Distinct colours with every channel different.
Colour ramp(std::uint32_t i) {
    return (i & 0xFF) | ((255 - (i & 0xFF)) << 8) | ((i * 37 + 11) & 0xFF) << 16;
}

std::vector<Colour> ramps(std::uint32_t n) {
    std::vector<Colour> out;
    for (std::uint32_t i = 0; i < n; ++i)
        out.push_back(ramp(i));
    return out;
}

const std::vector<Colour> kFour = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};

ValidBmp indexedCase(std::string name, Bmp bmp, const std::vector<Colour>& palette, const Rows& topFirst) {
    bmp.width = int(topFirst[0].size());
    const int rows = int(topFirst.size());
    bmp.height = bmp.height < 0 ? -rows : rows;
    bmp.palette = palette;
    bmp.pixels = packRows(bmp.bits, bmp.height < 0 ? topFirst : flipped(topFirst));
    const std::vector<Colour> expected = lookUp(palette, topFirst);
    return {std::move(name), bmp.bytes(), bmp.width, rows, expected};
}

// One row of 16- or 32-bit words and the colours they must give.
ValidBmp wordsCase(std::string name, Bmp bmp, const std::vector<std::uint32_t>& words, std::vector<Colour> expected) {
    bmp.width = int(words.size());
    bmp.height = 1;
    bmp.pixels = packRows(bmp.bits, {words});
    return {std::move(name), bmp.bytes(), bmp.width, 1, std::move(expected)};
}

Bmp header(std::uint32_t size, std::uint16_t bits, std::uint32_t compression = 0) {
    Bmp b;
    b.headerSize = size;
    b.bits = bits;
    b.compression = compression;
    return b;
}

Bmp withUsed(Bmp b, std::uint32_t used) {
    b.coloursUsed = used;
    return b;
}

Bmp withMasks(Bmp b, std::vector<std::uint32_t> masks) {
    b.masks = std::move(masks);
    return b;
}

Bmp topDown(Bmp b) {
    b.height = -1;
    return b;
}

// RLE8, 6 x 4: a run and an absolute run, a delta over a whole row and more,
// a run, an end of line after the last row, then end of bitmap.
ValidBmp rle8Case(std::string name, std::uint32_t headerSize) {
    Bmp b = header(headerSize, 8, 1);
    b.width = 6;
    b.height = 4;
    b.palette = kFour;
    b.pixels = {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 2, 1, 2, 3, 0, 0, 6, 2, 0, 0, 0, 1};
    return {std::move(name), b.bytes(), 6, 4,
            lookUp(kFour, {{2, 2, 2, 2, 2, 2}, {0, 0, 3, 3, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 2}})};
}

ValidBmp rle4Case() {
    Bmp b = header(40, 4, 2);
    b.width = 7;
    b.height = 2;
    b.coloursUsed = 4;
    b.palette = kFour;
    // Row 0: run of 3 alternating 1, 2; absolute 3, 0, 2 (even, no pad); run of
    // one 3; end of line. Row 1: absolute of 5 (3 bytes + pad), end of bitmap.
    b.pixels = {3, 0x12, 0, 3, 0x30, 0x20, 1, 0x3F, 0, 0, 0, 5, 0x11, 0x33, 0x20, 0, 0, 1};
    return {"Rle4AbsoluteOddAndEarlyEnd", b.bytes(), 7, 2, lookUp(kFour, {{1, 1, 3, 3, 2, 0, 0}, {1, 2, 1, 3, 0, 2, 3}})};
}

ValidBmp rle8EarlyEnd() {
    Bmp b = header(40, 8, 1);
    b.width = 4;
    b.height = 3;
    b.palette = {0x445566, 0x778899};
    b.coloursUsed = 2;
    b.pixels = {4, 1, 0, 1};
    const Colour c0 = 0x445566, c1 = 0x778899;
    return {"Rle8EndOfBitmapFirstRowOnly", b.bytes(), 4, 3, {c0, c0, c0, c0, c0, c0, c0, c0, c1, c1, c1, c1}};
}

void putTriple(Bytes& out, Colour c) {
    out.push_back(std::uint8_t(c >> 16));
    out.push_back(std::uint8_t(c >> 8));
    out.push_back(std::uint8_t(c));
}

// RLE24, 5 x 3, bottom row first: a run, an absolute run of three (nine
// bytes and a pad byte), end of line; a delta over the rest of the middle
// row to (2, top); a run; end of bitmap. Skipped pixels stay black.
ValidBmp rle24Case() {
    Bmp b = header(64, 24, 4);
    b.width = 5;
    b.height = 3;
    const Colour a = 0x102030, c1 = 0x405060, c2 = 0x708090, c3 = 0xA0B0C0, e = 0xD0E0F0, k = 0;
    Bytes& s = b.pixels;
    s.push_back(2);
    putTriple(s, a);
    s.insert(s.end(), {0, 3});
    for (const Colour c : {c1, c2, c3})
        putTriple(s, c);
    s.insert(s.end(), {0, 0, 0, 0, 2, 2, 1, 3});
    putTriple(s, e);
    s.insert(s.end(), {0, 1});
    return {"Os2v2Rle24", b.bytes(), 5, 3, {k, k, e, e, e, k, k, k, k, k, a, a, c1, c2, c3}};
}

// 64 bits: B, G, R, A in s2.13 linear light (8192 is 1.0). Expected values
// by hand from the sRGB curve: 0.5 gives 187.5 -> 188, 0.25 gives 137,
// 16 / 8192 gives 6.43 -> 6; below 0 is 0 and above 1 is 255.
ValidBmp sixtyFourBitCase() {
    Bmp b = header(40, 64);
    b.width = 3;
    b.height = 2;
    struct Pixel {
        std::uint16_t blue, green, red, alpha;
    };
    const Pixel rows[2][3] = {
        {{0x1000, 0x1000, 0x1000, 0}, {0x0010, 0x0800, 0x2000, 0x1234}, {0x0000, 0x0001, 0x7FFF, 0xFFFF}}, // bottom
        {{0x2000, 0x1000, 0x0000, 0x2000}, {0xE000, 0x3000, 0x0010, 0x8000}, {0x0800, 0x1FFF, 0x2001, 0}},
    };
    for (const auto& row : rows)
        for (const Pixel& p : row)
            for (const std::uint16_t v : {p.blue, p.green, p.red, p.alpha}) {
                b.pixels.push_back(std::uint8_t(v));
                b.pixels.push_back(std::uint8_t(v >> 8));
            }
    return {"SixtyFourBitsLinear", b.bytes(), 3, 2,
            {0xFFBC00, 0x00FF06, 0x89FFFF, 0xBCBCBC, 0x0689FF, 0x0000FF}};
}

// A CCITT Group 3 one-dimensional stream as libtiff writes it for a TIFF
// strip (an EOL before every row and six at the end). With fillBits the
// EOLs are byte-aligned, so the first (bytes 00 01) can be dropped to give
// the other form: each row followed by its EOL.
Bytes faxStream(const std::vector<std::vector<std::uint32_t>>& rows, bool fillBits) {
    char name[] = "/tmp/quadfind-fax-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary file for libtiff");
    ::close(fd);
    const std::uint32_t width = std::uint32_t(rows[0].size());
    TIFF* out = TIFFOpen(name, "w");
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, std::uint32_t(rows.size()));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, std::uint32_t(rows.size()));
    TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, fillBits ? GROUP3OPT_FILLBITS : 0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        Bytes line = packRows(1, {rows[y]});
        TIFFWriteScanline(out, line.data(), std::uint32_t(y), 0);
    }
    TIFFClose(out);
    TIFF* in = TIFFOpen(name, "r");
    Bytes stream(std::size_t(TIFFRawStripSize(in, 0)));
    TIFFReadRawStrip(in, 0, stream.data(), tmsize_t(stream.size()));
    TIFFClose(in);
    std::remove(name);
    if (fillBits)
        stream.erase(stream.begin(), stream.begin() + 2);
    return stream;
}

ValidBmp huffmanCase(std::string name, bool eolAfterRows) {
    // Runs of every length from 1 to 70 across the rows, and rows that start
    // black (a white run of 0) or are one colour throughout.
    std::vector<std::vector<std::uint32_t>> rows;
    const std::size_t width = 75;
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
        std::vector<std::uint32_t> row;
        std::uint32_t colour = seed % 2, run = seed * 13 + 1;
        while (row.size() < width) {
            for (std::uint32_t i = 0; i < run && row.size() < width; ++i)
                row.push_back(colour);
            colour ^= 1;
            run = run * 7 % 71 + 1;
        }
        rows.push_back(row);
    }
    rows.push_back(std::vector<std::uint32_t>(width, 0));
    rows.push_back(std::vector<std::uint32_t>(width, 1));
    Bmp b = header(64, 1, 3);
    b.width = int(width);
    b.height = int(rows.size());
    const std::vector<Colour> palette = {0xF0F0E0, 0x102030};
    b.palette = palette;
    b.pixels = faxStream(flipped(rows), eolAfterRows);
    return {std::move(name), b.bytes(), b.width, b.height, lookUp(palette, rows)};
}

} // namespace

std::vector<ValidBmp> ValidBmps() {
    std::vector<ValidBmp> v;
    const std::vector<Colour> two = {0x102030, 0xA0B0C0};
    v.push_back(indexedCase("Info1BitPaddedRows", header(40, 1), two,
                            {{0, 1, 1, 0, 0, 0, 0, 0, 1}, {1, 0, 1, 0, 1, 0, 1, 0, 1}}));
    v.push_back(indexedCase("Info2Bit", header(40, 2), kFour, {{3, 2, 1, 0, 3}}));
    v.push_back(indexedCase("Info4BitShortPaletteTopDown", topDown(withUsed(header(40, 4), 3)), ramps(3),
                            {{2, 1, 0}, {0, 2, 1}}));
    v.push_back(indexedCase("Info8BitPaletteLongerThanNeeded", withUsed(header(40, 8), 300), ramps(300),
                            {{255, 0, 7}}));
    v.push_back(indexedCase("Os2v1EightBitShortPalette", header(12, 8), ramps(3), {{2, 1}, {0, 2}}));
    v.push_back(indexedCase("Os2v1OneBit", header(12, 1), two, {{1, 0, 1}}));
    v.push_back(indexedCase("Os2v2SixteenByteHeader4Bit", header(16, 4), ramps(16), {{15, 0, 9, 4}}));
    v.push_back(indexedCase("Os2v2FullHeader8Bit", header(64, 8), ramps(256), {{200, 100}, {1, 0}}));
    v.push_back(indexedCase("V5Header8Bit", header(124, 8), ramps(256), {{3, 4, 5}}));
    v.push_back(rle8Case("Rle8DeltaEndOfLineEndOfBitmap", 40));
    v.push_back(rle8Case("Os2v2Rle8", 64));
    v.push_back(rle4Case());
    v.push_back(rle8EarlyEnd());
    v.push_back(rle24Case());
    v.push_back(sixtyFourBitCase());
    v.push_back(huffmanCase("Os2v2Huffman1DEolBeforeRows", false));
    v.push_back(huffmanCase("Os2v2Huffman1DEolAfterRows", true));

    // 5-5-5: 31 is 255, 16 is 132, 1 is 8; the top bit is not a colour.
    v.push_back(wordsCase("Rgb16Default555", header(40, 16), {0x7C00, 16u << 5, 0x0001, 0xBFFE},
                          {0x0000FF, 0x008400, 0x080000, 0xF7FF7B}));
    // 5-6-5: 63 of 6 bits is 255, 32 is 130.
    v.push_back(wordsCase("BitFields565", withMasks(header(40, 16, 3), {0xF800, 0x07E0, 0x001F}),
                          {0x07E0, 0x8400, 0x081F}, {0x00FF00, 0x008284, 0xFF0008}));
    v.push_back(wordsCase("AlphaBitFields4444", withMasks(header(40, 16, 6), {0x0F00, 0x00F0, 0x000F, 0xF000}),
                          {0xF8C3, 0x0F0F}, {0x33CC88, 0xFF00FF}));
    v.push_back(wordsCase("OneBitChannels", withMasks(header(40, 16, 3), {0x0004, 0x0002, 0x0001}),
                          {0x0005, 0x0002, 0xFFF8}, {0xFF00FF, 0x00FF00, 0x000000}));
    v.push_back(wordsCase("Rgb32TopByteIgnored", header(40, 32), {0xAB102030, 0xFFFFFFFF}, {0x302010, 0xFFFFFF}));
    // 10-10-10-2: 512 is 128, 3 is 1, 2 is 0, 341 is 85.
    v.push_back(wordsCase("V3BitFields1010102",
                          withMasks(header(56, 32, 3), {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}),
                          {0xFFF80003, 0x002FFC04, 0x155003FE}, {0x0180FF, 0x01FF00, 0xFF0055}));
    // 11-11-10: 1024 of 11 bits is 128, 511 of 10 is 127, 8 of 11 is 1.
    v.push_back(wordsCase("V4BitFields111110", withMasks(header(108, 32, 3), {0xFFE00000, 0x001FFC00, 0x000003FF}),
                          {0x801FFDFF, 0x01001002}, {0x7FFF80, 0x000001}));
    // 6-17-5-4: 65536 of 17 bits is 128; 257 gives 0.499996 and 258 0.50194.
    v.push_back(wordsCase("V5BitFields61754",
                          withMasks(header(124, 32, 3), {0x0FC00000, 0x003FFFE0, 0x0000001F, 0xF0000000}),
                          {0xFFE00010, 0x007FFFE0, 257u << 5, 258u << 5}, {0x8480FF, 0x00FF04, 0x000000, 0x000100}));
    // 12-12-8: 2048 of 12 bits is 128, 9 is 1, 8 is 0.
    v.push_back(wordsCase("V2BitFields12128", withMasks(header(52, 32, 3), {0xFFF00000, 0x000FFF00, 0x000000FF}),
                          {0x800FFF12, 0x008009FF}, {0x12FF80, 0xFF0100}));
    v.push_back(wordsCase("V4RgbIgnoresHeaderMasks", withMasks(header(108, 32, 0), {0xF, 0xF, 0xF, 0xF}),
                          {0x00112233}, {0x332211}));

    {
        Bmp b = header(40, 24);
        b.coloursUsed = 2;
        b.palette = {0x111111, 0x222222};
        b.gap = 6;
        b.width = b.height = 2;
        b.pixels = packRows(24, {{0x0000FF, 0x00FF00}, {0xFF0000, 0x123456}});
        v.push_back({"Rgb24WithPaletteAndGap", b.bytes(), 2, 2, {0xFF0000, 0x123456, 0x0000FF, 0x00FF00}});
    }
    {
        Bmp b = header(40, 24);
        b.width = 3;
        b.height = -2;
        b.pixels = packRows(24, {{0x010203, 0x040506, 0x070809}, {0x0A0B0C, 0x0D0E0F, 0x101112}});
        v.push_back({"Rgb24TopDownPadded", b.bytes(), 3, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}});
    }
    {
        // Some writers stop after the last pixel, without the last row's padding.
        Bmp b = header(40, 24);
        b.width = 1;
        b.height = 2;
        b.pixels = packRows(24, {{0xABCDEF}, {0x123456}});
        b.pixels.resize(b.pixels.size() - 1);
        v.push_back({"Rgb24LastRowUnpadded", b.bytes(), 1, 2, {0x123456, 0xABCDEF}});
    }
    {
        // Fields that describe nothing the pixels need may say anything.
        Bmp b = header(40, 24);
        b.width = 2;
        b.pixels = packRows(24, {{0x0000FF, 0xFF0000}});
        Bytes file = b.bytes();
        put32(file, 2, 0xFFFFFFFF);      // file size
        put32(file, 14 + 20, 1);         // image size
        put32(file, 14 + 24, 0x80000000); // densities
        put32(file, 14 + 28, 0xFFFFFFFF);
        put32(file, 14 + 36, 1000);      // important colours
        v.push_back({"Rgb24LyingSizeFields", file, 2, 1, {0x0000FF, 0xFF0000}});
    }
    {
        // An embedded profile in the gap before the pixels: colours stay as stored.
        Bmp b = header(124, 24);
        b.width = 1;
        b.gap = 16;
        b.pixels = packRows(24, {{0x336699}});
        Bytes file = b.bytes();
        put32(file, 14 + 56, 0x4D424544); // 'MBED'
        put32(file, 14 + 112, 124);       // profile right after the header
        put32(file, 14 + 116, 16);
        for (std::size_t i = 0; i < 16; ++i)
            file[14 + 124 + i] = std::uint8_t(0xA0 + i);
        v.push_back({"V5EmbeddedProfileIgnored", file, 1, 1, {0x336699}});
    }
    return v;
}

std::vector<BrokenBmp> BrokenBmps() {
    std::vector<BrokenBmp> v;
    auto small24 = [] {
        Bmp b = header(40, 24);
        b.width = b.height = 2;
        b.pixels = packRows(24, {{1, 2}, {3, 4}});
        return b;
    };
    auto with = [](Bmp b, auto change) {
        change(b);
        return b.bytes();
    };
    auto rle8 = [](Bytes stream, int width = 4, int height = 2) {
        Bmp b = header(40, 8, 1);
        b.width = width;
        b.height = height;
        b.palette = kFour;
        b.coloursUsed = 4;
        b.pixels = std::move(stream);
        return b.bytes();
    };

    Bytes png = small24().bytes();
    png[0] = 0x89;
    png[1] = 'P';
    v.push_back({"NotBm", png, "not a BMP file (it does not start with \"BM\")"});
    v.push_back({"TooShort", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}, "the file ends inside its headers (10 bytes)"});
    v.push_back({"HeaderSize100", with(small24(), [](Bmp& b) { b.headerSize = 100; }), "unknown info header size 100"});
    v.push_back({"HeaderSize8", with(small24(), [](Bmp& b) { b.headerSize = 8; }), "unknown info header size 8"});
    {
        Bytes cut = small24().bytes();
        cut.resize(14 + 30);
        v.push_back({"CutInHeader", cut, "the file ends inside its 40-byte info header"});
    }
    v.push_back({"TwoPlanes", with(small24(), [](Bmp& b) { b.planes = 2; }), "the planes field is 2, not 1"});
    v.push_back({"ThreeBits", with(small24(), [](Bmp& b) { b.bits = 3; }),
                 "the bit count 3 is not 1, 2, 4, 8, 16, 24, 32 or 64"});
    v.push_back({"ZeroBitsUncompressed", with(small24(), [](Bmp& b) { b.bits = 0; }),
                 "the bit count 0 is not 1, 2, 4, 8, 16, 24, 32 or 64"});
    v.push_back({"SixtyFourBitsRle", with(small24(), [](Bmp& b) { b.bits = 64; b.compression = 1; }),
                 "64 bits per pixel with a compression (it takes none)"});
    v.push_back({"Rle8At4Bits", with(small24(), [](Bmp& b) { b.bits = 4; b.compression = 1; }),
                 "RLE8 compression with 4 bits per pixel (it needs 8)"});
    v.push_back({"Rle4At8Bits", with(small24(), [](Bmp& b) { b.bits = 8; b.compression = 2; }),
                 "RLE4 compression with 8 bits per pixel (it needs 4)"});
    v.push_back({"BitFieldsAt24Bits", with(small24(), [](Bmp& b) { b.compression = 3; b.masks = {0xFF0000, 0xFF00, 0xFF}; }),
                 "bit-field compression with 24 bits per pixel (it needs 16 or 32)"});
    v.push_back({"HuffmanAt4Bits", with(small24(), [](Bmp& b) { b.headerSize = 64; b.bits = 4; b.compression = 3; }),
                 "Huffman 1D compression with 4 bits per pixel (it needs 1)"});
    v.push_back({"Rle24At8Bits", with(small24(), [](Bmp& b) { b.headerSize = 64; b.bits = 8; b.compression = 4; }),
                 "RLE24 compression with 8 bits per pixel (it needs 24)"});
    {
        // All ones is no code of either colour.
        Bmp b = header(64, 1, 3);
        b.width = 8;
        b.height = 2;
        b.palette = {0, 0xFFFFFF};
        b.pixels = {0xFF, 0xFF, 0xFF, 0xFF};
        v.push_back({"HuffmanBadCodes", b.bytes(), "the Huffman 1D stream is damaged: Line length mismatch at line 0 of strip 0 (got 9, expected 8)"});
    }
    {
        Bmp b = header(64, 24, 4);
        b.width = 2;
        b.pixels = {2, 0x10, 0x20};
        v.push_back({"Rle24CutInRun", b.bytes(), "the RLE stream ends inside a run"});
    }
    v.push_back({"CompressionNine", with(small24(), [](Bmp& b) { b.compression = 9; }), "unknown compression 9"});
    v.push_back({"Cmyk", with(small24(), [](Bmp& b) { b.compression = 11; }), "unsupported: CMYK compression 11"});
    v.push_back({"AbsurdPalette", with(small24(), [](Bmp& b) { b.bits = 8; b.coloursUsed = 0x40000000; b.palette = {1, 2}; }),
                 "the palette of 1073741824 colours does not fit before the pixel data (room for 2)"});
    v.push_back({"NoPalette", with(small24(), [](Bmp& b) { b.bits = 8; }), "no palette for a picture of 8 bits per pixel"});
    v.push_back({"WidthZero", with(small24(), [](Bmp& b) { b.width = 0; }), "the width 0 is not positive"});
    v.push_back({"WidthNegative", with(small24(), [](Bmp& b) { b.width = -5; }), "the width -5 is not positive"});
    v.push_back({"HeightZero", with(small24(), [](Bmp& b) { b.height = 0; }), "the height is 0"});
    v.push_back({"HeightMinimum", with(small24(), [](Bmp& b) { b.height = INT32_MIN; }),
                 "the height -2147483648 is out of range"});
    {
        Bmp b = header(40, 8, 1);
        b.width = 2;
        b.height = -1;
        b.palette = kFour;
        b.pixels = {2, 1, 0, 1};
        v.push_back({"TopDownRle", b.bytes(), "a top-down picture cannot be RLE-compressed"});
    }
    {
        Bmp b = small24();
        b.pixels.resize(b.pixels.size() - 6); // the last row keeps only 2 of its 6 bytes
        v.push_back({"PixelDataShort", b.bytes(), "the pixel data is 10 bytes, the 2 x 2 rows need 14"});
    }
    v.push_back({"OffsetInsideHeaders", with(small24(), [](Bmp& b) { b.offset = 40; }),
                 "the pixel data offset 40 lies inside the headers (they end at 54)"});
    v.push_back({"OffsetPastEnd", with(small24(), [](Bmp& b) { b.offset = 1000; }),
                 "the pixel data offset 1000 is past the end of the file (70 bytes)"});
    {
        Bytes cut = with(small24(), [](Bmp& b) { b.compression = 3; b.bits = 16; b.masks = {0xF800, 0x07E0}; });
        cut.resize(14 + 40 + 8);
        v.push_back({"CutInMasks", cut, "the file ends inside its bit-field masks"});
    }
    v.push_back({"RleRunPastRow", rle8({5, 1, 0, 1}), "an RLE run passes the end of row 1"});
    v.push_back({"RleAbsolutePastRow", rle8({0, 3, 1, 1, 1, 0, 0, 3, 1, 1, 1, 0, 0, 1}), "an RLE run passes the end of row 1"});
    v.push_back({"RlePastLastRow", rle8({0, 0, 0, 0, 1, 1, 0, 1}), "the RLE stream runs past the last row"});
    v.push_back({"RleEndOfLinePastLastRow", rle8({0, 0, 0, 0, 0, 0, 0, 1}), "the RLE stream runs past the last row"});
    v.push_back({"RleNoEndOfBitmap", rle8({4, 1, 0, 0, 4, 2}), "the RLE stream ends before its end-of-bitmap marker"});
    v.push_back({"RleDeltaPastRight", rle8({2, 1, 0, 2, 3, 0, 0, 1}), "an RLE delta moves past the picture"});
    v.push_back({"RleDeltaPastTop", rle8({0, 2, 0, 3, 0, 1}), "an RLE delta moves past the picture"});
    v.push_back({"RleCutInDelta", rle8({0, 2, 1}), "the RLE stream ends inside a delta"});
    v.push_back({"RleCutInAbsolute", rle8({0, 4, 1, 2}), "the RLE stream ends inside an absolute run"});
    v.push_back({"RleIndexPastPalette", rle8({2, 3, 1, 9, 0, 1}), "pixel (2, 1) has colour index 9, past the palette's 4 colours"});
    {
        Bmp b = header(40, 4);
        b.width = 3;
        b.height = 1;
        b.coloursUsed = 2;
        b.palette = {1, 2};
        b.pixels = packRows(4, {{1, 0, 5}});
        v.push_back({"IndexPastShortPalette", b.bytes(), "pixel (2, 0) has colour index 5, past the palette's 2 colours"});
    }
    auto fields16 = [](std::vector<std::uint32_t> masks, std::uint32_t compression = 3) {
        Bmp b = header(40, 16, compression);
        b.masks = std::move(masks);
        b.width = 2;
        b.pixels = packRows(16, {{0, 0}});
        return b.bytes();
    };
    v.push_back({"EmptyMask", fields16({0xF800, 0, 0x1F}), "the green mask is empty"});
    v.push_back({"OverlappingMasks", fields16({0xFC00, 0x07E0, 0x1F}), "the red and green masks overlap (0x0000FC00, 0x000007E0)"});
    v.push_back({"AlphaOverlapsBlue", fields16({0xF000, 0x0F00, 0x00FF, 0x00C0}, 6),
                 "the blue and alpha masks overlap (0x000000FF, 0x000000C0)"});
    v.push_back({"NonContiguousMask", fields16({0xF800, 0x07E0, 0x15}), "the blue mask 0x00000015 is not contiguous"});
    v.push_back({"MaskPast16Bits", fields16({0xF8000, 0x07E0, 0x1F}), "the red mask 0x000F8000 has bits beyond the 16 of a pixel"});
    v.push_back({"JpegWithoutDecoder", with(small24(), [](Bmp& b) { b.compression = 4; b.bits = 0; }),
                 "unsupported: embedded JPEG stream"});
    {
        // The header alone asks for 20000 x 10000; nothing must be allocated.
        Bmp b = header(40, 24);
        b.width = 20000;
        b.height = 10000;
        b.pixels = {0, 0, 0, 0};
        v.push_back({"OverDefaultLimit", b.bytes(), "20000 x 10000 pixels is more than the limit of 100000000 pixels"});
    }
    {
        // Within the limit, 80 megapixels, but the stream stops at once.
        Bmp b = header(40, 8, 1);
        b.width = 20000;
        b.height = 4000;
        b.palette = kFour;
        b.pixels = {0, 0};
        v.push_back({"RleLargeButCut", b.bytes(), "the RLE stream ends before its end-of-bitmap marker"});
    }
    {
        Bmp b = header(40, 16, 3);
        b.width = 10000;
        b.height = 5000;
        b.masks = {0x7C00, 0, 0x1F};
        b.pixels = {0, 0, 0, 0};
        v.push_back({"LargeWithEmptyMask", b.bytes(), "the green mask is empty"});
    }
    v.push_back({"OneOverALimit", small24().bytes(), "2 x 2 pixels is more than the limit of 3 pixels", 3});
    return v;
}

} // namespace quadfind::testing
