// A 64 MiB message over loopback: sent with writeToWire from a block temporary file and received
// with appendFromWire into another, against plain send and recv of the same bytes between memory
// buffers. Prints the throughput ratio (block temporary file / plain) of the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/storage/blktmpfile.h"
#include "foundation/storage/kotcpip.h"
#include "platform/winsock.h"

namespace {

constexpr uint32_t messageSize = 64u << 20;

struct Pair {
    SOCKET a = INVALID_SOCKET, b = INVALID_SOCKET;
    Pair() {
        SOCKET l = socket(AF_INET, SOCK_STREAM, 0);
        SOCKADDR_IN addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof addr;
        bind(l, reinterpret_cast<SOCKADDR*>(&addr), sizeof addr);
        listen(l, 1);
        getsockname(l, reinterpret_cast<SOCKADDR*>(&addr), &len);
        a = socket(AF_INET, SOCK_STREAM, 0);
        connect(a, reinterpret_cast<SOCKADDR*>(&addr), sizeof addr);
        b = accept(l, nullptr, nullptr);
        closesocket(l);
    }
    ~Pair() {
        closesocket(a);
        closesocket(b);
    }
};

std::vector<char> message() {
    std::vector<char> m(messageSize);
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = char(i * 2654435761u >> 13);
    return m;
}

void PlainSendRecv(benchmark::State& state) {
    Pair p;
    std::vector<char> out = message(), in(messageSize);
    for (auto _ : state) {
        std::thread sender([&] { send(p.a, out.data(), int(out.size()), 0); });
        size_t got = 0;
        while (got < in.size()) {
            int n = recv(p.b, in.data() + got, int(in.size() - got), 0);
            if (n <= 0) break;
            got += size_t(n);
        }
        sender.join();
        if (got != in.size()) state.SkipWithError("short transfer");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * messageSize);
}

void BlkTmpFileWire(benchmark::State& state) {
    const uint32_t blockSize = uint32_t(state.range(0));
    KoErrorList errors(nullptr, 1);
    KoErrorKeeper::setErrorList(&errors);
    Pair p;
    std::vector<char> m = message();
    BlkTmpFile out(blockSize), in(blockSize);
    if (out.append(m.data(), messageSize) != koSuccess) state.SkipWithError("append failed");
    KoTCPIP sendConn(p.a), receiveConn(p.b);
    for (auto _ : state) {
        in.clear();
        KoStatus sent = koFailure;
        std::thread sender([&] {
            KoErrorList senderErrors(nullptr, 1);
            KoErrorKeeper::setErrorList(&senderErrors);
            sent = out.writeToWire(0, &sendConn, messageSize);
            KoErrorKeeper::giveUpErrorList();
        });
        KoStatus received = in.appendFromWire(&receiveConn, messageSize);
        sender.join();
        if (sent != koSuccess || received != koSuccess || in.getTotalLength() != messageSize)
            state.SkipWithError("transfer failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * messageSize);
    KoErrorKeeper::giveUpErrorList();
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    koLibraryLoad();
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    benchmark::RegisterBenchmark("PlainSendRecv", PlainSendRecv)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BlkTmpFileWire", BlkTmpFileWire)
        ->Arg(32768)
        ->Arg(1 << 20)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    const std::string plain = "PlainSendRecv/real_time";
    for (const char* arg : {"32768", "1048576"}) {
        const std::string name = std::string("BlkTmpFileWire/") + arg + "/real_time";
        if (t.count(plain) && t.count(name))
            std::printf(
                "throughput ratio BlkTmpFile (block %s) / plain send+recv, 64 MiB over loopback: %.2f\n", arg,
                t[plain] / t[name]);
    }
    WSACleanup();
    return 0;
}
