#include "foundation/storage/sortengine.h"

#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/text/fastut.h"
#include "foundation/text/strcomp.h"

namespace kosort {
namespace {

// Ranges waiting to be sorted. The larger part of every partition waits while the smaller is sorted,
// so at most log2(n) ranges ever wait.
constexpr int stackRanges = 200;

inline int signOf(int r) {
    return (r > 0) - (r < 0);
}

// Unsigned byte order, as BUTMMCMP, inlined for the binary keys that make up most sorts.
inline int bytesOrder(const unsigned char* a, const unsigned char* b, uint32_t n) {
    while (n >= 8) {
        uint64_t x, y;
        memcpy(&x, a, 8);
        memcpy(&y, b, 8);
        if (x != y) {
            x = __builtin_bswap64(x);
            y = __builtin_bswap64(y);
            return x < y ? -1 : 1;
        }
        a += 8;
        b += 8;
        n -= 8;
    }
    if (n >= 4) {
        uint32_t x, y;
        memcpy(&x, a, 4);
        memcpy(&y, b, 4);
        if (x != y) {
            x = __builtin_bswap32(x);
            y = __builtin_bswap32(y);
            return x < y ? -1 : 1;
        }
        a += 4;
        b += 4;
        n -= 4;
    }
    for (; n; --n, ++a, ++b)
        if (*a != *b) return *a < *b ? -1 : 1;
    return 0;
}

inline int keyOrder(const KoSortKey& k, const unsigned char* a, const unsigned char* b) {
    int r;
    if (k.flags & koSortKeyObject) {
        const KoObject* x;
        const KoObject* y;
        memcpy(&x, a, sizeof x);
        memcpy(&y, b, sizeof y);
        r = x->compare(y);
    } else if (k.flags & koSortKeyIntl) {
        r = strCompareIntl(a + k.offset, k.length, b + k.offset, k.length);
    } else if ((k.flags & koSortKeyFunction) && k.compare) {
        r = k.compare(k.context, a + k.offset, b + k.offset);
    } else {
        r = BUTMMCMP(a + k.offset, b + k.offset, k.length);
    }
    // Reduced to its sign before any reversal: a 16-bit -32768 has no 16-bit negation.
    r = signOf(r);
    return (k.flags & koSortKeyDescending) ? -r : r;
}

struct GeneralOrder {
    const KoSortKey* keys;
    uint32_t from, to;
    int operator()(const unsigned char* a, const unsigned char* b) const {
        for (uint32_t i = from; i < to; ++i)
            if (int r = keyOrder(keys[i], a, b)) return r;
        return 0;
    }
};

// Every key compares bytes: no call per key.
struct BytesOrder {
    struct Key {
        uint32_t offset;
        uint32_t length;
        int direction;
    };
    Key keys[KoSort::maxKeys];
    uint32_t count = 0;
    int operator()(const unsigned char* a, const unsigned char* b) const {
        for (uint32_t i = 0; i < count; ++i) {
            const Key& k = keys[i];
            if (int r = bytesOrder(a + k.offset, b + k.offset, k.length)) return r * k.direction;
        }
        return 0;
    }
};

struct FlatArea {
    unsigned char* base;
    size_t length;
    unsigned char* operator()(uint32_t r) const { return base + r * length; }
};

struct PagedArea {
    unsigned char* const* buffers;
    uint32_t perBuffer;
    size_t length;
    unsigned char* operator()(uint32_t r) const { return buffers[r / perBuffer] + (r % perBuffer) * length; }
};

inline void swapRecords(unsigned char* a, unsigned char* b, uint32_t n) {
    if ((n & 7) == 0) {
        for (uint32_t i = 0; i < n; i += 8) {
            uint64_t x, y;
            memcpy(&x, a + i, 8);
            memcpy(&y, b + i, 8);
            memcpy(a + i, &y, 8);
            memcpy(b + i, &x, 8);
        }
    } else {
        BUTMMSWP(a, b, n);
    }
}

template <class Area, class Order>
KoStatus sortRange(const Area& at, const Order& order, uint32_t length, uint32_t first, uint32_t last) {
    struct Range {
        uint32_t first, last;
    };
    Range stack[stackRanges];
    int waiting = 0;
    auto exchange = [&](uint32_t i, uint32_t j) {
        unsigned char* a = at(i);
        unsigned char* b = at(j);
        if (order(a, b) > 0) swapRecords(a, b, length);
    };
    for (;;) {
        if (last <= first) {
            if (waiting == 0) return koSuccess;
            --waiting;
            first = stack[waiting].first;
            last = stack[waiting].last;
            continue;
        }
        const uint32_t n = last - first;
        if (n <= 3) {
            if (n == 1) {
                exchange(first, last);
            } else if (n == 2) {
                exchange(first, first + 1);
                exchange(first + 1, last);
                exchange(first, first + 1);
            } else {
                exchange(first, first + 1);
                exchange(first + 2, last);
                exchange(first, first + 2);
                exchange(first + 1, last);
                exchange(first + 1, first + 2);
            }
            last = first; // done: take the next waiting range
            continue;
        }
        const uint32_t mid = first + n / 2;
        if (n <= 150) {
            exchange(first, mid);
            exchange(mid, last);
            exchange(first, mid);
        } else {
            const uint32_t q1 = first + n / 4;
            const uint32_t q3 = first + uint32_t(uint64_t(n) * 3 / 4);
            // A sorting network on the five samples: the median lands in the middle, the largest last.
            exchange(first, q1);
            exchange(q3, last);
            exchange(mid, last);
            exchange(mid, q3);
            exchange(q1, last);
            exchange(first, q3);
            exchange(first, mid);
            exchange(q1, q3);
            exchange(q1, mid);
        }
        // The pivot goes first; the last record, not below it, stops the upward scan.
        swapRecords(at(first), at(mid), length);
        const unsigned char* pivot = at(first);
        uint32_t i = first, j = last + 1;
        for (;;) {
            do
                ++i;
            while (order(at(i), pivot) < 0);
            do
                --j;
            while (order(at(j), pivot) > 0);
            if (i >= j) break;
            swapRecords(at(i), at(j), length);
        }
        if (j != first) swapRecords(at(first), at(j), length);
        // Left part first .. j - 1, right part j + 1 .. last; the smaller is sorted now.
        const uint32_t leftSize = j - first;
        const uint32_t rightSize = last - j;
        uint32_t smallFirst, smallLast, bigFirst, bigLast;
        if (leftSize <= rightSize) {
            smallFirst = first, smallLast = j - 1, bigFirst = j + 1, bigLast = last;
        } else {
            smallFirst = j + 1, smallLast = last, bigFirst = first, bigLast = j - 1;
        }
        const uint32_t smallSize = leftSize <= rightSize ? leftSize : rightSize;
        if (smallSize < 2) {
            first = bigFirst;
            last = bigLast;
            continue;
        }
        if (waiting == stackRanges) {
            koRaiseError(koErrSortStackFull);
            return koFailure;
        }
        stack[waiting++] = {bigFirst, bigLast};
        first = smallFirst;
        last = smallLast;
    }
}

template <class Area>
KoStatus sortWithOrder(const Area& at, const KoSortKey* keys, uint32_t from, uint32_t to, uint32_t length,
                       uint32_t first, uint32_t last) {
    BytesOrder bytes;
    bool allBytes = true;
    for (uint32_t i = from; i < to && allBytes; ++i) {
        const KoSortKey& k = keys[i];
        const bool byFunction = (k.flags & koSortKeyFunction) && k.compare;
        if ((k.flags & (koSortKeyObject | koSortKeyIntl)) || byFunction)
            allBytes = false;
        else
            bytes.keys[bytes.count++] = {k.offset, k.length, (k.flags & koSortKeyDescending) ? -1 : 1};
    }
    if (allBytes) return sortRange(at, bytes, length, first, last);
    return sortRange(at, GeneralOrder{keys, from, to}, length, first, last);
}

} // namespace

int compareRecords(const KoSortKey* keys, uint32_t from, uint32_t to, const unsigned char* a,
                   const unsigned char* b) {
    return GeneralOrder{keys, from, to}(a, b);
}

KoStatus quickSort(const RecordArea& area, const KoSortKey* keys, uint32_t from, uint32_t to, uint32_t first,
                   uint32_t last) {
    if (last <= first || from >= to) return koSuccess;
    if (last < area.perBuffer)
        return sortWithOrder(FlatArea{area.buffers[0], area.length}, keys, from, to, area.length, first,
                             last);
    return sortWithOrder(PagedArea{area.buffers, area.perBuffer, area.length}, keys, from, to, area.length,
                         first, last);
}

} // namespace kosort
