// Replaces the global operator new and delete of a test program, so that a
// test can see what the code under test allocates:
//
//     AllocationWatch watch;
//     DoSomething();
//     EXPECT_LT(watch.largest(), 64u * 1024);
//
// A watch sees every thread's requests from its construction on; one watch
// at a time. Include this header in exactly one source file of a test
// program: the replacements are ordinary definitions (the language forbids
// them inline), and a second copy would not link.
//
// Why it is shaped so: every form is replaced (new, new[], and each delete
// with and without a size), so that no pointer ever crosses from our
// allocator to the library's; a sanitizer's own operator new[] would not
// call our operator new, and new[] would go unmeasured. All of them reach
// malloc and free only through allocate() and release(), which are never
// inlined. GCC (-Wmismatched-new-delete, in -Wall) warns when it sees free()
// called on a pointer it knows came from operator new; once it inlines a
// replaced operator delete into code that also called operator new, it sees
// exactly that. Behind a call it cannot see into, free() only ever meets a
// parameter of release(), and the delete expressions meet operator delete,
// as they should.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace quadfind::testing {

namespace allocation_detail {
inline std::atomic<std::size_t> largest{0};
inline std::atomic<std::size_t> countFrom{SIZE_MAX};
inline std::atomic<int> counted{0};

[[gnu::noinline]] inline void* allocate(std::size_t n) {
    for (std::size_t seen = largest.load(); n > seen && !largest.compare_exchange_weak(seen, n);) {}
    if (n >= countFrom.load())
        ++counted;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

[[gnu::noinline]] inline void release(void* p) noexcept {
    std::free(p);
}
} // namespace allocation_detail

class AllocationWatch {
public:
    // Requests of at least countFrom bytes are counted; every one is measured.
    explicit AllocationWatch(std::size_t countFrom = SIZE_MAX) {
        allocation_detail::largest = 0;
        allocation_detail::counted = 0;
        allocation_detail::countFrom = countFrom;
    }
    ~AllocationWatch() { allocation_detail::countFrom = SIZE_MAX; }
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // The largest single request since the watch began.
    std::size_t largest() const { return allocation_detail::largest; }
    // How many requests reached countFrom since the watch began.
    int counted() const { return allocation_detail::counted; }
};

} // namespace quadfind::testing

void* operator new(std::size_t n) {
    return quadfind::testing::allocation_detail::allocate(n);
}
void* operator new[](std::size_t n) {
    return quadfind::testing::allocation_detail::allocate(n);
}
void operator delete(void* p) noexcept {
    quadfind::testing::allocation_detail::release(p);
}
void operator delete[](void* p) noexcept {
    quadfind::testing::allocation_detail::release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    quadfind::testing::allocation_detail::release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    quadfind::testing::allocation_detail::release(p);
}
