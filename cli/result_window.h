// The batch's results between the jobs that make them and the printer that
// prints them in input order: a window of slots, picture i in slot
// i % slots. A job may claim picture i only while i < printed + slots, so a
// slow picture holds the others back rather than letting memory grow; each
// slot holds a text and at most an open overlay file, not a picture.
//
// With flushing (--sync) a result with an overlay is ready to print only
// once a flusher has reported it flushed. All of it is guarded by one lock
// of the window's own; any thread may call any member.
#pragma once

#include "pending_file.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quadfind::cli {

struct Result {
    std::string out, err;
    // Committed just before `out` is printed (with --sync, by which time the
    // disk has mostly written it).
    std::optional<PendingFile> overlay;
};

class ResultWindow {
public:
    ResultWindow(std::size_t total, std::size_t slots, bool flushing);
    ResultWindow(const ResultWindow&) = delete;
    ResultWindow& operator=(const ResultWindow&) = delete;

    // The next picture to process, once there is room for its result; none
    // when every picture is claimed or the batch stops.
    std::optional<std::size_t> claim();
    // The job's result for picture i. Returns the overlay a flusher must
    // flush, which stays put in its slot until flushed() is called for it.
    PendingFile* handOver(std::size_t i, Result result);
    // A flusher is done with picture i's overlay; a non-empty `error`
    // replaces the result with it and removes the temporary file.
    void flushed(std::size_t i, std::string error);

    // The next result in order, once ready; none once the batch is
    // interrupted.
    std::optional<Result> next();
    // The printer has printed the result it was given last, and with
    // `stopAll` wants no more pictures processed.
    void printed(bool stopAll);

    // A signal ends the batch: no more claims, and next() gives nothing.
    void interrupt(int signal);
    // The signal that ended the batch, or 0.
    int interruption() const;
    // Removes the overlays not yet in place; for after the jobs and the
    // flushers have ended.
    void discard();

private:
    struct Slot {
        Result result;
        bool ready = false;   // set by the job
        bool flushed = false; // set by a flusher when there is an overlay
    };
    bool readyToPrint(const Slot& slot) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    const std::size_t total_;
    const bool flushing_;
    std::size_t claimed_ = 0, printed_ = 0;
    bool stop_ = false;
    int interruption_ = 0;
};

} // namespace quadfind::cli
