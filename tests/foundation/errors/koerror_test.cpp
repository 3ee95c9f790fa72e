#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/errors/koerror.h"
#include "foundation/errors/errstatic.h"
#include "foundation/errors/pertask.h"
#include "platform/thread.h"
#include "tests/support/support.h"

namespace {

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}
std::string text(const KoError& e) {
    return reinterpret_cast<const char*>(e.getErrorText());
}
std::string text(const KoError* e) {
    return e ? text(*e) : "<null>";
}
std::string bytes(const KoString& s) {
    return std::string(reinterpret_cast<const char*>(s.text), s.length);
}

// Each test runs with the library loaded and a fresh keep-all list installed on its thread.
class ErrorKeeper : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koLibraryLoad(), koSuccess);
        kotest::useBuildResources();
    }
    void SetUp() override { KoErrorKeeper::setErrorList(&list); }
    void TearDown() override {
        // A test may have installed more lists over this one; unwind to it.
        while (KoErrorKeeper::getErrorList() && KoErrorKeeper::getErrorList() != &list)
            KoErrorKeeper::giveUpErrorList();
        EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), &list);
    }
    // Adds a record with a given text and type.
    static KoError& add(const char* t, ErrorType type = errorTypeError, uint16_t number = 1) {
        return addDatabaseError(number, 0, u(t), type, koCPAnsi);
    }
    KoErrorList list{this};
};

TEST_F(ErrorKeeper, RaisedErrorTakesItsTextFromTheResourceLibraryAndItsParametersInOrder) {
    KoError& e = koRaiseError(2734) << "BringUpDefiner" << u("ztbtr20.so");
    EXPECT_EQ(e.number, 2734);
    EXPECT_FALSE(e.isWarning());
    EXPECT_EQ(text(e), "The function \"BringUpDefiner\" was not found in the library \"ztbtr20.so\".");
    EXPECT_EQ(KoErrorKeeper::getLastError(), &e);
    EXPECT_EQ(KoErrorKeeper::getLastErrorNumber(), 2734);

    KoError& n = koRaiseError(2704) << uint32_t(17);
    EXPECT_EQ(text(n), "Syntax error in the attribute list at position 17.");
    KoError& m = koRaiseError(7500) << int32_t(-10054);
    EXPECT_EQ(text(m), "The network transfer failed (error -10054).");
    KoSubString view(u("file.dat and more"), 8);
    EXPECT_EQ(text(koRaiseError(1509) << view), "The file \"file.dat\" does not exist.");
    EXPECT_EQ(list.count, 4u);
}

TEST_F(ErrorKeeper, UnknownNumberGivesAnEmptyText) {
    KoError& e = koRaiseError(4321);
    EXPECT_EQ(e.number, 4321);
    EXPECT_EQ(text(e), "");
    EXPECT_EQ(list.count, 1u);
}

TEST_F(ErrorKeeper, EveryLibraryErrorNumberHasAText) {
    for (uint16_t n :
         {1501, 1502, 1503, 1506, 1507, 1508, 1509, 1512, 1524, 2701, 2702, 2704, 2705,  2706,  2707, 2709,
          2710, 2716, 2730, 2731, 2732, 2733, 2734, 7500, 7501, 7503, 7504, 9999, 30040, 30041, 30045}) {
        std::string t = text(koRaiseError(n));
        EXPECT_FALSE(t.empty()) << n;
        EXPECT_LE(t.size(), 255u) << n;
    }
}

