// LoadPicture as the window and the CLI use it: which decoder reads what,
// every source and every name, damaged or oversized files of every format
// refused with their cause; and the BMP writer against Qt's reader.
#include "bmp_cases.h"
#include "bmp_reader.h"
#include "bmp_writer.h"
#include "core_application.h"
#include "counting_allocator.h"
#include "file_names.h"
#include "image_from_surface.h"
#include "load_picture.h"
#include "pending_file.h"
#include "picture_file.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

class PictureFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureCoreApplication(); }
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
    std::string write(const std::string& name, const Bytes& bytes) const { return writeFile(path(name), bytes); }
    QTemporaryDir dir;
};

Bytes encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return Bytes(data.begin(), data.end());
}

Bytes firstHalf(Bytes b) {
    b.resize(b.size() / 2);
    return b;
}

void be32(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(std::uint8_t(v >> s));
}

// 8-bit samples; `rows` as the filter stage leaves them, stored in the zlib
// stream as they are. A palette goes in `extra`.
struct Png {
    int w = 64, h = 48, colour = 2;
    bool adam7 = false;
    std::vector<std::pair<const char*, Bytes>> extra = {}; // after IHDR
};
Bytes makePng(const Png& p, const Bytes& rows) {
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
    uLongf size = uLongf(z.size());
    compress2(z.data(), &size, rows.data(), uLong(rows.size()), 0);
    z.resize(size);
    chunk("IDAT", z);
    chunk("IEND", {});
    return out;
}

// 2 x 2 in four colours, from 3-bit codes: a clear code before each pixel's
// code (the code size never grows), then the end code.
Bytes gif(const Bytes& codes) {
    // clang-format off
    Bytes out = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255,
                 0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, std::uint8_t(codes.size())};
    // clang-format on
    out.insert(out.end(), codes.begin(), codes.end());
    out.insert(out.end(), {0, 0x3B});
    return out;
}
const Bytes kGif = gif({0x04, 0x43, 0x71, 0x05}); // 4 0 4 1 4 2 4 3 5
const Bytes kGifEndsEarly = gif({0x04, 0x53});    // 4 0 4 1 5: two pixels of four

// A bitmap whose pixel data is a whole JPEG (compression 4) or PNG (5) file.
Bytes carrying(const Bytes& stream, std::uint32_t compression, int width, int height) {
    return Bmp{.width = width, .height = height, .bits = 0, .compression = compression, .pixels = stream}.bytes();
}

// 5-bit 31 in a 16-bit bitmap: our reader gives 255, Qt's would give 248.
const Bytes kRed555 = Bmp{.bits = 16, .pixels = packRows(16, {{0x7C00}})}.bytes();

