#pragma once
// Lazily created semaphores addressed through a caller's slot, and the process-wide registry that
// reads their settings from the environment.
#include <atomic>
#include <cstdint>
#include "foundation/containers/koarray.h"
#include "foundation/containers/koobject.h"
#include "platform/thread.h"

class KoSemaphoreInfo;

// Values a semaphore slot (a KoSemaphore* variable) holds besides a semaphore.
#define KO_SEM_NONE (reinterpret_cast<KoSemaphore*>(0))      // no semaphore yet
#define KO_SEM_CREATING (reinterpret_cast<KoSemaphore*>(1))  // being created right now
#define KO_SEM_DESTROYED (reinterpret_cast<KoSemaphore*>(2)) // destroyed; the next enter creates one

// One semaphore with a count of one (maximum 25), created by the first enter of its slot.
class KO_EXPORT KoSemaphore : public KoObject {
public:
    std::atomic<uint32_t> owner{0}; // thread that last entered; 0 after exit
    uint32_t valid = 0;             // 1 when an operating-system semaphore exists
    HANDLE handle = nullptr;        // the operating-system semaphore, or null
    uint32_t spare = 0;             // 0 when no semaphore exists
    KoSemaphore** slot = nullptr;   // kept only when created from a slot that held the mark 2
    KoSemaphoreInfo* info = nullptr;

    // Keeps slot when previous is the mark 2, then allocates the operating-system semaphore.
    KoSemaphore(KoSemaphore** slot, KoSemaphore* previous);
    // Frees the operating-system semaphore; writes the mark 2 back into a kept slot.
    ~KoSemaphore() override;

    // Creates the handle under the registry's settings and registers the semaphore.
    void bosSemaphoreAlloc();
    // Closes the handle, gives the limit back and unregisters the semaphore.
    void bosSemaphoreFree();
};

// Creates the slot's semaphore on first use (0 or 2 in the slot), then waits on it. A thread that
// finds the semaphore being created waits until it is there and enters it too.
KO_EXPORT void koSemaphoreEnter(KoSemaphore** slot);
// Releases the slot's semaphore; nothing for a slot without one.
KO_EXPORT void koSemaphoreExit(KoSemaphore** slot);

// Every live KoSemaphore of the process. Each operation runs between the two calls of a lock hook,
// which does nothing.
class KO_EXPORT SemArray : public KoArray {
public:
    uint32_t lockState = 0;

    SemArray();
    ~SemArray() override;

    KoStatus addAtIndex(const KoObject* element, uint32_t index);
    KoStatus add(const KoObject* element);
    void deleteContents() override;
    void deleteAtIndex(uint32_t index) override;
    void removeAtIndex(uint32_t index);
    uint32_t getCount();
    KoObject* getAt(uint32_t index);

private:
    void lock();
    void unlock();
};

// The process's semaphore registry and settings (per-task slot 11), read from the environment once.
class KO_EXPORT KoSemaphoreInfo : public KoObject {
public:
    enum : uint32_t {
        limitMask = 0x000000FFu,   // limit on operating-system semaphores; 0: none
        diagnostics = 0x00010000u, // message boxes at set-up and for each semaphore made and freed
        switchedOff = 0x00080000u, // no operating-system semaphores: every semaphore is a no-op
    };

    uint32_t spinSleep = 0;   // KO_SPIN_SLEEP, default 0
    uint32_t spinCount = 0;   // KO_SPIN_COUNT, default 25
    uint32_t remaining = 0;   // semaphores that may still be created under a limit
    uint32_t flags = 0;       // KO_SEMCONTROL
    uint32_t initialised = 0; // 1 once the environment has been read
    SemArray semaphores;

    KoSemaphoreInfo();
    // Deletes every registered semaphore, last first.
    ~KoSemaphoreInfo() override;

    // Reads KO_SPIN_COUNT, KO_SPIN_SLEEP and KO_SEMCONTROL; shows the settings box with diagnostics.
    void readSettings();
    uint32_t limit() const;
};

// The process's registry, created on first use (null when memory is short).
KO_EXPORT KoSemaphoreInfo* koSemaphoreInfo();
// Deletes the process's registry and every semaphore in it; from the module's detach.
KO_EXPORT void koSemaphoreInfoDestroy();

// A placeholder with no state of its own.
class KO_EXPORT KoPosixSemaphore : public KoObject {
public:
    KoPosixSemaphore();
    ~KoPosixSemaphore() override;
};
