#include "bmp_writer.h"

#include "bmp_format.h"

#include "io_vectors.h"
#include "readable_name.h"

#include "picture_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>
#include <stdexcept>

namespace quadfind {

namespace {

constexpr std::size_t kHeaders = kBmpFileHeaderBytes + 40;

void put16(std::uint8_t* out, std::uint32_t v) {
    out[0] = std::uint8_t(v);
    out[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = std::uint8_t(v >> (8 * i));
}

std::uint64_t strideOf(const PictureSurface& picture) {
    return BmpRowStride(std::uint64_t(picture.width()), 24);
}

std::array<std::uint8_t, kHeaders> headersOf(const PictureSurface& picture) {
    const std::uint64_t dataBytes = strideOf(picture) * std::uint64_t(picture.height());
    if (dataBytes > std::numeric_limits<std::uint32_t>::max() - kHeaders)
        throw std::length_error("picture too large for a BMP file");
    std::array<std::uint8_t, kHeaders> h{};
    std::copy(std::begin(kBmpSignature), std::end(kBmpSignature), h.begin());
    put32(&h[2], std::uint32_t(kHeaders + dataBytes));
    put32(&h[10], kHeaders);
    put32(&h[14], 40);
    put32(&h[18], std::uint32_t(picture.width()));
    put32(&h[22], std::uint32_t(picture.height())); // positive: bottom-up
    put16(&h[26], 1);
    put16(&h[28], 24);
    put32(&h[34], std::uint32_t(dataBytes));
    put32(&h[38], 3780); // 96 dpi
    put32(&h[42], 3780);
    return h;
}

mode_t newFileMode() {
    // umask can only be read by setting it, for a moment, once. A file
    // another thread creates meanwhile is a temporary one, made with 0600
    // whatever the mask, so the moment does no harm.
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return 0666 & ~mask;
    }();
    return mode;
}

} // namespace

std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture) {
    const auto headers = headersOf(picture);
    const std::size_t stride = std::size_t(strideOf(picture));
    std::vector<std::uint8_t> out(kHeaders + stride * std::size_t(picture.height()), 0);
    std::memcpy(out.data(), headers.data(), kHeaders);
    for (std::int32_t y = 0; y < picture.height(); ++y) {
        const std::size_t at = kHeaders + std::size_t(picture.height() - 1 - y) * stride;
        if (picture.rowBytes() != 0)
            std::memcpy(out.data() + at, picture.row(y), picture.rowBytes());
    }
    return out;
}

void PendingFile::openTemporary() {
    const std::string& path = target_;
    // The rename would put a regular file where a device or a FIFO was
    // (/dev/null, as root), not write into it. A symlink is replaced, which
    // leaves whatever it points to as it was.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode))
        throw PictureError("Cannot write " + ReadableName(path) + ": it is not a regular file, and would be replaced");
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Hidden, and named after the target, so that one left by a killed run
    // says whose it was.
    std::string name = folder + "." + (base.size() > 200 ? std::string("quadfind") : base) + ".XXXXXX";
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        fail("cannot create a temporary file in its folder");
    name_ = std::move(name);
    // mkstemp makes the file private; an overlay gets the permissions any
    // new file of the user's would.
    if (::fchmod(fd_, newFileMode()) != 0) {
        const int error = errno;
        discard();
        errno = error;
        fail();
    }
}

PendingFile::PendingFile(std::span<const std::uint8_t> bytes, const std::string& path) : target_(path) {
    openTemporary();
    try {
        iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
        write(&part, bytes.empty() ? 0 : 1);
    } catch (...) {
        discard();
        throw;
    }
}

PendingFile::PendingFile(const PictureSurface& picture, const std::string& path) : target_(path) {
    const auto headers = headersOf(picture);
    const std::size_t rowBytes = picture.rowBytes();
    const std::size_t stride = std::size_t(strideOf(picture));
    openTemporary();
    try {
        // Each row goes to the file as it lies in the picture, bottom row
        // first, followed by its padding: a few hundred rows per system
        // call, no copy.
        static constexpr std::uint8_t kPadding[3] = {};
        const std::size_t padding = stride - rowBytes;
        constexpr int kPartsPerWrite = 512; // within every system's IOV_MAX
        std::array<iovec, kPartsPerWrite> parts;
        int count = 0;
        parts[std::size_t(count++)] = {const_cast<std::uint8_t*>(headers.data()), kHeaders};
        for (std::int32_t y = picture.height() - 1; y >= 0; --y) {
            if (count + 2 > kPartsPerWrite) {
                write(parts.data(), count);
                count = 0;
            }
            if (rowBytes != 0)
                parts[std::size_t(count++)] = {const_cast<std::uint8_t*>(picture.row(y)), rowBytes};
            if (padding != 0)
                parts[std::size_t(count++)] = {const_cast<std::uint8_t*>(kPadding), padding};
        }
        write(parts.data(), count);
    } catch (...) {
        discard();
        throw;
    }
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)), name_(std::move(other.name_)), fd_(std::exchange(other.fd_, -1)),
      flushed_(other.flushed_) {
    other.name_.clear();
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        name_ = std::move(other.name_);
        other.name_.clear();
        fd_ = std::exchange(other.fd_, -1);
        flushed_ = other.flushed_;
    }
    return *this;
}

PendingFile::~PendingFile() { discard(); }

void PendingFile::discard() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!name_.empty())
        ::unlink(name_.c_str());
    name_.clear();
}

// Writes all of `parts`, which it may change.
void PendingFile::write(iovec* parts, int count) {
    while (count > 0) {
        const ssize_t n = ::writev(fd_, parts, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail();
        if (n == 0) {
            errno = ENOSPC;
            fail();
        }
        StepPast(parts, count, std::size_t(n));
    }
}

void PendingFile::flush() {
    if (fd_ < 0)
        throw std::logic_error("PendingFile flushed after its commit");
    if (::fsync(fd_) != 0)
        fail();
    flushed_ = true;
}

void PendingFile::commit(Durability durability) {
    try {
        if (fd_ < 0 || name_.empty())
            throw std::logic_error("PendingFile committed twice");
        if (durability == Durability::OnDisk && !flushed_)
            flush();
        if (::close(std::exchange(fd_, -1)) != 0)
            fail();
        if (::rename(name_.c_str(), target_.c_str()) != 0)
            fail();
        name_.clear();
    } catch (...) {
        discard();
        throw;
    }
    if (durability == Durability::OnDisk)
        syncFolder();
}

// The new name is an entry of the folder, on the disk only once the folder is.
void PendingFile::syncFolder() const {
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot open its folder");
    // Some file systems cannot sync a folder (EINVAL): nothing more to wait for there.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    errno = error;
    if (!synced)
        fail("cannot write its folder to the disk");
}

void PendingFile::fail(const char* what) const {
    const int error = errno;
    std::string message = "Cannot write " + ReadableName(target_) + ": ";
    if (what)
        message += std::string(what) + ": ";
    throw PictureError(message + std::strerror(error));
}

void SaveBmp(const PictureSurface& picture, const std::string& path) {
    PendingFile(picture, path).commit(Durability::OnDisk);
}

void SaveFile(std::span<const std::uint8_t> bytes, const std::string& path) {
    PendingFile(bytes, path).commit(Durability::OnDisk);
}

} // namespace quadfind
