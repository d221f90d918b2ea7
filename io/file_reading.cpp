#include "file_reading.h"

#include "picture_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quadfind {

void FileBytes::grow(std::size_t to) {
    auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(to);
    std::copy_n(data.get(), size, bigger.get());
    data = std::move(bigger);
    capacity = to;
}

FileBytes ReadToEnd(const ReadSome& read, std::optional<std::uint64_t> expected, const std::string& name,
                    const LoadLimits& limits, const std::function<void(std::span<const std::uint8_t>)>& probe) {
    const std::uint64_t cap = limits.maxFileBytes();
    if (expected && *expected > cap)
        throw LoadError(name, limits.tooManyBytes("the file is " + std::to_string(*expected) + " bytes"));
    FileBytes bytes;
    // One byte past the size, so that reaching the end needs no second buffer.
    bytes.grow(expected ? std::size_t(*expected) + 1 : kProbeBytes);
    std::size_t& used = bytes.size;
    bool probed = false;
    for (;;) {
        if (!probed && used >= kProbeBytes) {
            probed = true;
            probe(bytes.span());
        }
        if (used == bytes.capacity) {
            if (used > cap)
                throw LoadError(name, limits.tooManyBytes("it goes on past " + std::to_string(cap) + " bytes"));
            bytes.grow(std::size_t(std::min<std::uint64_t>(used * 2, cap + 1)));
        }
        const std::size_t room = bytes.capacity - used;
        const long got = read(bytes.data.get() + used, probed ? room : std::min(room, kProbeBytes - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw LoadError(name, std::strerror(errno));
        }
        if (got == 0)
            break;
        used += std::size_t(got);
    }
    if (expected && used < *expected)
        throw LoadError(name, "the file shrank while it was read (" + std::to_string(used) + " of " +
                                  std::to_string(*expected) + " bytes)");
    return bytes;
}

OpenFile::OpenFile(const std::string& path) {
    do
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        throw LoadError(path, std::strerror(errno));
}

OpenFile::~OpenFile() {
    ::close(fd_);
}

std::optional<std::uint64_t> RegularFileBytes(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return std::uint64_t(st.st_size - std::min<off_t>(std::max<off_t>(at, 0), st.st_size));
}

ReadSome ReadFrom(int fd) {
    return [fd](void* buffer, std::size_t capacity) { return long(::read(fd, buffer, capacity)); };
}

} // namespace quadfind
