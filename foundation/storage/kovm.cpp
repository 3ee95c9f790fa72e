// The paged file cache: per-task creation, the hash chains, LRU replacement, reads and writes.
#include "foundation/storage/kovm.h"

#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/pertask.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/os/bos.h"
#include "foundation/storage/errormark.h"

namespace {

constexpr uint32_t none = BvmCache::bvmNone;
constexpr uint32_t pageShift = 13;
constexpr uint32_t inPageMask = BvmCache::pageSize - 1;
constexpr int64_t largestOffset = 0x7FFFFFFF;

const uint32_t multipliers[16] = {13, 61, 29, 43, 17, 67, 31, 47, 19, 71, 37, 53, 23, 73, 41, 59};

uint32_t chainOf(int handle, uint32_t page) {
    const uint32_t h = uint32_t(handle);
    return (h + multipliers[h & 15] * (page + 1)) % BvmCache::chainCount;
}

class CacheGuard {
public:
    explicit CacheGuard(BvmCache* c) : c_(c) { c_->lock.enter(); }
    ~CacheGuard() { c_->lock.leave(); }
    CacheGuard(const CacheGuard&) = delete;
    CacheGuard& operator=(const CacheGuard&) = delete;

private:
    BvmCache* c_;
};

uint32_t findPage(const BvmCache* c, int handle, uint32_t page) {
    for (uint32_t i = c->chains[chainOf(handle, page)]; i != none; i = c->entries[i].next)
        if (c->entries[i].handle == handle && c->entries[i].page == page) return i;
    return none;
}

void pushFree(BvmCache* c, uint32_t i) {
    c->entries[i].handle = 0;
    c->entries[i].next = c->freeHead;
    c->freeHead = i;
}

// Takes entry i out of its hash chain and puts it on the free list.
void dropEntry(BvmCache* c, uint32_t i) {
    BvmPage& e = c->entries[i];
    for (uint32_t* link = &c->chains[chainOf(e.handle, e.page)]; *link != none;
         link = &c->entries[*link].next) {
        if (*link == i) {
            *link = e.next;
            break;
        }
    }
    pushFree(c, i);
}

void touch(BvmCache* c, uint32_t i) {
    c->entries[i].stamp = c->useClock++;
}

// A new chunk's 8 entries go onto the free list. 1 when memory is short.
KoStatus addChunk(BvmCache* c) {
    unsigned char* chunk = static_cast<unsigned char*>(ramAlloc(BvmCache::chunkSize));
    if (!chunk) return koFailure;
    c->chunks[c->entriesCreated / BvmCache::pagesPerChunk] = chunk;
    const uint32_t first = c->entriesCreated;
    c->entriesCreated += BvmCache::pagesPerChunk;
    for (uint32_t i = c->entriesCreated; i-- > first;)
        pushFree(c, i);
    return koSuccess;
}

// The least recently used entry; the first of equal stamps wins.
uint32_t oldestEntry(const BvmCache* c) {
    uint32_t best = none;
    for (uint32_t i = 0; i < c->entriesCreated; ++i)
        if (c->entries[i].handle != 0 && (best == none || c->entries[i].stamp < c->entries[best].stamp))
            best = i;
    return best;
}

// An entry to load a page into, or none when the page is to be read straight from the file.
uint32_t takeEntry(BvmCache* c, VmHintType hint) {
    if (c->freeHead == none && c->entriesCreated < c->pageLimit) {
        // Without memory for a chunk the read still gets its bytes, from the file.
        if (addChunk(c) != koSuccess) return none;
    }
    if (c->freeHead != none) {
        uint32_t i = c->freeHead;
        c->freeHead = c->entries[i].next;
        return i;
    }
    if (hint == vmHintNoEvict) return none;
    uint32_t victim = oldestEntry(c);
    if (victim == none) return none; // a cache without room (bvmInit(0)) caches nothing
    dropEntry(c, victim);
    c->freeHead = c->entries[victim].next;
    return victim;
}

// The cached entry of (handle, page), loaded on a miss when possible. *entry is none when the
// piece is to be read straight from the file. 1 when the file failed.
KoStatus lookupForRead(BvmCache* c, int handle, uint32_t page, VmHintType hint, uint32_t* entry) {
    uint32_t i = findPage(c, handle, page);
    if (i != none) {
        ++c->hits;
        touch(c, i);
        *entry = i;
        return koSuccess;
    }
    ++c->misses;
    *entry = none;
    i = takeEntry(c, hint);
    if (i == none) return koSuccess;
    KoErrorMark mark;
    uint32_t got = 0;
    if (bosFileRead(handle, int32_t(page << pageShift), c->pageData(i), BvmCache::pageSize, &got) !=
        koSuccess) {
        // A failed load leaves no page behind.
        pushFree(c, i);
        if (mark.raisedLast(koErrAccessDenied)) {
            mark.dropNew();
            return koSuccess;
        }
        return koFailure;
    }
    if (got == 0) { // past the end of the file: nothing worth keeping
        pushFree(c, i);
        return koSuccess;
    }
    BvmPage& e = c->entries[i];
    e.handle = handle;
    e.page = uint16_t(page);
    e.valid = uint16_t(got);
    const uint32_t chain = chainOf(handle, page);
    e.next = c->chains[chain];
    c->chains[chain] = i;
    touch(c, i);
    *entry = i;
    return koSuccess;
}

void dropHandle(BvmCache* c, int handle) {
    for (uint32_t chain = 0; chain < BvmCache::chainCount; ++chain) {
        uint32_t* link = &c->chains[chain];
        while (*link != none) {
            uint32_t i = *link;
            if (c->entries[i].handle == handle) {
                *link = c->entries[i].next;
                pushFree(c, i);
            } else {
                link = &c->entries[i].next;
            }
        }
    }
}

} // namespace

