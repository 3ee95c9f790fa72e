// The record sort against what a user would pick instead, measured in one run:
//  - in memory: a caller's array of 1,000,000 32-byte records sorted in place (setBuf) by a 4-byte and
//    a 16-byte key, against std::sort of the same records by the same keys;
//  - spilled: more records than the sort's 4 MiB of buffers, read from a file of fixed-width lines and
//    written back sorted, against GNU sort given the same memory (sort -S 4M) on the same file.
// Prints each time and the ratios (below 1 means the record sort is faster).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/storage/kosort.h"
#include "tests/support/support.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Rec {
    unsigned char b[32];
};

std::vector<Rec> randomRecords(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Rec> out(n);
    for (Rec& r : out)
        for (unsigned char& c : r.b)
            c = static_cast<unsigned char>(rng());
    // Ties on the first key, so the second one matters.
    for (Rec& r : out)
        r.b[0] = r.b[1] = 0;
    return out;
}

// Best of a few rounds, each on a fresh copy of the input.
template <class Sort> double bestOf(const std::vector<Rec>& input, int rounds, Sort sort) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        std::vector<Rec> copy = input;
        auto start = Clock::now();
        sort(copy);
        best = std::min(best, secondsSince(start));
    }
    return best;
}

double inMemory() {
    const size_t n = 1000000;
    std::vector<Rec> input = randomRecords(n, 1);
    double koTime = bestOf(input, 3, [](std::vector<Rec>& v) {
        KoSort sort(32);
        sort.addKey(0, 0, 4);
        sort.addKey(0, 4, 16);
        sort.setBuf(uint32_t(v.size()), v.data());
        if (sort.sortBuf() != koSuccess) std::abort();
    });
    double stdTime = bestOf(input, 3, [](std::vector<Rec>& v) {
        std::sort(v.begin(), v.end(), [](const Rec& a, const Rec& b) {
            if (int r = memcmp(a.b, b.b, 4)) return r < 0;
            return memcmp(a.b + 4, b.b + 4, 16) < 0;
        });
    });
    std::printf("in memory, %zu records of 32 bytes: KoSort %.3f s, std::sort %.3f s, ratio %.2f\n", n,
                koTime, stdTime, koTime / stdTime);
    return koTime / stdTime;
}

constexpr size_t lineBytes = 33; // 32 characters and the newline

void writeLines(const std::string& path, size_t n) {
    std::mt19937 rng(2);
    std::vector<char> data(n * lineBytes);
    for (size_t i = 0; i < n; ++i) {
        char* line = &data[i * lineBytes];
        for (size_t j = 0; j < 32; ++j)
            line[j] = static_cast<char>('A' + rng() % (j < 4 ? 4 : 26));
        line[32] = '\n';
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

// File to file through KoSort: read the lines as records, sort by the same two keys, write them out.
bool koSortFile(const std::string& in, const std::string& out) {
    FILE* src = std::fopen(in.c_str(), "rb");
    FILE* dst = std::fopen(out.c_str(), "wb");
    if (!src || !dst) return false;
    std::vector<char> chunk(lineBytes * 4096);
    std::vector<char> outBuf(lineBytes * 4096);
    bool ok = true;
    {
        KoSort sort(lineBytes);
        sort.addKey(0, 0, 4);
        sort.addKey(0, 4, 16);
        size_t got;
        while (ok && (got = std::fread(chunk.data(), lineBytes, 4096, src)) > 0)
            for (size_t i = 0; i < got && ok; ++i)
                ok = sort.addRecord(&chunk[i * lineBytes]) == koSuccess;
        unsigned char* r = nullptr;
        size_t filled = 0;
        for (ok = ok && sort.getSorted(&r) == koSuccess; ok && r; ok = sort.getSorted(&r) == koSuccess) {
            memcpy(&outBuf[filled * lineBytes], r, lineBytes);
            if (++filled == 4096) {
                std::fwrite(outBuf.data(), lineBytes, filled, dst);
                filled = 0;
            }
        }
        std::fwrite(outBuf.data(), lineBytes, filled, dst);
    }
    std::fclose(src);
    std::fclose(dst);
    return ok;
}

double spilled() {
    const size_t n = 2000000; // 66 MB of lines, 16 times the sort's buffers
    kotest::TempDir dir;
    const std::string in = dir.file("in.txt"), mine = dir.file("ko.txt"), theirs = dir.file("gnu.txt");
    writeLines(in, n);
    setenv("TMPDIR", dir.path().c_str(), 1);
    double koTime = 1e9, gnuTime = 1e9;
    const std::string command = "LC_ALL=C sort -s -S 4M --parallel=1 -T '" + dir.path() +
                                "' -k1.1,1.4 -k1.5,1.20 -o '" + theirs + "' '" + in + "'";
    for (int round = 0; round < 2; ++round) {
        auto start = Clock::now();
        if (!koSortFile(in, mine)) std::abort();
        koTime = std::min(koTime, secondsSince(start));
        start = Clock::now();
        if (std::system(command.c_str()) != 0) std::abort();
        gnuTime = std::min(gnuTime, secondsSince(start));
    }
    // Equal keys may come out in either order: compare the key columns line by line.
    std::string a = kotest::readFile(mine), b = kotest::readFile(theirs);
    bool sameKeys = a.size() == b.size();
    for (size_t i = 0; sameKeys && i < a.size(); i += lineBytes)
        sameKeys = a.compare(i, 20, b, i, 20) == 0;
    std::printf(
        "spilled, %zu lines of 33 bytes with 4 MiB: KoSort %.3f s, GNU sort -S 4M %.3f s, ratio %.2f%s\n", n,
        koTime, gnuTime, koTime / gnuTime, sameKeys ? "" : " (OUTPUTS DIFFER)");
    return koTime / gnuTime;
}

} // namespace

int main() {
    if (koLibraryLoad() != koSuccess) return 1;
    KoErrorList list(nullptr, 1);
    KoErrorKeeper::setErrorList(&list);
    double memoryRatio = inMemory();
    double spillRatio = spilled();
    std::printf(
        "ratios: in memory %.2f x std::sort (goal at most 1.2), spilled %.2f x GNU sort (goal below 1)\n",
        memoryRatio, spillRatio);
    KoErrorKeeper::giveUpErrorList();
    return 0;
}
