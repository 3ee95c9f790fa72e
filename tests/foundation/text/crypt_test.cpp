#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/text/crypt.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

using Bytes = std::vector<unsigned char>;

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

Bytes pattern(uint32_t n, unsigned seed) {
    Bytes b(n);
    for (uint32_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 131 + seed * 17 + (i >> 3)) & 0xFF);
    return b;
}

Bytes scrambled(Bytes b, uint16_t mode, const char* key = nullptr) {
    encrypt(b.data(), static_cast<uint32_t>(b.size()), mode, key ? u(key) : nullptr);
    return b;
}

std::string hex(const Bytes& b) {
    std::string s;
    char d[3];
    for (unsigned char c : b)
        snprintf(d, sizeof d, "%02X", c), s += d;
    return s;
}

// One pair through 32 rounds, written independently of the library with wide arithmetic and masks.
void referencePair(unsigned& x, unsigned& y, const unsigned char k[4]) {
    unsigned sum = 0;
    for (int r = 0; r < 32; ++r) {
        sum = (sum + 0x9E) & 0xFF;
        x = (x + ((((y << 4) & 0xFF) + k[0]) ^ (y + sum) ^ ((y >> 5) + k[1]))) & 0xFF;
        y = (y + ((((x << 4) & 0xFF) + k[2]) ^ (x + sum) ^ ((x >> 5) + k[3]))) & 0xFF;
    }
}

} // namespace

TEST(Scrambling, DecryptUndoesEncryptForEveryLength) {
    for (uint16_t mode : {1, 2, 3})
        for (const char* key : {static_cast<const char*>(nullptr), "secret"})
            for (uint32_t n = 0; n <= 4100; ++n) {
                Bytes clear = pattern(n, n + mode);
                Bytes b = scrambled(clear, mode, key);
                decrypt(b.data(), n, mode, key ? u(key) : nullptr);
                ASSERT_EQ(b, clear) << "mode " << mode << " length " << n << (key ? " with key" : "");
            }
}

TEST(Scrambling, DecryptUndoesEncryptForEveryKindOfKeyText) {
    const char* keys[] = {"",
                          "k",
                          "abc",
                          "abcd",
                          "abcdefghijklm",
                          "abcdefghijklmn",
                          "abcdefghijklmnopqrstuvwxyz",
                          "\xff\xfe\x80"};
    for (const char* key : keys)
        for (uint32_t n = 0; n <= 70; ++n) {
            Bytes clear = pattern(n, 3);
            Bytes b = scrambled(clear, 3, key);
            if (n > 1) {
                EXPECT_NE(b, clear) << key << "/" << n;
            }
            decrypt(b.data(), n, 3, u(key));
            ASSERT_EQ(b, clear) << key << "/" << n;
        }
}

TEST(Scrambling, Mode3RoundsMatchAnIndependentComputation) {
    unsigned char key[4] = {0x5A, 0xC3, 0x17, 0xE8}; // the built-in key's first four bytes
    for (unsigned a : {0u, 1u, 0x7Fu, 0x80u, 0xFFu})
        for (unsigned b : {0u, 0x41u, 0xC3u, 0xFFu}) {
            unsigned x = a, y = b;
            referencePair(x, y, key);
            Bytes got = scrambled({static_cast<unsigned char>(a), static_cast<unsigned char>(b)}, 3);
            EXPECT_EQ(got, (Bytes{static_cast<unsigned char>(x), static_cast<unsigned char>(y)}))
                << a << "," << b;
        }
    // A key text overlays the key: "WXYZ" gives k0..k3 = W, X, Y, Z.
    unsigned char wxyz[4] = {'W', 'X', 'Y', 'Z'};
    unsigned x = 'p', y = 'w';
    referencePair(x, y, wxyz);
    EXPECT_EQ(scrambled({'p', 'w'}, 3, "WXYZ"),
              (Bytes{static_cast<unsigned char>(x), static_cast<unsigned char>(y)}));
    // A short key text's terminator becomes a key byte; the bytes after it keep the built-in values.
    unsigned char ab0[4] = {'A', 'B', 0, 0xE8};
    x = 1, y = 2;
    referencePair(x, y, ab0);
    EXPECT_EQ(scrambled({1, 2}, 3, "AB"),
              (Bytes{static_cast<unsigned char>(x), static_cast<unsigned char>(y)}));
}

TEST(Scrambling, StoredFormatIsFixed) {
    // Passwords already stored must stay readable: the built-in key and the rounds never change.
    EXPECT_EQ(hex(scrambled({'p', 'a', 's', 's', 'w', 'o', 'r', 'd'}, 3)), "43F09D28C327E683");
    EXPECT_EQ(hex(scrambled({'x'}, 3)), "22") << "one byte: XOR with k0 (0x5A)";
}

