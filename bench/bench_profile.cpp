// Reading one value from a profile file of 1,000 sections: the platform layer's GetPrivateProfileStringA
// against unixODBC's SQLGetPrivateProfileString on the same file (the user's odbc.ini of a sandbox).
// Prints the ratio of the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "platform/win32.h"
#include "tests/support/odbcsandbox.h"

namespace {

kotest::OdbcSandbox* sandbox = nullptr;
typedef int (*GetFn)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR);
GetFn odbcGet = nullptr;

void fill() {
    std::string text;
    for (int s = 0; s < 1000; ++s) {
        text += "[Source" + std::to_string(s) + "]\nDriver=Driver " + std::to_string(s) +
                "\nDescription=Data source number " + std::to_string(s) + "\nDatabase=/srv/data/" +
                std::to_string(s) + "\nArraySize=4096\nLogonID=user\n\n";
    }
    kotest::writeFile(sandbox->odbcIniPath(), text);
}

void PlatformProfileRead(benchmark::State& state) {
    std::string path = sandbox->odbcIniPath();
    char buffer[256];
    for (auto _ : state) {
        GetPrivateProfileStringA("Source777", "Database", "", buffer, sizeof buffer, path.c_str());
        benchmark::DoNotOptimize(buffer);
    }
    if (std::string(buffer) != "/srv/data/777") state.SkipWithError("wrong value");
}

void UnixOdbcProfileRead(benchmark::State& state) {
    char buffer[256];
    for (auto _ : state) {
        odbcGet("Source777", "Database", "", buffer, sizeof buffer, "ODBC.INI");
        benchmark::DoNotOptimize(buffer);
    }
    if (std::string(buffer) != "/srv/data/777") state.SkipWithError("wrong value");
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (!r.error_occurred) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    kotest::OdbcSandbox box;
    sandbox = &box;
    HMODULE installer = LoadLibraryA("libodbcinst.so.2");
    odbcGet = installer ? reinterpret_cast<GetFn>(GetProcAddress(installer, "SQLGetPrivateProfileString"))
                        : nullptr;
    if (!odbcGet) {
        std::fprintf(stderr, "unixODBC's installer library is missing\n");
        return 1;
    }
    fill();
    benchmark::RegisterBenchmark("PlatformProfileRead", PlatformProfileRead)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("UnixOdbcProfileRead", UnixOdbcProfileRead)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    if (t.count("PlatformProfileRead") && t.count("UnixOdbcProfileRead"))
        std::printf(
            "ratio SQLGetPrivateProfileString / GetPrivateProfileStringA (above 1: ours is faster): %.2f\n",
            t["UnixOdbcProfileRead"] / t["PlatformProfileRead"]);
    FreeLibrary(installer);
    return 0;
}
