// LoadPicture as the window and the CLI use it: every source, every name, and
// damaged or oversized files of the formats that go through Qt.
#include "bmp_writer.h"
#include "core_application.h"
#include "picture_file.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

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

std::string refusal(const std::string& file, const LoadLimits& limits = {}) {
    return refusal([&] { LoadPicture(file, limits); });
}

Bytes encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return Bytes(data.begin(), data.end());
}

Bytes firstHalf(const Bytes& b) {
    return Bytes(b.begin(), b.begin() + std::ptrdiff_t(b.size() / 2));
}

// Black and white, as a GIF (Qt writes none): a clear code before every
// second pixel keeps the codes at 3 bits, which any decoder must follow.
Bytes gif(const PictureSurface& p) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    auto le16 = [&out](int v) { out.push_back(std::uint8_t(v)); out.push_back(std::uint8_t(v >> 8)); };
    le16(p.width());
    le16(p.height());
    out.insert(out.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0});
    le16(p.width());
    le16(p.height());
    out.insert(out.end(), {0, 2});
    Bytes codes;
    std::uint32_t bits = 0, count = 0;
    auto code = [&](std::uint32_t c) {
        bits |= c << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8)
            codes.push_back(std::uint8_t(bits));
    };
    int n = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x, ++n) {
            if (n % 2 == 0)
                code(4);
            code(p.pixel(x, y) == 0 ? 0 : 1);
        }
    code(5);
    if (count)
        codes.push_back(std::uint8_t(bits));
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t len = std::min<std::size_t>(255, codes.size() - at);
        out.push_back(std::uint8_t(len));
        out.insert(out.end(), codes.begin() + std::ptrdiff_t(at), codes.begin() + std::ptrdiff_t(at + len));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

void be32(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(std::uint8_t(v >> s));
}

