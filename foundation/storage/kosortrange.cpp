// The record sort's re-sorting: again with changed keys, and a marked range of the result.
#include "foundation/storage/kosort.h"

namespace {

constexpr uint32_t noCursor = 0xFFFFFFFFu;

} // namespace

KoStatus KoSort::reSort() {
    if (!(flags & sorted)) return finish();
    if (flags & spilled) {
        KoStatus status = resortRuns(false, startKey);
        // The runs were read into the whole memory: the table is built afresh in any case.
        if (buildMergeTable() != koSuccess || status != koSuccess) return koFailure;
    } else if (slotsUsed > 1 && quickSort(0, slotsUsed - 1, startKey) != koSuccess) {
        return koFailure;
    }
    fetchCursor = 0;
    atEnd_ = false;
    savedCursor_ = noCursor;
    rangeStart = 0;
    rangeEnd = noCursor;
    return koSuccess;
}

void KoSort::startResortRange() {
    rangeStart = fetchCursor ? fetchCursor - 1 : 0;
    if ((flags & spilled) && (flags & sorted)) markRunPositions(false);
}

void KoSort::endResortRange() {
    if (atEnd_)
        rangeEnd = recordCount - 1;
    else
        rangeEnd = fetchCursor >= 2 ? fetchCursor - 2 : noCursor;
    if ((flags & spilled) && (flags & sorted)) markRunPositions(true);
}

KoStatus KoSort::resortGroups(uint32_t last) {
    // Groups of records equal on the keys before the start key, each sorted by the keys from it on.
    uint32_t group = 0;
    for (uint32_t i = 1; i <= last + 1; ++i) {
        if (i <= last && compareRecords(slotAddress(i - 1), slotAddress(i), 0, startKey) == 0) continue;
        if (i - 1 > group && quickSort(group, i - 1, startKey) != koSuccess) return koFailure;
        group = i;
    }
    return koSuccess;
}

KoStatus KoSort::resortRange(uint32_t key, unsigned int whole) {
    startKey = key;
    KoStatus status = finish();
    if (status == koSuccess) {
        if (flags & spilled) {
            // Each run's part is sorted by itself; a part sorted on the keys before the start key is
            // grouped already, so sorting it by every key re-sorts each group.
            rangeKey_ = whole ? key : 0;
            status = resortRuns(true, rangeKey_);
        } else if (rangeEnd != noCursor && rangeEnd >= rangeStart && rangeStart < slotsUsed) {
            const uint32_t last = rangeEnd < slotsUsed ? rangeEnd : slotsUsed - 1;
            if (key == 0 || whole)
                status = quickSort(rangeStart, last, key);
            else
                status = resortGroups(last);
        }
    }
    startKey = 0;
    return status;
}

KoStatus KoSort::getFirstRecordInRange(unsigned char** record) {
    if (!record) return koFailure;
    *record = nullptr;
    if (finish() != koSuccess) return koFailure;
    if (flags & spilled) {
        if (startPass(true) != koSuccess) return koFailure;
        return fetchMerged(record);
    }
    if (rangeEnd == noCursor || rangeEnd < rangeStart || rangeStart >= slotsUsed) return koSuccess;
    fetchCursor = rangeStart;
    *record = slotAddress(fetchCursor++);
    return koSuccess;
}

KoStatus KoSort::getNextRecordInRange(unsigned char** record) {
    if (!record) return koFailure;
    *record = nullptr;
    if (flags & spilled) {
        if (!(flags & sorted) || !rangePass_) return koSuccess;
        return fetchMerged(record);
    }
    if (rangeEnd == noCursor || fetchCursor < rangeStart || fetchCursor > rangeEnd ||
        fetchCursor >= slotsUsed)
        return koSuccess;
    *record = slotAddress(fetchCursor++);
    return koSuccess;
}
