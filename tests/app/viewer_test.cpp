// The picture views and the viewer window in-process and offscreen: what
// each screen pixel shows at each scale, judged against the picture's own
// pixels; where the wheel pans and zooms and where it stops; the viewer's
// keys and its title.
#include "picture_view.h"
#include "picture_viewer.h"
#include "test_pictures.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace quadfind;
using namespace quadfind::testing;
using namespace Qt::StringLiterals;

namespace {

int Channel(QRgb rgb, int c) {
    return c == 0 ? qBlue(rgb) : c == 1 ? qGreen(rgb) : qRed(rgb);
}

// Enlarged or 1:1 from offset o at scale s: screen pixel (cx, cy) is exactly
// picture pixel (floor(ox + cx / s), floor(oy + cy / s)).
void ExpectSharp(const QImage& image, QPointF o, double s, const PictureSurface& p, const std::string& what) {
    int wrong = 0;
    for (int cy = 0; cy < image.height(); ++cy)
        for (int cx = 0; cx < image.width(); ++cx)
            for (int c = 0; c < 3; ++c)
                wrong += Channel(image.pixel(cx, cy), c) !=
                         p.row(int(std::floor(o.y() + cy / s)))[3 * int(std::floor(o.x() + cx / s)) + c];
    EXPECT_EQ(wrong, 0) << what;
}

// Shrunk whole into `image`, per channel: every screen pixel holding the
// centre of a lit picture pixel shows it lit (a one-pixel line stays a line,
// in place); none is brighter than the picture within 2^k pixels around (k
// halvings reach no further); and the sum is the picture's times the ratio of
// the areas, within half a unit for each halving and the last rounding where
// something is lit within reach.
void ExpectShrunk(const QImage& image, const PictureSurface& p, const std::string& what) {
    const double sx = double(image.width()) / p.width(), sy = double(image.height()) / p.height();
    const int k = int(std::floor(std::log2(1 / std::max(sx, sy))));
    const double reach = std::ldexp(1.0, k);
    for (int c = 0; c < 3; ++c) {
        double pictureSum = 0, shownSum = 0, rounding = 0;
        int broken = 0, brighter = 0;
        for (int cy = 0; cy < image.height(); ++cy)
            for (int cx = 0; cx < image.width(); ++cx) {
                const QRectF near = QRectF(QPointF(cx / sx - reach, cy / sy - reach),
                                           QPointF((cx + 1) / sx + reach, (cy + 1) / sy + reach)) &
                                    QRectF(0, 0, p.width(), p.height());
                const int got = Channel(image.pixel(cx, cy), c);
                int most = 0;
                for (int y = int(near.top()); y < near.bottom(); ++y)
                    for (int x = int(near.left()); x < near.right(); ++x) {
                        const int v = p.row(y)[3 * x + c];
                        const bool centred = int((x + 0.5) * sx) == cx && int((y + 0.5) * sy) == cy;
                        most = std::max(most, v);
                        pictureSum += centred ? v : 0; // each picture pixel once
                        broken += centred && v && !got;
                    }
                brighter += got > most;
                shownSum += got;
                rounding += most ? 0.5 * (k + 1) : 0;
            }
        EXPECT_TRUE(broken == 0 && brighter == 0)
            << what << ", channel " << c << ": " << broken << " broken, " << brighter << " too bright";
        EXPECT_NEAR(shownSum, pictureSum * sx * sy, rounding + 1e-6) << what << ", channel " << c << " not kept";
    }
}

QImage Grab(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Wheel(QWidget* to, QPoint angle, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWheelEvent event(at, to->mapToGlobal(at), {}, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &event);
    return event.isAccepted();
}

// Level k's pixel (x, y) is the mean of the picture's 2^k x 2^k block there,
// clipped, within the half unit each halving may round by; odd sides leave
// blocks whose weights must follow their areas, down to a last level of 1 x 1.
TEST(PicturePyramid, EachLevelPixelIsTheMeanOfTheBlockItStandsFor) {
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(7, 5), QSize(13, 1), QSize(1, 11), QSize(31, 17),
                             QSize(64, 64), QSize(67, 35), QSize(1003, 3)}) {
        const PictureSurface picture = randomPicture(size.width(), size.height(), std::uint32_t(size.width()));
        PicturePyramid pyramid(&picture);
        const std::string what = std::to_string(size.width()) + "x" + std::to_string(size.height());
        for (int k = 0, unit = 1; k < pyramid.levelCount(); ++k, unit *= 2) {
            const PictureSurface& level = pyramid.level(k);
            ASSERT_EQ(QSize(level.width(), level.height()),
                      QSize((size.width() + unit - 1) / unit, (size.height() + unit - 1) / unit))
                << what;
            for (int y = 0; y < level.height(); ++y)
                for (int x = 0; x < level.width(); ++x)
                    for (int c = 0; c < 3; ++c) {
                        double sum = 0, n = 0;
                        for (int py = y * unit; py < std::min((y + 1) * unit, size.height()); ++py)
                            for (int px = x * unit; px < std::min((x + 1) * unit, size.width()); ++px)
                                sum += picture.row(py)[3 * px + c], ++n;
                        ASSERT_LE(std::abs(level.row(y)[3 * x + c] - sum / n), 0.5 * k)
                            << what << ", level " << k << " pixel (" << x << ", " << y << ") channel " << c;
                    }
        }
        EXPECT_EQ(pyramid.level(pyramid.levelCount() - 1).width() * pyramid.level(pyramid.levelCount() - 1).height(),
                  1);
    }
}

