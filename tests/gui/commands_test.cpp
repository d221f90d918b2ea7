// The two commands driven through the real buttons, open dialog and message
// boxes: Load ("Laod") and edge detection.
#include "Unit1.h"
#include "bmp_writer.h"
#include "modal_script.h"
#include "qt_printers.h"
#include "test_pictures.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

constexpr Colour kRed = 0x0000FF, kGreen = 0x00FF00;

// What the result view must hold for the white square: the reference edge
// map with the green diagonal (2,2)->(7,7) and the red one (7,2)->(2,7), end
// points left as they were.
PictureSurface whiteSquareResult() {
    PictureSurface out;
    referenceScan(whiteSquare(), out);
    for (int i = 0; i < 5; ++i) {
        out.setPixel(2 + i, 2 + i, kGreen);
        out.setPixel(7 - i, 2 + i, kRed);
    }
    return out;
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // The half sizes follow the user's locale; fix it for known answers.
        QLocale::setDefault(QLocale::c());
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
    }
    void TearDown() override {
        Form1 = nullptr;
        QLocale::setDefault(QLocale::system());
    }

    QString save(const char* name, const PictureSurface& picture) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        SaveBmp(picture, path.toStdString());
        return path;
    }

    // Clicks "Laod" and picks `path` in the open dialog.
    void load(const QString& path) {
        ModalScript script({ChooseFile(path)});
        form->Button2->click();
        ASSERT_EQ(script.handled(), 1) << "the open dialog did not appear";
    }

    void detect() { form->Button6->click(); }

    std::vector<std::string> fields() const {
        std::vector<std::string> out;
        for (int n = 1; n <= 14; ++n)
            out.push_back(form->Edit(n)->text().toStdString());
        return out;
    }

    static std::vector<std::string> initialFields() {
        std::vector<std::string> out;
        for (int n = 1; n <= 14; ++n)
            out.push_back("Edit" + std::to_string(n));
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
};

TEST_F(CommandTest, CancelChangesNothing) {
    {
        ModalScript script({CancelDialog()});
        form->Button2->click();
        ASSERT_EQ(script.handled(), 1);
    }
    EXPECT_TRUE(form->Image1->picture().empty());

    load(save("square.bmp", whiteSquare()));
    {
        ModalScript script({CancelDialog()});
        form->Button2->click();
        ASSERT_EQ(script.handled(), 1);
    }
    EXPECT_EQ(form->Image1->picture(), whiteSquare()) << "cancelling replaced the loaded picture";
    EXPECT_TRUE(form->Image2->picture().empty());
    EXPECT_EQ(fields(), initialFields());
}

// A picture larger than the view: shown pixel for pixel from the top-left
// corner and clipped, the view keeping its size.
TEST_F(CommandTest, LoadShowsThePictureUnscaledAndClipped) {
    const PictureSurface big = randomPicture(400, 400, 7);
    load(save("big.bmp", big));

    EXPECT_EQ(form->Image1->picture(), big);
    EXPECT_TRUE(form->Image2->picture().empty()) << "loading touched the result view";
    EXPECT_EQ(fields(), initialFields()) << "loading touched the fields";
    ASSERT_EQ(form->Image1->geometry(), QRect(8, 0, 329, 345));

    const QImage shown = form->Image1->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(329, 345));
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const Colour c = big.pixel(x, y); // 0x00BBGGRR
            const QRgb want = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF) << "view pixel (" << x << ", " << y << ")";
        }
}

TEST_F(CommandTest, UnreadableFileIsReportedAndTheProgramGoesOn) {
    load(save("square.bmp", whiteSquare()));

    const QString broken = dir.filePath("broken.bmp");
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM this is not a bitmap at all");
    }
    SeenBox report;
    {
        ModalScript script({ChooseFile(broken), CloseMessageBox(report)});
        form->Button2->click();
        ASSERT_EQ(script.handled(), 2) << "no exception report after the dialog";
    }
    EXPECT_TRUE(report.wasMessageBox);
    EXPECT_EQ(report.icon, QMessageBox::Critical);
    EXPECT_TRUE(report.text.contains("broken.bmp")) << "report does not name the file: " << report.text.toStdString();
    EXPECT_EQ(form->Image1->picture(), whiteSquare()) << "a failed load replaced Image1's picture";

    detect(); // and the window still works
    EXPECT_EQ(form->Edit(7)->text(), "2");
}

