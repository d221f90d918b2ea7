// Any bytes through DecodeBmp; whatever it accepts through the whole
// edge-detection command, then written and read back. A crash, a sanitizer
// report or a trap below is a bug; a BmpError is the reader doing its job.
#include "bmp_reader.h"
#include "bmp_writer.h"
#include "edge_detection.h"

#include <cstddef>
#include <cstdint>

using namespace quadfind;

namespace {

// Small enough that a header claiming a huge picture costs little per run,
// large enough for pictures past the static grid (1921 x 34 and the like).
constexpr std::uint64_t kMaxPixels = 1 << 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PictureSurface working; // reused between runs, as the window does
    static EdgePassWorkspace workspace;
    PictureSurface picture;
    try {
        picture = DecodeBmp({data, size}, LoadLimits{kMaxPixels});
    } catch (const BmpError&) {
        return 0;
    }
    // The reader refuses empty pictures and those over the limit.
    if (picture.empty() || std::uint64_t(picture.width()) * std::uint64_t(picture.height()) > kMaxPixels)
        __builtin_trap();
    const EdgeDetectionRun run = RunEdgeDetection(picture, working, workspace, ".");
    if (run.scan.EdgeCount < 0 || working.width() != picture.width() || working.height() != picture.height())
        __builtin_trap();
    if (DecodeBmp(EncodeBmp(picture), LoadLimits{kMaxPixels}) != picture)
        __builtin_trap();
    return 0;
}
