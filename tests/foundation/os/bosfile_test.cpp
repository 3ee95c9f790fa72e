// Files: open modes, positioned reads and writes, failures, deletion, attributes, search.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "foundation/os/bosinternal.h"
#include "platform/win32.h"
#include "tests/foundation/os/bostest.h"

namespace {

// Sets an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvOverride() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

// Lowers a resource limit for the life of the object.
class LimitOverride {
public:
    LimitOverride(int resource, rlim_t soft) : resource_(resource) {
        getrlimit(resource, &saved_);
        struct rlimit l = saved_;
        l.rlim_cur = soft;
        EXPECT_EQ(setrlimit(resource, &l), 0);
    }
    ~LimitOverride() { setrlimit(resource_, &saved_); }

private:
    int resource_;
    struct rlimit saved_;
};

size_t filesIn(const std::string& dir) {
    size_t n = 0;
    unsigned char* cursor = nullptr;
    BosTest::Path pattern(dir + "/*");
    unsigned char name[256];
    memcpy(name, pattern.b, sizeof name);
    do {
        if (bosFindFiles(&cursor, name) != koSuccess) return n;
        if (cursor) ++n;
    } while (cursor);
    return n;
}

} // namespace

TEST_F(BosTest, CreateWriteReadClose) {
    Path name(dir_.file("data.bin"));
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, bosOpenCreate, &h), koSuccess);
    EXPECT_GT(h, 1) << "descriptor plus one, never 0";
    EXPECT_EQ(bosFileWrite(h, -1, "0123456789", 10), koSuccess);
    EXPECT_EQ(bosFileWrite(h, 4, "ab", 2), koSuccess);
    EXPECT_EQ(bosFileWrite(h, -1, "C", 1), koSuccess) << "-1 continues after the last write";

    char buf[32] = {};
    uint32_t got = 99;
    EXPECT_EQ(bosFileRead(h, 0, buf, sizeof buf, &got), koSuccess);
    EXPECT_EQ(got, 10u) << "a short read at the end is no error";
    EXPECT_EQ(std::string(buf, got), "0123abC789");
    EXPECT_EQ(bosFileRead(h, 8, buf, 4, &got), koSuccess);
    EXPECT_EQ(std::string(buf, got), "89");
    EXPECT_EQ(bosFileRead(h, -1, buf, 4, &got), koSuccess);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(bosFileClose(h), koSuccess);
    EXPECT_EQ(bosFileClose(0), koSuccess) << "no file, nothing to do";
    EXPECT_EQ(errorCount(), 0u);

    // Creating again truncates; plain opens keep the content and are read-only unless asked.
    kotest::writeFile(name.str(), "old content");
    ASSERT_EQ(bosFileOpen(name, bosOpenCreate, &h), koSuccess);
    EXPECT_EQ(bosFileRead(h, 0, buf, sizeof buf, &got), koSuccess);
    EXPECT_EQ(got, 0u);
    bosFileClose(h);
    kotest::writeFile(name.str(), "kept");
    ASSERT_EQ(bosFileOpen(name, 0, &h), koSuccess);
    EXPECT_EQ(bosFileRead(h, 0, buf, sizeof buf, &got), koSuccess);
    EXPECT_EQ(std::string(buf, got), "kept");
    EXPECT_EQ(bosFileWrite(h, 0, "x", 1), koFailure);
    EXPECT_EQ(lastError(), bosErrBadHandle) << "a read-only handle refuses writes";
    EXPECT_EQ(bosFileRead(h, 0, buf, sizeof buf, &got), koSuccess) << "and stays valid after it";
    EXPECT_EQ(std::string(buf, got), "kept");
    bosFileClose(h);
    ASSERT_EQ(bosFileOpen(name, bosOpenReadWrite, &h), koSuccess);
    EXPECT_EQ(bosFileWrite(h, 0, "K", 1), koSuccess);
    bosFileClose(h);
    EXPECT_EQ(kotest::readFile(name.str()), "Kept");
}

