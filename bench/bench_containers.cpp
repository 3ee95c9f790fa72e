// Lookups and inserts of the two dictionaries against what a user would pick instead: a standard
// hash map, and a vector searched from the front. Integer keys, and text keys that differ only
// after their fifth byte (the text hash reads five bytes, so all of them share one home slot).
// After the runs a table gives each dictionary's time as a multiple of the alternatives'.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>
#include "foundation/containers/kodictionary.h"
#include "foundation/containers/koseqdictionary.h"
#include "foundation/text/kostring.h"

namespace {

const int sizes[] = {16, 256, 2048};

std::vector<uint32_t> intKeys(int n) {
    std::vector<uint32_t> keys;
    for (int i = 0; i < n; ++i)
        keys.push_back(uint32_t(i) * 2654435761u + 17u);
    return keys;
}

std::vector<std::string> textKeys(int n) {
    std::vector<std::string> keys;
    char buf[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "ATTR_%06d", i);
        keys.emplace_back(buf);
    }
    return keys;
}

std::vector<KoSubString> views(const std::vector<std::string>& keys) {
    std::vector<KoSubString> out;
    out.reserve(keys.size());
    for (const auto& k : keys)
        out.emplace_back(reinterpret_cast<const unsigned char*>(k.data()), uint32_t(k.size()));
    return out;
}

// ---- integer keys

void IntLookup_KoDictionary(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    KoDictionary d;
    (void)d.initialize(uint16_t(keys.size()));
    for (uint32_t k : keys)
        (void)d.addAssoc(k, k + 1);
    for (auto _ : st)
        for (uint32_t k : keys)
            benchmark::DoNotOptimize(d.getIntForKey(k));
}

void IntLookup_KoSeqDictionary(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    KoSeqDictionary d;
    for (uint32_t k : keys)
        (void)d.addAssoc(k, k + 1);
    for (auto _ : st)
        for (uint32_t k : keys)
            benchmark::DoNotOptimize(d.getIntForKey(k));
}

void IntLookup_unordered_map(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    std::unordered_map<uint32_t, uint32_t> m;
    for (uint32_t k : keys)
        m.emplace(k, k + 1);
    for (auto _ : st)
        for (uint32_t k : keys)
            benchmark::DoNotOptimize(m.find(k)->second);
}

void IntLookup_vector(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    std::vector<std::pair<uint32_t, uint32_t>> v;
    for (uint32_t k : keys)
        v.emplace_back(k, k + 1);
    for (auto _ : st)
        for (uint32_t k : keys) {
            uint32_t found = 0;
            for (const auto& e : v)
                if (e.first == k) {
                    found = e.second;
                    break;
                }
            benchmark::DoNotOptimize(found);
        }
}

void IntInsert_KoDictionary(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    for (auto _ : st) {
        KoDictionary d;
        (void)d.initialize(16); // grows as the attribute tables do
        for (uint32_t k : keys)
            (void)d.addAssoc(k, k + 1);
        benchmark::DoNotOptimize(d.count);
    }
}

void IntInsert_KoSeqDictionary(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    for (auto _ : st) {
        KoSeqDictionary d;
        for (uint32_t k : keys)
            (void)d.addAssoc(k, k + 1);
        benchmark::DoNotOptimize(d.count);
    }
}

void IntInsert_unordered_map(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    for (auto _ : st) {
        std::unordered_map<uint32_t, uint32_t> m;
        for (uint32_t k : keys)
            m.emplace(k, k + 1);
        benchmark::DoNotOptimize(m.size());
    }
}

void IntInsert_vector(benchmark::State& st) {
    auto keys = intKeys(int(st.range(0)));
    for (auto _ : st) {
        std::vector<std::pair<uint32_t, uint32_t>> v;
        for (uint32_t k : keys)
            v.emplace_back(k, k + 1);
        benchmark::DoNotOptimize(v.data());
    }
}

// ---- text keys

void TextLookup_KoDictionary(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    auto subs = views(keys);
    KoDictionary d;
    (void)d.initialize(uint16_t(keys.size()));
    for (auto& s : subs)
        (void)d.addAssoc(&s, &s);
    for (auto _ : st)
        for (auto& s : subs)
            benchmark::DoNotOptimize(d.getPtrForKey(&s));
}

void TextLookup_KoSeqDictionary(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    auto subs = views(keys);
    KoSeqDictionary d;
    for (auto& s : subs)
        (void)d.addAssoc(&s, &s);
    for (auto _ : st)
        for (auto& s : subs)
            benchmark::DoNotOptimize(d.getPtrForKey(&s));
}

