#include "foundation/sync/kosemaphore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "foundation/errors/pertask.h"
#include "foundation/sync/kocriticalsection.h"
#include "foundation/ui/resourcelib.h"
#include "platform/system.h"
#include "platform/window.h"

namespace {

constexpr LONG semaphoreMaximum = 25;

// Waits a moment for another thread to publish what it is building: first by yielding, then, if it
// takes longer (a diagnostic box may be up), by sleeping.
void pause(unsigned& rounds) {
    Sleep(++rounds < 64 ? 0 : 1);
}

bool isMark(const KoSemaphore* s) {
    return s == KO_SEM_NONE || s == KO_SEM_CREATING || s == KO_SEM_DESTROYED;
}

// Slots are shared by every thread that enters them: all their transitions are atomic.
std::atomic_ref<KoSemaphore*> slotOf(KoSemaphore** slot) {
    return std::atomic_ref<KoSemaphore*>(*slot);
}

// Guards the registry (its counters and array) against threads creating and freeing semaphores at
// once. Re-entrant, so the registry's destruction may free semaphores that unregister themselves.
KoCriticalSection& registryLock() {
    alignas(KoCriticalSection) static unsigned char storage[sizeof(KoCriticalSection)];
    static KoCriticalSection* lock = new (static_cast<void*>(storage)) KoCriticalSection(0);
    return *lock;
}

// A decimal setting from the environment; the default when it is unset or holds no digits.
uint32_t readSetting(const char* name, uint32_t fallback) {
    char value[256];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return fallback;
    const char* v = value;
    while (*v == ' ' || *v == '\t')
        ++v;
    if (*v < '0' || *v > '9') return fallback;
    uint64_t n = 0;
    for (; *v >= '0' && *v <= '9'; ++v) {
        n = n * 10 + static_cast<uint64_t>(*v - '0');
        if (n > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(n);
}

// The diagnostic boxes' words, read from the resource library once.
struct Words {
    char settingsCaption[80], createCaption[80], freeCaption[80];
    char yes[40], no[40];
    char switchedOff[40], systemSemaphore[40], limit[40], spinCount[40], spinSleep[40];
};

void loadWord(char* out, size_t size, uint16_t id) {
    unsigned char buffer[512];
    uint16_t n = winGetString(buffer, id);
    if (n >= size) n = static_cast<uint16_t>(size - 1); // cut to the fixed buffer
    std::memcpy(out, buffer, n);
    out[n] = 0;
}

const Words& words() {
    static Words w;
    static std::once_flag once;
    std::call_once(once, [] {
        loadWord(w.settingsCaption, sizeof w.settingsCaption, 1527);
        loadWord(w.createCaption, sizeof w.createCaption, 1528);
        loadWord(w.freeCaption, sizeof w.freeCaption, 1540);
        loadWord(w.yes, sizeof w.yes, 1531);
        loadWord(w.no, sizeof w.no, 1532);
        loadWord(w.switchedOff, sizeof w.switchedOff, 1529);
        loadWord(w.systemSemaphore, sizeof w.systemSemaphore, 1530);
        loadWord(w.limit, sizeof w.limit, 1533);
        loadWord(w.spinCount, sizeof w.spinCount, 1534);
        loadWord(w.spinSleep, sizeof w.spinSleep, 1535);
    });
    return w;
}

void showBox(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

void showSettingsBox(uint32_t flags, uint32_t spinCount, uint32_t spinSleep) {
    const Words& w = words();
    char text[1024];
    std::snprintf(text, sizeof text, "%s: %s\r\n%s: %d\r\n%s: %d\r\n%s: %d\r\n", w.switchedOff,
                  (flags & KoSemaphoreInfo::switchedOff) ? w.yes : w.no, w.limit,
                  static_cast<int>(flags & KoSemaphoreInfo::limitMask), w.spinCount,
                  static_cast<int>(spinCount == 0 ? 1 : spinCount), w.spinSleep, static_cast<int>(spinSleep));
    showBox(text, w.settingsCaption);
}

void showCreateBox(bool created) {
    const Words& w = words();
    char text[1024];
    std::snprintf(text, sizeof text, "%s\r\n%s: %s\r\n", w.createCaption, w.systemSemaphore,
                  created ? w.yes : w.no);
    showBox(text, w.createCaption);
}

void showFreeBox(bool valid) {
    const Words& w = words();
    char text[1024];
    std::snprintf(text, sizeof text, "%s:\n%s: %s\n", w.freeCaption, w.systemSemaphore, valid ? w.yes : w.no);
    showBox(text, w.freeCaption);
}

} // namespace

// ---- entering and leaving ----------------------------------------------------------------------

void koSemaphoreEnter(KoSemaphore** slot) {
    if (!slot) return;
    std::atomic_ref<KoSemaphore*> s = slotOf(slot);
    KoSemaphore* current = s.load(std::memory_order_acquire);
    unsigned rounds = 0;
    for (;;) {
        if (current == KO_SEM_NONE || current == KO_SEM_DESTROYED) {
            // Only the thread that turns the mark into 1 creates the semaphore; the others wait
            // for it below, so no two semaphores exist for one slot and none is entered unlocked.
            if (!s.compare_exchange_weak(current, KO_SEM_CREATING, std::memory_order_acq_rel,
                                         std::memory_order_acquire))
                continue;
            KoSemaphore* made = new KoSemaphore(slot, current);
            s.store(made, std::memory_order_release); // null when memory is short: no lock this time
            current = made;
            break;
        }
        if (current == KO_SEM_CREATING) {
            pause(rounds);
            current = s.load(std::memory_order_acquire);
            continue;
        }
        break;
    }
    if (isMark(current)) return;
    if (current->handle) WaitForSingleObject(current->handle, INFINITE);
    current->owner.store(GetCurrentThreadId(), std::memory_order_relaxed);
}

void koSemaphoreExit(KoSemaphore** slot) {
    if (!slot) return;
    KoSemaphore* current = slotOf(slot).load(std::memory_order_acquire);
    if (isMark(current)) return;
    current->owner.store(0, std::memory_order_relaxed);
    if (current->handle) ReleaseSemaphore(current->handle, 1, nullptr);
}

// ---- KoSemaphore -------------------------------------------------------------------------------

KoSemaphore::KoSemaphore(KoSemaphore** slot, KoSemaphore* previous) {
    if (previous == KO_SEM_DESTROYED) this->slot = slot;
    bosSemaphoreAlloc();
}

KoSemaphore::~KoSemaphore() {
    bosSemaphoreFree();
    if (slot) slotOf(slot).store(KO_SEM_DESTROYED, std::memory_order_release);
}

void KoSemaphore::bosSemaphoreAlloc() {
    info = koSemaphoreInfo();
    bool showSettings = false, diagnostics = false;
    uint32_t flags = 0, spinCount = 0, spinSleep = 0;
    bool create = true;
    if (info) {
        KoCriticalSection& lock = registryLock();
        lock.enter();
        if (!info->initialised) {
            info->readSettings();
            showSettings = (info->flags & KoSemaphoreInfo::diagnostics) != 0;
        }
        flags = info->flags;
        spinCount = info->spinCount;
        spinSleep = info->spinSleep;
        diagnostics = (flags & KoSemaphoreInfo::diagnostics) != 0;
        if (flags & KoSemaphoreInfo::switchedOff)
            create = false;
        else if (info->limit() != 0)
            create = info->remaining > 0;
        if (create) {
            handle = CreateSemaphoreA(nullptr, 1, semaphoreMaximum, nullptr);
            // Only a semaphore that exists uses up the limit; freeing it gives the count back.
            if (handle && info->limit() != 0) --info->remaining;
        }
        valid = handle ? 1 : 0;
        if (!handle) spare = 0;
        info->semaphores.add(this);
        lock.leave();
    } else {
        // Without a registry (memory short) the semaphore still locks; it is just not registered.
        handle = CreateSemaphoreA(nullptr, 1, semaphoreMaximum, nullptr);
        valid = handle ? 1 : 0;
        if (!handle) spare = 0;
    }
    if (showSettings) showSettingsBox(flags, spinCount, spinSleep);
    if (diagnostics) showCreateBox(handle != nullptr);
}

void KoSemaphore::bosSemaphoreFree() {
    if (!info) {
        if (valid == 1) CloseHandle(handle);
        handle = nullptr;
        valid = 0;
        return;
    }
    KoCriticalSection& lock = registryLock();
    lock.enter();
    bool diagnostics = (info->flags & KoSemaphoreInfo::diagnostics) != 0;
    bool wasValid = valid == 1;
    if (wasValid) {
        CloseHandle(handle);
        if (info->limit() != 0) ++info->remaining;
    }
    handle = nullptr;
    valid = 0;
    for (uint32_t i = 0; i < info->semaphores.getCount(); ++i) {
        if (info->semaphores.getAt(i) == this) {
            info->semaphores.removeAtIndex(i);
            break;
        }
    }
    lock.leave();
    if (diagnostics) showFreeBox(wasValid);
}

// ---- SemArray ----------------------------------------------------------------------------------

SemArray::SemArray() = default;

SemArray::~SemArray() = default;

void SemArray::lock() {}

void SemArray::unlock() {}

KoStatus SemArray::addAtIndex(const KoObject* element, uint32_t index) {
    lock();
    KoStatus st = KoArray::addAtIndex(element, index);
    unlock();
    return st;
}

KoStatus SemArray::add(const KoObject* element) {
    lock();
    KoStatus st = KoArray::addAtIndex(element, count);
    unlock();
    return st;
}

void SemArray::deleteContents() {
    lock();
    KoArray::deleteContents();
    unlock();
}

void SemArray::deleteAtIndex(uint32_t index) {
    lock();
    KoArray::deleteAtIndex(index);
    unlock();
}

void SemArray::removeAtIndex(uint32_t index) {
    lock();
    KoArray::removeAtIndex(index);
    unlock();
}

uint32_t SemArray::getCount() {
    lock();
    uint32_t n = count;
    unlock();
    return n;
}

KoObject* SemArray::getAt(uint32_t index) {
    lock();
    KoObject* e = KoArray::getAt(index);
    unlock();
    return e;
}

// ---- KoSemaphoreInfo ---------------------------------------------------------------------------

KoSemaphoreInfo::KoSemaphoreInfo() = default;

KoSemaphoreInfo::~KoSemaphoreInfo() {
    KoCriticalSection& lock = registryLock();
    lock.enter();
    // Each semaphore unregisters itself as it goes and marks a slot it kept.
    while (uint32_t n = semaphores.getCount())
        delete static_cast<KoSemaphore*>(semaphores.getAt(n - 1));
    lock.leave();
}

void KoSemaphoreInfo::readSettings() {
    spinCount = readSetting("KO_SPIN_COUNT", 25);
    spinSleep = readSetting("KO_SPIN_SLEEP", 0);
    flags = readSetting("KO_SEMCONTROL", 0);
    remaining = flags & limitMask;
    initialised = 1;
}

uint32_t KoSemaphoreInfo::limit() const {
    return flags & limitMask;
}

KoSemaphoreInfo* koSemaphoreInfo() {
    std::atomic_ref<void*> slot(*mdsGetPerTaskDataAddress(perTaskSemaphoreInfo));
    void* const building = reinterpret_cast<void*>(1);
    void* current = slot.load(std::memory_order_acquire);
    unsigned rounds = 0;
    for (;;) {
        if (current == nullptr) {
            if (!slot.compare_exchange_weak(current, building, std::memory_order_acq_rel,
                                            std::memory_order_acquire))
                continue;
            auto* info = new KoSemaphoreInfo;
            slot.store(info, std::memory_order_release);
            return info;
        }
        if (current == building) {
            pause(rounds);
            current = slot.load(std::memory_order_acquire);
            continue;
        }
        return static_cast<KoSemaphoreInfo*>(current);
    }
}

void koSemaphoreInfoDestroy() {
    std::atomic_ref<void*> slot(*mdsGetPerTaskDataAddress(perTaskSemaphoreInfo));
    void* current = slot.load(std::memory_order_acquire);
    if (!current || current == reinterpret_cast<void*>(1)) return;
    if (!slot.compare_exchange_strong(current, nullptr, std::memory_order_acq_rel)) return;
    delete static_cast<KoSemaphoreInfo*>(current);
}

// ---- KoPosixSemaphore --------------------------------------------------------------------------

KoPosixSemaphore::KoPosixSemaphore() = default;

KoPosixSemaphore::~KoPosixSemaphore() = default;
