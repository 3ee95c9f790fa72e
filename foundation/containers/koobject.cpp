#include "foundation/containers/koobject.h"
#include "foundation/errors/ramalloc.h"

KoObject::~KoObject() = default;

int16_t KoObject::compare(const KoObject*) const {
    return 0;
}

void* KoObject::operator new(std::size_t size) noexcept {
    return ramAlloc(static_cast<uint32_t>(size));
}

void KoObject::operator delete(void* block) noexcept {
    ramFree(block);
}
