// LoadPicture as the window and the CLI use it: which decoder reads what,
// every source and every name, damaged or oversized files of every format
// refused with their cause; and the BMP writer against Qt's reader.
#include "bmp_cases.h"
#include "bmp_writer.h"
#include "core_application.h"
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
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

class PictureFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureCoreApplication(); }
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
    std::string write(const std::string& name, const Bytes& bytes) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path(name);
    }
    QTemporaryDir dir;
};

std::string refusal(const std::function<void()>& load) {
    try {
        load();
    } catch (const PictureError& e) {
        return e.what();
    }
    return "(loaded)";
}

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

// A bitmap whose pixel data is a whole JPEG (compression 4) or PNG (5) file.
Bytes carrying(const Bytes& stream, std::uint32_t compression, int width, int height) {
    return Bmp{.width = width, .height = height, .bits = 0, .compression = compression, .pixels = stream}.bytes();
}

// 4 x 3 in black and white as a GIF (Qt writes none): a clear code before
// every second pixel keeps the LZW codes at 3 bits, which any decoder must follow.
const Bytes kGif = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 3, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0,
                    4, 0, 3, 0, 0, 2, 8, 0x44, 0x08, 0x10, 0x60, 0xC2, 0x80, 0x40, 0x01, 0, 0x3B};
PictureSurface gifPicture() {
    PictureSurface p(4, 3);
    for (const auto& [x, y] : {std::pair{1, 0}, {2, 1}, {3, 1}, {0, 2}})
        p.setPixel(x, y, 0xFFFFFF);
    return p;
}

// 5-bit 31 in a 16-bit bitmap: our reader gives 255, Qt's would give 248.
const Bytes kRed555 = Bmp{.bits = 16, .pixels = packRows(16, {{0x7C00}})}.bytes();

