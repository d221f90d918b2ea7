// Buffers of megabytes that a pass writes whole: the picture, its working
// copy, the intensity grid. Where the system grants 2 MiB pages on request,
// their first touch costs one page fault per 2 MiB instead of 512. On a
// virtual machine a fault can cost 10 µs or more, so for a 1920 x 480
// picture the faults of its first touch otherwise cost more than its whole
// detection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>

namespace quadfind {

inline constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;

// Asks for huge pages over the whole huge pages inside [data, data + bytes).
// Advice only: where it is refused or unknown, nothing changes. Call it
// before the first touch; pages already there stay as they are.
void AdviseHugePages(void* data, std::size_t bytes);

// Rounded up to whole huge pages.
constexpr std::size_t HugePageSpan(std::size_t bytes) {
    return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}

template <typename T>
T* AlignUp(T* at, std::size_t alignment) { // alignment: a power of two
    const auto address = reinterpret_cast<std::uintptr_t>(at);
    return reinterpret_cast<T*>((address + alignment - 1) & ~(alignment - 1));
}

// Allocates `block` for n elements, left unset, and returns where they
// start. A buffer of a huge page or more (smaller ones have nothing to gain)
// gets its size rounded up to whole huge pages, plus one, so that it can
// start on a huge-page boundary and be advised whole before its first touch;
// a smaller one starts on an `alignment` boundary.
template <typename T>
T* AllocateAligned(std::unique_ptr<T[]>& block, std::size_t n, std::size_t alignment = alignof(T)) {
    if (n > (std::numeric_limits<std::size_t>::max() - 2 * kHugePageBytes) / sizeof(T))
        throw std::length_error("buffer too large");
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePageBytes) {
        block.reset(new T[n + (alignment - 1) / sizeof(T)]);
        return AlignUp(block.get(), alignment);
    }
    block.reset(new T[(HugePageSpan(bytes) + kHugePageBytes) / sizeof(T)]);
    T* start = AlignUp(block.get(), kHugePageBytes);
    AdviseHugePages(start, HugePageSpan(bytes));
    return start;
}

} // namespace quadfind
