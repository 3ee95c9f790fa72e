#include "platform/handle.h"
#include "platform/system.h"

#include <mutex>
#include <new>
#include <vector>

namespace {

// Handle values: (generation << 32) | (slot + 1) << 2. Slot numbers start at 1 so no handle is null,
// the low two bits stay clear as Windows' do, and no value is INVALID_HANDLE_VALUE.
struct Slot {
    KoHandleObject* object = nullptr;
    uint32_t generation = 1;
};

struct Table {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<uint32_t> free;
};

Table& table() {
    // Built in place, never destroyed: it outlives static destructors (handles may be closed during
    // exit), and its first use cannot fail for lack of memory.
    alignas(Table) static unsigned char storage[sizeof(Table)];
    static Table* t = new (storage) Table;
    return *t;
}

HANDLE encode(uint32_t index, uint32_t generation) {
    uint64_t v = (static_cast<uint64_t>(generation) << 32) | (static_cast<uint64_t>(index + 1) << 2);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(v));
}

// The slot a handle names, or null when it names none that is live; the table's lock is held.
Slot* slotOf(Table& t, HANDLE h) {
    uint64_t v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h));
    if (v & 3) return nullptr;
    uint64_t index = ((v & 0xFFFFFFFFu) >> 2);
    if (index == 0 || index > t.slots.size()) return nullptr;
    Slot& s = t.slots[index - 1];
    if (!s.object || s.generation != static_cast<uint32_t>(v >> 32)) return nullptr;
    return &s;
}

} // namespace

void KoHandleObject::release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

HANDLE koHandleCreate(KoHandleObject* o) {
    if (!o) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    uint32_t index;
    try {
        if (t.free.empty()) {
            if (t.slots.size() >= 0x3FFFFFFFu) throw std::bad_alloc();
            t.free.reserve(t.slots.size() + 1); // a later close never needs to allocate
            t.slots.emplace_back();
            index = static_cast<uint32_t>(t.slots.size() - 1);
        } else {
            index = t.free.back();
            t.free.pop_back();
        }
    } catch (...) {
        o->release();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Slot& s = t.slots[index];
    s.object = o;
    return encode(index, s.generation);
}

KoHandleObject* koHandleAcquire(HANDLE h, KoHandleKind kind) {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Slot* s = slotOf(t, h);
    if (!s || s->object->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    s->object->retain();
    return s->object;
}

KoHandleKind koHandleKindOf(HANDLE h) {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Slot* s = slotOf(t, h);
    return s ? s->object->kind() : KoHandleKind{};
}

bool koHandleClose(HANDLE h, KoHandleKind kind) {
    Table& t = table();
    KoHandleObject* o;
    {
        std::lock_guard<std::mutex> g(t.lock);
        Slot* s = slotOf(t, h);
        if (!s || s->object->kind() != kind) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        o = s->object;
        s->object = nullptr;
        // A slot whose generation would wrap is retired rather than reused, so no old handle
        // can ever name a new object.
        if (++s->generation != 0) t.free.push_back(static_cast<uint32_t>(s - t.slots.data()));
    }
    // Outside the lock: the object's destructor may close other handles.
    o->release();
    return true;
}

uint32_t koHandleCount(KoHandleKind kind) {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    uint32_t n = 0;
    for (const Slot& s : t.slots)
        if (s.object && s.object->kind() == kind) ++n;
    return n;
}

BOOL CloseHandle(HANDLE object) {
    KoHandleKind kind = koHandleKindOf(object);
    if (kind != KoHandleKind::file && kind != KoHandleKind::thread && kind != KoHandleKind::semaphore &&
        kind != KoHandleKind::process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    KoHandleObject* o = koHandleAcquire(object, kind);
    if (!o) return FALSE;
    bool ok = koHandleClose(object, kind) && o->handleClosed();
    o->release();
    return ok ? TRUE : FALSE;
}
