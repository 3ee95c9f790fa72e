// Record sort: the order it produces, in memory and spilled, against stable_sort on the same keys.
#include <dirent.h>

#include <memory>

#include "foundation/errors/koerrnum.h"
#include "tests/foundation/storage/sort_fixture.h"

namespace sorttest {

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

namespace {

// A random sort problem: record length, keys of every kind, and records that tie often.
struct Problem {
    uint16_t length = 0;
    std::vector<KoSortKey> keys;
    std::vector<Record> records;
    std::vector<std::unique_ptr<Value>> objects;
    int calls = 0; // compare function calls
};

void makeProblem(Problem& p, std::mt19937& rng, size_t count, uint16_t length) {
    p.length = length;
    p.records = randomRecords(rng, count, length, 3);
    uint32_t used = 0;
    if (rng() % 4 == 0) {
        // Object pointers at the front of the record.
        for (Record& r : p.records) {
            p.objects.push_back(std::make_unique<Value>(int(rng() % 5)));
            Value* v = p.objects.back().get();
            memcpy(r.data(), &v, sizeof v);
        }
        p.keys.push_back(KoSortKey{uint16_t(koSortKeyObject | (rng() % 2)), 0, 8, nullptr, nullptr});
        used = 8;
    }
    const int more = 1 + int(rng() % 3);
    for (int i = 0; i < more && used + 2 <= length; ++i) {
        uint16_t desc = rng() % 2 ? koSortKeyDescending : 0;
        uint32_t room = length - used;
        switch (rng() % 3) {
        case 0: { // bytes
            uint16_t len = uint16_t(1 + rng() % std::min<uint32_t>(room, 20));
            p.keys.push_back(KoSortKey{desc, used, len, nullptr, nullptr});
            used += len;
            break;
        }
        case 1: { // collated text, mixed case
            uint16_t len = uint16_t(1 + rng() % std::min<uint32_t>(room, 6));
            static const char letters[] = "aAbBcC";
            for (Record& r : p.records)
                for (uint32_t j = 0; j < len; ++j)
                    r[used + j] = static_cast<unsigned char>(letters[rng() % 6]);
            p.keys.push_back(KoSortKey{uint16_t(koSortKeyIntl | desc), used, len, nullptr, nullptr});
            used += len;
            break;
        }
        default: // by function, 16-bit values including the extremes
            put16(p.records, rng, used, 7);
            p.keys.push_back(
                KoSortKey{uint16_t(koSortKeyFunction | desc), used, 2, extremeCompare, &p.calls});
            used += 2;
        }
    }
}

void addKeys(KoSort& sort, const Problem& p) {
    for (const KoSortKey& k : p.keys)
        ASSERT_EQ(sort.addKey(k.flags, k.offset, k.length, k.compare, k.context), koSuccess);
}

class SortOrder : public SortTest {};

TEST_F(SortOrder, RandomKeysInMemoryMatchStableSort) {
    std::mt19937 rng(11);
    for (int round = 0; round < 30; ++round) {
        Problem p;
        makeProblem(p, rng, rng() % 2000, uint16_t(10 + rng() % 60));
        KoSort sort(p.length);
        addKeys(sort, p);
        addAll(sort, p.records);
        EXPECT_EQ(sort.fileHandle, 0) << "records that fit never make a file";
        expectSameOrder(drain(sort), oracleSorted(p.records, p.keys), p.keys);
    }
}

TEST_F(SortOrder, RandomKeysSpilledMatchStableSort) {
    std::mt19937 rng(12);
    for (int round = 0; round < 12; ++round) {
        Problem p;
        const uint16_t length = uint16_t(100 + rng() % 400);
        const uint16_t buffers = uint16_t(2 + rng() % 3);
        const uint32_t perRun = buffers * (65536u / length);
        // From just past one run to several, with a last run of any size.
        makeProblem(p, rng, perRun + 1 + rng() % (perRun * 5), length);
        KoSort sort(p.length);
        addKeys(sort, p);
        addWithBuffers(sort, p.records, buffers);
        ASSERT_TRUE(sort.flags & KoSort::spilled);
        std::vector<Record> want = oracleSorted(p.records, p.keys);
        expectSameOrder(drain(sort), want, p.keys);
        // A second pass gives the same order.
        expectSameOrder(drain(sort), want, p.keys);
    }
}

TEST_F(SortOrder, ManyRunsOfFewLargeRecordsMerge) {
    // Runs of six records: more runs than the memory has room for one chunk each, so heads are read
    // one at a time.
    std::mt19937 rng(13);
    for (size_t count : {7u, 40u, 97u}) {
        Problem p;
        p.length = 20000;
        p.records = randomRecords(rng, count, p.length, 5);
        p.keys = {KoSortKey{0, 3, 4, nullptr, nullptr},
                  KoSortKey{koSortKeyDescending, 19990, 10, nullptr, nullptr}};
        KoSort sort(p.length);
        addKeys(sort, p);
        addWithBuffers(sort, p.records, 2);
        EXPECT_EQ(sort.runs, (count + 5) / 6 - 1) << "runs before the last";
        std::vector<Record> want = oracleSorted(p.records, p.keys);
        expectSameOrder(drain(sort), want, p.keys);
        expectSameOrder(drain(sort), want, p.keys);
    }
}

TEST_F(SortOrder, QuicksortDepthStaysBoundedOnHostileInput) {
    // Orders that drive a careless quicksort into deep or lopsided partitions.
    const uint32_t n = 200000;
    std::vector<std::vector<uint32_t>> inputs(5, std::vector<uint32_t>(n));
    for (uint32_t i = 0; i < n; ++i) {
        inputs[0][i] = i;                              // sorted
        inputs[1][i] = n - i;                          // reversed
        inputs[2][i] = 7;                              // all equal
        inputs[3][i] = i < n / 2 ? i : n - i;          // organ pipe
        inputs[4][i] = (i % 2) ? i : n + (n - i) % 97; // interleaved
    }
    for (auto& values : inputs) {
        std::vector<unsigned char> data(n * 4);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t be = __builtin_bswap32(values[i]);
            memcpy(&data[i * 4], &be, 4);
        }
        KoSort sort(4);
        sort.addKey(0, 0, 4);
        sort.setBuf(n, data.data());
        ASSERT_EQ(sort.sortBuf(), koSuccess);
        EXPECT_EQ(lastError(), 0);
        std::sort(values.begin(), values.end());
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t be;
            memcpy(&be, &data[i * 4], 4);
            ASSERT_EQ(__builtin_bswap32(be), values[i]) << i;
        }
    }
}

