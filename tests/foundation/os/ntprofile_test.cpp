#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "foundation/foundation.h"
#include "platform/win32.h"
#include "tests/support/odbcsandbox.h"
#include "tests/support/support.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

class NtProfile : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("KO_REGISTRY_DIR", temp.path().c_str());
        SetEnvironmentVariableA("XDG_CONFIG_HOME", temp.path().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("KO_REGISTRY_DIR", nullptr);
        SetEnvironmentVariableA("XDG_CONFIG_HOME", nullptr);
    }
    // A string value of the registry, "<absent>" when there is none.
    static std::string regValue(HKEY root, const std::string& path, const char* name) {
        HKEY h;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<absent>";
        char buffer[256];
        DWORD size = sizeof buffer;
        LONG r = RegQueryValueExA(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(h);
        return r == ERROR_SUCCESS ? std::string(buffer) : "<absent>";
    }
    static bool regKeyExists(HKEY root, const std::string& path) {
        HKEY h;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        RegCloseKey(h);
        return true;
    }
    static std::string get(const char* section, const char* key, const char* file, uint32_t size = 256,
                           const char* def = "dflt", int allow = 1) {
        unsigned char buffer[4096];
        uint32_t n = ntGetProfileString(U(section), U(key), U(def), buffer, size, U(file), allow);
        return std::string(reinterpret_cast<char*>(buffer), n);
    }
    static KoStatus put(const char* section, const char* key, const char* value, const char* file,
                        int allow = 1) {
        return ntWriteProfileString(U(section), U(key), U(value), U(file), allow);
    }
    kotest::OdbcSandbox sandbox;
    kotest::TempDir temp;
};

TEST_F(NtProfile, FileNamesRouteToTheirStore) {
    struct Case {
        const char* file;
        int allow;
        HKEY root;            // null: an ordinary profile file of the user's folder
        const char* location; // key path of the section, or the file's name
    } cases[] = {
        {"CONTROL.INI", 0, HKEY_CURRENT_USER, "Control Panel\\S"},
        {"CONTROL", 0, HKEY_CURRENT_USER, "Control Panel\\S"},
        {"C:\\dir\\KOLIB.INI", 0, HKEY_CURRENT_USER, "SOFTWARE\\Kestrune\\KOLIB.INI\\S"},
        {"/opt/x/KESTRUNE.INI", 0, HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune\\S"},
        {"VELORIN.INI", 1, HKEY_LOCAL_MACHINE, "SOFTWARE\\Velorin\\S"},
        {"HKEY_CURRENT_USER\\Software\\Demo\\", 1, HKEY_CURRENT_USER, "Software\\Demo\\S"},
        {"HKEY_LOCAL_MACHINE\\Software\\Demo", 1, HKEY_LOCAL_MACHINE, "Software\\Demo\\S"},
        {"INST.INI", 0, nullptr, "INST.INI"},
        {"odbc.ini", 1, nullptr, "odbc.ini"},
        {"hkey_current_user\\Software", 1, nullptr, "hkey_current_user\\Software"},
        {"HKEY_CURRENT_USER\\Software\\Demo\\", 0, nullptr, "HKEY_CURRENT_USER\\Software\\Demo\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(koSuccess, put("S", "k", c.file, c.file, c.allow));
        if (c.root)
            EXPECT_EQ(c.file, regValue(c.root, c.location, "k"));
        else
            EXPECT_NE(std::string::npos,
                      kotest::readFile(temp.file(std::string("ztbtr20/") + c.location)).find(c.file));
        EXPECT_EQ(c.file, get("S", "k", c.file, 256, "", c.allow));
        ASSERT_EQ(koSuccess, put("S", "k", nullptr, c.file, c.allow));
        EXPECT_EQ("dflt", get("S", "k", c.file, 256, "dflt", c.allow));
    }
}

TEST_F(NtProfile, ReadsAndListsRespectTheBuffer) {
    ASSERT_EQ(koSuccess, put("S", "A", "0123456789", "KOLIB.INI"));
    ASSERT_EQ(koSuccess, put("S", "BB", "x", "KOLIB.INI"));
    ASSERT_EQ(koSuccess, put("T", "A", "x", "KOLIB.INI"));
    struct Case {
        const char *section, *key;
        uint32_t size;
        std::string expected; // the buffer's first bytes
        uint32_t result;
    } cases[] = {
        {"S", "A", 256, std::string("0123456789\0", 11), 10},
        {"S", "A", 5, std::string("0123\0", 5), 4},
        {"S", "a", 1, std::string("\0", 1), 0},
        {"S", "none", 256, std::string("dflt\0", 5), 4},
        {"S", nullptr, 256, std::string("A\0BB\0\0", 6), 5},
        {"S", "", 4, std::string("A\0\0\0", 4), 2},
        {"S", nullptr, 1, std::string("\0", 1), 0},
        {"S", nullptr, 2, std::string("\0\0", 2), 0},
        {nullptr, nullptr, 256, std::string("S\0T\0\0", 5), 4},
        {"", nullptr, 3, std::string("S\0\0", 3), 1},
        {"Missing", nullptr, 256, std::string("dflt\0", 5), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section ? c.section : "(null)") + "/" + (c.key ? c.key : "(null)") +
                     " size " + std::to_string(c.size));
        unsigned char buffer[300];
        std::memset(buffer, 'x', sizeof buffer);
        uint32_t n = ntGetProfileString(U(c.section), U(c.key), U("dflt"), buffer, c.size, U("KOLIB.INI"), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), c.expected.size()), c.expected);
        EXPECT_EQ('x', buffer[c.size]) << "wrote past the buffer";
        EXPECT_EQ(c.result, n);
    }
    unsigned char untouched = 'x';
    EXPECT_EQ(0u, ntGetProfileString(U("S"), U("A"), U("d"), &untouched, 0, U("KOLIB.INI"), 0));
    EXPECT_EQ(0u, ntGetProfileString(nullptr, nullptr, U("d"), &untouched, 0, U("KOLIB.INI"), 0));
    EXPECT_EQ('x', untouched);
}

