// Conformance of the profile-file calls: what Windows answers, checked through the exported functions.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        file = temp.file("test.ini");
        kotest::writeFile(file, "; comment\n[Section1]\nkey1 = value1 \nKey2=\"quoted value\"\nempty=\nbare\n"
                                "[ section2 ]\nkey1='single'\n");
    }
    std::string get(const char* section, const char* key, const char* def, DWORD size, DWORD* length) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        *length = GetPrivateProfileStringA(section, key, def, buffer, size, file.c_str());
        return std::string(buffer, size < sizeof buffer ? size + 1 : sizeof buffer);
    }
    kotest::TempDir temp;
    std::string file;
};

TEST_F(Profile, ReadsFollowWindows) {
    struct Case {
        const char *section, *key, *def;
        DWORD size;
        DWORD length;
        std::string buffer; // size bytes, then the byte after the buffer (untouched: 'x')
    } cases[] = {
        {"Section1", "key1", "d", 20, 6, std::string("value1\0", 7) + std::string(14, 'x')},
        {"SECTION1", "KEY2", "d", 16, 12, std::string("quoted value\0xxxx", 17)},
        {"section2", "key1", "d", 8, 6, std::string("single\0xx", 9)},
        {"Section1", "empty", "d", 4, 0, std::string("\0xxxx", 5)},
        {"Section1", "bare", "d", 4, 0, std::string("\0xxxx", 5)},
        {"Section1", "missing", "def  ", 8, 3, std::string("def\0xxxxx", 9)},
        {"Missing", "key1", nullptr, 4, 0, std::string("\0xxxx", 5)},
        {"Section1", "key1", "d", 5, 4, std::string("valu\0x", 6)}, // cut: size - 1
        {"Section1", "key1", "d", 1, 0, std::string("\0x", 2)},     // one NUL only
        {"Section1", "key1", "d", 0, 0, std::string("x", 1)},       // nothing written
        {"Section1", nullptr, "d", 40, 21, std::string("key1\0Key2\0empty\0bare\0\0", 22)},
        {"Section1", nullptr, "d", 12, 10, std::string("key1\0Key2\0\0\0x", 13)}, // cut list: size - 2
        {nullptr, nullptr, "d", 40, 18, std::string("Section1\0section2\0\0", 19)},
        {nullptr, nullptr, "d", 1, 0, std::string("\0x", 2)},
        {nullptr, nullptr, "d", 2, 0, std::string("\0\0x", 3)},
        {"Missing", nullptr, "d", 4, 0, std::string("\0\0", 2)},
    };
    for (const Case& c : cases) {
        DWORD length = 0;
        std::string got = get(c.section, c.key, c.def, c.size, &length);
        SCOPED_TRACE(std::string(c.section ? c.section : "(null)") + "/" + (c.key ? c.key : "(null)") +
                     " size " + std::to_string(c.size));
        EXPECT_EQ(c.length, length);
        EXPECT_EQ(c.buffer, got.substr(0, c.buffer.size()));
    }
}