TEST_F(SortOrder, ExtremeCompareResultsReverseForDescendingKeys) {
    int calls = 0;
    for (uint16_t flags : {uint16_t(koSortKeyFunction), uint16_t(koSortKeyFunction | koSortKeyDescending)}) {
        KoSort sort(2);
        sort.addKey(flags, 0, 2, extremeCompare, &calls);
        for (int16_t v : {int16_t(5), int16_t(-32768), int16_t(32767), int16_t(0), int16_t(-1)})
            ASSERT_EQ(sort.addRecord(&v), koSuccess);
        std::vector<int16_t> got;
        for (const Record& r : drain(sort)) {
            int16_t v;
            memcpy(&v, r.data(), 2);
            got.push_back(v);
        }
        std::vector<int16_t> want = {-32768, -1, 0, 5, 32767};
        if (flags & koSortKeyDescending) std::reverse(want.begin(), want.end());
        EXPECT_EQ(got, want);
    }
    EXPECT_GT(calls, 0);
}

TEST_F(SortOrder, SpillStartsWithTheFirstRecordBeyondMemory) {
    // 1024-byte records: 64 per buffer, 4096 in 64 buffers.
    KoSort sort(1024);
    sort.addKey(0, 0, 8);
    Record r(1024, 'x');
    for (uint32_t i = 0; i < 4096; ++i) {
        snprintf(reinterpret_cast<char*>(r.data()), 9, "%08u", 4096 - i);
        ASSERT_EQ(sort.addRecord(r.data()), koSuccess);
    }
    EXPECT_EQ(sort.buffers, 64);
    EXPECT_EQ(sort.fileHandle, 0);
    snprintf(reinterpret_cast<char*>(r.data()), 9, "%08u", 0u);
    ASSERT_EQ(sort.addRecord(r.data()), koSuccess);
    EXPECT_NE(sort.fileHandle, 0);
    EXPECT_EQ(sort.runs, 1);
    EXPECT_EQ(sort.recordCount, 4097u);
    std::vector<Record> out = drain(sort);
    ASSERT_EQ(out.size(), 4097u);
    for (uint32_t i = 0; i < out.size(); ++i) {
        char want[9];
        snprintf(want, sizeof want, "%08u", i);
        ASSERT_EQ(std::string(reinterpret_cast<char*>(out[i].data()), 8), want);
    }
}

