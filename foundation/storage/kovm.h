#pragma once
// The paged file cache: a read cache of 8,192-byte pages in front of the bos file functions, one per
// task (process-wide slot perTaskFileCache), shared by every file read through it. Files are told
// apart by their handles, so a file read through the cache must be closed with bvmFileClose (or its
// pages dropped with bvmFlush) before its handle can name another file. The cache never holds bytes
// the file does not: writes go to the file first and then update the cached copies.
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"
#include "foundation/sync/kocriticalsection.h"

// How a read may use the cache.
enum VmHintType : uint32_t {
    vmHintNormal = 0,  // a miss may evict the least recently used page
    vmHintNoEvict = 1, // a full cache keeps its pages; the read goes straight to the file
};

// One cached page.
struct BvmPage {
    int32_t handle; // file handle, 0 while the entry is free
    uint16_t page;  // page number: file offset / 8,192
    uint16_t valid; // bytes of the page that the file held (fewer than 8,192 at its end)
    uint32_t next;  // next entry of the same hash chain or of the free list, bvmNone at the end
    uint64_t stamp; // the use clock at the last hit or load
};

class KO_EXPORT BvmCache : public KoObject {
public:
    static constexpr uint32_t pageSize = 8192;
    static constexpr uint32_t pagesPerChunk = 8;
    static constexpr uint32_t chunkSize = pageSize * pagesPerChunk;
    static constexpr uint32_t chainCount = 97;
    // Pages beyond this are never cached: reads and writes there go straight to the file.
    static constexpr uint32_t cachedPages = 65536;
    static constexpr uint32_t bvmNone = 0xFFFFFFFFu;

    uint64_t useClock = 0;            // stamps uses; 64 bits never wrap, so LRU order stays exact
    KoCriticalSection lock;           // guards reads, writes and flushes
    uint32_t refCount = 0;            // bvmInit calls not yet matched by bvmTerm
    uint32_t pageLimit;               // 8 x the chunks given to bvmInit
    uint32_t entriesCreated = 0;      // entries that have a page slot in an allocated chunk
    uint32_t freeHead = bvmNone;      // first free entry
    BvmPage* entries = nullptr;       // room for pageLimit entries
    uint32_t chains[chainCount];      // first entry of each hash chain
    unsigned char** chunks = nullptr; // pageLimit / 8 chunk pointers, null until allocated
    uint64_t hits = 0;                // page lookups of reads that found the page cached
    uint64_t misses = 0;              // page lookups of reads that had to go to the file

    // An empty cache for up to chunkLimit chunks; lockDisabled gives a lock that does nothing.
    BvmCache(uint16_t chunkLimit, int lockDisabled);
    // Frees the chunks and tables.
    ~BvmCache() override;
    BvmCache(const BvmCache&) = delete;
    BvmCache& operator=(const BvmCache&) = delete;

    // The bytes of entry i.
    unsigned char* pageData(uint32_t i) const {
        return chunks[i / pagesPerChunk] + (i % pagesPerChunk) * pageSize;
    }
};

// The task's cache, created on the first call with room for chunks x 8 pages (0: every read goes to
// the file); every call adds a reference. Null when memory runs out.
KO_EXPORT BvmCache* bvmInit(uint16_t chunks);
// Drops a reference; the last one frees the cache and clears the task's slot.
KO_EXPORT void bvmTerm(BvmCache* cache);
// Reads up to len bytes at offset (-1: the current position, not cached) into dst; *got = bytes
// read, fewer than len only at the end of the file. Pages are served from the cache and loaded into
// it on a miss (unless hint is vmHintNoEvict and the cache is full). A null cache reads straight
// from the file.
KO_EXPORT KoStatus bvmFileRead(BvmCache* cache, int handle, int32_t offset, void* dst, uint32_t len,
                               uint32_t* got, VmHintType hint);
// Writes len bytes at offset through to the file, then updates the cached pages it touches. On a
// failed write the touched pages are dropped, since the file may hold part of the new bytes.
KO_EXPORT KoStatus bvmFileWrite(BvmCache* cache, int handle, int32_t offset, const void* src, uint32_t len);
// Drops every cached page of handle.
KO_EXPORT KoStatus bvmFlush(BvmCache* cache, int handle);
// Handle 0 does nothing; otherwise drops the handle's pages and closes it.
KO_EXPORT KoStatus bvmFileClose(BvmCache* cache, int handle);
