#include "foundation/errors/perthred.h"

#include "foundation/sync/kocriticalsection.h"
#include "platform/thread.h"

namespace {

KoThreadInfo* threadListHead() {
    return static_cast<KoThreadInfo*>(mdsGetPerTaskData(perTaskThreadList));
}

bool validThreadSlot(PerThreadData slot) {
    return slot >= 0 && slot < perThreadSlotCount;
}

// The first in-use record of threadId, walking without a lock: records are linked only when fully
// built (release) and read with acquire, and their id and free flag are atomic.
KoThreadInfo* findInUse(KoThreadInfo* head, uint32_t threadId) {
    for (KoThreadInfo* r = head; r; r = r->next.load(std::memory_order_acquire)) {
        if (r->free.load(std::memory_order_acquire) == 0 &&
            r->threadId.load(std::memory_order_relaxed) == threadId)
            return r;
    }
    return nullptr;
}

// Each thread remembers its own record, so the common lookup skips the walk. The generation
// changes whenever the table is built or torn down, which makes every remembered record stale.
std::atomic<uint32_t> tableGeneration{1};
struct RememberedRecord {
    uint32_t generation = 0;
    KoThreadInfo* record = nullptr;
};
thread_local RememberedRecord remembered;

} // namespace

void koThreadTableChanged() {
    tableGeneration.fetch_add(1, std::memory_order_acq_rel);
}

// Called on a thread's end: its record goes back to the pool of free records.
void koReleaseThreadRecord(uint32_t threadId) {
    KoThreadInfo* head = threadListHead();
    if (!head) return;
    KoCriticalSection& lock = koStaticCriticalSection(koStaticLockThreadTable);
    lock.enter();
    if (KoThreadInfo* r = findInUse(head, threadId)) {
        for (void*& s : r->slots)
            s = nullptr;
        r->free.store(1, std::memory_order_release);
    }
    lock.leave();
}

KoThreadInfo::KoThreadInfo(uint32_t id) : threadId(id) {}

KoThreadInfo::~KoThreadInfo() = default;

KoThreadInfo* getThreadInfo(uint32_t threadId) {
    bool self = threadId == GetCurrentThreadId();
    uint32_t generation = tableGeneration.load(std::memory_order_acquire);
    if (self && remembered.generation == generation) {
        // Only this thread's end frees its record, and then the flag tells.
        KoThreadInfo* r = remembered.record;
        if (r->free.load(std::memory_order_acquire) == 0 &&
            r->threadId.load(std::memory_order_relaxed) == threadId)
            return r;
    }
    KoThreadInfo* head = threadListHead();
    if (!head) return nullptr;
    KoThreadInfo* found = findInUse(head, threadId);
    if (!found) {
        KoCriticalSection& lock = koStaticCriticalSection(koStaticLockThreadTable);
        lock.enter();
        // Another thread may have made the record while this one waited for the lock.
        found = findInUse(head, threadId);
        if (!found) {
            KoThreadInfo* last = head;
            KoThreadInfo* r = head;
            while (r && r->free.load(std::memory_order_acquire) == 0) {
                last = r;
                r = r->next.load(std::memory_order_acquire);
            }
            if (r) {
                for (void*& s : r->slots)
                    s = nullptr;
                r->threadId.store(threadId, std::memory_order_relaxed);
                r->free.store(0, std::memory_order_release);
                found = r;
            } else if ((found = new KoThreadInfo(threadId)) != nullptr) {
                last->next.store(found, std::memory_order_release);
            }
        }
        lock.leave();
    }
    if (found && self) {
        koWatchThreadExit();
        remembered.generation = generation;
        remembered.record = found;
    }
    return found;
}

void* mdsGetPerThreadData(PerThreadData slot) {
    if (!validThreadSlot(slot)) return nullptr;
    KoThreadInfo* info = getThreadInfo(GetCurrentThreadId());
    return info ? info->slots[slot] : nullptr;
}

void** mdsGetPerThreadDataAddress(PerThreadData slot) {
    if (!validThreadSlot(slot)) return nullptr;
    KoThreadInfo* info = getThreadInfo(GetCurrentThreadId());
    return info ? &info->slots[slot] : nullptr;
}

KoStatus mdsSetPerThreadData(PerThreadData slot, const void* value) {
    void** address = mdsGetPerThreadDataAddress(slot);
    if (!address) return koFailure;
    *address = const_cast<void*>(value);
    return koSuccess;
}
