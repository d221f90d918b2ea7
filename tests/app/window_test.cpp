// The real program on a real X server, used as a person uses it: every case
// starts its own Xvfb (and, in the second run, openbox), starts
// build/.../app/quadfind, moves the pointer and presses keys through XTEST,
// and judges only by what reaches the screen and the clipboard:
//   - the views' pixels, read back from the screen, against the loaded
//     picture and against the core's own result for it;
//   - the fields' texts, through the panel's "Copy results".
// What a message box says is read in-process (form_test.cpp).
#include "bmp_writer.h"
#include "edge_detection.h"
#include "panel_text.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "x_display.h" // last: Xlib's macros

using namespace quadfind;
using namespace quadfind::testing;

namespace {

// Client-area places of the controls the cases use.
constexpr QRect kImage1(8, 0, 329, 345), kImage2(344, 0, 321, 345);
constexpr QPoint kLaod(812, 16), kDetect(885, 16);
constexpr QPoint kPanel(700, 360);      // the panel's empty area, right of the views
constexpr QPoint kBackground(100, 450); // no control covers it

// Red and green are noise, so that a shifted, swapped or scaled pixel shows;
// blue is 255 inside `box` and 0 outside, so the core finds its corners.
PictureSurface Picture(int width, int height, QRect box, std::uint32_t seed) {
    PictureSurface picture = randomPicture(width, height, seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.row(y)[3 * x] = box.contains(x, y) ? 255 : 0;
    return picture;
}

// Whether `shot` shows `picture` unscaled from (x, y) on, as far as a layout
// margin short of its right and bottom edges, and at least 100 x 100 of it.
bool ShowsFrom(const PictureSurface& shot, int x, int y, const PictureSurface& picture) {
    const int width = std::min(picture.width(), shot.width() - x - 16);
    const int height = std::min(picture.height(), shot.height() - y - 16);
    if (width < 100 || height < 100)
        return false;
    for (int row = 0; row < height; ++row)
        if (std::memcmp(shot.row(y + row) + 3 * x, picture.row(row), 3 * std::size_t(width)) != 0)
            return false;
    return true;
}

class RealWindow : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        display = std::make_unique<XDisplay>(GetParam());
        ASSERT_TRUE(display->ok());

        QProcessEnvironment environment = display->environment();
        environment.insert("LC_ALL", "de_DE.UTF-8"); // the half sizes with a decimal comma
        // Qt's file dialog keeps its history in the configuration folder:
        // every case starts afresh, in a folder only its owner may enter.
        environment.insert("XDG_CONFIG_HOME", dir.path());
        environment.insert("XDG_RUNTIME_DIR", dir.path());
        program = std::make_unique<Child>(QUADFIND_PROGRAM, QStringList{}, environment, dir.path());

        // Shown, painted (the form's own colour where no control is) and
        // given the keyboard.
        ASSERT_TRUE(WaitFor(
            [&] {
                const auto window = display->window("Form1");
                const auto place = window ? display->place(*window) : std::nullopt;
                if (!place)
                    return false;
                form = *window;
                origin = place->topLeft();
                background = display->grab({at(kBackground), QSize(1, 1)}).pixel(0, 0);
                return background != 0 && display->focus() == form;
            },
            20s))
            << "no painted and focused window titled Form1";
    }

    void TearDown() override {
        if (HasFailure() && program)
            std::cerr << "the program " << (program->state() ? "runs" : "has ended") << "; it said: "
                      << program->output().toStdString() << '\n';
        program.reset();
        display.reset();
    }

    QPoint at(QPoint client) const { return origin + client; }

    QString save(const QString& name, const PictureSurface& picture) {
        SaveBmp(picture, QFile::encodeName(dir.filePath(name)).toStdString());
        return dir.filePath(name);
    }

    // The program's windows on screen: the form and any dialog, message box
    // or menu it has open.
    std::set<unsigned long> windows() const { return display->windowsOf(program->processId()); }
    bool waitForWindows(std::size_t count, std::chrono::milliseconds timeout = 10s) const {
        return WaitFor([&] { return windows().size() == count; }, timeout);
    }

    // Types into the dialog that has just opened, once it has the keyboard.
    void typeIntoDialog(const QString& text) {
        ASSERT_TRUE(waitForWindows(2)) << "no dialog opened";
        ASSERT_TRUE(WaitFor([&] { return display->focus() != form && windows().count(display->focus()); }))
            << "the dialog did not get the keyboard";
        display->type(text);
    }

    // Laod, the path typed into the dialog's file name box, Return.
    void loadByTyping(const QString& path) {
        display->click(at(kLaod));
        ASSERT_NO_FATAL_FAILURE(typeIntoDialog(path));
        display->key("Return");
    }

    // Right-clicks `client` and picks the `entry`th item of the menu.
    void pickFromMenu(QPoint client, int entry) {
        const std::size_t before = windows().size();
        display->click(at(client), 3);
        ASSERT_TRUE(waitForWindows(before + 1)) << "right-clicking opened no menu";
        display->key(QStringLiteral("Down ").repeated(entry) + QStringLiteral("Return"));
    }

