// Conformance of the file calls with Windows' behaviour.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/handle.h"
#include "platform/system.h"
#include "tests/support/support.h"

namespace {

std::string readAll(HANDLE h) {
    std::string out;
    char buf[256];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    return out;
}

HANDLE openShared(const std::string& name, DWORD access, DWORD disposition) {
    return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<std::string> findAll(const std::string& pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do
        names.push_back(data.cFileName);
    while (FindNextFileA(h, &data));
    if (error) *error = GetLastError();
    EXPECT_TRUE(FindClose(h));
    return names;
}

} // namespace

TEST(PlatformFile, CreateDispositions) {
    kotest::TempDir dir;
    std::string f = dir.file("a.dat");

    HANDLE h = openShared(f, GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    h = openShared(dir.file("missing/a.dat"), GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    h = openShared(f, GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_EQ(openShared(f, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    h = openShared(f, GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(readAll(h), "hello");
    CloseHandle(h);

    h = openShared(f, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u) << "CREATE_ALWAYS truncates";
    CloseHandle(h);

    EXPECT_EQ(openShared(f, GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "truncation needs write access";

    h = openShared(dir.file("b.dat"), GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(h);
    EXPECT_NE(GetFileAttributesA(dir.file("b.dat").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PlatformFile, DirectoryIsNotAFile) {
    kotest::TempDir dir;
    EXPECT_EQ(openShared(dir.path(), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA(dir.path().c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(_sopen(dir.path().c_str(), _O_RDONLY, _SH_DENYNO, 0), -1);
    int e = 0;
    _get_errno(&e);
    EXPECT_EQ(e, crtEACCES);
}

TEST(PlatformFile, PointerReadWriteAndSize) {
    kotest::TempDir dir;
    HANDLE h = openShared(dir.file("p"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
    char buf[8] = {};
    EXPECT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buf, 4), "2345");
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), 10u);
    EXPECT_TRUE(ReadFile(h, buf, 4, &n, nullptr)) << "reading at the end is no error";
    EXPECT_EQ(n, 0u);

    EXPECT_EQ(SetFilePointer(h, -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u) << "a failed move leaves the pointer";

    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
    ASSERT_TRUE(SetEndOfFile(h));
    DWORD sizeHigh = 7;
    EXPECT_EQ(GetFileSize(h, &sizeHigh), 4u);
    EXPECT_EQ(sizeHigh, 0u);
    EXPECT_TRUE(FlushFileBuffers(h));
    EXPECT_TRUE((koHandleKindOf(h) == KoHandleKind::file));
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_FALSE((koHandleKindOf(h) == KoHandleKind::file));
    EXPECT_FALSE(CloseHandle(h)) << "a handle closes once";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PlatformFile, SharingModes) {
    kotest::TempDir dir;
    std::string f = dir.file("s");
    kotest::writeFile(f, "keep me");

    HANDLE a = openShared(f, GENERIC_READ, OPEN_EXISTING);
    HANDLE b = openShared(f, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE) << "handles that share everything coexist";
    HANDLE x = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(x, INVALID_HANDLE_VALUE) << "an exclusive open fails while others hold the file";
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(a);
    CloseHandle(b);

    x = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(x, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openShared(f, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(openShared(f, GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(readAll(x), "keep me") << "a refused CREATE_ALWAYS must not truncate";
    int fd = _sopen(f.c_str(), _O_RDONLY, _SH_DENYNO, 0);
    EXPECT_EQ(fd, -1);
    int e = 0;
    _get_errno(&e);
    EXPECT_EQ(e, crtEACCES);
    CloseHandle(x);

    fd = _sopen(f.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0);
    ASSERT_GE(fd, 0) << "the exclusive handle's close lets others in";
    EXPECT_EQ(_close(fd), 0);
}

TEST(PlatformFile, ReadOnlyAttribute) {
    kotest::TempDir dir;
    std::string f = dir.file("r.txt");
    kotest::writeFile(f, "x");
    EXPECT_EQ(GetFileAttributesA(f.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY), 0u);
    ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(GetFileAttributesA(f.c_str()) & FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(openShared(f, GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE h = openShared(f, GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "reading a read-only file is allowed";
    CloseHandle(h);
    EXPECT_FALSE(DeleteFileA(f.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(f.c_str()));
    EXPECT_EQ(GetFileAttributesA(f.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(f.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(dir.file("no/such").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(GetFileAttributesA(dir.path().c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);

    // A file created read-only can still be written through the handle that created it.
    int fd = _sopen(dir.file("new").c_str(), _O_CREAT | _O_RDWR, _SH_DENYNO, _S_IREAD);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_write(fd, "ab", 2), 2);
    _close(fd);
    EXPECT_TRUE(GetFileAttributesA(dir.file("new").c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(PlatformFile, AttributesExAndTimes) {
    kotest::TempDir dir;
    std::string f = dir.file("t");
    kotest::writeFile(f, std::string(1234, 'z'));
    WIN32_FILE_ATTRIBUTE_DATA d;
    ASSERT_TRUE(GetFileAttributesExA(f.c_str(), GetFileExInfoStandard, &d));
    EXPECT_EQ(d.nFileSizeLow, 1234u);
    EXPECT_EQ(d.nFileSizeHigh, 0u);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&d.ftLastWriteTime, &st));
    EXPECT_GE(st.wYear, 2020);
    EXPECT_FALSE(GetFileAttributesExA(dir.file("none").c_str(), GetFileExInfoStandard, &d));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    FILETIME zero{0, 0};
    ASSERT_TRUE(FileTimeToSystemTime(&zero, &st));
    EXPECT_EQ(st.wYear, 1601);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 1) << "1 January 1601 was a Monday";

    const uint64_t epoch = 116444736000000000ULL + 12345678ULL; // 1970-01-01 00:00:01.234
    FILETIME ft{DWORD(epoch & 0xFFFFFFFFu), DWORD(epoch >> 32)};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, 1970);
    EXPECT_EQ(st.wDayOfWeek, 4);
    EXPECT_EQ(st.wSecond, 1);
    EXPECT_EQ(st.wMilliseconds, 234);
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    EXPECT_EQ((uint64_t(back.dwHighDateTime) << 32) | back.dwLowDateTime, epoch - 5678)
        << "milliseconds are kept";

    SYSTEMTIME bad = st;
    bad.wYear = 2023;
    bad.wMonth = 2;
    bad.wDay = 29;
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &back));
    bad.wYear = 2024;
    EXPECT_TRUE(SystemTimeToFileTime(&bad, &back));
    FILETIME negative{0, 0x80000000u};
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &st));
}

TEST(PlatformFile, MoveFileEx) {
    kotest::TempDir dir;
    std::string a = dir.file("a"), b = dir.file("b");
    kotest::writeFile(a, "A");
    kotest::writeFile(b, "B");
    EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(kotest::readFile(a), "A");
    EXPECT_EQ(kotest::readFile(b), "B");
    EXPECT_TRUE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(kotest::readFile(b), "A");
    EXPECT_EQ(GetFileAttributesA(a.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(MoveFileExA(b.c_str(), dir.file("c").c_str(), 0));
    EXPECT_EQ(kotest::readFile(dir.file("c")), "A");
    EXPECT_FALSE(MoveFileExA(dir.file("c").c_str(), nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PlatformFile, Directories) {
    kotest::TempDir dir;
    std::string d = dir.file("sub");
    EXPECT_TRUE(CreateDirectoryA(d.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(d.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    kotest::writeFile(d + "/f", "");
    EXPECT_FALSE(RemoveDirectoryA(d.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(DeleteFileA((d + "/f").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(d.c_str()));

    char cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, sizeof cwd);
    EXPECT_EQ(strlen(cwd), n);
    EXPECT_EQ(GetCurrentDirectoryA(n, cwd), n + 1) << "too small a buffer asks for the terminator too";
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    char real[PATH_MAX];
    ASSERT_TRUE(realpath(dir.path().c_str(), real));
    EXPECT_STREQ(now, real);
    EXPECT_FALSE(SetCurrentDirectoryA(dir.file("none").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetCurrentDirectoryA(cwd);
}

TEST(PlatformFile, WildcardsMatchAsWindowsDoes) {
    kotest::TempDir dir;
    for (const char* n :
         {"a", "ab", "abc", "a.txt", "b.c.txt", "atxt", "x.txtx", ".hidden", "A.TXT", "v1.2.3"})
        kotest::writeFile(dir.file(n), "");
    CreateDirectoryA(dir.file("sub.d").c_str(), nullptr);

    struct Case {
        const char* pattern;
        std::vector<std::string> expected;
    } cases[] = {
        {"*",
         {".", "..", ".hidden", "A.TXT", "a", "a.txt", "ab", "abc", "atxt", "b.c.txt", "sub.d", "v1.2.3",
          "x.txtx"}},
        {"*.*",
         {".", "..", ".hidden", "A.TXT", "a", "a.txt", "ab", "abc", "atxt", "b.c.txt", "sub.d", "v1.2.3",
          "x.txtx"}},
        {"*.txt", {"a.txt", "b.c.txt"}},
        {"*.", {".", "..", "a", "ab", "abc", "atxt"}},
        {"a?", {"a", "ab"}},
        {"???", {"a", "ab", "abc"}},
        {"a*", {"a", "a.txt", "ab", "abc", "atxt"}},
        {"?.txt", {"a.txt"}},
        {"*.?", {".", "..", "a", "ab", "abc", "atxt", "sub.d", "v1.2.3"}},
        {"*.t?t", {"a.txt", "b.c.txt"}},
        {"abc", {"abc"}},
        {"v*.3", {"v1.2.3"}},
        {"*x", {"x.txtx"}},
        {".*", {".", "..", ".hidden"}},
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        std::vector<std::string> got = findAll(dir.file(c.pattern), &error);
        EXPECT_EQ(got, c.expected) << "pattern " << c.pattern;
        EXPECT_EQ(error, ERROR_NO_MORE_FILES) << "pattern " << c.pattern;
    }

    DWORD error = 0;
    EXPECT_TRUE(findAll(dir.file("zz*"), &error).empty());
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(findAll(dir.file("none/*"), &error).empty());
    EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(findAll(dir.path() + "/", &error).empty());
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(dir.file("sub.d").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PlatformFile, TempPath) {
    const char* saved = getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    kotest::TempDir dir;
    SetEnvironmentVariableA("TMPDIR", dir.path().c_str());
    char buf[MAX_PATH];
    DWORD n = GetTempPathA(sizeof buf, buf);
    EXPECT_EQ(std::string(buf), dir.path() + "/");
    EXPECT_EQ(n, dir.path().size() + 1);
    EXPECT_EQ(GetTempPathA(n, buf), n + 1);
    SetEnvironmentVariableA("TMPDIR", nullptr);
    GetTempPathA(sizeof buf, buf);
    EXPECT_STREQ(buf, "/tmp/");
    SetEnvironmentVariableA("TMPDIR", saved ? keep.c_str() : nullptr);
}

TEST(PlatformFile, TempFileNames) {
    kotest::TempDir dir;
    char name[MAX_PATH];
    ASSERT_EQ(GetTempFileNameA(dir.path().c_str(), "wwhapi", 0x1A2B, name), 0x1A2Bu);
    EXPECT_EQ(std::string(name), dir.path() + "/wwh1A2B.tmp") << "three characters of the prefix, hex number";
    EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES) << "a given number creates nothing";

    mode_t old = umask(0);
    UINT u = GetTempFileNameA(dir.path().c_str(), "ko", 0, name);
    umask(old);
    ASSERT_NE(u, 0u);
    struct stat st;
    ASSERT_EQ(stat(name, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "temporary files are private to the user";
    EXPECT_EQ(st.st_size, 0);
    char expect[MAX_PATH];
    snprintf(expect, sizeof expect, "%s/ko%X.tmp", dir.path().c_str(), u);
    EXPECT_STREQ(name, expect);

    EXPECT_EQ(GetTempFileNameA(dir.file("missing").c_str(), "ko", 0, name), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    std::string longPath(MAX_PATH - 8, 'x');
    EXPECT_EQ(GetTempFileNameA(longPath.c_str(), "ko", 0, name), 0u);
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
}

TEST(PlatformFile, TempFileNamesNeverCollideAcrossThreads) {
    kotest::TempDir dir;
    constexpr int perThread = 300;
    std::vector<std::string> names[2];
    auto make = [&](int t) {
        char name[MAX_PATH];
        for (int i = 0; i < perThread; ++i)
            if (GetTempFileNameA(dir.path().c_str(), "ko", 0, name)) names[t].push_back(name);
    };
    std::thread a(make, 0), b(make, 1);
    a.join();
    b.join();
    std::set<std::string> all(names[0].begin(), names[0].end());
    all.insert(names[1].begin(), names[1].end());
    EXPECT_EQ(names[0].size() + names[1].size(), size_t(2 * perThread));
    EXPECT_EQ(all.size(), size_t(2 * perThread)) << "every creator got a name of its own";
    EXPECT_EQ(findAll(dir.file("ko*.tmp")).size(), size_t(2 * perThread));
}

TEST(PlatformFile, RuntimeDescriptors) {
    kotest::TempDir dir;
    std::string f = dir.file("rt");
    int e = 0;
    EXPECT_EQ(_sopen(f.c_str(), _O_RDONLY, _SH_DENYNO, 0), -1);
    _get_errno(&e);
    EXPECT_EQ(e, crtENOENT);

    int fd = _sopen(f.c_str(), _O_CREAT | _O_TRUNC | _O_RDWR | _O_BINARY, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_sopen(f.c_str(), _O_RDONLY, _SH_DENYNO, 0), -1) << "denied to others while held";
    _get_errno(&e);
    EXPECT_EQ(e, crtEACCES);
    EXPECT_EQ(_write(fd, "abcdef", 6), 6);
    EXPECT_EQ(_lseek(fd, 2, 0), 2);
    char buf[8] = {};
    EXPECT_EQ(_read(fd, buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");
    EXPECT_EQ(_read(fd, buf, 8), 0);
    EXPECT_EQ(_filelength(fd), 6);
    EXPECT_EQ(_chsize(fd, 3), 0);
    EXPECT_EQ(_filelength(fd), 3);
    EXPECT_EQ(_lseek(fd, -1, 0), -1);
    _get_errno(&e);
    EXPECT_EQ(e, crtEINVAL);
    EXPECT_EQ(_commit(fd), 0);
    EXPECT_EQ(_close(fd), 0);
    EXPECT_EQ(_close(fd), -1);
    _get_errno(&e);
    EXPECT_EQ(e, crtEBADF);

    fd = _sopen(f.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_write(fd, "x", 1), -1) << "a read-only descriptor refuses writes";
    _get_errno(&e);
    EXPECT_EQ(e, crtEBADF);
    EXPECT_EQ(_read(fd, buf, 8), 3) << "and stays usable";
    _close(fd);

    EXPECT_EQ(_sopen(f.c_str(), _O_RDONLY | _O_TRUNC, _SH_DENYNO, 0), -1);
    EXPECT_EQ(_sopen(f.c_str(), _O_RDONLY, 0x77, 0), -1) << "unknown sharing flag";
    EXPECT_EQ(_sopen(f.c_str(), _O_CREAT | _O_EXCL | _O_RDWR, _SH_DENYNO, _S_IWRITE), -1);
    _get_errno(&e);
    EXPECT_EQ(e, crtEEXIST);
}

TEST(PlatformFile, VolumeInformation) {
    DWORD flags = 0, maxLen = 0;
    char fs[32];
    ASSERT_TRUE(GetVolumeInformationA("/", nullptr, 0, nullptr, &maxLen, &flags, fs, sizeof fs));
    EXPECT_TRUE(flags & FILE_CASE_SENSITIVE_SEARCH);
    EXPECT_TRUE(flags & FILE_CASE_PRESERVED_NAMES);
    EXPECT_GE(maxLen, 255u);
    EXPECT_GT(strlen(fs), 0u);
    EXPECT_TRUE(GetVolumeInformationA(nullptr, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0));
    EXPECT_FALSE(GetVolumeInformationA("/no/such/volume", nullptr, 0, nullptr, nullptr, &flags, nullptr, 0));
    UINT was = SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(was), UINT(SEM_FAILCRITICALERRORS));
}
