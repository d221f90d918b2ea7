#include "batch.h"

#include "bmp_writer.h"
#include "edge_detection.h"
#include "names.h"
#include "picture_file.h"
#include "result_lines.h"
#include "terminal.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace quadfind::cli {

namespace {

struct Result {
    std::string out, err;
    // Committed just before `out` is printed (with --sync, by which time the
    // disk has mostly written it).
    std::optional<PendingFile> overlay;
    bool ready = false;   // set by the job
    bool flushed = false; // set by a flusher when there is an overlay
};

// The edge-detection core keeps its grid in one global: one run at a time.
// Loading and writing, most of a picture's time, go on in parallel.
std::mutex detectionMutex;
EdgePassWorkspace detectionWorkspace; // used under detectionMutex

// `picture` and `working` are the job's own, reused from one picture to the
// next, so that pictures of one size cost no allocation.
Result process(const Batch& batch, std::size_t i, PictureSurface& picture, PictureSurface& working) {
    Result r;
    const std::string& file = batch.pictures[i];
    try {
        LoadPictureArgumentInto(file, batch.limits, picture);
        EdgeDetectionRun run;
        {
            const std::lock_guard<std::mutex> lock(detectionMutex);
            run = RunEdgeDetection(picture, working, detectionWorkspace, batch.decimalSeparator, batch.minSum);
        }
        if (!batch.overlays.empty())
            r.overlay.emplace(working, batch.overlays[i]);
        r.out = batch.json ? ResultJsonLine(file, picture, run) : ResultText(ReadableName(file), picture, run);
    } catch (const PictureError& e) { // names the file already
        r.err = "quadfind-cli: " + std::string(e.what()) + "\n";
    } catch (const std::exception& e) { // memory, or a picture too large for a BMP overlay
        r.err = "quadfind-cli: Cannot process " + ReadableName(file) + ": " + e.what() + "\n";
    }
    return r;
}

// Shared with the thread that waits for handled, which may outlive a batch.
std::mutex mutex;
std::condition_variable changed;
bool stop = false;
int interruption = 0; // the signal that ended the run

// Ctrl-C, a hang-up or kill: the jobs finish their pictures, uncommitted
// overlays are removed, and the program then dies of the signal as it
// would have, leaving no temporary file behind. A second signal ends it
// at once.
void watchSignals(sigset_t handled) {
    int caught = 0;
    if (::sigwait(&handled, &caught) != 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        interruption = caught;
        stop = true;
    }
    changed.notify_all();
    // A job can be stuck in a read that never ends (a FIFO with no writer):
    // a second signal ends the program at once, as it would have anyway,
    // even if a temporary file is left behind.
    if (::sigwait(&handled, &caught) != 0)
        return;
    std::signal(caught, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, caught);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(caught);
}

} // namespace

int RunBatch(const Batch& batch) {
    const std::size_t total = batch.pictures.size();
    const std::size_t jobs = std::size_t(std::max(1, batch.jobs));
    // Enough results ahead of the printer for the disk to write several
    // overlays while the next pictures are processed; each holds its text
    // and an open file, not a picture.
    const std::size_t window = std::max<std::size_t>(16, 2 * jobs);
    std::vector<Result> pending(window);
    std::size_t claimed = 0, printed = 0;
    // Overlays written and waiting for their fsync, by picture index. The
    // flushers wait for the disk side by side, so that the file system
    // commits several in one go; the printer then only renames, in order.
    std::deque<std::size_t> toFlush;
    bool flushersDone = false;

    // Blocked here, before the jobs start, so that they inherit the mask and
    // only the watcher receives them.
    sigset_t handled;
    sigemptyset(&handled);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&handled, number);
    ::pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    std::thread(watchSignals, handled).detach();

    const auto work = [&] {
        PictureSurface picture, working;
        for (;;) {
            std::size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || claimed >= total || claimed < printed + window; });
                if (stop || claimed >= total)
                    return;
                i = claimed++;
            }
            Result r = process(batch, i, picture, working);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                r.ready = true;
                if (r.overlay && batch.durability == Durability::OnDisk)
                    toFlush.push_back(i);
                pending[i % window] = std::move(r);
            }
            changed.notify_all();
        }
    };
    // A slot stays put from the job's hand-over until the printer sees it
    // flushed, so a flusher may use it without the lock.
    const auto flush = [&] {
        for (;;) {
            Result* r;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return flushersDone || !toFlush.empty(); });
                if (toFlush.empty())
                    return;
                r = &pending[toFlush.front() % window];
                toFlush.pop_front();
            }
            std::string error;
            try {
                r->overlay->flush();
            } catch (const std::exception& e) {
                error = "quadfind-cli: " + std::string(e.what()) + "\n";
            }
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (!error.empty()) {
                    r->overlay.reset(); // removes the temporary file
                    r->out.clear();
                    r->err = std::move(error);
                }
                r->flushed = true;
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads, flushers;
    for (std::size_t t = 0; t < std::min(jobs, total); ++t)
        threads.emplace_back(work);
    if (!batch.overlays.empty() && batch.durability == Durability::OnDisk)
        for (std::size_t t = 0; t < std::min<std::size_t>(8, total); ++t)
            flushers.emplace_back(flush);

    Progress progress(total);
    const bool outOnTerminal = ::isatty(1);
    int status = 0;
    bool outputFailed = false;
    for (std::size_t i = 0; i < total; ++i) {
        Result r;
        {
            std::unique_lock<std::mutex> lock(mutex);
            const Result& next = pending[i % window];
            const bool flushing = batch.durability == Durability::OnDisk;
            changed.wait(lock, [&] {
                return (next.ready && (!next.overlay || !flushing || next.flushed)) || interruption != 0;
            });
            if (interruption != 0)
                break;
            r = std::move(pending[i % window]);
            pending[i % window].ready = pending[i % window].flushed = false;
        }
        if (r.overlay) {
            try {
                r.overlay->commit(batch.durability);
            } catch (const std::exception& e) {
                r.out.clear();
                r.err = "quadfind-cli: " + std::string(e.what()) + "\n";
            }
        }
        if (!r.err.empty()) {
            progress.clear();
            WriteErr(r.err);
            status = 1;
        }
        if (!r.out.empty()) {
            if (outOnTerminal)
                progress.clear();
            if (!WriteOut(r.out)) {
                const int error = errno;
                progress.clear();
                WriteErr(std::string("quadfind-cli: cannot write to standard output: ") + std::strerror(error) + "\n");
                status = 1;
                outputFailed = true;
            }
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            printed = i + 1;
            stop = stop || outputFailed;
        }
        changed.notify_all();
        if (outputFailed)
            break;
        progress.update(i + 1);
    }
    for (std::thread& t : threads)
        t.join();
    {
        // Whatever is still queued after a stop is removed with its slot.
        const std::lock_guard<std::mutex> lock(mutex);
        toFlush.clear();
        flushersDone = true;
    }
    changed.notify_all();
    for (std::thread& t : flushers)
        t.join();
    int ended;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ended = interruption;
    }
    if (ended != 0) {
        progress.clear();
        pending.clear(); // removes the overlays not yet in place
        std::signal(ended, SIG_DFL);
        ::pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
        std::raise(ended);
    }
    return status;
}

} // namespace quadfind::cli
