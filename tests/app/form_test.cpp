// The form in-process and offscreen, for what the real-display suite cannot
// read from the screen: which field sits under which heading, the fonts the
// texts are drawn with, what a message box says and when it comes, and what
// a click on "邊緣偵測" allocates (counted by replacing the global allocator).
#include "Unit1.h"
#include "counting_allocator.h"
#include "panel_table.h"
#include "quadfind_version.h"
#include "test_pictures.h"
#include "window_font.h"

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace quadfind;
using namespace quadfind::testing;
using namespace Qt::StringLiterals;

namespace {

class FormTest : public ::testing::Test {
protected:
    FormTest() { form.show(); }

    // Clicks `button` and answers the modal windows as a user would: a file
    // dialog with `chosen` typed into its name box, a message box with OK
    // once its text and Edit3 (written by every run) under it are noted.
    void answering(QPushButton* button, const QString& chosen = {}) {
        answering([button] { button->click(); }, chosen);
    }
    void answering(const std::function<void()>& command, const QString& chosen = {}) {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages << box->text();
                edit3UnderMessage = form.Edit3->text();
                box->accept();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                filters = dialog->nameFilters();
                chosenFilter = dialog->selectedNameFilter();
                dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(chosen);
                static_cast<QDialog*>(dialog)->accept(); // what its Open button does
            }
        });
        answer.start(5);
        command();
    }

    TForm1 form;
    QStringList messages;
    QString edit3UnderMessage;
    QStringList filters; // the last file dialog's
    QString chosenFilter;
};

// The stored layout against the panel's table (panel_table.h), which the
// CLI and "Copy results" print from: row by row, top to bottom, the heading's
// label, then the X and the Y field, each the control of the table's name
// showing that name; the X fields in one column, the Y fields in another, and
// no field the table does not place. Below them, Shape1 is a white rectangle
// with a one-pixel black outline.
TEST_F(FormTest, PanelFollowsTheTableAndTheShapeIsOutlined) {
    const QLineEdit* const firstX = form.Edit(kPanelRows[0].x);
    const QLineEdit* const firstY = form.Edit(kPanelRows[0].y);
    ASSERT_TRUE(firstX && firstY) << "the first row's fields are missing";
    int above = -1;
    for (const PanelRow& row : kPanelRows) {
        const QLineEdit* const x = form.Edit(row.x);
        const QLineEdit* const y = form.Edit(row.y);
        ASSERT_TRUE(x && y) << row.gloss << ": no control of the table's name";
        for (const auto& [field, edit] : {std::pair{row.x, x}, std::pair{row.y, y}}) {
            const QString name = QString::fromStdString(FieldName(field));
            EXPECT_EQ(edit->objectName(), name) << row.gloss;
            EXPECT_EQ(edit->text(), name) << row.gloss << ": the field's first text";
        }
        const QRect xBox = x->geometry(), yBox = y->geometry();
        EXPECT_TRUE(xBox.left() == firstX->x() && yBox.left() == firstY->x() && xBox.right() < yBox.left() &&
                    yBox.top() == xBox.top())
            << row.gloss;
        EXPECT_GT(xBox.top(), above) << row.gloss << ": rows out of the table's order";
        above = xBox.top();
        QStringList headings;
        for (const QLabel* label : form.findChildren<QLabel*>())
            if (label->geometry().right() < xBox.left() && xBox.contains(xBox.left(), label->geometry().center().y()))
                headings << label->text();
        EXPECT_EQ(headings, QStringList{QString::fromUtf8(row.heading)}) << row.gloss;
    }
    EXPECT_EQ(form.findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly).size(), kFieldCount)
        << "a field the table does not place";
    const QImage shape = form.Shape1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage want(shape.size(), QImage::Format_RGB32);
    want.fill(Qt::black);
    QPainter(&want).fillRect(want.rect().adjusted(1, 1, -1, -1), Qt::white);
    EXPECT_TRUE(shape.width() > 2 && shape.height() > 2 && shape == want);
}

