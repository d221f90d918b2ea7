#include "pending_file.h"

#include "io_vectors.h"
#include "picture_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace quadfind {

namespace {

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

AtPath WhatIsAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        return AtPath::Replaceable;
    return S_ISDIR(st.st_mode) ? AtPath::Folder : AtPath::SpecialFile;
}

PendingFile::PendingFile(const std::string& path, const std::function<void(const WriteParts&)>& contents)
    : target_(path) {
    openTemporary();
    try {
        contents([this](iovec* parts, int count) { write(parts, count); });
    } catch (...) {
        discard();
        throw;
    }
}

PendingFile::PendingFile(std::span<const std::uint8_t> bytes, const std::string& path)
    : PendingFile(path, [bytes](const WriteParts& write) {
          iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
          write(&part, bytes.empty() ? 0 : 1);
      }) {}

void PendingFile::openTemporary() {
    const std::string& path = target_;
    switch (WhatIsAt(path)) {
    case AtPath::Replaceable: break;
    case AtPath::Folder: // what the rename would say
        errno = EISDIR;
        fail();
    case AtPath::SpecialFile: throw WriteError(path, std::string("it is ") + kNotReplaceable);
    }
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

PendingFile::~PendingFile() {
    discard();
}

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
    throw WriteError(target_, (what ? std::string(what) + ": " : std::string()) + std::strerror(error));
}

void SaveFile(std::span<const std::uint8_t> bytes, const std::string& path) {
    PendingFile(bytes, path).commit(Durability::OnDisk);
}

} // namespace quadfind
