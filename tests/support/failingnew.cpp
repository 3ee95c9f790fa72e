// A global allocator for the test programs that can make operator new fail through the same
// injection counter as the library's own allocations, so the fault loops reach the allocations of
// standard containers and plain new in the platform layer too. Off unless a test switches it on.
#include <atomic>
#include <cstdlib>
#include <new>
#include "foundation/errors/raminject.h"
#include "tests/support/support.h"

namespace {
std::atomic<bool> countNew{false};

void* allocate(std::size_t n) {
    if (countNew.load(std::memory_order_relaxed) && ramInjectFailure()) return nullptr;
    return std::malloc(n ? n : 1);
}
} // namespace

void kotest::failOperatorNewToo(bool on) {
    countNew.store(on, std::memory_order_relaxed);
}

void* operator new(std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
