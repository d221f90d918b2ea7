// Buffers of megabytes that a pass writes whole: the picture, its working
// copy, the intensity grid. Where the system grants 2 MiB pages on request,
// their first touch costs one page fault per 2 MiB instead of 512. On a
// virtual machine a fault can cost 10 µs or more, so for a 1920 x 480
// picture the faults of its first touch otherwise cost more than its whole
// detection.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quadfind {

inline constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;

// Asks for huge pages over the whole huge pages inside [data, data + bytes).
// Advice only: where it is refused or unknown, nothing changes. Call it
// before the first touch; pages already there stay as they are.
void AdviseHugePages(void* data, std::size_t bytes);

// A buffer of n bytes that wants huge pages (n of one huge page or more;
// below that there is nothing to gain) is allocated as HugePageSpan(n), its
// size rounded up to whole huge pages, plus one huge page, so that it can
// start at the first boundary (AlignToHugePage) and be advised whole.
constexpr bool WantsHugePages(std::size_t bytes) { return bytes >= kHugePageBytes; }
constexpr std::size_t HugePageSpan(std::size_t bytes) {
    return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}
template <typename T>
T* AlignToHugePage(T* block) {
    const auto at = reinterpret_cast<std::uintptr_t>(block);
    return reinterpret_cast<T*>((at + kHugePageBytes - 1) & ~(kHugePageBytes - 1));
}

} // namespace quadfind
