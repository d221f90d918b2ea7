#include "batch.h"

#include "edge_detection.h"
#include "flushers.h"
#include "intensity_grid.h"
#include "names.h"
#include "picture_file.h"
#include "result_lines.h"
#include "result_window.h"
#include "signal_watcher.h"
#include "terminal.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

namespace quadfind::cli {

namespace {

// What a job keeps from one picture to the next, so that pictures of one
// size cost no allocation, and so that no job waits for another's grid.
struct JobState {
    PictureSurface picture, working;
    EdgePassWorkspace workspace;
    IntensityGridStore grid;
};

Result process(const Batch& batch, std::size_t i, JobState& job) {
    Result r;
    const std::string& file = batch.pictures[i];
    try {
        LoadPictureArgumentInto(file, batch.limits, job.picture);
        const EdgeDetectionRun run =
            RunEdgeDetection(job.picture, job.working, job.workspace, job.grid, batch.decimalSeparator, batch.minSum);
        if (!batch.overlays.empty())
            r.overlay.emplace(job.working, batch.overlays[i]);
        r.out = batch.json ? ResultJsonLine(file, job.picture, run) : ResultText(ReadableName(file), job.picture, run);
    } catch (const PictureError& e) { // names the file already
        r.err = "quadfind-cli: " + std::string(e.what()) + "\n";
    } catch (const std::exception& e) { // memory, or a picture too large for a BMP overlay
        r.err = "quadfind-cli: Cannot process " + ReadableName(file) + ": " + e.what() + "\n";
    }
    return r;
}

void runJob(const Batch& batch, ResultWindow& window, Flushers& flushers) {
    JobState job;
    while (const std::optional<std::size_t> i = window.claim())
        if (PendingFile* overlay = window.handOver(*i, process(batch, *i, job)))
            flushers.add(*i, overlay);
}

// Puts the overlay in place and prints the result's lines. Returns false
// when standard output cannot be written; `status` becomes 1 on any failure.
bool print(Result& r, Durability durability, Progress& progress, bool outOnTerminal, int& status) {
    if (r.overlay) {
        try {
            r.overlay->commit(durability);
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
    if (r.out.empty())
        return true;
    if (outOnTerminal)
        progress.clear();
    if (WriteOut(r.out))
        return true;
    const int error = errno;
    progress.clear();
    WriteErr(std::string("quadfind-cli: cannot write to standard output: ") + std::strerror(error) + "\n");
    status = 1;
    return false;
}

// The results in input order until all are printed, standard output fails
// or a signal interrupts the batch. Returns the exit status.
int printInOrder(const Batch& batch, ResultWindow& window) {
    const std::size_t total = batch.pictures.size();
    Progress progress(total);
    const bool outOnTerminal = ::isatty(1);
    int status = 0;
    for (std::size_t i = 0; i < total; ++i) {
        std::optional<Result> r = window.next();
        if (!r) {
            progress.clear();
            break;
        }
        const bool written = print(*r, batch.durability, progress, outOnTerminal, status);
        window.printed(!written);
        if (!written)
            break;
        progress.update(i + 1);
    }
    return status;
}

} // namespace

int RunBatch(const Batch& batch) {
    const std::size_t total = batch.pictures.size();
    const std::size_t jobs = std::size_t(std::max(1, batch.jobs));
    const bool flushing = !batch.overlays.empty() && batch.durability == Durability::OnDisk;
    // Enough results ahead of the printer for the disk to write several
    // overlays while the next pictures are processed.
    ResultWindow window(total, std::max<std::size_t>(16, 2 * jobs), flushing);
    const SignalWatcher watcher([&window](int signal) { window.interrupt(signal); });
    Flushers flushers(window, flushing ? std::min<std::size_t>(8, total) : 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::min(jobs, total); ++t)
        threads.emplace_back([&] { runJob(batch, window, flushers); });

    const int status = printInOrder(batch, window);
    for (std::thread& t : threads)
        t.join();
    flushers.finish();
    if (const int ended = window.interruption()) {
        window.discard(); // removes the overlays not yet in place
        SignalWatcher::DieOf(ended);
    }
    return status;
}

} // namespace quadfind::cli
