// The real program on a real X server, used as a person uses it: every case
// starts its own Xvfb (and, in the second run, openbox), starts
// build/.../app/quadfind, moves the pointer and presses keys through XTEST
// (xdotool), and judges only by what reaches the screen (read back with
// XGetImage) and the clipboard: the views' pixels against the loaded picture
// and the core's own result for it, the fields through the panel's "Copy
// results". What a message box says is read in-process (form_test.cpp).
#include "bmp_writer.h"
#include "core_application.h"
#include "edge_detection.h"
#include "panel_text.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <sys/prctl.h>
#include <unistd.h>
#include <thread>

#include <X11/Xlib.h> // last: its macros (None, Bool) would clash with Qt's names
#include <X11/Xutil.h>

using namespace quadfind;
using namespace quadfind::testing;
using namespace std::chrono_literals;

namespace {

// Client-area places of the controls the cases use.
constexpr QRect kImage1(8, 0, 329, 345), kImage2(344, 0, 321, 345);
constexpr QPoint kLaod(812, 16), kDetect(885, 16);
// The panel's empty area, right of the views, and a place no control covers.
constexpr QPoint kPanel(700, 360), kBackground(100, 450);
constexpr QRect kViewerCanvas(11, 38, 400, 380); // in the picture viewer, within a picture of 500 x 420

// Polls until `condition` holds; generous by default, as other builds may
// share the machine.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; !condition(); std::this_thread::sleep_for(10ms))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

// A process the test started: ended by its pid when its owner goes, killed
// when the test program dies, so that nothing is left running.
// What it writes to stderr goes to the suite's own, where a failed case shows it.
struct Child : QProcess {
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment) {
        setProcessEnvironment(environment);
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        start(program, arguments);
        EXPECT_TRUE(waitForStarted(5000)) << qPrintable(program) << ": " << qPrintable(errorString());
    }
    ~Child() override {
        terminate(); // SIGTERM first: a killed Xvfb leaves its lock file behind
        if (!waitForFinished(2000))
            kill();
        waitForFinished(2000);
    }
    QString output() { // all it printed so far (no event loop runs here)
        waitForReadyRead(0);
        return QString::fromUtf8(seen += readAllStandardOutput());
    }
    QByteArray seen;
};

// Red and green are noise, so that a shifted, swapped or scaled pixel shows;
// blue is 255 inside `box` and 0 outside, so the core finds its corners.
PictureSurface Picture(int width, int height, QRect box, std::uint32_t seed) {
    return withBlue(width, height, seed, [box](int x, int y, int) { return box.contains(x, y) ? 255 : 0; });
}

