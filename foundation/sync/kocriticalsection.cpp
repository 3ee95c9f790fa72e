#include "foundation/sync/kocriticalsection.h"

#include <new>

KoCriticalSection::KoCriticalSection(int disabled) {
    if (disabled == 0) {
        InitializeCriticalSection(&section);
        flags.store(initialised, std::memory_order_relaxed);
    } else {
        flags.store(KoCriticalSection::disabled, std::memory_order_relaxed);
    }
}

KoCriticalSection::~KoCriticalSection() {
    if (flags.load(std::memory_order_relaxed) & initialised) DeleteCriticalSection(&section);
}

void KoCriticalSection::enter() {
    if (flags.load(std::memory_order_acquire) & disabled) return;
    EnterCriticalSection(&section);
}

void KoCriticalSection::leave() {
    uint32_t f = flags.load(std::memory_order_acquire);
    if (!(f & initialised)) return;
    // Once disabled, only a thread that still holds the section from before gives it back.
    if ((f & disabled) && section.OwningThread.load(std::memory_order_relaxed) != GetCurrentThreadId())
        return;
    LeaveCriticalSection(&section);
}

void KoCriticalSection::disable() {
    flags.fetch_or(disabled, std::memory_order_acq_rel);
}

bool KoCriticalSection::isDisabled() const {
    return (flags.load(std::memory_order_acquire) & disabled) != 0;
}

namespace {
// Built on first use and never destroyed: threads may still pass through them while the process
// runs its exit handlers.
KoCriticalSection* staticLocks() {
    alignas(KoCriticalSection) static unsigned char storage[4][sizeof(KoCriticalSection)];
    static KoCriticalSection* locks = [] {
        for (auto& s : storage)
            new (static_cast<void*>(s)) KoCriticalSection(0);
        return reinterpret_cast<KoCriticalSection*>(storage[0]);
    }();
    return locks;
}
} // namespace

KoCriticalSection& koStaticCriticalSection(KoStaticLock which) {
    auto* base = reinterpret_cast<unsigned char*>(staticLocks());
    return *std::launder(
        reinterpret_cast<KoCriticalSection*>(base + static_cast<size_t>(which) * sizeof(KoCriticalSection)));
}

KoCriticalSection& koInstallerProfileLock() {
    return koStaticCriticalSection(koStaticLockInstaller);
}

void koDisableStaticCriticalSections() {
    koStaticCriticalSection(koStaticLockThreadTable).disable();
    koStaticCriticalSection(koStaticLockFileCache).disable();
    koStaticCriticalSection(koStaticLockSpare).disable();
}
