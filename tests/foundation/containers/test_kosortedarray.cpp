#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <vector>
#include "foundation/containers/kosortedarray.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/kostring.h"
#include "tests/foundation/containers/helpers.h"
#include "tests/support/support.h"

using cotest::Item;
using cotest::liveItems;

namespace {

// value*100 + tag, so the order of equal values shows.
std::vector<int> contents(const KoArray& a) {
    std::vector<int> out;
    for (uint32_t i = 0; i < a.count; ++i) {
        auto* it = static_cast<Item*>(a.items[i]);
        out.push_back(it->value * 100 + it->tag);
    }
    return out;
}

// Exposes the protected search for the tests.
class Sorted : public KoSortedArray {
public:
    using KoSortedArray::findIndexOfLastKey;
};

} // namespace

TEST(KoSortedArray, AddInsertsInOrderAndAfterEquals) {
    KoSortedArray a;
    Item b(2), d(4), c1(3, 1), c2(3, 2), c3(3, 3), first(1), last(9);
    ASSERT_EQ(a.add(&b), koSuccess);
    ASSERT_EQ(a.add(&d), koSuccess);
    ASSERT_EQ(a.add(&c1), koSuccess);
    EXPECT_EQ(a.getAt(1), &c1);
    ASSERT_EQ(a.add(&c2), koSuccess);
    ASSERT_EQ(a.add(&c3), koSuccess);
    ASSERT_EQ(a.add(&last), koSuccess);
    ASSERT_EQ(a.add(&first), koSuccess);
    EXPECT_EQ(contents(a), (std::vector<int>{100, 200, 301, 302, 303, 400, 900}));
}

TEST(KoSortedArray, SortFlagsMakeAddAppend) {
    for (uint32_t flag : {uint32_t(KoSortedArray::sortOff), uint32_t(KoSortedArray::sortArrival)}) {
        KoSortedArray a;
        a.sortFlags = flag;
        Item x(5), y(1), z(3);
        ASSERT_EQ(a.add(&x), koSuccess);
        ASSERT_EQ(a.add(&y), koSuccess);
        ASSERT_EQ(a.add(&z), koSuccess);
        EXPECT_EQ(contents(a), (std::vector<int>{500, 100, 300}));
    }
}

TEST(KoSortedArray, FindIndexOfGivesMatchOrInsertionPoint) {
    KoSortedArray a;
    std::vector<Item> items;
    items.reserve(6);
    for (int v : {10, 20, 30, 40, 50})
        items.emplace_back(v);
    for (auto& it : items)
        ASSERT_EQ(a.add(&it), koSuccess);
    uint32_t index = 77;
    for (int i = 0; i < 5; ++i) {
        Item key((i + 1) * 10);
        EXPECT_EQ(a.findIndexOf(&key, index), 1u);
        EXPECT_EQ(index, uint32_t(i));
    }
    // Every gap, both ends included.
    const int probes[] = {5, 15, 25, 35, 45, 55};
    for (int i = 0; i < 6; ++i) {
        Item key(probes[i]);
        index = 77;
        EXPECT_EQ(a.findIndexOf(&key, index), 0u) << probes[i];
        EXPECT_EQ(index, uint32_t(i)) << probes[i];
    }
    KoSortedArray empty;
    Item key(1);
    index = 77;
    EXPECT_EQ(empty.findIndexOf(&key, index), 0u);
    EXPECT_EQ(index, 0u);
}

TEST(KoSortedArray, LastKeyAndSequentialSearch) {
    Sorted a;
    Item i1(1), i2a(2, 1), i2b(2, 2), i2c(2, 3), i3(3);
    for (Item* it : {&i1, &i2a, &i2b, &i2c, &i3})
        ASSERT_EQ(a.add(it), koSuccess);
    Item two(2);
    EXPECT_EQ(a.findIndexOfLastKey(&two, 1), 3u);
    EXPECT_EQ(a.findIndexOfLastKey(&two, 3), 3u);
    uint32_t index = 0;
    EXPECT_EQ(a.seqFindIndexOf(&two, index), 1u);
    EXPECT_EQ(index, 1u) << "the first equal element";
    Item none(7);
    EXPECT_EQ(a.seqFindIndexOf(&none, index), 0u);
    EXPECT_EQ(index, 5u);
}