TEST_F(ErrorKeeper, FirstErrorOnlyListDropsLaterRecordsWarningsIncluded) {
    KoErrorList firstOnly(nullptr, 0);
    KoErrorKeeper::setErrorList(&firstOnly);
    EXPECT_FALSE(firstOnly.isKeepAll());
    add("warning first", errorTypeWarning); // a warning does not stop the next error
    KoError& first = koRaiseError(2716);
    EXPECT_EQ(first.number, 2716);
    KoError& second = koRaiseError(2716);
    EXPECT_EQ(&second, &firstOnly.getDummyError());
    KoError& third = add("late warning", errorTypeWarning);
    EXPECT_EQ(&third, &firstOnly.getDummyError());
    // << on the dummy does nothing and does not disturb anything.
    second << "x" << uint32_t(3);
    EXPECT_EQ(text(second), "");
    EXPECT_EQ(firstOnly.count, 2u);
    EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), &firstOnly);

    koRaiseError(2716);
    koRaiseError(2716);
    EXPECT_EQ(list.count, 2u); // the keep-all list under it keeps both
}

TEST_F(ErrorKeeper, MemoryErrorStandsLastWithoutAllocating) {
    add("A");
    ramFailAt(1, true);
    KoErrorKeeper::addMemoryError();
    KoError* last = KoErrorKeeper::getLastError();
    bool allocated = ramFailureHit();
    ramFailAt(0);
    EXPECT_FALSE(allocated);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->number, 30190);
    EXPECT_EQ(text(last), "Out Of Memory");
    EXPECT_EQ(KoErrorKeeper::getLastErrorNumber(), 30190);
    // The shared record never changes.
    *last << "x";
    KoErrorKeeper::appendTextToLastError(u(" more"));
    KoErrorKeeper::setLastErrorType(errorTypeWarning);
    EXPECT_EQ(text(last), "Out Of Memory");
    EXPECT_FALSE(last->isWarning());
    // Mix, concatenation and walk see the stored records only.
    EXPECT_EQ(list.getErrorsMix(), errorsMixErrors);
    KoString out;
    EXPECT_EQ(list.concatErrors(&out, '\n'), koSuccess);
    EXPECT_EQ(bytes(out), "A");

    KoErrorKeeper::clearLastError();
    EXPECT_FALSE(list.isMemoryErrorPending());
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(text(KoErrorKeeper::getLastError()), "A");

    KoErrorKeeper::addMemoryError();
    EXPECT_EQ(list.removeLastError(), &list.getMemoryError());
    KoErrorKeeper::addMemoryError();
    EXPECT_EQ(list.removeFirstError(), &list.getMemoryError());
    EXPECT_FALSE(list.isMemoryErrorPending());
    EXPECT_EQ(list.count, 1u);
}

TEST_F(ErrorKeeper, MemoryErrorReplacesTheErrorOfAFirstErrorOnlyList) {
    KoErrorList firstOnly(nullptr, 0);
    KoErrorKeeper::setErrorList(&firstOnly);
    add("W", errorTypeWarning);
    add("E");
    KoErrorKeeper::addMemoryError();
    EXPECT_EQ(firstOnly.count, 1u);
    EXPECT_EQ(text(firstOnly.errorAt(0)), "W");
    EXPECT_EQ(KoErrorKeeper::getLastErrorNumber(), 30190);
    KoErrorKeeper::giveUpErrorList();
}

TEST_F(ErrorKeeper, ErrorsMixOfEveryCombination) {
    EXPECT_EQ(list.getErrorsMix(), errorsMixNone);
    add("w", errorTypeWarning);
    EXPECT_EQ(list.getErrorsMix(), errorsMixWarnings);
    add("e");
    EXPECT_EQ(list.getErrorsMix(), errorsMixBoth);
    delete list.removeFirstError();
    EXPECT_EQ(list.getErrorsMix(), errorsMixErrors);
}

TEST_F(ErrorKeeper, SetLastErrorTypeAndClearLastError) {
    add("a");
    add("b");
    KoErrorKeeper::setLastErrorType(errorTypeWarning);
    EXPECT_TRUE(list.errorAt(1)->isWarning());
    EXPECT_FALSE(list.errorAt(0)->isWarning());
    KoErrorKeeper::setLastErrorType(static_cast<ErrorType>(7));
    EXPECT_FALSE(list.errorAt(1)->isWarning());
    KoErrorKeeper::clearLastError();
    KoErrorKeeper::clearLastError();
    KoErrorKeeper::clearLastError(); // nothing left: nothing happens
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(KoErrorKeeper::getLastError(), nullptr);
    EXPECT_EQ(KoErrorKeeper::getLastErrorNumber(), 0);
    EXPECT_EQ(KoErrorKeeper::getLastNativeError(), 0);
}

