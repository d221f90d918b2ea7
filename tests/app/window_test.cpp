// The real program on a real X server, used as a person uses it: every case
// starts its own Xvfb (and, in the second run, openbox), starts
// build/.../app/quadfind, moves the pointer and presses keys through XTEST
// (xdotool), and judges only by what reaches the screen (read back with
// XGetImage) and the clipboard: the views' pixels against the loaded picture
// and the core's own result for it, the fields through the panel's "Copy
// results". What a message box says is read in-process (form_test.cpp).
//
// Where to click and look comes from the program's own form, built here
// offscreen, and from the screen itself; nothing is measured on one Qt
// release.
#include "Unit1.h"
#include "bmp_writer.h"
#include "edge_detection.h"
#include "image_from_surface.h"
#include "panel_text.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

#include <X11/Xlib.h> // last: its macros (None, Bool) would clash with Qt's names
#include <X11/Xutil.h>

using namespace quadfind;
using namespace quadfind::testing;
using namespace std::chrono_literals;

namespace {

// Client-area places of what the cases use, as the program's form has them.
struct FormPlaces {
    QRect image1, image2, laod, detect, edit3;
    QPoint panel;      // the panel's own background, right of the views: its menu
    QPoint background; // below the views, where no control is: the form's colour
};

FormPlaces ReadFormPlaces() {
    const TForm1 form;
    // The first place in `area`, on a coarse grid, at least 3 pixels from every control.
    const auto clear = [&form](QRect area) {
        const QList<QWidget*> controls = form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (int y = area.top() + 3; y < area.bottom() - 3; y += 4)
            for (int x = area.left() + 3; x < area.right() - 3; x += 4)
                if (std::none_of(controls.begin(), controls.end(), [&](const QWidget* control) {
                        return control->geometry().adjusted(-3, -3, 3, 3).contains(x, y);
                    }))
                    return QPoint(x, y);
        ADD_FAILURE() << "no clear place in the form";
        return QPoint();
    };
    // By name: Xlib's macros include Button2 and Button6.
    const auto at = [&form](const char* name) { return form.findChild<QWidget*>(name)->geometry(); };
    const QRect image1 = at("Image1"), image2 = at("Image2"), laod = at("Button2");
    return {image1,
            image2,
            laod,
            at("Button6"),
            at("Edit3"),
            clear({QPoint(image2.right() + 1, laod.bottom() + 1), form.rect().bottomRight()}),
            clear({QPoint(0, image1.bottom() + 1), QPoint(image1.right(), form.height() - 1)})};
}

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
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
          const QString& folder = {}) {
        setProcessEnvironment(environment);
        setWorkingDirectory(folder);
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
        ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkdir("camera"));
        // The half sizes with a decimal comma: German, made here when the
        // system has not generated it, so that the program runs in it and
        // not in C (which Qt complains of on stderr).
        Child locale("localedef", {"-i", "de_DE", "-f", "UTF-8", dir.filePath("de_DE.UTF-8")}, env);
        locale.waitForFinished(60000);
        if (!QFileInfo(dir.filePath("de_DE.UTF-8/LC_NUMERIC")).exists())
            GTEST_SKIP() << "cannot make the de_DE.UTF-8 locale (localedef, from Debian's libc-bin with the "
                            "definitions in 'locales'): install locales";
        env.insert("LOCPATH", dir.path());
        env.insert("LC_ALL", "de_DE.UTF-8");
        SaveBmp(small, QFile::encodeName(dir.filePath("camera/PHOTO.BMP")).toStdString());
        SaveBmp(large, QFile::encodeName(dir.filePath("large.bmp")).toStdString());
        SaveBmp(edgeless, QFile::encodeName(dir.filePath("edgeless.bmp")).toStdString());
        // A window may vanish between listing and asking about it: no reason
        // to end the test program, as Xlib's default handler would.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        // -displayfd: the server picks a free number and writes it once it
        // accepts connections. -br: a black root, so an unpainted window shows.
        server = std::make_unique<Child>(
            "Xvfb",
            QStringList{"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-br", "-noreset"}, env);
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
    }
    void TearDown() override {
        // Qt cannot remove a name that is not UTF-8: the dropped file's link goes by its bytes.
        if (!dropped.isEmpty())
            ::unlink(dropped.constData());
        program.reset();
        wm.reset();
        x.reset();
        server.reset();
        // Xvfb makes its sockets' folder where no X server has yet (a fresh
        // container): gone again with ours, unless another server uses it.
        if (!socketsFolderWasThere)
            ::rmdir("/tmp/.X11-unix");
    }

    // Starts the program with `arguments` and waits until its window is
    // shown, painted (the form's own colour where no control is) and given
    // the keyboard, also with no window manager to give it.
    void startProgram(const QStringList& arguments = {}) {
        // Started in the camera's folder, where its first dialog opens.
        program = std::make_unique<Child>(QUADFIND_PROGRAM, arguments, env, dir.filePath("camera"));
        ASSERT_TRUE(WaitFor(
            [&] {
                form = windowNamed("Form1");
                origin = place(form).topLeft();
                background = form ? grab({origin + places.background, QSize(1, 1)}).pixel(0, 0) : 0;
                return qGray(background) && focus() == form;
            },
            20s))
            << "no painted and focused window titled Form1";
    }

    // Runs xdotool to its end: its output, or nothing when it fails (a test
    // failure for input) or takes more than ten seconds.
    QByteArray xdotool(const QStringList& arguments, bool input = true) const {
        const std::optional<QByteArray> output = tryXdotool(arguments);
        EXPECT_TRUE(output || !input) << "xdotool " << qPrintable(arguments.join(' ')) << " failed";
        return output.value_or(QByteArray());
    }
    std::optional<QByteArray> tryXdotool(const QStringList& arguments) const {
        Child run("xdotool", arguments, env);
        if (run.waitForFinished(10000) && run.exitStatus() == QProcess::NormalExit && !run.exitCode())
            return run.readAllStandardOutput();
        return std::nullopt;
    }
    QStringList move(QPoint client) const { // the pointer stops at the screen's edge
        return {"mousemove", QString::number(std::max(0, origin.x() + client.x())),
                QString::number(std::max(0, origin.y() + client.y()))};
    }
    void click(QPoint client, int button = 1, int times = 1) const {
        xdotool(move(client) << "click"
                             << "--repeat" << QString::number(times) << QString::number(button));
    }
    void key(const QString& keys) const { xdotool(QStringList{"key"} + keys.split(' ')); }

    // The dialog or message box open over the form; 0 for none.
    unsigned long openOverForm() const {
        for (const QString& w : windows())
            if (w.toULong() != form)
                return w.toULong();
        return 0;
    }
    // Waits until `window` stays the same for a moment: a list the dialog
    // fills in the background has filled, and a person would now see it.
    bool waitForStillPicture(unsigned long window) const {
        QImage last;
        return WaitFor([&] {
            std::this_thread::sleep_for(300ms);
            const QImage now = grab(place(window));
            const bool still = !now.isNull() && now == last;
            last = now;
            return still;
        });
    }

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
    // Waits for a new window of the program (a dialog, a message box) to
    // show and take the keyboard, as a person waits to see it.
    bool waitForFocusedWindows(qsizetype count) const {
        return WaitFor([&] {
            const QStringList open = windows();
            return open.size() == count && std::any_of(open.begin(), open.end(), [&](const QString& w) {
                       return w.toULong() != form && w.toULong() == focus();
                   });
        });
    }
    // Where `window` is on the screen; empty when it is not.
    QRect place(unsigned long window) const {
        XWindowAttributes a{};
        QPoint at;
        Window child = 0;
        return window && XGetWindowAttributes(x.get(), window, &a) &&
                       XTranslateCoordinates(x.get(), window, a.root, 0, 0, &at.rx(), &at.ry(), &child)
                   ? QRect(at, QSize(a.width, a.height))
                   : QRect();
    }
    // The screen's pixels, a 24-bit TrueColor pixel in 32 bits as Qt's RGB32
    // holds it; null where they cannot be read.
    QImage grab(QRect area) const {
        XImage* image = XGetImage(x.get(), DefaultRootWindow(x.get()), area.x(), area.y(), unsigned(area.width()),
                                  unsigned(area.height()), AllPlanes, ZPixmap);
        return image ? QImage(
                           reinterpret_cast<uchar*>(image->data), area.width(), area.height(), image->bytes_per_line,
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

    // Waits for the dialog that has just opened to take the keyboard, and
    // types into its File name box, which has it.
    void typeIntoNewDialog(const QString& text) {
        ASSERT_TRUE(waitForFocusedWindows(2)) << "no dialog opened, or it did not take the keyboard";
        xdotool({"type", "--delay", "2", text}); // it types all its arguments: the keys come apart
    }
    // The same, then `keys`, after which the dialog must close.
    void typeIntoDialog(const QString& text, const QStringList& keys = {"Return"}) {
        ASSERT_NO_FATAL_FAILURE(typeIntoNewDialog(text));
        xdotool(QStringList{"key"} + keys);
        ASSERT_TRUE(waitForWindows(1)) << "the dialog did not take " << qPrintable(text);
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
    void expectPanel() {
        EXPECT_EQ(copied([&] { pickFromMenu(places.panel, 1); }).toStdString(), PanelText(shown));
    }

    // After a click on 邊緣偵測 with `picture` loaded: Image2 shows the core's
    // result and the panel its fields, whatever earlier runs showed.
    PictureSurface expectDetected(const PictureSurface& picture) {
        PictureSurface result;
        shown = ShownAfterRun(RunEdgeDetection(picture, result, testWorkspace(), ",").fields);
        EXPECT_TRUE(viewShows(places.image2, result)) << "Image2 after a click on 邊緣偵測";
        expectPanel();
        return result;
    }

    // Where `picture` shows pixel for pixel in the window `window` (its top-left
    // corner, on the screen), found by the picture's first row and column.
    std::optional<QPoint> findOnScreen(unsigned long window, const PictureSurface& picture) const {
        const QRect area = place(window);
        const QImage screen = grab(area);
        const QImage want = ImageFromSurface(picture).convertToFormat(QImage::Format_RGB32);
        const int run = std::min({64, want.width(), want.height()});
        for (int top = 0; top + run <= screen.height(); ++top)
            for (int left = 0; left + run <= screen.width(); ++left) {
                bool same = true;
                for (int i = 0; i < run && same; ++i)
                    same = screen.pixel(left + i, top) == want.pixel(i, 0) &&
                           screen.pixel(left, top + i) == want.pixel(0, i);
                if (same)
                    return area.topLeft() + QPoint(left, top);
            }
        return std::nullopt;
    }

    const FormPlaces places = ReadFormPlaces();
    QTemporaryDir dir;
    QByteArray dropped; // a file name that is not UTF-8
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const bool socketsFolderWasThere = QFileInfo::exists("/tmp/.X11-unix");
    std::unique_ptr<Child> server, wm;
    std::unique_ptr<Display, int (*)(Display*)> x{nullptr, XCloseDisplay}; // closed before its server ends
    std::unique_ptr<Child> program;
    unsigned long form = 0;
    QPoint origin;
    QRgb background = 0;
    ShownFields shown;
    const PictureSurface small = Picture(300, 240, {60, 40, 190, 162}, 1);
    const PictureSurface large = Picture(500, 420, {120, 90, 350, 306}, 2); // corners outside either view
    const PictureSurface edgeless = filled(200, 150, 0x80A0C0);
};

// One session, keys first, then the mouse. Laod has the keyboard and shows
// it from the start; 邊緣偵測 is next, and Return presses it as Space does.
// With nothing loaded a message comes, and the command goes on. A camera's
// or a Windows share's PHOTO.BMP must be listed: the name is taken from the
// dialog's list. A picture with no edge after one
// with a quadrilateral leaves no corner of the first in the panel. A Load,
// done or cancelled, changes no field and not Image2; Ctrl+O is Laod.
//
// Then the large picture, larger than its view: dragging pans it, as far as
// its edges. "Copy picture" on the view's menu copies all of it; Ctrl+C in a
// field copies the field. A file dropped from a file manager loads as Laod
// would; two files dropped at once load nothing and say so. "Save picture
// as…" and Ctrl+S write what Image2 holds: PNG for a .png name, BMP for a
// name without an ending. Double-clicking Image2 opens its picture in a
// window of its own, named after the file and its size: at 1:1 (Ctrl+1) it
// shows the picture pixel for pixel, the wheel zooms in around the pointer,
// and Escape closes it.
TEST_P(RealWindow, UsedWithKeysAndMouse) {
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const QRect laod = places.laod.translated(origin);
    const QImage laodAtStart = grab(laod);
    key("Tab");
    EXPECT_TRUE(WaitFor([&] { return grab(laod) != laodAtStart; })) << "Laod did not have the keyboard";
    key("shift+Tab");
    EXPECT_TRUE(WaitFor([&] { return grab(laod) == laodAtStart; })) << "Laod's focus frame did not show at start";

    key("Tab Return");
    ASSERT_TRUE(waitForFocusedWindows(2)) << "nothing loaded, and no message";
    key("Return");
    ASSERT_TRUE(waitForWindows(1)) << "OK did not close the message";
    expectDetected({});

    key("shift+Tab space");
    // The dialog opens in the folder the program was started in, the
    // camera's; once its list has filled, Home goes to its first entry,
    // Space picks it and Return opens it. Nothing is typed, so no name
    // completion list opens over the dialog to take the keys.
    ASSERT_TRUE(waitForFocusedWindows(2)) << "no dialog opened, or it did not take the keyboard";
    EXPECT_TRUE(waitForStillPicture(openOverForm())) << "the dialog did not settle";
    key("shift+Tab Home space Return");
    ASSERT_TRUE(waitForWindows(1)) << "PHOTO.BMP is not listed";
    ASSERT_TRUE(viewShows(places.image1, small)) << "PHOTO.BMP was not loaded";
    click(places.detect.center());
    const PictureSurface first = expectDetected(small);
    key("ctrl+o");
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("edgeless.bmp")));
    ASSERT_TRUE(viewShows(places.image1, edgeless)) << "Ctrl+O did not load";
    click(places.detect.center());
    const PictureSurface none = expectDetected(edgeless);

    click(places.laod.center());
    ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath("large.bmp")));
    click(places.laod.center());
    // Thought better of. Escape may only close the name's completion list,
    // which can open late: pressed again, as a person would, until the dialog goes.
    ASSERT_NO_FATAL_FAILURE(typeIntoNewDialog(dir.filePath("camera/PHOTO.BMP")));
    ASSERT_TRUE(WaitFor([&] {
        key("Escape");
        return waitForWindows(1, 1s);
    })) << "Escape did not cancel the dialog";
    EXPECT_TRUE(viewShows(places.image1, large)) << "Image1 after a second Load and a cancelled third";
    EXPECT_TRUE(viewShows(places.image2, none)) << "Load changed Image2";
    expectPanel();
    click(places.detect.center());
    const PictureSurface result = expectDetected(large);
    EXPECT_EQ(copied([&] {
                  click(places.edit3.center());
                  key("ctrl+a ctrl+c");
              }).toStdString(),
              shown[2])
        << "Ctrl+C in Edit3";

    const QPoint inImage1 = places.image1.topLeft();
    xdotool(move(inImage1 + QPoint(200, 200)) << "mousedown"
                                              << "1" << move(inImage1 + QPoint(100, 150)) << "mouseup"
                                              << "1");
    EXPECT_TRUE(viewShows(places.image1, large, {100, 50})) << "after dragging by (-100, -50)";
    xdotool(move(inImage1 + QPoint(100, 300)) << "mousedown"
                                              << "1" << move({-200, 0}) << "mouseup"
                                              << "1");
    EXPECT_TRUE(viewShows(places.image1, large,
                          {large.width() - places.image1.width(), large.height() - places.image1.height()}))
        << "dragging past the picture's corner";
    const QImage copy =
        QImage::fromData(copied([&] { pickFromMenu(inImage1 + QPoint(100, 100), 2); }, "image/png"), "PNG");
    EXPECT_TRUE(SurfaceFromImage(copy) == large) << "the clipboard does not hold the whole picture";

    // Dropped under a name that is not UTF-8 (Latin-1 "é"), which Qt's own
    // file names cannot hold; then with another file, at once. The source
    // must live until the form has read the drop.
    dropped = QFile::encodeName(dir.path()) + "/large-\xE9.bmp";
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath("large.bmp")), dropped), 0);
    for (const QStringList& urls : {QStringList{"file://" + dropped.toPercentEncoding("/")},
                                    {"file://" + QFile::encodeName(dir.filePath("edgeless.bmp")).toPercentEncoding("/"),
                                     "file://" + dropped.toPercentEncoding("/")}}) {
        Child source(QStringLiteral(QUADFIND_DRAG_SOURCE), urls, env);
        // A window manager may still be taking the window over when it is
        // first seen, so it is looked for again until the press reaches it.
        ASSERT_TRUE(WaitFor([&] {
            return tryXdotool({"search", "--sync", "--onlyvisible", "--all", "--pid",
                               QString::number(source.processId()), "--name", "^quadfind drag source$", "mousemove",
                               "--window", "%1", "60", "40", "mousedown", "1"})
                .has_value();
        })) << "the drag source did not show";
        // Moves over Image1 until the form takes the drag, then lets go.
        const bool accepted = WaitFor([&, step = 0]() mutable {
            xdotool(move(places.image1.center() + QPoint(step++ % 2, 0)));
            return source.output().contains("accepted");
        });
        xdotool({"mouseup", "1"});
        ASSERT_TRUE(accepted) << "the form did not take " << urls.size() << " dropped files";
        if (urls.size() > 1) {
            ASSERT_TRUE(waitForFocusedWindows(2)) << "no word on two dropped files";
            key("Return");
            ASSERT_TRUE(waitForWindows(1));
        }
        EXPECT_TRUE(viewShows(places.image1, large)) << "after the drop of " << urls.size();
    }

    // A symlink at a name (to a file yet to come) is replaced, not written through.
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere.png"), dir.filePath("result.png")));
    for (const auto& [typed, written, format] :
         {std::tuple{"result.png", "result.png", "PNG"}, std::tuple{"result", "result.bmp", "BMP"}}) {
        if (format == std::string("PNG"))
            ASSERT_NO_FATAL_FAILURE(pickFromMenu(places.image2.center(), 1)); // Save picture as…
        else
            key("ctrl+s");
        ASSERT_NO_FATAL_FAILURE(typeIntoDialog(dir.filePath(typed)));
        // A name, not the binding itself: clang before 16 cannot capture a binding.
        const QString writtenPath = dir.filePath(written);
        ASSERT_TRUE(WaitFor([&] { return windows().size() == 1 && QFile::exists(writtenPath); }))
            << typed << ": nothing saved";
        EXPECT_TRUE(SurfaceFromImage(QImage(dir.filePath(written), format)) == result) << typed;
    }
    EXPECT_FALSE(QFileInfo(dir.filePath("result.png")).isSymLink()) << "saved in place, through the symlink";

    click(places.image2.center(), 1, 2);
    unsigned long viewer = 0;
    ASSERT_TRUE(WaitFor([&] {
        return (viewer = windowNamed("quadfind: Image2 .+ large\\.bmp, 500 .+ 420")) && focus() == viewer;
    })) << "no focused window titled \"quadfind: Image2 — large.bmp, 500 × 420\"";
    key("ctrl+1");
    std::optional<QPoint> canvas;
    ASSERT_TRUE(WaitFor([&] { return (canvas = findOnScreen(viewer, result)).has_value(); }))
        << "the viewer at 1:1 does not show the picture";
    // One notch up at (100, 80) doubles the scale, and the picture's pixel
    // under the pointer, (100, 80), stays there: the canvas starts at (50, 40).
    xdotool({"mousemove", QString::number(canvas->x() + 100), QString::number(canvas->y() + 80), "click", "4"});
    QImage zoomed(200, 160, QImage::Format_RGB32);
    for (int row = 0; row < zoomed.height(); ++row)
        for (int column = 0; column < zoomed.width(); ++column) {
            const std::uint8_t* bgr = result.row(40 + row / 2) + std::size_t(3) * std::size_t(50 + column / 2);
            zoomed.setPixel(column, row, qRgb(bgr[2], bgr[1], bgr[0]));
        }
    EXPECT_TRUE(WaitFor([&] { return grab({*canvas, zoomed.size()}) == zoomed; })) << "the wheel's 2x zoom";
    key("Escape");
    EXPECT_TRUE(waitForWindows(1)) << "Escape did not close the viewer";
}

// As a file manager's "Open with" starts it: the file shows once the window does.
TEST_P(RealWindow, OpensTheFileItIsGiven) {
    ASSERT_NO_FATAL_FAILURE(startProgram({dir.filePath("large.bmp")}));
    EXPECT_TRUE(viewShows(places.image1, large));
}

INSTANTIATE_TEST_SUITE_P(Display, RealWindow, ::testing::Values(false, true), // not Bool(): Xlib defines Bool
                         [](const auto& run) { return run.param ? "openbox" : "no_window_manager"; });

} // namespace
