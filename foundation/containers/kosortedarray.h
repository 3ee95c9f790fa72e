#pragma once
#include <cstdint>
#include "foundation/containers/koarray.h"

// An array kept in the order of its elements' compare. The key of a search is always the object
// passed in: the order is key->compare(element).
class KO_EXPORT KoSortedArray : public KoArray {
public:
    // Bits of sortFlags; either one makes add append in arrival order.
    enum : uint32_t {
        sortOff = 0x1u,
        sortArrival = 0x2u,
    };

    uint32_t sortFlags; // 0 after construction

    KoSortedArray();
    ~KoSortedArray() override;

    // Inserts element in order, after the elements that compare equal to it (so equal elements
    // keep their order of addition); appends when sorting is off. 1 when memory is short.
    KoStatus add(KoObject* element);
    // Binary search. 1 with index at an equal element (any of them); 0 with index at the position
    // where key would be inserted.
    unsigned int findIndexOf(KoObject* key, uint32_t& index) const;
    // Linear search for the first element equal to key: 1 with its index, else 0 with index = count.
    unsigned int seqFindIndexOf(KoObject* key, uint32_t& index) const;
    // Sorts the elements again by compare through the record sort, equal elements keeping their
    // relative order (for arrays filled with sorting off, or whose elements changed their order).
    // 1 when memory is short or the sort's temporary file fails, the array unchanged.
    KoStatus realResort();
    // Deletes each element that compares equal to its predecessor.
    void deleteDuplicates();
    // Removes (without deleting) each element that compares equal to its predecessor.
    void removeDuplicates();

protected:
    // From index, steps forward while the next element compares equal to key; the last equal position.
    uint32_t findIndexOfLastKey(KoObject* key, uint32_t index) const;
};

// Unsigned sizes kept in ascending order.
class KO_EXPORT KoSortedArrayKOSIZE_T : public KoArrayKOSIZE_T {
public:
    KoSortedArrayKOSIZE_T();
    ~KoSortedArrayKOSIZE_T() override;

    // Inserts value after the values equal to it. 1 when memory is short.
    KoStatus add(KOSIZE_T value);
    // Binary search: 1 with index at an equal value, else 0 with index at the insertion point.
    unsigned int findIndexOf(KOSIZE_T value, uint32_t& index) const;
    // Linear search for the first equal value: 1 with its index, else 0 with index = count.
    unsigned int seqFindIndexOf(KOSIZE_T value, uint32_t& index) const;
    // Removes each value equal to its predecessor.
    void removeDuplicates();
    // Sorts the values again in ascending order through the record sort. 1 when memory is short or
    // the sort's temporary file fails, the array unchanged.
    KoStatus realResort();

protected:
    uint32_t findIndexOfLastKey(KOSIZE_T value, uint32_t index) const;
};
