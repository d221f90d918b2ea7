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

// A file on its way to `path`: its bytes (an overlay's rows straight from
// the picture) went into a temporary file in the same folder, and the disk
// has been asked to start writing it. commit() waits until it is on the disk (fsync), closes
// it and only then renames it over `path`; a symlink at `path` is replaced,
// never written through. An uncommitted file is removed when destroyed, so
// no partial file ever stays behind and whatever was at `path` is left as it
// was. Errors are PictureError naming the file and the operating system's
// cause. Committing a little later than writing lets the disk work while the
// caller goes on with the next picture.
class PendingFile {
public:
    PendingFile(const PictureSurface& picture, const std::string& path);
    // Any other file's bytes, as they are.
    PendingFile(std::span<const std::uint8_t> bytes, const std::string& path);
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    ~PendingFile();

    // Waits until the file is on the disk (fsync). Several files flushed at
    // once from different threads share the file system's journal commits,
    // which makes many small files much faster. Optional: commit() flushes a
    // file that was not.
    void flush();
    void commit();

private:
    void openTemporary();
    [[noreturn]] void fail(const char* what = nullptr) const;
    void discard() noexcept;
    void write(iovec* parts, int count);

    std::string target_;
    std::string name_; // the temporary file, empty once committed
    int fd_ = -1;
    bool flushed_ = false;
};

// PendingFile written and committed at once. Writes the file at `path` as careful tools do: the rows go straight from
// the picture into a temporary file in the same folder, which is flushed to
// the disk (fsync), closed and only then renamed over `path`. A symlink at
// `path` is replaced by the new file, never written through. On any failure
// the temporary file is removed, whatever was at `path` is left as it was, and
// PictureError names the file and the operating system's cause. Memory:
// none beyond the picture, whose rows are written as they lie.
void SaveBmp(const PictureSurface& picture, const std::string& path);

// Any file's bytes (a PNG the window encoded), written the same careful way.
void SaveFile(std::span<const std::uint8_t> bytes, const std::string& path);

} // namespace quadfind
