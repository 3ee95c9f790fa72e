#include "foundation/errors/pertask.h"

#include <atomic>

#include "foundation/sync/kocriticalsection.h"
#include "foundation/ui/dlldialg.h"
#include "platform/thread.h"

namespace {

// The process-wide slots. Holders reach them through mdsGetPerTaskDataAddress as plain pointers;
// the library's own accesses go through atomic_ref so threads that share a slot (the thread-table
// head, the semaphore registry) see each other's stores whole.
void* perTaskSlots[perTaskSlotCount] = {};

std::atomic_ref<void*> taskSlot(PerTaskData slot) { return std::atomic_ref<void*>(perTaskSlots[slot]); }

KoThreadInfo* threadListHead() {
    return static_cast<KoThreadInfo*>(taskSlot(perTaskThreadList).load(std::memory_order_acquire));
}

bool validTaskSlot(PerTaskData slot) { return slot >= 0 && slot < perTaskSlotCount; }
bool validThreadSlot(PerThreadData slot) { return slot >= 0 && slot < perThreadSlotCount; }

// References on the resource library that mdsPerTaskInit took and mdsPerTaskTerm has to give back.
std::atomic<uint32_t> perTaskReferences{0};

// The first in-use record of threadId, walking without a lock: records are linked only when fully
// built (release) and read with acquire, and their id and free flag are atomic.
KoThreadInfo* findInUse(KoThreadInfo* head, uint32_t threadId) {
    for (KoThreadInfo* r = head; r; r = r->next.load(std::memory_order_acquire)) {
        if (r->free.load(std::memory_order_acquire) == 0 && r->threadId.load(std::memory_order_relaxed) == threadId)
            return r;
    }
    return nullptr;
}

// Called on a thread's end: its record goes back to the pool of free records.
void releaseThreadRecord(DWORD threadId) {
    KoThreadInfo* head = threadListHead();
    if (!head) return;
    KoCriticalSection& lock = koStaticCriticalSection(koStaticLockThreadTable);
    lock.enter();
    if (KoThreadInfo* r = findInUse(head, threadId)) {
        for (void*& s : r->slots) s = nullptr;
        r->free.store(1, std::memory_order_release);
    }
    lock.leave();
}

} // namespace

KoThreadInfo::KoThreadInfo(uint32_t id) : threadId(id) {}

KoThreadInfo::~KoThreadInfo() = default;

void* mdsGetPerTaskData(PerTaskData slot) {
    if (!validTaskSlot(slot)) return nullptr;
    return taskSlot(slot).load(std::memory_order_acquire);
}

void** mdsGetPerTaskDataAddress(PerTaskData slot) {
    if (!validTaskSlot(slot)) return nullptr;
    return &perTaskSlots[slot];
}

void mdsSetPerTaskData(PerTaskData slot, const void* value) {
    if (!validTaskSlot(slot)) return;
    taskSlot(slot).store(const_cast<void*>(value), std::memory_order_release);
}

unsigned short mdsPerTaskInit() {
    // The driver module's instance that would name the library is never set in this library, so
    // only a library already loaded (by the first setup request) is counted; loading one derived
    // from the executable's name would bring unrelated code into the process.
    if (resourceRefCount != 0 && bosLoadResourceDLL(nullptr, 0, &resourceModule, &resourceRefCount) == koSuccess)
        perTaskReferences.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

void mdsPerTaskTerm() {
    uint32_t n = perTaskReferences.load(std::memory_order_relaxed);
    while (n != 0 && !perTaskReferences.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
    if (n != 0) bosFreeResourceDLL(&resourceModule, &resourceRefCount);
}

KoThreadInfo* getThreadInfo(uint32_t threadId) {
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
                for (void*& s : r->slots) s = nullptr;
                r->threadId.store(threadId, std::memory_order_relaxed);
                r->free.store(0, std::memory_order_release);
                found = r;
            } else if ((found = new KoThreadInfo(threadId)) != nullptr) {
                last->next.store(found, std::memory_order_release);
            }
        }
        lock.leave();
    }
    if (found && threadId == GetCurrentThreadId()) koWatchThreadExit();
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

KoStatus koLibraryLoad() {
    // A second load while the table stands keeps it (and the slots' holders) as they are.
    if (threadListHead()) return getThreadInfo(GetCurrentThreadId()) ? koSuccess : koFailure;
    for (int i = 0; i < perTaskSlotCount; ++i) taskSlot(static_cast<PerTaskData>(i)).store(nullptr);
    auto* first = new KoThreadInfo(GetCurrentThreadId());
    if (!first) return koFailure;
    taskSlot(perTaskThreadList).store(first, std::memory_order_release);
    koSetThreadExitHook(releaseThreadRecord);
    koWatchThreadExit();
    return koSuccess;
}

void koLibraryUnload() {
    koSetThreadExitHook(nullptr);
    KoThreadInfo* r = threadListHead();
    taskSlot(perTaskThreadList).store(nullptr, std::memory_order_release);
    while (r) {
        KoThreadInfo* next = r->next.load(std::memory_order_acquire);
        delete r;
        r = next;
    }
}
