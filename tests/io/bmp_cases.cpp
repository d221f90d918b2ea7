#include "bmp_cases.h"

#include <algorithm>
#include <cstdlib>

namespace quadfind::testing {

namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;

const std::vector<Colour> kFour = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};

// n distinct colours, every channel different.
std::vector<Colour> ramps(std::uint32_t n) {
    std::vector<Colour> out;
    for (std::uint32_t i = 0; i < n; ++i)
        out.push_back((i & 0xFF) | (255 - (i & 0xFF)) << 8 | ((i * 37 + 11) & 0xFF) << 16);
    return out;
}

// `expected`: the pixels from the top left, as colours, or up to 8 bits as
// palette indices; its rows need not be the picture's.
ValidBmp valid(std::string name, const Bmp& b, const Rows& expected) {
    PictureSurface p(b.width, std::abs(b.height));
    std::size_t i = 0;
    for (const auto& row : expected)
        for (const std::uint32_t v : row) {
            p.setPixel(int(i % std::size_t(b.width)), int(i / std::size_t(b.width)), b.bits <= 8 ? b.palette[v] : v);
            ++i;
        }
    return {std::move(name), b.bytes(), p};
}

// Pixels given top row first: palette indices up to 8 bits, else colours or
// words (then `expected` says their colours). A bottom-up file stores the rows
// the other way round.
ValidBmp rows(std::string name, Bmp b, const Rows& topFirst, const Rows& expected = {}) {
    const int n = int(topFirst.size());
    b.width = int(topFirst[0].size());
    b.height = b.height < 0 ? -n : n;
    b.pixels = packRows(b.bits, b.height < 0 ? topFirst : Rows(topFirst.rbegin(), topFirst.rend()));
    return valid(std::move(name), b, expected.empty() ? topFirst : expected);
}

// Huffman 1D: CCITT Group 3 one-dimensional codes of runs of every length
// from 1 to 70, and of rows that start black (a white run of 0) or are one
// colour throughout. The streams are what libtiff writes for a strip of these
// rows, bottom row first: an EOL before each row, or, with byte-aligned EOLs
// and the first dropped, each row followed by its EOL.
ValidBmp huffman(std::string name, Bytes stream) {
    Rows topFirst(6);
    for (std::uint32_t seed = 0; seed < 6; ++seed)
        for (std::uint32_t colour = seed % 2, run = seed * 13 + 1; topFirst[seed].size() < 75;
             colour ^= 1, run = run * 7 % 71 + 1)
            topFirst[seed].resize(std::min<std::size_t>(75, topFirst[seed].size() + run), colour);
    topFirst.insert(topFirst.end(), {std::vector<std::uint32_t>(75, 0), std::vector<std::uint32_t>(75, 1)});
    const Bmp b{.headerSize = 64,
                .width = 75,
                .height = 8,
                .bits = 1,
                .compression = 3,
                .palette = {0xF0F0E0, 0x102030},
                .pixels = std::move(stream)};
    return valid(std::move(name), b, topFirst);
}

} // namespace

