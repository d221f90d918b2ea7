// A file's or a stream's bytes, read with read(2) to the end, never mapped:
// the loader's POSIX side. Every refusal is a PictureError, "Cannot load
// NAME: reason", the reason the operating system's own where reading failed.
// No Qt.
#pragma once

#include "load_limits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace quadfind {

// A source of bytes that behaves as read(2): a count, 0 at the end, or -1
// with errno set.
using ReadSome = std::function<long(void* buffer, std::size_t capacity)>;

// Enough for any format's signature and header.
inline constexpr std::size_t kProbeBytes = std::size_t(64) << 10;

// Bytes not zeroed first, so that a file refused from its header costs what
// was read of it, not its size.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0, size = 0;

    void grow(std::size_t to);
    std::span<const std::uint8_t> span() const { return {data.get(), size}; }
};

// Everything `read` gives, into one buffer of the size a regular file had
// when it was opened (expectedBytes), or, for a stream, growing as the bytes
// come, so that it costs what it holds. Refuses what limits.maxFileBytes()
// cannot hold, and a file that ends before expectedBytes as a file that
// shrank. Once the first kProbeBytes are in, and before anything more is
// read, `probe` sees them and may refuse the file.
FileBytes ReadToEnd(const ReadSome& read, std::optional<std::uint64_t> expectedBytes, const std::string& name,
                    const LoadLimits& limits, const std::function<void(std::span<const std::uint8_t>)>& probe);

// A descriptor open for reading, closed when it goes.
class OpenFile {
public:
    // Refuses a name that cannot be opened, with the system's cause.
    explicit OpenFile(const std::string& path);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// A regular file's bytes from the descriptor's position to its end; nothing
// for a stream.
std::optional<std::uint64_t> RegularFileBytes(int fd);

// What read(2) on the descriptor would give.
ReadSome ReadFrom(int fd);

} // namespace quadfind
