// The picture views and the viewer window in-process and offscreen: what
// each screen pixel shows at each scale, judged against the picture's own
// pixels and a plain area-mean reference; where the wheel pans and zooms and
// where it stops; the viewer's keys and its title.
#include "picture_view.h"
#include "picture_viewer.h"
#include "test_pictures.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace quadfind;
using namespace quadfind::testing;
using namespace Qt::StringLiterals;

namespace {

// The mean of channel c over the picture's [x0, x1) x [y0, y1), clipped to
// it, straight from the definition.
double AreaMean(const PictureSurface& p, int c, double x0, double x1, double y0, double y1) {
    x0 = std::max(x0, 0.0), y0 = std::max(y0, 0.0);
    x1 = std::min(x1, double(p.width())), y1 = std::min(y1, double(p.height()));
    double sum = 0;
    for (int y = int(y0); y < y1; ++y)
        for (int x = int(x0); x < x1; ++x)
            sum += (std::min(x1, x + 1.0) - std::max(x0, double(x))) *
                   (std::min(y1, y + 1.0) - std::max(y0, double(y))) * p.row(y)[3 * x + c];
    return sum / ((x1 - x0) * (y1 - y0));
}

int Channel(QRgb rgb, int c) { return c == 0 ? qBlue(rgb) : c == 1 ? qGreen(rgb) : qRed(rgb); }

// Where a canvas drew a picture: `count` screen pixels from `at`, screen
// pixel (cx, cy) covering the picture's [ox + cx / sx, ox + (cx + 1) / sx)
// x [oy + cy / sy, oy + (cy + 1) / sy).
struct Placement {
    QPoint at;
    QSize count;
    QPointF origin;
    QPointF scale;

    QRectF area(int cx, int cy) const {
        return QRectF(QPointF(origin.x() + cx / scale.x(), origin.y() + cy / scale.y()),
                      QPointF(origin.x() + (cx + 1) / scale.x(), origin.y() + (cy + 1) / scale.y()));
    }
};

// Enlarged or 1:1: exactly the picture pixel (floor(ox + cx / s), floor(oy + cy / s)).
void ExpectSharp(const QImage& image, const Placement& where, const PictureSurface& p, const std::string& what) {
    int wrong = 0;
    for (int cy = 0; cy < where.count.height(); ++cy)
        for (int cx = 0; cx < where.count.width(); ++cx) {
            const QRectF area = where.area(cx, cy);
            const QRgb got = image.pixel(where.at + QPoint(cx, cy));
            const Colour want = p.pixel(int(std::floor(area.left())), int(std::floor(area.top())));
            if (qRgb(int(want & 0xFF), int(want >> 8 & 0xFF), int(want >> 16)) != (got | 0xFF000000u) && wrong++ == 0)
                ADD_FAILURE() << what << ": screen (" << cx << ", " << cy << ") is not picture pixel " << area.left()
                              << ", " << area.top();
        }
    EXPECT_EQ(wrong, 0) << what;
}

// Shrunk, a screen pixel shows a mean of the area it covers, which these
// tell without fixing how it is worked out, per channel:
//   bounded    it lies between the least and the greatest value of the
//              picture within 2^k pixels of the area, k being the halvings
//              its footprint allows (a level-k pixel reaches no further):
//              flat stays flat, black stays black;
//   unbroken   every screen row and column holding the centre of a lit
//              picture pixel shows it lit at one such place: a one-pixel
//              line stays a line, in place;
//   conserved  for the whole picture, the sum is the picture's times the
//              ratio of the areas, within half a unit for each halving and
//              for the last rounding, at each screen pixel with something
//              lit within reach.
void ExpectShrunk(const QImage& image, const Placement& where, const PictureSurface& p, bool whole,
                  const std::string& what) {
    const int k = int(std::floor(std::log2(1 / std::max(where.scale.x(), where.scale.y()))));
    const double reach = std::ldexp(1.0, k);
    const int w = where.count.width(), h = where.count.height();
    const std::size_t rows = std::size_t(h), columns = std::size_t(w);
    for (int c = 0; c < 3; ++c) {
        std::vector<char> lit(rows * columns), rowLit(rows), rowShown(rows), columnLit(columns), columnShown(columns);
        double pictureSum = 0;
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x) {
                const int v = p.row(y)[3 * x + c];
                const int cx = int(std::floor((x + 0.5 - where.origin.x()) * where.scale.x()));
                const int cy = int(std::floor((y + 0.5 - where.origin.y()) * where.scale.y()));
                pictureSum += v;
                if (v && cx >= 0 && cy >= 0 && cx < w && cy < h)
                    lit[std::size_t(cy * w + cx)] = 1;
            }
        double shownSum = 0, rounding = 0;
        int outside = 0;
        for (int cy = 0; cy < h; ++cy)
            for (int cx = 0; cx < w; ++cx) {
                const QRectF near =
                    where.area(cx, cy).adjusted(-reach, -reach, reach, reach) & QRectF(0, 0, p.width(), p.height());
                int least = 255, most = 0;
                for (int y = int(near.top()); y < near.bottom(); ++y)
                    for (int x = int(near.left()); x < near.right(); ++x) {
                        least = std::min<int>(least, p.row(y)[3 * x + c]);
                        most = std::max<int>(most, p.row(y)[3 * x + c]);
                    }
                const int got = Channel(image.pixel(where.at + QPoint(cx, cy)), c);
                if ((got < least || got > most) && outside++ == 0)
                    ADD_FAILURE() << what << ": screen (" << cx << ", " << cy << ") channel " << c << " is " << got
                                  << ", out of [" << least << ", " << most << "]";
                shownSum += got;
                rounding += most ? 0.5 * (k + 1) : 0;
                if (lit[std::size_t(cy * w + cx)]) {
                    rowLit[std::size_t(cy)] = columnLit[std::size_t(cx)] = 1;
                    if (got)
                        rowShown[std::size_t(cy)] = columnShown[std::size_t(cx)] = 1;
                }
            }
        EXPECT_TRUE(rowLit == rowShown && columnLit == columnShown) << what << ": channel " << c << " broken";
        if (whole) {
            EXPECT_NEAR(shownSum, pictureSum * where.scale.x() * where.scale.y(), rounding + 1e-6)
                << what << ": channel " << c << " not conserved";
        }
    }
}

