#include <gtest/gtest.h>
#include <vector>
#include "foundation/containers/koarray.h"
#include "foundation/errors/ramalloc.h"
#include "tests/foundation/containers/helpers.h"
#include "tests/support/support.h"

using cotest::Item;
using cotest::liveItems;

namespace {

std::vector<int> values(const KoArray& a) {
    std::vector<int> out;
    for (uint32_t i = 0; i < a.count; ++i)
        out.push_back(static_cast<Item*>(a.items[i])->value);
    return out;
}

} // namespace

TEST(KoArray, GrowsBySixteenFromTheFirstAdd) {
    KoArray a;
    EXPECT_EQ(a.capacity, 0u);
    EXPECT_EQ(a.items, nullptr);
    EXPECT_EQ(a.flags, 0u);
    Item items[17] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(a.append(&items[i]), koSuccess);
    EXPECT_EQ(a.capacity, 16u);
    ASSERT_EQ(a.append(&items[16]), koSuccess);
    EXPECT_EQ(a.capacity, 32u);
    EXPECT_EQ(a.count, 17u);
    EXPECT_TRUE(a.flags & KoArray::ownsBuffer);
    for (uint32_t i = 0; i < 17; ++i)
        EXPECT_EQ(a.getAt(i), &items[i]);
    EXPECT_EQ(a.getAt(17), nullptr);
    // Slots beyond count are empty.
    for (uint32_t i = 17; i < 32; ++i)
        EXPECT_EQ(a.items[i], nullptr);
}

TEST(KoArray, GrowByZeroDoubles) {
    KoArray a;
    a.growBy = 0;
    ASSERT_EQ(a.setInitialSize(4), koSuccess);
    Item it(1);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(a.append(&it), koSuccess);
    EXPECT_EQ(a.capacity, 4u);
    ASSERT_EQ(a.append(&it), koSuccess);
    EXPECT_EQ(a.capacity, 8u);
    // Doubling an array that never got a size still makes room.
    KoArray b;
    b.growBy = 0;
    ASSERT_EQ(b.append(&it), koSuccess);
    EXPECT_GE(b.capacity, 1u);
    EXPECT_EQ(b.getAt(0), &it);
}

