#include <gtest/gtest.h>
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
