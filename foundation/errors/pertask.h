#pragma once
// Process-wide data slots, the thread table with its per-thread slots, and the library's load and
// unload steps.
#include <atomic>
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"

// The 17 process-wide data slots. Only the named ones have a holder in this library.
enum PerTaskData {
    perTaskSlot0 = 0,
    perTaskSlot1,
    perTaskSlot2,
    perTaskSlot3,
    perTaskFileCache = 4, // state of the paged file cache
    perTaskSlot5,
    perTaskSlot6,
    perTaskSlot7,
    perTaskSlot8,
    perTaskSlot9,
    perTaskSlot10,
    perTaskSemaphoreInfo = 11, // the semaphore information object (1 while it is being built)
    perTaskThreadList = 12,    // head of the thread table
    perTaskSlot13,
    perTaskSlot14,
    perTaskSlot15,
    perTaskSlot16,
    perTaskSlotCount = 17
};

// The 6 slots every thread has in its thread record; slot 0 is its current error list.
enum PerThreadData {
    perThreadErrorList = 0,
    perThreadSlot1,
    perThreadSlot2,
    perThreadSlot3,
    perThreadSlot4,
    perThreadSlot5,
    perThreadSlotCount = 6
};

// One record per thread that has asked for its data, chained from per-task slot 12. Records are
// linked fully built and never unlinked while the library is loaded, so the list can be walked
// without a lock; a record whose thread has ended is marked free and given to the next new thread.
class KO_EXPORT KoThreadInfo : public KoObject {
public:
    std::atomic<KoThreadInfo*> next{nullptr}; // next record, null at the end
    std::atomic<uint32_t> threadId{0};        // the operating system's thread identifier
    void* slots[perThreadSlotCount] = {};     // the per-thread data slots
    std::atomic<int32_t> free{0};             // non-zero: belongs to no thread, may be reused

    explicit KoThreadInfo(uint32_t threadId);
    ~KoThreadInfo() override;
};

// The value of a process-wide slot.
KO_EXPORT void* mdsGetPerTaskData(PerTaskData slot);
// The address of a process-wide slot (for holders that update it in place).
KO_EXPORT void** mdsGetPerTaskDataAddress(PerTaskData slot);
// Stores a value in a process-wide slot. Slots are not locked; each holder guards its own.
KO_EXPORT void mdsSetPerTaskData(PerTaskData slot, const void* value);

// Takes one more reference on the resource library (which the first setup request loads) and
// returns 1 whatever the outcome.
KO_EXPORT unsigned short mdsPerTaskInit();
// Gives one reference on the resource library back.
KO_EXPORT void mdsPerTaskTerm();

// The record of a thread, created (or a free one reused) on first use; null when the thread table
// is not set up or memory is exhausted.
KO_EXPORT KoThreadInfo* getThreadInfo(uint32_t threadId);

// A slot of the calling thread's record; null when the thread has no record and none can be made.
KO_EXPORT void* mdsGetPerThreadData(PerThreadData slot);
// The address of a slot of the calling thread's record; null when no record can be had.
KO_EXPORT void** mdsGetPerThreadDataAddress(PerThreadData slot);
// Stores into a slot of the calling thread's record; 1 (nothing stored) when no record can be had.
KO_EXPORT KoStatus mdsSetPerThreadData(PerThreadData slot, const void* value);

// Library load, from the module's attach: character type of the ANSI code page, all 17 process-wide
// slots cleared, the thread table started with the loading thread's record, and thread records
// released when their threads end. 1 when that record cannot be allocated (the load fails).
KO_EXPORT KoStatus koLibraryLoad();
// Library unload, from the module's detach after the other parts' clean-up: every thread record
// is destroyed and the table emptied.
KO_EXPORT void koLibraryUnload();