void TextLookup_unordered_map(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    std::unordered_map<std::string, const std::string*> m;
    for (auto& k : keys)
        m.emplace(k, &k);
    for (auto _ : st)
        for (auto& k : keys)
            benchmark::DoNotOptimize(m.find(k)->second);
}

void TextLookup_vector(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    std::vector<std::pair<std::string, const std::string*>> v;
    for (auto& k : keys)
        v.emplace_back(k, &k);
    for (auto _ : st)
        for (auto& k : keys) {
            const std::string* found = nullptr;
            for (const auto& e : v)
                if (e.first == k) {
                    found = e.second;
                    break;
                }
            benchmark::DoNotOptimize(found);
        }
}

void TextInsert_KoDictionary(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    auto subs = views(keys);
    for (auto _ : st) {
        KoDictionary d;
        (void)d.initialize(16);
        for (auto& s : subs)
            (void)d.addAssoc(&s, &s);
        benchmark::DoNotOptimize(d.count);
    }
}

void TextInsert_KoSeqDictionary(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    auto subs = views(keys);
    for (auto _ : st) {
        KoSeqDictionary d;
        for (auto& s : subs)
            (void)d.addAssoc(&s, &s);
        benchmark::DoNotOptimize(d.count);
    }
}

void TextInsert_unordered_map(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    for (auto _ : st) {
        std::unordered_map<std::string, const std::string*> m;
        for (auto& k : keys)
            m.emplace(k, &k);
        benchmark::DoNotOptimize(m.size());
    }
}

void TextInsert_vector(benchmark::State& st) {
    auto keys = textKeys(int(st.range(0)));
    for (auto _ : st) {
        std::vector<std::pair<std::string, const std::string*>> v;
        for (auto& k : keys)
            v.emplace_back(k, &k);
        benchmark::DoNotOptimize(v.data());
    }
}

// Keeps every run's time per iteration (nanoseconds) by name, for the ratio table.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                ns[r.benchmark_name()] = r.real_accumulated_time * 1e9 / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

#define KO_REGISTER(fn)                                                                                      \
    for (int n : sizes)                                                                                      \
        benchmark::RegisterBenchmark(#fn, fn)->Arg(n);

int main(int argc, char** argv) {
    KO_REGISTER(IntLookup_KoDictionary)
    KO_REGISTER(IntLookup_KoSeqDictionary)
    KO_REGISTER(IntLookup_unordered_map)
    KO_REGISTER(IntLookup_vector)
    KO_REGISTER(IntInsert_KoDictionary)
    KO_REGISTER(IntInsert_KoSeqDictionary)
    KO_REGISTER(IntInsert_unordered_map)
    KO_REGISTER(IntInsert_vector)
    KO_REGISTER(TextLookup_KoDictionary)
    KO_REGISTER(TextLookup_KoSeqDictionary)
    KO_REGISTER(TextLookup_unordered_map)
    KO_REGISTER(TextLookup_vector)
    KO_REGISTER(TextInsert_KoDictionary)
    KO_REGISTER(TextInsert_KoSeqDictionary)
    KO_REGISTER(TextInsert_unordered_map)
    KO_REGISTER(TextInsert_vector)
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    auto get = [&](const std::string& op, const char* kind, int n) {
        auto it = collector.ns.find(op + "_" + kind + "/" + std::to_string(n));
        return it == collector.ns.end() ? 0.0 : it->second;
    };
    std::printf("\nTime as a multiple of the alternative (below 1: the dictionary is faster)\n");
    std::printf("%-11s %6s | %14s %14s | %14s %14s\n", "operation", "n", "KoDict/umap", "KoDict/vector",
                "KoSeq/umap", "KoSeq/vector");
    for (const char* op : {"IntLookup", "IntInsert", "TextLookup", "TextInsert"})
        for (int n : sizes) {
            double d = get(op, "KoDictionary", n), s = get(op, "KoSeqDictionary", n);
            double u = get(op, "unordered_map", n), v = get(op, "vector", n);
            if (d == 0 || s == 0 || u == 0 || v == 0) continue; // filtered out
            std::printf("%-11s %6d | %14.2f %14.2f | %14.2f %14.2f\n", op, n, d / u, d / v, s / u, s / v);
        }
    benchmark::Shutdown();
    return 0;
}
