// Environment, machine and user names.
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32.h"
#include "tests/foundation/os/bostest.h"

TEST_F(BosTest, GetEnv) {
    setenv("KO_BOS_A", "alpha", 1);
    setenv("KO_BOS_EMPTY", "", 1);
    unsetenv("KO_BOS_MISSING");
    unsigned char* v = bosGetEnv(u("KO_BOS_A"));
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(v), "alpha");
    EXPECT_EQ(bosGetEnv(u("KO_BOS_EMPTY")), nullptr);
    EXPECT_EQ(bosGetEnv(u("KO_BOS_MISSING")), nullptr);

    setenv("KO_BOS_LONG", std::string(699, 'l').c_str(), 1);
    v = bosGetEnv(u("KO_BOS_LONG"));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(strlen(reinterpret_cast<char*>(v)), 699u) << "the longest value that fits";
    setenv("KO_BOS_LONG", std::string(700, 'l').c_str(), 1);
    EXPECT_EQ(bosGetEnv(u("KO_BOS_LONG")), nullptr) << "never a cut value";
    unsetenv("KO_BOS_LONG");
    unsetenv("KO_BOS_A");
    unsetenv("KO_BOS_EMPTY");
}

TEST_F(BosTest, GetEnvValuesOfThreadsStayApart) {
    setenv("KO_BOS_ONE", "one", 1);
    setenv("KO_BOS_TWO", "two", 1);
    unsigned char* mine = bosGetEnv(u("KO_BOS_ONE"));
    ASSERT_NE(mine, nullptr);
    unsigned char* theirs = nullptr;
    std::string seen;
    std::thread t([&] {
        for (int i = 0; i < 1000; ++i)
            theirs = bosGetEnv(u("KO_BOS_TWO"));
        seen = reinterpret_cast<char*>(theirs);
    });
    for (int i = 0; i < 1000; ++i)
        EXPECT_STREQ(reinterpret_cast<char*>(mine), "one");
    t.join();
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(seen, "two");
    EXPECT_STREQ(reinterpret_cast<char*>(mine), "one") << "another thread's call leaves our value";
    unsetenv("KO_BOS_ONE");
    unsetenv("KO_BOS_TWO");
}

TEST_F(BosTest, MachineAndUserNames) {
    char machine[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof machine;
    ASSERT_TRUE(GetComputerNameA(machine, &size));
    char user[UNLEN + 1];
    DWORD usize = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &usize));

    for (auto [get, expected] : {std::pair{&bosGetMachineName, std::string(machine)},
                                 std::pair{&bosGetHostUser, std::string(user)}}) {
        char buf[300];
        memset(buf, '#', sizeof buf);
        EXPECT_EQ(get(buf, sizeof buf - 1), koSuccess);
        EXPECT_EQ(std::string(buf), expected);

        memset(buf, '#', sizeof buf);
        EXPECT_EQ(get(buf, uint32_t(expected.size())), koSuccess);
        EXPECT_EQ(std::string(buf), expected) << "exactly len characters and a terminator at dst[len]";
        EXPECT_EQ(buf[expected.size() + 1], '#');

        if (expected.size() > 1) {
            memset(buf, '#', sizeof buf);
            EXPECT_EQ(get(buf, 1), koSuccess);
            EXPECT_EQ(buf[0], expected[0]);
            EXPECT_EQ(buf[1], 0);
            EXPECT_EQ(buf[2], '#');
        }
        memset(buf, '#', sizeof buf);
        EXPECT_EQ(get(buf, 0), koSuccess);
        EXPECT_EQ(buf[0], '#') << "zero length does nothing";
        EXPECT_EQ(get(nullptr, 10), koSuccess);
    }
    EXPECT_EQ(errorCount(), 0u);
}
