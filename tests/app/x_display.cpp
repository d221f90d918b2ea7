#include "x_display.h"

#include <QDir>

#include <gtest/gtest.h>

// After everything else: Xlib defines macros such as None and Bool.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <thread>

namespace quadfind::testing {

namespace {

// A window may vanish between listing and asking about it; Xlib's default
// handler would end the test program for that.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

std::optional<QString> WindowTitle(Display* dpy, Window w) {
    const Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data) {
        const QString title = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
        XFree(data);
        return title;
    }
    return std::nullopt;
}

bool Viewable(Display* dpy, Window w, bool* overrideRedirect = nullptr) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy, w, &attributes))
        return false;
    if (overrideRedirect)
        *overrideRedirect = attributes.override_redirect;
    return attributes.map_state == IsViewable;
}

// Depth first: under a window manager the program's windows sit inside frames.
std::optional<Window> FindTitled(Display* dpy, Window parent, const std::function<bool(const QString&)>& wanted) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, parent, &root, &up, &children, &count))
        return std::nullopt;
    std::optional<Window> found;
    for (unsigned int i = count; i-- > 0 && !found;) { // top of the stack first
        bool overrideRedirect = false;
        const std::optional<QString> title = WindowTitle(dpy, children[i]);
        if (title && wanted(*title) && Viewable(dpy, children[i], &overrideRedirect) && !overrideRedirect)
            found = children[i];
        else
            found = FindTitled(dpy, children[i], wanted);
    }
    if (children)
        XFree(children);
    return found;
}

void DieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

} // namespace

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

Child::Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
             const QString& workingDirectory) {
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(workingDirectory);
    process_.setChildProcessModifier(DieWithParent);
    process_.start(program, arguments);
    if (!process_.waitForStarted(5000))
        ADD_FAILURE() << "cannot start " << program.toStdString() << ": " << process_.errorString().toStdString();
}

Child::~Child() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate(); // SIGTERM to its pid
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

QString Child::output() {
    // No event loop runs here: poll the pipes for what has arrived.
    if (process_.state() == QProcess::Running)
        process_.waitForReadyRead(0);
    seen_ += process_.readAllStandardOutput() + process_.readAllStandardError();
    return QString::fromUtf8(seen_);
}

std::optional<QByteArray> RunTool(const QString& program, const QStringList& arguments,
                                  const QProcessEnvironment& environment, std::chrono::milliseconds timeout) {
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setChildProcessModifier(DieWithParent);
    tool.start(program, arguments);
    if (!tool.waitForFinished(int(timeout.count()))) {
        tool.kill();
        tool.waitForFinished(1000);
        return std::nullopt;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return std::nullopt;
    return tool.readAllStandardOutput();
}

XDisplay::XDisplay(bool windowManager) : environment_(QProcessEnvironment::systemEnvironment()) {
    XSetErrorHandler(IgnoreXError);
    // -displayfd: the server picks a free number and writes it once it
    // accepts connections. -br: a black root, so an unpainted window shows.
    server_ = std::make_unique<Child>(
        QStringLiteral("Xvfb"),
        QStringList{"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-br", "-noreset"},
        environment_);
    QByteArray number;
    const bool started = WaitFor(
        [&] {
            server_->process().waitForReadyRead(10);
            number += server_->process().readAllStandardOutput();
            return number.contains('\n') || !server_->running();
        },
        10s);
    if (!started || !number.contains('\n')) {
        ADD_FAILURE() << "Xvfb did not start: " << server_->output().toStdString();
        return;
    }
    name_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    environment_.insert(QStringLiteral("DISPLAY"), name_);
    // Also when the caller's environment asks Qt for the offscreen platform.
    environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    connection_ = XOpenDisplay(name_.toLatin1().constData());
    if (!connection_) {
        ADD_FAILURE() << "cannot connect to Xvfb on " << name_.toStdString();
        return;
    }
    const Window root = DefaultRootWindow(connection_);
    clipboardWindow_ = XCreateSimpleWindow(connection_, root, 0, 0, 1, 1, 0, 0, 0);

    if (windowManager) {
        // Its own settings folder, so a user's openbox setup plays no part.
        QProcessEnvironment wmEnvironment = environment_;
        wmEnvironment.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir::tempPath() + QStringLiteral("/quadfind-no-config"));
        windowManager_ = std::make_unique<Child>(QStringLiteral("openbox"), QStringList{"--sm-disable"}, wmEnvironment);
        // openbox announces itself before it handles windows, and a window
        // mapped before that stays unmapped: wait until it frames one of ours.
        const Window probe = XCreateSimpleWindow(connection_, root, 0, 0, 1, 1, 0, 0, 0);
        const bool managing = WaitFor(
            [&] {
                XMapWindow(connection_, probe);
                Window top = 0, parent = 0, *children = nullptr;
                unsigned int count = 0;
                XQueryTree(connection_, probe, &top, &parent, &children, &count);
                if (children)
                    XFree(children);
                return parent != root || !windowManager_->running();
            },
            10s);
        XDestroyWindow(connection_, probe);
        XSync(connection_, False);
        if (!managing || !windowManager_->running()) {
            ADD_FAILURE() << "openbox did not start: " << windowManager_->output().toStdString();
            XCloseDisplay(connection_);
            connection_ = nullptr;
        }
    }
}

