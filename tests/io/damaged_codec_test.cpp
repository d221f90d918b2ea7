// PNG and GIF files whose chunks, blocks and checksums are intact but whose
// contents are not: each is refused with its name and cause, and no codec
// line reaches stderr on the way.
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <functional>

namespace {

using Bytes = std::vector<std::uint8_t>;

void be32(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(std::uint8_t(v >> s));
}

// 8-bit samples; `rows` as the filter stage leaves them, stored in the zlib
// stream as they are, then damaged.
struct Png {
    int w = 64, h = 48, colour = 2;
    bool adam7 = false, palette = true;
    std::function<void(Bytes&)> damage = [](Bytes&) {};
    std::vector<std::pair<const char*, Bytes>> extra = {}; // after IHDR
};
Bytes png(const Png& p, const Bytes& rows) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, ihdr, z(compressBound(uLong(rows.size())));
    auto chunk = [&out](const char* type, const Bytes& data) {
        be32(out, std::uint32_t(data.size()));
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        be32(out, std::uint32_t(crc32(0, out.data() + out.size() - data.size() - 4, uInt(data.size() + 4))));
    };
    be32(ihdr, std::uint32_t(p.w));
    be32(ihdr, std::uint32_t(p.h));
    ihdr.insert(ihdr.end(), {8, std::uint8_t(p.colour), 0, 0, std::uint8_t(p.adam7)});
    chunk("IHDR", ihdr);
    for (const auto& [type, data] : p.extra)
        chunk(type, data);
    if (p.colour == 3 && p.palette)
        chunk("PLTE", Bytes(768));
    uLongf size = uLongf(z.size());
    compress2(z.data(), &size, rows.data(), uLong(rows.size()), 0);
    z.resize(size);
    p.damage(z);
    chunk("IDAT", z);
    chunk("IEND", {});
    return out;
}

// 16 x 8, a 3-bit code a pixel after a clear code every second pixel, so
// that any count of codes can be kept. A 7 right after a clear code means
// nothing yet.
Bytes gif(bool interlaced, std::size_t kept = SIZE_MAX, bool endCode = true, std::size_t sevenAt = SIZE_MAX) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 8, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255,
                 0x2C, 0, 0, 0, 0, 16, 0, 8, 0, std::uint8_t(interlaced ? 0x40 : 0), 2};
    std::vector<unsigned> codes;
    for (unsigned i = 0; i < 16 * 8; ++i) {
        if (i % 2 == 0)
            codes.push_back(4);
        codes.push_back((i / 4 + i / 32) % 4);
    }
    codes.resize(std::min(kept, codes.size()));
    if (sevenAt < codes.size())
        codes[sevenAt] = 7;
    if (endCode)
        codes.push_back(5);
    Bytes data((codes.size() * 3 + 7) / 8);
    for (std::size_t bit = 0; bit < codes.size() * 3; ++bit)
        data[bit / 8] |= std::uint8_t((codes[bit / 3] >> (bit % 3) & 1) << (bit % 8));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        out.push_back(std::uint8_t(std::min<std::size_t>(255, data.size() - at)));
        out.insert(out.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + out.back()));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

// Through quadfind-cli, as a user meets them: one line each on stderr, and
// nothing else there.
TEST(DamagedCodec, DamagedContentsAreRefusedWithNameAndCause) {
    // Rows of filter byte and zero samples: 48 of 1 + 64 x 3 bytes; Adam7's
    // passes of 3 x 2 are four rows of 1 + 3, 3, 3 and 9 bytes.
    const Bytes rgb(48 * 193), adam7(22), indices(3 * 6);
    Bytes filter = rgb, more = rgb;
    filter[5 * 193] = 5;
    more.resize(49 * 193);
    const std::size_t codes = 16 * 8 * 3 / 2;
    const std::string shortPng = "the PNG's pixel data ends early (the file is cut short or damaged)";
    const std::string defect = "the GIF's pixel data is damaged (giflib: Image is defective, decoding aborted)";
    const std::pair<Bytes, std::string> cases[] = {
        {png({}, rgb), ""},
        {png({.w = 3, .h = 2, .adam7 = true}, adam7), ""},
        {png({.w = 5, .h = 3, .colour = 3}, indices), ""},
        {gif(false), ""},
        {gif(true), ""},
        {png({.damage = [](Bytes& z) { z[z.size() / 2] ^= 0x5A, z[z.size() / 2 + 1] ^= 0x5A; }}, rgb),
         "the PNG's compressed pixel data is damaged (zlib: incorrect data check)"},
        {png({.damage = [](Bytes& z) { z.resize(z.size() / 2); }}, rgb), shortPng},
        {png({.w = 3, .h = 2, .adam7 = true}, Bytes(21)), shortPng},
        {png({}, filter), "the PNG's pixel data is damaged (a row has filter type 5; only 0 to 4 exist)"},
        {png({}, more), "the PNG's pixel data holds more than its header's picture size needs"},
        {png({.w = 5, .h = 3, .colour = 3, .palette = false}, indices),
         "the PNG's palette (PLTE chunk) is missing: its pixels are palette indices"},
        {png({.w = 5, .h = 3, .colour = 3, .palette = false, .extra = {{"PLTE", Bytes(7)}}}, indices),
         "the PNG's palette (PLTE chunk) is invalid: 7 bytes, not 3 for each of 1 to 256 colours"},
        {png({.extra = {{"IHDR", Bytes(13)}}}, rgb), "the PNG data holds a second IHDR chunk at byte 33"},
        {png({.extra = {{"ABCD", {}}}}, rgb),
         "the PNG data holds a chunk ABCD at byte 33 that a reader must understand, and this one does not"},
        {gif(false, codes / 2), "the GIF's pixel data ends before the picture is complete "
                                "(giflib: Image EOF detected before image complete)"},
        {gif(false, codes / 2, false), defect},
        {gif(false, SIZE_MAX, true, 3 * 20 + 1), defect},
    };
    QTemporaryDir dir;
    QStringList files;
    std::string expected;
    for (const auto& [bytes, reason] : cases) {
        files << dir.filePath(QString::number(files.size()) + (bytes[0] == 'G' ? ".gif" : ".png"));
        std::ofstream(files.back().toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!reason.empty())
            expected += "quadfind-cli: Cannot load " + files.back().toStdString() + ": " + reason + "\n";
    }
    QProcess cli;
    cli.start(QStringLiteral(QUADFIND_CLI), files);
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_EQ(cli.readAllStandardError().toStdString(), expected);
}

} // namespace
