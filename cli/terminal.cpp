#include "terminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

namespace quadfind::cli {

namespace {

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

} // namespace

bool PrepareStandardStreams() {
    for (int fd : {0, 2})
        if (!isOpen(fd) && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
            return false;
    if (!isOpen(1)) {
        // Keep descriptor 1 taken, so that no file lands on it.
        ::open("/dev/null", O_WRONLY);
        errno = EBADF;
        return false;
    }
    return true;
}

bool WriteOut(std::string_view bytes) {
    return writeAll(1, bytes);
}

void WriteErr(std::string_view bytes) {
    (void)writeAll(2, bytes);
}

Progress::Progress(std::size_t total) : shown_(total > 5 && ::isatty(2)), total_(total) {}

void Progress::update(std::size_t done) {
    if (!shown_)
        return;
    const Clock::time_point now = Clock::now();
    if (onScreen_ && now - drawn_ < std::chrono::milliseconds(100) && done != total_)
        return;
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? double(done) / seconds : 0;
    char line[160];
    if (rate > 0) {
        const long left = std::lround(double(total_ - done) / rate);
        std::snprintf(line, sizeof line, "\r%zu/%zu pictures, %.1f a second, %ld:%02ld left\x1b[K", done, total_, rate,
                      left / 60, left % 60);
    } else {
        std::snprintf(line, sizeof line, "\r%zu/%zu pictures\x1b[K", done, total_);
    }
    WriteErr(line);
    onScreen_ = true;
}

void Progress::clear() {
    if (onScreen_)
        WriteErr("\r\x1b[K");
    onScreen_ = false;
}

} // namespace quadfind::cli
