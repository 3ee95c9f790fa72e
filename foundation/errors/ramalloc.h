#pragma once
#include <cstdint>
#include "foundation/errors/kostatus.h"

// Heap layer used by every object of the library. None of these functions records an error.

// A block of size bytes (a request of 0 allocates 1); null on exhaustion.
KO_EXPORT void* ramAlloc(uint32_t size);
// The same, zero-filled.
KO_EXPORT void* ramAllocZ(uint32_t size);
// Reallocates *block (null allowed); on failure returns 1 and leaves *block and its contents untouched.
KO_EXPORT KoStatus ramResize(void** block, uint32_t size);
// Releases a block; null is ignored.
KO_EXPORT void ramFree(const void* block);
// A new zero-terminated copy of s, or of its first n bytes; null on exhaustion.
KO_EXPORT unsigned char* ramAllocStr(const unsigned char* s);
KO_EXPORT unsigned char* ramAllocStr(const unsigned char* s, uint32_t n);

// Fault injection, for tests of the out-of-memory paths. Off by default; safe from any thread.
// ramFailAt(n): the n-th allocation from now fails (1 = the next one); with every set, that one and
// all after it fail. ramFailAt(0) switches injection off.
KO_EXPORT void ramFailAt(uint32_t n, bool every = false);
// True when an injected failure has happened since the last ramFailAt.
KO_EXPORT bool ramFailureHit();
// Number of allocation attempts (ramAlloc, ramAllocZ, ramResize, ramAllocStr) since the process began.
KO_EXPORT uint64_t ramAllocationCount();