// Every refusal names the file and says why in the program's own words; what a
// codec logs becomes part of the reason.
TEST_F(PictureFile, EveryFormatArrivesAsBlueGreenRedOrIsRefusedWithItsCause) {
    // Noise, so that half of each file ends inside its pixel data.
    const PictureSurface noise = randomPicture(37, 23, 9);
    const QImage image = ImageFromSurface(noise);
    const Bytes png = encoded(image, "PNG"), jpeg = encoded(image, "JPEG"), xbm = encoded(image, "XBM");
    const auto qtDecoded = [](const Bytes& b) { return SurfaceFromImage(QImage::fromData(b.data(), int(b.size()))); };
    const PictureSurface red = filled(1, 1, 0x0000FF);
    // PNG rows of filter byte and zero samples: 48 of 1 + 64 x 3 bytes; Adam7's
    // passes of 3 x 2 are four rows of 1 + 3, 3, 3 and 9 bytes.
    const Bytes rgb(std::size_t(48) * 193), adam7(22), indices(std::size_t(3) * 6);
    Bytes damaged = makePng({}, rgb);
    damaged[damaged.size() / 2] ^= 0x10;
    // A header that declares 20000 x 10000 with no pixels: only the size check
    // stands between it and a huge allocation. And an icon that holds it.
    const Bytes bigPng = makePng({.w = 20000, .h = 10000}, {});
    Bytes icon = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 22, 0, 0, 0}; // one entry, at byte 22
    put(icon, 14, std::uint32_t(bigPng.size()));
    icon.insert(icon.end(), bigPng.begin(), bigPng.end());
    const std::string tooMany = " pixels is more than the limit of ";
    const struct {
        std::string name;
        Bytes bytes;
        std::string reason; // empty: read as `picture`
        PictureSurface picture = {};
        std::uint64_t limit = LoadLimits::kDefaultMaxPixels;
    } cases[] = {
        // Alpha is dropped, every format ends up 24-bit.
        {"argb32.png", encoded(image.convertToFormat(QImage::Format_ARGB32), "PNG"), "", noise},
        {"adam7.png", makePng({.w = 3, .h = 2, .adam7 = true}, adam7), "", PictureSurface(3, 2)},
        {"indices.png", makePng({.w = 5, .h = 3, .colour = 3, .extra = {{"PLTE", Bytes(768)}}}, indices), "",
         PictureSurface(5, 3)},
        // Bitmaps go to our reader by their first bytes or by their name.
        {"red.bmp", kRed555, "", red},
        {"red.dat", kRed555, "", red},
        {"red", kRed555, "", red},
        {"png.bmp", carrying(png, 5, 37, 23), "", noise},
        // Lossy, lossy to write, or Qt's alone to read: the pixels are what Qt makes of the same bytes.
        {"jpeg.bmp", carrying(jpeg, 4, 37, 23), "", qtDecoded(jpeg)},
        {"whole.xbm", xbm, "", qtDecoded(xbm)},
        {"p.gif", kGif, "", qtDecoded(kGif)},

        {"cut.png", firstHalf(png), "the PNG data ends inside a chunk (the file is cut short)"},
        {"cut.jpg", firstHalf(jpeg), "the JPEG data ends before its end marker (the file is cut short)"},
        {"cut.gif", firstHalf(kGif), "the GIF data ends before its trailer (the file is cut short)"},
        {"cut.xbm", firstHalf(xbm), "the XBM data ends before its closing brace (the file is cut short)"},
        {"cut.ppm", firstHalf(encoded(image, "PPM")), "the PPM data cannot be decoded: Unable to read image data"},
        // A codec's warning, here libpng's about significant bits of 0, makes the file damaged.
        {"sbit.png", makePng({.extra = {{"sBIT", Bytes(3)}}}, rgb),
         "the PNG data is damaged: libpng warning: sBIT: invalid"},
        {"damaged.png", damaged, "the PNG chunk IDAT at byte 33 fails its checksum"},
        // Chunks and checksums intact, pixel data not.
        {"adam7-short.png", makePng({.w = 3, .h = 2, .adam7 = true}, Bytes(21)),
         "the PNG's pixel data ends early (the file is cut short or damaged)"},
        {"filter.png", makePng({}, Bytes(std::size_t(48) * 193, 5)),
         "the PNG's pixel data is damaged (a row has filter type 5; only 0 to 4 exist)"},
        {"codes.gif", kGifEndsEarly,
         "the GIF's pixel data ends before the picture is complete "
         "(giflib: Image EOF detected before image complete)"},
        {"big.png", bigPng, "20000 x 10000" + tooMany + "100000000 pixels"},
        {"big.ico", icon, "an icon in it holds a PNG picture: 20000 x 10000" + tooMany + "100000000 pixels"},
        {"empty.jpg", {}, "it is empty"},
        {"garbage.png", {'n', 'o', 'n', 'e'}, "its bytes are in no picture format this program reads"},
        // A .bmp file that holds something else is refused, not guessed at:
        // the bitmap tables' NotBm.
        {"size.bmp", carrying(png, 5, 36, 23), "the embedded PNG picture is 37 x 23, the header says 36 x 23"},
        // A lower limit.
        {"big-png.bmp", carrying(png, 5, 37, 23), "37 x 23" + tooMany + "850 pixels", {}, 850},
        // A header that understates the stream's size does not get it past the limit.
        {"understated.bmp",
         carrying(png, 5, 10, 23),
         "the embedded PNG stream: 37 x 23" + tooMany + "850 pixels",
         {},
         850},
    };
    for (const auto& c : cases) {
        const std::string file = write(c.name, c.bytes);
        PictureSurface loaded;
        EXPECT_EQ(refusal([&] { loaded = LoadPicture(file, LoadLimits{c.limit}); }),
                  c.reason.empty() ? "(read)" : "Cannot load " + file + ": " + c.reason);
        EXPECT_EQ(loaded, c.picture) << c.name;
    }
}

