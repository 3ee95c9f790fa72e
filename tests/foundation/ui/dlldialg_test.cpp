#include <gtest/gtest.h>
#include <cstring>
#include "foundation/ui/dlldialg.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {
std::string str(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}
} // namespace

TEST(ResourceLibrary, SplitsTheModuleNameAtItsLastSlash) {
    HMODULE m = LoadLibraryA(kotest::buildLib("ztbtr20s.so").c_str());
    ASSERT_NE(m, nullptr);
    unsigned char dir[256], file[256];
    ASSERT_EQ(getDllFileNameAndDirectory(m, dir, file), koSuccess);
    EXPECT_EQ(str(dir) + "/" + str(file), kotest::buildLib("ztbtr20s.so"));
    EXPECT_EQ(str(file), "ztbtr20s.so");
    EXPECT_EQ(getDllFileNameAndDirectory(m, nullptr, file), koSuccess);
    FreeLibrary(m);
}

TEST(ResourceLibrary, LoadsBesideTheModuleAndCountsReferences) {
    HMODULE m = LoadLibraryA(kotest::buildLib("ztbtr20s.so").c_str());
    ASSERT_NE(m, nullptr);
    HINSTANCE handle = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(bosLoadResourceDLL(m, 1, &handle, &count), koSuccess);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(count, 1u);
    char path[512];
    GetModuleFileNameA(handle, path, sizeof path);
    EXPECT_EQ(std::string(path), kotest::buildLib("ztbtr20R.so"));
    HINSTANCE first = handle;
    ASSERT_EQ(bosLoadResourceDLL(m, 1, &handle, &count), koSuccess);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(handle, first) << "a counted load loads nothing";
    EXPECT_EQ(bosFreeResourceDLL(&handle, &count), koSuccess);
    EXPECT_EQ(handle, first);
    EXPECT_EQ(bosFreeResourceDLL(&handle, &count), koSuccess);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(bosFreeResourceDLL(&handle, &count), koSuccess) << "a third free does nothing";
    EXPECT_EQ(count, 0u);

    // Flag 0 puts the "R" before the extension: ztbtr20sR, which does not exist.
    EXPECT_EQ(bosLoadResourceDLL(m, 0, &handle, &count), koFailure);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(count, 0u);
    FreeLibrary(m);
}

TEST(ResourceLibrary, StringsComeFromTheLoadedLibrary) {
    kotest::useBuildResources();
    unsigned char out[512];
    EXPECT_EQ(winGetString(out, 20152), 8);
    EXPECT_EQ(str(out), "Advanced");
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(winGetString(out, 12345), 0);
    EXPECT_EQ(out[0], 0);
}
