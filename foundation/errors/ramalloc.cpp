#include "foundation/errors/ramalloc.h"
#include "foundation/errors/raminject.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<uint64_t> attempts{0};
std::atomic<uint64_t> failFrom{0}; // absolute attempt number that fails first; 0 = off
std::atomic<bool> failEvery{false};
std::atomic<bool> failureHit{false};
} // namespace

// Counts the attempt and tells whether it is to fail.
bool ramInjectFailure() {
    uint64_t n = attempts.fetch_add(1, std::memory_order_relaxed) + 1;
    uint64_t from = failFrom.load(std::memory_order_acquire);
    if (from == 0 || n < from) return false;
    if (n == from || failEvery.load(std::memory_order_relaxed)) {
        failureHit.store(true, std::memory_order_relaxed);
        return true;
    }
    return false;
}

void ramFailAt(uint32_t n, bool every) {
    failFrom.store(0, std::memory_order_release);
    failureHit.store(false, std::memory_order_relaxed);
    failEvery.store(every, std::memory_order_relaxed);
    if (n != 0) failFrom.store(attempts.load(std::memory_order_relaxed) + n, std::memory_order_release);
}

bool ramFailureHit() {
    return failureHit.load(std::memory_order_relaxed);
}

uint64_t ramAllocationCount() {
    return attempts.load(std::memory_order_relaxed);
}

void* ramAlloc(uint32_t size) {
    if (ramInjectFailure()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* ramAllocZ(uint32_t size) {
    if (ramInjectFailure()) return nullptr;
    return std::calloc(1, size == 0 ? 1 : size);
}

unsigned char* ramAllocStr(const unsigned char* s, uint32_t n) {
    if (n == UINT32_MAX) return nullptr; // no room for the terminator in a 32-bit size
    auto* p = static_cast<unsigned char*>(ramAlloc(n + 1));
    if (!p) return nullptr;
    if (n) std::memcpy(p, s, n);
    p[n] = 0;
    return p;
}

unsigned char* ramAllocStr(const unsigned char* s) {
    size_t n = std::strlen(reinterpret_cast<const char*>(s));
    if (n >= UINT32_MAX) return nullptr;
    return ramAllocStr(s, static_cast<uint32_t>(n));
}
