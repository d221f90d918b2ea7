// The two commands driven through the real buttons, open dialog and message
// boxes, offscreen, for what the real-display suite (tests/app) cannot see:
// the order of the message and the field writes, a repeated run, and a
// locale other than the C one.
#include "Unit1.h"
#include "bmp_writer.h"
#include "modal_script.h"
#include "qt_printers.h"
#include "test_pictures.h"

#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

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

// The command goes on after the message, but only once it is closed.
TEST_F(CommandTest, NothingLoadedWritesNoFieldWhileTheMessageIsOpen) {
    SeenBox message;
    std::vector<std::string> fieldsWhileOpen;
    {
        ModalScript script({CloseMessageBox(message, [&] { fieldsWhileOpen = fields(); })});
        detect();
        ASSERT_EQ(script.handled(), 1) << "no message box";
    }
    EXPECT_EQ(fieldsWhileOpen, initialFields()) << "fields were written before the message was closed";
    EXPECT_NE(fields(), initialFields()) << "the command did not go on after the message";
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
