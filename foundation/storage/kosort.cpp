// The record sort: keys, adding records, spilling runs, finishing, and the passes over the records.
#include "foundation/storage/kosort.h"

#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/os/bos.h"
#include "foundation/storage/sortengine.h"
#include "platform/win32.h"

namespace {

// The file is addressed by 32-bit signed offsets.
constexpr uint64_t largestFile = 0x7FFFFFFFu;
constexpr uint32_t noCursor = 0xFFFFFFFFu;

} // namespace

KoSort::KoSort(uint16_t length)
    : slotsUsed(0), fetchCursor(0), recordCount(0), keyCount(0), startKey(0), runs(0), lastRunRecords(0),
      fileHandle(0), recordLength(length), buffers(0), perBuffer(length ? bufferSize / length : 0), flags(0),
      mergeTable(nullptr), savedRecord(nullptr), rangeStart(0), rangeEnd(noCursor), passStarted_(false),
      pendingAdvance_(false), atEnd_(false), rangePass_(false), needResume_(false), rangeKey_(0),
      mergeKey_(0), closed_(false), fileRecords_(0), savedCursor_(noCursor) {
    memset(keys, 0, sizeof keys);
    memset(fileName, 0, sizeof fileName);
    memset(bufferTable, 0, sizeof bufferTable);
}

KoSort::~KoSort() {
    releaseStorage();
}

void KoSort::closeFile() {
    if (fileHandle) {
        bosFileClose(fileHandle);
        // Short of memory the service cannot delete; the file must go all the same.
        if (bosFileDelete(fileName) != koSuccess) DeleteFileA(reinterpret_cast<const char*>(fileName));
        fileHandle = 0;
    }
    fileName[0] = 0;
    fileRecords_ = 0;
    runs = 0;
}

void KoSort::releaseStorage() {
    closeFile();
    if (flags & ownsBuffers)
        for (uint16_t i = 0; i < buffers; ++i)
            ramFree(bufferTable[i]);
    memset(bufferTable, 0, sizeof bufferTable);
    buffers = 0;
    ramFree(savedRecord);
    savedRecord = nullptr;
    mergeTable = nullptr;
}

unsigned char* KoSort::slotAddress(uint32_t slot) const {
    if (slot < perBuffer) return bufferTable[0] + size_t(slot) * recordLength;
    return bufferTable[slot / perBuffer] + size_t(slot % perBuffer) * recordLength;
}

int KoSort::compareRecords(const unsigned char* a, const unsigned char* b, uint32_t fromKey,
                           uint32_t toKey) const {
    return kosort::compareRecords(keys, fromKey, toKey, a, b);
}

KoStatus KoSort::quickSort(uint32_t first, uint32_t last, uint32_t fromKey) {
    if (last <= first || last == noCursor) return koSuccess;
    kosort::RecordArea area{bufferTable, perBuffer, recordLength};
    return kosort::quickSort(area, keys, fromKey, keyCount, first, last);
}

void KoSort::setRecordLength(uint16_t length) {
    // The addressing of records already held would change under them.
    if (length == 0 || recordCount != 0 || buffers != 0) return;
    recordLength = length;
    perBuffer = length == 1 ? 65535u : bufferSize / length;
}

KoStatus KoSort::addKey(uint16_t keyFlags, uint32_t offset, uint16_t length) {
    return addKey(keyFlags, offset, length, nullptr, nullptr);
}

KoStatus KoSort::addKey(uint16_t keyFlags, uint32_t offset, uint16_t length, KoSortCompareFn compare,
                        void* context) {
    if (keyCount >= maxKeys) {
        koRaiseError(koErrSortTooManyKeys);
        return koFailure;
    }
    keys[keyCount++] = KoSortKey{keyFlags, offset, length, compare, context};
    flags |= keysChanged;
    return koSuccess;
}

// ---- Records in the file

KoStatus KoSort::writeSlots(uint32_t first, uint32_t count, uint32_t fileRecord) {
    if ((uint64_t(fileRecord) + count) * recordLength > largestFile) {
        koRaiseError(koErrSystem);
        return koFailure;
    }
    // Records never straddle buffers: write what each buffer holds of the span in one piece.
    while (count) {
        uint32_t inBuffer = perBuffer - first % perBuffer;
        uint32_t n = count < inBuffer ? count : inBuffer;
        if (bosFileWrite(fileHandle, int32_t(fileRecord * recordLength), slotAddress(first),
                         n * recordLength) != koSuccess)
            return koFailure;
        first += n;
        fileRecord += n;
        count -= n;
    }
    return koSuccess;
}

