#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "foundation/containers/kodictionary.h"
#include "foundation/containers/koseqdictionary.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/kostring.h"
#include "tests/foundation/containers/helpers.h"
#include "tests/support/support.h"

using cotest::Item;
using cotest::liveItems;

namespace {

int liveKeys = 0;

// A text key that counts its live instances; it views a literal.
class Key : public KoSubString {
public:
    explicit Key(const char* s) : KoSubString(reinterpret_cast<const unsigned char*>(s)) { ++liveKeys; }
    ~Key() override { --liveKeys; }
};

KoSubString view(const char* s) {
    return KoSubString(reinterpret_cast<const unsigned char*>(s));
}

uint16_t home(uint32_t h, uint16_t size) {
    return uint16_t(uint32_t(h * 0x9E3779B9u) % size);
}

// Slot of the association with integer key k, or -1.
int slotOf(const KoDictionary& d, uint32_t k) {
    for (uint32_t i = 0; i < d.slots.count; ++i) {
        auto* a = static_cast<KoAssociation*>(d.slots.items[i]);
        if (a && a->isEqualInt(k)) return int(i);
    }
    return -1;
}

// Two integer keys above `from` whose home slots in a table of `size` are equal.
std::pair<uint32_t, uint32_t> collidingKeys(uint16_t size, uint16_t wantedHome, uint32_t from = 1) {
    std::vector<uint32_t> found;
    for (uint32_t k = from; found.size() < 2; ++k)
        if (home(k, size) == wantedHome) found.push_back(k);
    return {found[0], found[1]};
}

} // namespace

TEST(KoDictionary, SizesAndGrowsByTheFillRule) {
    KoDictionary d;
    EXPECT_EQ(d.maxFill, 75);
    EXPECT_EQ(d.growPercent, 25);
    ASSERT_EQ(d.initialize(20), koSuccess);
    EXPECT_EQ(d.tableSize, 27);
    EXPECT_EQ(d.slots.count, 27u);
    for (uint32_t k = 1; k <= 20; ++k)
        ASSERT_EQ(d.addAssoc(k * 7, k), koSuccess);
    EXPECT_EQ(d.tableSize, 27) << "20 entries are exactly at the threshold 27 * 75 / 100";
    ASSERT_EQ(d.addAssoc(uint32_t(1000), uint32_t(21)), koSuccess);
    EXPECT_EQ(d.tableSize, 35) << "grown for 20 + 5 + 1 entries";
    EXPECT_EQ(d.count, 21);
    EXPECT_EQ(d.highWater, 21);
    for (uint32_t k = 1; k <= 20; ++k)
        EXPECT_EQ(d.getIntForKey(k * 7), k);
    EXPECT_EQ(d.getIntForKey(1000), 21u);
    // Every entry sits on its home slot or below it in its probe run.
    for (uint32_t k = 1; k <= 20; ++k) {
        int s = slotOf(d, k * 7);
        ASSERT_GE(s, 0);
        for (int at = home(k * 7, 35); at != s; at = at ? at - 1 : 34)
            EXPECT_NE(d.slots.items[at], nullptr) << "a gap inside the probe run of " << k * 7;
    }
}

TEST(KoDictionary, CollisionsProbeDownwardsAndWrap) {
    KoDictionary d;
    ASSERT_EQ(d.initialize(20), koSuccess);
    auto [a, b] = collidingKeys(27, 5);
    ASSERT_EQ(d.addAssoc(a, uint32_t(1)), koSuccess);
    ASSERT_EQ(d.addAssoc(b, uint32_t(2)), koSuccess);
    EXPECT_EQ(slotOf(d, a), 5);
    EXPECT_EQ(slotOf(d, b), 4);
    auto [c, e] = collidingKeys(27, 0);
    ASSERT_EQ(d.addAssoc(c, uint32_t(3)), koSuccess);
    ASSERT_EQ(d.addAssoc(e, uint32_t(4)), koSuccess);
    EXPECT_EQ(slotOf(d, c), 0);
    EXPECT_EQ(slotOf(d, e), 26) << "below slot 0 comes the last slot";
    EXPECT_EQ(d.getIntForKey(b), 2u);
    EXPECT_EQ(d.getIntForKey(e), 4u);
}

