// Reading one value from a profile file of 1,000 sections: the platform layer's GetPrivateProfileStringA
// against unixODBC's SQLGetPrivateProfileString on the same file (the user's odbc.ini of a sandbox).
// Prints the ratios of the run. unixODBC answers a read it has answered before from a cache of its
// own that does not look at the file again (for about 20 seconds); ours checks the file at every read,
// so a change by any writer is seen at once. Reads that do not repeat show the cost of the file itself.
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

// The same file named by its path.
void UnixOdbcProfileReadByPath(benchmark::State& state) {
    std::string path = sandbox->odbcIniPath();
    char buffer[256];
    for (auto _ : state) {
        odbcGet("Source777", "Database", "", buffer, sizeof buffer, path.c_str());
        benchmark::DoNotOptimize(buffer);
    }
    if (std::string(buffer) != "/srv/data/777")
        state.SkipWithError(("wrong value: " + std::string(buffer)).c_str());
}

// The same file as the installer's "ODBC.INI", which unixODBC answers from its own cache.
void UnixOdbcProfileRead(benchmark::State& state) {
    char buffer[256];
    for (auto _ : state) {
        odbcGet("Source777", "Database", "", buffer, sizeof buffer, "ODBC.INI");
        benchmark::DoNotOptimize(buffer);
    }
    if (std::string(buffer) != "/srv/data/777") state.SkipWithError("wrong value");
}

// A different value each time (as a program reading its settings once does): unixODBC's answer cache,
// keyed by the arguments, cannot help, so each read parses the file.
void PlatformFirstReads(benchmark::State& state) {
    std::string path = sandbox->odbcIniPath();
    char buffer[256];
    int i = 0;
    for (auto _ : state) {
        std::string section = "Source" + std::to_string(i++ % 1000);
        GetPrivateProfileStringA(section.c_str(), "Description", "", buffer, sizeof buffer, path.c_str());
        benchmark::DoNotOptimize(buffer);
    }
}

void UnixOdbcFirstReads(benchmark::State& state) {
    std::string path = sandbox->odbcIniPath();
    char buffer[256];
    int i = 0;
    for (auto _ : state) {
        std::string section = "Source" + std::to_string(i++ % 1000);
        odbcGet(section.c_str(), "Description", "", buffer, sizeof buffer, path.c_str());
        benchmark::DoNotOptimize(buffer);
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (!r.error_occurred) times[r.run_name.function_name] = r.GetAdjustedRealTime();
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
    benchmark::RegisterBenchmark("UnixOdbcProfileReadByPath", UnixOdbcProfileReadByPath)
        ->Unit(benchmark::kMicrosecond);
    // Each of the 1,000 reads asks for another section, so none repeats within the run.
    benchmark::RegisterBenchmark("PlatformFirstReads", PlatformFirstReads)
        ->Iterations(1000)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("UnixOdbcFirstReads", UnixOdbcFirstReads)
        ->Iterations(1000)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    if (t.count("PlatformProfileRead") && t.count("UnixOdbcProfileRead"))
        std::printf(
            "ratio SQLGetPrivateProfileString / GetPrivateProfileStringA (above 1: ours is faster): %.2f\n",
            t["UnixOdbcProfileRead"] / t["PlatformProfileRead"]);
    if (t.count("PlatformProfileRead") && t.count("UnixOdbcProfileReadByPath"))
        std::printf("ratio SQLGetPrivateProfileString by path / GetPrivateProfileStringA: %.2f\n",
                    t["UnixOdbcProfileReadByPath"] / t["PlatformProfileRead"]);
    if (t.count("PlatformFirstReads") && t.count("UnixOdbcFirstReads"))
        std::printf("ratio of reads that do not repeat, unixODBC / ours: %.2f\n",
                    t["UnixOdbcFirstReads"] / t["PlatformFirstReads"]);
    FreeLibrary(installer);
    return 0;
}