QImage Grab(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

void Wheel(QWidget* to, QPoint angle, QPointF at = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
           bool* accepted = nullptr) {
    QWheelEvent event(at, to->mapToGlobal(at), {}, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &event);
    if (accepted)
        *accepted = event.isAccepted();
}

void Mouse(QWidget* to, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, to->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

// Level k's pixel (x, y) is the mean of the picture over [x 2^k, (x + 1) 2^k)
// x [y 2^k, (y + 1) 2^k), clipped, within the half unit each halving may
// round by; odd sides leave blocks of one, two or three picture pixels
// whose weights must follow their areas, down to a last level of 1 x 1.
TEST(PicturePyramid, EachLevelPixelIsTheMeanOfTheBlockItStandsFor) {
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(7, 5), QSize(13, 1), QSize(1, 11), QSize(31, 17),
                             QSize(64, 64), QSize(67, 35), QSize(1003, 3)}) {
        const PictureSurface picture = randomPicture(size.width(), size.height(), std::uint32_t(size.width()));
        PicturePyramid pyramid(&picture);
        const std::string what = std::to_string(size.width()) + " x " + std::to_string(size.height());
        ASSERT_GE(pyramid.levelCount(), 1) << what;
        for (int k = 0; k < pyramid.levelCount(); ++k) {
            const PictureSurface& level = pyramid.level(k);
            const int unit = 1 << k;
            ASSERT_EQ(level.width(), (size.width() + unit - 1) / unit) << what << ", level " << k;
            ASSERT_EQ(level.height(), (size.height() + unit - 1) / unit) << what << ", level " << k;
            for (int y = 0; y < level.height(); ++y)
                for (int x = 0; x < level.width(); ++x)
                    for (int c = 0; c < 3; ++c) {
                        const double want = AreaMean(picture, c, x * unit, (x + 1) * unit, y * unit, (y + 1) * unit);
                        ASSERT_LE(std::abs(level.row(y)[3 * x + c] - want), 0.5 * k)
                            << what << ", level " << k << " pixel (" << x << ", " << y << ") channel " << c;
                    }
        }
        const PictureSurface& last = pyramid.level(pyramid.levelCount() - 1);
        EXPECT_TRUE(last.width() == 1 && last.height() == 1) << what;
    }
}