TEST_F(SortOrder, EmptyAndOneRecordBoundaries) {
    for (bool withRecord : {false, true}) {
        KoSort sort(4);
        sort.addKey(0, 0, 4);
        if (withRecord) {
            ASSERT_EQ(sort.addRecord("abcd"), koSuccess);
        }
        unsigned char* r = reinterpret_cast<unsigned char*>(1);
        uint32_t brk = 9;
        ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
        EXPECT_EQ(r != nullptr, withRecord);
        ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
        ASSERT_EQ(sort.getSortedWithCompare(&r, &brk), koSuccess);
        EXPECT_EQ(r, nullptr);
        EXPECT_EQ(brk, 0u);
        ASSERT_EQ(sort.getFirstRecordWithKey("abcd", &r), koSuccess);
        EXPECT_EQ(r != nullptr, withRecord);
    }
    // No record length: nothing can be added.
    KoSort none;
    unsigned char* slot = nullptr;
    EXPECT_EQ(none.nextSlot(&slot), koFailure);
    EXPECT_EQ(none.recordCount, 0u);
}

TEST_F(SortOrder, KeysBeyondSixtyFourAreRefused) {
    KoSort sort(8);
    for (uint32_t i = 0; i < KoSort::maxKeys; ++i)
        ASSERT_EQ(sort.addKey(0, i % 8, 1), koSuccess);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(sort.addKey(0, 0, 1), koFailure);
    EXPECT_EQ(lastError(), koErrSortTooManyKeys);
    EXPECT_EQ(sort.keyCount, KoSort::maxKeys);
}

TEST_F(SortOrder, CallersArraySortedInPlaceAndClosedToAdding) {
    std::mt19937 rng(14);
    std::vector<Record> records = randomRecords(rng, 5000, 12, 6);
    std::vector<unsigned char> data;
    for (const Record& r : records)
        data.insert(data.end(), r.begin(), r.end());
    std::vector<KoSortKey> keys = {{koSortKeyDescending, 2, 3, nullptr, nullptr},
                                   {0, 8, 4, nullptr, nullptr}};
    KoSort sort(12);
    for (const KoSortKey& k : keys)
        sort.addKey(k.flags, k.offset, k.length);
    sort.setBuf(uint32_t(records.size()), data.data());
    unsigned char* slot = nullptr;
    EXPECT_EQ(sort.nextSlot(&slot), koFailure);
    ASSERT_EQ(sort.sortBuf(), koSuccess);
    std::vector<Record> got;
    for (size_t i = 0; i < records.size(); ++i)
        got.emplace_back(data.begin() + i * 12, data.begin() + (i + 1) * 12);
    expectSameOrder(got, oracleSorted(records, keys), keys);
    // Fetching hands out the caller's own records.
    unsigned char* first = nullptr;
    ASSERT_EQ(sort.getFirstRecord(&first), koSuccess);
    EXPECT_EQ(first, data.data());
}

} // namespace
} // namespace sorttest