TEST(KoDictionary, LookupsOfAbsentKeys) {
    KoDictionary d;
    // Before initialize nothing is found and nothing breaks.
    EXPECT_EQ(d.getIntForKey(3), 0u);
    EXPECT_EQ(d.getPtrForKey(3), nullptr);
    KoSubString k = view("abc");
    EXPECT_EQ(d.getPtrForKey(&k), nullptr);
    EXPECT_EQ(d.doesExist(3), 0u);
    ASSERT_EQ(d.initialize(4), koSuccess);
    Item data(1);
    ASSERT_EQ(d.addAssoc(uint32_t(3), &data), koSuccess);
    EXPECT_EQ(d.getPtrForKey(3), &data);
    EXPECT_EQ(d.getIntForKey(3), 0u) << "object data has no integer";
    EXPECT_EQ(d.doesExist(4), 0u);
    EXPECT_EQ(d.doesExist(&k), 0u);
}

TEST(KoDictionary, AnAddBeforeInitializeSizesTheTable) {
    KoDictionary d;
    ASSERT_EQ(d.addAssoc(uint32_t(9), uint32_t(90)), koSuccess);
    EXPECT_EQ(d.tableSize, 16 * 100 / 75 + 1);
    EXPECT_EQ(d.getIntForKey(9), 90u);
}

TEST(KoDictionary, TextKeysShareHomeSlotsYetStayApart) {
    KoDictionary d;
    ASSERT_EQ(d.initialize(10), koSuccess);
    Key k1("prefix-one"), k2("prefix-two"), k3("PREFIX-three");
    Item v1(1), v2(2), v3(3);
    ASSERT_EQ(k1.hash(), k2.hash());
    ASSERT_EQ(d.addAssoc(&k1, &v1), koSuccess);
    ASSERT_EQ(d.addAssoc(&k2, &v2), koSuccess);
    ASSERT_EQ(d.addAssoc(&k3, &v3), koSuccess);
    EXPECT_EQ(d.count, 3);
    KoSubString q1 = view("prefix-one"), q2 = view("prefix-two"), q3 = view("prefix-three"),
                qx = view("prefix");
    EXPECT_EQ(d.getPtrForKey(&q1), &v1);
    EXPECT_EQ(d.getPtrForKey(&q2), &v2);
    EXPECT_EQ(d.getPtrForKey(&q3), nullptr) << "case matters without ignoreCase";
    EXPECT_EQ(d.doesExist(&qx), 0u) << "a prefix is not the key";
    d.flags |= KoDictionary::ignoreCase;
    EXPECT_EQ(d.getPtrForKey(&q3), &v3);
}

TEST(KoDictionary, IgnoreCaseFindsNameUnderNAME) {
    KoDictionary ci, exact;
    ci.flags = KoDictionary::ignoreCase;
    ASSERT_EQ(ci.initialize(4), koSuccess);
    ASSERT_EQ(exact.initialize(4), koSuccess);
    Key name("Name");
    Item v(1);
    ASSERT_EQ(ci.addAssoc(&name, &v), koSuccess);
    ASSERT_EQ(exact.addAssoc(&name, &v), koSuccess);
    KoSubString upper = view("NAME");
    EXPECT_EQ(ci.getPtrForKey(&upper), &v);
    EXPECT_EQ(exact.getPtrForKey(&upper), nullptr);
    // With ignoreCase, adding NAME replaces Name.
    Key other("NAME");
    Item w(2);
    ASSERT_EQ(ci.addAssoc(&other, &w), koSuccess);
    EXPECT_EQ(ci.count, 1);
    EXPECT_EQ(ci.getPtrForKey(&upper), &w);
}