// Shrunk, by Fit or by the wheel, each screen pixel shows the mean of the
// area it covers: one-pixel lines in each channel stay lines, in place
// (nearest-pixel sampling drops or dots them), wherever they fall in a block
// of the halved levels and whatever the sizes' parity.
TEST(PictureCanvas, ShrunkPicturesShowTheMeanOfEachScreenPixelsArea) {
    const auto lines = [](PictureSurface& p) { // an outline, and a diagonal each way
        const int r = p.width() - 1, b = p.height() - 1;
        fillRect(p, 100, 100, r - 100, 100, 0xFF0000), fillRect(p, 100, b - 100, r - 100, b - 100, 0xFF0000);
        fillRect(p, 100, 100, 100, b - 100, 0xFF0000), fillRect(p, r - 100, 100, r - 100, b - 100, 0xFF0000);
        p.setPenColour(0x00FF00), p.moveTo(0, 0), p.lineTo(r + 1, b + 1);
        p.setPenColour(0x0000FF), p.moveTo(r, 0), p.lineTo(-1, b + 1);
    };
    const struct {
        const char* what;
        int width, height;
        QSize canvas;
        std::function<void(PictureSurface&)> draw;
        std::optional<QPoint> halfFrom; // shown at half size from there, not by Fit
    } cases[] = {
        {"a blue outline with green and red one-pixel diagonals", 1000, 1000, {100, 100}, lines, {}},
        {"the same at odd sizes, by a footprint that is no power of two", 1001, 777, {130, 90}, lines, {}},
        {"a flat picture at odd sizes", 1001, 777, {130, 90},
         [](PictureSurface& p) { p = filled(1001, 777, 0x204060); }, {}},
        {"just larger than the canvas", 257, 130, {256, 256}, lines, {}},
        {"at half size from an odd offset", 1000, 1000, {100, 100}, lines, QPoint(333, 111)},
    };
    for (const auto& c : cases) {
        PictureSurface picture(c.width, c.height);
        c.draw(picture);
        TPictureCanvas canvas;
        canvas.resize(c.canvas);
        canvas.showPicture(&picture);
        Placement where;
        if (c.halfFrom) {
            canvas.setWheelZooms(true);
            canvas.setFit(false);
            Mouse(&canvas, QEvent::MouseButtonPress, *c.halfFrom);
            Mouse(&canvas, QEvent::MouseMove, {0, 0});
            Mouse(&canvas, QEvent::MouseButtonRelease, {0, 0});
            Wheel(&canvas, {0, -120}, {0, 0});
            where = {{}, c.canvas, QPointF(*c.halfFrom), {0.5, 0.5}};
        } else {
            canvas.setFit(true);
            // The largest whole size with the picture's proportions, centred.
            const int cw = c.canvas.width(), ch = c.canvas.height();
            const QSize fitted = cw * c.height <= ch * c.width ? QSize(cw, c.height * cw / c.width)
                                                               : QSize(c.width * ch / c.height, ch);
            where = {{(cw - fitted.width()) / 2, (ch - fitted.height()) / 2}, fitted, {},
                     {double(fitted.width()) / c.width, double(fitted.height()) / c.height}};
        }
        ExpectShrunk(Grab(&canvas), where, picture, !c.halfFrom, c.what);
    }
}

class ViewerTest : public ::testing::Test {
protected:
    ViewerTest() : viewer(new TPictureViewer(&view, u"Image2"_s, nullptr)) {
        view.setPicture(randomPicture(1000, 800, 3), u"second.bmp"_s);
        viewer->resize(500, 400);
        viewer->show();
        QApplication::processEvents();
        canvas = viewer->findChild<TPictureCanvas*>();
        for (QToolButton* button : viewer->findChildren<QToolButton*>())
            (button->text() == u"Fit"_s ? fit : actual) = button;
    }
    ~ViewerTest() override { delete viewer; }

    void key(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(to, &event);
    }

    TPictureView view;
    QPointer<TPictureViewer> viewer;
    TPictureCanvas* canvas = nullptr;
    QToolButton* fit = nullptr;
    QToolButton* actual = nullptr;
};

