#include "huge_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quadfind {

void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const auto from = reinterpret_cast<std::uintptr_t>(AlignUp(static_cast<std::uint8_t*>(data), kHugePageBytes));
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHugePageBytes - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE); // advice: a refusal changes nothing
#endif
}

} // namespace quadfind