TEST_F(CommandTest, DetectsTheWhiteSquare) {
    load(save("square.bmp", whiteSquare()));
    detect();

    EXPECT_EQ(fields(), (std::vector<std::string>{"7", "7", "8", "8", "5", "5", "2", "2", "7", "2", "2", "7", "2.5",
                                                  "2.5"}));
    EXPECT_EQ(form->Image2->picture(), whiteSquareResult());
    EXPECT_EQ(form->Image1->picture(), whiteSquare()) << "detection changed Image1";

    // The form's operators read the grid the run captured.
    EXPECT_EQ(form->GradientY(2, 2) + form->GradientX(2, 2), 63 + 63);
    EXPECT_EQ(form->GradientY(4, 4) + form->GradientX(4, 4), 0);

    const QImage shown = form->Image2->grab().toImage();
    EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(shown.pixel(2, 2) & 0xFFFFFF, 0x00FF00u) << "green diagonal not shown";
    EXPECT_EQ(shown.pixel(7, 2) & 0xFFFFFF, 0xFF0000u) << "red diagonal not shown";
    EXPECT_EQ(shown.pixel(7, 7) & 0xFFFFFF, 0x0000FFu) << "blue edge not shown";
}

TEST_F(CommandTest, NothingLoadedShowsTheMessageFirstThenEmptyResults) {
    SeenBox message;
    std::vector<std::string> fieldsWhileOpen;
    {
        ModalScript script({CloseMessageBox(message, [&] { fieldsWhileOpen = fields(); })});
        detect();
        ASSERT_EQ(script.handled(), 1) << "no message box";
    }
    EXPECT_EQ(message.text, QString::fromUtf8("請載入圖檔!!"));
    EXPECT_EQ(fieldsWhileOpen, initialFields()) << "fields were written before the message was closed";
    EXPECT_EQ(fields(), (std::vector<std::string>{"Edit1", "Edit2", "0", "0", "0", "0", "Edit7", "Edit8", "0", "0",
                                                  "0", "0", "0", "0"}));
    EXPECT_TRUE(form->Image2->picture().empty());
}

TEST_F(CommandTest, SecondLoadLeavesResultsAlone) {
    load(save("square.bmp", whiteSquare()));
    detect();
    const std::vector<std::string> before = fields();
    const PictureSurface result = form->Image2->picture();

    load(save("diamond.bmp", diamond()));
    EXPECT_EQ(form->Image1->picture(), diamond());
    EXPECT_EQ(form->Image2->picture(), result);
    EXPECT_EQ(fields(), before);

    detect();
    EXPECT_EQ(form->Edit(7)->text(), "4");
    EXPECT_EQ(form->Edit(8)->text(), "1");
    EXPECT_EQ(form->Edit(1)->text(), "6");
    EXPECT_EQ(form->Edit(2)->text(), "9");
    EXPECT_EQ(form->Edit(13)->text(), "1");
    EXPECT_EQ(form->Edit(14)->text(), "4");
}

TEST_F(CommandTest, TwoRunsGiveIdenticalResults) {
    load(save("diamond.bmp", diamond()));
    detect();
    const std::vector<std::string> first = fields();
    const PictureSurface result = form->Image2->picture();
    form->Edit(3)->setText("typed by the user");

    detect();
    EXPECT_EQ(fields(), first);
    EXPECT_EQ(form->Image2->picture(), result);
    EXPECT_EQ(form->Image1->picture(), diamond());
}

TEST_F(CommandTest, HalfSizesUseTheLocalesDecimalSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    load(save("square.bmp", whiteSquare()));
    detect();
    EXPECT_EQ(form->Edit(13)->text(), "2,5");
    EXPECT_EQ(form->Edit(14)->text(), "2,5");
    EXPECT_EQ(form->Edit(5)->text(), "5") << "integers must not take locale formatting";
}

} // namespace