TEST(KoDictionary, AddingAPresentKeyReplacesItOnce) {
    liveItems = 0;
    liveKeys = 0;
    {
        KoDictionary d;
        ASSERT_EQ(d.initialize(4), koSuccess);
        ASSERT_EQ(d.addAssoc(uint32_t(5), uint32_t(50)), koSuccess);
        ASSERT_EQ(d.addAssoc(uint32_t(5), uint32_t(51)), koSuccess);
        EXPECT_EQ(d.count, 1);
        EXPECT_EQ(d.highWater, 1);
        EXPECT_EQ(d.getIntForKey(5), 51u);
        // Without ownsKeyAndData the replaced entry's parts stay with their owner.
        Item* first = new Item(1);
        ASSERT_EQ(d.addAssoc(uint32_t(6), first), koSuccess);
        ASSERT_EQ(d.addAssoc(uint32_t(6), new Item(2)), koSuccess);
        EXPECT_EQ(liveItems, 2);
        delete first;
        d.deleteKeyAndData();
        EXPECT_EQ(liveItems, 0);
    }
    {
        KoDictionary d;
        d.flags = KoDictionary::ownsKeyAndData;
        ASSERT_EQ(d.initialize(4), koSuccess);
        ASSERT_EQ(d.addAssoc(new Key("dup"), new Item(1)), koSuccess);
        ASSERT_EQ(d.addAssoc(new Key("dup"), new Item(2)), koSuccess);
        EXPECT_EQ(liveKeys, 1);
        EXPECT_EQ(liveItems, 1);
        KoSubString q = view("dup");
        EXPECT_EQ(static_cast<Item*>(d.getPtrForKey(&q))->value, 2);
        // The same data object again under a new key object: the data must survive.
        Item* shared = static_cast<Item*>(d.getPtrForKey(&q));
        ASSERT_EQ(d.addAssoc(new Key("dup"), shared), koSuccess);
        EXPECT_EQ(liveItems, 1);
        EXPECT_EQ(d.getPtrForKey(&q), shared);
        d.deleteKeyAndData();
        EXPECT_EQ(liveKeys, 0);
        EXPECT_EQ(liveItems, 0);
        EXPECT_EQ(d.count, 0);
    }
}

TEST(KoDictionary, DestructionDeletesAssociationsOnly) {
    liveItems = 0;
    liveKeys = 0;
    Key k("key");
    Item v(1);
    {
        KoDictionary d;
        ASSERT_EQ(d.initialize(2), koSuccess);
        ASSERT_EQ(d.addAssoc(&k, &v), koSuccess);
        ASSERT_EQ(d.addAssoc(uint32_t(1), &v), koSuccess);
    }
    EXPECT_EQ(liveKeys, 1);
    EXPECT_EQ(liveItems, 1);
}

TEST(KoDictionary, ResetAndInitializeAgain) {
    KoDictionary d;
    ASSERT_EQ(d.initialize(20), koSuccess);
    for (uint32_t k = 0; k < 30; ++k)
        ASSERT_EQ(d.addAssoc(k, k + 1), koSuccess);
    d.maxFill = 50;
    d.deleteKeyAndData();
    d.reset();
    EXPECT_EQ(d.tableSize, 0);
    EXPECT_EQ(d.count, 0);
    EXPECT_EQ(d.highWater, 0);
    EXPECT_EQ(d.maxFill, 75);
    EXPECT_EQ(d.slots.items, nullptr);
    ASSERT_EQ(d.initialize(20), koSuccess);
    EXPECT_EQ(d.tableSize, 27);
    // initialize on a filled table keeps the entries.
    for (uint32_t k = 0; k < 20; ++k)
        ASSERT_EQ(d.addAssoc(k, k + 1), koSuccess);
    ASSERT_EQ(d.initialize(2), koSuccess);
    EXPECT_GE(d.tableSize, 27);
    for (uint32_t k = 0; k < 20; ++k)
        EXPECT_EQ(d.getIntForKey(k), k + 1);
    EXPECT_EQ(d.initialize(49152), koFailure) << "more than 65,535 slots";
    EXPECT_EQ(d.count, 20);
}

