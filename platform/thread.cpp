#include "platform/thread.h"
#include "platform/file.h"
#include "platform/handle.h"
#include "platform/oserror.h"
#include "platform/process.h"
#include "platform/system.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <new>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::lock),
              "critical section storage too small");
static_assert(alignof(pthread_mutex_t) <= 16, "critical section storage misaligned");

pthread_mutex_t* mutexOf(LPCRITICAL_SECTION section) {
    return reinterpret_cast<pthread_mutex_t*>(section->lock);
}

// Kernel objects behind a HANDLE, in the layer's one handle table.
struct Object : KoHandleObject {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed;
    explicit Object(KoHandleKind k) : KoHandleObject(k) {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&changed, &attr);
        pthread_condattr_destroy(&attr);
    }
    ~Object() override {
        pthread_cond_destroy(&changed);
        pthread_mutex_destroy(&mutex);
    }
};

struct Semaphore : Object {
    LONG count;
    LONG maximum;
    Semaphore(LONG initial, LONG max) : Object(KoHandleKind::semaphore), count(initial), maximum(max) {}
};

struct Thread : Object {
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    std::atomic<DWORD> id{0};
    Thread() : Object(KoHandleKind::thread) {}
};

// Deadline for a wait of ms milliseconds on CLOCK_MONOTONIC.
timespec deadlineAfter(DWORD ms) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

// Waits on o's condition until ready() holds or the time is up; o's mutex is held by the caller.
template <class Ready> bool waitUntil(Object* o, DWORD ms, Ready ready) {
    if (ready()) return true;
    if (ms == 0) return false;
    if (ms == INFINITE) {
        while (!ready())
            pthread_cond_wait(&o->changed, &o->mutex);
        return true;
    }
    timespec deadline = deadlineAfter(ms);
    while (!ready()) {
        if (pthread_cond_timedwait(&o->changed, &o->mutex, &deadline) == ETIMEDOUT) return ready();
    }
    return true;
}

void* threadMain(void* arg) {
    auto* t = static_cast<Thread*>(arg);
    t->id.store(GetCurrentThreadId());
    DWORD code = t->start(t->parameter);
    pthread_mutex_lock(&t->mutex);
    t->exitCode = code;
    t->ended = true;
    pthread_cond_broadcast(&t->changed);
    pthread_mutex_unlock(&t->mutex);
    t->release(); // the running thread's reference
    return nullptr;
}

// Thread-exit notification through a key whose destructor runs as a watched thread ends. The key
// is deleted when the hook is switched off, so a module about to be unloaded leaves no destructor
// behind; the generation tells a thread that it must ask again after a new key was made.
std::atomic<KoThreadExitHook> exitHook{nullptr};
pthread_mutex_t exitKeyMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_key_t exitKey;
bool exitKeyMade = false;
std::atomic<uint32_t> exitKeyGeneration{0};
thread_local uint32_t watchedGeneration = 0;

void onThreadExit(void* value) {
    watchedGeneration = 0; // a use of the thread's data during its own teardown asks again
    KoThreadExitHook hook = exitHook.load(std::memory_order_acquire);
    if (hook && value) hook(static_cast<DWORD>(reinterpret_cast<uintptr_t>(value)));
}