// The tables are laid out a case a line or two, as they are read.
// clang-format off
std::vector<ValidBmp> ValidBmps() {
    std::vector<ValidBmp> v = {
        rows("Info1BitPaddedRows", {.bits = 1, .palette = {0x102030, 0xA0B0C0}},
             {{0, 1, 1, 0, 0, 0, 0, 0, 1}, {1, 0, 1, 0, 1, 0, 1, 0, 1}}),
        rows("Info2Bit", {.bits = 2, .palette = kFour}, {{3, 2, 1, 0, 3}}),
        rows("Info4BitShortPaletteTopDown", {.height = -1, .bits = 4, .coloursUsed = 3, .palette = ramps(3)},
             {{2, 1, 0}, {0, 2, 1}}),
        rows("Info8BitPaletteLongerThanNeeded", {.bits = 8, .coloursUsed = 300, .palette = ramps(300)}, {{255, 0, 7}}),
        rows("Os2v1EightBitShortPalette", {.headerSize = 12, .bits = 8, .palette = ramps(3)}, {{2, 1}, {0, 2}}),
        rows("Os2v2SixteenByteHeader4Bit", {.headerSize = 16, .bits = 4, .palette = ramps(16)}, {{15, 0, 9, 4}}),
        rows("Os2v2FullHeader8Bit", {.headerSize = 64, .bits = 8, .palette = ramps(256)}, {{200, 100}, {1, 0}}),
        rows("Rgb24WithPaletteAndGap", {.coloursUsed = 2, .palette = {0x111111, 0x222222}, .gap = 6},
             {{0xFF0000, 0x123456}, {0x0000FF, 0x00FF00}}),
        rows("Rgb24TopDownPadded", {.height = -1}, {{0x010203, 0x040506, 0x070809}, {0x0A0B0C, 0x0D0E0F, 0x101112}}),
        // 5-5-5: 31 is 255, 16 is 132, 1 is 8; the top bit is not a colour.
        rows("Rgb16Default555", {.bits = 16}, {{0x7C00, 16u << 5, 0x0001, 0xBFFE}},
             {{0x0000FF, 0x008400, 0x080000, 0xF7FF7B}}),
        // 5-6-5: 63 of 6 bits is 255, 32 is 130.
        rows("BitFields565", {.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}},
             {{0x07E0, 0x8400, 0x081F}}, {{0x00FF00, 0x008284, 0xFF0008}}),
        rows("AlphaBitFields4444", {.bits = 16, .compression = 6, .masks = {0x0F00, 0x00F0, 0x000F, 0xF000}},
             {{0xF8C3, 0x0F0F}}, {{0x33CC88, 0xFF00FF}}),
        rows("OneBitChannels", {.bits = 16, .compression = 3, .masks = {0x0004, 0x0002, 0x0001}},
             {{0x0005, 0x0002, 0xFFF8}}, {{0xFF00FF, 0x00FF00, 0x000000}}),
        rows("Rgb32TopByteIgnored", {.bits = 32}, {{0xAB102030, 0xFFFFFFFF}}, {{0x302010, 0xFFFFFF}}),
        // 10-10-10-2: 512 is 128, 3 is 1, 2 is 0, 341 is 85.
        rows("V3BitFields1010102",
             {.headerSize = 56, .bits = 32, .compression = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
             {{0xFFF80003, 0x002FFC04, 0x155003FE}}, {{0x0180FF, 0x01FF00, 0xFF0055}}),
        // 11-11-10: 1024 of 11 bits is 128, 511 of 10 is 127, 8 of 11 is 1.
        rows("V4BitFields111110",
             {.headerSize = 108, .bits = 32, .compression = 3, .masks = {0xFFE00000, 0x1FFC00, 0x3FF}},
             {{0x801FFDFF, 0x01001002}}, {{0x7FFF80, 0x000001}}),
        // 6-17-5-4: 65536 of 17 bits is 128; 257 gives 0.499996 and 258 0.50194.
        rows("V5BitFields61754",
             {.headerSize = 124, .bits = 32, .compression = 3, .masks = {0x0FC00000, 0x003FFFE0, 0x1F, 0xF0000000}},
             {{0xFFE00010, 0x007FFFE0, 257u << 5, 258u << 5}}, {{0x8480FF, 0x00FF04, 0x000000, 0x000100}}),
        // 12-12-8: 2048 of 12 bits is 128, 9 is 1, 8 is 0.
        rows("V2BitFields12128", {.headerSize = 52, .bits = 32, .compression = 3, .masks = {0xFFF00000, 0xFFF00, 0xFF}},
             {{0x800FFF12, 0x008009FF}}, {{0x12FF80, 0xFF0100}}),
        rows("V4RgbIgnoresHeaderMasks", {.headerSize = 108, .bits = 32, .masks = {0xF, 0xF, 0xF, 0xF}}, {{0x00112233}},
             {{0x332211}}),
        // RLE8, 6 x 4: a run and an absolute run, a delta over a whole row and
        // more, a run, an end of line after the last row, then end of bitmap.
        valid("Rle8DeltaEndOfLineEndOfBitmap",
              {.width = 6, .height = 4, .bits = 8, .compression = 1, .palette = kFour,
               .pixels = {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 2, 1, 2, 3, 0, 0, 6, 2, 0, 0, 0, 1}},
              {{2, 2, 2, 2, 2, 2}, {0, 0, 3, 3, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 2}}),
        // Row 0: run of 3 alternating 1, 2; absolute 3, 0, 2 (even, no pad); run
        // of one 3; end of line. Row 1: absolute of 5 (3 bytes + pad), end of bitmap.
        valid("Rle4AbsoluteOddAndEarlyEnd",
              {.width = 7, .height = 2, .bits = 4, .compression = 2, .coloursUsed = 4, .palette = kFour,
               .pixels = {3, 0x12, 0, 3, 0x30, 0x20, 1, 0x3F, 0, 0, 0, 5, 0x11, 0x33, 0x20, 0, 0, 1}},
              {{1, 1, 3, 3, 2, 0, 0}, {1, 2, 1, 3, 0, 2, 3}}),
        valid("Os2v2Rle8EndOfBitmapFirstRowOnly",
              {.headerSize = 64, .width = 4, .height = 3, .bits = 8, .compression = 1, .coloursUsed = 2,
               .palette = {0x445566, 0x778899}, .pixels = {4, 1, 0, 1}},
              {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}}),
        // RLE24, 5 x 3, bottom row first: a run, an absolute run of three (nine
        // bytes and a pad byte), end of line; a delta over the rest of the
        // middle row to (2, top); a run; end of bitmap. Skipped pixels stay black.
        valid("Os2v2Rle24",
              {.headerSize = 64, .width = 5, .height = 3, .compression = 4,
               .pixels = {2, 0x10, 0x20, 0x30, 0, 3, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC0, 0,
                          0, 0, 0, 2, 2, 1, 3, 0xD0, 0xE0, 0xF0, 0, 1}},
              {{0, 0, 0xD0E0F0, 0xD0E0F0, 0xD0E0F0, 0, 0, 0, 0, 0, 0x102030, 0x102030, 0x405060, 0x708090, 0xA0B0C0}}),
        // B, G, R, A in s2.13 linear light (8192 is 1.0), bottom row first. By
        // hand from the sRGB curve: 0.5 gives 187.5 -> 188, 0.25 gives 137,
        // 16 / 8192 gives 6.43 -> 6; below 0 is 0 and above 1 is 255.
        valid("SixtyFourBitsLinear",
              {.width = 3, .height = 2, .bits = 64,
               .pixels = packRows(16, {{0x1000, 0x1000, 0x1000, 0, 0x0010, 0x0800, 0x2000, 0x1234, 0, 1, 0x7FFF, 0xFFFF,
                                        0x2000, 0x1000, 0, 0x2000, 0xE000, 0x3000, 0x0010, 0x8000, 0x0800, 0x1FFF,
                                        0x2001, 0}})},
              {{0xFFBC00, 0x00FF06, 0x89FFFF, 0xBCBCBC, 0x0689FF, 0x0000FF}}),
        huffman("Os2v2Huffman1DEolBeforeRows",
                {0x00, 0x13, 0x50, 0x3C, 0x28, 0x00, 0xED, 0x00, 0x02, 0x6A, 0x07, 0xF4, 0x00, 0x12, 0x40, 0x63, 0x00,
                 0x04, 0xD4, 0x1B, 0x05, 0x00, 0x05, 0x20, 0x32, 0x00, 0x09, 0xA8, 0x39, 0x80, 0x6B, 0x00, 0x11, 0xC5,
                 0x5A, 0x10}),
        huffman("Os2v2Huffman1DEolAfterRows",
                {0x35, 0x03, 0xC2, 0x80, 0x01, 0xDA, 0x00, 0x01, 0x35, 0x03, 0xFA, 0x00, 0x01, 0x24, 0x06, 0x30, 0x00,
                 0x01, 0x35, 0x06, 0xC1, 0x40, 0x01, 0x48, 0x0C, 0x80, 0x01, 0x35, 0x07, 0x30, 0x0D, 0x60, 0x01, 0x1C,
                 0x55, 0xA1, 0x00}),
    };
    // Some writers stop after the last pixel, without the last row's padding.
    Bmp unpadded{.height = 2, .pixels = packRows(24, {{0xABCDEF}, {0x123456}})};
    unpadded.pixels.pop_back();
    v.push_back(valid("Rgb24LastRowUnpadded", unpadded, {{0x123456, 0xABCDEF}}));
    // Fields that describe nothing the pixels need may say anything: file
    // size, image size, densities, important colours.
    ValidBmp& lying = v.emplace_back(rows("Rgb24LyingSizeFields", {}, {{0x0000FF, 0xFF0000}}));
    for (const auto& [at, value] : {std::pair{2u, ~0u}, {34u, 1u}, {38u, 0x80000000u}, {42u, ~0u}, {50u, 1000u}})
        put(lying.file, at, value);
    // An embedded profile (zeros) in the gap before the pixels: colours stay as stored.
    ValidBmp& profile = v.emplace_back(rows("V5EmbeddedProfileIgnored", {.headerSize = 124, .gap = 16}, {{0x336699}}));
    put(profile.file, 14 + 56, 0x4D424544); // 'MBED'
    put(profile.file, 14 + 112, 124);       // the profile right after the header
    put(profile.file, 14 + 116, 16);
    return v;
}