TEST_F(PictureFile, EveryFormatArrivesAsBlueGreenRedOrIsRefusedWithItsCause) {
    // Noise, so that half of each file ends inside its pixel data.
    const PictureSurface noise = randomPicture(37, 23, 9);
    const QImage image = ImageFromSurface(noise);
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(0);
    indexed.setPixel(3, 1, 1);
    PictureSurface expanded = filled(4, 2, 0x1E140A);
    expanded.setPixel(3, 1, 0x3264C8);
    const Bytes png = encoded(image, "PNG"), jpeg = encoded(image, "JPEG");
    const auto qtDecoded = [](const Bytes& b) { return SurfaceFromImage(QImage::fromData(b.data(), int(b.size()))); };
    const PictureSurface red = filled(1, 1, 0x0000FF);
    const struct {
        std::string name;
        Bytes bytes;
        PictureSurface picture;
    } accepted[] = {
        // Alpha is dropped, palettes are expanded, every format ends up 24-bit.
        {"rgb32.png", encoded(image.convertToFormat(QImage::Format_RGB32), "PNG"), noise},
        {"argb32.png", encoded(image.convertToFormat(QImage::Format_ARGB32), "PNG"), noise},
        {"rgb888.png", encoded(image.convertToFormat(QImage::Format_RGB888), "PNG"), noise},
        {"palette.png", encoded(indexed, "PNG"), expanded},
        {"p.gif", kGif, gifPicture()},
        {"whole.ppm", encoded(image, "PPM"), noise},
        // Bitmaps go to our reader by their first bytes or by their name.
        {"red.bmp", kRed555, red}, {"red.BMP", kRed555, red}, {"red.dat", kRed555, red}, {"red", kRed555, red},
        {"png.bmp", carrying(png, 5, 37, 23), noise},
        // Lossy, or lossy to write: the pixels are what Qt makes of the same bytes.
        {"jpeg.bmp", carrying(jpeg, 4, 37, 23), qtDecoded(jpeg)},
        {"whole.jpg", jpeg, qtDecoded(jpeg)},
        {"whole.xbm", encoded(image, "XBM"), qtDecoded(encoded(image, "XBM"))},
        {"whole.ico", encoded(image, "ICO"), qtDecoded(encoded(image, "ICO"))},
    };
    for (const auto& c : accepted)
        EXPECT_EQ(LoadPicture(write(c.name, c.bytes)), c.picture) << c.name;

    Bytes damaged = png;
    damaged[damaged.size() / 2] ^= 0x10;
    const std::uint8_t idatType[] = {'I', 'D', 'A', 'T'};
    const auto idat = std::search(png.begin(), png.end(), std::begin(idatType), std::end(idatType)) - png.begin() - 4;
    // Headers that declare 20000 x 10000 or 10000 x 10000 with almost no
    // pixels: only the size check stands between them and a huge allocation.
    Bytes bigPng = encoded(ImageFromSurface(PictureSurface(1, 1)), "PNG"), bigJpeg = jpeg;
    const auto be32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i)
            b[at + i] = std::uint8_t(v >> (24 - 8 * i));
    };
    be32(bigPng, 16, 20000);
    be32(bigPng, 20, 10000);
    be32(bigPng, 29, std::uint32_t(crc32(0, bigPng.data() + 12, 17))); // of the IHDR chunk
    const std::uint8_t startOfFrame[] = {0xFF, 0xC0};
    const auto sof = std::search(jpeg.begin(), jpeg.end(), std::begin(startOfFrame), std::end(startOfFrame));
    be32(bigJpeg, std::size_t(sof - jpeg.begin()) + 5, 10000u << 16 | 10000u);
    Bytes icon = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 22, 0, 0, 0}; // one entry, at byte 22
    put(icon, 14, std::uint32_t(bigPng.size()));
    icon.resize(22 + bigPng.size());
    std::copy(bigPng.begin(), bigPng.end(), icon.begin() + 22);
    const std::string xbm = "#define a_width 14142\n#define a_height 14142\nstatic char a_bits[] = {\n0x00 };\n";
    const std::string tooMany = " pixels is more than the limit of ";
    const struct {
        std::string name;
        Bytes bytes;
        std::string reason;
        std::uint64_t limit = LoadLimits::kDefaultMaxPixels;
    } refused[] = {
        {"cut.png", firstHalf(png), "the PNG data ends inside a chunk (the file is cut short)"},
        {"cut.jpg", firstHalf(jpeg), "the JPEG data ends before its end marker (the file is cut short)"},
        {"cut.gif", firstHalf(kGif), "the GIF data ends before its trailer (the file is cut short)"},
        {"cut.xbm", firstHalf(encoded(image, "XBM")),
         "the XBM data ends before its closing brace (the file is cut short)"},
        {"cut.ppm", firstHalf(encoded(image, "PPM")), "the PPM data cannot be decoded: Unable to read image data"},
        {"cut.ico", firstHalf(encoded(image, "ICO")), "the ICO data cannot be decoded: Unable to read image data"},
        {"damaged.png", damaged, "the PNG chunk IDAT at byte " + std::to_string(idat) + " fails its checksum"},
        {"big.png", bigPng, "20000 x 10000" + tooMany + "100000000 pixels"},
        {"big.jpg", bigJpeg, "10000 x 10000" + tooMany + "99999999 pixels", 99'999'999},
        {"big.xbm", Bytes(xbm.begin(), xbm.end()), "14142 x 14142" + tooMany + "100000000 pixels"},
        {"big.ico", icon,
         "an icon in it holds a PNG picture of 20000 x 10000 pixels, more than the limit of 100000000 pixels"},
        {"big.gif", kGif, "4 x 3" + tooMany + "11 pixels", 11},
        {"empty.jpg", {}, "it is empty"},
        {"garbage.png", {'n', 'o', 'n', 'e'}, "its bytes are in no picture format this program reads"},
        // A .bmp file that holds something else is refused, not guessed at.
        {"png-named.bmp", png, "not a BMP file (it does not start with \"BM\")"},
        {"empty.bmp", {}, "not a BMP file (it does not start with \"BM\")"},
        {"limit.bmp", kRed555, "1 x 1" + tooMany + "0 pixels", 0},
        {"size.bmp", carrying(png, 5, 36, 23), "the embedded PNG picture is 37 x 23, the header says 36 x 23"},
        {"cut-png.bmp", carrying(firstHalf(png), 5, 37, 23),
         "the embedded PNG stream: the PNG data ends inside a chunk (the file is cut short)"},
        {"big-png.bmp", carrying(png, 5, 37, 23), "37 x 23" + tooMany + "850 pixels", 850},
        // A header that understates the stream's size does not get it past the limit.
        {"understated.bmp", carrying(png, 5, 10, 23), "the embedded PNG stream: 37 x 23" + tooMany + "850 pixels", 850},
    };
    for (const auto& c : refused) {
        const std::string file = write(c.name, c.bytes);
        EXPECT_EQ(refusal([&] { LoadPicture(file, LoadLimits{c.limit}); }), "Cannot load " + file + ": " + c.reason);
    }
}