TEST(KoSortedArray, DuplicatesAreRemovedOrDeleted) {
    liveItems = 0;
    KoSortedArray a;
    for (int v : {1, 1, 2, 3, 3, 3, 4})
        ASSERT_EQ(a.add(new Item(v)), koSuccess);
    a.deleteDuplicates();
    EXPECT_EQ(contents(a), (std::vector<int>{100, 200, 300, 400}));
    EXPECT_EQ(liveItems, 4);
    a.deleteContents();
    EXPECT_EQ(liveItems, 0);

    KoSortedArray b;
    Item x(1, 1), y(1, 2), z(2);
    for (Item* it : {&x, &y, &z})
        ASSERT_EQ(b.add(it), koSuccess);
    b.removeDuplicates();
    EXPECT_EQ(contents(b), (std::vector<int>{101, 200}));
}

TEST(KoSortedArray, ResortIsStable) {
    std::mt19937 rng(7);
    for (int n : {0, 1, 2, 3, 17, 100, 1000}) {
        KoSortedArray a;
        a.sortFlags = KoSortedArray::sortOff;
        std::vector<Item*> made;
        for (int i = 0; i < n; ++i) {
            made.push_back(new Item(int(rng() % 10), i));
            ASSERT_EQ(a.add(made.back()), koSuccess);
        }
        ASSERT_EQ(a.realResort(), koSuccess);
        std::vector<int> want;
        std::vector<Item*> sorted = made;
        std::stable_sort(sorted.begin(), sorted.end(), [](Item* l, Item* r) { return l->value < r->value; });
        std::vector<int> got;
        for (uint32_t i = 0; i < a.count; ++i)
            got.push_back(static_cast<Item*>(a.items[i])->tag);
        for (Item* it : sorted)
            want.push_back(it->tag);
        EXPECT_EQ(got, want) << n;
        a.deleteContents();
    }
}

TEST(KoSortedArray, ResortWithoutMemoryKeepsTheOrder) {
    KoSortedArray a;
    a.sortFlags = KoSortedArray::sortOff;
    Item x(3), y(1), z(2);
    for (Item* it : {&x, &y, &z})
        ASSERT_EQ(a.add(it), koSuccess);
    kotest::forEachAllocationFailure([&] { (void)a.realResort(); },
                                     [&](unsigned, bool failed) {
                                         EXPECT_EQ(contents(a), failed ? (std::vector<int>{300, 100, 200})
                                                                       : (std::vector<int>{100, 200, 300}));
                                     });
}

TEST(KoSortedArray, AddWithoutMemoryAddsNothing) {
    KoSortedArray a;
    std::vector<Item> items;
    items.reserve(17);
    for (int i = 0; i < 17; ++i)
        items.emplace_back(i * 2);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(a.add(&items[i]), koSuccess);
    ramFailAt(1);
    EXPECT_EQ(a.add(&items[16]), koFailure);
    ramFailAt(0);
    EXPECT_EQ(a.count, 16u);
    EXPECT_EQ(a.doesExist(&items[16]), 0u);
}

TEST(KoSortedArrayKOSIZE_T, KeepsUnsignedOrder) {
    KoSortedArrayKOSIZE_T a;
    for (KOSIZE_T v : {5u, 0xFFFFFFFFu, 0u, 5u, 3u, 0x80000000u, 5u})
        ASSERT_EQ(a.add(v), koSuccess);
    std::vector<KOSIZE_T> got;
    for (uint32_t i = 0; i < a.count; ++i)
        got.push_back(a.getAt(i));
    EXPECT_EQ(got, (std::vector<KOSIZE_T>{0u, 3u, 5u, 5u, 5u, 0x80000000u, 0xFFFFFFFFu}));
    uint32_t index = 0;
    EXPECT_EQ(a.findIndexOf(5, index), 1u);
    EXPECT_TRUE(index >= 2 && index <= 4);
    EXPECT_EQ(a.findIndexOf(4, index), 0u);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(a.findIndexOf(0x90000000u, index), 0u);
    EXPECT_EQ(index, 6u);
    EXPECT_EQ(a.seqFindIndexOf(5, index), 1u);
    EXPECT_EQ(index, 2u);
    a.removeDuplicates();
    EXPECT_EQ(a.count, 5u);
    EXPECT_EQ(a.getAt(3), 0x80000000u);
}

TEST(KoSortedArray, OrdersTextsIgnoringCase) {
    auto text = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
    KoSubString b(text("b")), d(text("D")), c1(text("c")), c2(text("C"));
    KoSortedArray a;
    ASSERT_EQ(a.add(&b), koSuccess);
    ASSERT_EQ(a.add(&d), koSuccess);
    ASSERT_EQ(a.add(&c1), koSuccess);
    EXPECT_EQ(a.getAt(1), &c1);
    ASSERT_EQ(a.add(&c2), koSuccess);
    EXPECT_EQ(a.getAt(2), &c2) << "after the equal text already there";
    EXPECT_EQ(a.getAt(3), &d);
}