TEST(KoDictionary, AFullTableRefusesNewKeys) {
    KoDictionary d;
    ASSERT_EQ(d.initialize(3), koSuccess);
    ASSERT_EQ(d.tableSize, 5);
    d.maxFill = 100; // never grows: the table fills completely
    for (uint32_t k = 0; k < 5; ++k)
        ASSERT_EQ(d.addAssoc(k, k + 10), koSuccess);
    EXPECT_EQ(d.addAssoc(uint32_t(99), uint32_t(1)), koFailure);
    EXPECT_EQ(d.count, 5);
    EXPECT_EQ(d.doesExist(99), 0u) << "a lookup in a full table ends";
    EXPECT_EQ(d.addAssoc(uint32_t(3), uint32_t(33)), koSuccess) << "a present key is still replaced";
    EXPECT_EQ(d.getIntForKey(3), 33u);
}

TEST(KoDictionary, GrowthStopsAtTheLargestTable) {
    KoDictionary d;
    d.maxFill = 1; // a table 100 times the entries: reaches the limit after few adds
    ASSERT_EQ(d.initialize(600), koSuccess);
    EXPECT_EQ(d.tableSize, 60001);
    for (uint32_t k = 0; k < 700; ++k)
        ASSERT_EQ(d.addAssoc(k, k), koSuccess) << k;
    EXPECT_EQ(d.tableSize, 65535);
    for (uint32_t k = 0; k < 700; ++k)
        EXPECT_EQ(d.getIntForKey(k), k);
}

TEST(KoDictionary, MemoryFailures) {
    KoDictionary d;
    ASSERT_EQ(d.initialize(20), koSuccess);
    for (uint32_t k = 1; k <= 20; ++k)
        ASSERT_EQ(d.addAssoc(k, k), koSuccess);
    // The 21st add: the association, then the grown table.
    uint32_t key = 21;
    unsigned runs =
        kotest::forEachAllocationFailure([&] { (void)d.addAssoc(key, key * 2); },
                                         [&](unsigned n, bool failed) {
                                             if (failed && n == 1) {
                                                 EXPECT_EQ(d.count, 20) << "no association, nothing added";
                                                 EXPECT_EQ(d.doesExist(key), 0u);
                                             } else if (failed) {
                                                 EXPECT_EQ(d.count, 21) << "stored before the growth failed";
                                                 EXPECT_EQ(d.tableSize, 27);
                                                 EXPECT_EQ(d.getIntForKey(key), key * 2);
                                                 // Take it out again for the next round.
                                                 d.deleteKeyAndData();
                                                 for (uint32_t k = 1; k <= 20; ++k)
                                                     ASSERT_EQ(d.addAssoc(k, k), koSuccess);
                                             } else {
                                                 EXPECT_EQ(d.tableSize, 35);
                                             }
                                             for (uint32_t k = 1; k <= 20; ++k)
                                                 EXPECT_EQ(d.getIntForKey(k), k);
                                         });
    EXPECT_EQ(runs, 3u) << "two allocations: the association and the grown table";
    KoDictionary e;
    kotest::forEachAllocationFailure([&] { (void)e.initialize(20); },
                                     [&](unsigned, bool failed) { EXPECT_EQ(e.tableSize, failed ? 0 : 27); });
    // A failed first add on an unsized dictionary leaves it unsized and empty.
    KoDictionary f;
    kotest::forEachAllocationFailure([&] { (void)f.addAssoc(uint32_t(1), uint32_t(2)); },
                                     [&](unsigned, bool failed) {
                                         EXPECT_EQ(f.count, failed ? 0 : 1);
                                         EXPECT_EQ(f.getIntForKey(1), failed ? 0u : 2u);
                                     });
}

