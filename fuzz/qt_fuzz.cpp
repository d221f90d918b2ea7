// Any bytes through the loader's Qt side: the structure checks, the size
// limit from the header, Qt's allocation limit and the capture of codec
// messages. A crash, a sanitizer report or a trap below is a bug; a
// PictureError is the loader doing its job. So is nothing on stderr: every
// codec line must end up in the refusal, so stderr is diverted during each
// load and must stay empty.
#include "picture_file.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

using namespace quadfind;

namespace {

constexpr std::uint64_t kMaxPixels = 1 << 16;

struct Setup {
    Setup() {
        static int argc = 1;
        static char name[] = "quadfind_qt_fuzz";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // Qt's format plug-ins need it
        diverted = ::memfd_create("stderr", 0);
        saved = ::dup(STDERR_FILENO);
    }
    int diverted = -1, saved = -1;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        return 0; // the BMP target's ground
    std::size_t at = 0;
    const ReadSome source = [&](void* buffer, std::size_t n) {
        const std::size_t k = std::min(n, size - at);
        std::memcpy(buffer, data + at, k);
        at += k;
        return long(k);
    };
    PictureSurface picture;
    std::fflush(stderr);
    ::ftruncate(setup.diverted, 0);
    ::lseek(setup.diverted, 0, SEEK_SET);
    ::dup2(setup.diverted, STDERR_FILENO);
    try {
        picture = LoadPictureFromSource(source, std::nullopt, false, nullptr, "input", LoadLimits{kMaxPixels});
    } catch (const PictureError&) {}
    std::fflush(stderr);
    ::dup2(setup.saved, STDERR_FILENO);
    const off_t leaked = ::lseek(setup.diverted, 0, SEEK_END);
    if (leaked > 0) {
        char text[512] = {};
        const ssize_t n = ::pread(setup.diverted, text, sizeof text - 1, 0);
        std::fprintf(stderr, "a line reached stderr during the load: %.*s\n", int(n > 0 ? n : 0), text);
        __builtin_trap();
    }
    if (!picture.empty() && std::uint64_t(picture.width()) * std::uint64_t(picture.height()) > kMaxPixels)
        __builtin_trap();
    return 0;
}