TEST_F(BosTest, LargeWritesCrossPieceBoundaries) {
    Path name(dir_.file("big"));
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, bosOpenCreate, &h), koSuccess);
    std::vector<unsigned char> data(200000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (unsigned char)(i * 7 + i / 65534);
    EXPECT_EQ(bosFileWrite(h, 3, data.data(), 100000), koSuccess);
    EXPECT_EQ(bosFileWrite(h, -1, data.data() + 100000, 100000), koSuccess);
    std::vector<unsigned char> back(data.size() + 10);
    uint32_t got = 0;
    EXPECT_EQ(bosFileRead(h, 3, back.data(), uint32_t(back.size()), &got), koSuccess);
    ASSERT_EQ(got, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    bosFileClose(h);
}

TEST_F(BosTest, OpenFailures) {
    int h = 7;
    Path missing(dir_.file("none.dat"));
    EXPECT_EQ(bosFileOpen(missing, 0, &h), koFailure);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(lastError(), bosErrOpen);
    expectNamed(missing.str());
    Path inMissingDir(dir_.file("no/such/dir.dat"));
    h = 7;
    EXPECT_EQ(bosFileOpen(inMissingDir, bosOpenCreate, &h), koFailure);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(lastError(), bosErrCreate);
    expectNamed(inMissingDir.str());
    Path directory(dir_.path());
    EXPECT_EQ(bosFileOpen(directory, 0, &h), koFailure) << "a directory is not a file";
    EXPECT_EQ(errorCount(), 3u);
}

TEST_F(BosTest, ExclusiveSharing) {
    Path name(dir_.file("shared"));
    kotest::writeFile(name.str(), "x");
    int a = 0, b = 0, c = 0;
    ASSERT_EQ(bosFileOpen(name, bosOpenReadWrite, &a), koSuccess);
    ASSERT_EQ(bosFileOpen(name, 0, &b), koSuccess) << "shared handles coexist";
    EXPECT_EQ(bosFileOpen(name, bosOpenExclusive, &c), koFailure);
    EXPECT_EQ(lastError(), bosErrOpen);
    bosFileClose(a);
    bosFileClose(b);
    ASSERT_EQ(bosFileOpen(name, bosOpenExclusive | bosOpenReadWrite, &c), koSuccess);
    EXPECT_EQ(bosFileOpen(name, 0, &a), koFailure) << "nobody else while it is held exclusively";
    EXPECT_EQ(bosFileOpen(name, bosOpenCreate, &a), koFailure);
    EXPECT_EQ(lastError(), bosErrCreate);
    EXPECT_EQ(kotest::readFile(name.str()), "x") << "a refused create leaves the content";
    bosFileClose(c);
    EXPECT_EQ(bosFileOpen(name, 0, &a), koSuccess);
    bosFileClose(a);
}

TEST_F(BosTest, TemporaryFiles) {
    EnvOverride tmp("TMPDIR", dir_.path().c_str());
    for (uint32_t mode : {bosOpenTempName | bosOpenReadWrite, bosOpenTempFixed | bosOpenReadWrite}) {
        unsigned char name[256];
        memset(name, 0xEE, sizeof name);
        int h = 0;
        ASSERT_EQ(bosFileOpen(name, mode, &h), koSuccess);
        std::string n = reinterpret_cast<char*>(name);
        EXPECT_EQ(n.rfind(dir_.path() + "/ko", 0), 0u) << n;
        EXPECT_EQ(n.substr(n.size() - 4), ".tmp");
        struct stat st;
        ASSERT_EQ(stat(n.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << "private to the user";
        EXPECT_EQ(st.st_size, 0);
        EXPECT_EQ(bosFileWrite(h, 0, "page", 4), koSuccess);
        bosFileClose(h);
        // Reopened by name, as the temporary storage does.
        ASSERT_EQ(bosFileOpen(name, bosOpenReadWrite, &h), koSuccess);
        char buf[8];
        uint32_t got = 0;
        EXPECT_EQ(bosFileRead(h, 0, buf, 8, &got), koSuccess);
        EXPECT_EQ(std::string(buf, got), "page");
        bosFileClose(h);
        EXPECT_EQ(bosFileDelete(name), koSuccess);
        EXPECT_EQ(bosexist(name), 0u);
    }
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(BosTest, TemporaryFilesFromTwoThreadsNeverCollide) {
    EnvOverride tmp("TMPDIR", dir_.path().c_str());
    constexpr int perThread = 150;
    std::vector<std::string> names[2];
    std::vector<int> handles[2];
    auto work = [&](int t) {
        KoErrorList list(nullptr, 1);
        KoErrorKeeper::setErrorList(&list);
        for (int i = 0; i < perThread; ++i) {
            unsigned char name[256];
            int h = 0;
            if (bosFileOpen(name, bosOpenTempName | bosOpenReadWrite, &h) != koSuccess) break;
            // Each writes its own mark; a shared file would show the other's.
            std::string mark = std::to_string(t) + ":" + std::to_string(i);
            bosFileWrite(h, 0, mark.data(), uint32_t(mark.size()));
            names[t].push_back(reinterpret_cast<char*>(name));
            handles[t].push_back(h);
        }
        KoErrorKeeper::giveUpErrorList();
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    ASSERT_EQ(names[0].size(), size_t(perThread));
    ASSERT_EQ(names[1].size(), size_t(perThread));
    std::set<std::string> unique(names[0].begin(), names[0].end());
    unique.insert(names[1].begin(), names[1].end());
    EXPECT_EQ(unique.size(), size_t(2 * perThread));
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < perThread; ++i) {
            EXPECT_EQ(kotest::readFile(names[t][i]), std::to_string(t) + ":" + std::to_string(i));
            bosFileClose(handles[t][i]);
        }
}

TEST_F(BosTest, TemporaryNameFailures) {
    unsigned char name[256];
    int h = 0;
    {
        EnvOverride tmp("TMPDIR", dir_.file("gone").c_str());
        EXPECT_EQ(bosFileOpen(name, bosOpenTempName | bosOpenReadWrite, &h), koFailure);
        EXPECT_EQ(lastError(), bosErrNotFound) << "a missing temporary directory";
        expectNamed(dir_.file("gone"));
        EXPECT_EQ(h, 0);
    }
    {
        // The generated name would not fit the caller's 256 bytes: refused, and nothing left behind.
        // 248 characters: the longest directory the system still forms a name in, and too long for
        // the caller's buffer whatever the number.
        std::string deep = dir_.path() + "/" + std::string(248 - dir_.path().size() - 1, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
        EnvOverride tmp("TMPDIR", deep.c_str());
        memset(name, 0, sizeof name);
        EXPECT_EQ(bosFileOpen(name, bosOpenTempName | bosOpenReadWrite, &h), koFailure);
        EXPECT_EQ(lastError(), bosErrCreate);
        EXPECT_EQ(filesIn(deep), 0u);
    }
}

TEST_F(BosTest, AccessDeniedByTheSystem) {
    // Run as an unprivileged user in a child, so that permissions apply even when tests run as root.
    std::string locked = dir_.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    if (geteuid() != 0) chmod(locked.c_str(), 0555);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        setenv("TMPDIR", locked.c_str(), 1);
        // The child is a thread of its own to the error keeper.
        KoErrorList childList(nullptr, 1);
        KoErrorKeeper::setErrorList(&childList);
        unsigned char name[256];
        int h = 0;
        KoStatus s = bosFileOpen(name, bosOpenTempName | bosOpenReadWrite, &h);
        _exit(s == koFailure && h == 0 && KoErrorKeeper::getLastErrorNumber() == bosErrAccess ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1508 expected for a temporary directory without write access";
}

TEST_F(BosTest, PathSearch) {
    std::string tools = dir_.file("tools");
    ASSERT_EQ(mkdir(tools.c_str(), 0700), 0);
    kotest::writeFile(tools + "/found.cfg", "cfg");
    std::string path = dir_.file("nowhere") + "::" + dir_.file("empty") + ":" + tools;
    EnvOverride p("PATH", path.c_str());
    ASSERT_EQ(mkdir(dir_.file("empty").c_str(), 0700), 0);

    Path name("found.cfg");
    int h = 0;
    EXPECT_EQ(bosFileOpen(name, 0, &h), koFailure) << "no search without the bit";
    clearErrors();
    ASSERT_EQ(bosFileOpen(name, bosOpenSearchPath, &h), koSuccess);
    char buf[8];
    uint32_t got = 0;
    bosFileRead(h, 0, buf, 8, &got);
    EXPECT_EQ(std::string(buf, got), "cfg");
    bosFileClose(h);
    EXPECT_EQ(name.str(), "found.cfg") << "the caller's name is not rewritten";

    EnvOverride p2("PATH", (tools + "/").c_str());
    EXPECT_EQ(bosFileOpen(name, bosOpenSearchPath, &h), koSuccess) << "a trailing / is not doubled in effect";
    bosFileClose(h);
    Path other("other.cfg");
    EXPECT_EQ(bosFileOpen(other, bosOpenSearchPath, &h), koFailure);
    EXPECT_EQ(lastError(), bosErrOpen);
    EnvOverride p3("PATH", nullptr);
    EXPECT_EQ(bosFileOpen(name, bosOpenSearchPath, &h), koFailure);
}

TEST_F(BosTest, OpenUnderMemoryFailure) {
    std::string tools = dir_.file("tools");
    ASSERT_EQ(mkdir(tools.c_str(), 0700), 0);
    kotest::writeFile(tools + "/f.cfg", "cfg");
    EnvOverride p("PATH", tools.c_str());
    EnvOverride tmp("TMPDIR", dir_.path().c_str());
    Path name("f.cfg");
    int h = 0;
    KoStatus s = koSuccess;
    kotest::forEachAllocationFailure([&] { s = bosFileOpen(name, bosOpenSearchPath, &h); },
                                     [&](unsigned n, bool failed) {
                                         if (failed) {
                                             EXPECT_EQ(s, koFailure) << n;
                                             EXPECT_EQ(h, 0) << n;
                                             EXPECT_EQ(errorCount(), 0u) << "no record for lack of memory";
                                         } else {
                                             EXPECT_EQ(s, koSuccess);
                                             bosFileClose(h);
                                         }
                                     });
    unsigned char temp[256];
    kotest::forEachAllocationFailure([&] { s = bosFileOpen(temp, bosOpenTempName | bosOpenReadWrite, &h); },
                                     [&](unsigned n, bool failed) {
                                         if (failed) {
                                             EXPECT_EQ(s, koFailure) << n;
                                             EXPECT_EQ(filesIn(dir_.path()), 1u) << "no temporary file left";
                                         } else {
                                             EXPECT_EQ(s, koSuccess);
                                             bosFileClose(h);
                                             bosFileDelete(temp);
                                         }
                                     });
}

TEST_F(BosTest, FileSizeLimit) {
    signal(SIGXFSZ, SIG_IGN);
    Path name(dir_.file("limited"));
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, bosOpenCreate, &h), koSuccess);
    std::vector<char> data(1500, 'q');
    {
        LimitOverride limit(RLIMIT_FSIZE, 1000);
        EXPECT_EQ(bosFileWrite(h, 0, data.data(), 1500), koFailure);
        EXPECT_EQ(lastError(), bosErrSystem) << "a write cut short";
        EXPECT_EQ(bosFileWrite(h, -1, data.data(), 10), koFailure);
        EXPECT_EQ(lastError(), bosErrSystem) << "no room at all";
        EXPECT_EQ(errorCount(), 2u);
    }
    std::vector<char> back(2000);
    uint32_t got = 0;
    EXPECT_EQ(bosFileRead(h, 0, back.data(), 2000, &got), koSuccess) << "the handle survives";
    EXPECT_EQ(got, 1000u);
    EXPECT_EQ(bosFileWrite(h, -1, data.data(), 500), koSuccess);
    bosFileClose(h);
    signal(SIGXFSZ, SIG_DFL);
}

TEST_F(BosTest, TooManyOpenFiles) {
    EnvOverride tmp("TMPDIR", dir_.path().c_str());
    Path name(dir_.file("many"));
    kotest::writeFile(name.str(), "m");
    std::vector<int> handles;
    int h = 0;
    // One error raised before the descriptors run out: UndefinedBehaviorSanitizer checks an
    // object's type the first time it meets it, and that check itself needs a free descriptor.
    EXPECT_EQ(bosFileOpen(Path(dir_.file("absent")), 0, &h), koFailure);
    {
        LimitOverride limit(RLIMIT_NOFILE, 64);
        while (handles.size() < 100 && bosFileOpen(name, 0, &h) == koSuccess)
            handles.push_back(h);
        ASSERT_LT(handles.size(), 100u);
        ASSERT_FALSE(handles.empty());
        EXPECT_EQ(lastError(), bosErrOpen);
        unsigned char temp[256];
        EXPECT_EQ(bosFileOpen(temp, bosOpenTempName | bosOpenReadWrite, &h), koFailure);
        EXPECT_EQ(lastError(), bosErrTooManyFiles);
        char c;
        uint32_t got = 0;
        EXPECT_EQ(bosFileRead(handles.back(), 0, &c, 1, &got), koSuccess) << "open handles still work";
        EXPECT_EQ(got, 1u);
    }
    for (int h : handles)
        EXPECT_EQ(bosFileClose(h), koSuccess);
}

TEST_F(BosTest, BadHandles) {
    Path name(dir_.file("h"));
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, bosOpenCreate, &h), koSuccess);
    EXPECT_EQ(bosFileClose(h), koSuccess);
    char buf[4] = {'a', 'b', 'c', 'd'};
    uint32_t got = 5;
    EXPECT_EQ(bosFileRead(h, 0, buf, 4, &got), koFailure);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(lastError(), bosErrBadHandle);
    EXPECT_EQ(bosFileWrite(h, -1, buf, 4), koFailure);
    EXPECT_EQ(lastError(), bosErrBadHandle);
    EXPECT_EQ(bosFileClose(h), koFailure);
    EXPECT_EQ(lastError(), bosErrBadHandle);
    EXPECT_EQ(errorCount(), 3u);

    ASSERT_EQ(bosFileOpen(name, bosOpenReadWrite, &h), koSuccess);
    EXPECT_EQ(bosFileRead(h, -5, buf, 4, &got), koFailure) << "a negative offset other than -1";
    EXPECT_EQ(lastError(), bosErrSystem);
    EXPECT_EQ(bosFileWrite(h, -1, "ok", 2), koSuccess);
    bosFileClose(h);
}

TEST_F(BosTest, SystemErrorTable) {
    struct {
        int code;
        uint16_t number;
    } table[] = {{crtENOENT, bosErrNotFound}, {crtEBADF, bosErrBadHandle},     {crtENOMEM, bosErrNoMemory},
                 {crtEACCES, bosErrAccess},   {crtEMFILE, bosErrTooManyFiles}, {crtEDEADLOCK, bosErrLocked},
                 {crtENOSPC, bosErrSystem},   {crtEEXIST, bosErrSystem},       {0, bosErrSystem}};
    for (auto& t : table) {
        bosRaiseRuntimeError(t.code, u("x.dat"));
        EXPECT_EQ(lastError(), t.number) << "runtime error " << t.code;
        bool named = t.number == bosErrNotFound || t.number == bosErrAccess;
        if (named) {
            expectNamed("x.dat");
        } else {
            EXPECT_EQ(lastText().find("x.dat"), std::string::npos) << lastText();
        }
    }
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_PATH_NOT_FOUND), crtENOENT);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_SHARING_VIOLATION), crtEACCES);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_LOCK_VIOLATION), crtEACCES);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_TOO_MANY_OPEN_FILES), crtEMFILE);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_INVALID_HANDLE), crtEBADF);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_NOT_ENOUGH_MEMORY), crtENOMEM);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_DISK_FULL), crtENOSPC);
    EXPECT_EQ(koRuntimeErrnoOfWindowsError(ERROR_INVALID_PARAMETER), crtEINVAL);
}

