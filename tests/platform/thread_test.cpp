#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_EQ(cs.RecursionCount, 2) << "recursion count after two enters";
    EXPECT_EQ(cs.OwningThread.load(), GetCurrentThreadId());
    BOOL other = TRUE;
    std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
    EXPECT_FALSE(other) << "another thread entered a held section";
    LeaveCriticalSection(&cs);
    std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
    EXPECT_FALSE(other) << "the section was free after one leave of two enters";
    LeaveCriticalSection(&cs);
    EXPECT_EQ(cs.OwningThread.load(), 0u);
    std::thread([&] {
        other = TryEnterCriticalSection(&cs);
        if (other) LeaveCriticalSection(&cs);
    }).join();
    EXPECT_TRUE(other) << "the section stayed held after the last leave";
    DeleteCriticalSection(&cs);
}

TEST(CriticalSection, LeaveByANonOwnerIsRefused) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    std::thread([&] { LeaveCriticalSection(&cs); }).join();
    EXPECT_EQ(cs.RecursionCount, 1);
    EXPECT_EQ(cs.OwningThread.load(), GetCurrentThreadId());
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(CriticalSection, KeepsACounterExactUnderContention) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    long counter = 0;
    std::vector<std::thread> ts;
    for (int t = 0; t < 4; ++t)
        ts.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&cs);
                long v = counter;
                counter = v + 1;
                LeaveCriticalSection(&cs);
            }
        });
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(counter, 80000);
    DeleteCriticalSection(&cs);
}

TEST(Semaphore, CountsAndRefusesToPassItsMaximum) {
    EXPECT_EQ(CreateSemaphoreA(nullptr, 2, 1, nullptr), nullptr) << "initial above maximum";
    EXPECT_EQ(CreateSemaphoreA(nullptr, -1, 1, nullptr), nullptr);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 0, 0, nullptr), nullptr);
    HANDLE s = CreateSemaphoreA(nullptr, 1, 3, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(s, 50), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(ReleaseSemaphore(s, 2, &previous)) << "2 + 2 passes the maximum 3";
    EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(previous, 2);
    EXPECT_FALSE(ReleaseSemaphore(s, 0, nullptr));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(s));
    EXPECT_EQ(CreateSemaphoreA(nullptr, 1, 1, "named"), nullptr);
}

TEST(Semaphore, ReleaseWakesAWaiter) {
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    ASSERT_NE(s, nullptr);
    std::atomic<bool> woke{false};
    std::thread t([&] {
        EXPECT_EQ(WaitForSingleObject(s, INFINITE), WAIT_OBJECT_0);
        woke = true;
    });
    Sleep(20);
    EXPECT_FALSE(woke.load());
    EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));
    t.join();
    EXPECT_TRUE(woke.load());
    CloseHandle(s);
}

DWORD returnParameter(LPVOID p) {
    Sleep(10);
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p));
}

TEST(Thread, RunsSignalsItsEndAndKeepsItsExitCode) {
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, returnParameter, reinterpret_cast<LPVOID>(uintptr_t(77)), 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 77u);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
    EXPECT_TRUE(CloseHandle(t));
    EXPECT_EQ(CreateThread(nullptr, 0, returnParameter, nullptr, CREATE_SUSPENDED, nullptr), nullptr);
}

DWORD waitForFlag(LPVOID p) {
    auto* flag = static_cast<std::atomic<bool>*>(p);
    while (!flag->load())
        Sleep(1);
    return 5;
}

TEST(Thread, WaitTimesOutWhileRunningAndHandleMayCloseFirst) {
    std::atomic<bool> stop{false};
    HANDLE t = CreateThread(nullptr, 64 * 1024, waitForFlag, &stop, 0, nullptr);
    ASSERT_NE(t, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(t, 10), WAIT_TIMEOUT);
    stop = true;
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CloseHandle(t);

    // Closing the handle of a running thread lets it run on to its end.
    static std::atomic<bool> stop2{false}, ended2{false};
    HANDLE t2 = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            while (!stop2.load())
                Sleep(1);
            ended2 = true;
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(t2, nullptr);
    EXPECT_TRUE(CloseHandle(t2));
    stop2 = true;
    for (int i = 0; i < 5000 && !ended2.load(); ++i)
        Sleep(1);
    EXPECT_TRUE(ended2.load());
}

TEST(Thread, BadHandlesAreRefused) {
    int notAHandle[16] = {};
    EXPECT_EQ(WaitForSingleObject(notAHandle, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(ReleaseSemaphore(nullptr, 1, nullptr));
    DWORD code;
    EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
}

TEST(Thread, IdentifiersAreDistinctAndStable) {
    std::set<DWORD> ids;
    DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(GetCurrentThreadId(), mine);
    ids.insert(mine);
    std::vector<std::thread> ts;
    std::vector<DWORD> got(8);
    for (int i = 0; i < 8; ++i)
        ts.emplace_back([&got, i] { got[i] = GetCurrentThreadId(); });
    for (auto& t : ts)
        t.join();
    for (DWORD id : got)
        ids.insert(id);
    EXPECT_EQ(ids.size(), 9u);
}

std::atomic<int> hookCalls{0};
std::atomic<DWORD> hookLastId{0};
void countExit(DWORD id) {
    hookCalls.fetch_add(1);
    hookLastId.store(id);
}

TEST(Thread, ExitHookRunsForWatchedThreadsOnly) {
    koSetThreadExitHook(countExit);
    hookCalls = 0;
    DWORD watchedId = 0;
    std::thread([&] {
        watchedId = GetCurrentThreadId();
        koWatchThreadExit();
        koWatchThreadExit(); // asking twice still gives one call
    }).join();
    std::thread([] {}).join();
    EXPECT_EQ(hookCalls.load(), 1);
    EXPECT_EQ(hookLastId.load(), watchedId);
    koSetThreadExitHook(nullptr);
    std::thread([] { koWatchThreadExit(); }).join();
    EXPECT_EQ(hookCalls.load(), 1) << "a switched-off hook ran";
}

} // namespace
