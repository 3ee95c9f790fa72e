// Conformance of the last-error, environment and name calls with Windows' behaviour.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/system.h"

TEST(PlatformSystem, LastErrorBelongsToTheThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD other = 0;
    std::thread t([&] {
        other = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    });
    t.join();
    EXPECT_EQ(other, ERROR_SUCCESS) << "a new thread starts without an error";
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << "another thread's error is not ours";
}

TEST(PlatformSystem, EnvironmentVariables) {
    const char* name = "KO_PLATFORM_TEST_VARIABLE";
    char buf[16];
    SetEnvironmentVariableA(name, nullptr);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetEnvironmentVariableA(name, buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

    ASSERT_TRUE(SetEnvironmentVariableA(name, "0123456789"));
    EXPECT_EQ(GetEnvironmentVariableA(name, buf, sizeof buf), 10u);
    EXPECT_STREQ(buf, "0123456789");
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetEnvironmentVariableA(name, buf, 10), 11u) << "no room for the terminator: the size needed";
    EXPECT_EQ(buf[0], 'x') << "the buffer is left alone";
    EXPECT_EQ(GetEnvironmentVariableA(name, buf, 11), 10u) << "exactly enough room";
    EXPECT_EQ(GetEnvironmentVariableA(name, nullptr, 0), 11u);

    ASSERT_TRUE(SetEnvironmentVariableA(name, ""));
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetEnvironmentVariableA(name, buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "an empty variable exists";
    EXPECT_STREQ(buf, "");

    ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
    EXPECT_EQ(GetEnvironmentVariableA(name, buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

TEST(PlatformSystem, ComputerName) {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(size, strlen(name)) << "the length without the terminator";
    EXPECT_GT(size, 0u);
    EXPECT_LE(size, DWORD(MAX_COMPUTERNAME_LENGTH));
    EXPECT_EQ(strchr(name, '.'), nullptr) << "the machine, not its domain";

    DWORD small = size; // no room for the terminator
    char tiny[MAX_COMPUTERNAME_LENGTH + 1];
    EXPECT_FALSE(GetComputerNameA(tiny, &small));
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(small, size + 1);
}

TEST(PlatformSystem, UserName) {
    char name[UNLEN + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetUserNameA(name, &size));
    EXPECT_EQ(size, strlen(name) + 1) << "the length with the terminator";
    DWORD small = size - 1;
    EXPECT_FALSE(GetUserNameA(name, &small));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small, size);
}
