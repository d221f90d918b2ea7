#include "quit_on_signal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quadfind {

namespace {

// A signal handler may only write to a descriptor; the event loop reads the
// other end and quits where quitting is safe.
int wakeUp[2] = {-1, -1};

// The first signal asks; a second, while the program is still busy with a
// picture and has not come back to its loop, ends it at once.
extern "C" void OnSignal(int signal) {
    std::signal(signal, SIG_DFL);
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeUp[1], &byte, 1);
}

} // namespace

bool QuitOnSignal() {
    if (::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char drained[16];
        while (::read(wakeUp[0], drained, sizeof drained) > 0) {}
        // Ends every running loop, an open dialog's too.
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}

} // namespace quadfind
