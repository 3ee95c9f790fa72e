// Costs of the per-thread data lookup, of raising an error and of the slot semaphores, each next to
// what a programmer would use instead (a thread_local variable, a std::mutex).
#include <benchmark/benchmark.h>

#include "bench/ratioreporter.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/sync/kosemaphore.h"
#include "platform/thread.h"
#include "tests/support/support.h"

namespace {

thread_local void* plainSlot = nullptr;

void perThreadLookup(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(mdsGetPerThreadData(perThreadErrorList));
}

void threadLocalRead(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(plainSlot);
        benchmark::ClobberMemory();
    }
}

void raiseAndClear(benchmark::State& state) {
    KoErrorList list;
    KoErrorKeeper::setErrorList(&list);
    for (auto _ : state) {
        koRaiseError(2733) << "libldap.so";
        KoErrorKeeper::clearLastError();
    }
    KoErrorKeeper::giveUpErrorList();
}

void formatIntoString(benchmark::State& state) {
    char text[512];
    for (auto _ : state) {
        std::string s;
        std::snprintf(text, sizeof text, "The library \"%s\" could not be loaded.", "libldap.so");
        s = text;
        benchmark::DoNotOptimize(s.data());
    }
}

KoSemaphore* benchSlot = nullptr;
void semaphoreEnterExit(benchmark::State& state) {
    for (auto _ : state) {
        koSemaphoreEnter(&benchSlot);
        koSemaphoreExit(&benchSlot);
    }
}

std::mutex benchMutex;
void mutexLockUnlock(benchmark::State& state) {
    for (auto _ : state) {
        benchMutex.lock();
        benchMutex.unlock();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (koLibraryLoad() != koSuccess) return 1;
    kotest::useBuildResources();
    // Records of 64 other threads stand before those of the benchmark's threads.
    for (uint32_t id = 1; id <= 64; ++id)
        getThreadInfo(0x7F000000u + id);

    benchmark::RegisterBenchmark("perThreadLookup", perThreadLookup)->Threads(1)->Threads(4);
    benchmark::RegisterBenchmark("threadLocalRead", threadLocalRead)->Threads(1)->Threads(4);
    benchmark::RegisterBenchmark("raiseAndClear", raiseAndClear);
    benchmark::RegisterBenchmark("formatIntoString", formatIntoString);
    benchmark::RegisterBenchmark("semaphoreEnterExit", semaphoreEnterExit)->Threads(1)->Threads(4);
    benchmark::RegisterBenchmark("mutexLockUnlock", mutexLockUnlock)->Threads(1)->Threads(4);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto ratio = [&](const char* a, const char* b) {
        auto x = reporter.nsPerIteration.find(a), y = reporter.nsPerIteration.find(b);
        if (x == reporter.nsPerIteration.end() || y == reporter.nsPerIteration.end() || y->second <= 0)
            return;
        std::printf("%-34s / %-34s = %8.2f\n", a, b, x->second / y->second);
    };
    std::printf("\nRatios (time per iteration, library / alternative):\n");
    ratio("perThreadLookup/threads:1", "threadLocalRead/threads:1");
    ratio("perThreadLookup/threads:4", "threadLocalRead/threads:4");
    ratio("raiseAndClear", "formatIntoString");
    ratio("semaphoreEnterExit/threads:1", "mutexLockUnlock/threads:1");
    ratio("semaphoreEnterExit/threads:4", "mutexLockUnlock/threads:4");
    benchmark::Shutdown();
    koSemaphoreInfoDestroy();
    koLibraryUnload();
    return 0;
}
