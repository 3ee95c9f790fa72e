#pragma once
// Inside the record sort: record comparison and the in-place quicksort over the sort's buffers.
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "foundation/storage/kosort.h"

namespace kosort {

// Where records live: record r is in buffers[r / perBuffer] at byte (r % perBuffer) * length.
struct RecordArea {
    unsigned char* const* buffers;
    uint32_t perBuffer;
    uint32_t length;
};

// Order of two records by keys[from .. to): the first key that differs decides, reversed for a
// descending key; -1, 0 or 1.
int compareRecords(const KoSortKey* keys, uint32_t from, uint32_t to, const unsigned char* a,
                   const unsigned char* b);

// Sorts records first .. last of area in place by keys[from .. to). 1 (error 2709) only when the
// range stack overflows, which its smaller-part-first order rules out.
KoStatus quickSort(const RecordArea& area, const KoSortKey* keys, uint32_t from, uint32_t to, uint32_t first,
                   uint32_t last);

} // namespace kosort
