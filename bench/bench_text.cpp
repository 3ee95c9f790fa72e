// The byte utilities and memory functions against the C library's routines, short and long operands,
// measured in the same run; a table of time ratios (ours / C library) closes the output.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/text/fastut.h"

namespace {

constexpr size_t kShort = 16;
constexpr size_t kLong = 4096;

struct Buffers {
    std::vector<unsigned char> a, b;
    explicit Buffers(size_t n) : a(n + 64, 'x'), b(n + 64, 'x') {
        a[n] = 0;
        b[n] = 0;
    }
};

size_t sizeOf(const benchmark::State& state) {
    return state.range(0) ? kLong : kShort;
}

void BM_BUTSTLEN(benchmark::State& state) {
    Buffers buf(sizeOf(state));
    const unsigned char* p = buf.a.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(BUTSTLEN(p));
    }
}
void BM_strlen(benchmark::State& state) {
    Buffers buf(sizeOf(state));
    const char* p = reinterpret_cast<const char*>(buf.a.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(strlen(p));
    }
}

// Any compare-like function over two buffers of the state's size.
template <auto Compare> void BM_ours_compare(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    const void* a = buf.a.data();
    const void* b = buf.b.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(Compare(a, b, static_cast<uint32_t>(n)));
    }
}
void BM_memcmp(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    const void* a = buf.a.data();
    const void* b = buf.b.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(memcmp(a, b, n));
    }
}

template <void (*Copy)(void*, const void*, uint32_t)> void BM_ours_copy(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    void* d = buf.a.data();
    const void* s = buf.b.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(s);
        Copy(d, s, static_cast<uint32_t>(n));
        benchmark::ClobberMemory();
    }
}
void BM_memcpy(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    void* d = buf.a.data();
    const void* s = buf.b.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(s);
        memcpy(d, s, n);
        benchmark::ClobberMemory();
    }
}

void BM_BUTU8FIL(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    void* d = buf.a.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        BUTU8FIL(d, 'y', static_cast<uint32_t>(n));
        benchmark::ClobberMemory();
    }
}
void BM_memZero(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    void* d = buf.a.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        memZero(d, static_cast<uint32_t>(n));
        benchmark::ClobberMemory();
    }
}
void BM_memset(benchmark::State& state) {
    size_t n = sizeOf(state);
    Buffers buf(n);
    void* d = buf.a.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        memset(d, 'y', n);
        benchmark::ClobberMemory();
    }
}

// Argument 0 is the short operand, 1 the long one.
BENCHMARK(BM_strlen)->Arg(0)->Arg(1);
BENCHMARK(BM_BUTSTLEN)->Arg(0)->Arg(1);
BENCHMARK(BM_memcmp)->Arg(0)->Arg(1);
BENCHMARK(BM_ours_compare<BUTMMCMP>)->Name("BM_BUTMMCMP")->Arg(0)->Arg(1);
BENCHMARK(BM_ours_compare<memCompareHuge>)->Name("BM_memCompareHuge")->Arg(0)->Arg(1);
BENCHMARK(BM_ours_compare<memEqual>)->Name("BM_memEqual")->Arg(0)->Arg(1);
BENCHMARK(BM_memcpy)->Arg(0)->Arg(1);
BENCHMARK(BM_ours_copy<fastMemCopy>)->Name("BM_fastMemCopy")->Arg(0)->Arg(1);
BENCHMARK(BM_ours_copy<memCopyAligned>)->Name("BM_memCopyAligned")->Arg(0)->Arg(1);
BENCHMARK(BM_memset)->Arg(0)->Arg(1);
BENCHMARK(BM_BUTU8FIL)->Arg(0)->Arg(1);
BENCHMARK(BM_memZero)->Arg(0)->Arg(1);

// Keeps every run's time per iteration, so the ratios can be printed after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        static const char* const pairs[][2] = {
            {"BM_BUTSTLEN", "BM_strlen"}, {"BM_BUTMMCMP", "BM_memcmp"},    {"BM_memCompareHuge", "BM_memcmp"},
            {"BM_memEqual", "BM_memcmp"}, {"BM_fastMemCopy", "BM_memcpy"}, {"BM_memCopyAligned", "BM_memcpy"},
            {"BM_BUTU8FIL", "BM_memset"}, {"BM_memZero", "BM_memset"},
        };
        printf("\n%-20s %-10s %10s %10s\n", "ours / C library", "", "16 bytes", "4096 bytes");
        for (const auto& p : pairs) {
            printf("%-20s %-10s", p[0] + 3, p[1] + 3);
            for (const char* arg : {"/0", "/1"}) {
                auto ours = times_.find(std::string(p[0]) + arg);
                auto theirs = times_.find(std::string(p[1]) + arg);
                if (ours == times_.end() || theirs == times_.end() || theirs->second <= 0)
                    printf(" %10s", "-");
                else
                    printf(" %10.2f", ours->second / theirs->second);
            }
            printf("\n");
        }
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
