#include "foundation/containers/kosortedarray.h"
#include <cstring>
#include "foundation/errors/ramalloc.h"
#include "foundation/storage/kosort.h"

namespace {

// Unsigned values in an order that comparing bytes keeps.
void putBigEndian(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

uint32_t getBigEndian(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

KoSortedArray::KoSortedArray() : sortFlags(0) {}

KoSortedArray::~KoSortedArray() = default;

unsigned int KoSortedArray::findIndexOf(KoObject* key, uint32_t& index) const {
    index = 0;
    if (count == 0 || key->compare(items[0]) < 0) return 0;
    int64_t lo = 0, hi = int64_t(count) - 1, mid = 0;
    int16_t order = 0;
    while (lo <= hi) {
        mid = (lo + hi) / 2;
        order = key->compare(items[mid]);
        if (order < 0)
            hi = mid - 1;
        else if (order > 0)
            lo = mid + 1;
        else {
            index = static_cast<uint32_t>(mid);
            return 1;
        }
    }
    index = static_cast<uint32_t>(mid) + (order > 0 ? 1 : 0);
    return 0;
}

uint32_t KoSortedArray::findIndexOfLastKey(KoObject* key, uint32_t index) const {
    while (index + 1 < count && key->compare(items[index + 1]) == 0)
        ++index;
    return index;
}

unsigned int KoSortedArray::seqFindIndexOf(KoObject* key, uint32_t& index) const {
    for (uint32_t i = 0; i < count; ++i) {
        if (key->compare(items[i]) == 0) {
            index = i;
            return 1;
        }
    }
    index = count;
    return 0;
}

KoStatus KoSortedArray::add(KoObject* element) {
    if (count == 0 || (sortFlags & (sortOff | sortArrival))) return addAtIndex(element, count);
    uint32_t index = 0;
    if (findIndexOf(element, index)) index = findIndexOfLastKey(element, index) + 1;
    return addAtIndex(element, index);
}

KoStatus KoSortedArray::realResort() {
    if (count < 2) return koSuccess;
    // Each record is the element's pointer and then its position, most significant byte first: the
    // position breaks ties, so equal elements keep their order.
    constexpr uint16_t pointerBytes = sizeof(KoObject*);
    KoObject** result = static_cast<KoObject**>(ramAlloc(count * pointerBytes));
    if (!result) return koFailure;
    KoSort sort(pointerBytes + 4);
    sort.addKey(koSortKeyObject, 0, pointerBytes);
    sort.addKey(0, pointerBytes, 4);
    KoStatus status = koSuccess;
    for (uint32_t i = 0; i < count && status == koSuccess; ++i) {
        unsigned char* slot = nullptr;
        status = sort.nextSlot(&slot);
        if (status == koSuccess) {
            memcpy(slot, &items[i], pointerBytes);
            putBigEndian(slot + pointerBytes, i);
        }
    }
    for (uint32_t i = 0; i < count && status == koSuccess; ++i) {
        unsigned char* record = nullptr;
        status = sort.getSorted(&record);
        if (status == koSuccess) memcpy(&result[i], record, pointerBytes);
    }
    if (status == koSuccess) memcpy(items, result, count * pointerBytes);
    ramFree(result);
    return status;
}

void KoSortedArray::deleteDuplicates() {
    uint32_t i = 1;
    while (i < count) {
        if (items[i]->compare(items[i - 1]) == 0)
            deleteAtIndex(i);
        else
            ++i;
    }
}

void KoSortedArray::removeDuplicates() {
    uint32_t i = 1;
    while (i < count) {
        if (items[i]->compare(items[i - 1]) == 0)
            removeAtIndex(i);
        else
            ++i;
    }
}

// ---- KoSortedArrayKOSIZE_T

KoSortedArrayKOSIZE_T::KoSortedArrayKOSIZE_T() = default;

KoSortedArrayKOSIZE_T::~KoSortedArrayKOSIZE_T() = default;

unsigned int KoSortedArrayKOSIZE_T::findIndexOf(KOSIZE_T value, uint32_t& index) const {
    index = 0;
    if (count == 0 || value < getAt(0)) return 0;
    int64_t lo = 0, hi = int64_t(count) - 1, mid = 0;
    bool above = false;
    while (lo <= hi) {
        mid = (lo + hi) / 2;
        KOSIZE_T probe = getAt(static_cast<uint32_t>(mid));
        if (value < probe) {
            hi = mid - 1;
            above = false;
        } else if (value > probe) {
            lo = mid + 1;
            above = true;
        } else {
            index = static_cast<uint32_t>(mid);
            return 1;
        }
    }
    index = static_cast<uint32_t>(mid) + (above ? 1 : 0);
    return 0;
}

uint32_t KoSortedArrayKOSIZE_T::findIndexOfLastKey(KOSIZE_T value, uint32_t index) const {
    while (index + 1 < count && getAt(index + 1) == value)
        ++index;
    return index;
}

unsigned int KoSortedArrayKOSIZE_T::seqFindIndexOf(KOSIZE_T value, uint32_t& index) const {
    index = indexOf(value);
    return index < count ? 1 : 0;
}

KoStatus KoSortedArrayKOSIZE_T::add(KOSIZE_T value) {
    if (count == 0) return addAtIndex(value, 0);
    uint32_t index = 0;
    if (findIndexOf(value, index)) index = findIndexOfLastKey(value, index) + 1;
    return addAtIndex(value, index);
}

void KoSortedArrayKOSIZE_T::removeDuplicates() {
    uint32_t i = 1;
    while (i < count) {
        if (getAt(i) == getAt(i - 1))
            removeAtIndex(i);
        else
            ++i;
    }
}

KoStatus KoSortedArrayKOSIZE_T::realResort() {
    if (count < 2) return koSuccess;
    auto* result = static_cast<KOSIZE_T*>(ramAlloc(count * sizeof(KOSIZE_T)));
    if (!result) return koFailure;
    KoSort sort(4);
    sort.addKey(0, 0, 4);
    KoStatus status = koSuccess;
    for (uint32_t i = 0; i < count && status == koSuccess; ++i) {
        unsigned char* slot = nullptr;
        status = sort.nextSlot(&slot);
        if (status == koSuccess) putBigEndian(slot, getAt(i));
    }
    for (uint32_t i = 0; i < count && status == koSuccess; ++i) {
        unsigned char* record = nullptr;
        status = sort.getSorted(&record);
        if (status == koSuccess) result[i] = getBigEndian(record);
    }
    for (uint32_t i = 0; i < count && status == koSuccess; ++i)
        setAt(i, result[i]);
    ramFree(result);
    return status;
}