BvmCache::BvmCache(uint16_t chunkLimit, int lockDisabled)
    : lock(lockDisabled), pageLimit(uint32_t(chunkLimit) * pagesPerChunk) {
    for (uint32_t& head : chains)
        head = bvmNone;
}

BvmCache::~BvmCache() {
    if (chunks)
        for (uint32_t i = 0; i < pageLimit / pagesPerChunk; ++i)
            ramFree(chunks[i]);
    ramFree(chunks);
    ramFree(entries);
}

BvmCache* bvmInit(uint16_t chunks) {
    KoCriticalSection& creation = koStaticCriticalSection(koStaticLockFileCache);
    creation.enter();
    BvmCache* c = static_cast<BvmCache*>(mdsGetPerTaskData(perTaskFileCache));
    if (!c) {
        // A cache made after the static locks were switched off gets no lock of its own either.
        c = new BvmCache(chunks, creation.isDisabled() ? 1 : 0);
        if (c) {
            c->entries = static_cast<BvmPage*>(ramAlloc(c->pageLimit * uint32_t(sizeof(BvmPage))));
            c->chunks = static_cast<unsigned char**>(ramAllocZ(chunks * uint32_t(sizeof(unsigned char*))));
            if (!c->entries || !c->chunks) {
                delete c;
                c = nullptr;
            } else {
                mdsSetPerTaskData(perTaskFileCache, c);
            }
        }
    }
    if (c) ++c->refCount;
    creation.leave();
    return c;
}

void bvmTerm(BvmCache* cache) {
    if (!cache) return;
    KoCriticalSection& creation = koStaticCriticalSection(koStaticLockFileCache);
    creation.enter();
    if (cache->refCount > 0 && --cache->refCount == 0) {
        if (mdsGetPerTaskData(perTaskFileCache) == cache) mdsSetPerTaskData(perTaskFileCache, nullptr);
        delete cache;
    }
    creation.leave();
}

KoStatus bvmFileRead(BvmCache* c, int handle, int32_t offset, void* dst, uint32_t len, uint32_t* got,
                     VmHintType hint) {
    uint32_t dummy;
    if (!got) got = &dummy;
    *got = 0;
    // The current position is the file's business; such reads pass the cache by.
    if (!c || offset < 0) return bosFileRead(handle, offset, dst, len, got);
    CacheGuard g(c);
    unsigned char* to = static_cast<unsigned char*>(dst);
    int64_t pos = offset;
    uint32_t total = 0;
    while (total < len) {
        const uint32_t page = uint32_t(pos >> pageShift);
        const uint32_t in = uint32_t(pos) & inPageMask;
        const uint32_t want = len - total;
        if (page >= BvmCache::cachedPages) {
            // Beyond the cached range: the rest in one read, as far as 32-bit offsets reach.
            uint32_t n = 0;
            KoStatus st =
                pos > largestOffset ? koSuccess : bosFileRead(handle, int32_t(pos), to + total, want, &n);
            total += n;
            *got = total;
            return st;
        }
        const uint32_t piece = want < BvmCache::pageSize - in ? want : BvmCache::pageSize - in;
        uint32_t e = none;
        if (lookupForRead(c, handle, page, hint, &e) != koSuccess) {
            *got = total;
            return koFailure;
        }
        if (e != none && c->entries[e].valid >= in + piece) {
            memcpy(to + total, c->pageData(e) + in, piece);
            total += piece;
            pos += piece;
            continue;
        }
        uint32_t n = 0;
        if (bosFileRead(handle, int32_t(pos), to + total, piece, &n) != koSuccess) {
            *got = total + n;
            return koFailure;
        }
        total += n;
        pos += n;
        if (n < piece) break; // the end of the file
    }
    *got = total;
    return koSuccess;
}

KoStatus bvmFileWrite(BvmCache* c, int handle, int32_t offset, const void* src, uint32_t len) {
    if (!c) return bosFileWrite(handle, offset, src, len);
    CacheGuard g(c);
    if (offset < 0) {
        // Where the current position is is not known here: no cached page of the file may survive.
        dropHandle(c, handle);
        return bosFileWrite(handle, offset, src, len);
    }
    const KoStatus written = bosFileWrite(handle, offset, src, len);
    const unsigned char* from = static_cast<const unsigned char*>(src);
    int64_t pos = offset;
    const int64_t stop = int64_t(offset) + len;
    while (pos < stop && (pos >> pageShift) < BvmCache::cachedPages) {
        const uint32_t page = uint32_t(pos >> pageShift);
        const uint32_t in = uint32_t(pos) & inPageMask;
        const uint32_t piece =
            stop - pos < int64_t(BvmCache::pageSize - in) ? uint32_t(stop - pos) : BvmCache::pageSize - in;
        const uint32_t e = findPage(c, handle, page);
        if (e != none) {
            BvmPage& p = c->entries[e];
            if (written != koSuccess) {
                // The file may hold any part of the new bytes: only the file can tell.
                dropEntry(c, e);
            } else if (in <= p.valid) {
                // A write that starts past the valid bytes leaves a gap the page does not know;
                // such a page keeps what it holds and the rest is read from the file.
                memcpy(c->pageData(e) + in, from + (pos - offset), piece);
                if (in + piece > p.valid) p.valid = uint16_t(in + piece);
            }
        }
        pos += piece;
    }
    return written;
}

KoStatus bvmFlush(BvmCache* c, int handle) {
    if (!c || handle == 0) return koSuccess;
    CacheGuard g(c);
    dropHandle(c, handle);
    return koSuccess;
}

KoStatus bvmFileClose(BvmCache* c, int handle) {
    if (handle == 0) return koSuccess;
    bvmFlush(c, handle);
    return bosFileClose(handle);
}
