// Conformance of the registry calls: what Windows answers, checked through the exported functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("KO_REGISTRY_DIR", temp.path().c_str());
        SetEnvironmentVariableA("ODBCINI", temp.file("odbc.ini").c_str());
        SetEnvironmentVariableA("ODBCSYSINI", temp.path().c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Test", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
    }
    void TearDown() override {
        RegCloseKey(key);
        SetEnvironmentVariableA("KO_REGISTRY_DIR", nullptr);
        SetEnvironmentVariableA("ODBCINI", nullptr);
        SetEnvironmentVariableA("ODBCSYSINI", nullptr);
    }
    // Opens the test key afresh (so values come back from the file, not from memory of this handle).
    HKEY reopen(REGSAM access = KEY_ALL_ACCESS) {
        HKEY h = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\WINE\\test", 0, access, &h));
        return h;
    }
    kotest::TempDir temp;
    HKEY key = nullptr;
};

struct TypedValue {
    const char* name;
    DWORD type;
    std::string data;
};

TEST_F(Registry, EveryTypeRoundTripsThroughTheStoreAndSizesFollowWindows) {
    const TypedValue table[] = {
        {"Str", REG_SZ, std::string("text \"quoted\" \\ back\n", 22) + '\0'},
        {"Expand", REG_EXPAND_SZ, std::string("%HOME%\\x") + '\0'},
        {"Dword", REG_DWORD, std::string("\x2a\x00\x00\x80", 4)},
        {"Bin", REG_BINARY, std::string("\x00\x01\xff\x00", 4)},
        {"EmptyBin", REG_BINARY, std::string()},
        {"Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
        {"Qword", REG_QWORD, std::string("\1\2\3\4\5\6\7\x08", 8)},
        {"", REG_SZ, std::string("default") + '\0'},
    };
    // String data given without its terminator is stored with one.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3));
    DWORD bareSize = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Bare", nullptr, nullptr, nullptr, &bareSize));
    EXPECT_EQ(4u, bareSize);
    for (const auto& v : table)
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, v.name, 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                 DWORD(v.data.size())))
            << v.name;
    HKEY h = reopen();
    for (const auto& v : table) {
        SCOPED_TRACE(v.name);
        DWORD type = 0, size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, v.name, nullptr, &type, nullptr, &size));
        EXPECT_EQ(v.type, type);
        EXPECT_EQ(v.data.size(), size);
        std::vector<BYTE> buffer(size + 4, 0xcc);
        size = DWORD(buffer.size());
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, v.name, nullptr, &type, buffer.data(), &size));
        EXPECT_EQ(v.data, std::string(reinterpret_cast<char*>(buffer.data()), size));
        if (!v.data.empty()) {
            size = DWORD(v.data.size() - 1);
            EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(h, v.name, nullptr, &type, buffer.data(), &size));
            EXPECT_EQ(v.data.size(), size);
        }
    }
    RegCloseKey(h);
}

TEST_F(Registry, NamesMatchIgnoringCaseAndKeepTheirSpelling) {
    DWORD n = 7;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "MixedCase", 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4));
    n = 9;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "MIXEDCASE", 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4));
    char name[32];
    DWORD nameSize = sizeof name, got = 0, size = 4;
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size));
    EXPECT_STREQ("MixedCase", name);
    EXPECT_EQ(9u, got);
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    DWORD disposition = 0;
    HKEY sub;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, "Sub\\Deeper\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &sub, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(sub);
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(key, "SUB\\deeper", 0, nullptr, 0, KEY_READ, nullptr, &sub, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(sub);
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Sub", name);
    EXPECT_EQ(3u, nameSize);
}

TEST_F(Registry, EnumerationOrderAndBufferLimits) {
    for (const char* k : {"zeta", "Alpha", "beta"}) {
        HKEY sub;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(key, k, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
        RegCloseKey(sub);
    }
    for (const char* v : {"second", "first"})
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, v, 0, REG_SZ, reinterpret_cast<const BYTE*>("value"), 6));
    HKEY h = reopen(KEY_READ);
    // Subkeys come sorted by name ignoring case; values in the order they were made.
    const char* keys[] = {"Alpha", "beta", "zeta"};
    char name[16];
    for (DWORD i = 0; i < 3; ++i) {
        DWORD size = sizeof name;
        EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(h, i, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_STREQ(keys[i], name);
    }
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(h, 3, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = 5; // "Alpha" needs 6 with its terminator
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(h, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = 6; // "second" needs 7
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(h, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    BYTE data[4];
    DWORD dataSize = sizeof data, type = 0;
    size = sizeof name;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(h, 1, name, &size, nullptr, &type, data, &dataSize));
    EXPECT_EQ(6u, dataSize);
    EXPECT_EQ(REG_SZ, type);
    DWORD subKeys = 0, values = 0, maxName = 0, maxData = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                              &values, &maxName, &maxData, nullptr, nullptr));
    EXPECT_EQ(3u, subKeys);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(6u, maxName);
    EXPECT_EQ(6u, maxData);
    RegCloseKey(h);
}

