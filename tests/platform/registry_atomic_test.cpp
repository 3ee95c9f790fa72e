// Writers of the registry and of profile files in several processes and threads at once, and writers
// killed in the middle: nothing written is lost, and a file is always the old one or the new one.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/regstore.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

class AtomicWrites : public ::testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableA("KO_REGISTRY_DIR", temp.path().c_str()); }
    void TearDown() override { SetEnvironmentVariableA("KO_REGISTRY_DIR", nullptr); }

    // One writer: rounds entries of its own in the profile file and in the registry.
    static bool writeRounds(const std::string& ini, int writer, int rounds) {
        bool ok = true;
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Race", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        for (int r = 0; r < rounds; ++r) {
            std::string name = "w" + std::to_string(writer) + "r" + std::to_string(r);
            ok = WritePrivateProfileStringA(writer % 2 ? "odd" : "even", name.c_str(), name.c_str(),
                                            ini.c_str()) &&
                 ok;
            ok = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                                DWORD(name.size() + 1)) == ERROR_SUCCESS &&
                 ok;
        }
        RegCloseKey(key);
        return ok;
    }

    // Every entry of every writer is there, in both stores.
    void expectAll(const std::string& ini, int writers, int rounds) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Race", 0, KEY_READ, &key));
        for (int w = 0; w < writers; ++w)
            for (int r = 0; r < rounds; ++r) {
                std::string name = "w" + std::to_string(w) + "r" + std::to_string(r);
                char buffer[32] = "";
                GetPrivateProfileStringA(w % 2 ? "odd" : "even", name.c_str(), "", buffer, sizeof buffer,
                                         ini.c_str());
                EXPECT_EQ(name, buffer) << "profile entry lost";
                DWORD size = sizeof buffer;
                buffer[0] = 0;
                EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                                          reinterpret_cast<BYTE*>(buffer), &size))
                    << name;
                EXPECT_EQ(name, buffer) << "registry value lost";
            }
        RegCloseKey(key);
    }
    kotest::TempDir temp;
};

TEST_F(AtomicWrites, WritersInSeveralProcessesLoseNothing) {
    const int writers = 4, rounds = 25;
    std::string ini = temp.file("race.ini");
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(writeRounds(ini, w, rounds) ? 0 : 1);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    expectAll(ini, writers, rounds);
}

TEST_F(AtomicWrites, WritersInSeveralThreadsLoseNothing) {
    const int writers = 4, rounds = 15;
    std::string ini = temp.file("threads.ini");
    std::vector<std::thread> threads;
    std::vector<int> ok(writers, 0);
    for (int w = 0; w < writers; ++w)
        threads.emplace_back([&, w] { ok[w] = writeRounds(ini, w, rounds); });
    for (auto& t : threads)
        t.join();
    for (int w = 0; w < writers; ++w)
        EXPECT_TRUE(ok[w]) << w;
    expectAll(ini, writers, rounds);
}

TEST_F(AtomicWrites, AWriterKilledAtAnyMomentLeavesAWholeFile) {
    std::string ini = temp.file("killed.ini");
    unsigned seed = 11;
    for (int round = 0; round < 12; ++round) {
        // What the files hold before the writer starts must all be there after it is killed.
        KoIniFile before;
        before.parse(kotest::readFile(ini));
        KoRegKey regBefore;
        ASSERT_TRUE(koRegParse(kotest::readFile(temp.file("user.reg")), &regBefore));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            writeRounds(ini, round, 1000);
            _exit(0);
        }
        seed = seed * 1103515245u + 12345u;
        usleep(2000 + (seed >> 8) % 20000);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        KoIniFile after;
        ASSERT_TRUE(after.parse(kotest::readFile(ini))) << "round " << round;
        for (const std::string& section : before.sections())
            for (const auto& entry : before.entries(section)) {
                std::string value;
                EXPECT_TRUE(after.find(section, entry.first, &value) && value == entry.second)
                    << "round " << round << ": " << entry.first << " lost";
            }
        KoRegKey regAfter;
        ASSERT_TRUE(koRegParse(kotest::readFile(temp.file("user.reg")), &regAfter)) << "round " << round;
        const KoRegKey* race =
            regBefore.child("Software") ? regBefore.child("Software")->child("Race") : nullptr;
        const KoRegKey* raceAfter =
            regAfter.child("Software") ? regAfter.child("Software")->child("Race") : nullptr;
        if (race) {
            ASSERT_TRUE(raceAfter);
            for (const KoRegValue& v : race->values)
                EXPECT_TRUE(const_cast<KoRegKey*>(raceAfter)->value(v.name))
                    << "round " << round << ": " << v.name;
        }
    }
    // No temporary file is left behind as a stored file.
    EXPECT_TRUE(WritePrivateProfileStringA("after", "k", "v", ini.c_str()));
    char buffer[8];
    GetPrivateProfileStringA("after", "k", "", buffer, sizeof buffer, ini.c_str());
    EXPECT_STREQ("v", buffer);
}

} // namespace
