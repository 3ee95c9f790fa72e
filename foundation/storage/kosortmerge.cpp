// The record sort once spilled: the merge table in buffer 0, merging the runs on the way out, key
// search in the file, and re-sorting runs in place.
#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/os/bos.h"
#include "foundation/storage/kosort.h"

namespace {

struct Header {
    uint32_t runs;
    uint32_t active;        // entries 0 .. active - 1 still have records, in order of their heads
    uint32_t perRun;        // records of every run but the last
    uint32_t chunk;         // records each run reads at a time
    uint32_t single;        // too many runs for a chunk each: heads are read one at a time
    uint32_t lastSlot;      // perRun - 1
    uint32_t headerRecords; // record slots the table takes
};
static_assert(sizeof(Header) == 28);

struct Entry {
    uint32_t runStart;   // first record of the run in the file
    uint32_t runEnd;     // its last record
    uint32_t bufferSlot; // where its chunk lives in memory
    uint32_t readPos;    // next record of the file to read
    uint32_t chunkPos;   // the head within the chunk
    uint32_t chunkCount; // records in the chunk
    uint32_t rangeStart; // the marked range in this run: rangeStart .. rangeEnd - 1
    uint32_t rangeEnd;
};
static_assert(sizeof(Entry) == 32);

constexpr uint32_t noCursor = 0xFFFFFFFFu;

} // namespace

// A view of the merge table with the operations of a pass.
struct KoSort::Merge {
    KoSort& s;
    Header* h;
    Entry* e;

    explicit Merge(KoSort& sort)
        : s(sort), h(reinterpret_cast<Header*>(sort.mergeTable)),
          e(reinterpret_cast<Entry*>(sort.mergeTable + sizeof(Header))) {}

    uint32_t passStart(const Entry& x) const { return s.rangePass_ ? x.rangeStart : x.runStart; }
    uint32_t passEnd(const Entry& x) const { return s.rangePass_ ? x.rangeEnd : x.runEnd + 1; }
    uint32_t headPos(const Entry& x) const { return x.readPos - x.chunkCount + x.chunkPos; }
    // The slot that holds the record handed out, and in single mode the one a compared head is read to.
    uint32_t outSlot() const { return h->headerRecords; }
    uint32_t probeSlot() const { return h->headerRecords + 1; }

    int order(const unsigned char* a, const unsigned char* b) const {
        return s.compareRecords(a, b, s.mergeKey_, s.keyCount);
    }

    // The head of entry i; in single mode read into slot.
    KoStatus head(uint32_t i, uint32_t slot, const unsigned char** out) {
        const Entry& x = e[i];
        if (!h->single) {
            *out = s.slotAddress(x.bufferSlot + x.chunkPos);
            return koSuccess;
        }
        *out = s.slotAddress(slot);
        return s.readSlots(slot, 1, x.readPos);
    }

    KoStatus refill(Entry& x) {
        const uint32_t end = passEnd(x);
        uint32_t n = end - x.readPos < h->chunk ? end - x.readPos : h->chunk;
        if (h->single) n = 0; // heads are read when needed
        if (n && s.readSlots(x.bufferSlot, n, x.readPos) != koSuccess) return koFailure;
        x.readPos += n;
        x.chunkCount = n;
        x.chunkPos = 0;
        return koSuccess;
    }

    // Puts entry `from` at position `to` (to <= from), shifting the entries between up by one.
    void moveBack(uint32_t from, uint32_t to) {
        if (from == to) return;
        Entry keep = e[from];
        memmove(&e[to + 1], &e[to], (from - to) * sizeof(Entry));
        e[to] = keep;
    }
    // Puts entry `from` at position `to` (to >= from), shifting the entries between down by one.
    void moveForward(uint32_t from, uint32_t to) {
        if (from == to) return;
        Entry keep = e[from];
        memmove(&e[from], &e[from + 1], (to - from) * sizeof(Entry));
        e[to] = keep;
    }