class RealWindow : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ensureCoreApplication(); // for QProcess; it opens no window
        ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkdir("camera"));
        SaveBmp(small, QFile::encodeName(dir.filePath("camera/PHOTO.BMP")).toStdString());
        SaveBmp(large, QFile::encodeName(dir.filePath("large.bmp")).toStdString());
        // A window may vanish between listing and asking about it: no reason
        // to end the test program, as Xlib's default handler would.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        // -displayfd: the server picks a free number and writes it once it
        // accepts connections. -br: a black root, so an unpainted window shows.
        server = std::make_unique<Child>("Xvfb", QStringList{"-displayfd", "1", "-screen", "0", "1280x1024x24",
                                                             "-nolisten", "tcp", "-br", "-noreset"}, env);
        ASSERT_TRUE(WaitFor([&] { return server->output().endsWith('\n'); })) << "Xvfb did not start";
        env.insert("DISPLAY", ':' + server->output().trimmed());
        env.insert("QT_QPA_PLATFORM", "xcb"); // also when CTest asks for offscreen
        x.reset(XOpenDisplay(qPrintable(env.value("DISPLAY"))));
        ASSERT_TRUE(x) << "cannot open " << qPrintable(env.value("DISPLAY"));
        // Neither a user's openbox set-up nor the file dialog's history plays
        // a part: every case starts afresh, in a folder only its owner enters.
        env.insert("XDG_CONFIG_HOME", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        if (GetParam()) {
            // It runs the --startup command once it manages windows; one
            // mapped before that would stay unmapped.
            wm = std::make_unique<Child>("openbox", QStringList{"--sm-disable", "--startup", "echo managing"}, env);
            ASSERT_TRUE(WaitFor([&] { return wm->output().contains("managing"); })) << qPrintable(wm->output());
        }
        env.insert("LC_ALL", "de_DE.UTF-8"); // the half sizes with a decimal comma
        program = std::make_unique<Child>(QUADFIND_PROGRAM, QStringList{}, env);
        // Shown, painted (the form's own colour where no control is) and
        // given the keyboard, also with no window manager to give it.
        ASSERT_TRUE(WaitFor([&] {
            form = windowNamed("Form1");
            origin = place(form).topLeft();
            background = form ? grab({origin + kBackground, QSize(1, 1)}).pixel(0, 0) : 0;
            return qGray(background) && focus() == form;
        }, 20s)) << "no painted and focused window titled Form1";
    }

    // Runs xdotool to its end: its output, or nothing when it fails (a test
    // failure for input) or takes more than ten seconds.
    QByteArray xdotool(const QStringList& arguments, bool input = true) const {
        Child run("xdotool", arguments, env);
        const bool done = run.waitForFinished(10000) && run.exitStatus() == QProcess::NormalExit && !run.exitCode();
        EXPECT_TRUE(done || !input) << "xdotool " << qPrintable(arguments.join(' ')) << " failed";
        return done ? run.readAllStandardOutput() : QByteArray();
    }
    QStringList move(QPoint client) const { // the pointer stops at the screen's edge
        return {"mousemove", QString::number(std::max(0, origin.x() + client.x())),
                QString::number(std::max(0, origin.y() + client.y()))};
    }
    void click(QPoint client, int button = 1, int times = 1) const {
        xdotool(move(client) << "click" << "--repeat" << QString::number(times) << QString::number(button));
    }
    void key(const QString& keys) const { xdotool(QStringList{"key"} + keys.split(' ')); }

    QStringList search(const QStringList& criteria) const {
        const QByteArray found = xdotool(QStringList{"search", "--onlyvisible"} + criteria, false);
        return QString::fromLatin1(found).split('\n', Qt::SkipEmptyParts);
    }
    // The program's windows on screen: the form and any dialog, message box
    // or menu it has open.
    QStringList windows() const { return search({"--pid", QString::number(program->processId())}); }
    bool waitForWindows(qsizetype count, std::chrono::milliseconds timeout = 10s) const {
        return WaitFor([&] { return windows().size() == count; }, timeout);
    }
    unsigned long windowNamed(const QString& title) const { // 0 for none
        return search({"--name", '^' + title + '$'}).value(0).toULong();
    }
    unsigned long focus() const { return xdotool({"getwindowfocus"}, false).trimmed().toULong(); }
    // Where `window` is on the screen; empty when it is not.
    QRect place(unsigned long window) const {
        XWindowAttributes a{};
        QPoint at;
        Window child = 0;
        return window && XGetWindowAttributes(x.get(), window, &a) &&
                       XTranslateCoordinates(x.get(), window, a.root, 0, 0, &at.rx(), &at.ry(), &child)
                   ? QRect(at, QSize(a.width, a.height)) : QRect();
    }
    // The screen's pixels, a 24-bit TrueColor pixel in 32 bits as Qt's RGB32
    // holds it; null where they cannot be read.
    QImage grab(QRect area) const {
        XImage* image = XGetImage(x.get(), DefaultRootWindow(x.get()), area.x(), area.y(), unsigned(area.width()),
                                  unsigned(area.height()), AllPlanes, ZPixmap);
        return image ? QImage(reinterpret_cast<uchar*>(image->data), area.width(), area.height(), image->bytes_per_line,
                              QImage::Format_RGB32, [](void* i) { XDestroyImage(static_cast<XImage*>(i)); }, image)
                     : QImage();
    }
    // What `copy` puts on the clipboard, given to the root window before.
    QByteArray copied(const std::function<void()>& copy, const QString& type = "UTF8_STRING") const {
        const Atom clipboard = XInternAtom(x.get(), "CLIPBOARD", False);
        XSetSelectionOwner(x.get(), clipboard, DefaultRootWindow(x.get()), CurrentTime);
        XSync(x.get(), False);
        copy();
        EXPECT_TRUE(WaitFor([&] { return XGetSelectionOwner(x.get(), clipboard) != DefaultRootWindow(x.get()); }))
            << "nothing was copied";
        Child read("xclip", {"-o", "-selection", "clipboard", "-t", type}, env);
        return read.waitForFinished(5000) ? read.readAllStandardOutput() : QByteArray();
    }

    // Types into the File name box of the dialog that has just opened and
    // presses `keys`, until the dialog has closed. What is typed before the
    // dialog has the keyboard goes nowhere, and on Qt 6.8 what is typed just
    // after it is at times lost (an empty box on the screen), so each try
    // chooses the box (Alt+N) and replaces what it holds.
    void typeIntoDialog(const QString& text, const QStringList& keys = {"Return"}) {
        ASSERT_TRUE(waitForWindows(2)) << "no dialog opened";
        ASSERT_TRUE(WaitFor([&] {
            key("alt+n ctrl+a");
            xdotool({"type", "--delay", "2", text}); // it types all its arguments: the keys come apart
            xdotool(QStringList{"key"} + keys);
            return waitForWindows(1, 3s);
        }, 20s)) << "the dialog did not take " << qPrintable(text);
    }
    // Right-clicks `client` and picks the `entry`th item of the menu.
    void pickFromMenu(QPoint client, int entry) {
        click(client, 3);
        ASSERT_TRUE(waitForWindows(2)) << "right-clicking opened no menu";
        key(QStringLiteral("Down ").repeated(entry) + QStringLiteral("Return"));
    }

    // Waits until the view shows `picture` unscaled and clipped, its pixel
    // `pan` in the top-left corner, and the form's colour beyond it.
    bool viewShows(QRect view, const PictureSurface& picture, QPoint pan = {}) const {
        QImage want(view.size(), QImage::Format_RGB32);
        want.fill(background);
        QPainter(&want).drawImage(-pan, ImageFromSurface(picture));
        return WaitFor([&] { return grab(view.translated(origin)) == want; });
    }

    // The fields as "Copy results" on the panel's menu gives them.
    void expectPanel() { EXPECT_EQ(copied([&] { pickFromMenu(kPanel, 1); }).toStdString(), PanelText(shown)); }

    // After a click on 邊緣偵測 with `picture` loaded: Image2 shows the core's
    // result and the panel its fields. Only the first run, on no picture,
    // leaves fields as they were; the cases' pictures all have edges, and
    // a run that finds them writes every field.
    PictureSurface expectDetected(const PictureSurface& picture) {
        PictureSurface result;
        shown = ShownAfterFirstRun(RunEdgeDetection(picture, result, testWorkspace(), ",").fields);
        EXPECT_TRUE(viewShows(kImage2, result)) << "Image2 after a click on 邊緣偵測";
        expectPanel();
        return result;
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<Child> server, wm;
    std::unique_ptr<Display, int (*)(Display*)> x{nullptr, XCloseDisplay}; // closed before its server ends
    std::unique_ptr<Child> program;
    unsigned long form = 0;
    QPoint origin;
    QRgb background = 0;
    ShownFields shown;
    const PictureSurface small = Picture(300, 240, {60, 40, 190, 162}, 1);
    const PictureSurface large = Picture(500, 420, {120, 90, 350, 306}, 2); // corners outside either view
};

