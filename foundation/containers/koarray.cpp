#include "foundation/containers/koarray.h"
#include <cstring>
#include "foundation/errors/ramalloc.h"

namespace {

// The most slots one block can hold: ramAlloc takes a 32-bit byte count.
constexpr uint32_t maxSlots = 0xFFFFFFFFu / sizeof(KoObject*);

KoObject** allocSlots(uint32_t n) {
    if (n > maxSlots) return nullptr;
    return static_cast<KoObject**>(ramAllocZ(static_cast<uint32_t>(n * sizeof(KoObject*))));
}

} // namespace

KoArray::KoArray() : items(nullptr), capacity(0), count(0), growBy(defaultGrowBy), flags(0) {}

KoArray::~KoArray() {
    // Virtual calls do not reach subclasses here: arrays of non-objects clear ownsElements first.
    if (flags & ownsElements) KoArray::deleteContents();
    if ((flags & ownsBuffer) && items) ramFree(items);
    items = nullptr;
}

KoStatus KoArray::setInitialSize(uint16_t n) {
    uint32_t size = n < count ? count : n;
    KoObject** fresh = allocSlots(size);
    if (!fresh) return koFailure;
    // On an array that already holds elements they move along, so nothing is lost or overrun.
    if (items && count) std::memcpy(fresh, items, count * sizeof(KoObject*));
    if (items && (flags & ownsBuffer)) ramFree(items);
    items = fresh;
    capacity = size;
    flags |= ownsBuffer;
    return koSuccess;
}

KoStatus KoArray::increaseSize(uint32_t by, unsigned int keep, unsigned int) {
    uint64_t wanted;
    if (by)
        wanted = uint64_t(capacity) + by;
    else
        wanted = capacity ? uint64_t(capacity) * 2 : defaultGrowBy; // doubling needs a start
    if (wanted > maxSlots) return koFailure;
    uint32_t newCapacity = static_cast<uint32_t>(wanted);
    // The new buffer is made before the old one goes, so a failure leaves a valid array behind.
    KoObject** fresh = allocSlots(newCapacity);
    if (!fresh) return koFailure;
    if (keep) {
        if (items && count) std::memcpy(fresh, items, count * sizeof(KoObject*));
    } else {
        count = 0;
    }
    if (items && (flags & ownsBuffer)) ramFree(items);
    items = fresh;
    capacity = newCapacity;
    flags |= ownsBuffer;
    return koSuccess;
}

KoStatus KoArray::addAtIndex(const KoObject* element, uint32_t index) {
    if (index > count) return koFailure;
    if (count >= capacity && increaseSize(growBy, 1)) return koFailure;
    if (index < count) std::memmove(items + index + 1, items + index, (count - index) * sizeof(KoObject*));
    items[index] = const_cast<KoObject*>(element);
    ++count;
    return koSuccess;
}

KoStatus KoArray::append(const KoObject* element) {
    return addAtIndex(element, count);
}

void KoArray::closeGap(uint32_t index) {
    if (index + 1 < count)
        std::memmove(items + index, items + index + 1, (count - index - 1) * sizeof(KoObject*));
    --count;
    items[count] = nullptr;
}

void KoArray::removeAtIndex(uint32_t index) {
    if (index >= count) return;
    closeGap(index);
}

void KoArray::deleteAtIndex(uint32_t index) {
    if (index >= count) return;
    KoObject* element = items[index];
    closeGap(index);
    delete element;
}

void KoArray::deleteContents() {
    uint32_t end = (flags & wholeCapacity) ? capacity : count;
    for (uint32_t i = 0; i < end && items; ++i) {
        KoObject* element = items[i];
        items[i] = nullptr;
        delete element;
    }
    count = 0;
}

KoStatus KoArray::shrink(uint32_t n) {
    if (n == 0) {
        if (items && (flags & ownsBuffer)) {
            ramFree(items);
            items = nullptr;
            flags &= ~ownsBuffer;
        } else {
            items = nullptr;
        }
    } else if (flags & ownsBuffer) {
        if (n > maxSlots) return koFailure;
        void* block = items;
        if (ramResize(&block, static_cast<uint32_t>(n * sizeof(KoObject*)))) return koFailure;
        items = static_cast<KoObject**>(block);
        // Slots beyond the old capacity, if the array was made larger, start empty.
        if (n > capacity) std::memset(items + capacity, 0, (n - capacity) * sizeof(KoObject*));
    } else if (n > capacity) {
        // A borrowed buffer cannot be made larger.
        return koFailure;
    }
    // Slots past the new count must not keep stale pointers (wholeCapacity visits them).
    if (items && n > count) std::memset(items + count, 0, (n - count) * sizeof(KoObject*));
    capacity = count = n;
    return koSuccess;
}