TEST(Scrambling, OddLengthsWrapTheLastPairToTheFirstByte) {
    // Length 3: pairs (0, 1), then (2, 0) with byte 0 already scrambled.
    Bytes first = scrambled({'a', 'b'}, 3);
    Bytes second = scrambled({'c', first[0]}, 3);
    EXPECT_EQ(scrambled({'a', 'b', 'c'}, 3), (Bytes{second[1], first[1], second[0]}));
    // Length 1: the XOR with k0 is its own inverse.
    Bytes one = scrambled({0x37}, 3);
    EXPECT_EQ(one, (Bytes{0x37 ^ 0x5A}));
    EXPECT_EQ(scrambled(one, 3), (Bytes{0x37}));
    EXPECT_EQ(scrambled({0x37}, 3, "\x01"), (Bytes{0x36}));
}

TEST(Scrambling, OnlyTheFirstFourKeyBytesCount) {
    Bytes clear = pattern(33, 1);
    EXPECT_EQ(scrambled(clear, 3, "abcdEFGH"), scrambled(clear, 3, "abcdXYZW"));
    EXPECT_EQ(scrambled(clear, 3, "abcd"), scrambled(clear, 3, "abcdefghijklmnopqrstuvwxyz"));
    EXPECT_NE(scrambled(clear, 3, "abcd"), scrambled(clear, 3, "abXd"));
    EXPECT_NE(scrambled(clear, 3, ""), scrambled(clear, 3)) << "an empty key text still sets k0 to 0";
    EXPECT_NE(scrambled(clear, 3, "abc"), scrambled(clear, 3, "abcd")) << "the terminator is k3";
}

TEST(Scrambling, ComplementModes) {
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(i);
    Bytes m1 = scrambled(all, 1);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(m1[i], 255 - i);
    EXPECT_EQ(scrambled(m1, 1), all);
    Bytes m2 = scrambled(all, 2);
    for (int i = 0; i < 256; ++i) {
        bool exempt = i == 10 || i == 13 || i == 242 || i == 245;
        EXPECT_EQ(m2[i], exempt ? i : 255 - i) << i;
        if (!exempt) {
            EXPECT_TRUE(m2[i] != 10 && m2[i] != 13) << "a line break appeared from " << i;
        }
    }
    EXPECT_EQ(scrambled(m2, 2), all);
    for (uint16_t mode : {0, 4, 0xFFFF})
        EXPECT_EQ(scrambled(all, mode), all) << mode;
    Bytes empty;
    EXPECT_EQ(scrambled(empty, 3), empty);
}

TEST(StoredPassword, FormIsBlankTagAndDigits) {
    unsigned char buf[64];
    const unsigned char* clear = u("password");
    uint32_t n = koPasswordToProfile(buf, clear, 8);
    EXPECT_EQ(n, 21u);
    EXPECT_EQ(koPasswordStoredSize(8), n + 1);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), " KO3:43F09D28C327E683");
    EXPECT_EQ(koPasswordIsStored(buf), 1);
    EXPECT_EQ(koPasswordIsStored(buf + 1), 1) << "the profile drops the leading blank";
    unsigned char back[64];
    EXPECT_EQ(koPasswordFromProfile(back, buf), 8u);
    EXPECT_STREQ(reinterpret_cast<char*>(back), "password");
    EXPECT_EQ(koPasswordFromProfile(back, buf + 1), 8u);
    EXPECT_STREQ(reinterpret_cast<char*>(back), "password");
    EXPECT_EQ(koPasswordToProfile(buf, u(""), 0), 5u);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), " KO3:");
    EXPECT_EQ(koPasswordFromProfile(back, buf + 1), 0u);
    EXPECT_EQ(back[0], 0);
}

TEST(StoredPassword, ClearBytesMayHoldAnyValue) {
    unsigned char clear[256];
    for (int i = 0; i < 256; ++i)
        clear[i] = static_cast<unsigned char>(i);
    std::vector<unsigned char> stored(koPasswordStoredSize(256));
    uint32_t n = koPasswordToProfile(stored.data(), clear, 256);
    EXPECT_EQ(n + 1, stored.size());
    for (uint32_t i = 1; i < n; ++i)
        ASSERT_TRUE(stored[i] > ' ' && stored[i] < 0x7F) << i;
    unsigned char back[600];
    EXPECT_EQ(koPasswordFromProfile(back, stored.data()), 256u);
    EXPECT_EQ(memcmp(back, clear, 256), 0) << "a zero byte inside survives";
}