TEST_F(ErrorKeeper, DatabaseErrorKeepsTheCallersTextNativeCodeAndType) {
    KoError& e = addDatabaseError(42, -1049, u("[driver] table %s1 missing"), errorTypeWarning, koCPUtf8);
    e << "T1";
    EXPECT_EQ(e.number, 42);
    EXPECT_EQ(e.nativeError, -1049);
    EXPECT_EQ(e.cpType, koCPUtf8);
    EXPECT_TRUE(e.isWarning());
    EXPECT_EQ(e.category, 0);
    EXPECT_EQ(e.sqlState[0], 0);
    EXPECT_EQ(text(e), "[driver] table T1 missing");
    EXPECT_EQ(KoErrorKeeper::getLastNativeError(), -1049);
}

TEST_F(ErrorKeeper, ConcatErrorsJoinsTextsWithTheSeparatorAndNoTerminator) {
    KoString out;
    EXPECT_EQ(list.concatErrors(&out, '\n'), koSuccess);
    EXPECT_EQ(out.length, 0u);
    add("A");
    add("B");
    add("");
    ASSERT_EQ(out.initialize(u(">")), koSuccess);
    EXPECT_EQ(list.concatErrors(&out, 0x0A0D), koSuccess); // only the low byte is the separator
    EXPECT_EQ(bytes(out), ">A\rB\r");
}

TEST_F(ErrorKeeper, PositionOperations) {
    add("a");
    add("b");
    add("c");
    list.setWarningAfterPos(0);
    EXPECT_FALSE(list.errorAt(0)->isWarning());
    EXPECT_TRUE(list.errorAt(1)->isWarning());
    EXPECT_TRUE(list.errorAt(2)->isWarning());
    list.setWarningAfterPos(0xFFFFFFFFu); // nothing lies after the last position
    list.appendTextStartingAtPos(u("!"), 1);
    EXPECT_EQ(text(list.errorAt(0)), "a");
    EXPECT_EQ(text(list.errorAt(1)), "b!");
    EXPECT_EQ(text(list.errorAt(2)), "c!");
    list.moveLastErrorToPos(0);
    EXPECT_EQ(text(list.errorAt(0)), "c!");
    EXPECT_EQ(text(list.errorAt(1)), "a");
    list.moveLastErrorToPos(3); // not a position: nothing moves
    list.moveLastErrorToPos(2); // the last stays last
    EXPECT_EQ(text(list.errorAt(2)), "b!");
    EXPECT_EQ(list.count, 3u);
}

TEST_F(ErrorKeeper, AppendedTextNumbersItsMarkersFromOneAgain) {
    koRaiseError(2733) << "libldap.so";
    KoError& e = KoErrorKeeper::appendTextToLastError(u(" (%s1)"));
    e << "x";
    EXPECT_EQ(text(e), "The library \"libldap.so\" could not be loaded. (x)");

    koRaiseError(2704) << uint32_t(3);
    koAppendErrorText(2707) << "DSN"
                            << "FILEDSN";
    EXPECT_EQ(text(KoErrorKeeper::getLastError()), "Syntax error in the attribute list at position 3. The "
                                                   "keywords \"DSN\" and \"FILEDSN\" may not both be given.");
}

TEST_F(ErrorKeeper, AppendingWithoutARecordGivesTheDummy) {
    KoError& e = koAppendErrorText(2706);
    EXPECT_EQ(&e, &list.getDummyError());
    e << "tok";
    EXPECT_EQ(list.count, 0u);
}

