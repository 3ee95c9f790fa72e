// Record sort: passes over the result — key search, group breaks, re-sorting, marked ranges — the
// same in memory and spilled to runs.
#include "tests/foundation/storage/sort_fixture.h"

namespace sorttest {
namespace {

constexpr uint16_t length = 200;

// Each test runs over records that fit in memory and over records spilled to several runs.
class SortPasses : public SortTest, public ::testing::WithParamInterface<bool> {
protected:
    bool spill() const { return GetParam(); }
    std::vector<Record> records(std::mt19937& rng, int alphabet = 3) {
        const size_t count = spill() ? 3 * 2 * (65536 / length) + 77 : 900;
        return randomRecords(rng, count, length, alphabet);
    }
    void fill(KoSort& sort, const std::vector<Record>& recs) {
        if (spill()) {
            addWithBuffers(sort, recs, 2);
            ASSERT_TRUE(sort.flags & KoSort::spilled);
        } else {
            addAll(sort, recs);
        }
    }
};

const KoSortKey key0{0, 0, 1, nullptr, nullptr};
const KoSortKey key1{koSortKeyDescending, 1, 2, nullptr, nullptr};
const KoSortKey key2{0, 3, 1, nullptr, nullptr};

int firstDifferentKey(const std::vector<KoSortKey>& keys, const Record& a, const Record& b) {
    for (size_t k = 0; k < keys.size(); ++k)
        if (oracleKey(keys[k], a.data(), b.data()) != 0) return int(k);
    return int(keys.size());
}

TEST_P(SortPasses, GroupBreaksNameTheFirstDifferingKey) {
    std::mt19937 rng(21);
    std::vector<Record> recs = records(rng);
    std::vector<KoSortKey> keys = {key0, key1, key2};
    KoSort sort(length);
    for (const KoSortKey& k : keys)
        sort.addKey(k.flags, k.offset, k.length);
    fill(sort, recs);
    std::vector<Record> got;
    std::vector<int> breaks;
    for (;;) {
        unsigned char* r = nullptr;
        uint32_t brk = 99;
        ASSERT_EQ(sort.getSortedWithCompare(&r, &brk), koSuccess);
        if (!r) {
            EXPECT_EQ(brk, 0u);
            break;
        }
        got.emplace_back(r, r + length);
        breaks.push_back(int(brk));
    }
    expectSameOrder(got, oracleSorted(recs, keys), keys);
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(breaks[i], i == 0 ? 0 : firstDifferentKey(keys, got[i - 1], got[i])) << i;
}

TEST_P(SortPasses, KeySearchFindsTheFirstEqualRecordOrTheInsertionPoint) {
    std::mt19937 rng(22);
    std::vector<Record> recs = records(rng);
    std::vector<KoSortKey> keys = {key0, key1};
    KoSort sort(length);
    for (const KoSortKey& k : keys)
        sort.addKey(k.flags, k.offset, k.length);
    fill(sort, recs);
    std::vector<Record> want = oracleSorted(recs, keys);
    // Probes present, between records, below all and above all (bytes outside the alphabet).
    std::vector<Record> probes = randomRecords(rng, 30, length, 4);
    probes.push_back(Record(length, 'A'));
    probes.push_back(Record(length, 'z'));
    probes.push_back(want[want.size() / 2]);
    for (const Record& probe : probes) {
        size_t lower = 0;
        while (lower < want.size() && oracleOrder(keys, want[lower].data(), probe.data()) < 0)
            ++lower;
        const bool present = lower < want.size() && oracleOrder(keys, want[lower].data(), probe.data()) == 0;
        unsigned char* r = nullptr;
        ASSERT_EQ(sort.getFirstRecordWithKey(probe.data(), &r), koSuccess);
        ASSERT_EQ(r != nullptr, present) << std::string(probe.begin(), probe.begin() + 3);
        size_t next = lower;
        if (present) {
            EXPECT_EQ(oracleOrder(keys, r, probe.data()), 0);
            next = lower + 1;
        }
        // The pass goes on from there.
        for (size_t i = next; i < next + 5; ++i) {
            ASSERT_EQ(sort.getNextRecord(&r), koSuccess);
            if (i >= want.size()) {
                EXPECT_EQ(r, nullptr);
                break;
            }
            ASSERT_NE(r, nullptr);
            ASSERT_EQ(oracleOrder(keys, r, want[i].data()), 0) << i;
        }
    }
    // Searching with a record of the sort itself as the probe.
    unsigned char* r = nullptr;
    ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
    ASSERT_EQ(sort.getFirstRecordWithKey(r, &r), koSuccess);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(oracleOrder(keys, r, want[0].data()), 0);
}

TEST_P(SortPasses, ReSortFollowsChangedKeys) {
    std::mt19937 rng(23);
    std::vector<Record> recs = records(rng);
    KoSort sort(length);
    sort.addKey(key0.flags, key0.offset, key0.length);
    fill(sort, recs);
    std::vector<KoSortKey> keys = {key0};
    expectSameOrder(drain(sort), oracleSorted(recs, keys), keys);
    // The first key turns descending and a second one joins it.
    sort.keys[0].flags |= koSortKeyDescending;
    sort.addKey(key2.flags, key2.offset, key2.length);
    keys = {sort.keys[0], key2};
    ASSERT_EQ(sort.reSort(), koSuccess);
    expectSameOrder(collect(sort, &KoSort::getSorted, &KoSort::getSorted), oracleSorted(recs, keys), keys);
}

TEST_P(SortPasses, EachGroupReSortedByALaterKeyAndWalked) {
    std::mt19937 rng(24);
    std::vector<Record> recs = records(rng);
    KoSort sort(length);
    sort.addKey(key0.flags, key0.offset, key0.length);
    fill(sort, recs);
    unsigned char* r = nullptr;
    ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
    sort.addKey(key1.flags, key1.offset, key1.length);
    std::vector<Record> walked;
    int groups = 0;
    while (r) {
        ++groups;
        sort.startResortRange();
        const unsigned char group = r[0];
        do
            ASSERT_EQ(sort.getNextRecord(&r), koSuccess);
        while (r && r[0] == group);
        sort.endResortRange();
        ASSERT_EQ(sort.resortRange(1, 1), koSuccess);
        EXPECT_EQ(sort.startKey, 0u);
        for (const Record& g : collect(sort, &KoSort::getFirstRecordInRange, &KoSort::getNextRecordInRange)) {
            EXPECT_EQ(g[0], group);
            walked.push_back(g);
        }
        // The pass goes on with the record that ended the group.
        ASSERT_EQ(sort.getNextRecord(&r), koSuccess);
        if (r) {
            EXPECT_NE(r[0], group);
        }
    }
    EXPECT_EQ(groups, 3);
    std::vector<KoSortKey> keys = {key0, key1};
    expectSameOrder(walked, oracleSorted(recs, keys), keys);
}

TEST_P(SortPasses, GroupsReSortedUpToTheRangeEnd) {
    std::mt19937 rng(25);
    std::vector<Record> recs = records(rng);
    KoSort sort(length);
    sort.addKey(key0.flags, key0.offset, key0.length);
    fill(sort, recs);
    unsigned char* r = nullptr;
    ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
    sort.startResortRange();
    while (r)
        ASSERT_EQ(sort.getNextRecord(&r), koSuccess);
    sort.endResortRange();
    EXPECT_EQ(sort.rangeStart, 0u);
    EXPECT_EQ(sort.rangeEnd, recs.size() - 1);
    sort.addKey(key1.flags, key1.offset, key1.length);
    ASSERT_EQ(sort.resortRange(1, 0), koSuccess);
    std::vector<Record> walked = collect(sort, &KoSort::getFirstRecordInRange, &KoSort::getNextRecordInRange);
    std::vector<KoSortKey> keys = {key0, key1};
    expectSameOrder(walked, oracleSorted(recs, keys), keys);
    // A range ending before its start holds nothing.
    ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
    sort.startResortRange();
    sort.endResortRange();
    ASSERT_EQ(sort.resortRange(1, 1), koSuccess);
    ASSERT_EQ(sort.getFirstRecordInRange(&r), koSuccess);
    EXPECT_EQ(r, nullptr);
}

INSTANTIATE_TEST_SUITE_P(MemoryAndRuns, SortPasses, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Spilled") : std::string("InMemory");
                         });

} // namespace
} // namespace sorttest
