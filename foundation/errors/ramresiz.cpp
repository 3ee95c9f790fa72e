#include <cstdlib>

#include "foundation/errors/ramalloc.h"
#include "foundation/errors/raminject.h"

KoStatus ramResize(void** block, uint32_t size) {
    if (ramInjectFailure()) return koFailure;
    // realloc leaves the old block untouched when it fails.
    void* p = std::realloc(*block, size == 0 ? 1 : size);
    if (!p) return koFailure;
    *block = p;
    return koSuccess;
}