unsigned int KoArray::doesExist(const KoObject* element) const {
    for (uint32_t i = 0; i < count; ++i)
        if (items[i] == element) return 1;
    return 0;
}

KoObject* KoArray::getAt(uint32_t index) const {
    return index < count ? items[index] : nullptr;
}

uint32_t KoArray::getCount() const {
    return count;
}

uint32_t KoArray::getCapacity() const {
    return capacity;
}

// ---- KoArrayPVoid

KoArrayPVoid::KoArrayPVoid() = default;

KoArrayPVoid::~KoArrayPVoid() {
    if (flags & ownsElements) KoArrayPVoid::deleteContents();
    flags &= ~ownsElements;
}

KoStatus KoArrayPVoid::addAtIndex(const void* block, uint32_t index) {
    return KoArray::addAtIndex(static_cast<const KoObject*>(block), index);
}

KoStatus KoArrayPVoid::append(const void* block) {
    return addAtIndex(block, count);
}

void* KoArrayPVoid::getAt(uint32_t index) const {
    return KoArray::getAt(index);
}

unsigned int KoArrayPVoid::doesExist(const void* block) const {
    return KoArray::doesExist(static_cast<const KoObject*>(block));
}

void KoArrayPVoid::deleteAtIndex(uint32_t index) {
    if (index >= count) return;
    void* block = items[index];
    closeGap(index);
    ramFree(block);
}

void KoArrayPVoid::deleteContents() {
    uint32_t end = (flags & wholeCapacity) ? capacity : count;
    for (uint32_t i = 0; i < end && items; ++i) {
        void* block = items[i];
        items[i] = nullptr;
        ramFree(block);
    }
    count = 0;
}

// ---- typed value arrays

template <class T> KoValueArray<T>::KoValueArray() = default;

template <class T> KoValueArray<T>::~KoValueArray() {
    // Values are not objects: the base destructor must not try to delete them.
    flags &= ~ownsElements;
    count = 0;
}

template <class T> KoObject* KoValueArray<T>::toSlot(T value) {
    return reinterpret_cast<KoObject*>(static_cast<uintptr_t>(value));
}

template <class T> T KoValueArray<T>::fromSlot(const KoObject* slot) {
    return static_cast<T>(reinterpret_cast<uintptr_t>(slot));
}

template <class T> KoStatus KoValueArray<T>::addAtIndex(T value, uint32_t index) {
    return KoArray::addAtIndex(toSlot(value), index);
}

template <class T> KoStatus KoValueArray<T>::add(T value) {
    return KoArray::addAtIndex(toSlot(value), count);
}

template <class T> T KoValueArray<T>::getAt(uint32_t index) const {
    return index < count ? fromSlot(items[index]) : T(0);
}

template <class T> KoStatus KoValueArray<T>::setAt(uint32_t index, T value) {
    if (index >= count) return koFailure;
    items[index] = toSlot(value);
    return koSuccess;
}

template <class T> uint32_t KoValueArray<T>::indexOf(T value) const {
    for (uint32_t i = 0; i < count; ++i)
        if (fromSlot(items[i]) == value) return i;
    return count;
}

template <class T> unsigned int KoValueArray<T>::doesExist(T value) const {
    return indexOf(value) < count ? 1 : 0;
}

template <class T> void KoValueArray<T>::deleteAtIndex(uint32_t index) {
    removeAtIndex(index);
}

template <class T> void KoValueArray<T>::deleteContents() {
    count = 0;
}

template class KoValueArray<uint32_t>;
template class KoValueArray<int32_t>;
template class KoValueArray<uint64_t>;
template class KoValueArray<int64_t>;

KoArrayKOSIZE_T::KoArrayKOSIZE_T() = default;
KoArrayKOSIZE_T::~KoArrayKOSIZE_T() = default;
KoArrayKOSSIZE_T::KoArrayKOSSIZE_T() = default;
KoArrayKOSSIZE_T::~KoArrayKOSSIZE_T() = default;
KoArrayS32::KoArrayS32() = default;
KoArrayS32::~KoArrayS32() = default;
KoArrayU32::KoArrayU32() = default;
KoArrayU32::~KoArrayU32() = default;
KoArrayS64::KoArrayS64() = default;
KoArrayS64::~KoArrayS64() = default;
KoArrayU64::KoArrayU64() = default;
KoArrayU64::~KoArrayU64() = default;
