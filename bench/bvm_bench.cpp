// The paged file cache next to pread from the system's page cache, for 8 KiB and 512-byte reads, and
// the hit ratio of a skewed access pattern over a file larger than the cache.
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
#include "foundation/os/bos.h"
#include "foundation/storage/kovm.h"
#include "tests/support/support.h"

namespace {

constexpr uint32_t fileBytes = 4 * 1024 * 1024;
int handle = 0; // bos handle of the file (descriptor + 1)

std::vector<uint32_t> offsets(uint32_t len, bool aligned) {
    std::mt19937 rng(42);
    std::vector<uint32_t> v(4096);
    for (uint32_t& o : v)
        o = aligned ? (rng() % (fileBytes / len)) * len : rng() % (fileBytes - len);
    return v;
}

// The whole file fits the cache (512 pages); after the first pass every read hits.
void cachedRead(benchmark::State& state) {
    const uint32_t len = uint32_t(state.range(0));
    BvmCache* c = bvmInit(64);
    std::vector<unsigned char> buf(len);
    auto at = offsets(len, len == BvmCache::pageSize);
    uint32_t got = 0;
    for (uint32_t o : at)
        bvmFileRead(c, handle, int32_t(o), buf.data(), len, &got, vmHintNormal);
    size_t i = 0;
    for (auto _ : state) {
        if (bvmFileRead(c, handle, int32_t(at[i++ & 4095]), buf.data(), len, &got, vmHintNormal) != koSuccess)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buf.data());
    }
    bvmTerm(c);
}

void plainRead(benchmark::State& state) {
    const uint32_t len = uint32_t(state.range(0));
    std::vector<unsigned char> buf(len);
    auto at = offsets(len, len == BvmCache::pageSize);
    size_t i = 0;
    for (auto _ : state) {
        if (pread(handle - 1, buf.data(), len, at[i++ & 4095]) != ssize_t(len))
            state.SkipWithError("pread failed");
        benchmark::DoNotOptimize(buf.data());
    }
}

// 512-byte reads, four in five within the first fifth of the file, through a cache of a quarter of it.
double skewedHitRatio() {
    BvmCache* c = bvmInit(16);
    std::mt19937 rng(7);
    unsigned char buf[512];
    uint32_t got = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint32_t span = rng() % 5 ? fileBytes / 5 : fileBytes;
        bvmFileRead(c, handle, int32_t(rng() % (span - 512)), buf, 512, &got, vmHintNormal);
    }
    const double ratio = double(c->hits) / double(c->hits + c->misses);
    bvmTerm(c);
    return ratio;
}

} // namespace

int main(int argc, char** argv) {
    if (koLibraryLoad() != koSuccess) return 1;
    kotest::useBuildResources();
    KoErrorList list;
    KoErrorKeeper::setErrorList(&list);
    unsigned char name[256] = {};
    if (bosFileOpen(name, bosOpenTempName | bosOpenReadWrite, &handle) != koSuccess) return 1;
    std::vector<unsigned char> data(fileBytes);
    for (uint32_t i = 0; i < fileBytes; ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    if (bosFileWrite(handle, 0, data.data(), fileBytes) != koSuccess) return 1;

    benchmark::RegisterBenchmark("bvmFileRead", cachedRead)->Arg(8192)->Arg(512);
    benchmark::RegisterBenchmark("pread", plainRead)->Arg(8192)->Arg(512);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios (time per read, cache / pread; below 1 is faster):\n");
    for (const char* len : {"8192", "512"}) {
        auto x = reporter.nsPerIteration.find(std::string("bvmFileRead/") + len);
        auto y = reporter.nsPerIteration.find(std::string("pread/") + len);
        if (x != reporter.nsPerIteration.end() && y != reporter.nsPerIteration.end() && y->second > 0)
            std::printf("bvmFileRead/%-5s / pread/%-5s = %6.2f\n", len, len, x->second / y->second);
    }
    std::printf("Hit ratio, 512-byte reads, 80%% in a fifth of a 4 MiB file, 1 MiB cache: %.3f\n",
                skewedHitRatio());
    benchmark::Shutdown();
    bosFileClose(handle);
    bosFileDelete(name);
    KoErrorKeeper::giveUpErrorList();
    koLibraryUnload();
    return 0;
}
