// The form as it starts: every control where the layout puts it, with its
// caption, the tab order, the window's own properties and the bundled font.
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

struct Control {
    const char* name;
    const char* kind;
    QRect geometry;
    const char* text; // nullptr: the control shows no text
};

// Text fields and labels in the order of the panel's rows.
const Control kControls[] = {
    {"Image1", "TPictureView", {8, 0, 329, 345}, nullptr},
    {"Image2", "TPictureView", {344, 0, 321, 345}, nullptr},
    {"Button2", "QPushButton", {776, 4, 73, 25}, "Laod"},
    {"Button6", "QPushButton", {848, 4, 75, 25}, "邊緣偵測"},
    {"Label5", "QLabel", {784, 64, 125, 13}, "    X                         Y        "},
    {"Label1", "QLabel", {680, 88, 72, 13}, "整張影像大小"},
    {"Edit3", "QLineEdit", {776, 88, 65, 21}, "Edit3"},
    {"Edit4", "QLineEdit", {848, 88, 65, 21}, "Edit4"},
    {"Label2", "QLabel", {680, 112, 78, 13}, "四邊形3之座標"},
    {"Edit1", "QLineEdit", {776, 112, 65, 21}, "Edit1"},
    {"Edit2", "QLineEdit", {848, 112, 65, 21}, "Edit2"},
    {"Label3", "QLabel", {680, 136, 78, 13}, "四邊形1之座標"},
    {"Edit7", "QLineEdit", {776, 136, 65, 21}, "Edit7"},
    {"Edit8", "QLineEdit", {848, 136, 65, 21}, "Edit8"},
    {"Label6", "QLabel", {680, 168, 78, 13}, "四邊形2之座標"},
    {"Edit9", "QLineEdit", {776, 168, 65, 21}, "Edit9"},
    {"Edit10", "QLineEdit", {848, 168, 65, 21}, "Edit10"},
    {"Label7", "QLabel", {680, 192, 78, 13}, "四邊形4之座標"},
    {"Edit11", "QLineEdit", {776, 192, 65, 21}, "Edit11"},
    {"Edit12", "QLineEdit", {848, 192, 65, 21}, "Edit12"},
    {"Label4", "QLabel", {688, 232, 72, 13}, "四邊形之大小"},
    {"Edit5", "QLineEdit", {776, 232, 65, 21}, "Edit5"},
    {"Edit6", "QLineEdit", {848, 232, 65, 21}, "Edit6"},
    {"Label12", "QLabel", {672, 264, 96, 13}, "四邊形之中心座標"},
    {"Edit13", "QLineEdit", {776, 264, 65, 21}, "Edit13"},
    {"Edit14", "QLineEdit", {848, 264, 65, 21}, "Edit14"},
    {"Shape1", "TShape", {760, 320, 105, 73}, nullptr},
    {"Label8", "QLabel", {680, 304, 78, 13}, "四邊形1之座標"},
    {"Label11", "QLabel", {856, 304, 78, 13}, "四邊形2之座標"},
    {"Label10", "QLabel", {856, 400, 78, 13}, "四邊形3之座標"},
    {"Label9", "QLabel", {680, 400, 78, 13}, "四邊形4之座標"},
};

std::optional<QString> shownText(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<const QPushButton*>(w))
        return button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text();
    return std::nullopt;
}

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

TEST_F(FormTest, EveryControlStartsAtItsPlaceWithItsText) {
    std::set<QString> expected;
    for (const Control& c : kControls) {
        SCOPED_TRACE(c.name);
        expected.insert(QString::fromLatin1(c.name));
        auto* w = form->findChild<QWidget*>(QString::fromLatin1(c.name), Qt::FindDirectChildrenOnly);
        ASSERT_NE(w, nullptr) << "no control named " << c.name << " on the form";
        EXPECT_STREQ(w->metaObject()->className(), c.kind);
        EXPECT_EQ(w->geometry(), c.geometry);
        EXPECT_TRUE(w->isVisible());
        if (c.text)
            EXPECT_EQ(shownText(w), QString::fromUtf8(c.text));
        else
            EXPECT_EQ(shownText(w), std::nullopt);
    }
    EXPECT_TRUE(form->Image1->picture().empty());
    EXPECT_TRUE(form->Image2->picture().empty());

    std::set<QString> actual;
    for (QWidget* w : form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!w->isWindow())
            actual.insert(w->objectName());
    EXPECT_EQ(actual, expected) << "the form holds controls beyond the layout's, or misses some";
}

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

TEST_F(FormTest, TabVisitsButtonsThenFieldsInNumberOrder) {
    QStringList order;
    QWidget* w = form->Button2;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != form->Button2 && order.size() < 100);

    QStringList expected{"Button2", "Button6"};
    for (int n = 1; n <= 14; ++n)
        expected << QStringLiteral("Edit%1").arg(n);
    EXPECT_EQ(order, expected);
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
    for (const Control& c : kControls)
        if (c.text)
            texts << QString::fromUtf8(c.text);

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