TEST_F(NtProfile, AnOverflowingListReportsWhatItWrote) {
    for (int i = 0; i < 60; ++i) {
        std::string name = std::string(50, char('a' + i % 26)) + std::to_string(i);
        ASSERT_EQ(koSuccess, put("Big", name.c_str(), "value", "KOLIB.INI"));
    }
    for (uint32_t size : {4096u, 1000u}) {
        unsigned char buffer[4096];
        std::memset(buffer, 'x', sizeof buffer);
        uint32_t n = ntGetProfileString(U("Big"), nullptr, U(""), buffer, size, U("KOLIB.INI"), 0);
        ASSERT_LT(n, size);
        EXPECT_EQ(0, buffer[n]) << size;
        if (size > 2048 && n > 0) {
            EXPECT_EQ(0, buffer[n - 1]) << "a whole name ends the list";
        } else {
            EXPECT_EQ(0, buffer[n + 1]) << "a cut list ends in two NULs";
        }
        // Every name in the list is a whole value name.
        for (uint32_t at = 0; at < n;) {
            std::string name(reinterpret_cast<char*>(buffer + at));
            if (at + name.size() < n || size > 2048) {
                EXPECT_EQ("value", get("Big", name.c_str(), "KOLIB.INI")) << name;
            }
            at += uint32_t(name.size()) + 1;
        }
        if (size > 2048) {
            EXPECT_GT(n, 1500u);
        }
    }
}

