#pragma once
// Threads, critical sections and semaphores with Windows' names and semantics.
#include <atomic>
#include <cstddef>
#include "platform/types.h"
#include "platform/handle.h"

typedef void* LPSECURITY_ATTRIBUTES;
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif
enum : DWORD {
    WAIT_OBJECT_0 = 0x00000000u,
    WAIT_TIMEOUT = 0x00000102u,
    WAIT_FAILED = 0xFFFFFFFFu,
    STILL_ACTIVE = 0x00000103u,
    CREATE_SUSPENDED = 0x00000004u,
};

// A critical section: re-entrant for the thread that holds it, as on Windows. The lock itself lives
// in opaque storage the layer initialises; OwningThread and RecursionCount mirror Windows' fields.
struct KO_EXPORT CRITICAL_SECTION {
    alignas(16) unsigned char lock[64];
    std::atomic<DWORD> OwningThread{0};
    LONG RecursionCount = 0;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

KO_EXPORT void InitializeCriticalSection(LPCRITICAL_SECTION section);
KO_EXPORT void DeleteCriticalSection(LPCRITICAL_SECTION section);
KO_EXPORT void EnterCriticalSection(LPCRITICAL_SECTION section);
// TRUE when the section was taken (or already held by the caller), FALSE when another thread holds it.
KO_EXPORT BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
KO_EXPORT void LeaveCriticalSection(LPCRITICAL_SECTION section);

// A counting semaphore; the name must be null (named semaphores are not offered). Null when the
// counts are invalid (initial < 0, maximum <= 0, initial > maximum) or memory is short.
KO_EXPORT HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                                  LPCSTR name);
// Adds count to the semaphore's count; FALSE, and no change, when that would pass the maximum or
// count is not positive. previousCount (may be null) receives the count before.
KO_EXPORT BOOL ReleaseSemaphore(HANDLE semaphore, LONG count, LONG* previousCount);

// Starts a thread running start(parameter); CREATE_SUSPENDED is not offered. threadId (may be null)
// receives its identifier. The handle is signalled when the thread ends.
KO_EXPORT HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, size_t stackSize,
                              LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, DWORD* threadId);
// The thread's result, or STILL_ACTIVE while it runs.
KO_EXPORT BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Waits until a semaphore can be taken (its count is then lowered by one) or a thread or process has
// ended:
// WAIT_OBJECT_0, WAIT_TIMEOUT after milliseconds (INFINITE: no limit), WAIT_FAILED for a bad handle.
KO_EXPORT DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// The kernel's identifier of the calling thread.
KO_EXPORT DWORD GetCurrentThreadId();
// Suspends the calling thread; 0 gives the rest of its time slice away.
KO_EXPORT void Sleep(DWORD milliseconds);

// Thread-exit notification: once a hook is set, every thread that has called
// koWatchThreadExit() runs hook(its id) when it ends. A null hook switches it off (a module does so
// before it is unloaded); threads still watched then end quietly.
typedef void (*KoThreadExitHook)(DWORD threadId);
KO_EXPORT void koSetThreadExitHook(KoThreadExitHook hook);
// Asks for the hook on the calling thread's end; cheap after the first call on a thread.
KO_EXPORT void koWatchThreadExit();
