// A private X display for driving the real program as a person does: its own
// Xvfb (and, if asked, openbox), real input through xdotool (XTEST), and the
// screen read back pixel for pixel with XGetImage.
//
// Every process started here is ended by its pid when its owner goes, and
// killed when the test program itself dies (parent-death signal), so a
// failing or killed case leaves nothing running.
//
// Include it last: Xlib defines macros such as None and Bool.
#pragma once

#include "picture_surface.h"

#include <QDir>
#include <QProcess>
#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sys/prctl.h>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace quadfind::testing {

using namespace std::chrono_literals;

// Polls `condition` every 10 ms until it holds or `timeout` passes. The
// default is generous: other builds may share the machine.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class Child : public QProcess {
public:
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
          const QString& workingDirectory = {}) {
        setProcessEnvironment(environment);
        setWorkingDirectory(workingDirectory);
        setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        start(program, arguments);
        if (!waitForStarted(5000))
            ADD_FAILURE() << "cannot start " << program.toStdString() << ": " << errorString().toStdString();
    }
    // SIGTERM first: a killed Xvfb leaves its lock file behind.
    ~Child() override {
        terminate();
        if (!waitForFinished(2000)) {
            kill();
            waitForFinished(2000);
        }
    }
    // What it has written so far, both streams. (No event loop runs here.)
    QString output() {
        waitForReadyRead(0);
        seen_ += readAllStandardOutput() + readAllStandardError();
        return QString::fromUtf8(seen_);
    }

private:
    QByteArray seen_;
};

class XDisplay {
public:
    // Starts Xvfb on a free display number; with `windowManager`, also
    // openbox. Fails the running test, and leaves `ok()` false, when either
    // does not come up.
    explicit XDisplay(bool windowManager) : environment_(QProcessEnvironment::systemEnvironment()) {
        // A window may vanish between listing and asking about it; Xlib's
        // default handler would end the test program for that.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        // -displayfd: the server picks a free number and writes it once it
        // accepts connections. -br: a black root, so an unpainted window shows.
        server_ = std::make_unique<Child>("Xvfb", QStringList{"-displayfd", "1", "-screen", "0", "1280x1024x24",
                                                              "-nolisten", "tcp", "-br", "-noreset"},
                                          environment_);
        QByteArray number;
        WaitFor([&] {
            server_->waitForReadyRead(10);
            number += server_->readAllStandardOutput();
            return number.contains('\n') || server_->state() == QProcess::NotRunning;
        });
        environment_.insert("DISPLAY", ':' + QString::fromLatin1(number.trimmed()));
        // Also when the caller's environment asks Qt for the offscreen platform.
        environment_.insert("QT_QPA_PLATFORM", "xcb");
        if (!number.contains('\n') || !(x_ = XOpenDisplay(environment_.value("DISPLAY").toLatin1().constData()))) {
            ADD_FAILURE() << "Xvfb did not start: " << server_->output().toStdString();
            return;
        }
        const Window root = DefaultRootWindow(x_);
        clipboardWindow_ = XCreateSimpleWindow(x_, root, 0, 0, 1, 1, 0, 0, 0);
        if (!windowManager)
            return;
        // Its own settings folder, so a user's openbox setup plays no part.
        QProcessEnvironment wmEnvironment = environment_;
        wmEnvironment.insert("XDG_CONFIG_HOME", QDir::tempPath() + "/quadfind-no-config");
        // It runs the --startup command once it manages windows; before
        // that, it announces itself but leaves a window mapped meanwhile
        // unmapped.
        windowManager_ = std::make_unique<Child>("openbox", QStringList{"--sm-disable", "--startup", "echo managing"},
                                                 wmEnvironment);
        const bool managing = WaitFor([&] { return windowManager_->output().contains("managing"); });
        if (!managing) {
            ADD_FAILURE() << "openbox did not start: " << windowManager_->output().toStdString();
            XCloseDisplay(x_);
            x_ = nullptr;
        }
    }
    ~XDisplay() {
        if (x_)
            XCloseDisplay(x_);
    }

    bool ok() const { return x_ != nullptr; }
    // The caller's environment plus DISPLAY and Qt's X11 platform.
    QProcessEnvironment environment() const { return environment_; }