    // First position p in [lo, hi) whose head is not below the candidate (a tie goes before).
    KoStatus lowerBound(const unsigned char* candidate, uint32_t lo, uint32_t hi, uint32_t* at) {
        while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            const unsigned char* other;
            if (head(mid, probeSlot(), &other) != koSuccess) return koFailure;
            if (order(other, candidate) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        *at = lo;
        return koSuccess;
    }

    // Orders the active entries by their heads: each goes before the first not below it.
    KoStatus sortActive() {
        for (uint32_t i = 1; i < h->active; ++i) {
            const unsigned char* candidate;
            if (head(i, outSlot(), &candidate) != koSuccess) return koFailure;
            uint32_t at;
            if (lowerBound(candidate, 0, i, &at) != koSuccess) return koFailure;
            moveBack(i, at);
        }
        s.flags &= ~uint32_t(keysChanged);
        return koSuccess;
    }

    // Moves used-up entries behind the active ones, keeping the order of the rest.
    void dropExhausted() {
        uint32_t keep = 0;
        for (uint32_t i = 0; i < h->active; ++i) {
            if (headPos(e[i]) < passEnd(e[i])) moveBack(i, keep++);
        }
        h->active = keep;
    }

    // Reads every active run's chunk at its head and orders the entries.
    KoStatus load() {
        for (uint32_t i = 0; i < h->runs; ++i) {
            Entry& x = e[i];
            x.readPos = headPos(x);
            x.chunkCount = x.chunkPos = 0;
        }
        h->active = h->runs;
        dropExhausted();
        for (uint32_t i = 0; i < h->active; ++i)
            if (refill(e[i]) != koSuccess) return koFailure;
        return sortActive();
    }

    // The first entry's head was handed out: step its run on and put the entry in its place.
    KoStatus advance() {
        Entry& x = e[0];
        if (h->single)
            ++x.readPos;
        else
            ++x.chunkPos;
        if (headPos(x) >= passEnd(x)) {
            moveForward(0, h->active - 1);
            --h->active;
            return koSuccess;
        }
        if (!h->single && x.chunkPos == x.chunkCount && refill(x) != koSuccess) return koFailure;
        if (h->active < 2 || (s.flags & keysChanged)) return koSuccess;
        const unsigned char* candidate;
        const unsigned char* next;
        if (head(0, outSlot(), &candidate) != koSuccess || head(1, probeSlot(), &next) != koSuccess)
            return koFailure;
        // Most often the run goes on winning.
        if (order(candidate, next) <= 0) return koSuccess;
        uint32_t at;
        if (lowerBound(candidate, 2, h->active, &at) != koSuccess) return koFailure;
        moveForward(0, at - 1);
        return koSuccess;
    }

    uint32_t passedRecords() const {
        uint64_t n = 0;
        for (uint32_t i = 0; i < h->runs; ++i)
            n += headPos(e[i]) - passStart(e[i]);
        return uint32_t(n);
    }
};

KoStatus KoSort::buildMergeTable() {
    const uint32_t perRunRecords = perRun();
    const uint32_t tableBytes = uint32_t(runs) * sizeof(Entry) + sizeof(Header);
    const uint32_t headerRecords = (tableBytes + recordLength - 1) / recordLength;
    // The table must fit buffer 0 and leave room for the heads; otherwise memory is too short.
    if (uint64_t(tableBytes) > uint64_t(perBuffer) * recordLength || perRunRecords < headerRecords + 2)
        return koFailure;
    uint32_t chunk = (perRunRecords - headerRecords) / runs;
    const uint32_t single = chunk == 0;
    if (single) chunk = 1;
    mergeTable = bufferTable[0];
    auto* header = reinterpret_cast<Header*>(mergeTable);
    *header = Header{runs, runs, perRunRecords, chunk, single, perRunRecords - 1, headerRecords};
    auto* entry = reinterpret_cast<Entry*>(mergeTable + sizeof(Header));
    for (uint32_t i = 0; i < runs; ++i) {
        const uint32_t start = i * perRunRecords;
        const uint32_t end =
            start + perRunRecords - 1 < recordCount - 1 ? start + perRunRecords - 1 : recordCount - 1;
        entry[i] =
            Entry{start, end, single ? headerRecords : headerRecords + i * chunk, start, 0, 0, start, start};
    }
    passStarted_ = pendingAdvance_ = needResume_ = rangePass_ = false;
    return koSuccess;
}

KoStatus KoSort::startPass(bool range) {
    Merge m(*this);
    rangePass_ = range;
    mergeKey_ = range ? rangeKey_ : startKey;
    for (uint32_t i = 0; i < m.h->runs; ++i) {
        Entry& x = m.e[i];
        x.readPos = m.passStart(x);
        x.chunkCount = x.chunkPos = 0;
    }
    passStarted_ = pendingAdvance_ = needResume_ = atEnd_ = false;
    fetchCursor = 0;
    savedCursor_ = noCursor;
    if (m.load() != koSuccess) {
        needResume_ = true;
        return koFailure;
    }
    passStarted_ = true;
    return koSuccess;
}

KoStatus KoSort::resumePass() {
    Merge m(*this);
    if (pendingAdvance_) {
        // The record handed out last is behind its run's position now.
        Entry& x = m.e[0];
        x.readPos = m.headPos(x) + 1;
        x.chunkCount = x.chunkPos = 0;
        pendingAdvance_ = false;
    }
    // Used-up runs sit behind the active ones already and stay there.
    needResume_ = true;
    if (m.load() != koSuccess) return koFailure;
    needResume_ = false;
    fetchCursor = m.passedRecords();
    return koSuccess;
}

KoStatus KoSort::fetchMerged(unsigned char** record) {
    *record = nullptr;
    if (!passStarted_) {
        if (startPass(false) != koSuccess) return koFailure;
    } else if (needResume_) {
        if (resumePass() != koSuccess) return koFailure;
    }
    Merge m(*this);
    if (pendingAdvance_) {
        pendingAdvance_ = false;
        if (m.advance() != koSuccess) {
            needResume_ = true;
            return koFailure;
        }
    }
    if ((flags & keysChanged) && m.sortActive() != koSuccess) {
        needResume_ = true;
        return koFailure;
    }
    if (m.h->active == 0) {
        atEnd_ = true;
        return koSuccess;
    }
    const unsigned char* first;
    if (m.head(0, m.outSlot(), &first) != koSuccess) {
        needResume_ = true;
        return koFailure;
    }
    *record = const_cast<unsigned char*>(first);
    pendingAdvance_ = true;
    ++fetchCursor;
    return koSuccess;
}

KoStatus KoSort::findMerged(const unsigned char* probe, unsigned char** record) {
    Merge m(*this);
    rangePass_ = false;
    mergeKey_ = startKey;
    passStarted_ = pendingAdvance_ = atEnd_ = false;
    needResume_ = true;
    savedCursor_ = noCursor;
    // Each run to its first record not below the probe, one record read per step.
    for (uint32_t i = 0; i < m.h->runs; ++i) {
        Entry& x = m.e[i];
        const uint32_t slot = m.h->single ? m.probeSlot() : x.bufferSlot;
        uint32_t lo = x.runStart, hi = x.runEnd + 1;
        while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            if (readSlots(slot, 1, mid) != koSuccess) return koFailure;
            if (compareRecords(slotAddress(slot), probe, 0, keyCount) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        x.readPos = lo;
        x.chunkCount = x.chunkPos = 0;
    }
    if (m.load() != koSuccess) return koFailure;
    passStarted_ = true;
    needResume_ = false;
    fetchCursor = m.passedRecords();
    if (m.h->active == 0) return koSuccess;
    const unsigned char* first;
    if (m.head(0, m.outSlot(), &first) != koSuccess) {
        needResume_ = true;
        return koFailure;
    }
    if (compareRecords(first, probe, 0, keyCount) == 0) {
        *record = const_cast<unsigned char*>(first);
        pendingAdvance_ = true;
        ++fetchCursor;
        // The probe's keys are the found record's: it serves as the previous record of a group.
        savedCursor_ = fetchCursor;
    }
    return koSuccess;
}

void KoSort::markRunPositions(bool end) {
    Merge m(*this);
    for (uint32_t i = 0; i < m.h->runs; ++i) {
        Entry& x = m.e[i];
        uint32_t pos;
        if (!passStarted_)
            pos = m.passStart(x);
        else if (i < m.h->active)
            pos = m.headPos(x);
        else
            pos = m.passEnd(x);
        if (end)
            x.rangeEnd = pos < x.rangeStart ? x.rangeStart : pos;
        else
            x.rangeStart = x.rangeEnd = pos;
    }
}

KoStatus KoSort::resortRuns(bool range, uint32_t fromKey) {
    const uint32_t perRunRecords = perRun();
    const uint32_t runCount = runs;
    Merge m(*this);
    uint32_t chunk = m.h->single ? 0 : m.h->chunk;
    // A part larger than its run's chunk needs all the memory, the table included: park the table
    // in the file past the records meanwhile.
    bool parked = false;
    uint32_t tableBytes = runCount * sizeof(Entry) + sizeof(Header);
    if (range) {
        for (uint32_t i = 0; i < runCount && !parked; ++i)
            parked = m.e[i].rangeEnd - m.e[i].rangeStart > chunk;
        if (parked) {
            if (uint64_t(fileRecords_) * recordLength + tableBytes > 0x7FFFFFFFu) {
                koRaiseError(koErrSystem);
                return koFailure;
            }
            if (bosFileWrite(fileHandle, int32_t(fileRecords_ * recordLength), mergeTable, tableBytes) !=
                koSuccess)
                return koFailure;
        }
    }
    const int32_t tableAt = int32_t(fileRecords_ * recordLength);
    KoStatus status = koSuccess;
    for (uint32_t i = 0; i < runCount && status == koSuccess; ++i) {
        uint32_t first, count, slot = 0;
        if (range) {
            Entry x;
            if (parked) {
                uint32_t got = 0;
                status = bosFileRead(fileHandle, tableAt + int32_t(sizeof(Header) + i * sizeof(Entry)), &x,
                                     sizeof x, &got);
                if (status == koSuccess && got != sizeof x) {
                    koRaiseError(koErrSystem);
                    status = koFailure;
                }
                if (status != koSuccess) break;
            } else {
                x = m.e[i];
                slot = x.bufferSlot;
            }
            first = x.rangeStart;
            count = x.rangeEnd - x.rangeStart;
        } else {
            first = i * perRunRecords;
            count = recordCount - first < perRunRecords ? recordCount - first : perRunRecords;
        }
        if (count < 2) continue;
        status = readSlots(slot, count, first);
        if (status == koSuccess) status = quickSort(slot, slot + count - 1, fromKey);
        if (status == koSuccess) status = writeSlots(slot, count, first);
    }
    if (parked) {
        uint32_t got = 0;
        KoStatus back = bosFileRead(fileHandle, tableAt, mergeTable, tableBytes, &got);
        if (back == koSuccess && got != tableBytes) {
            koRaiseError(koErrSystem);
            back = koFailure;
        }
        // Without its table the sort starts over from fresh run positions.
        if (back != koSuccess) {
            buildMergeTable();
            status = koFailure;
        }
    }
    needResume_ = true;
    return status;
}