TEST_F(BosTest, Delete) {
    Path name(dir_.file("del"));
    kotest::writeFile(name.str(), "d");
    EXPECT_EQ(bosFileDelete(name), koSuccess);
    EXPECT_EQ(bosexist(name), 0u);
    EXPECT_EQ(bosFileDelete(name), koSuccess) << "a missing file counts as deleted";
    Path inMissing(dir_.file("none/del"));
    EXPECT_EQ(bosFileDelete(inMissing), koSuccess);
    EXPECT_EQ(errorCount(), 0u);

    Path directory(dir_.path());
    EXPECT_EQ(bosFileDelete(directory), koFailure);
    EXPECT_EQ(lastError(), bosErrDelete);
    expectNamed(dir_.path());
    kotest::writeFile(name.str(), "r");
    ASSERT_EQ(chmod(name.str().c_str(), 0444), 0);
    EXPECT_EQ(bosFileDelete(name), koFailure) << "a read-only file stays";
    EXPECT_EQ(lastError(), bosErrDelete);
    EXPECT_EQ(bosexist(name), 1u);
}

TEST_F(BosTest, AttributesAndExistence) {
    std::string f = dir_.file("f"), ro = dir_.file("ro");
    kotest::writeFile(f, "");
    kotest::writeFile(ro, "");
    chmod(ro.c_str(), 0444);
    EXPECT_EQ(bosfattr(u(f)), 1u);
    EXPECT_EQ(bosfattr(u(ro)), 5u);
    EXPECT_EQ(bosfattr(u(dir_.path())), 2u);
    EXPECT_EQ(bosfattr(u(dir_.file("missing"))), 0u);
    EXPECT_EQ(bosfattr(u("..")), 2u);
    EXPECT_EQ(bosexist(u(f)), 1u);
    EXPECT_EQ(bosexist(u(ro)), 1u);
    EXPECT_EQ(bosexist(u(dir_.path())), 0u) << "directories do not count";
    EXPECT_EQ(bosexist(u(dir_.file("missing"))), 0u);
    EXPECT_EQ(bosfattr(u(dir_.file("F"))), 0u) << "names keep their case";
}

