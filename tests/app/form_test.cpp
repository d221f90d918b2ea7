// The form in-process and offscreen, for what the real-display suite cannot
// read from the screen: which field sits under which heading, the fonts the
// texts are drawn with, what a message box says and when it comes.
#include "Unit1.h"
#include "panel_text.h"
#include "test_pictures.h"
#include "window_font.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace quadfind;
using namespace quadfind::testing;
using namespace Qt::StringLiterals;

namespace {

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        Form1 = &form;
        form.show();
    }
    void TearDown() override { Form1 = nullptr; }

    std::vector<std::string> fields() const {
        std::vector<std::string> out;
        for (int n = 1; n <= FieldTexts::kCount; ++n)
            out.push_back(form.Edit(n)->text().toStdString());
        return out;
    }

    // Runs `command` and answers its modal windows as a user would: a file
    // dialog with `chosen` typed into its name box, a message box with OK
    // once its text and the fields it sits over are noted.
    void answering(const std::function<void()>& command, const QString& chosen = {}) {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.push_back(box->text());
                fieldsUnderMessage = fields();
                box->accept();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(chosen);
                static_cast<QDialog*>(dialog)->accept(); // what its Open button does
            }
        });
        answer.start(5);
        command();
    }

    TForm1 form;
    std::vector<QString> messages;
    std::vector<std::string> fieldsUnderMessage;
};

// The window and the CLI's panel text (panel_text.h) must agree: each
// heading's label, then its X and its Y field, on one row from left to
// right, the X fields in one column and the Y fields in another.
TEST_F(FormTest, FieldsSitInTheRowOfTheirHeading) {
    const QRect xColumn = form.Edit(kPanelRows[0].xField)->geometry();
    const QRect yColumn = form.Edit(kPanelRows[0].yField)->geometry();
    EXPECT_LT(xColumn.right(), yColumn.left());
    for (const PanelRow& row : kPanelRows) {
        const QRect x = form.Edit(row.xField)->geometry(), y = form.Edit(row.yField)->geometry();
        EXPECT_EQ(x.left(), xColumn.left()) << row.gloss;
        EXPECT_EQ(y.left(), yColumn.left()) << row.gloss;
        EXPECT_EQ(y.top(), x.top()) << row.gloss;
        std::vector<std::string> headings;
        for (const QLabel* label : form.findChildren<QLabel*>())
            if (label->geometry().right() < x.left() && x.contains(x.left(), label->geometry().center().y()))
                headings.push_back(label->text().toStdString());
        EXPECT_EQ(headings, std::vector<std::string>{row.heading}) << row.gloss;
    }
}

// Nothing loaded: the message comes first, and the command goes on once it
// is closed. Every character the window shows, the message's included, is
// drawn with the bundled font, also where the machine has other CJK fonts.
TEST_F(FormTest, MessageBeforeAnyFieldAndEveryTextInTheBundledFont) {
    const std::vector<std::string> initial = fields();
    answering([&] { form.Button6->click(); });
    ASSERT_EQ(messages.size(), 1u) << "no message box";
    EXPECT_EQ(fieldsUnderMessage, initial) << "fields were written before the message was closed";
    EXPECT_NE(fields(), initial) << "the command did not go on after the message";

    QFile file(QString::fromLatin1(kBundledFontPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QRawFont bundled(file.readAll(), 11);
    ASSERT_EQ(bundled.familyName(), RegisterBundledFont());
    std::vector<std::pair<QString, QFont>> texts{{form.windowTitle(), form.font()}, {messages[0], form.font()}};
    for (const QWidget* control : form.findChildren<QWidget*>())
        if (auto* label = qobject_cast<const QLabel*>(control))
            texts.emplace_back(label->text(), label->font());
        else if (auto* button = qobject_cast<const QPushButton*>(control))
            texts.emplace_back(button->text(), button->font());
    ASSERT_GE(texts.size(), 16u) << "the form's captions were not found";
    for (const auto& [text, font] : texts) {
        QString chinese;
        for (QChar c : text) {
            EXPECT_TRUE(bundled.supportsCharacter(c))
                << "U+" << std::hex << int(c.unicode()) << " of " << text.toStdString();
            if (c.unicode() > 0x7E)
                chinese += c;
        }
        QTextLayout layout(chinese, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns())
            EXPECT_EQ(run.rawFont().familyName(), bundled.familyName()) << chinese.toStdString();
    }
}

TEST_F(FormTest, BrokenFileIsNamedInABoxAndChangesNothing) {
    QTemporaryDir dir;
    QFile broken(dir.filePath(u"broken.bmp"_s));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly) && broken.write("BM not a bitmap at all") > 0);
    broken.close();
    form.Image1->setPicture(whiteSquare());
    answering([&] { form.Button2->click(); }, broken.fileName());
    ASSERT_EQ(messages.size(), 1u) << "no box";
    EXPECT_TRUE(messages[0].startsWith(u"Cannot load "_s + broken.fileName() + u": "_s)) << messages[0].toStdString();
    EXPECT_TRUE(form.Image1->picture() == whiteSquare());
}

TEST_F(FormTest, ShapeIsAWhiteRectangleWithAOnePixelBlackOutline) {
    const QImage shape = form.Shape1->grab().toImage();
    ASSERT_GT(shape.width() * shape.height(), 4);
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x) {
            const bool outline = x == 0 || y == 0 || x == shape.width() - 1 || y == shape.height() - 1;
            ASSERT_EQ(shape.pixel(x, y), outline ? 0xFF000000u : 0xFFFFFFFFu) << x << ", " << y;
        }
}

} // namespace

int main(int argc, char** argv) {
    // Offscreen also when CTest lists the tests with no platform chosen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