    // Viewable windows, menus included, as xdotool finds them: those of the
    // process `pid`, or the first one titled `title`.
    std::set<unsigned long> windowsOf(qint64 pid) const {
        std::set<unsigned long> out;
        for (const QByteArray& id : tool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)})
                                        .value_or("")
                                        .split('\n'))
            if (!id.isEmpty())
                out.insert(id.toULong());
        return out;
    }
    std::optional<unsigned long> window(const QString& title) const {
        const auto found = tool("xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$'});
        return found ? std::optional(found->split('\n').first().toULong()) : std::nullopt;
    }
    std::optional<QRect> place(unsigned long window) const {
        int x = 0, y = 0;
        Window child = 0;
        XWindowAttributes attributes{};
        if (!XTranslateCoordinates(x_, window, DefaultRootWindow(x_), 0, 0, &x, &y, &child) ||
            !XGetWindowAttributes(x_, window, &attributes))
            return std::nullopt;
        return QRect(x, y, attributes.width, attributes.height);
    }
    unsigned long focus() const {
        Window focused = 0;
        int revert = 0;
        XGetInputFocus(x_, &focused, &revert);
        return focused;
    }
    // The screen's pixels, as PictureSurface colours (0x00BBGGRR).
    PictureSurface grab(QRect area) const {
        PictureSurface out(area.width(), area.height());
        XImage* image = XGetImage(x_, DefaultRootWindow(x_), area.x(), area.y(), unsigned(area.width()),
                                  unsigned(area.height()), AllPlanes, ZPixmap);
        if (!image) {
            ADD_FAILURE() << "XGetImage failed for " << area.width() << " x " << area.height();
            return out;
        }
        // A 24-bit TrueColor screen: red in the high byte of the pixel value.
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const unsigned long v = XGetPixel(image, x, y);
                out.setPixel(x, y, Colour((v >> 16) & 0xFF) | Colour(v & 0xFF00) | Colour(v & 0xFF) << 16);
            }
        XDestroyImage(image);
        return out;
    }

    // Input through xdotool; the pointer stops at the screen's edge.
    void click(QPoint at, int button = 1, int times = 1) {
        xdotool(move(at) << "click" << "--repeat" << QString::number(times) << "--delay" << "50"
                         << QString::number(button));
    }
    void drag(QPoint from, QPoint to) {
        xdotool(move(from) << "mousedown" << "1" << move(to) << "mouseup" << "1");
    }
    void pointer(QPoint to) { xdotool(move(to)); }
    void button(bool down) { xdotool({down ? "mousedown" : "mouseup", "1"}); }
    void key(const QString& keys) { xdotool(QStringList{"key"} + keys.split(' ')); } // key names between spaces
    void type(const QString& text) { xdotool({"type", "--delay", "2", text}); }

    // `claimClipboard` makes this test the clipboard's owner, so that
    // `clipboardTaken` sees when the program copies something.
    void claimClipboard() {
        XSetSelectionOwner(x_, XInternAtom(x_, "CLIPBOARD", False), clipboardWindow_, CurrentTime);
        XSync(x_, False);
    }
    bool clipboardTaken() const {
        const Window owner = XGetSelectionOwner(x_, XInternAtom(x_, "CLIPBOARD", False));
        return owner != None && owner != clipboardWindow_;
    }
    QByteArray clipboard(const QString& type = "UTF8_STRING") const {
        return tool("xclip", {"-o", "-selection", "clipboard", "-t", type}).value_or("");
    }

private:
    // Runs a short command to its end; its standard output, or nothing when
    // it fails or takes more than five seconds.
    std::optional<QByteArray> tool(const QString& program, const QStringList& arguments) const {
        Child tool(program, arguments, environment_);
        if (!tool.waitForFinished(5000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            return std::nullopt;
        return tool.readAllStandardOutput();
    }
    void xdotool(const QStringList& arguments) {
        if (!tool("xdotool", arguments))
            ADD_FAILURE() << "xdotool " << arguments.join(' ').toStdString() << " failed";
    }
    static QStringList move(QPoint to) {
        return {"mousemove", QString::number(std::max(0, to.x())), QString::number(std::max(0, to.y()))};
    }

    QProcessEnvironment environment_;
    std::unique_ptr<Child> server_, windowManager_; // ended in reverse: the manager before its server
    Display* x_ = nullptr;
    Window clipboardWindow_ = 0;
};

} // namespace quadfind::testing
