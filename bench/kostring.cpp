// String classes against what a caller would otherwise write with the standard library. Each
// benchmark times both in the same loop and reports ours / standard as "ratio".
#include <benchmark/benchmark.h>
#include <chrono>
#include <string>
#include "foundation/text/kostring.h"

namespace {

using Clock = std::chrono::steady_clock;

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

std::string sample(int words) {
    std::string s;
    for (int i = 0; i < words; ++i)
        s += (i % 3 == 0) ? "it's " : (i % 3 == 1 ? "plain " : "o'k ");
    return s;
}

// Runs ours() and standard() once per iteration and reports the ratio of their total times.
// Each returns a pointer to its result, kept from being optimised away.
template <class Ours, class Standard> void timeBoth(benchmark::State& state, Ours ours, Standard standard) {
    double ourTime = 0, theirTime = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(ours());
        auto t1 = Clock::now();
        benchmark::DoNotOptimize(standard());
        auto t2 = Clock::now();
        ourTime += std::chrono::duration<double>(t1 - t0).count();
        theirTime += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["ratio"] = ourTime / theirTime;
}

// Appending many short pieces: exact growth (every append reallocates) vs std::string.
void appendPieces(benchmark::State& state) {
    const int pieces = static_cast<int>(state.range(0));
    const bool reserve = state.range(1) != 0;
    KoString s;
    std::string r;
    timeBoth(
        state,
        [&] {
            s.unInitialize();
            if (reserve) s.initialize(static_cast<uint32_t>(pieces * 5));
            for (int i = 0; i < pieces; ++i)
                s.concat(U("abcde"), 5);
            return s.text;
        },
        [&] {
            r = std::string();
            if (reserve) r.reserve(pieces * 5);
            for (int i = 0; i < pieces; ++i)
                r.append("abcde", 5);
            return r.data();
        });
}
BENCHMARK(appendPieces)->Args({1000, 0})->Args({100000, 0})->Args({100000, 1});

// Quoting every word of a text: the rewriter in place vs building a second string.
void rewriteQuoted(benchmark::State& state) {
    const std::string input = sample(static_cast<int>(state.range(0)));
    KoString target;
    std::string out;
    timeBoth(
        state,
        [&] {
            target.unInitialize();
            target.initialize(U(input.c_str()));
            KoReplaceString r(&target);
            while (r.length > 0) {
                uint32_t word = r.findChar(' ', 0);
                r.addQuotedBytes(r.text, word, '\'');
                r.skip(word);
                if (r.length > 0) {
                    r.concat(r.text, 1);
                    r.skip(1);
                }
            }
            return target.text;
        },
        [&] {
            out.clear();
            for (size_t pos = 0; pos < input.size();) {
                size_t end = input.find(' ', pos);
                if (end == std::string::npos) end = input.size();
                out += '\'';
                for (size_t i = pos; i < end; ++i)
                    out.append(input[i] == '\'' ? 2 : 1, input[i]);
                out += '\'';
                if (end < input.size()) out += ' ';
                pos = end + 1;
            }
            return out.data();
        });
}
BENCHMARK(rewriteQuoted)->Arg(1000)->Arg(20000);

// Doubling every quote in place vs a find/replace loop on std::string.
void replaceAll(benchmark::State& state) {
    const std::string input = sample(static_cast<int>(state.range(0)));
    KoString s;
    std::string r;
    timeBoth(
        state,
        [&] {
            s.unInitialize();
            s.initialize(U(input.c_str()));
            s.replaceSubString(U("'"), U("''"));
            return s.text;
        },
        [&] {
            r = input;
            for (size_t at = r.find('\''); at != std::string::npos; at = r.find('\'', at + 2))
                r.replace(at, 1, "''");
            return r.data();
        });
}
BENCHMARK(replaceAll)->Arg(100)->Arg(5000);

// Filling a message template vs concatenating the message with std::string.
void fillTemplate(benchmark::State& state) {
    KoParamString p;
    std::string m;
    timeBoth(
        state,
        [&] {
            p.initialize(U("Table %s1 has %d2 rows in file %s3"));
            p << U("Customers") << uint32_t(123456) << U("/data/customers.btr");
            return p.text;
        },
        [&] {
            m = std::string("Table ") + "Customers" + " has " + std::to_string(123456u) + " rows in file " +
                "/data/customers.btr";
            return m.data();
        });
}
BENCHMARK(fillTemplate);

} // namespace

BENCHMARK_MAIN();