KoStatus KoSort::readSlots(uint32_t first, uint32_t count, uint32_t fileRecord) {
    while (count) {
        uint32_t inBuffer = perBuffer - first % perBuffer;
        uint32_t n = count < inBuffer ? count : inBuffer;
        uint32_t got = 0;
        if (bosFileRead(fileHandle, int32_t(fileRecord * recordLength), slotAddress(first), n * recordLength,
                        &got) != koSuccess)
            return koFailure;
        // A run cut short under the sort is an error, never a shorter result.
        if (got != n * recordLength) {
            koRaiseError(koErrSystem);
            return koFailure;
        }
        first += n;
        fileRecord += n;
        count -= n;
    }
    return koSuccess;
}

// ---- Adding

KoStatus KoSort::spill() {
    if (runs == 0xFFFF) {
        koRaiseError(koErrSystem);
        return koFailure;
    }
    if (quickSort(0, slotsUsed - 1, startKey) != koSuccess) return koFailure;
    const bool created = fileHandle == 0;
    if (created && bosFileOpen(fileName, bosOpenTempName | bosOpenReadWrite, &fileHandle) != koSuccess) {
        fileHandle = 0;
        fileName[0] = 0;
        return koFailure;
    }
    if (writeSlots(0, slotsUsed, fileRecords_) != koSuccess) {
        // A file without a run is of no use; a later spill creates a new one.
        if (created) closeFile();
        return koFailure;
    }
    fileRecords_ += slotsUsed;
    ++runs;
    slotsUsed = 0;
    // Records added during a pass in memory: the pass restarts over the merged runs.
    flags = (flags | spilled) & ~uint32_t(sorted);
    fetchCursor = 0;
    atEnd_ = false;
    return koSuccess;
}

KoStatus KoSort::nextSlot(unsigned char** slot) {
    if (slot) *slot = nullptr;
    if (!slot || perBuffer == 0 || recordCount == 0xFFFFFFFFu) return koFailure;
    // A caller's buffer cannot grow, and once the last run is written the merge owns the memory.
    if ((buffers > 0 && !(flags & ownsBuffers)) || closed_) return koFailure;
    uint32_t s = slotsUsed;
    if (s / perBuffer >= buffers) {
        flags |= ownsBuffers;
        void* block = nullptr;
        if (!(flags & spilled) && buffers < maxBuffers) block = ramAlloc(bufferSize);
        if (block) {
            bufferTable[buffers++] = static_cast<unsigned char*>(block);
        } else {
            // The slot count is untouched until a slot exists, so a failure records nothing.
            if (buffers < 2) return koFailure;
            if (spill() != koSuccess) return koFailure;
            s = 0;
        }
    }
    slotsUsed = s + 1;
    ++recordCount;
    *slot = slotAddress(s);
    return koSuccess;
}

KoStatus KoSort::addRecord(const void* record) {
    unsigned char* slot = nullptr;
    if (nextSlot(&slot) != koSuccess) return koFailure;
    memcpy(slot, record, recordLength);
    return koSuccess;
}

void KoSort::setBuf(uint32_t count, void* data) {
    releaseStorage();
    bufferTable[0] = static_cast<unsigned char*>(data);
    buffers = 1;
    perBuffer = count;
    slotsUsed = count;
    recordCount = count;
    flags &= keysChanged;
    fetchCursor = 0;
    atEnd_ = false;
    closed_ = false;
    passStarted_ = pendingAdvance_ = rangePass_ = needResume_ = false;
    rangeStart = 0;
    rangeEnd = noCursor;
    lastRunRecords = 0;
}

// ---- Finishing and fetching