TEST(KoArray, InsertAndRemoveShiftTheRightSlots) {
    KoArray a;
    Item i0(0), i1(1), i2(2), i3(3);
    ASSERT_EQ(a.addAtIndex(&i1, 0), koSuccess);
    ASSERT_EQ(a.addAtIndex(&i3, 1), koSuccess);
    ASSERT_EQ(a.addAtIndex(&i0, 0), koSuccess);
    ASSERT_EQ(a.addAtIndex(&i2, 2), koSuccess);
    EXPECT_EQ(values(a), (std::vector<int>{0, 1, 2, 3}));
    // Beyond count is refused without change.
    EXPECT_EQ(a.addAtIndex(&i0, 5), koFailure);
    EXPECT_EQ(a.count, 4u);
    a.removeAtIndex(1);
    EXPECT_EQ(values(a), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(a.items[3], nullptr);
    a.removeAtIndex(2);
    EXPECT_EQ(values(a), (std::vector<int>{0, 2}));
    a.removeAtIndex(7); // ignored
    EXPECT_EQ(a.count, 2u);
    EXPECT_EQ(a.doesExist(&i2), 1u);
    EXPECT_EQ(a.doesExist(&i1), 0u);
    Item same(2);
    EXPECT_EQ(a.doesExist(&same), 0u) << "identity, not equality";
}

TEST(KoArray, OwnershipDecidesWhatIsDeleted) {
    liveItems = 0;
    {
        KoArray a;
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(a.append(new Item(i)), koSuccess);
        a.deleteAtIndex(1);
        EXPECT_EQ(liveItems, 4);
        EXPECT_EQ(values(a), (std::vector<int>{0, 2, 3, 4}));
        a.deleteContents();
        EXPECT_EQ(liveItems, 0);
        EXPECT_EQ(a.count, 0u);
        ASSERT_EQ(a.append(new Item(9)), koSuccess);
        a.flags |= KoArray::ownsElements;
    }
    EXPECT_EQ(liveItems, 0) << "ownsElements deletes at destruction";
    Item kept(1);
    {
        KoArray a;
        ASSERT_EQ(a.append(&kept), koSuccess);
    }
    EXPECT_EQ(liveItems, 1) << "without ownsElements nothing is deleted";
}

TEST(KoArray, WholeCapacityReachesSlotsBeyondCount) {
    liveItems = 0;
    KoArray a;
    ASSERT_EQ(a.setInitialSize(8), koSuccess);
    a.items[5] = new Item(5); // parked outside count, as users of whole-capacity arrays do
    a.flags |= KoArray::wholeCapacity;
    ASSERT_EQ(a.append(new Item(0)), koSuccess);
    a.deleteContents();
    EXPECT_EQ(liveItems, 0);
    for (uint32_t i = 0; i < a.capacity; ++i)
        EXPECT_EQ(a.items[i], nullptr);
}

TEST(KoArray, SetInitialSizeKeepsWhatIsThere) {
    KoArray a;
    Item x(1), y(2), z(3);
    ASSERT_EQ(a.append(&x), koSuccess);
    ASSERT_EQ(a.append(&y), koSuccess);
    ASSERT_EQ(a.append(&z), koSuccess);
    ASSERT_EQ(a.setInitialSize(2), koSuccess);
    EXPECT_EQ(a.capacity, 3u);
    EXPECT_EQ(values(a), (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(a.setInitialSize(40), koSuccess);
    EXPECT_EQ(a.capacity, 40u);
    EXPECT_EQ(values(a), (std::vector<int>{1, 2, 3}));
}

TEST(KoArray, Shrink) {
    KoArray a;
    Item it[20] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    for (auto& i : it)
        ASSERT_EQ(a.append(&i), koSuccess);
    ASSERT_EQ(a.shrink(3), koSuccess);
    EXPECT_EQ(a.capacity, 3u);
    EXPECT_EQ(a.count, 3u);
    EXPECT_EQ(values(a), (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(a.append(&it[3]), koSuccess);
    EXPECT_EQ(a.capacity, 19u);
    ASSERT_EQ(a.shrink(0), koSuccess);
    EXPECT_EQ(a.items, nullptr);
    EXPECT_EQ(a.capacity, 0u);
    EXPECT_EQ(a.count, 0u);
    ASSERT_EQ(a.append(&it[4]), koSuccess) << "usable after shrink(0)";
    EXPECT_EQ(a.getAt(0), &it[4]);
}

TEST(KoArray, ShrinkLeavesABorrowedBufferAlone) {
    KoObject* borrowed[4] = {};
    Item x(1);
    {
        KoArray a;
        a.items = borrowed;
        a.capacity = 4;
        ASSERT_EQ(a.append(&x), koSuccess);
        ASSERT_EQ(a.shrink(2), koSuccess);
        EXPECT_EQ(a.items, borrowed);
        EXPECT_EQ(a.capacity, 2u);
        EXPECT_EQ(a.shrink(3), koFailure) << "a borrowed buffer cannot grow";
    }
    EXPECT_EQ(borrowed[0], &x);
}

TEST(KoArray, AllocationFailureLeavesTheArrayAsItWas) {
    liveItems = 0;
    KoArray a;
    a.flags |= KoArray::ownsElements;
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(a.append(new Item(i)), koSuccess);
    Item* extra = new Item(99);
    kotest::forEachAllocationFailure([&] { (void)a.append(extra); },
                                     [&](unsigned, bool failed) {
                                         if (failed) {
                                             EXPECT_EQ(a.count, 16u);
                                             EXPECT_EQ(a.capacity, 16u);
                                             EXPECT_EQ(values(a).back(), 15);
                                         } else {
                                             EXPECT_EQ(a.count, 17u);
                                             EXPECT_EQ(a.getAt(16), extra);
                                         }
                                     });
    KoArray b;
    kotest::forEachAllocationFailure([&] { (void)b.setInitialSize(10); },
                                     [&](unsigned, bool failed) {
                                         EXPECT_EQ(b.capacity, failed ? 0u : 10u);
                                         EXPECT_EQ(b.items == nullptr, failed);
                                     });
    KoArray c;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(c.append(extra), koSuccess);
    ASSERT_EQ(c.shrink(20), koSuccess);
    ramFailAt(1);
    EXPECT_EQ(c.shrink(5), koFailure);
    ramFailAt(0);
    EXPECT_EQ(c.count, 20u);
    EXPECT_EQ(c.capacity, 20u);
}

TEST(KoArrayPVoid, ReleasesBlocksWithTheHeap) {
    // Leaks here show up under the sanitizer build.
    KoArrayPVoid a;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(a.append(ramAlloc(10)), koSuccess);
    a.deleteAtIndex(0);
    EXPECT_EQ(a.count, 2u);
    a.deleteContents();
    EXPECT_EQ(a.count, 0u);
    {
        KoArrayPVoid owned;
        owned.flags |= KoArray::ownsElements;
        ASSERT_EQ(owned.append(ramAlloc(5)), koSuccess);
        ASSERT_EQ(owned.append(nullptr), koSuccess);
        void* b = ramAlloc(7);
        ASSERT_EQ(owned.addAtIndex(b, 0), koSuccess);
        EXPECT_EQ(owned.getAt(0), b);
        EXPECT_EQ(owned.doesExist(b), 1u);
    }
}

TEST(KoValueArrays, StoreAndHandBackEveryWidth) {
    KoArrayS32 s32;
    ASSERT_EQ(s32.add(-5), koSuccess);
    ASSERT_EQ(s32.add(INT32_MIN), koSuccess);
    ASSERT_EQ(s32.addAtIndex(7, 0), koSuccess);
    EXPECT_EQ(s32.getAt(0), 7);
    EXPECT_EQ(s32.getAt(1), -5);
    EXPECT_EQ(s32[2], INT32_MIN);
    EXPECT_EQ(s32.getAt(3), 0);
    EXPECT_EQ(s32.indexOf(-5), 1u);
    EXPECT_EQ(s32.doesExist(8), 0u);

    KoArrayU64 u64;
    ASSERT_EQ(u64.add(UINT64_MAX), koSuccess);
    ASSERT_EQ(u64.add(0x123456789ABCDEF0ull), koSuccess);
    EXPECT_EQ(u64.getAt(0), UINT64_MAX);
    EXPECT_EQ(u64.getAt(1), 0x123456789ABCDEF0ull);
    ASSERT_EQ(u64.setAt(1, 3), koSuccess);
    EXPECT_EQ(u64.getAt(1), 3u);
    EXPECT_EQ(u64.setAt(2, 3), koFailure);

    KoArrayS64 s64;
    ASSERT_EQ(s64.add(INT64_MIN), koSuccess);
    EXPECT_EQ(s64.getAt(0), INT64_MIN);

    KoArrayKOSSIZE_T ss;
    ASSERT_EQ(ss.add(-1), koSuccess);
    EXPECT_EQ(ss.getAt(0), -1);
    KoArrayU32 u32;
    ASSERT_EQ(u32.add(0xFFFFFFFFu), koSuccess);
    EXPECT_EQ(u32.getAt(0), 0xFFFFFFFFu);
}

TEST(KoValueArrays, DeletingOnlyEmpties) {
    // Values are no objects: neither the delete operations nor ownsElements may treat them as such.
    KoArrayKOSIZE_T* a = new KoArrayKOSIZE_T;
    ASSERT_NE(a, nullptr);
    a->flags |= KoArray::ownsElements | KoArray::wholeCapacity;
    for (KOSIZE_T v = 1; v <= 20; ++v)
        ASSERT_EQ(a->add(v * 1000), koSuccess);
    a->deleteAtIndex(0);
    EXPECT_EQ(a->count, 19u);
    EXPECT_EQ(a->getAt(0), 2000u);
    KoArray* base = a;
    base->deleteContents();
    EXPECT_EQ(a->count, 0u);
    ASSERT_EQ(a->add(5), koSuccess);
    delete base;
}