TEST(StoredPassword, OtherValuesAreReadAsTheyAre) {
    unsigned char back[64];
    // Plain text, even when it looks a little like a stored form.
    for (const char* plain : {"secret", "KO3:ABC", "KO3:zz", "KO3", "ko3:00", ""}) {
        EXPECT_EQ(koPasswordIsStored(u(plain)), 0) << plain;
        EXPECT_EQ(koPasswordFromProfile(back, u(plain)), strlen(plain));
        EXPECT_STREQ(reinterpret_cast<char*>(back), plain);
    }
    // A blank then raw scrambled bytes: unscrambled as far as the first zero byte.
    unsigned char raw[16] = " ";
    memcpy(raw + 1, "hunter2", 8);
    encrypt(raw + 1, 7, 3);
    ASSERT_EQ(memchr(raw + 1, 0, 7), nullptr) << "the sample must hold no zero byte";
    EXPECT_EQ(koPasswordIsStored(raw), 0);
    EXPECT_EQ(koPasswordFromProfile(back, raw), 7u);
    EXPECT_STREQ(reinterpret_cast<char*>(back), "hunter2");
    EXPECT_EQ(koPasswordIsStored(nullptr), 0);
    EXPECT_EQ(koPasswordFromProfile(back, nullptr), 0u);
    EXPECT_EQ(back[0], 0);
}

namespace {

// unixODBC's profile functions, loaded at run time, over a private configuration.
class InstallerProfile : public ::testing::Test {
protected:
    using WriteFn = BOOL (*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
    using ReadFn = int (*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR);

    void SetUp() override {
        for (const char* name : {"ODBCSYSINI", "ODBCINI", "HOME"}) {
            const char* v = getenv(name);
            saved_.push_back({name, v ? std::string(v) : std::string(), v != nullptr});
        }
        setenv("ODBCSYSINI", dir_.path().c_str(), 1);
        setenv("ODBCINI", dir_.file("odbc.ini").c_str(), 1);
        setenv("HOME", dir_.path().c_str(), 1);
        // Loaded once and kept: unloading would drop the installer's own caches with their memory.
        static HMODULE installer = LoadLibraryA("libodbcinst.so.2");
        lib_ = installer;
        ASSERT_NE(lib_, nullptr);
        write_ = reinterpret_cast<WriteFn>(GetProcAddress(lib_, "SQLWritePrivateProfileString"));
        read_ = reinterpret_cast<ReadFn>(GetProcAddress(lib_, "SQLGetPrivateProfileString"));
        ASSERT_NE(write_, nullptr);
        ASSERT_NE(read_, nullptr);
    }
    void TearDown() override {
        for (const auto& s : saved_) {
            if (s.present)
                setenv(s.name, s.value.c_str(), 1);
            else
                unsetenv(s.name);
        }
    }

    // Stores a password as the data source's "PWD" entry and reads back its clear value.
    std::string roundTrip(const std::string& clear) {
        std::vector<unsigned char> stored(koPasswordStoredSize(static_cast<uint32_t>(clear.size())));
        koPasswordToProfile(stored.data(), u(clear.data()), static_cast<uint32_t>(clear.size()));
        EXPECT_TRUE(write_("DSN", "PWD", reinterpret_cast<char*>(stored.data()), "ODBC.INI"));
        char value[1200];
        int n = read_("DSN", "PWD", "", value, sizeof value, "ODBC.INI");
        EXPECT_GT(n, 0);
        EXPECT_EQ(koPasswordIsStored(u(value)), 1) << value;
        std::vector<unsigned char> back(strlen(value) + 1);
        uint32_t m = koPasswordFromProfile(back.data(), u(value));
        return std::string(reinterpret_cast<char*>(back.data()), m);
    }

    struct Saved {
        const char* name;
        std::string value;
        bool present;
    };
    kotest::TempDir dir_;
    std::vector<Saved> saved_;
    HMODULE lib_ = nullptr;
    WriteFn write_ = nullptr;
    ReadFn read_ = nullptr;
};

} // namespace

TEST_F(InstallerProfile, EveryByteValueSurvivesTheProfile) {
    for (int b = 1; b < 256; ++b) {
        std::string c(1, static_cast<char>(b));
        ASSERT_EQ(roundTrip(c), c) << "byte " << b;
        ASSERT_EQ(roundTrip(" " + c + c + " "), " " + c + c + " ") << "byte " << b << " between blanks";
    }
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(roundTrip(all), all);
    EXPECT_EQ(roundTrip(std::string(495, 'x')), std::string(495, 'x'))
        << "the longest value the profile keeps";
    EXPECT_EQ(roundTrip("=\r\n;#[x]\\"), "=\r\n;#[x]\\");
    // One entry, one line: nothing a password holds splits it or adds a key.
    EXPECT_TRUE(write_("DSN", "Other", "value", "ODBC.INI"));
    char keys[256];
    int n = read_("DSN", nullptr, "", keys, sizeof keys, "ODBC.INI");
    EXPECT_EQ(std::string(keys, n), std::string("PWD\0Other\0", n));
}
