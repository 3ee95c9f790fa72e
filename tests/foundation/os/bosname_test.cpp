// File names: splitting, full paths, the current directory, library names.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/win32.h"
#include "tests/foundation/os/bostest.h"

namespace {

std::string cwd() {
    char b[PATH_MAX];
    return getcwd(b, sizeof b) ? b : "";
}

// Changes the current directory for the life of the object.
class InDirectory {
public:
    explicit InDirectory(const std::string& d) : old_(cwd()) { EXPECT_EQ(chdir(d.c_str()), 0) << d; }
    ~InDirectory() { (void)!chdir(old_.c_str()); }

private:
    std::string old_;
};

// A buffer with guard bytes after its 256 bytes, to catch writes past the path bound.
struct Guarded {
    unsigned char b[256 + 32];
    explicit Guarded(const std::string& s) {
        memset(b, 0xA5, sizeof b);
        memset(b, 0, 256);
        s.copy(reinterpret_cast<char*>(b), 255);
    }
    bool intact() const {
        for (size_t i = 256; i < sizeof b; ++i)
            if (b[i] != 0xA5) return false;
        return true;
    }
    std::string str() const { return reinterpret_cast<const char*>(b); }
};

// A directory under base whose full path is exactly len characters.
std::string directoryOfLength(const std::string& base, size_t len) {
    std::string d = base;
    while (d.size() < len) {
        size_t room = len - d.size() - 1; // "/" + component
        size_t part = std::min<size_t>(room, 200);
        if (room - part == 1) --part; // never leave room for a "/" alone
        d += "/" + std::string(part, 'p');
        EXPECT_EQ(mkdir(d.c_str(), 0700), 0) << d;
    }
    return d;
}

} // namespace

TEST_F(BosTest, ParseName) {
    struct {
        const char* path;
        const char* dir;
        const char* name;
        const char* ext;
    } cases[] = {
        {"/dir/sub/FILE.TXT", "/dir/sub/", "FILE", "TXT"},
        {"file.tar.gz", "", "file", "tar"},
        {"/x/noext", "/x/", "noext", ""},
        {"/x/.profile", "/x/", "", "pro"},
        {"/x/", "/x/", "", ""},
        {"a.verylong", "", "a", "ver"},
        {"/x.d/y", "/x.d/", "y", ""},
        {"c:name.txt", "", "c:name", "txt"},
        {"", "", "", ""},
    };
    for (auto& c : cases) {
        Path p(c.path);
        unsigned char name[129], ext[4];
        memset(name, 'z', sizeof name);
        memset(ext, 'z', sizeof ext);
        EXPECT_EQ(bosParseName(p, name, ext, 1), koSuccess) << c.path;
        EXPECT_EQ(p.str(), c.dir) << c.path;
        EXPECT_STREQ(reinterpret_cast<char*>(name), c.name) << c.path;
        EXPECT_STREQ(reinterpret_cast<char*>(ext), c.ext) << c.path;
    }
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(BosTest, ParseNameLengthBound) {
    unsigned char name[129], ext[4];
    Path fits("/d/" + std::string(128, 'n') + ".e");
    EXPECT_EQ(bosParseName(fits, name, ext, 1), koSuccess);
    EXPECT_EQ(strlen(reinterpret_cast<char*>(name)), 128u);

    Path quiet("/d/" + std::string(129, 'n') + ".e");
    EXPECT_EQ(bosParseName(quiet, name, ext, 0), koSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), std::string(128, 'n')) << "cut to 128";
    EXPECT_EQ(errorCount(), 0u);

    Path loud("/d/" + std::string(200, 'n'));
    EXPECT_EQ(bosParseName(loud, name, ext, 1), koFailure);
    EXPECT_EQ(lastError(), bosErrNameTooLong);
    expectNamed(std::string(200, 'n'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), std::string(128, 'n'));
    EXPECT_EQ(loud.str(), "/d/");
}

