// The one way quadfind writes a file (an overlay, a saved BMP or PNG): whole,
// under a temporary name in its folder, then renamed into place. And the one
// rule for what may stand at the name, which the CLI's overlay plan applies
// before a call reads anything. No Qt.
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace quadfind {

class PictureSurface;

// What stands at a name that a file is to be renamed onto, by lstat (a
// symlink is not followed).
enum class AtPath {
    // Nothing, a regular file, or a symlink: the rename replaces the link
    // itself, whatever it points to, and that stays as it was.
    Replaceable,
    // A folder: the rename would fail.
    Folder,
    // A device, a FIFO or a socket: the rename would replace it (/dev/null,
    // as root) instead of writing into it.
    SpecialFile,
};
AtPath WhatIsAt(const std::string& path);

// Why what is not Replaceable is refused, in the words of every refusal:
// "it is not a regular file, and would be replaced".
inline constexpr const char* kNotReplaceable = "not a regular file, and would be replaced";

// How far a committed file is on its way to the disk when commit returns.
// OnDisk: its bytes and its name are on the disk (fsync of the file, then of
// its folder), as careful editors do; for a batch of many files this waits
// for the disk every time. InPlace: its name appears when its bytes are
// complete, as cp does; no one ever sees a partial file, but a crash of the
// whole system before the kernel writes it back may lose the newest files.
enum class Durability { OnDisk, InPlace };

// A file on its way to `path`: its bytes went into a temporary file in the
// same folder. commit() closes it and only then renames it over `path`.
// What stands at `path` is checked first (WhatIsAt): a symlink is replaced,
// never written through; a device, a FIFO, a socket or a folder is refused
// before anything is written. An uncommitted file is removed when
// destroyed, so no partial file ever stays behind and whatever was at `path`
// is left as it was.
//
// Every error is a PictureError naming the file and the cause, the
// operating system's where it has one; only running out of memory
// (std::bad_alloc) and using a PendingFile after its commit
// (std::logic_error) throw anything else.
class PendingFile {
public:
    // Writes all of `count` parts, which it may change; `contents` calls it
    // as often as it likes, each call one gather write (writev).
    using WriteParts = std::function<void(iovec* parts, int count)>;
    PendingFile(const std::string& path, const std::function<void(const WriteParts&)>& contents);
    // Any file's bytes, as they are.
    PendingFile(std::span<const std::uint8_t> bytes, const std::string& path);
    // A 24-bit BMP of `picture`, its rows written straight from it: defined
    // with the BMP encoder, in bmp_writer.cpp.
    PendingFile(const PictureSurface& picture, const std::string& path);
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    ~PendingFile();

    // Waits until the file's bytes are on the disk (fsync). Several files
    // flushed at once from different threads share the file system's
    // journal commits, which makes many small files much faster. Optional:
    // an OnDisk commit flushes a file that was not.
    void flush();
    void commit(Durability durability);

private:
    void openTemporary();
    [[noreturn]] void fail(const char* what = nullptr) const;
    void discard() noexcept;
    void write(iovec* parts, int count);
    void syncFolder() const;

    std::string target_;
    std::string name_; // the temporary file, empty once committed
    int fd_ = -1;
    bool flushed_ = false;
};

// Any file's bytes (a PNG the window encoded) written as a PendingFile and
// committed OnDisk at once: for the window's Save, where one file's wait for
// the disk costs nothing a person notices.
void SaveFile(std::span<const std::uint8_t> bytes, const std::string& path);

} // namespace quadfind
