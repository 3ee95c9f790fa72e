#pragma once
// A byte-addressed scratch space of up to 128 MiB that lives in a small memory cache and spills to a
// private temporary file only when the cache cannot hold what is touched.
#include <cstdint>
#include "foundation/containers/kosortedarray.h"
#include "foundation/errors/kostatus.h"
#include "foundation/sync/kocriticalsection.h"

class KoString;

// A region given back to a KoTmpFile, kept for reuse.
class KO_EXPORT TmpSpace : public KoObject {
public:
    uint32_t offset;
    uint32_t length;

    TmpSpace(uint32_t offset, uint32_t length);
    ~TmpSpace() override;
    // Orders by offset: -1, 0 or 1.
    int16_t compare(const KoObject* other) const override;
};

// One cache slot: two pages, one in each half of a 4,096-byte block.
struct KoTmpSlot {
    uint32_t pageA; // page held in the first half, tmpNoPage when none
    uint32_t pageB; // page held in the second half
    uint32_t flags; // tmpSlot* bits
};

class KO_EXPORT KoTmpFile : public KoObject {
public:
    static constexpr uint32_t pageSize = 2048;
    static constexpr uint32_t slotSize = 2 * pageSize;
    // The whole space: offsets stay below this bound.
    static constexpr uint32_t spaceSize = 128u * 1024 * 1024;
    static constexpr uint32_t pageCount = spaceSize / pageSize;
    // A half that holds no page.
    static constexpr uint32_t tmpNoPage = 0xFFFFFFFFu;
    // Regions given back shorter than this are not kept.
    static constexpr uint32_t minFreeRegion = 256;
    // Largest piece of writeHuge and readHuge.
    static constexpr uint32_t hugePiece = 65536;

    enum : uint32_t {
        tmpSlotChangedA = 0x1, // half A differs from its page on disk
        tmpSlotChangedB = 0x2, // half B differs from its page on disk
        tmpSlotLastB = 0x4,    // half B was used last (else half A)
    };
    enum : uint32_t {
        tmpLockInitialised = 0x1, // the lock is a working critical section
        tmpNoLocking = 0x2,       // built without locking; the caller serialises
    };

    uint16_t cacheSize;          // bytes of cache: 4,096, 8,192, 16,384 or 32,768
    uint32_t highestPageWritten; // largest page number ever written to the file
    uint32_t end;                // first offset never handed out; starts at 1
    int fileHandle;              // 0 while the file is closed
    unsigned char* fileName;     // 256 bytes, allocated when the file is first created
    uint32_t pagesInFile;        // one past the largest page written; 0 while nothing was written
    KoTmpSlot* slotTable;        // cacheSize / 4,096 entries
    unsigned char* cacheMemory;  // cacheSize bytes
    KoSortedArray freeList;      // TmpSpace regions ordered by offset
    KoCriticalSection lock;
    uint32_t flags;
    int fileKeeper; // holds the nameless spill file while its handle is closed; 0 when none

    // cacheSize is rounded down to the nearest allowed size (at least 4,096). With noLock 0 every
    // operation takes the object's critical section; otherwise the caller serialises.
    explicit KoTmpFile(uint16_t cacheSize = 32768, unsigned int noLock = 0);
    // Truncates (removing the file) and releases everything.
    ~KoTmpFile() override;
    KoTmpFile(const KoTmpFile&) = delete;
    KoTmpFile& operator=(const KoTmpFile&) = delete;

    // A new region of len bytes after every region handed out, aligned to 4 bytes and, when it fits
    // in a page, kept inside one page. Never looks at the free list. 0 when the region would not fit
    // below 128 MiB (end is then unchanged).
    uint32_t getContiguousSpace(uint32_t len);
    // Reserves len bytes, first-fit from the free list, else at the end; len 0xFFFFFFFF takes
    // everything from the end on. Creates the cache. 1 when memory is short or the region would not
    // fit below 128 MiB (2701 raised).
    KoStatus tmpFindSpace(uint32_t len, uint32_t* offset);
    // Gives a region back: at the end it moves the end back; regions of 256 bytes or more are kept
    // for reuse and merged with their neighbours; shorter ones are forgotten. Reports nothing.
    void tmpFreeSpace(uint32_t offset, uint32_t len);
    // Copies len bytes into the space and moves the end past them. 1 when memory is short, the file
    // fails (its error raised) or the bytes would pass 128 MiB (2701 raised, nothing copied).
    KoStatus tmpWrite(uint32_t offset, const void* src, uint32_t len);
    // Copies len bytes out of the space. Bytes reserved but never written read as zero.
    KoStatus tmpRead(uint32_t offset, void* dst, uint32_t len);
    // The same in pieces of at most 65,536 bytes, stopping at the first failing piece.
    KoStatus writeHuge(uint32_t offset, const void* src, uint32_t len);
    KoStatus readHuge(uint32_t offset, void* dst, uint32_t len);
    // Reads len bytes into the start of str's buffer (made to hold at least its length + len + 1
    // bytes) and sets its length to len.
    KoStatus read(uint32_t offset, KoString* str, uint32_t len);
    // Loads the page holding offset and gives a pointer to that byte and the bytes from it to the end
    // of its page; forWrite marks the page changed. Valid until the next operation on the object by
    // any thread.
    KoStatus tmpPointer(uint32_t offset, void** pointer, uint16_t* avail, uint16_t forWrite);
    // Closes the file's handle; the contents stay and the next page transfer reopens it.
    void tmpLoseFocus();
    // Back to the state of a new object: cache table, free list and file go (the file's contents with
    // it); the cache memory stays for reuse when keepCache is not 0.
    void tmpTruncate(unsigned int keepCache);

private:
    class Guard;
    uint32_t slotCount() const { return cacheSize / slotSize; }
    KoStatus createCache();
    KoStatus checkRange(uint32_t offset, uint32_t len);
    // The cache half that holds page, loading it unless whole is set (the caller overwrites all of it).
    KoStatus pageFor(uint32_t page, bool whole, unsigned char** half, KoTmpSlot** slot, uint32_t* mark);
    KoStatus writePage(uint32_t page, const unsigned char* from);
    KoStatus loadPage(uint32_t page, unsigned char* into);
    KoStatus openFile();
    void mergeFree();
    void closeFile();
};