KoStatus KoSort::finish() {
    if (flags & sorted) return koSuccess;
    if (!closed_ && slotsUsed > 1 && quickSort(0, slotsUsed - 1, startKey) != koSuccess) return koFailure;
    if (flags & spilled) {
        if (!closed_) {
            if (writeSlots(0, slotsUsed, fileRecords_) != koSuccess) return koFailure;
            fileRecords_ += slotsUsed;
            ++runs;
            lastRunRecords = slotsUsed;
            slotsUsed = 0;
            closed_ = true;
        }
        if (buildMergeTable() != koSuccess) return koFailure;
    }
    flags |= sorted;
    fetchCursor = 0;
    atEnd_ = false;
    passStarted_ = pendingAdvance_ = rangePass_ = needResume_ = false;
    savedCursor_ = noCursor;
    return koSuccess;
}

KoStatus KoSort::sortBuf() {
    return finish();
}

KoStatus KoSort::fetch(unsigned char** record) {
    *record = nullptr;
    if (finish() != koSuccess) return koFailure;
    if (flags & spilled) {
        // After a walk of the range the pass goes on from where the walk stopped.
        if (rangePass_) {
            rangePass_ = false;
            mergeKey_ = startKey;
            needResume_ = true;
        }
        return fetchMerged(record);
    }
    if (fetchCursor < slotsUsed)
        *record = slotAddress(fetchCursor++);
    else
        atEnd_ = true;
    return koSuccess;
}

KoStatus KoSort::getSorted(unsigned char** record) {
    if (!record) return koFailure;
    return fetch(record);
}

KoStatus KoSort::getNextRecord(unsigned char** record) {
    if (!record) return koFailure;
    return fetch(record);
}

KoStatus KoSort::getFirstRecord(unsigned char** record) {
    if (!record) return koFailure;
    *record = nullptr;
    if (finish() != koSuccess) return koFailure;
    fetchCursor = 0;
    atEnd_ = false;
    if (flags & spilled) {
        if (startPass(false) != koSuccess) return koFailure;
        return fetchMerged(record);
    }
    return fetch(record);
}

KoStatus KoSort::keepSavedRecord() {
    if (!savedRecord) savedRecord = static_cast<unsigned char*>(ramAlloc(recordLength));
    return savedRecord ? koSuccess : koFailure;
}

uint32_t KoSort::breakIndex(const unsigned char* previous, const unsigned char* record) const {
    for (uint32_t k = 0; k < keyCount; ++k)
        if (compareRecords(previous, record, k, k + 1) != 0) return k;
    return keyCount;
}

KoStatus KoSort::getSortedWithCompare(unsigned char** record, uint32_t* breakKey) {
    if (!record || !breakKey) return koFailure;
    *record = nullptr;
    *breakKey = 0;
    if (finish() != koSuccess) return koFailure;
    const bool merged = flags & spilled;
    // Spilled, the previous record may be gone from memory by the time this one is read: keep a copy.
    if (merged && keepSavedRecord() != koSuccess) return koFailure;
    if (fetch(record) != koSuccess) return koFailure;
    if (!*record) return koSuccess;
    if (fetchCursor >= 2) {
        if (!merged)
            *breakKey = breakIndex(slotAddress(fetchCursor - 2), *record);
        else if (savedCursor_ == fetchCursor - 1)
            *breakKey = breakIndex(savedRecord, *record);
    }
    if (merged) {
        memcpy(savedRecord, *record, recordLength);
        savedCursor_ = fetchCursor;
    }
    return koSuccess;
}

KoStatus KoSort::findInMemory(const void* probe, unsigned char** record) {
    const auto* p = static_cast<const unsigned char*>(probe);
    uint32_t lo = 0, hi = slotsUsed;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (compareRecords(slotAddress(mid), p, 0, keyCount) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    atEnd_ = false;
    if (lo < slotsUsed && compareRecords(slotAddress(lo), p, 0, keyCount) == 0) {
        *record = slotAddress(lo);
        fetchCursor = lo + 1;
    } else {
        fetchCursor = lo;
    }
    return koSuccess;
}

KoStatus KoSort::getFirstRecordWithKey(const void* probe, unsigned char** record) {
    if (!record || !probe) return koFailure;
    *record = nullptr;
    if (finish() != koSuccess) return koFailure;
    if (!(flags & spilled)) return findInMemory(probe, record);
    // The probe may be a record of this sort, which the search reads over.
    if (keepSavedRecord() != koSuccess) return koFailure;
    memmove(savedRecord, probe, recordLength);
    return findMerged(savedRecord, record);
}

void KoSort::setStartKey(uint32_t key) {
    startKey = key;
}
