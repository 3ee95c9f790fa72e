// The temporary file next to what a programmer would use instead: pread and pwrite on a temporary file
// that sits in the system's page cache. Cache hits, then random access over ten times the cache.
#include <benchmark/benchmark.h>

#include "bench/ratioreporter.h"
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/storage/kotmpfile.h"
#include "tests/support/support.h"

namespace {

constexpr uint32_t cacheBytes = 32768;
constexpr uint32_t hotBytes = 16384;            // fits the cache: every access hits
constexpr uint32_t wideBytes = 10 * cacheBytes; // ten times the cache
int plainFd = -1;

// Offsets of the accesses, drawn once so both sides do the same work.
std::vector<uint32_t> offsets(uint32_t span, uint32_t len) {
    std::mt19937 rng(42);
    std::vector<uint32_t> v(4096);
    for (uint32_t& o : v)
        o = 1 + rng() % (span - len - 1);
    return v;
}

void tmpRead(benchmark::State& state, uint32_t span) {
    const uint32_t len = uint32_t(state.range(0));
    KoErrorList list;
    KoErrorKeeper::setErrorList(&list);
    KoTmpFile f(cacheBytes);
    std::vector<unsigned char> buf(span, 7);
    f.tmpWrite(1, buf.data(), span);
    auto at = offsets(span, len);
    size_t i = 0;
    for (auto _ : state) {
        if (f.tmpRead(at[i++ & 4095], buf.data(), len) != koSuccess) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buf.data());
    }
    KoErrorKeeper::giveUpErrorList();
}

void tmpWrite(benchmark::State& state, uint32_t span) {
    const uint32_t len = uint32_t(state.range(0));
    KoErrorList list;
    KoErrorKeeper::setErrorList(&list);
    KoTmpFile f(cacheBytes);
    std::vector<unsigned char> buf(span, 7);
    f.tmpWrite(1, buf.data(), span);
    auto at = offsets(span, len);
    size_t i = 0;
    for (auto _ : state)
        if (f.tmpWrite(at[i++ & 4095], buf.data(), len) != koSuccess) state.SkipWithError("write failed");
    KoErrorKeeper::giveUpErrorList();
}

void plainRead(benchmark::State& state, uint32_t span) {
    const uint32_t len = uint32_t(state.range(0));
    std::vector<unsigned char> buf(span, 7);
    if (pwrite(plainFd, buf.data(), span, 0) != ssize_t(span)) state.SkipWithError("pwrite failed");
    auto at = offsets(span, len);
    size_t i = 0;
    for (auto _ : state) {
        if (pread(plainFd, buf.data(), len, at[i++ & 4095]) != ssize_t(len))
            state.SkipWithError("pread failed");
        benchmark::DoNotOptimize(buf.data());
    }
}

void plainWrite(benchmark::State& state, uint32_t span) {
    const uint32_t len = uint32_t(state.range(0));
    std::vector<unsigned char> buf(span, 7);
    if (pwrite(plainFd, buf.data(), span, 0) != ssize_t(span)) state.SkipWithError("pwrite failed");
    auto at = offsets(span, len);
    size_t i = 0;
    for (auto _ : state)
        if (pwrite(plainFd, buf.data(), len, at[i++ & 4095]) != ssize_t(len))
            state.SkipWithError("pwrite failed");
}

} // namespace

int main(int argc, char** argv) {
    if (koLibraryLoad() != koSuccess) return 1;
    kotest::useBuildResources();
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp ? tmp : "/tmp") + "/kobenchXXXXXX";
    plainFd = mkstemp(pattern.data());
    if (plainFd < 0) return 1;
    unlink(pattern.c_str());

    for (auto [label, span] : {std::pair{"hit", hotBytes}, std::pair{"wide", wideBytes}}) {
        const std::string l = label;
        benchmark::RegisterBenchmark(("tmpRead/" + l).c_str(), tmpRead, span)->Arg(64)->Arg(512)->Arg(2048);
        benchmark::RegisterBenchmark(("pread/" + l).c_str(), plainRead, span)->Arg(64)->Arg(512)->Arg(2048);
        benchmark::RegisterBenchmark(("tmpWrite/" + l).c_str(), tmpWrite, span)->Arg(64)->Arg(512)->Arg(2048);
        benchmark::RegisterBenchmark(("pwrite/" + l).c_str(), plainWrite, span)->Arg(64)->Arg(512)->Arg(2048);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios (time per access, temporary file / plain file; below 1 is faster):\n");
    for (const char* label : {"hit", "wide"})
        for (const char* len : {"64", "512", "2048"})
            for (auto [ours, theirs] : {std::pair{"tmpRead", "pread"}, std::pair{"tmpWrite", "pwrite"}}) {
                std::string a = std::string(ours) + "/" + label + "/" + len;
                std::string b = std::string(theirs) + "/" + label + "/" + len;
                auto x = reporter.nsPerIteration.find(a), y = reporter.nsPerIteration.find(b);
                if (x == reporter.nsPerIteration.end() || y == reporter.nsPerIteration.end() ||
                    y->second <= 0)
                    continue;
                std::printf("%-22s / %-22s = %6.2f\n", a.c_str(), b.c_str(), x->second / y->second);
            }
    benchmark::Shutdown();
    close(plainFd);
    koLibraryUnload();
    return 0;
}