// Each notch doubles or halves the scale and keeps the picture point under
// the pointer there, unless that would show space beside the picture; a
// drag pans by screen pixels over the scale. What the canvas shows is
// checked against the offsets worked out here, not the canvas's own.
TEST_F(ViewerTest, WheelZoomsAroundThePointerAndDragPans) {
    const PictureSurface& picture = view.picture();
    const double W = picture.width(), H = picture.height(), cw = canvas->width(), ch = canvas->height();
    ASSERT_TRUE(cw > 200 && ch > 200 && cw < W / 2 && ch < H / 2) << cw << " x " << ch;
    actual->click();
    double s = 1;
    QPointF o(0, 0);
    const struct {
        QPoint at;
        int notches;
        QPoint drag; // then
    } steps[] = {
        {{120, 64}, 1, {}},           // s 2, offset (60, 32) exactly
        {{301, 77}, 1, {}},           // s 4, offset (135.25, 51.25)
        {{200, 200}, -1, {-40, -30}}, // s 2 at quarter pixels: a screen pixel's left edge counts, not its centre
        {{int(cw) - 1, int(ch) - 1}, -1, {}}, // back to 1 would leave the top-left: clamped to 0
        {{0, 0}, 1, {-5000, -5000}},  // dragged past the far corner
        {{0, 0}, -2, {}},             // 0.5 there: clamped to the far edge
        {{10, 10}, 5, {}},            // 0.5 to 16
    };
    for (const auto& step : steps) {
        const double t = std::ldexp(s, step.notches);
        const QPointF wanted = o + QPointF(step.at) / s - QPointF(step.at) / t; // the same picture point there
        o = {std::clamp(wanted.x(), 0.0, W - cw / t), std::clamp(wanted.y(), 0.0, H - ch / t)};
        s = t;
        Wheel(canvas, {0, 120 * step.notches}, step.at);
        const QImage shown = Grab(canvas);
        const std::string what = "at " + std::to_string(s) + " from (" + std::to_string(o.x()) + ", " +
                                 std::to_string(o.y()) + ")";
        ASSERT_EQ(canvas->scale(), s) << what;
        EXPECT_NEAR(canvas->panOffset().x(), o.x(), 1e-9) << what;
        EXPECT_NEAR(canvas->panOffset().y(), o.y(), 1e-9) << what;
        EXPECT_TRUE(!fit->isChecked() && actual->isChecked() == (s == 1)) << what;
        const Placement where{{}, canvas->size(), o, {s, s}};
        if (s >= 1)
            ExpectSharp(shown, where, picture, what);
        else
            ExpectShrunk(shown, where, picture, false, what);
        if (!step.drag.isNull()) {
            Mouse(canvas, QEvent::MouseButtonPress, {200, 200});
            Mouse(canvas, QEvent::MouseMove, QPoint(200, 200) + step.drag);
            Mouse(canvas, QEvent::MouseButtonRelease, QPoint(200, 200) + step.drag);
            o = {std::clamp(o.x() - step.drag.x() / s, 0.0, W - cw / s),
                 std::clamp(o.y() - step.drag.y() / s, 0.0, H - ch / s)};
            EXPECT_NEAR(canvas->panOffset().x(), o.x(), 1e-9) << what << ", dragged";
            EXPECT_NEAR(canvas->panOffset().y(), o.y(), 1e-9) << what << ", dragged";
        }
    }
}

// The scale stops at 16 and at the whole picture, which is Fit again; a
// high-resolution wheel zooms once its parts add up to a notch. A picture
// so small that Fit enlarges it past 16 is not enlarged further.
TEST_F(ViewerTest, ScaleStopsAtSixteenAndAtTheWholePicture) {
    for (int i = 0; i < 3; ++i)
        Wheel(canvas, {0, 30}, {50, 50});
    EXPECT_EQ(canvas->scale(), canvas->fitScale()) << "three quarters of a notch zoomed";
    Wheel(canvas, {0, 30}, {50, 50});
    EXPECT_EQ(canvas->scale(), 2 * canvas->fitScale());
    EXPECT_FALSE(fit->isChecked() || actual->isChecked());
    for (int i = 0; i < 10; ++i)
        Wheel(canvas, {0, 120}, {50, 50});
    EXPECT_EQ(canvas->scale(), TPictureCanvas::kMaxScale);
    Wheel(canvas, {0, -120 * 20}, {50, 50});
    EXPECT_TRUE(canvas->fit() && fit->isChecked() && !actual->isChecked());
    EXPECT_EQ(canvas->scale(), canvas->fitScale());


    view.setPicture(whiteSquare()); // 10 x 10: Fit is past 16
    canvas->setFit(true);
    Wheel(canvas, {0, 120}, {50, 50});
    EXPECT_TRUE(canvas->fit());
    Wheel(canvas, {0, -120}, {50, 50});
    EXPECT_EQ(canvas->scale(), TPictureCanvas::kMaxScale);
}