TEST_F(BosTest, DateAndSize) {
    std::string f = dir_.file("dated");
    kotest::writeFile(f, "12345");
    struct timeval times[2] = {{1614900600, 0}, {1614900600, 0}}; // 2021-03-04 23:30:00 UTC
    ASSERT_EQ(utimes(f.c_str(), times), 0);
    EnvOverride tz("TZ", "Pacific/Kiritimati"); // UTC+14: a local date would be the 5th
    tzset();
    unsigned char date[16];
    memset(date, 0xEE, sizeof date);
    uint32_t size = 0;
    ASSERT_EQ(bosFileDateSize(u(f), date, &size), koSuccess);
    EXPECT_STREQ(reinterpret_cast<char*>(date), "03/04/2021");
    EXPECT_EQ(date[11], 0xEE) << "11 bytes at most";
    EXPECT_EQ(size, 5u);

    // The low 32 bits of a size past 4 GiB.
    int fd = open(f.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (off_t(1) << 32) + 7), 0);
    close(fd);
    ASSERT_EQ(bosFileDateSize(u(f), date, &size), koSuccess);
    EXPECT_EQ(size, 7u);

    EXPECT_EQ(bosFileDateSize(u(dir_.file("none")), date, &size), koFailure);
    EXPECT_EQ(errorCount(), 0u) << "a missing file records nothing";
}

