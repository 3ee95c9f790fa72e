// Re-sorting sorted arrays through the record sort: stable, also past the sort's memory, and a failure
// leaves the array as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "foundation/containers/kosortedarray.h"
#include "foundation/errors/ramalloc.h"
#include "tests/foundation/containers/helpers.h"
#include "tests/support/support.h"

using cotest::Item;

namespace {

std::vector<Item*> tagsOf(const KoSortedArray& a) {
    std::vector<Item*> out;
    for (uint32_t i = 0; i < a.count; ++i)
        out.push_back(static_cast<Item*>(a.items[i]));
    return out;
}

struct Filled {
    KoSortedArray array;
    std::vector<Item*> made;
    Filled(std::mt19937& rng, int n, int spread) {
        array.sortFlags = KoSortedArray::sortOff;
        // Doubling, so that filling a large array stays linear.
        array.growBy = 0;
        EXPECT_EQ(array.setInitialSize(16), koSuccess);
        for (int i = 0; i < n; ++i) {
            made.push_back(new Item(int(rng() % spread), i));
            EXPECT_EQ(array.add(made.back()), koSuccess);
        }
    }
    ~Filled() { array.deleteContents(); }
    std::vector<Item*> stableSorted() const {
        std::vector<Item*> s = made;
        std::stable_sort(s.begin(), s.end(), [](Item* l, Item* r) { return l->value < r->value; });
        return s;
    }
};

TEST(RealResort, StablePastTheSortsMemory) {
    // 400,000 pointer records are more than the sort holds in memory: the order comes from merged runs.
    std::mt19937 rng(51);
    Filled f(rng, 400000, 1000);
    ASSERT_EQ(f.array.realResort(), koSuccess);
    EXPECT_TRUE(tagsOf(f.array) == f.stableSorted());
}

TEST(RealResort, EveryAllocationFailingInTurn) {
    // Failures of the first two sort buffers fail the re-sort; later ones only make it spill early.
    std::mt19937 rng(52);
    Filled f(rng, 30000, 50);
    const std::vector<Item*> before = tagsOf(f.array);
    const std::vector<Item*> want = f.stableSorted();
    KoStatus status = koSuccess;
    int failures = 0;
    kotest::forEachAllocationFailure([&] { status = f.array.realResort(); },
                                     [&](unsigned n, bool) {
                                         if (status == koSuccess) {
                                             EXPECT_TRUE(tagsOf(f.array) == want) << n;
                                         } else {
                                             ++failures;
                                             EXPECT_TRUE(tagsOf(f.array) == before) << n;
                                         }
                                         // Start again from the arrival order.
                                         for (uint32_t i = 0; i < f.array.count; ++i)
                                             f.array.items[i] = before[i];
                                     });
    EXPECT_GE(failures, 2);
}

TEST(RealResort, SizesComeBackAscending) {
    std::mt19937 rng(53);
    for (int n : {0, 1, 2, 1000, 1100000}) {
        KoSortedArrayKOSIZE_T a;
        a.growBy = 0;
        ASSERT_EQ(a.setInitialSize(16), koSuccess);
        std::vector<KOSIZE_T> values;
        for (int i = 0; i < n; ++i) {
            KOSIZE_T v = i % 5 == 0 ? KOSIZE_T(0xFFFFFFFFu - rng() % 3) : KOSIZE_T(rng());
            values.push_back(v);
            ASSERT_EQ(a.KoArrayKOSIZE_T::add(v), koSuccess);
        }
        ASSERT_EQ(a.realResort(), koSuccess);
        std::sort(values.begin(), values.end());
        ASSERT_EQ(a.count, uint32_t(n));
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(a.getAt(uint32_t(i)), values[size_t(i)]) << n << " at " << i;
    }
}

TEST(RealResort, SizesUnchangedWhenMemoryFails) {
    KoSortedArrayKOSIZE_T a;
    for (KOSIZE_T v : {9u, 0x80000000u, 1u, 9u})
        ASSERT_EQ(a.KoArrayKOSIZE_T::add(v), koSuccess);
    kotest::forEachAllocationFailure([&] { (void)a.realResort(); },
                                     [&](unsigned, bool failed) {
                                         std::vector<KOSIZE_T> got;
                                         for (uint32_t i = 0; i < a.count; ++i)
                                             got.push_back(a.getAt(i));
                                         EXPECT_EQ(got,
                                                   failed ? (std::vector<KOSIZE_T>{9u, 0x80000000u, 1u, 9u})
                                                          : (std::vector<KOSIZE_T>{1u, 9u, 9u, 0x80000000u}));
                                     });
}

} // namespace
