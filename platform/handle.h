#pragma once
// The one table of every handle the layer hands out: files, find cursors, threads, semaphores,
// windows, icons and device contexts.
//
// A handle is an opaque value (a slot index and the slot's generation), never a pointer, so a stale
// handle is refused even when its slot has been reused, and a foreign value is never dereferenced.
// Objects are reference-counted as on Windows: the handle holds one reference, and every lookup
// (a read, a wait) holds another for as long as it uses the object, so CloseHandle while another
// thread waits drops only the handle's own and the object lives until the wait ends.
#include <atomic>
#include <cstdint>
#include "platform/types.h"

enum class KoHandleKind : uint8_t {
    file = 1,
    find,
    thread,
    semaphore,
    window,
    icon,
    dc,
    registryKey,
    process
};

class KoHandleObject {
public:
    explicit KoHandleObject(KoHandleKind kind) : kind_(kind) {}
    virtual ~KoHandleObject() = default;
    KoHandleObject(const KoHandleObject&) = delete;
    KoHandleObject& operator=(const KoHandleObject&) = delete;

    KoHandleKind kind() const { return kind_; }
    // One more reference; the caller gives it back with release().
    void retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Gives one reference back; the last one deletes the object.
    void release();
    // True when the caller's reference is the only one left.
    bool soleReference() const { return refs_.load(std::memory_order_acquire) == 1; }
    // Called by CloseHandle after the handle left the table, with a reference still held; the
    // result is CloseHandle's.
    virtual bool handleClosed() { return true; }

private:
    KoHandleKind kind_;
    std::atomic<int32_t> refs_{1}; // the handle's own
};

// Enters o under a new handle; the handle owns the reference o was created with. Null, with
// ERROR_NOT_ENOUGH_MEMORY, when the table cannot grow (o is then released).
HANDLE koHandleCreate(KoHandleObject* o);

// A counted reference to a live handle's object, given back when it goes out of scope.
template <class T> class KoHandleRef {
public:
    KoHandleRef() = default;
    explicit KoHandleRef(T* o) : o_(o) {}
    KoHandleRef(KoHandleRef&& r) noexcept : o_(r.o_) { r.o_ = nullptr; }
    KoHandleRef& operator=(KoHandleRef&& r) noexcept {
        if (this != &r) {
            reset();
            o_ = r.o_;
            r.o_ = nullptr;
        }
        return *this;
    }
    ~KoHandleRef() { reset(); }
    void reset() {
        if (o_) o_->release();
        o_ = nullptr;
    }
    T* get() const { return o_; }
    T* operator->() const { return o_; }
    explicit operator bool() const { return o_ != nullptr; }

private:
    T* o_ = nullptr;
};

// The object of a live handle of that kind, referenced; empty (with ERROR_INVALID_HANDLE) for a
// closed, foreign or other-kind handle.
KoHandleObject* koHandleAcquire(HANDLE h, KoHandleKind kind);
template <class T> KoHandleRef<T> koHandleLookup(HANDLE h, KoHandleKind kind) {
    return KoHandleRef<T>(static_cast<T*>(koHandleAcquire(h, kind)));
}

// The kind of a live handle, or 0 when it is none.
KoHandleKind koHandleKindOf(HANDLE h);

// Takes a live handle of that kind out of the table and drops its own reference; false (with
// ERROR_INVALID_HANDLE) when it was none.
bool koHandleClose(HANDLE h, KoHandleKind kind);

// Live handles of a kind, for diagnostics and tests.
uint32_t koHandleCount(KoHandleKind kind);

// Closes a file, thread, semaphore or process handle, as Windows' one CloseHandle for kernel objects: the
// object goes with its last reference (a running thread goes on; a wait in progress ends as it
// would have). FALSE with ERROR_INVALID_HANDLE for anything else, or a handle closed before.
KO_EXPORT BOOL CloseHandle(HANDLE object);
