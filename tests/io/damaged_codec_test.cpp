// PNG and GIF files whose chunks, blocks and checksums are intact but whose
// compressed pixels are not: each is refused with its name and cause, and
// no codec line reaches stderr on the way.
#include "core_application.h"
#include "picture_file.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace quadfind;

namespace {

using Bytes = std::vector<std::uint8_t>;

void be32(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(std::uint8_t(v >> s));
}

// Rows as a PNG's filter stage leaves them (filter byte 0), pass by pass
// when interlaced; `channels` bytes a pixel.
Bytes pngRows(int w, int h, bool adam7, int channels) {
    static constexpr int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                          {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static constexpr int kWhole[1][4] = {{0, 0, 1, 1}};
    Bytes out;
    for (const auto& p : adam7 ? std::span<const int[4]>(kPasses) : std::span<const int[4]>(kWhole))
        for (int y = p[1]; y < h; y += p[3])
            for (int x = p[0]; x < w; x += p[2]) {
                if (x == p[0])
                    out.push_back(0);
                for (int c = 0; c < channels; ++c)
                    out.push_back(std::uint8_t(x * 7 + y * 13 + c));
            }
    return out;
}

// Compressed at `level` (0 stores the rows as they are), then damaged;
// colour type 3 gets a palette unless told otherwise, and `extra` chunks
// follow the header.
struct Png {
    int w = 64, h = 48, colour = 2;
    bool adam7 = false, palette = true;
    int level = 6;
    std::function<void(Bytes&)> damage = [](Bytes&) {};
    std::vector<std::pair<const char*, Bytes>> extra = {};
};
Bytes png(const Png& p, const Bytes& rows) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&out](const char* type, const Bytes& data) {
        be32(out, std::uint32_t(data.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        be32(out, std::uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
    };
    Bytes ihdr;
    be32(ihdr, std::uint32_t(p.w));
    be32(ihdr, std::uint32_t(p.h));
    ihdr.insert(ihdr.end(), {8, std::uint8_t(p.colour), 0, 0, std::uint8_t(p.adam7)});
    chunk("IHDR", ihdr);
    for (const auto& [type, data] : p.extra)
        chunk(type, data);
    if (p.colour == 3 && p.palette)
        chunk("PLTE", Bytes(768, 0x55));
    Bytes z(compressBound(uLong(rows.size())));
    uLongf size = uLongf(z.size());
    compress2(z.data(), &size, rows.data(), uLong(rows.size()), p.level);
    z.resize(size);
    p.damage(z);
    chunk("IDAT", z);
    chunk("IEND", {});
    return out;
}

// 16 x 8 in four colours, each pixel one 3-bit code after a clear code
// every second pixel, so that any count of codes can be kept. A bad code
// is a 7, which right after a clear code means nothing yet.
Bytes gif(bool interlaced, std::size_t keptCodes = SIZE_MAX, bool endCode = true, std::size_t badCode = SIZE_MAX) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 8, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255};
    out.insert(out.end(), {0x2C, 0, 0, 0, 0, 16, 0, 8, 0, std::uint8_t(interlaced ? 0x40 : 0), 2});
    std::vector<std::uint32_t> codes;
    for (int i = 0; i < 16 * 8; ++i) {
        if (i % 2 == 0)
            codes.push_back(4);
        codes.push_back(std::uint32_t((i / 4 + i / 32) % 4));
    }
    codes.resize(std::min(keptCodes, codes.size()));
    if (badCode < codes.size())
        codes[badCode] = 7;
    if (endCode)
        codes.push_back(5);
    Bytes data;
    for (std::size_t i = 0; i < codes.size(); ++i)
        for (int bit = 0; bit < 3; ++bit) {
            const std::size_t at = i * 3 + std::size_t(bit);
            if (at % 8 == 0)
                data.push_back(0);
            data.back() |= std::uint8_t((codes[i] >> bit & 1) << (at % 8));
        }
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(std::uint8_t(n));
        out.insert(out.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

class DamagedCodec : public ::testing::Test {
protected:
    static void SetUpTestSuite() { quadfind::testing::ensureCoreApplication(); }

    // What loading `bytes` as `name` ends in: "(loaded)" or the refusal;
    // `leaked` gets whatever reached fd 2 meanwhile.
    std::string load(const std::string& name, const Bytes& bytes, std::string& leaked) {
        const std::string file = dir.path().toStdString() + "/" + name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const int diverted = ::memfd_create("stderr", 0), saved = ::dup(STDERR_FILENO);
        EXPECT_TRUE(diverted >= 0 && saved >= 0) << std::strerror(errno);
        std::fflush(stderr);
        ::dup2(diverted, STDERR_FILENO);
        std::string outcome = "(loaded)";
        try {
            LoadPicture(file);
        } catch (const PictureError& e) {
            outcome = e.what();
        }
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        leaked.assign(std::size_t(::lseek(diverted, 0, SEEK_END)), '\0');
        ::pread(diverted, leaked.data(), leaked.size(), 0);
        ::close(diverted);
        ::close(saved);
        return outcome;
    }

    QTemporaryDir dir;
};

TEST_F(DamagedCodec, DamagedPixelDataIsRefusedWithNameAndCauseAndNothingOnStderr) {
    const Bytes rgb = pngRows(64, 48, false, 3), adam7 = pngRows(3, 2, true, 3), indices = pngRows(5, 3, false, 1);
    auto flip = [](Bytes& z) {
        for (std::size_t i = 0; i < 4; ++i)
            z[z.size() / 2 + i] ^= 0x5A;
    };
    Bytes badFilter = rgb, oneMore = rgb;
    badFilter[5 * (1 + 64 * 3)] = 5;
    oneMore.insert(oneMore.end(), 1 + 64 * 3, 0);
    const std::size_t codes = 16 * 8 * 3 / 2;
    const std::string pngShort = "the PNG's pixel data ends early (the file is cut short or damaged)";
    const std::string gifShort = "the GIF's pixel data ends before the picture is complete "
                                 "(giflib: Image EOF detected before image complete)";
    const std::string gifDamaged = "the GIF's pixel data is damaged (giflib: Image is defective, decoding aborted)";
    struct Case {
        std::string name;
        Bytes bytes;
        std::string reason; // the start of it, where zlib words it
    };
    const Case cases[] = {
        {"whole.png", png({}, rgb), "(loaded)"},
        {"adam7.png", png({.w = 3, .h = 2, .adam7 = true}, adam7), "(loaded)"},
        {"palette.png", png({.w = 5, .h = 3, .colour = 3}, indices), "(loaded)"},
        {"whole.gif", gif(false), "(loaded)"},
        {"adam7.gif", gif(true), "(loaded)"},
        {"flipped.png", png({.damage = flip}, rgb), "the PNG's compressed pixel data is damaged (zlib: "},
        {"stored.png", png({.level = 0, .damage = flip}, rgb),
         "the PNG's compressed pixel data is damaged (zlib: incorrect data check)"},
        {"halved.png", png({.damage = [](Bytes& z) { z.resize(z.size() / 2); }}, rgb), pngShort},
        {"row-short.png", png({}, Bytes(rgb.begin(), rgb.end() - 1)), pngShort},
        {"adam7-short.png", png({.w = 3, .h = 2, .adam7 = true}, Bytes(adam7.begin(), adam7.end() - 1)), pngShort},
        {"filter.png", png({}, badFilter), "the PNG's pixel data is damaged (a row has filter type 5; only 0 to 4 exist)"},
        {"row-more.png", png({}, oneMore), "the PNG's pixel data holds more than its header's picture size needs"},
        {"no-palette.png", png({.w = 5, .h = 3, .colour = 3, .palette = false}, indices),
         "the PNG's palette (PLTE chunk) is missing: its pixels are palette indices"},
        {"palette-7.png", png({.w = 5, .h = 3, .colour = 3, .palette = false, .extra = {{"PLTE", Bytes(7)}}}, indices),
         "the PNG's palette (PLTE chunk) is invalid: 7 bytes, not 3 for each of 1 to 256 colours"},
        {"two-headers.png", png({.extra = {{"IHDR", Bytes(13)}}}, rgb),
         "the PNG data holds a second IHDR chunk at byte 33"},
        {"critical.png", png({.extra = {{"ABCD", {}}}}, rgb),
         "the PNG data holds a chunk ABCD at byte 33 that a reader must understand, and this one does not"},
        {"cut.gif", gif(false, codes / 2), gifShort},
        {"adam7-cut.gif", gif(true, codes / 2), gifShort},
        {"unended.gif", gif(false, codes / 2, false), gifDamaged},
        {"bad-code.gif", gif(false, SIZE_MAX, true, 3 * 20 + 1), gifDamaged},
    };
    for (const Case& c : cases) {
        std::string leaked;
        const std::string outcome = load(c.name, c.bytes, leaked);
        const std::string expected = c.reason == "(loaded)" ? c.reason
                                     : "Cannot load " + dir.path().toStdString() + "/" + c.name + ": " + c.reason;
        EXPECT_EQ(outcome.substr(0, expected.size()), expected) << c.name;
        EXPECT_EQ(leaked, "") << c.name;
    }
}

} // namespace
