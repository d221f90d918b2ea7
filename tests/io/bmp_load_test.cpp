// LoadPicture's choice of decoder, and the JPEG and PNG streams that bitmaps
// may carry, which go through Qt.
#include "bmp_cases.h"
#include "core_application.h"
#include "picture_file.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

class LoadBmp : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureCoreApplication(); }
    std::string write(const char* name, const Bytes& bytes) {
        const std::string path = dir.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::string message(const std::string& path, const LoadLimits& limits = {}) {
        try {
            LoadPicture(path, limits);
        } catch (const PictureError& e) {
            return e.what();
        }
        return "(loaded)";
    }
    QTemporaryDir dir;
};

Bytes encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, 100));
    return Bytes(data.begin(), data.end());
}

Bytes carrying(const Bytes& stream, std::uint32_t compression, int width, int height) {
    Bmp b;
    b.bits = 0;
    b.compression = compression;
    b.width = width;
    b.height = height;
    b.pixels = stream;
    return b.bytes();
}

// 5-bit 31 must read as 255; a reader that shifts gives 248.
Bytes full555Red() {
    Bmp b;
    b.bits = 16;
    b.pixels = packRows(16, {{0x7C00}});
    return b.bytes();
}

TEST_F(LoadBmp, BitmapsGoToOurDecoderByContentOrByName) {
    for (const char* name : {"red.bmp", "red.BMP", "red.dat", "red"})
        EXPECT_EQ(LoadPicture(write(name, full555Red())).pixel(0, 0), 0x0000FFu) << name;
}

TEST_F(LoadBmp, RefusalsNameTheFileAndTheReason) {
    const Bytes png = encoded(ImageFromSurface(PictureSurface(2, 2)), "PNG");
    Bytes twoPlanes = full555Red();
    twoPlanes[26] = 2;
    struct Case {
        std::string path;
        std::string reason;
        LoadLimits limits;
    };
    const Case cases[] = {
        {write("png-named.bmp", png), "not a BMP file (it does not start with \"BM\")", {}},
        {write("planes.dat", twoPlanes), "the planes field is 2, not 1", {}},
        {write("limit.bmp", full555Red()), "1 x 1 pixels is more than the limit of 0 pixels", LoadLimits{0}},
        {write("empty.bmp", {}), "not a BMP file (it does not start with \"BM\")", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(message(c.path, c.limits), "Cannot load " + c.path + ": " + c.reason);
    const std::string missing = dir.filePath("missing.bmp").toStdString();
    EXPECT_EQ(message(missing).rfind("Cannot load " + missing + ": ", 0), 0u) << message(missing);
}

TEST_F(LoadBmp, EmbeddedPngAndJpegDecodeThroughQt) {
    const PictureSurface picture = randomPicture(5, 3, 11);
    const QImage image = ImageFromSurface(picture);
    EXPECT_EQ(LoadPicture(write("png.bmp", carrying(encoded(image, "PNG"), 5, 5, 3))), picture);
    // JPEG is lossy: the pixels must be what Qt makes of the same stream.
    const Bytes jpeg = encoded(image, "JPEG");
    const QImage direct = QImage::fromData(jpeg.data(), int(jpeg.size()), "JPEG");
    ASSERT_FALSE(direct.isNull());
    EXPECT_EQ(LoadPicture(write("jpeg.bmp", carrying(jpeg, 4, 5, 3))), SurfaceFromImage(direct));
}

TEST_F(LoadBmp, EmbeddedStreamsAreCheckedLikeTheRest) {
    const Bytes png = encoded(ImageFromSurface(randomPicture(5, 3, 12)), "PNG");
    Bytes broken = png;
    broken.resize(broken.size() / 2);
    const std::string wrongSize = write("size.bmp", carrying(png, 5, 4, 3));
    EXPECT_EQ(message(wrongSize), "Cannot load " + wrongSize + ": the embedded PNG picture is 5 x 3, the header says 4 x 3");
    const std::string cut = write("cut.bmp", carrying(broken, 5, 5, 3));
    EXPECT_EQ(message(cut), "Cannot load " + cut + ": the embedded PNG stream: the PNG data ends inside a chunk (the file is cut short)");
    const std::string big = write("big.bmp", carrying(png, 5, 5, 3));
    EXPECT_EQ(message(big, LoadLimits{14}), "Cannot load " + big + ": 5 x 3 pixels is more than the limit of 14 pixels");
    // A header that understates the stream's size does not get it past the limit.
    const std::string understated = write("understated.bmp", carrying(png, 5, 3, 3));
    EXPECT_EQ(message(understated, LoadLimits{14}),
              "Cannot load " + understated + ": the embedded PNG stream: 5 x 3 pixels is more than the limit of 14 pixels");
}

} // namespace
