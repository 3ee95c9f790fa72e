#include <gtest/gtest.h>
#include <unistd.h>
#include <string>
#include "platform/win32.h"
#include "tests/support/support.h"

using kotest::buildLib;

TEST(Modules, DllNamesMapToSharedObjectsAndAreCounted) {
    // The driver library answers to its Windows-style name with any case of ".DLL".
    std::string dir = buildLib("");
    HMODULE a = LoadLibraryA((dir + "ztbtr20.DLL").c_str());
    ASSERT_NE(a, nullptr);
    HMODULE b = LoadLibraryA((dir + "ztbtr20.dll").c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(GetModuleHandleA("ztbtr20"), a) << "a loaded module is found by its base name";
    EXPECT_NE(GetProcAddress(a, "BringUpDefiner"), nullptr);
    EXPECT_EQ(GetProcAddress(a, "NoSuchEntry"), nullptr);
    char path[512];
    DWORD n = GetModuleFileNameA(a, path, sizeof path);
    EXPECT_EQ(std::string(path, n), buildLib("ztbtr20.so"));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_EQ(GetModuleHandleA("ztbtr20.so"), a) << "one reference is still held";
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(LoadLibraryA((dir + "missing.dll").c_str()), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
}

TEST(Modules, ModuleFileNameIsCutToTheBufferLikeWindows) {
    char full[512];
    DWORD n = GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(n, 4u);
    EXPECT_NE(std::string(full).find("test_platform"), std::string::npos);
    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(std::string(small), std::string(full, 4));
}

TEST(Modules, VersionLibraryReadsTheFileNameSuffix) {
    HMODULE v = LoadLibraryA("version.dll");
    ASSERT_NE(v, nullptr);
    auto size = reinterpret_cast<DWORD (*)(LPCSTR, LPDWORD)>(GetProcAddress(v, "GetFileVersionInfoSizeA"));
    auto info =
        reinterpret_cast<BOOL (*)(LPCSTR, DWORD, DWORD, LPVOID)>(GetProcAddress(v, "GetFileVersionInfoA"));
    auto query =
        reinterpret_cast<BOOL (*)(LPCVOID, LPCSTR, LPVOID*, UINT*)>(GetProcAddress(v, "VerQueryValueA"));
    ASSERT_TRUE(size && info && query);

    kotest::TempDir dir;
    kotest::writeFile(dir.file("libx.so.3.1.4"), "x");
    kotest::writeFile(dir.file("plain.so"), "x");
    std::string link = dir.file("libx.so");
    ASSERT_EQ(symlink("libx.so.3.1.4", link.c_str()), 0);

    DWORD handle = 7;
    EXPECT_EQ(size(dir.file("plain.so").c_str(), &handle), 0u) << "no numeric suffix: no version resource";
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(size(dir.file("absent.so.1").c_str(), nullptr), 0u);
    DWORD n = size(link.c_str(), nullptr); // a link is read through to its real name
    ASSERT_GT(n, 0u);
    std::string block(n, '\0');
    ASSERT_TRUE(info(link.c_str(), 0, n, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(query(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &len));
    EXPECT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 1u);
    EXPECT_EQ(fixed->dwFileVersionLS, 4u << 16);
    EXPECT_FALSE(query(block.data(), "\\StringFileInfo", reinterpret_cast<LPVOID*>(&fixed), &len));
    FreeLibrary(v);
}