TEST(KoAssociation, EachKindAnswersItsOwnQuestions) {
    Item obj(1), obj2(2);
    Key text("Text");
    KoSubString same = view("Text"), upper = view("TEXT"), longer = view("Texts");
    KoIntIntKey ii(7, 70);
    KoIntPtrKey ip(7, &obj);
    KoSubPtrKey sp(&text, &obj);

    EXPECT_EQ(ii.compare(&ip), 0);
    EXPECT_EQ(ii.isEqualInt(7), 1u);
    EXPECT_EQ(ip.isEqualInt(7), 1u);
    EXPECT_EQ(sp.isEqualInt(0), 0u) << "a text key equals no integer, not even 0";
    EXPECT_EQ(ii.isEqualSub(&same), 0u);
    EXPECT_EQ(sp.isEqualSub(&same), 1u);
    EXPECT_EQ(sp.isEqualSub(&upper), 0u);
    EXPECT_EQ(sp.isEqualSub(&longer), 0u);
    EXPECT_EQ(sp.isEqualSubCi(&upper), 1u);
    EXPECT_EQ(sp.isEqualSubCi(&longer), 0u);
    EXPECT_EQ(ii.isEqualSubCi(&upper), 0u);
    EXPECT_EQ(ii.isEqualKey(&ip), 1u);
    EXPECT_EQ(ip.isEqualKey(&ii), 1u);
    EXPECT_EQ(ii.isEqualKey(&sp), 0u);
    EXPECT_EQ(sp.isEqualKey(&ii), 0u);
    KoSubString up = view("TEXT");
    KoSubPtrKey spUpper(&up, nullptr);
    EXPECT_EQ(sp.isEqualKey(&spUpper), 0u);
    EXPECT_EQ(sp.isEqualKeyCi(&spUpper), 1u);
    EXPECT_EQ(ii.isEqualKeyCi(&ip), 0u) << "integer keys have no case-insensitive form";

    EXPECT_EQ(ii.getIntKey(), 7u);
    EXPECT_EQ(ip.getIntKey(), 7u);
    EXPECT_EQ(sp.getIntKey(), 0u);
    EXPECT_EQ(ii.getIntData(), 70u);
    EXPECT_EQ(ip.getIntData(), 0u);
    EXPECT_EQ(ii.getSubKey(), nullptr);
    EXPECT_EQ(sp.getSubKey(), &text);
    EXPECT_EQ(ii.getPtrData(), nullptr);
    EXPECT_EQ(ip.getPtrData(), &obj);
    EXPECT_EQ(sp.getPtrData(), &obj);

    ii.setPtrData(&obj2);
    ip.setPtrData(&obj2);
    sp.setPtrData(&obj2);
    EXPECT_EQ(ii.getIntData(), 70u);
    EXPECT_EQ(ip.getPtrData(), &obj);
    EXPECT_EQ(sp.getPtrData(), &obj2);
    ii.setIntData(71);
    ip.setIntData(71);
    sp.setIntData(71);
    EXPECT_EQ(ii.getIntData(), 71u);
    EXPECT_EQ(ip.getPtrData(), &obj);
    EXPECT_EQ(sp.getPtrData(), &obj2);

    EXPECT_EQ(ii.hash(), 7u);
    EXPECT_EQ(ip.hash(), 7u);
    EXPECT_EQ(sp.hash(), text.hash());
}

TEST(KoAssociation, DeleteKeyAndDataByKind) {
    liveItems = 0;
    liveKeys = 0;
    KoIntIntKey ii(1, 2);
    ii.deleteKeyAndData(); // holds no objects
    KoIntPtrKey ip(1, new Item(1));
    ip.deleteKeyAndData();
    EXPECT_EQ(liveItems, 0);
    KoSubPtrKey sp(new Key("k"), new Item(2));
    sp.deleteKeyAndData();
    EXPECT_EQ(liveItems, 0);
    EXPECT_EQ(liveKeys, 0);
}

