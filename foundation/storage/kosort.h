#pragma once
// Sorting fixed-length records by up to 64 keys. Records are added one at a time into 64 KiB buffers
// (at most 64 of them); while they fit, the sort is one in-memory quicksort. When memory runs out the
// buffers are sorted and appended to a private temporary file as a run, and the runs are merged on the
// way out, the merge table and its read buffers living in the record memory. A caller may also hand
// in its own array (setBuf) and have it sorted in place.
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"

// Compares two keys of a key added with koSortKeyFunction: context is the value given with the key,
// a and b the addresses of the keys in the two records. Negative, 0 or positive.
typedef int16_t (*KoSortCompareFn)(void* context, const void* a, const void* b);

// One key of a sort.
struct KoSortKey {
    uint16_t flags;          // koSortKey* bits
    uint32_t offset;         // byte offset of the key in the record
    uint16_t length;         // key length in bytes
    KoSortCompareFn compare; // with koSortKeyFunction
    void* context;           // passed to compare
};

// Bits of a key's flags. Without any of the last three the key's bytes compare as unsigned bytes.
enum : uint16_t {
    koSortKeyDescending = 0x1, // the key orders from high to low
    koSortKeyIntl = 0x2,       // text ordered by the code page's collation
    koSortKeyFunction = 0x4,   // ordered by the key's compare function (bytes when it has none)
    koSortKeyObject = 0x8,     // the record begins with a KoObject pointer, ordered by its compare
};

class KO_EXPORT KoSort : public KoObject {
public:
    static constexpr uint32_t maxKeys = 64;
    static constexpr uint32_t maxBuffers = 64;
    static constexpr uint32_t bufferSize = 65536;

    // Bits of flags.
    enum : uint32_t {
        ownsBuffers = 0x1, // the buffers were allocated here
        spilled = 0x2,     // runs are in the temporary file
        sorted = 0x4,      // the records are in order (and, when spilled, the merge table is built)
        keysChanged = 0x8, // keys were added since the merge order was last built
    };

    uint32_t slotsUsed;          // records in memory (the next free slot)
    uint32_t fetchCursor;        // records handed out so far in the current pass
    uint32_t recordCount;        // all records added
    uint32_t keyCount;           // 0 .. 64
    uint32_t startKey;           // the first key that comparisons use
    KoSortKey keys[maxKeys];     // in the order added
    uint16_t runs;               // runs written to the file
    uint32_t lastRunRecords;     // records in the last run
    int fileHandle;              // 0 while no file exists
    unsigned char fileName[256]; // the temporary file's name
    uint16_t recordLength;       // bytes
    uint16_t buffers;            // buffers allocated (1 after setBuf)
    uint32_t perBuffer;          // records per buffer
    uint32_t flags;              // ownsBuffers, spilled, sorted, keysChanged
    unsigned char* mergeTable;   // at the start of buffer 0 once spilled and finished
    unsigned char* savedRecord;  // private copy of a record (spilled mode), allocated on first use
    uint32_t rangeStart;         // first record of the range marked for resortRange
    uint32_t rangeEnd;           // its last record (0xFFFFFFFF before record 0: an empty range)
    unsigned char* bufferTable[maxBuffers];

    // An empty sort of records of recordLength bytes; 0 holds nothing until setRecordLength or setBuf.
    explicit KoSort(uint16_t recordLength = 0);
    // Closes and deletes the temporary file, frees the owned buffers and the saved record.
    ~KoSort() override;
    KoSort(const KoSort&) = delete;
    KoSort& operator=(const KoSort&) = delete;

    // Sets the record length (at least 1) and the records per buffer, for a sort that holds no
    // records yet.
    void setRecordLength(uint16_t length);
    // Appends a key; the 65th is refused (error 2710). A koSortKeyFunction key takes its function and
    // context from the second form; without them its bytes compare as with no flag.
    KoStatus addKey(uint16_t keyFlags, uint32_t offset, uint16_t length);
    KoStatus addKey(uint16_t keyFlags, uint32_t offset, uint16_t length, KoSortCompareFn compare,
                    void* context);
    // The address of the next free record slot, for the caller to fill; spills to the temporary file
    // when memory is full. 1 when memory is short before two buffers exist, when the spill fails
    // (the records stay, and adding can be retried), after setBuf, or once spilled records are being
    // fetched.
    KoStatus nextSlot(unsigned char** slot);
    // nextSlot, then copies recordLength bytes of record into the slot.
    KoStatus addRecord(const void* record);
    // Makes data, count records of recordLength bytes, the one buffer, sorted in place; whatever the
    // sort held before is released.
    void setBuf(uint32_t count, void* data);
    // Quicksorts the records in memory when not yet sorted; the pass restarts.
    KoStatus sortBuf();

