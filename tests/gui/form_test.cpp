// The form as it starts: the window's own properties, the legend's shape
// and the bundled font. Where each control sits and what it shows is read
// from the screen by the real-display suite (tests/app).
#include "Unit1.h"
#include "modal_script.h"
#include "qt_printers.h"
#include "window_font.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>

using namespace quadfind::testing;

namespace {

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
    }
    void TearDown() override { Form1 = nullptr; }

    std::unique_ptr<TForm1> form;
};

TEST_F(FormTest, WindowHasItsCaptionPlaceSizeColourAndFont) {
    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_EQ(form->windowTitle(), "Form1");
    EXPECT_EQ(form->pos(), QPoint(33, 139));
    EXPECT_EQ(form->size(), QSize(939, 509));

    const QImage shot = form->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(400, 450)), form->palette().color(QPalette::Window))
        << "an empty part of the form is not the palette's window colour";

    const QFont font = form->font();
    EXPECT_EQ(font.pixelSize(), 11);
    ASSERT_FALSE(font.families().isEmpty());
    EXPECT_EQ(font.families().first(), "MS Sans Serif");
    EXPECT_TRUE(font.families().contains(quadfind::RegisterBundledFont()));
    EXPECT_EQ(form->Label1->font().families(), font.families()) << "the controls do not inherit the form's font";
}

TEST_F(FormTest, ShapeIsAWhiteRectangleWithAOnePixelBlackOutline) {
    const QImage shape = form->Shape1->grab().toImage();
    ASSERT_EQ(shape.size(), QSize(105, 73));
    const QColor black(Qt::black), white(Qt::white);
    for (QPoint p : {QPoint(0, 0), QPoint(104, 0), QPoint(0, 72), QPoint(104, 72), QPoint(52, 0), QPoint(0, 36),
                     QPoint(104, 36), QPoint(52, 72)})
        EXPECT_EQ(QColor(shape.pixel(p)), black) << "outline pixel (" << p.x() << ", " << p.y() << ")";
    for (QPoint p : {QPoint(1, 1), QPoint(103, 71), QPoint(52, 36), QPoint(1, 36), QPoint(103, 36)})
        EXPECT_EQ(QColor(shape.pixel(p)), white) << "inside pixel (" << p.x() << ", " << p.y() << ")";
}

// Every character the window can show must come from the bundled font on a
// machine without CJK fonts: the captions and the command's message.
TEST_F(FormTest, BundledFontCoversEveryCaptionAndTheMessage) {
    QStringList texts{form->windowTitle()};
    for (const QLabel* label : form->findChildren<QLabel*>())
        texts << label->text();
    for (const QPushButton* button : form->findChildren<QPushButton*>())
        texts << button->text();
    ASSERT_GE(texts.size(), 15) << "the form's captions were not found";

    SeenBox message;
    {
        ModalScript script({CloseMessageBox(message)});
        form->Button6->click();
        ASSERT_EQ(script.handled(), 1);
    }
    ASSERT_FALSE(message.text.isEmpty());
    texts << message.text;

    QFile file(QString::fromLatin1(quadfind::kBundledFontPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QRawFont bundled(file.readAll(), 11);
    ASSERT_TRUE(bundled.isValid());
    EXPECT_EQ(bundled.familyName(), quadfind::RegisterBundledFont());

    for (const QString& text : texts)
        for (QChar c : text)
            EXPECT_TRUE(bundled.supportsCharacter(c))
                << "U+" << QString::number(c.unicode(), 16).toUpper().toStdString() << " of \""
                << text.toStdString() << "\" is missing from the bundled font";

    // And the window really draws its Chinese with it, not with whatever CJK
    // font (perhaps a Simplified or Japanese one) the machine happens to have.
    for (const QString& text : texts) {
        QString chinese;
        for (QChar c : text)
            if (c.unicode() > 0x7E)
                chinese += c;
        if (chinese.isEmpty())
            continue;
        QTextLayout layout(chinese, form->font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns())
            EXPECT_EQ(run.rawFont().familyName(), bundled.familyName()) << "\"" << chinese.toStdString() << "\"";
    }
}

} // namespace