TEST_F(ErrorKeeper, NodeWalkAndCursor) {
    EXPECT_EQ(list.getFirstNode(), nullptr);
    EXPECT_EQ(list.getNextNode(), nullptr);
    add("a");
    add("b");
    add("c");
    std::string walk;
    for (KoNode* n = list.getFirstNode(); n; n = list.getNextNode())
        walk += text(static_cast<KoError*>(n));
    EXPECT_EQ(walk, "abc");
    EXPECT_EQ(list.getNextNode(), nullptr);
    EXPECT_EQ(text(static_cast<KoError*>(list.getNodeAtPos(1))), "b");
    EXPECT_EQ(list.cursor, 2);
    EXPECT_EQ(text(static_cast<KoError*>(list.getNextNode())), "c");
    EXPECT_EQ(list.getNodeAtPos(3), nullptr);
    EXPECT_EQ(list.cursor, 4);
    KoError* first = list.removeFirstError();
    EXPECT_EQ(list.cursor, 0);
    EXPECT_EQ(text(first), "a");
    delete first;
    KoError* last = list.removeLastError();
    EXPECT_EQ(text(last), "c");
    delete last;
    EXPECT_EQ(list.count, 1u);
}

TEST_F(ErrorKeeper, ListsNestAndGiveUpRestoresThePrevious) {
    int owner2 = 0;
    KoErrorList l2(&owner2);
    EXPECT_EQ(KoErrorKeeper::getOwnerOfList(), this);
    KoErrorKeeper::setErrorList(&l2);
    EXPECT_EQ(l2.previousList, &list);
    EXPECT_EQ(l2.slotAddress, mdsGetPerThreadDataAddress(perThreadErrorList));
    EXPECT_EQ(KoErrorKeeper::getOwnerOfList(), &owner2);
    koRaiseError(2716);
    EXPECT_EQ(l2.count, 1u);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), &l2);
    EXPECT_EQ(KoErrorKeeper::getErrorList(), &list);
    EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), &list);
    // No list: giving up returns null and changes nothing; errors are dropped harmlessly.
    EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), nullptr);
    EXPECT_EQ(KoErrorKeeper::getOwnerOfList(), nullptr);
    KoError& lost = koRaiseError(2716) << "x";
    EXPECT_EQ(lost.number, 0);
    EXPECT_EQ(KoErrorKeeper::getLastError(), nullptr);
    KoErrorKeeper::addMemoryError();
    KoErrorKeeper::clearLastError();
    KoErrorKeeper::setErrorList(&list);

    // The forms that name a thread record work on that record's slot.
    KoThreadInfo* self = getThreadInfo(GetCurrentThreadId());
    ASSERT_NE(self, nullptr);
    KoErrorKeeper::setErrorList(&l2, self);
    EXPECT_EQ(KoErrorKeeper::getErrorList(), &l2);
    EXPECT_EQ(KoErrorKeeper::giveUpErrorList(self), &l2);
    EXPECT_EQ(KoErrorKeeper::getErrorList(), &list);
}

TEST_F(ErrorKeeper, DeletingAListDeletesItsRecords) {
    auto* l = new KoErrorList;
    ASSERT_NE(l, nullptr);
    KoErrorKeeper::setErrorList(l);
    koRaiseError(2716);
    add("x");
    KoErrorKeeper::addMemoryError();
    EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), l);
    delete l; // AddressSanitizer reports a leak if the records stay
}

// ---- lack of memory ----

TEST_F(ErrorKeeper, RaiseUnderEveryAllocationFailureGivesARecordOrTheDummy) {
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            koRaiseError(2734) << "entry"
                               << "lib";
        },
        [&](unsigned n, bool failed) {
            ASSERT_LE(list.count, 1u) << n;
            if (!failed) {
                EXPECT_EQ(text(list.errorAt(0)),
                          "The function \"entry\" was not found in the library \"lib\".");
            }
            // The list stays usable.
            KoError& again = koRaiseError(2733) << "again";
            EXPECT_EQ(text(again), "The library \"again\" could not be loaded.") << n;
            while (list.count)
                KoErrorKeeper::clearLastError();
        });
    EXPECT_GT(runs, 2u);
}