// Thread identifiers are cached per thread; a forked child's thread has a new one.
thread_local DWORD cachedThreadId = 0;
pthread_once_t forkHandlerOnce = PTHREAD_ONCE_INIT;
void forgetThreadIdInChild() {
    cachedThreadId = 0;
}
void installForkHandler() {
    pthread_atfork(nullptr, nullptr, forgetThreadIdInChild);
}

} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutexOf(section), &attr);
    pthread_mutexattr_destroy(&attr);
    section->OwningThread.store(0, std::memory_order_relaxed);
    section->RecursionCount = 0;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_destroy(mutexOf(section));
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_lock(mutexOf(section));
    section->OwningThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
    ++section->RecursionCount;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (pthread_mutex_trylock(mutexOf(section)) != 0) return FALSE;
    section->OwningThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
    ++section->RecursionCount;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    // Leaving a section the caller does not hold is an error on Windows too; refuse it here rather
    // than corrupt the lock.
    if (section->OwningThread.load(std::memory_order_relaxed) != GetCurrentThreadId()) return;
    if (--section->RecursionCount == 0) section->OwningThread.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(mutexOf(section));
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR name) {
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return koHandleCreate(new (std::nothrow) Semaphore(initialCount, maximumCount));
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG count, LONG* previousCount) {
    auto s = koHandleLookup<Semaphore>(semaphore, KoHandleKind::semaphore);
    if (!s) return FALSE;
    if (count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pthread_mutex_lock(&s->mutex);
    if (count > s->maximum - s->count) {
        pthread_mutex_unlock(&s->mutex);
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (previousCount) *previousCount = s->count;
    s->count += count;
    pthread_cond_broadcast(&s->changed);
    pthread_mutex_unlock(&s->mutex);
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, DWORD* threadId) {
    if (!start || (flags & CREATE_SUSPENDED)) {
        SetLastError(start ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* t = new (std::nothrow) Thread;
    if (!t) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    t->start = start;
    t->parameter = parameter;
    // The handle is made first, so a thread never runs without one that can wait for it.
    t->retain(); // kept across the table entry for the running thread
    HANDLE h = koHandleCreate(t);
    if (!h) {
        t->release();
        return nullptr;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize)
        pthread_attr_setstacksize(&attr, stackSize < static_cast<size_t>(PTHREAD_STACK_MIN)
                                             ? static_cast<size_t>(PTHREAD_STACK_MIN)
                                             : stackSize);
    pthread_t native;
    int rc = pthread_create(&native, &attr, threadMain, t);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        t->release(); // the thread's, never taken
        koHandleClose(h, KoHandleKind::thread);
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : koWindowsErrorOfErrno(rc));
        return nullptr;
    }
    if (threadId) {
        // The identifier is the kernel's, known once the thread runs.
        while (t->id.load() == 0) {
            pthread_mutex_lock(&t->mutex);
            bool ended = t->ended;
            pthread_mutex_unlock(&t->mutex);
            if (ended) break;
            sched_yield();
        }
        *threadId = t->id.load();
    }
    return h;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    auto t = koHandleLookup<Thread>(thread, KoHandleKind::thread);
    if (!t) return FALSE;
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pthread_mutex_lock(&t->mutex);
    *exitCode = t->ended ? t->exitCode : STILL_ACTIVE;
    pthread_mutex_unlock(&t->mutex);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    // The lookup's reference keeps the object alive for the whole wait, even when its handle is
    // closed meanwhile, as Windows keeps an object until its last wait ends.
    switch (koHandleKindOf(object)) {
    case KoHandleKind::semaphore: {
        auto s = koHandleLookup<Semaphore>(object, KoHandleKind::semaphore);
        if (!s) break;
        pthread_mutex_lock(&s->mutex);
        Semaphore* sp = s.get();
        bool got = waitUntil(sp, milliseconds, [sp] { return sp->count > 0; });
        if (got) --sp->count;
        pthread_mutex_unlock(&s->mutex);
        return got ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    case KoHandleKind::thread: {
        auto t = koHandleLookup<Thread>(object, KoHandleKind::thread);
        if (!t) break;
        pthread_mutex_lock(&t->mutex);
        Thread* tp = t.get();
        bool ended = waitUntil(tp, milliseconds, [tp] { return tp->ended; });
        pthread_mutex_unlock(&t->mutex);
        return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    case KoHandleKind::process:
        return koWaitProcess(object, milliseconds);
    default:
        break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

DWORD GetCurrentThreadId() {
    if (cachedThreadId == 0) {
        pthread_once(&forkHandlerOnce, installForkHandler);
        cachedThreadId = static_cast<DWORD>(syscall(SYS_gettid));
    }
    return cachedThreadId;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec t{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}

void koSetThreadExitHook(KoThreadExitHook hook) {
    pthread_mutex_lock(&exitKeyMutex);
    exitHook.store(hook, std::memory_order_release);
    if (hook && !exitKeyMade) {
        exitKeyMade = pthread_key_create(&exitKey, onThreadExit) == 0;
        if (exitKeyMade) exitKeyGeneration.fetch_add(1, std::memory_order_release);
    } else if (!hook && exitKeyMade) {
        pthread_key_delete(exitKey);
        exitKeyMade = false;
    }
    pthread_mutex_unlock(&exitKeyMutex);
}

void koWatchThreadExit() {
    uint32_t generation = exitKeyGeneration.load(std::memory_order_acquire);
    if (watchedGeneration == generation) return;
    pthread_mutex_lock(&exitKeyMutex);
    if (exitKeyMade) {
        pthread_setspecific(exitKey, reinterpret_cast<void*>(static_cast<uintptr_t>(GetCurrentThreadId())));
        watchedGeneration = exitKeyGeneration.load(std::memory_order_relaxed);
    }
    pthread_mutex_unlock(&exitKeyMutex);
}