// Fit shows the largest whole size with the picture's proportions, centred,
// each screen pixel the mean of its area, so one-pixel lines stay lines
// wherever they fall in a block of the halved levels and whatever the sizes'
// parity (nearest-pixel sampling drops or dots them).
TEST(PictureCanvas, FitShowsTheMeanOfEachScreenPixelsArea) {
    const struct {
        QSize picture, canvas;
        QRect fitted;
    } cases[] = {
        {{1000, 1000}, {100, 100}, {0, 0, 100, 100}},
        {{1001, 777}, {130, 90}, {7, 0, 115, 90}},   // a footprint that is no power of two
        {{257, 130}, {256, 256}, {0, 63, 256, 129}}, // just larger than the canvas
    };
    for (const auto& c : cases) {
        PictureSurface p(c.picture.width(), c.picture.height());
        const int r = p.width() - 1, b = p.height() - 1; // an outline and a diagonal each way, in one channel each
        fillRect(p, 100, 100, r - 100, 100, 0xFF0000), fillRect(p, 100, b - 100, r - 100, b - 100, 0xFF0000);
        fillRect(p, 100, 100, 100, b - 100, 0xFF0000), fillRect(p, r - 100, 100, r - 100, b - 100, 0xFF0000);
        p.setPenColour(0x00FF00), p.moveTo(0, 0), p.lineTo(r + 1, b + 1);
        p.setPenColour(0x0000FF), p.moveTo(r, 0), p.lineTo(-1, b + 1);
        TPictureCanvas canvas;
        canvas.resize(c.canvas);
        canvas.showPicture(&p);
        canvas.setFit(true);
        ExpectShrunk(Grab(&canvas).copy(c.fitted), p, std::to_string(r + 1));
    }
}

void Key(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(to, &event);
}