XDisplay::~XDisplay() {
    if (connection_)
        XCloseDisplay(connection_);
    windowManager_.reset(); // before the server it talks to
    server_.reset();
}

std::optional<unsigned long> XDisplay::findWindow(const std::function<bool(const QString&)>& wanted) const {
    XSync(connection_, False);
    return FindTitled(connection_, DefaultRootWindow(connection_), wanted);
}

std::optional<ScreenPoint> XDisplay::origin(unsigned long window) const {
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(connection_, window, DefaultRootWindow(connection_), 0, 0, &x, &y, &child))
        return std::nullopt;
    return ScreenPoint{x, y};
}

unsigned long XDisplay::focus() const {
    Window focused = 0;
    int revert = 0;
    XGetInputFocus(connection_, &focused, &revert);
    return focused;
}

std::optional<ScreenPoint> XDisplay::size(unsigned long window) const {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(connection_, window, &attributes))
        return std::nullopt;
    return ScreenPoint{attributes.width, attributes.height};
}

std::set<unsigned long> XDisplay::popups() const {
    std::set<unsigned long> out;
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(connection_, DefaultRootWindow(connection_), &root, &up, &children, &count))
        return out;
    for (unsigned int i = 0; i < count; ++i) {
        bool overrideRedirect = false;
        if (Viewable(connection_, children[i], &overrideRedirect) && overrideRedirect)
            out.insert(children[i]);
    }
    if (children)
        XFree(children);
    return out;
}

PictureSurface XDisplay::grab(int x, int y, int width, int height) const {
    PictureSurface out(width, height);
    XImage* image =
        XGetImage(connection_, DefaultRootWindow(connection_), x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) {
        ADD_FAILURE() << "XGetImage failed for " << width << " x " << height << " at (" << x << ", " << y << ")";
        return out;
    }
    // A 24-bit TrueColor screen: red in the high byte of the pixel value.
    for (int row = 0; row < height; ++row) {
        std::uint8_t* bytes = out.row(row);
        for (int col = 0; col < width; ++col) {
            const unsigned long v = XGetPixel(image, col, row);
            bytes[3 * col] = std::uint8_t(v & 0xFF);
            bytes[3 * col + 1] = std::uint8_t((v >> 8) & 0xFF);
            bytes[3 * col + 2] = std::uint8_t((v >> 16) & 0xFF);
        }
    }
    XDestroyImage(image);
    return out;
}

std::uint32_t XDisplay::pixel(int x, int y) const {
    return grab(x, y, 1, 1).pixel(0, 0);
}

void XDisplay::xdotool(const QStringList& arguments) {
    if (!RunTool(QStringLiteral("xdotool"), arguments, environment_))
        ADD_FAILURE() << "xdotool " << arguments.join(' ').toStdString() << " failed";
}

void XDisplay::click(ScreenPoint at, int button) {
    xdotool({"mousemove", QString::number(at.x), QString::number(at.y), "click", QString::number(button)});
}

void XDisplay::doubleClick(ScreenPoint at) {
    xdotool({"mousemove", QString::number(at.x), QString::number(at.y), "click", "--repeat", "2", "--delay", "50",
             "1"});
}

void XDisplay::drag(ScreenPoint from, ScreenPoint to) {
    // The pointer stops at the screen's edge, and xdotool takes "-1" for an option.
    xdotool({"mousemove", QString::number(from.x), QString::number(from.y), "mousedown", "1", "mousemove",
             QString::number(std::max(0, to.x)), QString::number(std::max(0, to.y)), "mouseup", "1"});
}

void XDisplay::move(ScreenPoint to) {
    xdotool({"mousemove", QString::number(std::max(0, to.x)), QString::number(std::max(0, to.y))});
}

void XDisplay::button(bool down) {
    xdotool({down ? "mousedown" : "mouseup", "1"});
}

void XDisplay::key(const QString& keys) {
    xdotool({"key", keys});
}

void XDisplay::type(const QString& text) {
    xdotool({"type", "--delay", "2", text});
}

void XDisplay::claimClipboard() {
    XSetSelectionOwner(connection_, XInternAtom(connection_, "CLIPBOARD", False), clipboardWindow_, CurrentTime);
    XSync(connection_, False);
}

bool XDisplay::clipboardTaken() const {
    const Window owner = XGetSelectionOwner(connection_, XInternAtom(connection_, "CLIPBOARD", False));
    return owner != None && owner != clipboardWindow_;
}

QString XDisplay::clipboardText() const {
    return QString::fromUtf8(clipboardData(QStringLiteral("UTF8_STRING")));
}

QByteArray XDisplay::clipboardData(const QString& type) const {
    return RunTool(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", type}, environment_)
        .value_or(QByteArray());
}

} // namespace quadfind::testing
