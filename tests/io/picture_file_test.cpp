#include "bmp_writer.h"
#include "core_application.h"
#include "picture_file.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

class PictureFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureCoreApplication(); }
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    QTemporaryDir dir;
};

TEST_F(PictureFile, OtherFormatsArriveAsBlueGreenRed) {
    const PictureSurface picture = randomPicture(7, 5, 3);
    // Alpha is dropped, palettes are expanded, every format ends up 24-bit.
    struct Case {
        const char* file;
        QImage::Format format;
    };
    for (const Case c : {Case{"rgb.png", QImage::Format_RGB32}, Case{"argb.png", QImage::Format_ARGB32},
                         Case{"rgb888.png", QImage::Format_RGB888}}) {
        QImage image = ImageFromSurface(picture).convertToFormat(c.format);
        ASSERT_TRUE(image.save(QString::fromStdString(path(c.file))));
        EXPECT_EQ(LoadPicture(path(c.file)), picture) << c.file;
    }
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(0);
    indexed.setPixel(3, 1, 1);
    ASSERT_TRUE(indexed.save(QString::fromStdString(path("palette.png"))));
    const PictureSurface loaded = LoadPicture(path("palette.png"));
    EXPECT_EQ(loaded.pixel(0, 0), 0x1E140Au);
    EXPECT_EQ(loaded.pixel(3, 1), 0x3264C8u);
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

TEST_F(PictureFile, FailuresNameTheFileAndTheReason) {
    std::ofstream(path("garbage.png"), std::ios::binary) << "definitely not a picture";
    struct Case {
        std::string file;
        const char* reason;
    };
    for (const Case& c : {Case{path("missing.png"), "not found"}, Case{path("garbage.png"), ""}}) {
        try {
            LoadPicture(c.file);
            ADD_FAILURE() << c.file << " loaded";
        } catch (const PictureError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(c.file), std::string::npos) << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        }
    }
}

TEST_F(PictureFile, PicturesOverTheLimitAreRefusedNamingIt) {
    ASSERT_TRUE(ImageFromSurface(PictureSurface(20, 10)).save(QString::fromStdString(path("big.png"))));
    EXPECT_EQ(LoadPicture(path("big.png"), LoadLimits{200}).width(), 20);
    try {
        LoadPicture(path("big.png"), LoadLimits{199});
        ADD_FAILURE() << "a 200-pixel picture passed a limit of 199";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("199"), std::string::npos) << e.what();
    }
}

} // namespace
