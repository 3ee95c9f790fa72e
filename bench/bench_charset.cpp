// Code-page conversion against what a user would call instead, on the same text in the same run: the
// ASCII shortcut against memcpy, and whole conversions against ICU called directly (converters opened
// once, ucnv_convertEx or u_strToUTF8) and against the C library's iconv. A table of speed ratios
// (ours / theirs; above 1 is faster) closes the output.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/charset/charconv.h"
#include "foundation/charset/ucnvconv.h"
#include "foundation/charset/vzwchar.h"

namespace {

constexpr size_t kTextBytes = 64 * 1024;

std::string repeatTo(const std::string& piece) {
    std::string s;
    while (s.size() + piece.size() <= kTextBytes)
        s += piece;
    return s;
}

const std::string& asciiText() {
    static const std::string s = repeatTo("SELECT name, city FROM customers WHERE id = 42 ORDER BY name; ");
    return s;
}
const std::string& westernText() {
    static const std::string s = repeatTo(
        "Größenmaßstäbe für Straßenbahnwagen: Fußgänger überqueren früh. Le cœur déçu, l'âme naïve. ");
    return s;
}
const std::string& japaneseText() {
    static const std::string s = repeatTo("いろはにほへと ちりぬるを 東京都千代田区丸の内 ｶﾀｶﾅ ABC 123。");
    return s;
}
const std::u16string& wideText() {
    static const std::u16string s = [] {
        std::string all = westernText().substr(0, kTextBytes / 3) + japaneseText().substr(0, kTextBytes / 3);
        std::u16string w(all.size(), u'\0');
        int32_t n = 0;
        UErrorCode err = U_ZERO_ERROR;
        u_strFromUTF8(w.data(), static_cast<int32_t>(w.size()), &n, all.data(),
                      static_cast<int32_t>(all.size()), &err);
        w.resize(static_cast<size_t>(n));
        return w;
    }();
    return s;
}

struct Converters {
    UConverter* utf8;
    UConverter* target;
    explicit Converters(const char* name) {
        UErrorCode err = U_ZERO_ERROR;
        utf8 = ucnv_open("UTF-8", &err);
        target = ucnv_open(name, &err);
    }
    ~Converters() {
        ucnv_close(utf8);
        ucnv_close(target);
    }
};

const std::string& textFor(int which) {
    return which == 0 ? asciiText() : which == 1 ? westernText() : japaneseText();
}
const char* icuNameFor(int which) {
    return which == 2 ? "windows-932-2000" : "windows-1252";
}
const char* iconvNameFor(int which) {
    return which == 2 ? "CP932" : "CP1252";
}

void setBytes(benchmark::State& state, size_t n) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_memcpy(benchmark::State& state) {
    const std::string& src = asciiText();
    std::vector<char> dst(src.size() + 1);
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, src.size());
}