    // Waits until the view shows `picture` unscaled and clipped, its pixel
    // `pan` in the top-left corner, and the form's colour beyond it.
    ::testing::AssertionResult viewShows(QRect view, const PictureSurface& picture, QPoint pan = {}) const {
        PictureSurface want(view.width(), view.height()), seen;
        for (int y = 0; y < view.height(); ++y)
            for (int x = 0; x < view.width(); ++x) {
                const int px = x + pan.x(), py = y + pan.y();
                want.setPixel(x, y, px < picture.width() && py < picture.height() ? picture.pixel(px, py) : background);
            }
        if (WaitFor([&] { return (seen = display->grab(view.translated(origin))) == want; }))
            return ::testing::AssertionSuccess();
        int wrong = 0;
        for (int y = 0; y < view.height(); ++y)
            for (int x = 0; x < view.width(); ++x)
                wrong += seen.pixel(x, y) != want.pixel(x, y);
        return ::testing::AssertionFailure() << wrong << " of " << view.width() * view.height() << " pixels differ";
    }

    // The fields as "Copy results" on the panel's menu gives them.
    void expectPanel() {
        display->claimClipboard();
        ASSERT_NO_FATAL_FAILURE(pickFromMenu(kPanel, 1));
        ASSERT_TRUE(WaitFor([&] { return display->clipboardTaken(); })) << "the panel's menu copied nothing";
        EXPECT_EQ(display->clipboard().toStdString(), PanelText(shown));
    }

    // After a click on 邊緣偵測 with `picture` loaded: Image2 shows the core's
    // result and the panel its fields, over what it showed before.
    PictureSurface expectDetected(const PictureSurface& picture) {
        PictureSurface result;
        EdgePassWorkspace workspace;
        const FieldTexts fields = RunEdgeDetection(picture, result, workspace, ",").fields;
        for (int n = 1; n <= FieldTexts::kCount; ++n)
            if (fields.edit(n))
                shown[std::size_t(n - 1)] = *fields.edit(n);
        EXPECT_TRUE(viewShows(kImage2, result)) << "Image2 after a click on 邊緣偵測";
        expectPanel();
        return result;
    }

    QTemporaryDir dir;
    std::unique_ptr<XDisplay> display;
    std::unique_ptr<Child> program;
    unsigned long form = 0;
    QPoint origin;
    Colour background = 0;
    ShownFields shown = ShownAfterFirstRun({});
    const PictureSurface small = Picture(300, 240, {60, 40, 190, 162}, 1);
    // Larger than either view, with corners outside them.
    const PictureSurface large = Picture(500, 420, {120, 90, 350, 306}, 2);
};

// Clicks and typed names. The first click after a dialog closes must reach
// its button; a second Load must not append to the first name; a Load,
// done or cancelled, changes no field and not Image2.
TEST_P(RealWindow, LaodAndDetectWithTheMouse) {
    display->click(at(kDetect));
    ASSERT_TRUE(waitForWindows(2)) << "nothing loaded, and no message";
    display->key("Return");
    ASSERT_TRUE(waitForWindows(1)) << "OK did not close the message";
    expectDetected({});
    EXPECT_TRUE(viewShows(kImage1, {}));

    ASSERT_NO_FATAL_FAILURE(loadByTyping(save("small.bmp", small)));
    ASSERT_TRUE(viewShows(kImage1, small)) << "Image1 after Load";
    display->click(at(kDetect));
    const PictureSurface first = expectDetected(small);
    EXPECT_TRUE(viewShows(kImage1, small)) << "detection changed Image1";

    ASSERT_NO_FATAL_FAILURE(loadByTyping(save("large.bmp", large)));
    EXPECT_TRUE(viewShows(kImage1, large)) << "Image1 after the second Load";
    ASSERT_TRUE(waitForWindows(1)) << "the dialog is still open: it refused the typed name";

    display->click(at(kLaod));
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("small.bmp"))); // then thought better of
    // The first Escape may only close the name's completion list.
    ASSERT_TRUE(WaitFor([&] {
        display->key("Escape");
        return waitForWindows(1, 2s);
    })) << "Escape did not close the dialog";
    EXPECT_TRUE(viewShows(kImage1, large)) << "cancelling replaced the picture";
    EXPECT_TRUE(viewShows(kImage2, first)) << "Load changed Image2";
    expectPanel();

    display->click(at(kDetect));
    expectDetected(large);
}

