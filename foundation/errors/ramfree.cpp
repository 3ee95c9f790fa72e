#include <cstdlib>

#include "foundation/errors/ramalloc.h"

void ramFree(const void* block) {
    std::free(const_cast<void*>(block));
}
