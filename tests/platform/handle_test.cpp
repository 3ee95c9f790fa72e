#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "platform/win32.h"
#include "tests/support/support.h"

TEST(Handles, CloseHandleClosesEachHandleOnceAndRefusesStrangers) {
    kotest::TempDir dir;
    std::string name = dir.file("f.txt");
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(f));
    EXPECT_FALSE(CloseHandle(f)) << "a closed handle is no handle";
    // The exclusive open is over: the file can be opened exclusively again.
    HANDLE g =
        CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(g, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(g));

    HANDLE s = CreateSemaphoreA(nullptr, 1, 25, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(CloseHandle(s));
    EXPECT_FALSE(CloseHandle(s));
    EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr)) << "nor can it be used";
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_FAILED);

    int notAHandle = 0;
    EXPECT_FALSE(CloseHandle(&notAHandle));
    EXPECT_FALSE(CloseHandle(nullptr));
}

// Windows keeps a kernel object until its last wait ends: closing a semaphore while another thread
// waits on it must neither free it under the waiter nor wake the waiter with success.
TEST(Handles, ClosingAHandleWhileAnotherThreadWaitsOnItKeepsTheObjectAlive) {
    for (int round = 0; round < 200; ++round) {
        HANDLE s = CreateSemaphoreA(nullptr, 0, 1, nullptr);
        ASSERT_NE(s, nullptr);
        std::atomic<int> started{0};
        DWORD result = 0;
        std::thread waiter([&] {
            started = 1;
            result = WaitForSingleObject(s, round % 2 ? 5 : 0);
        });
        while (!started)
            std::this_thread::yield();
        EXPECT_TRUE(CloseHandle(s));
        waiter.join();
        // Either the wait began before the close (and timed out) or after it (a closed handle).
        EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED) << "round " << round << ": " << result;
    }
    // A thread handle closed while another thread waits for the thread's end.
    for (int round = 0; round < 50; ++round) {
        HANDLE t = CreateThread(
            nullptr, 0, [](LPVOID) -> DWORD { return Sleep(1), 7; }, nullptr, 0, nullptr);
        ASSERT_NE(t, nullptr);
        DWORD result = 0;
        std::thread waiter([&] { result = WaitForSingleObject(t, INFINITE); });
        CloseHandle(t);
        waiter.join();
        EXPECT_TRUE(result == WAIT_OBJECT_0 || result == WAIT_FAILED) << result;
    }
}

// Handles are opaque: a closed handle stays refused after its slot is reused by a new object, and
// a handle of one kind is refused where another kind is expected.
TEST(Handles, AStaleHandleNeverNamesTheObjectThatReusedItsSlot) {
    HANDLE first = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(CloseHandle(first));
    HANDLE second = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "the new object is untouched";
    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindNextFileA(second, &data)) << "a semaphore is no search";
    EXPECT_FALSE(FindClose(second));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// A file handle closed while another thread reads through it: the read finishes on the file it
// started on, and the descriptor is released afterwards.
TEST(Handles, AFileClosedDuringReadsIsReleasedWithTheLastReference) {
    kotest::TempDir dir;
    std::string name = dir.file("r.bin");
    std::string bytes(1 << 16, 'x');
    {
        HANDLE w = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(w, bytes.data(), DWORD(bytes.size()), &n, nullptr));
        ASSERT_TRUE(CloseHandle(w));
    }
    for (int round = 0; round < 50; ++round) {
        HANDLE r = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(r, INVALID_HANDLE_VALUE);
        std::thread reader([r] {
            char buf[4096];
            DWORD got = 1;
            while (got && ReadFile(r, buf, sizeof buf, &got, nullptr)) {
                for (DWORD i = 0; i < got; ++i)
                    ASSERT_EQ(buf[i], 'x');
            }
        });
        EXPECT_TRUE(CloseHandle(r));
        reader.join();
    }
    EXPECT_EQ(koHandleCount(KoHandleKind::file), 0u);
}
