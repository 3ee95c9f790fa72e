#pragma once
// The library's critical sections: a thin object over the platform's re-entrant critical section,
// and the four static ones.
#include <atomic>
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "platform/thread.h"

class KO_EXPORT KoCriticalSection : public KoObject {
public:
    enum : uint32_t {
        initialised = 0x01, // the critical section exists and is deleted with the object
        disabled = 0x02,    // enter and leave do nothing
    };

    CRITICAL_SECTION section;
    std::atomic<uint32_t> flags{0};

    // disabled 0: a working critical section; otherwise one whose enter and leave do nothing.
    explicit KoCriticalSection(int disabled = 0);
    ~KoCriticalSection() override;
    KoCriticalSection(const KoCriticalSection&) = delete;
    KoCriticalSection& operator=(const KoCriticalSection&) = delete;

    // Waits for the section; re-entrant for the thread that holds it.
    void enter();
    // Gives one level back. A thread that entered before the section was disabled still leaves it,
    // so switching it off never leaves it held.
    void leave();
    // Switches enter and leave off.
    void disable();
    bool isDisabled() const;
};

// The library's four static critical sections. They live for the whole process.
enum KoStaticLock {
    koStaticLockThreadTable = 0, // the thread table
    koStaticLockFileCache = 1,   // the paged file cache
    koStaticLockInstaller = 2,   // the installer profile binding; never disabled
    koStaticLockSpare = 3,       // entered by nothing in the library
};
KO_EXPORT KoCriticalSection& koStaticCriticalSection(KoStaticLock which);
// The installer profile binding's lock.
KO_EXPORT KoCriticalSection& koInstallerProfileLock();

// Switches off the static critical sections of the thread table, the paged file cache and the spare
// one; the installer binding's stays. For a host, for example before it unloads the library.
KO_EXPORT void koDisableStaticCriticalSections();