// Keys reach the viewer from the control that has the focus (a button).
TEST_F(ViewerTest, ControlZeroFitsControlOneShowsOneToOneAndEscapeCloses) {
    Wheel(canvas, {0, 240}, {100, 100});
    key(actual, Qt::Key_1);
    EXPECT_TRUE(!canvas->fit() && canvas->scale() == 1 && canvas->panOffset() == QPointF(0, 0));
    EXPECT_TRUE(actual->isChecked() && !fit->isChecked());
    key(actual, Qt::Key_0);
    EXPECT_TRUE(canvas->fit() && fit->isChecked() && !actual->isChecked());
    key(fit, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull()) << "Escape left the viewer open";
}

TEST_F(ViewerTest, TitleNamesTheFileAndSizeAndFollowsTheView) {
    EXPECT_EQ(viewer->windowTitle(), u"quadfind: Image2 \u2014 second.bmp, 1000 \u00D7 800"_s);
    view.setPicture(PictureSurface(10000, 20));
    EXPECT_EQ(viewer->windowTitle(), u"quadfind: Image2 \u2014 10000 \u00D7 20"_s);
    (void)view.takePicture();
    EXPECT_EQ(viewer->windowTitle(), u"quadfind: Image2"_s);
    EXPECT_TRUE(view.pictureName().isEmpty());
}

// In the form's views the wheel pans by wheelScrollLines x 20 pixels a
// notch, down and across (Shift, or a tilt wheel), within a drag's limits,
// adding up the parts of a high-resolution wheel; where it cannot pan that
// way, it leaves the event to the window around.
TEST(PictureView, WheelPansWithinTheDragLimits) {
    QApplication::setWheelScrollLines(3); // 60 pixels a notch
    const struct {
        const char* what;
        QSize picture;
        QPoint angle;
        int times;
        Qt::KeyboardModifiers modifiers;
        QPoint offset;
        bool accepted;
    } cases[] = {
        {"down", {500, 400}, {0, -120}, 1, Qt::NoModifier, {0, 60}, true},
        {"up at the top", {500, 400}, {0, 120}, 1, Qt::NoModifier, {0, 0}, true},
        {"Shift+down", {500, 400}, {0, -120}, 1, Qt::ShiftModifier, {60, 0}, true},
        {"tilted right", {500, 400}, {-120, 0}, 1, Qt::NoModifier, {60, 0}, true},
        {"eighth notches", {500, 400}, {0, -15}, 8, Qt::NoModifier, {0, 60}, true},
        {"far down", {500, 400}, {0, -120}, 10, Qt::NoModifier, {0, 250}, true},
        {"far right", {500, 400}, {0, -120}, 10, Qt::ShiftModifier, {300, 0}, true},
        {"down where only the width is larger", {500, 100}, {0, -120}, 1, Qt::NoModifier, {0, 0}, false},
        {"Shift+down there", {500, 100}, {0, -120}, 1, Qt::ShiftModifier, {60, 0}, true},
        {"a picture that fits", {10, 10}, {0, -120}, 1, Qt::NoModifier, {0, 0}, false},
    };
    for (const auto& c : cases) {
        TPictureView view;
        view.resize(200, 150);
        view.setPicture(randomPicture(c.picture.width(), c.picture.height(), 5));
        bool accepted = false;
        for (int i = 0; i < c.times; ++i)
            Wheel(&view, c.angle, {100, 100}, c.modifiers, &accepted);
        EXPECT_EQ(accepted, c.accepted) << c.what;
        EXPECT_EQ(view.panOffset(), QPointF(c.offset)) << c.what;
        const QSize shown = QSize(200, 150).boundedTo(c.picture);
        ExpectSharp(Grab(&view), {{}, shown, QPointF(c.offset), {1, 1}}, view.picture(), c.what);
    }
}

} // namespace