// Nothing but keys: Laod has the focus at start. A camera's or a Windows
// share's PHOTO.BMP must be listed: only its folder is typed, the name is
// taken from the dialog's list.
TEST_P(RealWindow, CapitalBmpNameIsListed) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("camera"));
    save("camera/PHOTO.BMP", small);
    display->key("space");
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("camera")));
    display->key("Return shift+Tab"); // opens the folder, then to its list
    // The list fills in the background: Home goes to its first entry once
    // there is one, Space picks it and Return opens it.
    ASSERT_TRUE(WaitFor([&] {
        display->key("Home space Return");
        return waitForWindows(1, 2s);
    })) << "PHOTO.BMP is not listed";
    ASSERT_TRUE(viewShows(kImage1, small)) << "PHOTO.BMP was not loaded";
    display->key("Tab space");
    expectDetected(small);
}

// A picture larger than its view: dragging pans it, as far as its edges.
// "Copy picture" on the view's menu copies all of it. A file dropped from a
// file manager loads as Laod would, and shows from its top-left corner.
TEST_P(RealWindow, LargePictureIsPannedCopiedWholeAndReplacedByADrop) {
    ASSERT_NO_FATAL_FAILURE(loadByTyping(save("large.bmp", large)));
    ASSERT_TRUE(viewShows(kImage1, large));
    display->drag(at({200, 200}), at({100, 150}));
    EXPECT_TRUE(viewShows(kImage1, large, {100, 50})) << "after dragging by (-100, -50)";
    display->drag(at({100, 300}), at({-200, 0}));
    EXPECT_TRUE(viewShows(kImage1, large, {large.width() - kImage1.width(), large.height() - kImage1.height()}))
        << "dragging past the picture's corner";

    display->claimClipboard();
    ASSERT_NO_FATAL_FAILURE(pickFromMenu({100, 100}, 2)); // Copy picture
    ASSERT_TRUE(WaitFor([&] { return display->clipboardTaken(); })) << "Copy picture copied nothing";
    EXPECT_TRUE(SurfaceFromImage(QImage::fromData(display->clipboard("image/png"), "PNG")) == large)
        << "the clipboard does not hold the whole picture";

    // The source must live until the form has read the drop.
    Child source(QStringLiteral(QUADFIND_DRAG_SOURCE), {dir.filePath("large.bmp")}, display->environment());
    std::optional<QRect> from;
    ASSERT_TRUE(WaitFor([&] {
        const auto window = display->window("quadfind drag source");
        return window && (from = display->place(*window));
    }));
    display->pointer(from->center());
    display->button(true);
    // Moves over Image1 until the form takes the drag, then lets go.
    int step = 0;
    const bool accepted = WaitFor([&] {
        display->pointer(at({150 + step++ % 2, 150}));
        return source.output().contains("accepted");
    });
    display->button(false);
    ASSERT_TRUE(accepted) << "the form did not take the dropped file";
    EXPECT_TRUE(viewShows(kImage1, large)) << "after the drop";
}

// "Save picture as…" on a view's menu writes what the view holds: PNG for a
// .png name, BMP for a name without an ending. Double-clicking a view opens
// its picture in a window of its own, which at "1:1" shows it pixel for pixel.
TEST_P(RealWindow, ViewsSaveTheirPictureAndOpenItInAViewer) {
    ASSERT_NO_FATAL_FAILURE(loadByTyping(save("large.bmp", large)));
    ASSERT_TRUE(viewShows(kImage1, large));
    display->click(at(kDetect));
    const PictureSurface result = expectDetected(large);
    for (const auto& [typed, written, format] :
         {std::tuple{"result.png", "result.png", "PNG"}, std::tuple{"result", "result.bmp", "BMP"}}) {
        ASSERT_NO_FATAL_FAILURE(pickFromMenu(kImage2.center(), 1)); // Save picture as…
        ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath(typed)));
        display->key("Return");
        ASSERT_TRUE(WaitFor([&] { return windows().size() == 1 && QFile::exists(dir.filePath(written)); }))
            << typed << ": nothing saved";
        EXPECT_TRUE(SurfaceFromImage(QImage(dir.filePath(written), format)) == result) << typed;
    }

    display->click(at({100, 100}), 1, 2);
    std::optional<unsigned long> viewer;
    ASSERT_TRUE(WaitFor([&] { return (viewer = display->window("quadfind: Image1")) && display->focus() == *viewer; }))
        << "no focused window titled \"quadfind: Image1\"";
    const auto place = display->place(*viewer);
    ASSERT_TRUE(place);
    display->click(place->topLeft() + QPoint(66, 21)); // "1:1", right of "Fit" in the viewer's top row
    EXPECT_TRUE(WaitFor([&] {
        const auto now = display->place(*viewer);
        const PictureSurface shot = now ? display->grab(*now) : PictureSurface();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (ShowsFrom(shot, x, y, large))
                    return true;
        return false;
    })) << "the viewer at 1:1 does not show the picture pixel for pixel";
}

INSTANTIATE_TEST_SUITE_P(Display, RealWindow, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& run) {
                             return run.param ? "openbox" : "no_window_manager";
                         });

} // namespace

int main(int argc, char** argv) {
    // QProcess wants an application object; this one never opens a window.
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
