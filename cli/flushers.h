// The threads that wait for the disk with --sync: each takes an overlay the
// jobs have written and flushes it (fsync), side by side, so that the file
// system commits several in one go; the printer then only renames, in
// order. A flush's outcome goes back to the window.
#pragma once

#include "result_window.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quadfind::cli {

class Flushers {
public:
    // `threads` of them, reporting to `window`; none for 0.
    Flushers(ResultWindow& window, std::size_t threads);
    ~Flushers() { finish(); }
    Flushers(const Flushers&) = delete;
    Flushers& operator=(const Flushers&) = delete;

    // Picture i's overlay, which stays put until the window hears it is
    // flushed.
    void add(std::size_t i, PendingFile* overlay);
    // Drops what is still queued (after a stop, the window removes those
    // files) and waits for the flushes under way.
    void finish();

private:
    void run();

    ResultWindow& window_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::size_t, PendingFile*>> queue_;
    bool done_ = false;
    std::vector<std::thread> threads_; // last: they start once the rest exists
};

} // namespace quadfind::cli