TEST_F(PictureFile, RefusalsGiveTheSystemsOwnCause) {
    ASSERT_EQ(::symlink("loop-b", path("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", path("loop-b").c_str()), 0);
    ASSERT_EQ(::mkdir(path("folder.png").c_str(), 0755), 0);
    const std::string locked = write("locked.png", kGif);
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    for (const auto& [file, error] : {std::pair{path("missing.png"), ENOENT}, {path("folder.png"), EISDIR},
                                      {path("loop-a"), ELOOP}, {path("missing/x.bmp"), ENOENT},
                                      {path("folder.png/x"), ENOENT}, {locked, EACCES}})
        if (error != EACCES || ::geteuid() != 0) { // root reads whatever the mode says
            EXPECT_EQ(refusal([&] { LoadPicture(file); }), "Cannot load " + file + ": " + std::strerror(error));
        }
    ::unlink(path("loop-a").c_str()); // QTemporaryDir cannot remove a loop
    ::unlink(path("loop-b").c_str());
}

TEST_F(PictureFile, NamesAreBytesAndShownReadably) {
    const std::string latin1 = write("caf\xE9\xFF\xFE.gif", kGif); // not UTF-8
    EXPECT_EQ(LoadPicture(latin1), gifPicture());
    const std::string broken = write("caf\xE9\n.gif", firstHalf(kGif));
    EXPECT_EQ(refusal([&] { LoadPicture(broken); }).rfind("Cannot load " + path("caf\\xE9\\x0A.gif: "), 0), 0u);
    // Qt lists no name that is not in the locale's encoding, so QTemporaryDir
    // would leave these behind.
    ::unlink(latin1.c_str());
    ::unlink(broken.c_str());
    for (const auto& [bytes, shown] : {std::pair{"plain/é/水.png", "plain/é/水.png"}, {"\x7F\t", "\\x7F\\x09"},
                                       {"a\\x41", "a\\\\x41"}, {"\xC0\xAF", "\\xC0\\xAF"}, // an overlong '/'
                                       {"\xED\xA0\x80", "\\xED\\xA0\\x80"},               // a surrogate
                                       {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},      // past U+10FFFF
                                       {"\xC2\x85", "\\xC2\\x85"},                        // a C1 control
                                       {"a\xE6\xB0", "a\\xE6\\xB0"}})                     // a cut sequence
        EXPECT_EQ(ReadableName(bytes), shown);
}

// Pipes, FIFOs and standard input ("-") have no size and cannot seek: the
// bytes alone say the format. A file that changes under the reader is refused.
TEST_F(PictureFile, StreamsAndFilesThatChangeWhileRead) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const Bytes png = encoded(ImageFromSurface(whiteSquare()), "PNG");
    const std::string cut = ": the PNG data ends before its IEND chunk (the file is cut short)";
    const int savedInput = ::dup(STDIN_FILENO);
    for (const bool standardInput : {false, true}) {
        for (const auto& [bytes, refused] : {std::pair{png, false}, {EncodeBmp(whiteSquare()), false},
                                                  {Bytes(png.begin(), png.end() - 12), true}}) { // no IEND
            std::thread writer([&] {
                const int fd = ::open(path("fifo").c_str(), O_WRONLY);
                for (std::size_t at = 0; at < bytes.size(); at += 100) // in pieces, as a slow pipe
                    EXPECT_GT(::write(fd, bytes.data() + at, std::min<std::size_t>(100, bytes.size() - at)), 0);
                ::close(fd);
            });
            if (standardInput) {
                const int fd = ::open(path("fifo").c_str(), O_RDONLY);
                ::dup2(fd, STDIN_FILENO);
                ::close(fd);
            }
            PictureSurface loaded;
            EXPECT_EQ(refusal([&] { loaded = standardInput ? LoadPictureArgument("-") : LoadPicture(path("fifo")); }),
                      !refused ? "(loaded)" : "Cannot load " + (standardInput ? "standard input" : path("fifo")) + cut);
            EXPECT_EQ(loaded, refused ? PictureSurface() : whiteSquare());
            writer.join();
            ::dup2(savedInput, STDIN_FILENO); // the FIFO's last reader goes
        }
    }
    ::close(savedInput);
    // An endless stream of something else (/dev/zero) is refused from its start.
    std::uint64_t served = 0;
    const ReadSome zeros = [&served](void* buffer, std::size_t n) {
        std::memset(buffer, 0, n);
        served += n;
        return long(n);
    };
    EXPECT_EQ(refusal([&] { LoadPictureFromSource(zeros, std::nullopt, false, nullptr, "zeros", {}); }),
              "Cannot load zeros: its first 64 KiB are in no picture format this program reads");
    EXPECT_LT(served, 1u << 20);

    // Another program cuts the file after the first read, or the disk fails.
    const Bytes whole = EncodeBmp(randomPicture(300, 200, 5));
    const std::string file = write("shrinks.bmp", whole);
    const int fd = ::open(file.c_str(), O_RDONLY);
    int calls = 0;
    const ReadSome shrinking = [&](void* buffer, std::size_t n) {
        const long got = long(::read(fd, buffer, std::min<std::size_t>(n, 4096)));
        if (++calls == 1) {
            EXPECT_EQ(::truncate(file.c_str(), 10000), 0);
        }
        return got;
    };
    EXPECT_EQ(refusal([&] { LoadPictureFromSource(shrinking, whole.size(), true, nullptr, file, {}); }),
              "Cannot load " + file + ": the file shrank while it was read (10000 of " + std::to_string(whole.size()) +
                  " bytes)");
    ::close(fd);
    calls = 0;
    const ReadSome failing = [&](void*, std::size_t n) -> long {
        errno = EIO;
        return calls++ == 0 ? long(std::min<std::size_t>(n, 100)) : -1;
    };
    EXPECT_EQ(refusal([&] { LoadPictureFromSource(failing, std::nullopt, false, nullptr, "standard input", {}); }),
              std::string("Cannot load standard input: ") + std::strerror(EIO));
}

TEST_F(PictureFile, WrittenBmpIsWhatAnIndependentReaderSees) {
    // Widths 1 to 5 need every amount of row padding.
    for (int w = 1; w <= 5; ++w) {
        const PictureSurface picture = randomPicture(w, 3, std::uint32_t(w));
        SaveBmp(picture, path("out.bmp"));
        EXPECT_EQ(SurfaceFromImage(QImage(QString::fromStdString(path("out.bmp")))), picture) << "width " << w;
        std::ifstream file(path("out.bmp"), std::ios::binary);
        file.seekg(28);
        EXPECT_EQ(file.get(), 24) << "width " << w << ": not a 24-bit file";
    }
}

} // namespace
