#pragma once
// Helpers shared by the test programs.
#include <cstdint>
#include <string>
#include "foundation/errors/ramalloc.h"

namespace kotest {

// Runs op() with the n-th allocation failing, for n = 1, 2, 3 ... until a run completes without an
// injected failure. after(n, failed) is called after each run (failed tells whether the injected
// failure was hit) so the caller can check the state the operation left. Returns the number of runs.
template <class Op, class After>
unsigned forEachAllocationFailure(Op op, After after, unsigned limit = 100000) {
    unsigned n = 1;
    for (; n <= limit; ++n) {
        ramFailAt(n);
        op();
        bool failed = ramFailureHit();
        ramFailAt(0);
        after(n, failed);
        if (!failed) break;
    }
    return n;
}

// With on set, operator new of the test program also fails when the injection counter says so (and
// counts as an allocation), so fault loops cover the standard containers of the platform layer.
void failOperatorNewToo(bool on);

// A private directory, removed with its contents at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes text to a file, replacing it.
void writeFile(const std::string& path, const std::string& text);
// The whole content of a file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// Full path of a built library (lib/ztbtr20s.so and friends) or program.
std::string buildLib(const std::string& name);
std::string buildBin(const std::string& name);

} // namespace kotest

namespace kotest {
// Makes the built resource library (lib/ztbtr20R.so) the one library texts are read from, for the
// rest of the test program.
void useBuildResources();
} // namespace kotest

namespace kotest {
// Makes the script front end active, with nothing queued or recorded, for the guard's lifetime; the
// silent front end is back afterwards.
class ScriptedUser {
public:
    ScriptedUser();
    ~ScriptedUser();
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;
};
} // namespace kotest
