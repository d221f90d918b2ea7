#include "signal_watcher.h"

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <utility>

namespace quadfind::cli {

namespace {

sigset_t handledSignals() {
    sigset_t handled;
    sigemptyset(&handled);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&handled, number);
    // Blocked here, before the jobs start, so that they inherit the mask and
    // only the watcher receives them.
    ::pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    return handled;
}

} // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal)
    : handled_(handledSignals()), onSignal_(std::move(onSignal)), thread_([this] { watch(); }) {}

SignalWatcher::~SignalWatcher() {
    // A signal of the set sent to the watcher's thread alone wakes its
    // sigwait; the flag tells it from a user's.
    ending_ = true;
    // NOLINTNEXTLINE(bugprone-bad-signal-to-kill-thread): sigwait takes it; nothing is terminated
    ::pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
}

void SignalWatcher::watch() {
    int caught = 0;
    if (::sigwait(&handled_, &caught) != 0 || ending_)
        return;
    onSignal_(caught);
    if (::sigwait(&handled_, &caught) != 0 || ending_)
        return;
    DieOf(caught);
}

void SignalWatcher::DieOf(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    std::abort(); // not reached: the signal's default action ends the program
}

} // namespace quadfind::cli