TEST_F(NtProfile, WritesDeleteOnlyWhatTheyName) {
    ASSERT_EQ(koSuccess, put("Keep", "k", "v", "KOLIB.INI"));
    // The cache flush form, and an empty section without a key, delete nothing.
    EXPECT_EQ(koSuccess, put(nullptr, nullptr, nullptr, "KOLIB.INI"));
    EXPECT_EQ(koSuccess, put("", nullptr, nullptr, "KOLIB.INI"));
    EXPECT_EQ(koFailure, put(nullptr, "k", "v", "KOLIB.INI"));
    EXPECT_EQ("v", get("Keep", "k", "KOLIB.INI"));
    // Deleting what is not there succeeds.
    EXPECT_EQ(koSuccess, put("Keep", "none", nullptr, "KOLIB.INI"));
    EXPECT_EQ(koSuccess, put("NoSection", "none", "", "KOLIB.INI"));
    EXPECT_EQ(koSuccess, put("NoSection", nullptr, nullptr, "KOLIB.INI"));
    // A section too long for the key path is refused, never cut into another section's name.
    // Parts of 100 characters, as a key name holds at most 255.
    std::string prefix;
    while (prefix.size() + 101 < 512 - std::strlen("SOFTWARE\\Kestrune\\KOLIB.INI\\") - 1)
        prefix += std::string(100, 'L') + "\\";
    prefix += std::string(512 - std::strlen("SOFTWARE\\Kestrune\\KOLIB.INI\\") - 1 - prefix.size(), 'L');
    ASSERT_EQ(koSuccess, put(prefix.c_str(), "k", "short", "KOLIB.INI"));
    std::string longer = prefix + "MORE";
    EXPECT_EQ(koFailure, put(longer.c_str(), "k", "long", "KOLIB.INI"));
    EXPECT_EQ("dflt", get(longer.c_str(), "k", "KOLIB.INI"));
    EXPECT_EQ(koFailure, put(longer.c_str(), nullptr, nullptr, "KOLIB.INI"));
    EXPECT_EQ("short", get(prefix.c_str(), "k", "KOLIB.INI"));
}

TEST_F(NtProfile, ASectionGoesWithAllItsSubkeys) {
    ASSERT_EQ(koSuccess, put("Tree", "k", "v", "KOLIB.INI"));
    for (const char* sub : {"Tree\\One\\Deep", "Tree\\Two", "Tree\\One\\Other"}) {
        HKEY h;
        std::string path = std::string("SOFTWARE\\Kestrune\\KOLIB.INI\\") + sub;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &h, nullptr));
        RegCloseKey(h);
    }
    ASSERT_EQ(koSuccess, put("Other", "k", "v", "KOLIB.INI"));
    EXPECT_EQ(koSuccess, put("tree", nullptr, nullptr, "KOLIB.INI"));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Kestrune\\KOLIB.INI\\Tree"));
    EXPECT_EQ("v", get("Other", "k", "KOLIB.INI"));
}

TEST_F(NtProfile, DamagedRegistryIsRefusedAndKept) {
    ASSERT_EQ(koSuccess, put("S", "k", "v", "KOLIB.INI"));
    std::string file = temp.file("user.reg");
    std::string damaged = kotest::readFile(file) + "\"stray\"=\n";
    kotest::writeFile(file, damaged);
    EXPECT_EQ("dflt", get("S", "k", "KOLIB.INI"));
    EXPECT_EQ(koFailure, put("S", "k", "new", "KOLIB.INI"));
    EXPECT_EQ(koFailure, put("S", "k", nullptr, "KOLIB.INI"));
    EXPECT_EQ(koFailure, put("S", nullptr, nullptr, "KOLIB.INI"));
    EXPECT_EQ(damaged, kotest::readFile(file));
}

TEST_F(NtProfile, OdbcIniGoesThroughTheInstallerWhateverTheFolder) {
    ASSERT_EQ(koSuccess, put("MyDsn", "Database", "/data", "/some/folder/ODBC.INI"));
    EXPECT_EQ("/data", sandbox.storedValue("MyDsn", "Database"));
    EXPECT_EQ("/data", get("MyDsn", "Database", "ODBC.INI"));
    EXPECT_EQ("/data", get("MyDsn", "Database", "C:\\WINDOWS\\ODBC.INI"));
    // A change reads back at once, however recently the value was read.
    for (const char* value : {"/other", "/third", static_cast<const char*>(nullptr)}) {
        ASSERT_EQ(koSuccess, put("MyDsn", "Database", value, "ODBC.INI"));
        EXPECT_EQ(value ? value : "dflt", get("MyDsn", "Database", "ODBC.INI"));
    }
}

