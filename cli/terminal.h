// What the CLI writes: standard output, checked on every write, standard
// error, and the progress line a terminal shows on standard error.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace quadfind::cli {

// Standard output must be open before anything else is: a file opened while
// descriptor 1 is closed would take its place and receive the results.
// Reopens a closed standard input or error on /dev/null, and returns false
// when standard output is closed.
bool PrepareStandardStreams();

// Writes all of `bytes` to standard output. Returns false, with errno set,
// when a write fails or writes nothing.
bool WriteOut(std::string_view bytes);

// Best effort: there is nowhere to report a failure to write an error.
void WriteErr(std::string_view bytes);

// One line on standard error, rewritten in place: done/total, pictures per
// second and the time left. Shown only when standard error is a terminal and
// the batch has more than a few pictures; redrawn at most ten times a second.
class Progress {
public:
    explicit Progress(std::size_t total);
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::size_t done);
    // Takes the line away before other output reaches the terminal.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool shown_;
    bool onScreen_ = false;
    std::size_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point drawn_{};
};

} // namespace quadfind::cli