// A PNG whose header declares width x height, with valid checksums but
// almost no pixels: only the size check stands between it and a huge
// allocation.
Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&out](const char* type, const Bytes& data) {
        be32(out, std::uint32_t(data.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        be32(out, std::uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
    };
    Bytes ihdr;
    be32(ihdr, width);
    be32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", {0x78, 0x9C, 0x63, 0, 0, 0, 1, 0, 1}); // one zero byte
    chunk("IEND", {});
    return out;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

PictureSurface blackAndWhite() {
    PictureSurface p(37, 23);
    fillRect(p, 5, 4, 30, 19, 0xFFFFFF);
    return p;
}

TEST_F(PictureFile, OtherFormatsArriveAsBlueGreenRed) {
    const PictureSurface picture = randomPicture(7, 5, 3);
    // Alpha is dropped, palettes are expanded, every format ends up 24-bit.
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888})
        EXPECT_EQ(LoadPicture(write("p.png", encoded(ImageFromSurface(picture).convertToFormat(format), "PNG"))),
                  picture) << format;
    EXPECT_EQ(LoadPicture(write("p.gif", gif(blackAndWhite()))), blackAndWhite());
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(0);
    indexed.setPixel(3, 1, 1);
    const PictureSurface loaded = LoadPicture(write("palette.png", encoded(indexed, "PNG")));
    EXPECT_EQ(loaded.pixel(0, 0), 0x1E140Au);
    EXPECT_EQ(loaded.pixel(3, 1), 0x3264C8u);
}

// Each of these was shown as if whole, or printed a codec line naming no file.
TEST_F(PictureFile, CutFilesAreRefusedWithTheirCause) {
    // Noise, so that half of each file ends inside its pixel data.
    const QImage image = ImageFromSurface(randomPicture(37, 23, 9));
    struct Case {
        std::string name;
        Bytes whole;
        std::string reason;
    };
    const Case cases[] = {
        {"cut.png", encoded(image, "PNG"), "the PNG data ends inside a chunk (the file is cut short)"},
        {"cut.jpg", encoded(image, "JPEG"), "the JPEG data ends before its end marker (the file is cut short)"},
        {"cut.gif", gif(blackAndWhite()), "the GIF data ends before its trailer (the file is cut short)"},
        {"cut.xbm", encoded(image, "XBM"), "the XBM data ends before its closing brace (the file is cut short)"},
        {"cut.ppm", encoded(image, "PPM"), "the PPM data cannot be decoded: Unable to read image data"},
        {"cut.ico", encoded(image, "ICO"), "the ICO data cannot be decoded: Unable to read image data"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(LoadPicture(write("whole-" + c.name, c.whole)).width(), 37) << c.name;
        const std::string file = write(c.name, firstHalf(c.whole));
        EXPECT_EQ(refusal(file), "Cannot load " + file + ": " + c.reason);
    }
    Bytes flipped = encoded(image, "PNG");
    flipped[flipped.size() / 2] ^= 0x10;
    const std::string damaged = write("damaged.png", flipped);
    EXPECT_NE(refusal(damaged).find("fails its checksum"), std::string::npos) << refusal(damaged);
}

TEST_F(PictureFile, EveryFormatIsHeldToTheLimitBeforeDecoding) {
    Bytes jpegHeader = encoded(ImageFromSurface(blackAndWhite()), "JPEG");
    const std::uint8_t startOfFrame[] = {0xFF, 0xC0};
    const std::size_t sof = std::size_t(std::search(jpegHeader.begin(), jpegHeader.end(), std::begin(startOfFrame),
                                                    std::end(startOfFrame)) - jpegHeader.begin());
    ASSERT_LT(sof, jpegHeader.size());
    jpegHeader[sof + 5] = jpegHeader[sof + 7] = 10000 >> 8;
    jpegHeader[sof + 6] = jpegHeader[sof + 8] = 10000 & 0xFF;
    const Bytes bigPng = pngHeaderOnly(20000, 10000);
    Bytes icon = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
    for (const std::uint32_t v : {std::uint32_t(bigPng.size()), 22u})
        for (int s = 0; s < 32; s += 8)
            icon.push_back(std::uint8_t(v >> s));
    icon.insert(icon.end(), bigPng.begin(), bigPng.end());
    struct Case {
        std::string name;
        Bytes bytes;
        std::string reason;
    };
    const Case cases[] = {
        {"big.png", bigPng, "20000 x 10000 pixels is more than the limit of 100000000 pixels"},
        {"big.jpg", jpegHeader, "10000 x 10000 pixels is more than the limit of 99999999 pixels"},
        {"big.xbm", text("#define a_width 14142\n#define a_height 14142\nstatic char a_bits[] = {\n0x00 };\n"),
         "14142 x 14142 pixels is more than the limit of 100000000 pixels"},
        {"big.ico", icon, "an icon in it holds a PNG picture of 20000 x 10000 pixels, more than the limit of "
                          "100000000 pixels"},
        {"big.gif", gif(blackAndWhite()), "37 x 23 pixels is more than the limit of 850 pixels"},
    };
    for (const Case& c : cases) {
        const LoadLimits limits{c.name == "big.jpg" ? 99'999'999u : c.name == "big.gif" ? 850u : 100'000'000u};
        const std::string file = write(c.name, c.bytes);
        EXPECT_EQ(refusal(file, limits), "Cannot load " + file + ": " + c.reason);
    }
}

TEST_F(PictureFile, RefusalsGiveTheSystemsOwnCause) {
    ASSERT_EQ(::symlink("loop-b", path("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", path("loop-b").c_str()), 0);
    ASSERT_EQ(::mkdir(path("folder.png").c_str(), 0755), 0);
    struct Case {
        std::string file;
        int error;
    };
    for (const Case& c : {Case{path("missing.png"), ENOENT}, Case{path("folder.png"), EISDIR},
                          Case{path("loop-a"), ELOOP}, Case{path("missing/x.bmp"), ENOENT},
                          Case{path("folder.png/x"), ENOENT}})
        EXPECT_EQ(refusal(c.file), "Cannot load " + c.file + ": " + std::strerror(c.error));
    const std::string empty = write("empty.jpg", {});
    EXPECT_EQ(refusal(empty), "Cannot load " + empty + ": it is empty");
    const std::string garbage = write("garbage.png", text("definitely not a picture"));
    EXPECT_EQ(refusal(garbage), "Cannot load " + garbage + ": its bytes are in no picture format this program reads");
    if (::geteuid() != 0) { // root reads whatever the mode says
        const std::string locked = write("locked.png", encoded(ImageFromSurface(blackAndWhite()), "PNG"));
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        EXPECT_EQ(refusal(locked), "Cannot load " + locked + ": " + std::strerror(EACCES));
    }
    ::unlink(path("loop-a").c_str()); // QTemporaryDir cannot remove a loop
    ::unlink(path("loop-b").c_str());
}

TEST_F(PictureFile, NamesAreBytesAndShownReadably) {
    const std::string latin1 = "caf\xE9\xFF\xFE.png"; // not UTF-8
    const std::string file = write(latin1, encoded(ImageFromSurface(blackAndWhite()), "PNG"));
    EXPECT_EQ(LoadPicture(file), blackAndWhite());
    const std::string broken = write("caf\xE9\n.gif", firstHalf(gif(blackAndWhite())));
    EXPECT_EQ(refusal(broken).rfind("Cannot load " + path("caf\\xE9\\x0A.gif: "), 0), 0u) << refusal(broken);
    // Qt lists no name that is not in the locale's encoding, so QTemporaryDir
    // would leave these behind.
    ::unlink(file.c_str());
    ::unlink(broken.c_str());

    struct Case {
        std::string bytes, shown;
    };
    for (const Case& c : {Case{"plain/é/水.png", "plain/é/水.png"}, Case{"\x7F\t", "\\x7F\\x09"}, Case{"a\\x41", "a\\\\x41"},
                          Case{"\xC0\xAF", "\\xC0\\xAF"},              // overlong '/'
                          Case{"\xED\xA0\x80", "\\xED\\xA0\\x80"},     // a surrogate
                          Case{"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // past U+10FFFF
                          Case{"\xC2\x85", "\\xC2\\x85"},              // C1 control
                          Case{"a\xE6\xB0", "a\\xE6\\xB0"}})           // cut sequence
        EXPECT_EQ(ReadableName(c.bytes), c.shown);
}

// Pipes and FIFOs have no size and cannot seek: the bytes alone say the format.
TEST_F(PictureFile, FifosAreReadAsStreams) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    for (const Bytes& bytes : {encoded(ImageFromSurface(blackAndWhite()), "PNG"), EncodeBmp(blackAndWhite())}) {
        std::thread writer([&] {
            const int fd = ::open(path("fifo").c_str(), O_WRONLY);
            for (std::size_t at = 0; at < bytes.size(); at += 100) // in pieces, as a slow pipe
                EXPECT_GT(::write(fd, bytes.data() + at, std::min<std::size_t>(100, bytes.size() - at)), 0);
            ::close(fd);
        });
        EXPECT_EQ(LoadPicture(path("fifo")), blackAndWhite());
        writer.join();
    }
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
}

TEST_F(PictureFile, FileThatShrinksOrFailsWhileReadIsRefused) {
    const Bytes whole = EncodeBmp(randomPicture(300, 200, 5));
    const std::string file = write("shrinks.bmp", whole);
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int calls = 0;
    // Another program cuts the file after the first read.
    const ReadSome shrinking = [&](void* buffer, std::size_t n) {
        const long got = long(::read(fd, buffer, std::min<std::size_t>(n, 4096)));
        if (++calls == 1) {
            EXPECT_EQ(::truncate(file.c_str(), 10000), 0);
        }
        return got;
    };
    EXPECT_EQ(refusal([&] { LoadPictureFromSource(shrinking, whole.size(), true, nullptr, file, {}); }),
              "Cannot load " + file + ": the file shrank while it was read (10000 of " +
                  std::to_string(whole.size()) + " bytes)");
    ::close(fd);
    calls = 0;
    const ReadSome failing = [&](void*, std::size_t n) -> long {
        if (++calls == 1)
            return long(std::min<std::size_t>(n, 100));
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(refusal([&] { LoadPictureFromSource(failing, std::nullopt, false, nullptr, "standard input", {}); }),
              std::string("Cannot load standard input: ") + std::strerror(EIO));
}

TEST_F(PictureFile, CliReadsStandardInputAndNamesEveryFileOnStderr) {
    auto run = [](const QStringList& args, const Bytes& input) {
        QProcess p;
        p.start(QStringLiteral(QUADFIND_CLI), args);
        p.write(reinterpret_cast<const char*>(input.data()), qint64(input.size()));
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    };
    const Bytes png = encoded(ImageFromSurface(blackAndWhite()), "PNG");
    const auto [status, err] = run({QStringLiteral("-")}, png);
    EXPECT_EQ(status, 0) << err.toStdString();

    const QImage image = ImageFromSurface(blackAndWhite());
    const QStringList cut = {QString::fromStdString(write("a.jpg", firstHalf(encoded(image, "JPEG")))),
                             QString::fromStdString(write("b.png", firstHalf(png))),
                             QString::fromStdString(write("c.gif", firstHalf(gif(blackAndWhite()))))};
    const auto [cutStatus, cutErr] = run(QStringList(cut) << QStringLiteral("-"), firstHalf(png));
    EXPECT_EQ(cutStatus, 1);
    const QStringList lines = cutErr.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << cutErr.toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("quadfind-cli: Cannot load ") + cut[i] + ": ")) << lines[i].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("quadfind-cli: Cannot load standard input: "))) << lines[3].toStdString();
}

TEST_F(PictureFile, WrittenBmpIsWhatAnIndependentReaderSees) {
    // Widths 1..5 cover every amount of row padding.
    for (int w = 1; w <= 5; ++w) {
        const PictureSurface picture = randomPicture(w, 3, std::uint32_t(w));
        SaveBmp(picture, path("out.bmp"));
        const QImage image(QString::fromStdString(path("out.bmp")));
        ASSERT_FALSE(image.isNull()) << "width " << w;
        EXPECT_EQ(SurfaceFromImage(image), picture) << "width " << w;
        std::ifstream file(path("out.bmp"), std::ios::binary);
        char header[30] = {};
        file.read(header, sizeof header);
        EXPECT_EQ(header[28], 24) << "not a 24-bit file";
    }
}

} // namespace