// The loader reads the rows of a plain 24-bit file straight into the picture,
// other bitmaps whole: both read every table case as from memory, and refuse
// the same files with the same words. What the writer makes, Qt's reader
// reads as the same picture.
TEST_F(PictureFile, BitmapFilesReadAsFromMemoryAndWrittenAsQtReadsThem) {
    for (const ValidBmp& c : ValidBmps())
        EXPECT_EQ(LoadPicture(write(c.name + ".bmp", c.file)), DecodeBmp(c.file)) << c.name;
    for (const BrokenBmp& c : BrokenBmps())
        if (c.name != "JpegWithoutDecoder") { // the loader has a decoder for it
            const std::string file = write(c.name + ".bmp", c.file);
            EXPECT_EQ(refusal([&] { LoadPicture(file, {c.maxPixels}); }), "Cannot load " + file + ": " + c.message);
        }
    // A batch reads each picture into the last one's storage when the size
    // matches (the picture, 2.1 MB, spans several reads).
    const PictureSurface large = randomPicture(1000, 700, 3);
    const std::string first = write("first.bmp", EncodeBmp(large)), second = write("second.bmp", EncodeBmp(large));
    PictureSurface reused;
    LoadPictureArgumentInto(first, {}, reused);
    const AllocationWatch watch;
    LoadPictureArgumentInto(second, {}, reused);
    EXPECT_LT(watch.largest(), 64u * 1024);
    EXPECT_EQ(reused, large);
    // Widths 1 to 5 need every amount of row padding.
    for (int w = 1; w <= 5; ++w) {
        const PictureSurface picture = randomPicture(w, 600, std::uint32_t(w));
        SaveBmp(picture, path("out.bmp"));
        EXPECT_EQ(SurfaceFromImage(QImage(QString::fromStdString(path("out.bmp")))), picture) << "width " << w;
        // 24 bits a pixel, rows padded to 4 bytes, no palette.
        EXPECT_EQ(std::filesystem::file_size(path("out.bmp")), 54u + 600u * ((3u * unsigned(w) + 3) / 4 * 4)) << w;
    }
}

// The writer's one rule for what stands at a name (the CLI's overlay plan
// applies it too): a file or a symlink, whatever it points to, is replaced;
// a FIFO (like /dev/null) or a folder is refused before anything is
// written, and stays what it was. So is a picture too large for the format.
// No refusal leaves a file behind.
TEST_F(PictureFile, WritesReplaceFilesAndSymlinksOnly) {
    namespace fs = std::filesystem;
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0755), 0);
    write("file", {1, 2, 3});
    for (const auto& [link, to] : {std::pair{"to-fifo", "fifo"}, {"to-folder", "folder"}, {"dangling", "nowhere"}})
        fs::create_symlink(path(to), path(link));
    const struct {
        std::string name;
        AtPath at;
        std::string refusal; // empty: written
    } cases[] = {
        {"missing", AtPath::Replaceable, ""},
        {"file", AtPath::Replaceable, ""},
        {"to-fifo", AtPath::Replaceable, ""},
        {"to-folder", AtPath::Replaceable, ""},
        {"dangling", AtPath::Replaceable, ""},
        {"fifo", AtPath::SpecialFile, "it is not a regular file, and would be replaced"},
        {"folder", AtPath::Folder, std::strerror(EISDIR)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WhatIsAt(path(c.name)), c.at) << c.name;
        EXPECT_EQ(refusal([&] { SaveBmp(whiteSquare(), path(c.name)); }),
                  c.refusal.empty() ? "(read)" : "Cannot write " + path(c.name) + ": " + c.refusal)
            << c.name;
        if (c.refusal.empty()) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path(c.name)))) << c.name << " was not replaced";
        }
    }
    EXPECT_EQ(fs::status(path("fifo")).type(), fs::file_type::fifo);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(path("folder"))));
    EXPECT_TRUE(fs::is_empty(path("folder")));
    // Its rows would need 4 GiB and 4 bytes. The picture is never touched,
    // so its 3 GB cost address space only.
    const PictureSurface tall(1, 1073741811, PictureSurface::Uninitialised{});
    EXPECT_EQ(refusal([&] { SaveBmp(tall, path("tall.bmp")); }),
              "Cannot write " + path("tall.bmp") +
                  ": a picture of 1 x 1073741811 pixels is too large for a BMP file (4 GiB at most)");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{"dangling", "fifo", "file", "folder", "missing", "to-fifo", "to-folder"}));
}

// One suffix rule, the loader's, which the CLI's folder listing applies too:
// a name that ends in .bmp or .dib, in any case, is a bitmap, and a file so
// named that holds something else is refused, not handed to Qt; the listing
// takes those and every ending Qt's reader knows, and nothing else.
TEST_F(PictureFile, OneSuffixRuleForTheLoaderAndTheFolderListing) {
    const Bytes png = encoded(ImageFromSurface(whiteSquare()), "PNG");
    const std::string notBmp = "not a BMP file (it does not start with \"BM\")";
    const struct {
        std::string name;
        bool bitmap, listed;
    } cases[] = {
        {"a.bmp", true, true},    {"B.BMP", true, true},    {"c.Bmp", true, true},      {"d.dib", true, true},
        {"E.DIB", true, true},    {"f.dIb", true, true},    {"g.png.bmp", true, true},  {".bmp", true, true},
        {"h.png", false, true},   {"I.PNG", false, true},   {"j.bmp.png", false, true}, {"k.PnG", false, true},
        {"l.bmpx", false, false}, {"mbmp", false, false},   {"n.txt", false, false},    {"o.", false, false},
        {"p", false, false},      {"q.dib~", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsBitmapName(c.name), c.bitmap) << c.name;
        EXPECT_EQ(IsBitmapName("folder.png/" + c.name), c.bitmap) << c.name;
        EXPECT_EQ(HasReadableSuffix(c.name), c.listed) << c.name;
        const std::string file = write(c.name, png);
        EXPECT_EQ(refusal([&] { LoadPicture(file); }), c.bitmap ? "Cannot load " + file + ": " + notBmp : "(read)")
            << c.name;
    }
    // Only the last component's ending counts.
    EXPECT_FALSE(IsBitmapName("pictures.bmp/scan"));
    EXPECT_FALSE(HasReadableSuffix("pictures.png/scan"));
    // A bitmap named .dib is read as any other.
    EXPECT_EQ(LoadPicture(write("x.DIB", EncodeBmp(whiteSquare()))), whiteSquare());
}