TEST_F(Profile, WritesEditInPlaceAndDeleteByNull) {
    EXPECT_TRUE(WritePrivateProfileStringA("SECTION1", "KEY1", "  new", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("section1", "added", "a", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("Section1", "empty", nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("Section1", "not there", nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("section2", nullptr, nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("Gone", nullptr, nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("Third", "k", "v", file.c_str()));
    EXPECT_EQ("; comment\n[Section1]\nkey1=new\nKey2=\"quoted value\"\nbare\nadded=a\n[Third]\nk=v\n",
              kotest::readFile(file));
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", file.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    // The cache flush form changes nothing.
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()));
    EXPECT_NE(std::string::npos, kotest::readFile(file).find("[Third]"));
}

TEST_F(Profile, LineEndingsOfTheFileAreKept) {
    kotest::writeFile(file, "[s]\r\na=1\r\n");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "b", "2", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("t", "c", "3", file.c_str()));
    EXPECT_EQ("[s]\r\na=1\r\nb=2\r\n[t]\r\nc=3\r\n", kotest::readFile(file));
    DWORD length;
    EXPECT_EQ(std::string("2\0", 2), get("s", "b", "", 8, &length).substr(0, 2));
}

TEST_F(Profile, DamagedFileIsRefusedAndKept) {
    for (std::string damaged : {std::string("[open\nk=v\n"), std::string("[s]\nk=v\0w\n", 10)}) {
        kotest::writeFile(file, damaged);
        DWORD length;
        EXPECT_EQ(std::string("d\0", 2), get("s", "k", "d", 8, &length).substr(0, 2));
        EXPECT_EQ(ERROR_INVALID_DATA, GetLastError());
        EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "new", file.c_str()));
        EXPECT_EQ(ERROR_INVALID_DATA, GetLastError());
        EXPECT_EQ(damaged, kotest::readFile(file));
    }
}

TEST_F(Profile, NameWithoutFolderLivesInTheUsersFolder) {
    SetEnvironmentVariableA("XDG_CONFIG_HOME", temp.path().c_str());
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v", "mine.ini"));
    char folder[512];
    UINT n = GetWindowsDirectoryA(folder, sizeof folder);
    SetEnvironmentVariableA("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(temp.file("ztbtr20"), std::string(folder, n));
    EXPECT_EQ("[s]\nk=v\n", kotest::readFile(temp.file("ztbtr20/mine.ini")));
    DWORD length;
    file = temp.file("missing/folder/x.ini");
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", file.c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(std::string("d\0", 2), get("s", "k", "d", 4, &length).substr(0, 2));
}

// A property: after any sequence of writes and deletions, every read agrees with a plain map.
TEST_F(Profile, ReadsAgreeWithAModelAfterRandomEdits) {
    kotest::writeFile(file, "");
    std::map<std::string, std::map<std::string, std::string>> model;
    auto lower = [](std::string s) {
        for (char& c : s)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const char* sections[] = {"A", "b", "Ccc"};
    const char* keys[] = {"x", "Y", "zz", "w"};
    unsigned seed = 7;
    for (int step = 0; step < 150; ++step) {
        seed = seed * 1103515245u + 12345u;
        std::string s = sections[(seed >> 8) % 3], k = keys[(seed >> 12) % 4];
        if ((seed >> 20) % 2 == 0) s = lower(s);
        int op = (seed >> 16) % 6;
        if (op == 0) {
            ASSERT_TRUE(WritePrivateProfileStringA(s.c_str(), nullptr, nullptr, file.c_str()));
            model.erase(lower(s));
        } else if (op == 1) {
            ASSERT_TRUE(WritePrivateProfileStringA(s.c_str(), k.c_str(), nullptr, file.c_str()));
            if (model.count(lower(s))) model[lower(s)].erase(lower(k));
        } else {
            std::string v = "v" + std::to_string(step);
            ASSERT_TRUE(WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), file.c_str()));
            model[lower(s)][lower(k)] = v;
        }
        for (const char* rs : sections)
            for (const char* rk : keys) {
                char buffer[32];
                GetPrivateProfileStringA(rs, rk, "-", buffer, sizeof buffer, file.c_str());
                auto sec = model.find(lower(rs));
                std::string want = "-";
                if (sec != model.end() && sec->second.count(lower(rk))) want = sec->second[lower(rk)];
                ASSERT_EQ(want, buffer) << "step " << step << " " << rs << "/" << rk;
            }
    }
}

} // namespace

namespace {

TEST_F(Profile, SectionAndNumberForms) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(43u, GetPrivateProfileSectionA("section1", buffer, sizeof buffer, file.c_str()));
    EXPECT_EQ(std::string("key1=value1\0Key2=quoted value\0empty=\0bare=\0\0", 44), std::string(buffer, 44));
    EXPECT_EQ(18u, GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file.c_str()));
    ASSERT_TRUE(WritePrivateProfileSectionA("Numbers", "a=12\0b= -7x\0c=none\0", file.c_str()));
    struct {
        const char* key;
        UINT expected;
    } numbers[] = {{"a", 12}, {"b", UINT(-7)}, {"c", 0}, {"missing", 99}};
    for (const auto& n : numbers)
        EXPECT_EQ(n.expected, GetPrivateProfileIntA("numbers", n.key, 99, file.c_str())) << n.key;
    ASSERT_TRUE(WritePrivateProfileSectionA("Numbers", "only=1\0", file.c_str()));
    EXPECT_EQ(99u, GetPrivateProfileIntA("Numbers", "a", 99, file.c_str()));
    EXPECT_EQ(1u, GetPrivateProfileIntA("Numbers", "only", 99, file.c_str()));
}

} // namespace
