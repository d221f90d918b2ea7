// A private X display for driving the real program as a person does: its own
// Xvfb (and, if asked, openbox), real input through xdotool, and the screen
// read back pixel for pixel with XGetImage.
//
// Every process started here is killed by its pid when its owner goes, and
// also when the test program itself dies (parent-death signal), so a failing
// or killed case leaves nothing running.
#pragma once

#include "picture_surface.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

struct _XDisplay; // Xlib's Display

namespace quadfind::testing {

using namespace std::chrono_literals;

// Polls `condition` every 10 ms until it holds or `timeout` passes. The
// default is generous: other builds may share the machine.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

// A child process that is killed by its pid when this object goes.
class Child {
public:
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
          const QString& workingDirectory = QString());
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return process_.state() != QProcess::NotRunning; }
    QProcess& process() { return process_; }
    QString output(); // what it has written so far, both streams

private:
    QProcess process_;
    QByteArray seen_;
};

// Runs a short command to its end (at most `timeout`); its standard output,
// or nothing when it fails or times out.
std::optional<QByteArray> RunTool(const QString& program, const QStringList& arguments,
                                  const QProcessEnvironment& environment, std::chrono::milliseconds timeout = 5s);

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

class XDisplay {
public:
    // Starts Xvfb on a free display number; with `windowManager`, also
    // openbox, and returns once it manages the screen. Fails the running
    // test (and leaves `ok()` false) when either does not come up.
    explicit XDisplay(bool windowManager);
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool ok() const { return connection_ != nullptr; }
    QString name() const { return name_; }
    // The caller's environment plus DISPLAY and Qt's X11 platform, for
    // programs run on this display.
    QProcessEnvironment environment() const { return environment_; }

    // The topmost viewable window, managed or not by a window manager but
    // not a popup, whose title passes `wanted`.
    std::optional<unsigned long> findWindow(const std::function<bool(const QString&)>& wanted) const;
    // Where a window's (0, 0) lies on the screen, and its size.
    std::optional<ScreenPoint> origin(unsigned long window) const;
    std::optional<ScreenPoint> size(unsigned long window) const;
    // The window that has the keyboard focus.
    unsigned long focus() const;
    // Viewable windows that no window manager manages: menus and popups.
    std::set<unsigned long> popups() const;

    // The screen's pixels in the rectangle, as 0x00BBGGRR, row by row.
    PictureSurface grab(int x, int y, int width, int height) const;
    std::uint32_t pixel(int x, int y) const;

    // Input, through the XTEST extension (xdotool).
    void click(ScreenPoint at, int button = 1);
    void doubleClick(ScreenPoint at);
    void drag(ScreenPoint from, ScreenPoint to); // with the left button held
    void move(ScreenPoint to);
    void button(bool down);
    void key(const QString& keys);
    void type(const QString& text);

    // The clipboard: `claimClipboard` makes this test its owner, so that
    // `waitForClipboardTaken` sees when the program copies something.
    void claimClipboard();
    bool clipboardTaken() const;
    QString clipboardText() const;
    QByteArray clipboardData(const QString& type) const;

private:
    void xdotool(const QStringList& arguments);

    std::unique_ptr<Child> server_;
    std::unique_ptr<Child> windowManager_;
    QString name_;
    QProcessEnvironment environment_;
    ::_XDisplay* connection_ = nullptr;
    unsigned long clipboardWindow_ = 0;
};

} // namespace quadfind::testing
