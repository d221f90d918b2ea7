// How large a picture the loader takes: the one size rule every format's
// check applies (allows) and the one sentence every refusal of a size uses
// (tooLarge). No Qt; the BMP reader and Qt's side both include it.
#pragma once

#include <cstdint>
#include <string>

namespace quadfind {

struct LoadLimits {
    // Keeps a desktop responsive: a 100-megapixel picture already needs about
    // 1 GB, 10 bytes a pixel, for the picture (3), the working copy (3) and
    // the intensity grid (4).
    static constexpr std::uint64_t kDefaultMaxPixels = 100'000'000;
    // The scan counts edge pixels in 32 bits.
    static constexpr std::uint64_t kHighestMaxPixels = 2'000'000'000;
    std::uint64_t maxPixels = kDefaultMaxPixels;

    // Whether a picture of width x height pixels is within the limit. Takes
    // any sizes: the product is never formed, so nothing can wrap.
    constexpr bool allows(std::uint64_t width, std::uint64_t height) const {
        return width == 0 || height <= maxPixels / width;
    }

    // Why a picture of width x height is refused, in the words every
    // format's refusal uses.
    std::string tooLarge(std::uint64_t width, std::uint64_t height) const {
        return std::to_string(width) + " x " + std::to_string(height) + " pixels is more than the limit of " +
               std::to_string(maxPixels) + " pixels";
    }

    // The most bytes any picture within the limit can take (16 a pixel, for
    // plain-text PPM, plus room for headers and metadata): a file or stream
    // longer than this is refused before it is read whole.
    constexpr std::uint64_t maxFileBytes() const { return maxPixels * 16 + (std::uint64_t(64) << 20); }

    // Why such a file or stream is refused; `howMany` says how long it is
    // ("the file is 12 bytes").
    std::string tooManyBytes(const std::string& howMany) const {
        return howMany + ", more than a picture within the limit of " + std::to_string(maxPixels) + " pixels can take";
    }
};

} // namespace quadfind