TEST_F(NtProfile, DriverSettingsChangedThroughTheRegistryReadBackAtOnce) {
    for (const char* value : {"one", "two", static_cast<const char*>(nullptr)}) {
        ASSERT_EQ(koSuccess, put("My Driver", "Setting", value, "ODBCINST.INI"));
        EXPECT_EQ(value ? value : "dflt", get("My Driver", "Setting", "ODBCINST.INI"));
    }
    ASSERT_EQ(koSuccess, put("My Driver", "Setting", "three", "ODBCINST.INI"));
    EXPECT_NE(std::string::npos, kotest::readFile(sandbox.odbcinstIniPath()).find("Setting=three"));
    ASSERT_EQ(koSuccess, put("My Driver", nullptr, nullptr, "ODBCINST.INI"));
    EXPECT_EQ("dflt", get("My Driver", "Setting", "ODBCINST.INI"));
}

TEST_F(NtProfile, WithoutAnInstallerOdbcIniIsTheRegistrysKey) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::string empty = temp.file("nolib");
    EXPECT_EXIT(
        {
            std::filesystem::create_directories(empty);
            SetEnvironmentVariableA("KO_LIBRARY_PATH", empty.c_str());
            SetEnvironmentVariableA("KO_SYSTEM_DIR", empty.c_str());
            bool ok = put("Dsn", "Key", "value", "ODBC.INI") == koSuccess &&
                      get("Dsn", "Key", "ODBC.INI") == "value" &&
                      kotest::readFile(sandbox.odbcIniPath()).find("Key=value") != std::string::npos;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

namespace {

TEST_F(NtProfile, RunningOutOfMemoryFailsCleanly) {
    ASSERT_EQ(koSuccess, put("S", "k", "old", "KOLIB.INI"));
    kotest::failOperatorNewToo(true);
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            KoStatus s = put("S", "k", "new", "KOLIB.INI");
            unsigned char buffer[16];
            uint32_t n =
                ntGetProfileString(U("S"), U("k"), U("dflt"), buffer, sizeof buffer, U("KOLIB.INI"), 0);
            std::string read(reinterpret_cast<char*>(buffer), n);
            // A read that ran out of memory gives the default; otherwise what the write left.
            EXPECT_TRUE(read == "dflt" || read == "new" || (s == koFailure && read == "old")) << read;
        },
        [&](unsigned, bool) {
            kotest::failOperatorNewToo(false);
            EXPECT_EQ(koSuccess, put("S", "k", "old", "KOLIB.INI"));
            kotest::failOperatorNewToo(true);
        });
    kotest::failOperatorNewToo(false);
    EXPECT_GT(runs, 3u);
    EXPECT_EQ("old", get("S", "k", "KOLIB.INI"));
}

} // namespace

namespace {

TEST_F(NtProfile, ChangesThroughTheRegistryRoadReadBackThroughTheInstaller) {
    ASSERT_EQ(koSuccess, put("RoadDsn", "Database", "/first", "ODBC.INI"));
    EXPECT_EQ("/first", get("RoadDsn", "Database", "ODBC.INI"));
    const char* road = "HKEY_CURRENT_USER\\SOFTWARE\\ODBC\\ODBC.INI\\";
    for (const char* value : {"/second", static_cast<const char*>(nullptr)}) {
        ASSERT_EQ(koSuccess, put("RoadDsn", "Database", value, road));
        EXPECT_EQ(value ? value : "dflt", get("RoadDsn", "Database", road));
        EXPECT_EQ(value ? value : "dflt", get("RoadDsn", "Database", "ODBC.INI"));
    }
}

} // namespace