    // Sorts when needed, then the next record in order; null after the last.
    KoStatus getSorted(unsigned char** record);
    // Restarts the pass (sorting when needed): the first record, null when there is none.
    KoStatus getFirstRecord(unsigned char** record);
    // The next record of the pass, null after the last.
    KoStatus getNextRecord(unsigned char** record);
    // getSorted, and the index of the first key in which the record differs from the previous one: 0
    // for the first record (and with the null record at the end), keyCount when all keys are equal.
    KoStatus getSortedWithCompare(unsigned char** record, uint32_t* breakKey);
    // The first record whose keys all equal those of probe, and the pass goes on after it; null when
    // there is none, the pass then going on at the first record above probe.
    KoStatus getFirstRecordWithKey(const void* probe, unsigned char** record);
    // Sorts again with the current keys and restarts the pass.
    KoStatus reSort();
    void setStartKey(uint32_t key);
    // The record last fetched becomes the first of the range.
    void startResortRange();
    // The record before the last fetched (the last record when the pass has ended) ends the range.
    void endResortRange();
    // Re-sorts the range by the keys from startKey on: as a whole when whole is not 0 or startKey is
    // 0, else each group of records equal on the keys before startKey. The start key is 0 afterwards.
    KoStatus resortRange(uint32_t startKey, unsigned int whole);
    // Walk the range; null after its end.
    KoStatus getFirstRecordInRange(unsigned char** record);
    KoStatus getNextRecordInRange(unsigned char** record);

private:
    struct Merge;
    friend struct Merge;

    bool passStarted_;     // spilled: the runs are positioned for the current pass
    bool pendingAdvance_;  // spilled: the first run's head was handed out and advances on the next fetch
    bool atEnd_;           // the current pass has handed out its null
    bool rangePass_;       // spilled: the current pass walks the marked range
    bool needResume_;      // spilled: the run buffers must be read again at the runs' positions
    uint32_t rangeKey_;    // spilled: the key the range was re-sorted from, for walking it
    uint32_t mergeKey_;    // spilled: the key the current pass's merge compares from
    bool closed_;          // spilled: the last run is written, nothing more can be added
    uint32_t fileRecords_; // records in the file (a merge table saved past them excluded)
    uint32_t savedCursor_; // spilled: the pass position whose record savedRecord holds

    unsigned char* slotAddress(uint32_t slot) const;
    uint32_t perRun() const { return uint32_t(buffers) * perBuffer; }
    void releaseStorage();
    void closeFile();
    KoStatus quickSort(uint32_t first, uint32_t last, uint32_t fromKey);
    int compareRecords(const unsigned char* a, const unsigned char* b, uint32_t fromKey,
                       uint32_t toKey) const;
    KoStatus writeSlots(uint32_t first, uint32_t count, uint32_t fileRecord);
    KoStatus readSlots(uint32_t first, uint32_t count, uint32_t fileRecord);
    KoStatus spill();
    KoStatus finish();
    KoStatus fetch(unsigned char** record);
    KoStatus findInMemory(const void* probe, unsigned char** record);
    KoStatus resortGroups(uint32_t last);
    KoStatus keepSavedRecord();
    uint32_t breakIndex(const unsigned char* previous, const unsigned char* record) const;

    // Spilled mode, in kosortmerge.cpp.
    KoStatus buildMergeTable();
    KoStatus startPass(bool range);
    KoStatus resumePass();
    KoStatus fetchMerged(unsigned char** record);
    KoStatus findMerged(const unsigned char* probe, unsigned char** record);
    void markRunPositions(bool end);
    KoStatus resortRuns(bool range, uint32_t fromKey);
};