TEST_F(Registry, FailuresGiveWindowsErrorCodes) {
    HKEY h = nullptr, read = reopen(KEY_READ);
    DWORD size = 4;
    BYTE data[4];
    struct Case {
        const char* what;
        LONG got, expected;
    } cases[] = {
        {"open missing", RegOpenKeyExA(key, "Missing", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND},
        {"open leading backslash", RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &h),
         ERROR_BAD_PATHNAME},
        {"open without result", RegOpenKeyExA(key, "", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER},
        {"query missing", RegQueryValueExA(key, "none", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND},
        {"query data without size", RegQueryValueExA(key, "none", nullptr, nullptr, data, nullptr),
         ERROR_INVALID_PARAMETER},
        {"set through read handle", RegSetValueExA(read, "v", 0, REG_BINARY, data, 1), ERROR_ACCESS_DENIED},
        {"create through read handle",
         RegCreateKeyExA(read, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
         ERROR_ACCESS_DENIED},
        {"set with null data", RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 3), ERROR_NOACCESS},
        {"delete missing value", RegDeleteValueA(key, "none"), ERROR_FILE_NOT_FOUND},
        {"delete missing key", RegDeleteKeyA(key, "none"), ERROR_FILE_NOT_FOUND},
        {"delete root", RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED},
        {"foreign handle",
         RegQueryValueExA(reinterpret_cast<HKEY>(uintptr_t(0x1234)), "v", nullptr, nullptr, nullptr, &size),
         ERROR_INVALID_HANDLE},
        {"close null", RegCloseKey(nullptr), ERROR_INVALID_HANDLE},
        {"close root", RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, c.got) << c.what;
    RegCloseKey(read);
    HKEY closed = reopen();
    RegCloseKey(closed);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueA(closed, "v"));
}

TEST_F(Registry, KeysAreDeletedOnlyWhenEmptyAndOpenHandlesSeeIt) {
    HKEY parent, child;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(key, "P\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, "p", 0, KEY_ALL_ACCESS, &parent));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key, "P"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "c"));
    BYTE one = 1;
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(child, "v", 0, REG_BINARY, &one, 1));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "P"));
    HKEY h;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key, "P", 0, KEY_READ, &h));
    RegCloseKey(child);
    RegCloseKey(parent);
}

TEST_F(Registry, DamagedFileIsRefusedAndKeptAsItIs) {
    std::string file = temp.file("user.reg");
    std::string damaged = kotest::readFile(file) + "[Software\\Broken\n\"v\"=dword:12\n";
    kotest::writeFile(file, damaged);
    HKEY h;
    EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Test", 0, KEY_READ, &h));
    EXPECT_EQ(ERROR_BADDB, RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_BADDB, RegCreateKeyExA(HKEY_CURRENT_USER, "Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &h, nullptr));
    EXPECT_EQ(damaged, kotest::readFile(file));
    // The machine's root is another file and stays usable.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\None", 0, KEY_READ, &h));
}

TEST_F(Registry, TheStoreIsOneReadableLinePerValue) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("va\"lue"), 7));
    DWORD n = 0x2a;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4));
    std::string text = kotest::readFile(temp.file("user.reg"));
    EXPECT_NE(std::string::npos,
              text.find("[SOFTWARE\\Wine\\Test]\n\"Name\"=\"va\\\"lue\"\n\"Count\"=dword:0000002a\n"))
        << text;
}

TEST_F(Registry, OdbcKeysAreTheDriverManagersFiles) {
    kotest::writeFile(temp.file("odbc.ini"), "; mine\n[Demo]\nDriver = Btrieve\n\n[Other]\nX=1\n");
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\demo", 0, KEY_ALL_ACCESS, &h));
    char value[32];
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(h, "DRIVER", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size));
    EXPECT_STREQ("Btrieve", value);
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(h, "Database", 0, REG_SZ, reinterpret_cast<const BYTE*>("/data"), 6));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(h, "Driver"));
    RegCloseKey(h);
    HKEY made;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\New", 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &made, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(made, "TooDeep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
    RegCloseKey(made);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ODBC\\ODBC.INI\\Other"));
    EXPECT_EQ("; mine\n[Demo]\nDatabase=/data\n\n[New]\n", kotest::readFile(temp.file("odbc.ini")));
    EXPECT_EQ(std::string::npos, kotest::readFile(temp.file("user.reg")).find("Demo"));
}

TEST_F(Registry, BrowserClassIsOfferedUntilTheStoreHasOne) {
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command", 0, KEY_READ, &h));
    char value[64];
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(h, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size));
    EXPECT_STREQ("xdg-open \"%1\"", value);
    RegCloseKey(h);
}

TEST_F(Registry, AWriteThatRunsOutOfMemoryLeavesTheOldValueOrTheNew) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("old"), 4));
    kotest::failOperatorNewToo(true);
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            LONG r = RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("new"), 4);
            EXPECT_TRUE(r == ERROR_SUCCESS || r == ERROR_NOT_ENOUGH_MEMORY) << r;
        },
        [&](unsigned, bool failed) {
            kotest::failOperatorNewToo(false);
            char value[8] = "";
            DWORD size = sizeof value;
            EXPECT_EQ(ERROR_SUCCESS,
                      RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size));
            EXPECT_TRUE(std::string(value) == (failed ? "old" : "new") ||
                        (failed && std::string(value) == "new"))
                << value;
            RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("old"), 4);
            kotest::failOperatorNewToo(true);
        });
    kotest::failOperatorNewToo(false);
    EXPECT_GT(runs, 3u);
}

} // namespace

namespace {

TEST_F(Registry, OlderFormsAndTreeDeletion) {
    HKEY same = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(key, "", &same));
    EXPECT_EQ(key, same);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(key, "Tree\\Leaf", REG_SZ, "leaf text", 9));
    char text[32];
    LONG size = sizeof text;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueA(key, "Tree\\Leaf", text, &size));
    EXPECT_STREQ("leaf text", text);
    EXPECT_EQ(10, size);
    size = sizeof text;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueA(key, "Tree", text, &size)) << "no default value reads as empty";
    EXPECT_STREQ("", text);
    char name[16];
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(key, 0, name, sizeof name));
    EXPECT_STREQ("Tree", name);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(key, "Tree"));
    HKEY h;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key, "Tree", 0, KEY_READ, &h));
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
}

} // namespace
