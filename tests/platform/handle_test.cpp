#include <gtest/gtest.h>
#include "platform/win32.h"
#include "tests/support/support.h"

TEST(Handles, CloseHandleClosesFiles) {
    kotest::TempDir dir;
    std::string name = dir.file("f.txt");
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(f));
    // The exclusive open is over: the file can be opened exclusively again.
    HANDLE g = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(g, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(g));
}