TEST_F(BosTest, FindFiles) {
    for (const char* n : {"b.dat", "a.dat", "c.txt", "d.dat.bak"})
        kotest::writeFile(dir_.file(n), "");
    mkdir(dir_.file("sub.dat").c_str(), 0700);

    auto collect = [&](const std::string& pattern) {
        std::vector<std::string> out;
        unsigned char* cursor = nullptr;
        unsigned char name[256];
        Path p(pattern);
        memcpy(name, p.b, sizeof name);
        for (int guard = 0; guard < 100; ++guard) {
            EXPECT_EQ(bosFindFiles(&cursor, name), koSuccess);
            if (!cursor) break;
            out.push_back(reinterpret_cast<char*>(name));
        }
        EXPECT_EQ(cursor, nullptr) << "the search ends by itself";
        return out;
    };
    EXPECT_EQ(collect(dir_.file("*.dat")), (std::vector<std::string>{"a.dat", "b.dat", "sub.dat"}));
    EXPECT_EQ(collect(dir_.file("*")),
              (std::vector<std::string>{"a.dat", "b.dat", "c.txt", "d.dat.bak", "sub.dat"}))
        << "never . or ..";
    EXPECT_EQ(collect(dir_.file("?.txt")), (std::vector<std::string>{"c.txt"}));
    EXPECT_TRUE(collect(dir_.file("*.none")).empty());
    EXPECT_TRUE(collect(dir_.file("missing/*")).empty());
    EXPECT_EQ(errorCount(), 0u);

    unsigned char* cursor = nullptr;
    unsigned char name[256];
    KoStatus s = koSuccess;
    kotest::forEachAllocationFailure(
        [&] {
            Path p(dir_.file("*.txt"));
            memcpy(name, p.b, sizeof name);
            s = bosFindFiles(&cursor, name);
        },
        [&](unsigned, bool failed) {
            if (failed) {
                EXPECT_EQ(s, koFailure);
                EXPECT_EQ(cursor, nullptr);
            } else {
                EXPECT_EQ(s, koSuccess);
                EXPECT_STREQ(reinterpret_cast<char*>(name), "c.txt");
                EXPECT_EQ(bosFindFiles(&cursor, name), koSuccess);
                EXPECT_EQ(cursor, nullptr);
            }
        });
}