std::vector<BrokenBmp> BrokenBmps() {
    // A valid 2 x 2 24-bit file, with one change, or cut to `size` bytes.
    const auto small24 = [](auto change, std::size_t size = SIZE_MAX) {
        Bmp b{.width = 2, .height = 2, .pixels = packRows(24, {{1, 2}, {3, 4}})};
        change(b);
        Bytes bytes = b.bytes();
        bytes.resize(std::min(size, bytes.size()));
        return bytes;
    };
    const auto same = [](Bmp&) {};
    const auto rle8 = [](Bytes stream) {
        return Bmp{.width = 4, .height = 2, .bits = 8, .compression = 1, .coloursUsed = 4, .palette = kFour,
                   .pixels = std::move(stream)}.bytes();
    };
    const auto fields16 = [](std::vector<std::uint32_t> masks, std::uint32_t compression = 3) {
        return Bmp{.width = 2, .bits = 16, .compression = compression, .masks = std::move(masks),
                   .pixels = packRows(16, {{0, 0}})}.bytes();
    };
    return {
        {"NotBm", {0x89, 'P', 'N', 'G'}, "not a BMP file (it does not start with \"BM\")"},
        {"TooShort", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}, "the file ends inside its headers (10 bytes)"},
        {"HeaderSize100", small24([](Bmp& b) { b.headerSize = 100; }), "unknown info header size 100"},
        {"CutInHeader", small24(same, 14 + 30), "the file ends inside its 40-byte info header"},
        {"TwoPlanes", small24([](Bmp& b) { b.planes = 2; }), "the planes field is 2, not 1"},
        {"ZeroBitsUncompressed", small24([](Bmp& b) { b.bits = 0; }),
         "the bit count 0 is not 1, 2, 4, 8, 16, 24, 32 or 64"},
        {"SixtyFourBitsRle", small24([](Bmp& b) { b.bits = 64, b.compression = 1; }),
         "64 bits per pixel with a compression (it takes none)"},
        {"Rle8At4Bits", small24([](Bmp& b) { b.bits = 4, b.compression = 1; }),
         "RLE8 compression with 4 bits per pixel (it needs 8)"},
        {"Rle4At8Bits", small24([](Bmp& b) { b.bits = 8, b.compression = 2; }),
         "RLE4 compression with 8 bits per pixel (it needs 4)"},
        {"BitFieldsAt24Bits", small24([](Bmp& b) { b.compression = 3, b.masks = {0xFF0000, 0xFF00, 0xFF}; }),
         "bit-field compression with 24 bits per pixel (it needs 16 or 32)"},
        {"HuffmanAt4Bits", small24([](Bmp& b) { b.headerSize = 64, b.bits = 4, b.compression = 3; }),
         "Huffman 1D compression with 4 bits per pixel (it needs 1)"},
        {"Rle24At8Bits", small24([](Bmp& b) { b.headerSize = 64, b.bits = 8, b.compression = 4; }),
         "RLE24 compression with 8 bits per pixel (it needs 24)"},
        // All ones is no code of either colour.
        {"HuffmanBadCodes",
         Bmp{.headerSize = 64, .width = 8, .height = 2, .bits = 1, .compression = 3, .palette = {0, 0xFFFFFF},
             .pixels = {0xFF, 0xFF, 0xFF, 0xFF}}.bytes(),
         "the Huffman 1D stream is damaged: Line length mismatch at line 0 of strip 0 (got 9, expected 8)"},
        {"Rle24CutInRun", Bmp{.headerSize = 64, .width = 2, .compression = 4, .pixels = {2, 0x10, 0x20}}.bytes(),
         "the RLE stream ends inside a run"},
        {"CompressionNine", small24([](Bmp& b) { b.compression = 9; }), "unknown compression 9"},
        {"Cmyk", small24([](Bmp& b) { b.compression = 11; }), "unsupported: CMYK compression 11"},
        {"AbsurdPalette", small24([](Bmp& b) { b.bits = 8, b.coloursUsed = 0x40000000, b.palette = {1, 2}; }),
         "the palette of 1073741824 colours does not fit before the pixel data (room for 2)"},
        {"NoPalette", small24([](Bmp& b) { b.bits = 8; }), "no palette for a picture of 8 bits per pixel"},
        {"WidthZero", small24([](Bmp& b) { b.width = 0; }), "the width 0 is not positive"},
        {"HeightZero", small24([](Bmp& b) { b.height = 0; }), "the height is 0"},
        {"HeightMinimum", small24([](Bmp& b) { b.height = INT32_MIN; }), "the height -2147483648 is out of range"},
        {"TopDownRle",
         Bmp{.width = 2, .height = -1, .bits = 8, .compression = 1, .palette = kFour, .pixels = {2, 1, 0, 1}}.bytes(),
         "a top-down picture cannot be RLE-compressed"},
        // The last row keeps only 2 of its 6 bytes.
        {"PixelDataShort", small24([](Bmp& b) { b.pixels.resize(b.pixels.size() - 6); }),
         "the pixel data is 10 bytes, the 2 x 2 rows need 14"},
        {"OffsetInsideHeaders", small24([](Bmp& b) { b.offset = 40; }),
         "the pixel data offset 40 lies inside the headers (they end at 54)"},
        {"OffsetPastEnd", small24([](Bmp& b) { b.offset = 1000; }),
         "the pixel data offset 1000 is past the end of the file (70 bytes)"},
        {"CutInMasks", small24([](Bmp& b) { b.compression = 3, b.bits = 16, b.masks = {0xF800, 0x07E0}; }, 62),
         "the file ends inside its bit-field masks"},
        {"RleRunPastRow", rle8({5, 1, 0, 1}), "an RLE run passes the end of row 1"},
        {"RlePastLastRow", rle8({0, 0, 0, 0, 1, 1, 0, 1}), "the RLE stream runs past the last row"},
        {"RleEndOfLinePastLastRow", rle8({0, 0, 0, 0, 0, 0, 0, 1}), "the RLE stream runs past the last row"},
        {"RleDeltaPastRight", rle8({2, 1, 0, 2, 3, 0, 0, 1}), "an RLE delta moves past the picture"},
        {"RleCutInDelta", rle8({0, 2, 1}), "the RLE stream ends inside a delta"},
        {"RleCutInAbsolute", rle8({0, 4, 1, 2}), "the RLE stream ends inside an absolute run"},
        {"RleIndexPastPalette", rle8({2, 3, 1, 9, 0, 1}),
         "pixel (2, 1) has colour index 9, past the palette's 4 colours"},
        {"IndexPastShortPalette",
         Bmp{.width = 3, .bits = 4, .coloursUsed = 2, .palette = {1, 2}, .pixels = packRows(4, {{1, 0, 2}})}.bytes(),
         "pixel (2, 0) has colour index 2, past the palette's 2 colours"},
        {"AlphaOverlapsBlue", fields16({0xF000, 0x0F00, 0x00FF, 0x00C0}, 6),
         "the blue and alpha masks overlap (0x000000FF, 0x000000C0)"},
        {"NonContiguousMask", fields16({0xF800, 0x07E0, 0x15}), "the blue mask 0x00000015 is not contiguous"},
        {"MaskPast16Bits", fields16({0xF8000, 0x07E0, 0x1F}),
         "the red mask 0x000F8000 has bits beyond the 16 of a pixel"},
        {"JpegWithoutDecoder", small24([](Bmp& b) { b.bits = 0, b.compression = 4; }),
         "unsupported: embedded JPEG stream"},
        // The header alone asks for 20000 x 10000; nothing must be allocated.
        {"OverDefaultLimit", Bmp{.width = 20000, .height = 10000, .pixels = {0, 0, 0, 0}}.bytes(),
         "20000 x 10000 pixels is more than the limit of 100000000 pixels"},
        // Within the limit, 80 megapixels, but the stream stops at once.
        {"RleLargeButCut",
         Bmp{.width = 20000, .height = 4000, .bits = 8, .compression = 1, .palette = kFour, .pixels = {0, 0}}.bytes(),
         "the RLE stream ends before its end-of-bitmap marker"},
        {"LargeWithEmptyMask",
         Bmp{.width = 10000, .height = 5000, .bits = 16, .compression = 3, .masks = {0x7C00, 0, 0x1F},
             .pixels = {0, 0, 0, 0}}.bytes(),
         "the green mask is empty"},
        {"OneOverALimit", small24(same), "2 x 2 pixels is more than the limit of 3 pixels", 3},
    };
}
// clang-format on

} // namespace quadfind::testing
