// Record sort: every allocation failure gives its documented result and leaves a usable sort.
#include "tests/foundation/storage/sort_fixture.h"

namespace sorttest {
namespace {

class SortMemory : public SortTest {};

TEST_F(SortMemory, NoBufferMeansNoRecord) {
    // Without a first, then without a second buffer: nothing is recorded, and nothing phantom is
    // fetched afterwards.
    for (uint32_t before : {0u, 65536u / 16}) {
        KoSort sort(16);
        sort.addKey(0, 0, 16);
        std::mt19937 rng(before);
        std::vector<Record> recs = randomRecords(rng, before + 3, 16, 26);
        for (uint32_t i = 0; i < before; ++i)
            ASSERT_EQ(sort.addRecord(recs[i].data()), koSuccess);
        ramFailAt(1);
        unsigned char* slot = reinterpret_cast<unsigned char*>(1);
        EXPECT_EQ(sort.nextSlot(&slot), koFailure);
        ramFailAt(0);
        EXPECT_EQ(slot, nullptr);
        EXPECT_EQ(sort.slotsUsed, before);
        EXPECT_EQ(sort.recordCount, before);
        EXPECT_EQ(lastError(), 0) << "a memory shortage records no error";
        for (uint32_t i = before; i < recs.size(); ++i)
            ASSERT_EQ(sort.addRecord(recs[i].data()), koSuccess);
        std::vector<KoSortKey> keys = {{0, 0, 16, nullptr, nullptr}};
        expectSameOrder(drain(sort), oracleSorted(recs, keys), keys);
    }
}

// The whole life of a sort — adding past memory, fetching with group breaks, searching, re-sorting —
// with each allocation failing in turn. A failed buffer past the second only spills early; any other
// failure is reported, and whatever reported success is right.
TEST_F(SortMemory, EveryAllocationFailingInTurn) {
    std::mt19937 rng(41);
    const uint16_t length = 2000; // 32 records a buffer, 2048 in memory
    std::vector<Record> recs = randomRecords(rng, 2300, length, 3);
    std::vector<KoSortKey> keys = {{0, 0, 2, nullptr, nullptr},
                                   {koSortKeyDescending, 5, 1, nullptr, nullptr}};
    std::vector<Record> want = oracleSorted(recs, keys);
    size_t added = 0;
    bool complete = false;
    std::vector<Record> got;
    const unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            added = 0;
            complete = false;
            got.clear();
            KoSort sort(length);
            for (const KoSortKey& k : keys)
                sort.addKey(k.flags, k.offset, k.length);
            for (; added < recs.size(); ++added) {
                if (sort.addRecord(recs[added].data()) != koSuccess) {
                    EXPECT_EQ(sort.recordCount, added);
                    return;
                }
            }
            unsigned char* r = nullptr;
            uint32_t brk = 0;
            for (;;) {
                if (sort.getSortedWithCompare(&r, &brk) != koSuccess) return;
                if (!r) break;
                got.emplace_back(r, r + length);
            }
            if (sort.getFirstRecordWithKey(want[want.size() / 2].data(), &r) != koSuccess) return;
            EXPECT_NE(r, nullptr);
            if (sort.reSort() != koSuccess) return;
            complete = true;
        },
        [&](unsigned n, bool) {
            SCOPED_TRACE(n);
            if (complete || got.size() == recs.size()) expectSameOrder(got, want, keys);
        });
    EXPECT_TRUE(complete);
    EXPECT_GT(runs, 64u);
}

TEST_F(SortMemory, SavedRecordShortageConsumesNothing) {
    // Spilled, the group-break fetch and the key search need a private copy of a record; without it
    // they fail before touching the pass.
    std::mt19937 rng(42);
    const uint16_t length = 1000;
    std::vector<Record> recs = randomRecords(rng, 300, length, 4);
    std::vector<KoSortKey> keys = {{0, 0, 3, nullptr, nullptr}};
    KoSort sort(length);
    sort.addKey(0, 0, 3);
    addWithBuffers(sort, recs, 2);
    std::vector<Record> want = oracleSorted(recs, keys);
    unsigned char* r = nullptr;
    uint32_t brk = 7;
    ramFailAt(1);
    EXPECT_EQ(sort.getSortedWithCompare(&r, &brk), koFailure);
    ramFailAt(0);
    EXPECT_EQ(r, nullptr);
    ramFailAt(1);
    EXPECT_EQ(sort.getFirstRecordWithKey(want[5].data(), &r), koFailure);
    ramFailAt(0);
    std::vector<Record> got;
    while (sort.getSortedWithCompare(&r, &brk) == koSuccess && r)
        got.emplace_back(r, r + length);
    expectSameOrder(got, want, keys);
}

} // namespace
} // namespace sorttest
