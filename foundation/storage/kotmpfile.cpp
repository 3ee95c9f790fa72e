// The temporary file: space management, the two-way page cache and the nameless spill file.
#include "foundation/storage/kotmpfile.h"

#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/os/bos.h"
#include "foundation/os/bosdetach.h"
#include "foundation/storage/errormark.h"
#include "foundation/text/kostring.h"

namespace {

constexpr uint32_t pageShift = 11;
constexpr uint32_t inPageMask = KoTmpFile::pageSize - 1;
constexpr uint32_t nameBufferSize = 256;

// The cache sizes that give a power-of-two number of slots: the given size rounded down to one of
// 4,096 ... 32,768.
uint16_t allowedCacheSize(uint16_t requested) {
    uint32_t size = KoTmpFile::slotSize;
    while (size * 2 <= requested && size < 32768)
        size *= 2;
    return uint16_t(size);
}

TmpSpace* regionAt(const KoSortedArray& list, uint32_t i) {
    return static_cast<TmpSpace*>(list.getAt(i));
}

} // namespace

// Holds the object's critical section for one operation.
class KoTmpFile::Guard {
public:
    explicit Guard(KoTmpFile& f) : lock_(f.lock) { lock_.enter(); }
    ~Guard() { lock_.leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    KoCriticalSection& lock_;
};

TmpSpace::TmpSpace(uint32_t offset, uint32_t length) : offset(offset), length(length) {}

TmpSpace::~TmpSpace() = default;

int16_t TmpSpace::compare(const KoObject* other) const {
    const TmpSpace* o = static_cast<const TmpSpace*>(other);
    if (offset < o->offset) return -1;
    if (offset > o->offset) return 1;
    return 0;
}

KoTmpFile::KoTmpFile(uint16_t size, unsigned int noLock)
    : cacheSize(allowedCacheSize(size)), highestPageWritten(0), end(1), fileHandle(0), fileName(nullptr),
      pagesInFile(0), slotTable(nullptr), cacheMemory(nullptr), lock(noLock ? 1 : 0),
      flags(noLock ? tmpNoLocking : tmpLockInitialised), fileKeeper(0) {
    freeList.flags |= KoArray::ownsElements;
}

KoTmpFile::~KoTmpFile() {
    tmpTruncate(0);
}

KoStatus KoTmpFile::createCache() {
    if (slotTable) return koSuccess;
    if (!cacheMemory) {
        cacheMemory = static_cast<unsigned char*>(ramAlloc(cacheSize));
        if (!cacheMemory) return koFailure;
    }
    KoTmpSlot* table = static_cast<KoTmpSlot*>(ramAlloc(slotCount() * sizeof(KoTmpSlot)));
    if (!table) return koFailure; // the memory is kept, as after a truncation that keeps it
    // Every half starts empty: a half that claimed a page it never loaded would serve wrong bytes.
    for (uint32_t i = 0; i < slotCount(); ++i)
        table[i] = KoTmpSlot{tmpNoPage, tmpNoPage, 0};
    slotTable = table;
    return koSuccess;
}

KoStatus KoTmpFile::checkRange(uint32_t offset, uint32_t len) {
    if (uint64_t(offset) + len <= spaceSize) return koSuccess;
    koRaiseError(koErrOutOfRange) << offset;
    return koFailure;
}

KoStatus KoTmpFile::openFile() {
    if (fileHandle) return koSuccess;
    if (fileName) return bosFileOpen(fileName, bosOpenReadWrite, &fileHandle);
    unsigned char* name = static_cast<unsigned char*>(ramAlloc(nameBufferSize));
    if (!name) return koFailure;
    name[0] = 0;
    int handle = 0;
    if (bosFileOpen(name, bosOpenTempName | bosOpenReadWrite, &handle) != koSuccess) {
        ramFree(name);
        return koFailure;
    }
    // The file loses its name at once: nothing is left behind however the process ends.
    int keeper = 0;
    if (bosFileDetach(name, handle, &keeper) != koSuccess) {
        bosFileClose(handle);
        bosFileDelete(name);
        ramFree(name);
        return koFailure;
    }
    fileName = name;
    fileHandle = handle;
    fileKeeper = keeper;
    return koSuccess;
}

void KoTmpFile::closeFile() {
    if (fileHandle) bosFileClose(fileHandle);
    fileHandle = 0;
    bosFileRelease(fileKeeper);
    fileKeeper = 0;
    ramFree(fileName);
    fileName = nullptr;
}

KoStatus KoTmpFile::writePage(uint32_t page, const unsigned char* from) {
    if (openFile() != koSuccess) return koFailure;
    if (bosFileWrite(fileHandle, int32_t(page * pageSize), from, pageSize) != koSuccess) return koFailure;
    if (page > highestPageWritten) highestPageWritten = page;
    if (page >= pagesInFile) pagesInFile = page + 1;
    return koSuccess;
}

KoStatus KoTmpFile::loadPage(uint32_t page, unsigned char* into) {
    // A page that never reached the file reads as zero, never as another page's leftovers.
    if (page >= pagesInFile) {
        memset(into, 0, pageSize);
        return koSuccess;
    }
    if (openFile() != koSuccess) return koFailure;
    uint32_t got = 0;
    if (bosFileRead(fileHandle, int32_t(page * pageSize), into, pageSize, &got) != koSuccess)
        return koFailure;
    if (got < pageSize) memset(into + got, 0, pageSize - got); // a hole before a later page
    return koSuccess;
}

KoStatus KoTmpFile::pageFor(uint32_t page, bool whole, unsigned char** half, KoTmpSlot** slot,
                            uint32_t* mark) {
    const uint32_t s = page & (slotCount() - 1);
    KoTmpSlot& e = slotTable[s];
    unsigned char* base = cacheMemory + s * slotSize;
    *slot = &e;
    if (e.pageA == page) {
        e.flags &= ~tmpSlotLastB;
        *half = base;
        *mark = tmpSlotChangedA;
        return koSuccess;
    }
    if (e.pageB == page) {
        e.flags |= tmpSlotLastB;
        *half = base + pageSize;
        *mark = tmpSlotChangedB;
        return koSuccess;
    }
    // Replace the half not used last: its page goes out first, the new one comes in second.
    const bool victimA = e.flags & tmpSlotLastB;
    uint32_t& victim = victimA ? e.pageA : e.pageB;
    const uint32_t victimMark = victimA ? tmpSlotChangedA : tmpSlotChangedB;
    unsigned char* mem = victimA ? base : base + pageSize;
    // The changed mark goes only once the page is safely in the file: a failed write loses nothing.
    if ((e.flags & victimMark) && writePage(victim, mem) != koSuccess) return koFailure;
    e.flags &= ~victimMark;
    // From here the half is free; a load that fails leaves it claimed by no page.
    victim = tmpNoPage;
    if (!whole && loadPage(page, mem) != koSuccess) return koFailure;
    victim = page;
    if (victimA)
        e.flags &= ~tmpSlotLastB;
    else
        e.flags |= tmpSlotLastB;
    *half = mem;
    *mark = victimMark;
    return koSuccess;
}

uint32_t KoTmpFile::getContiguousSpace(uint32_t len) {
    Guard g(*this);
    uint64_t at = (uint64_t(end) + 3) & ~uint64_t(3);
    if (pageSize - (at & inPageMask) < len) at = (at + inPageMask) & ~uint64_t(inPageMask);
    if (at + len > spaceSize) return 0;
    end = uint32_t(at + len);
    return uint32_t(at);
}

KoStatus KoTmpFile::tmpFindSpace(uint32_t len, uint32_t* offset) {
    Guard g(*this);
    if (createCache() != koSuccess) return koFailure;
    if (len == 0xFFFFFFFFu) {
        *offset = end;
        end = 0xFFFFFFFFu;
        return koSuccess;
    }
    for (uint32_t i = 0; i < freeList.getCount(); ++i) {
        TmpSpace* r = regionAt(freeList, i);
        if (r->length < len) continue;
        *offset = r->offset;
        if (r->length - len < minFreeRegion) {
            freeList.deleteAtIndex(i);
        } else {
            r->offset += len;
            r->length -= len;
        }
        return koSuccess;
    }
    if (checkRange(end, len) != koSuccess) return koFailure;
    *offset = end;
    end += len;
    return koSuccess;
}

void KoTmpFile::mergeFree() {
    for (uint32_t i = 0; i + 1 < freeList.getCount();) {
        TmpSpace* a = regionAt(freeList, i);
        TmpSpace* b = regionAt(freeList, i + 1);
        if (uint64_t(a->offset) + a->length == b->offset) {
            a->length += b->length;
            freeList.deleteAtIndex(i + 1);
        } else {
            ++i;
        }
    }
    const uint32_t n = freeList.getCount();
    if (n == 0) return;
    TmpSpace* last = regionAt(freeList, n - 1);
    if (uint64_t(last->offset) + last->length == end) {
        end = last->offset;
        freeList.deleteAtIndex(n - 1);
    }
}

void KoTmpFile::tmpFreeSpace(uint32_t offset, uint32_t len) {
    Guard g(*this);
    if (len == 0xFFFFFFFFu || uint64_t(offset) + len == end) {
        end = offset;
        mergeFree();
        return;
    }
    if (len < minFreeRegion) return;
    // Without memory the region is simply not reused; only what this raised leaves the error list.
    KoErrorMark mark;
    TmpSpace* r = new TmpSpace(offset, len);
    if (!r || freeList.add(r) != koSuccess) {
        delete r;
        mark.dropNew();
        return;
    }
    mergeFree();
}

KoStatus KoTmpFile::tmpWrite(uint32_t offset, const void* src, uint32_t len) {
    Guard g(*this);
    if (checkRange(offset, len) != koSuccess || createCache() != koSuccess) return koFailure;
    if (offset + len > end) end = offset + len;
    const unsigned char* from = static_cast<const unsigned char*>(src);
    while (len > 0) {
        const uint32_t in = offset & inPageMask;
        const uint32_t piece = len < pageSize - in ? len : pageSize - in;
        unsigned char* half;
        KoTmpSlot* slot;
        uint32_t mark;
        if (pageFor(offset >> pageShift, piece == pageSize, &half, &slot, &mark) != koSuccess)
            return koFailure;
        memcpy(half + in, from, piece);
        slot->flags |= mark;
        from += piece;
        offset += piece;
        len -= piece;
    }
    return koSuccess;
}

KoStatus KoTmpFile::tmpRead(uint32_t offset, void* dst, uint32_t len) {
    Guard g(*this);
    // Reading before anything was written finds zeros rather than a missing cache.
    if (checkRange(offset, len) != koSuccess || createCache() != koSuccess) return koFailure;
    unsigned char* to = static_cast<unsigned char*>(dst);
    while (len > 0) {
        const uint32_t in = offset & inPageMask;
        const uint32_t piece = len < pageSize - in ? len : pageSize - in;
        unsigned char* half;
        KoTmpSlot* slot;
        uint32_t mark;
        if (pageFor(offset >> pageShift, false, &half, &slot, &mark) != koSuccess) return koFailure;
        memcpy(to, half + in, piece);
        to += piece;
        offset += piece;
        len -= piece;
    }
    return koSuccess;
}

KoStatus KoTmpFile::writeHuge(uint32_t offset, const void* src, uint32_t len) {
    const unsigned char* from = static_cast<const unsigned char*>(src);
    while (len > 0) {
        const uint32_t piece = len < hugePiece ? len : hugePiece;
        if (tmpWrite(offset, from, piece) != koSuccess) return koFailure;
        from += piece;
        offset += piece;
        len -= piece;
    }
    return koSuccess;
}

KoStatus KoTmpFile::readHuge(uint32_t offset, void* dst, uint32_t len) {
    unsigned char* to = static_cast<unsigned char*>(dst);
    while (len > 0) {
        const uint32_t piece = len < hugePiece ? len : hugePiece;
        if (tmpRead(offset, to, piece) != koSuccess) return koFailure;
        to += piece;
        offset += piece;
        len -= piece;
    }
    return koSuccess;
}

KoStatus KoTmpFile::read(uint32_t offset, KoString* str, uint32_t len) {
    Guard g(*this);
    const uint64_t need = uint64_t(str->length) + len + 1;
    if (need > 0xFFFFFFFFu || str->reserve(uint32_t(need)) != koSuccess) return koFailure;
    if (tmpRead(offset, str->text, len) != koSuccess) return koFailure;
    str->length = len;
    str->text[len] = 0;
    return koSuccess;
}

KoStatus KoTmpFile::tmpPointer(uint32_t offset, void** pointer, uint16_t* avail, uint16_t forWrite) {
    Guard g(*this);
    if (checkRange(offset, 1) != koSuccess || createCache() != koSuccess) return koFailure;
    unsigned char* half;
    KoTmpSlot* slot;
    uint32_t mark;
    if (pageFor(offset >> pageShift, false, &half, &slot, &mark) != koSuccess) return koFailure;
    if (forWrite) slot->flags |= mark;
    const uint32_t in = offset & inPageMask;
    *pointer = half + in;
    *avail = uint16_t(pageSize - in);
    return koSuccess;
}

void KoTmpFile::tmpLoseFocus() {
    Guard g(*this);
    KoErrorMark mark;
    if (fileHandle && bosFileClose(fileHandle) != koSuccess) mark.dropNew();
    fileHandle = 0;
}

void KoTmpFile::tmpTruncate(unsigned int keepCache) {
    Guard g(*this);
    KoErrorMark mark;
    ramFree(slotTable);
    slotTable = nullptr;
    if (!keepCache) {
        ramFree(cacheMemory);
        cacheMemory = nullptr;
    }
    freeList.deleteContents();
    closeFile();
    mark.dropNew();
    end = 1;
    highestPageWritten = 0;
    pagesInFile = 0;
}