// The title follows the view's picture. Each notch doubles or halves the
// scale and keeps the picture point under the pointer there, unless that
// would show space beside the picture; parts of a notch add up; the scale
// stops at 16, and at the whole picture, which is Fit again. The offsets are
// worked out here, not read from the canvas. Keys reach the viewer from the
// control that has the focus (a button).
TEST(PictureViewer, TitleWheelZoomAndKeys) {
    TPictureView view;
    view.setPicture(randomPicture(1000, 800, 3), u"second.bmp"_s);
    QPointer viewer = new TPictureViewer(&view, u"Image2"_s, nullptr);
    viewer->resize(500, 400);
    viewer->show();
    QApplication::processEvents();
    auto* canvas = viewer->findChild<TPictureCanvas*>();
    QToolButton *fit = viewer->findChildren<QToolButton*>()[0], *actual = viewer->findChildren<QToolButton*>()[1];
    EXPECT_EQ(viewer->windowTitle(), u"quadfind: Image2 \u2014 second.bmp, 1000 \u00D7 800"_s);

    const double W = 1000, H = 800, cw = canvas->width(), ch = canvas->height();
    ASSERT_TRUE(cw > 400 && ch > 320 && cw < W / 2 && ch < H / 2) << cw << " x " << ch;
    actual->click();
    double s = 1;
    QPointF o(0, 0);
    const struct {
        QPoint at;
        int angle;
        double scale;
    } steps[] = {
        {{301, 77}, 240, 4},
        {{200, 200}, -120, 2},                 // at quarter pixels: a screen pixel's left edge counts, not its centre
        {{int(cw) - 1, int(ch) - 1}, -120, 1}, // that would leave the top-left: clamped to 0
        {{int(cw) - 1, int(ch) - 1}, 120, 2},
        {{0, 0}, -240, 0.5}, // clamped to the far edges
        {{10, 10}, 90, 0.5},
        {{10, 10}, 30, 1},
        {{10, 10}, 600, 16},
    };
    for (const auto& step : steps) {
        const QPointF wanted = o + QPointF(step.at) / s - QPointF(step.at) / step.scale; // the same point there
        o = {std::clamp(wanted.x(), 0.0, W - cw / step.scale), std::clamp(wanted.y(), 0.0, H - ch / step.scale)};
        s = step.scale;
        Wheel(canvas, {0, step.angle}, step.at);
        ASSERT_EQ(canvas->scale(), s);
        EXPECT_EQ(canvas->panOffset(), o) << "at " << s;
        EXPECT_TRUE(!fit->isChecked() && actual->isChecked() == (s == 1)) << "at " << s;
        if (s >= 1)
            ExpectSharp(Grab(canvas), o, s, view.picture(), "at " + std::to_string(s));
    }
    Key(fit, Qt::Key_1);
    EXPECT_TRUE(!canvas->fit() && canvas->scale() == 1 && canvas->panOffset() == QPointF(0, 0));
    Key(fit, Qt::Key_0);
    EXPECT_TRUE(canvas->fit() && fit->isChecked() && !actual->isChecked());
    Wheel(canvas, {0, 120}, {50, 50});
    Wheel(canvas, {0, -120 * 20}, {50, 50});
    EXPECT_TRUE(canvas->fit() && fit->isChecked() && !actual->isChecked());

    view.setPicture(PictureSurface(10000, 20));
    EXPECT_EQ(viewer->windowTitle(), u"quadfind: Image2 \u2014 10000 \u00D7 20"_s);
    (void)view.takePicture();
    EXPECT_EQ(viewer->windowTitle(), u"quadfind: Image2"_s);
    Key(actual, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull()) << "Escape left the viewer open";
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
        QPoint angle, offset;
        int times;
        Qt::KeyboardModifiers modifiers;
        bool accepted;
    } cases[] = {
        {"down", {500, 400}, {0, -120}, {0, 60}, 1, Qt::NoModifier, true},
        {"Shift+down", {500, 400}, {0, -120}, {60, 0}, 1, Qt::ShiftModifier, true},
        {"tilted right", {500, 400}, {-120, 0}, {60, 0}, 1, Qt::NoModifier, true},
        {"eighth notches", {500, 400}, {0, -15}, {0, 60}, 8, Qt::NoModifier, true},
        {"far down", {500, 400}, {0, -120}, {0, 250}, 10, Qt::NoModifier, true},
        {"down where only the width is larger", {500, 100}, {0, -120}, {0, 0}, 1, Qt::NoModifier, false},
        {"Shift+down there", {500, 100}, {0, -120}, {60, 0}, 1, Qt::ShiftModifier, true},
    };
    for (const auto& c : cases) {
        TPictureView view;
        view.resize(200, 150);
        view.setPicture(randomPicture(c.picture.width(), c.picture.height(), 5));
        bool accepted = false;
        for (int i = 0; i < c.times; ++i)
            accepted = Wheel(&view, c.angle, {100, 100}, c.modifiers);
        EXPECT_EQ(accepted, c.accepted) << c.what;
        EXPECT_EQ(view.panOffset(), QPointF(c.offset)) << c.what;
    }
}

} // namespace