TEST(KoSeqDictionary, KeepsInsertionOrder) {
    KoSeqDictionary d;
    Key a("zeta"), b("alpha"), c("mid");
    Item va(1), vb(2), vc(3);
    ASSERT_EQ(d.addAssoc(&a, &va), koSuccess);
    ASSERT_EQ(d.addAssoc(&b, &vb), koSuccess);
    ASSERT_EQ(d.addAssoc(&c, &vc), koSuccess);
    EXPECT_EQ(d.getSubKeyAtIndex(0), &a);
    EXPECT_EQ(d.getSubKeyAtIndex(1), &b);
    EXPECT_EQ(d.getPtrDataAtIndex(2), &vc);
    EXPECT_EQ(d.getPtrDataAtIndex(3), nullptr);
    KoSubString qb = view("alpha"), qB = view("ALPHA"), qx = view("beta");
    EXPECT_EQ(d.getIndexForKey(&qb), 1u);
    EXPECT_EQ(d.getIndexForKey(qb), 1u);
    EXPECT_EQ(d.getIndexForKey(&qx), 3u) << "count when absent";
    EXPECT_EQ(d.getIndexForKey(&qB), 3u);
    d.ignoreCase = 1;
    EXPECT_EQ(d.getIndexForKey(&qB), 1u);
    EXPECT_EQ(d.getPtrForKey(&qB), &vb);
    EXPECT_EQ(d.doesExist(&qx), 0u);
    ASSERT_EQ(d.changeData(qB, &va), koSuccess);
    EXPECT_EQ(d.getPtrForKey(&qb), &va);
    EXPECT_EQ(d.changeData(qx, &va), koFailure);
}

TEST(KoSeqDictionary, IntegerKeysAndDuplicates) {
    KoSeqDictionary d;
    ASSERT_EQ(d.addAssoc(uint32_t(5), uint32_t(50)), koSuccess);
    ASSERT_EQ(d.addAssoc(uint32_t(3), uint32_t(30)), koSuccess);
    ASSERT_EQ(d.addAssoc(uint32_t(5), uint32_t(51)), koSuccess);
    EXPECT_EQ(d.count, 3u) << "duplicates are kept";
    EXPECT_EQ(d.getIntForKey(5), 50u) << "the first match wins";
    EXPECT_EQ(d.getIntKeyAtIndex(1), 3u);
    EXPECT_EQ(d.getIntDataAtIndex(2), 51u);
    ASSERT_EQ(d.changeData(3, 31), koSuccess);
    EXPECT_EQ(d.getIntForKey(3), 31u);
    EXPECT_EQ(d.changeData(4, 1), koFailure);
    EXPECT_EQ(d.getIntForKey(4), 0u);
    EXPECT_EQ(d.doesExist(4), 0u);
    Item v(1);
    ASSERT_EQ(d.addAssoc(uint32_t(8), &v), koSuccess);
    EXPECT_EQ(d.getPtrForKey(8), &v);
    EXPECT_EQ(d.getPtrForKey(5), nullptr);
}

TEST(KoSeqDictionary, DeletingKeysAndData) {
    liveItems = 0;
    liveKeys = 0;
    {
        KoSeqDictionary d;
        for (const char* k : {"a", "b", "c", "d"})
            ASSERT_EQ(d.addAssoc(new Key(k), new Item(k[0])), koSuccess);
        d.deleteKeyAndDataAtIndex(1);
        EXPECT_EQ(d.count, 3u);
        EXPECT_EQ(liveKeys, 3);
        EXPECT_EQ(liveItems, 3);
        EXPECT_EQ(static_cast<Item*>(d.getPtrDataAtIndex(1))->value, 'c');
        d.deleteKeyAndDataAtIndex(3); // beyond the end: nothing
        EXPECT_EQ(d.count, 3u);
        d.deleteKeyAndData();
        EXPECT_EQ(d.count, 0u);
        EXPECT_EQ(liveKeys, 0);
        EXPECT_EQ(liveItems, 0);
    }
    Key k("kept");
    Item v(1);
    {
        KoSeqDictionary d;
        ASSERT_EQ(d.addAssoc(&k, &v), koSuccess);
    }
    EXPECT_EQ(liveKeys, 1) << "destruction leaves keys and data alone";
    EXPECT_EQ(liveItems, 1);
}

TEST(KoSeqDictionary, MemoryFailuresAddNothing) {
    KoSeqDictionary d;
    for (uint32_t k = 0; k < 16; ++k)
        ASSERT_EQ(d.addAssoc(k, k), koSuccess);
    kotest::forEachAllocationFailure([&] { (void)d.addAssoc(uint32_t(16), uint32_t(160)); },
                                     [&](unsigned, bool failed) {
                                         EXPECT_EQ(d.count, failed ? 16u : 17u);
                                         EXPECT_EQ(d.getIntForKey(16), failed ? 0u : 160u);
                                     });
}