TEST_F(BosTest, FullPath) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"/a/b/../c", "/a/c"},    {"/a/b/../../c", "/c"},
        {"/../x", "/x"},          {"/a/..", "/"},
        {"/a/b/..", "/a"},        {"/a/../b/../c/", "/c/"},
        {"/a/.../b", "/a/.../b"}, {"/a/..b/c", "/a/..b/c"},
        {"/a/b..", "/a/b.."},     {"//srv/share/x", "//srv/share/x"},
    };
    for (auto& c : cases) {
        Path p(c.in);
        bosfpath(p, 0);
        EXPECT_EQ(p.str(), c.out) << c.in;
        Path q(c.in);
        bosfpath(q, 1);
        EXPECT_EQ(q.str(), c.out) << "the OEM form changes nothing, not even the case: " << c.in;
    }

    InDirectory in(dir_.path());
    std::string here = cwd();
    Path rel("x/Y.dat");
    bosfpath(rel, 0);
    EXPECT_EQ(rel.str(), here + "/x/Y.dat");
    Path up("../z");
    bosfpath(up, 0);
    EXPECT_EQ(up.str(), std::filesystem::path(here).parent_path().string() + "/z");
}

TEST_F(BosTest, FullPathStaysWithinItsBuffer) {
    std::string deep = directoryOfLength(dir_.path(), 250);
    InDirectory in(deep);
    Guarded g(std::string(200, 'r'));
    bosfpath(g.b, 0);
    EXPECT_TRUE(g.intact()) << "nothing written past 256 bytes";
    EXPECT_EQ(g.str().size(), 255u) << "cut to 255 characters";
    EXPECT_EQ(g.str().substr(0, 251), cwd() + "/");

    std::string deeper = directoryOfLength(deep, 300);
    InDirectory in2(deeper);
    Guarded h("rel");
    bosfpath(h.b, 0);
    EXPECT_TRUE(h.intact());
    EXPECT_EQ(h.str(), "rel") << "a directory beyond the bound cannot make the path full";
}

TEST_F(BosTest, CurrentDirectory) {
    InDirectory in(dir_.path());
    unsigned char buf[256];
    bosgtcwd(buf, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), cwd());
    bosgtcwd(buf, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), cwd() + "/");
    {
        InDirectory root("/");
        bosgtcwd(buf, 1);
        EXPECT_STREQ(reinterpret_cast<char*>(buf), "/") << "never a second slash";
    }

    std::string exact = directoryOfLength(dir_.path(), 255);
    InDirectory full(exact);
    Guarded g("");
    bosgtcwd(g.b, 0);
    EXPECT_EQ(g.str(), exact);
    bosgtcwd(g.b, 1);
    EXPECT_TRUE(g.intact());
    EXPECT_EQ(g.str(), "") << "255 characters and a slash do not fit";

    std::string longer = directoryOfLength(exact, 270);
    InDirectory past(longer);
    Guarded h("");
    bosgtcwd(h.b, 0);
    EXPECT_TRUE(h.intact());
    EXPECT_EQ(h.str(), "");
}

TEST_F(BosTest, LibraryNames) {
    unsigned char buf[32] = "ABC";
    bosdllname(buf);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "ABC10");

    HINSTANCE h = bosLoadLibrary(u(kotest::buildLib("ztbtr20R.so")), 0);
    EXPECT_NE(h, nullptr);
    if (h) FreeLibrary(h);
    EXPECT_EQ(bosLoadLibrary(u(dir_.file("none.so")), 0), nullptr);

    // A sibling is found beside this module: here, the test program.
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string here = std::filesystem::path(self).parent_path().string();
    std::string base = "kosib" + std::to_string(getpid());
    std::string sibling = here + "/" + base + "10.so";
    std::filesystem::copy_file(kotest::buildLib("ztbtr20R.so"), sibling,
                               std::filesystem::copy_options::overwrite_existing);
    h = bosLoadLibrary(u(base), 1);
    EXPECT_NE(h, nullptr) << sibling;
    if (h) FreeLibrary(h);
    std::filesystem::remove(sibling);
    EXPECT_EQ(bosLoadLibrary(u(base), 1), nullptr);
    EXPECT_EQ(bosLoadLibrary(u(""), 1), nullptr);
}
