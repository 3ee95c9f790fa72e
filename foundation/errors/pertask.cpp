#include "foundation/errors/pertask.h"

#include <atomic>

#include "foundation/errors/perthred.h"
#include "foundation/ui/resourcelib.h"
#include "platform/thread.h"

namespace {

// The process-wide slots. Holders reach them through mdsGetPerTaskDataAddress as plain pointers;
// the library's own accesses go through atomic_ref so threads that share a slot (the thread-table
// head, the semaphore registry) see each other's stores whole.
void* perTaskSlots[perTaskSlotCount] = {};

std::atomic_ref<void*> taskSlot(PerTaskData slot) {
    return std::atomic_ref<void*>(perTaskSlots[slot]);
}

bool validTaskSlot(PerTaskData slot) {
    return slot >= 0 && slot < perTaskSlotCount;
}

// References on the resource library that mdsPerTaskInit took and mdsPerTaskTerm has to give back.
std::atomic<uint32_t> perTaskReferences{0};

} // namespace

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
    if (koResourceAddRef() == koSuccess) perTaskReferences.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

void mdsPerTaskTerm() {
    uint32_t n = perTaskReferences.load(std::memory_order_relaxed);
    while (n != 0 && !perTaskReferences.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
    if (n != 0) koResourceRelease();
}

KoStatus koLibraryLoad() {
    // A second load while the table stands keeps it (and the slots' holders) as they are.
    if (static_cast<KoThreadInfo*>(mdsGetPerTaskData(perTaskThreadList)))
        return getThreadInfo(GetCurrentThreadId()) ? koSuccess : koFailure;
    // The character type of the ANSI code page needs no step here: the platform classifies
    // characters by that code page for the library without touching the host's locale.
    for (int i = 0; i < perTaskSlotCount; ++i)
        taskSlot(static_cast<PerTaskData>(i)).store(nullptr);
    auto* first = new KoThreadInfo(GetCurrentThreadId());
    if (!first) return koFailure;
    koThreadTableChanged();
    taskSlot(perTaskThreadList).store(first, std::memory_order_release);
    koSetThreadExitHook(koReleaseThreadRecord);
    koWatchThreadExit();
    return koSuccess;
}

void koLibraryUnload() {
    koSetThreadExitHook(nullptr);
    KoThreadInfo* r = static_cast<KoThreadInfo*>(mdsGetPerTaskData(perTaskThreadList));
    taskSlot(perTaskThreadList).store(nullptr, std::memory_order_release);
    koThreadTableChanged();
    while (r) {
        KoThreadInfo* next = r->next.load(std::memory_order_acquire);
        delete r;
        r = next;
    }
}