// Argument: 0 ASCII text to windows-1252, 1 Western text to windows-1252, 2 Japanese text to Shift-JIS.
void BM_vzUTF8ToAnsi(benchmark::State& state) {
    const std::string& src = textFor(static_cast<int>(state.range(0)));
    Converters c(icuNameFor(static_cast<int>(state.range(0))));
    std::vector<unsigned char> dst(src.size() * 2 + 2);
    for (auto _ : state) {
        int32_t out = 0, used = 0;
        vzUTF8ToAnsi(dst.data(), static_cast<int32_t>(dst.size()),
                     reinterpret_cast<const unsigned char*>(src.data()), static_cast<int32_t>(src.size()),
                     &out, &used, c.target, c.utf8);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    setBytes(state, src.size());
}

void BM_icu(benchmark::State& state) {
    const std::string& src = textFor(static_cast<int>(state.range(0)));
    Converters c(icuNameFor(static_cast<int>(state.range(0))));
    std::vector<char> dst(src.size() * 2 + 2);
    for (auto _ : state) {
        char* target = dst.data();
        const char* source = src.data();
        UErrorCode err = U_ZERO_ERROR;
        ucnv_convertEx(c.target, c.utf8, &target, dst.data() + dst.size(), &source, src.data() + src.size(),
                       nullptr, nullptr, nullptr, nullptr, true, true, &err);
        benchmark::DoNotOptimize(target);
        benchmark::ClobberMemory();
    }
    setBytes(state, src.size());
}

void BM_iconv(benchmark::State& state) {
    const std::string& src = textFor(static_cast<int>(state.range(0)));
    iconv_t cd = iconv_open(iconvNameFor(static_cast<int>(state.range(0))), "UTF-8");
    std::vector<char> dst(src.size() * 2 + 2);
    for (auto _ : state) {
        char* in = const_cast<char*>(src.data());
        size_t inLeft = src.size();
        char* out = dst.data();
        size_t outLeft = dst.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        iconv(cd, &in, &inLeft, &out, &outLeft);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    setBytes(state, src.size());
}

void BM_vzUTF16ToUTF8(benchmark::State& state) {
    std::u16string src = wideText();
    std::vector<unsigned char> dst(src.size() * 3 + 1);
    for (auto _ : state) {
        int32_t out = 0;
        vzUTF16ToUTF8(dst.data(), static_cast<int32_t>(dst.size()), reinterpret_cast<uint16_t*>(src.data()),
                      static_cast<int32_t>(src.size()), &out, 0);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    setBytes(state, src.size() * 2);
}

void BM_icuUTF16ToUTF8(benchmark::State& state) {
    const std::u16string& src = wideText();
    std::vector<char> dst(src.size() * 3 + 1);
    for (auto _ : state) {
        int32_t out = 0;
        UErrorCode err = U_ZERO_ERROR;
        u_strToUTF8(dst.data(), static_cast<int32_t>(dst.size()), &out, src.data(),
                    static_cast<int32_t>(src.size()), &err);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    setBytes(state, src.size() * 2);
}

void BM_iconvUTF16ToUTF8(benchmark::State& state) {
    const std::u16string& src = wideText();
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    std::vector<char> dst(src.size() * 3 + 1);
    for (auto _ : state) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(src.data()));
        size_t inLeft = src.size() * 2;
        char* out = dst.data();
        size_t outLeft = dst.size();
        iconv(cd, &in, &inLeft, &out, &outLeft);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    setBytes(state, src.size() * 2);
}

BENCHMARK(BM_memcpy);
BENCHMARK(BM_vzUTF8ToAnsi)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_icu)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_iconv)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_vzUTF16ToUTF8);
BENCHMARK(BM_icuUTF16ToUTF8);
BENCHMARK(BM_iconvUTF16ToUTF8);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // Speed of ours over speed of theirs (same bytes): time of theirs / time of ours.
    void printRatios() const {
        static const char* const rows[][3] = {
            {"ASCII shortcut vs memcpy (>= 0.8)", "BM_vzUTF8ToAnsi/0", "BM_memcpy"},
            {"UTF-8 to CP1252 vs ICU (>= 1)", "BM_vzUTF8ToAnsi/1", "BM_icu/1"},
            {"UTF-8 to CP1252 vs iconv (> 1)", "BM_vzUTF8ToAnsi/1", "BM_iconv/1"},
            {"UTF-8 to Shift-JIS vs ICU (>= 1)", "BM_vzUTF8ToAnsi/2", "BM_icu/2"},
            {"UTF-8 to Shift-JIS vs iconv (> 1)", "BM_vzUTF8ToAnsi/2", "BM_iconv/2"},
            {"ASCII to CP1252 vs ICU (>= 1)", "BM_vzUTF8ToAnsi/0", "BM_icu/0"},
            {"ASCII to CP1252 vs iconv (> 1)", "BM_vzUTF8ToAnsi/0", "BM_iconv/0"},
            {"UTF-16 to UTF-8 vs ICU (>= 1)", "BM_vzUTF16ToUTF8", "BM_icuUTF16ToUTF8"},
            {"UTF-16 to UTF-8 vs iconv (> 1)", "BM_vzUTF16ToUTF8", "BM_iconvUTF16ToUTF8"},
        };
        printf("\n%-40s %8s\n", "speed ratio, ours / theirs", "ratio");
        for (const auto& r : rows) {
            auto ours = times_.find(r[1]);
            auto theirs = times_.find(r[2]);
            if (ours == times_.end() || theirs == times_.end() || ours->second <= 0) continue;
            printf("%-40s %8.2f\n", r[0], theirs->second / ours->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ucnvIANAidToICUname(0); // the shipped converters (windows-932-2000)
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
