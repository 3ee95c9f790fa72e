// Writing one data source end to end: our ConfigDSN reached through unixODBC's SQLConfigDataSource
// (in this process, and through the btrdsn tool as a separate process), against unixODBC's own
// `odbcinst -i -s` writing the same data source from a template. Prints the ratios of the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "tests/support/odbcsandbox.h"

namespace {

kotest::OdbcSandbox* sandbox = nullptr;

const std::string kList =
    kotest::attributeList({"DSN=Bench", "Description=Benchmark", "Database=/srv/data", "UT=ERROR", "DFE=DAT",
                           "FOC=10", "ULQ=1", "UID=bench", "IS=1", "AS=8192", "AUT=1"});

void InProcessConfigDSN(benchmark::State& state) {
    for (auto _ : state)
        if (!sandbox->configDataSource(ODBC_ADD_DSN, kotest::OdbcSandbox::driverName, kList))
            state.SkipWithError("SQLConfigDataSource failed");
}

void run(benchmark::State& state, const std::string& command) {
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

void ToolProcess(benchmark::State& state) {
    run(state, kotest::buildBin("btrdsn") +
                   " add DSN=Bench Description=Benchmark Database=/srv/data UT=ERROR DFE=DAT FOC=10 ULQ=1 "
                   "UID=bench IS=1 AS=8192 AUT=1");
}

void OdbcinstProcess(benchmark::State& state) {
    std::string tmpl = sandbox->privateDir() + "/template.ini";
    kotest::writeFile(tmpl,
                      std::string("[Bench]\nDriver=") + kotest::OdbcSandbox::driverName +
                          "\nDescription=Benchmark\nDatabase=/srv/data\nUndefinedTable=ERROR\n"
                          "DataFileExtension=DAT\nFileOpenCache=10\nUseLongQualifiers=1\nLogonID=bench\n"
                          "IntlSort=1\nArraySize=8192\nApplicationUsingThreads=1\n");
    run(state, "odbcinst -i -s -h -f " + tmpl + " >/dev/null");
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
    benchmark::RegisterBenchmark("InProcessConfigDSN", InProcessConfigDSN)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ToolProcess", ToolProcess)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("OdbcinstProcess", OdbcinstProcess)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    if (t.count("OdbcinstProcess") && t.count("InProcessConfigDSN"))
        std::printf("ratio odbcinst -i -s / ConfigDSN in process: %.2f\n",
                    t["OdbcinstProcess"] / t["InProcessConfigDSN"]);
    if (t.count("OdbcinstProcess") && t.count("ToolProcess"))
        std::printf("ratio odbcinst -i -s / btrdsn add (both separate processes): %.2f\n",
                    t["OdbcinstProcess"] / t["ToolProcess"]);
    return 0;
}
