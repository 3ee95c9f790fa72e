#pragma once
#include <cstddef>
#include <cstdint>
#include "foundation/errors/kostatus.h"

// Root of the library's objects. Objects live in ramAlloc memory: a new-expression yields null when
// the heap is exhausted (the constructor then does not run), and delete releases through ramFree.
class KO_EXPORT KoObject {
public:
    KoObject() = default;
    virtual ~KoObject();
    // Order against another object; all plain objects are equal.
    virtual int16_t compare(const KoObject* other) const;

    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};