// One session, keys first, then the mouse. Laod has the keyboard at start,
// 邊緣偵測 is next; with nothing loaded a message comes, and the command goes
// on. A camera's or a Windows share's PHOTO.BMP must be listed: only its
// folder is typed, the name is taken from the dialog's list. The first click
// after a dialog closes must reach its button; a Load, done or cancelled,
// changes no field and not Image2.
//
// Then the large picture, larger than its view: dragging pans it, as far as
// its edges. "Copy picture" on the view's menu copies all of it. A file
// dropped from a file manager loads as Laod would, and shows from its
// top-left corner. "Save picture as…" writes what a view holds: PNG for a
// .png name, BMP for a name without an ending. Double-clicking a view opens
// its picture in a window of its own, which at "1:1" shows it pixel for pixel.
TEST_P(RealWindow, UsedWithKeysAndMouse) {
    key("Tab space");
    ASSERT_TRUE(waitForWindows(2)) << "nothing loaded, and no message";
    key("Return");
    ASSERT_TRUE(waitForWindows(1)) << "OK did not close the message";
    expectDetected({});

    key("shift+Tab space");
    // The folder, then its list: Home goes to its first entry once the list
    // has filled in the background, Space picks it and Return opens it.
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("camera"), {"Return", "shift+Tab", "Home", "space", "Return"}))
        << "PHOTO.BMP is not listed";
    ASSERT_TRUE(viewShows(kImage1, small)) << "PHOTO.BMP was not loaded";
    click(kDetect);
    const PictureSurface first = expectDetected(small);

    click(kLaod);
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("large.bmp")));
    click(kLaod);
    // Thought better of: the first Escape may only close the name's completion list.
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("camera/PHOTO.BMP"), {"Escape", "Escape"}));
    EXPECT_TRUE(viewShows(kImage1, large)) << "Image1 after a second Load and a cancelled third";
    EXPECT_TRUE(viewShows(kImage2, first)) << "Load changed Image2";
    expectPanel();
    click(kDetect);
    const PictureSurface result = expectDetected(large);

    xdotool(move({200, 200}) << "mousedown" << "1" << move({100, 150}) << "mouseup" << "1");
    EXPECT_TRUE(viewShows(kImage1, large, {100, 50})) << "after dragging by (-100, -50)";
    xdotool(move({100, 300}) << "mousedown" << "1" << move({-200, 0}) << "mouseup" << "1");
    EXPECT_TRUE(viewShows(kImage1, large, {large.width() - kImage1.width(), large.height() - kImage1.height()}))
        << "dragging past the picture's corner";
    const QImage copy = QImage::fromData(copied([&] { pickFromMenu({100, 100}, 2); }, "image/png"), "PNG");
    EXPECT_TRUE(SurfaceFromImage(copy) == large) << "the clipboard does not hold the whole picture";

    // Dropped under a name that is not UTF-8 (Latin-1 "é"), which Qt's own
    // file names cannot hold. The source must live until the form has read the drop.
    const QByteArray dropped = QFile::encodeName(dir.path()) + "/large-\xE9.bmp";
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath("large.bmp")), dropped), 0);
    Child source(QStringLiteral(QUADFIND_DRAG_SOURCE), {"file://" + dropped.toPercentEncoding("/")}, env);
    xdotool({"search", "--sync", "--onlyvisible", "--name", "^quadfind drag source$", // waits for it to show
             "mousemove", "--window", "%1", "60", "40", "mousedown", "1"});
    // Moves over Image1 until the form takes the drag, then lets go.
    const bool accepted = WaitFor([&, step = 0]() mutable {
        xdotool(move({150 + step++ % 2, 150}));
        return source.output().contains("accepted");
    });
    xdotool({"mouseup", "1"});
    ASSERT_TRUE(accepted) << "the form did not take the dropped file";
    EXPECT_TRUE(viewShows(kImage1, large)) << "after the drop";

    // A symlink at a name (to a file yet to come) is replaced, not written through.
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere.png"), dir.filePath("result.png")));
    for (const auto& [typed, written, format] :
         {std::tuple{"result.png", "result.png", "PNG"}, std::tuple{"result", "result.bmp", "BMP"}}) {
        ASSERT_NO_FATAL_FAILURE(pickFromMenu(kImage2.center(), 1)); // Save picture as…
        ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath(typed)));
        ASSERT_TRUE(WaitFor([&] { return windows().size() == 1 && QFile::exists(dir.filePath(written)); }))
            << typed << ": nothing saved";
        EXPECT_TRUE(SurfaceFromImage(QImage(dir.filePath(written), format)) == result) << typed;
    }
    EXPECT_FALSE(QFileInfo(dir.filePath("result.png")).isSymLink()) << "saved in place, through the symlink";

    click({100, 100}, 1, 2);
    unsigned long viewer = 0;
    ASSERT_TRUE(WaitFor([&] { return (viewer = windowNamed("quadfind: Image1")) && focus() == viewer; }))
        << "no focused window titled \"quadfind: Image1\"";
    const QPoint corner = place(viewer).topLeft() - origin;
    xdotool(move(corner + QPoint(66, 21)) << "click" << "1"); // "1:1", right of "Fit"
    EXPECT_TRUE(viewShows(kViewerCanvas.translated(corner), large)) << "the viewer at 1:1 does not show the picture";
}

INSTANTIATE_TEST_SUITE_P(Display, RealWindow, ::testing::Values(false, true), // not Bool(): Xlib defines Bool
                         [](const auto& run) { return run.param ? "openbox" : "no_window_manager"; });

} // namespace
