// Writes a PictureSurface as an uncompressed 24-bit bottom-up BMP with a
// 40-byte INFO header and rows padded to 4 bytes, or any file's bytes, into
// a temporary file renamed into place. No Qt.
#pragma once

#include "picture_surface.h"

#include <sys/uio.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadfind {

// The whole file in memory. Throws std::length_error when the file would
// exceed the format's 4 GiB.
std::vector<std::uint8_t> EncodeBmp(const PictureSurface& picture);

// How far a committed file is on its way to the disk when commit returns.
// OnDisk: its bytes and its name are on the disk (fsync of the file, then of
// its folder), as careful editors do; for a batch of many files this waits
// for the disk every time. InPlace: its name appears when its bytes are
// complete, as cp does; no one ever sees a partial file, but a crash of the
// whole system before the kernel writes it back may lose the newest files.
enum class Durability { OnDisk, InPlace };

// A file on its way to `path`: its bytes (an overlay's rows straight from
// the picture) went into a temporary file in the same folder. commit()
// closes it and only then renames it over `path`; a symlink at `path` is
// replaced, never written through, and a device or a FIFO there is refused
// before anything is written. An uncommitted file is removed when
// destroyed, so no partial file ever stays behind and whatever was at `path`
// is left as it was. Errors are PictureError naming the file and the
// operating system's cause.
class PendingFile {
public:
    PendingFile(const PictureSurface& picture, const std::string& path);
    // Any other file's bytes, as they are.
    PendingFile(std::span<const std::uint8_t> bytes, const std::string& path);
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

// PendingFile written and committed OnDisk at once: for the window's Save,
// where one file's wait for the disk costs nothing a person notices.
// Memory: none beyond the picture, whose rows are written as they lie.
void SaveBmp(const PictureSurface& picture, const std::string& path);

// Any file's bytes (a PNG the window encoded), written the same careful way.
void SaveFile(std::span<const std::uint8_t> bytes, const std::string& path);

} // namespace quadfind