// A name that cannot be opened, and a folder, which opens but cannot be read,
// are refused with the system's own cause.
TEST_F(PictureFile, RefusalsGiveTheSystemsOwnCauseAndNamesAreBytesShownReadably) {
    ASSERT_EQ(::mkdir(path("folder.png").c_str(), 0755), 0);
    for (const auto& [name, error] : {std::pair{path("missing/x.png"), ENOENT}, {path("folder.png"), EISDIR}}) {
        const std::string& file = name; // a lambda cannot capture a binding before clang 16
        EXPECT_EQ(refusal([&] { LoadPicture(file); }), "Cannot load " + file + ": " + std::strerror(error));
    }
    // Not UTF-8: opened as it is (refused as empty, not as missing), shown escaped.
    const std::string file = write("caf\xE9\xFF\n.gif", {});
    EXPECT_EQ(refusal([&] { LoadPicture(file); }), "Cannot load " + path("caf\\xE9\\xFF\\x0A.gif: it is empty"));
    // Qt lists no name that is not in the locale's encoding, so QTemporaryDir
    // would leave it behind.
    ::unlink(file.c_str());
    for (const auto& [bytes, shown] : {std::pair{"plain/é/水.png", "plain/é/水.png"},
                                       {"\x7F\t", "\\x7F\\x09"},
                                       {"a\\x41", "a\\\\x41"},
                                       {"\xC0\xAF", "\\xC0\\xAF"},                   // an overlong '/'
                                       {"\xED\xA0\x80", "\\xED\\xA0\\x80"},          // a surrogate
                                       {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // past U+10FFFF
                                       {"\xC2\x85", "\\xC2\\x85"},                   // a C1 control
                                       {"a\xE6\xB0", "a\\xE6\\xB0"}})                // a cut sequence
        EXPECT_EQ(ReadableName(bytes), shown);
}

// Standard input ("-"), like any pipe, has no size and cannot seek: the bytes
// alone say the format. A file that changes under the reader is refused.
TEST_F(PictureFile, StreamsAndFilesThatChangeWhileRead) {
    const Bytes png = encoded(ImageFromSurface(whiteSquare()), "PNG");
    int ends[2];
    // A pipe opened by its name, as a FIFO is: the whole picture, unsized.
    const Bytes bmp = EncodeBmp(whiteSquare());
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], bmp.data(), bmp.size()), ssize_t(bmp.size()));
    ::close(ends[1]);
    EXPECT_EQ(LoadPicture("/dev/fd/" + std::to_string(ends[0])), whiteSquare());
    ::close(ends[0]);
    ASSERT_EQ(::pipe(ends), 0);
    // All but the IEND chunk; small enough for the pipe's buffer.
    ASSERT_EQ(::write(ends[1], png.data(), png.size() - 12), ssize_t(png.size() - 12));
    ::close(ends[1]);
    const int savedInput = ::dup(STDIN_FILENO);
    ::dup2(ends[0], STDIN_FILENO);
    ::close(ends[0]);
    EXPECT_EQ(refusal([] { LoadPictureArgument("-"); }),
              "Cannot load standard input: the PNG data ends before its IEND chunk (the file is cut short)");
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
    // An endless stream of something else is refused from its start.
    EXPECT_EQ(refusal([] { LoadPicture("/dev/zero"); }),
              "Cannot load /dev/zero: its first 64 KiB are in no picture format this program reads");
    // Another program cuts the file to 10000 bytes while it is read.
    const Bytes whole = EncodeBmp(randomPicture(300, 200, 5));
    std::size_t at = 0;
    const ReadSome source = [&](void* buffer, std::size_t n) {
        n = std::min<std::size_t>({n, 4096, 10000 - at});
        std::memcpy(buffer, whole.data() + at, n);
        at += n;
        return long(n);
    };
    EXPECT_EQ(refusal([&] { LoadPictureFromSource(source, whole.size(), true, nullptr, "f.bmp", {}); }),
              "Cannot load f.bmp: the file shrank while it was read (10000 of 180054 bytes)");
}

} // namespace