TEST_F(ErrorKeeper, SubstitutionFailureHandsBackTheDummySoTheChainGoesOn) {
    KoError& e = koRaiseError(2734);
    ramFailAt(1, true);
    KoError& r = e << "a much longer entry name than the marker"
                   << "lib";
    ramFailAt(0);
    EXPECT_EQ(&r, &list.getDummyError());
    EXPECT_EQ(list.count, 1u);
    // A record whose substitution failed passes every later << on to the dummy.
    EXPECT_EQ(&(e << "x"), &list.getDummyError());
}

TEST_F(ErrorKeeper, OtherAllocatingOperationsUnderEveryAllocationFailure) {
    // Database error: record or dummy, nothing half-built.
    kotest::forEachAllocationFailure(
        [&] { addDatabaseError(5, 7, u("native message"), errorTypeError, koCPAnsi); },
        [&](unsigned, bool failed) {
            EXPECT_EQ(list.count, failed ? 0u : 1u);
            while (list.count)
                KoErrorKeeper::clearLastError();
        });
    // Appending to the last record: the text is either whole or unchanged.
    add("base");
    kotest::forEachAllocationFailure(
        [&] { KoErrorKeeper::appendTextToLastError(u(" appended %s1")) << "p"; },
        [&](unsigned, bool) {
            std::string t = text(list.errorAt(0));
            EXPECT_TRUE(t == "base" || t == "base appended %s1" || t == "base appended p") << t;
            KoErrorKeeper::clearLastError();
            add("base");
        });
    // Concatenation: whole records only, 1 on failure, out still usable.
    add("second");
    kotest::forEachAllocationFailure(
        [&] {
            KoString out;
            KoStatus st = list.concatErrors(&out, '|');
            std::string got = out.text ? bytes(out) : "";
            if (st == koSuccess)
                EXPECT_EQ(got, "base|second");
            else
                EXPECT_TRUE(got.empty() || got == "base") << got;
        },
        [](unsigned, bool) {});
}

TEST_F(ErrorKeeper, ListGrowthFailureDropsTheNewRecordAndKeepsTheOthers) {
    for (int i = 0; i < 16; ++i)
        add("fill");
    unsigned before = list.count;
    KoError* made = list.allocError(1, u("x"), koCPAnsi, errorTypeError, 0, 0);
    ASSERT_NE(made, nullptr);
    ramFailAt(1); // the array's growth for the 17th record
    KoError& r = KoErrorKeeper::addError(made);
    ramFailAt(0);
    EXPECT_EQ(&r, &list.getDummyError());
    EXPECT_EQ(list.count, before);
    add("after");
    EXPECT_EQ(list.count, before + 1);
}

} // namespace

// A static record given to addError is stored at the end like any other and handed back; the
// list's own deletion and clearLastError skip it (AddressSanitizer would see a wrong delete).
TEST(ErrorListStorage, StaticRecordsAreStoredAndNeverDeleted) {
    ASSERT_EQ(koLibraryLoad(), koSuccess);
    for (int round = 0; round < 2; ++round) {
        auto* list = new KoErrorList(nullptr);
        KoErrorKeeper::setErrorList(list);
        addDatabaseError(1, 0, u("first"), errorTypeError, koCPAnsi);
        KoError& stored = KoErrorKeeper::addError(&koStaticErrorRecord(errSpecialDummy));
        EXPECT_EQ(&stored, &koStaticErrorRecord(errSpecialDummy));
        EXPECT_EQ(list->count, 2u);
        EXPECT_EQ(KoErrorKeeper::getLastError(), &stored);
        if (round == 0) KoErrorKeeper::clearLastError();
        EXPECT_EQ(list->count, round == 0 ? 1u : 2u);
        EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), list);
        delete list;
    }
    EXPECT_EQ(koStaticErrorRecord(errSpecialDummy).number, 0) << "the static record is intact";
}