// Nothing loaded: the message comes first, and the command goes on once it
// is closed. A file that cannot be read is named with the cause, and leaves
// the picture as it was. F1 tells the version and the edge rule. Every character the window shows, the messages'
// included, is drawn with the bundled font, also where the machine has
// other CJK fonts.
TEST_F(FormTest, MessagesComeFirstNameTheFileAndUseTheBundledFont) {
    // That the command goes on, the window suite sees.
    answering(form.Button6);
    EXPECT_EQ(messages.value(0), u"請載入圖檔!!"_s);
    EXPECT_EQ(edit3UnderMessage, u"Edit3"_s) << "no message, or fields were written before it was closed";

    const QString broken = QCoreApplication::applicationFilePath(); // this program: no picture
    form.Image1->setPicture(whiteSquare());
    answering(form.Button2, broken);
    ASSERT_EQ(messages.size(), 2) << "no box for a file that is no picture";
    EXPECT_TRUE(messages[1].startsWith(u"Cannot load "_s + broken + u": "_s)) << qPrintable(messages[1]);
    EXPECT_TRUE(form.Image1->picture() == whiteSquare());
    // Bitmaps first and chosen; every other format the loader reads one filter away.
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(chosenFilter, u"Bitmaps (*.bmp)"_s);
    for (const char* pattern : {"*.bmp", "*.png", "*.jpg", "*.gif", "*.ppm"})
        EXPECT_TRUE(filters[1].contains(QLatin1String(pattern))) << qPrintable(filters[1]);

    const QList<QAction*> actions = form.actions();
    const auto f1 = std::find_if(actions.begin(), actions.end(),
                                 [](const QAction* a) { return a->shortcut() == QKeySequence(Qt::Key_F1); });
    ASSERT_NE(f1, actions.end()) << "nothing on F1";
    answering([f1] { (*f1)->trigger(); });
    ASSERT_EQ(messages.size(), 3) << "F1 showed nothing";
    EXPECT_TRUE(messages[2].contains(u"quadfind " QUADFIND_VERSION) && messages[2].contains(u"at least 1;"_s))
        << qPrintable(messages[2]);

    const QRawFont bundled(QString::fromLatin1(kBundledFontPath), 11);
    std::vector<std::pair<QString, QFont>> texts{{form.windowTitle() + messages.join(""), form.font()}};
    for (const QWidget* control : form.findChildren<QWidget*>()) // labels, buttons and fields
        texts.emplace_back(control->property("text").toString(), control->font());
    ASSERT_GE(texts.size(), 30u) << "the form's captions were not found";
    for (const auto& [text, font] : texts) {
        for (QChar c : text)
            EXPECT_TRUE(c == '\n' || bundled.supportsCharacter(c)) // a line break is no glyph
                << qPrintable(text) << ": U+" << std::hex << int(c.unicode());
        // Only the Chinese: ASCII may come from "MS Sans Serif" where a machine has it.
        QTextLayout layout(QString(text).removeIf([](QChar c) { return c.unicode() <= 0x7E; }), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns())
            EXPECT_EQ(run.rawFont().familyName(), bundled.familyName()) << qPrintable(layout.text());
    }
}

// A click allocates the working copy once for a picture of a new size,
// nothing full-size when repeated (it works in the last result's memory, and
// must still give the same results), and never a copy of the loaded picture.
TEST_F(FormTest, ClickAllocatesTheWorkingCopyOncePerSize) {
    form.Image1->setPicture(whiteSquare()); // within the static grid, so that only pictures count
    form.Button6->click();
    PictureSurface picture(400, 300);
    fillRect(picture, 100, 100, 299, 199, 0xFFFFFF);
    form.Image1->setPicture(picture);
    for (const int expected : {1, 0}) { // a first, then a repeated click
        const PictureSurface before = form.Image2->picture();
        form.Edit(Field::Corner1X)->setText(u"typed by the user"_s);
        AllocationWatch watch(picture.rowBytes() * std::size_t(picture.height()) / 2);
        form.Button6->click();
        EXPECT_EQ(watch.counted(), expected) << "full-size allocations, click " << 2 - expected;
        EXPECT_EQ(form.Edit(Field::Corner1X)->text(), u"99"_s);
        EXPECT_TRUE(expected || form.Image2->picture() == before) << "the repeated click gave another result";
    }
    EXPECT_TRUE(form.Image1->picture() == picture);
}

} // namespace
