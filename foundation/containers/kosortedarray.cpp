#include "foundation/containers/kosortedarray.h"
#include <cstring>
#include "foundation/errors/ramalloc.h"

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
    // A stable merge sort of the pointers, ordered by the elements' compare.
    if (count < 2) return koSuccess;
    auto* scratch = static_cast<KoObject**>(ramAlloc(static_cast<uint32_t>(count * sizeof(KoObject*))));
    if (!scratch) return koFailure;
    KoObject** from = items;
    KoObject** to = scratch;
    for (uint32_t width = 1; width < count; width *= 2) {
        for (uint32_t left = 0; left < count; left += 2 * width) {
            uint32_t mid = left + width < count ? left + width : count;
            uint32_t right = mid + width < count ? mid + width : count;
            uint32_t i = left, j = mid, k = left;
            // The left run wins ties, which keeps equal elements in their order.
            while (i < mid && j < right)
                to[k++] = from[j]->compare(from[i]) < 0 ? from[j++] : from[i++];
            while (i < mid)
                to[k++] = from[i++];
            while (j < right)
                to[k++] = from[j++];
        }
        KoObject** swap = from;
        from = to;
        to = swap;
    }
    if (from != items) std::memcpy(items, from, count * sizeof(KoObject*));
    ramFree(scratch);
    return koSuccess;
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
