// Ctrl-C, a hang-up or kill (SIGINT, SIGHUP, SIGTERM) during a batch: the
// signals are blocked in every thread started after the watcher, and its own
// thread takes them. The first is handed to `onSignal` (the jobs finish their
// pictures, uncommitted overlays are removed, and the batch then dies of the
// signal as it would have, leaving no temporary file behind); a second ends
// the program at once, as it would have anyway, even if a temporary file is
// left behind: a job can be stuck in a read that never ends (a FIFO with no
// writer).
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace quadfind::cli {

class SignalWatcher {
public:
    // Construct it before the threads that must not receive the signals.
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Ends the watcher; the signals stay blocked, so one that comes later
    // stays pending until the program ends or dies of it (DieOf).
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    // Dies of `signal` as the program would have without the watcher.
    [[noreturn]] static void DieOf(int signal);

private:
    void watch();

    sigset_t handled_;
    std::function<void(int)> onSignal_;
    std::atomic<bool> ending_ = false;
    std::thread thread_; // last: starts once the rest exists
};

} // namespace quadfind::cli
