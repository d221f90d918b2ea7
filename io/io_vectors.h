// Scatter-gather reads and writes (readv/writev and their p- forms) may move
// fewer bytes than asked; this steps the parts past what was moved, so the
// caller can ask again for the rest.
#pragma once

#include <sys/uio.h>

#include <cstddef>

namespace quadfind {

inline void StepPast(iovec*& parts, int& count, std::size_t moved) {
    while (count > 0 && moved >= parts->iov_len) {
        moved -= parts->iov_len;
        ++parts;
        --count;
    }
    if (count > 0) {
        parts->iov_base = static_cast<char*>(parts->iov_base) + moved;
        parts->iov_len -= moved;
    }
}

} // namespace quadfind
