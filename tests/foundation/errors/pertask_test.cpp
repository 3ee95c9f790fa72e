#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/sync/kocriticalsection.h"
#include "foundation/ui/dlldialg.h"
#include "platform/thread.h"
#include "tests/support/support.h"

namespace {

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

unsigned tableSize() {
    unsigned n = 0;
    for (auto* r = static_cast<KoThreadInfo*>(mdsGetPerTaskData(perTaskThreadList)); r; r = r->next.load())
        ++n;
    return n;
}

unsigned recordsOf(uint32_t id) {
    unsigned n = 0;
    for (auto* r = static_cast<KoThreadInfo*>(mdsGetPerTaskData(perTaskThreadList)); r; r = r->next.load())
        if (r->free.load() == 0 && r->threadId.load() == id) ++n;
    return n;
}

class ThreadTable : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koLibraryLoad(), koSuccess);
        kotest::useBuildResources();
    }
};

TEST_F(ThreadTable, PerTaskSlotsHoldWhatIsStored) {
    int value = 0;
    void* before = mdsGetPerTaskData(perTaskSlot16);
    mdsSetPerTaskData(perTaskSlot16, &value);
    EXPECT_EQ(mdsGetPerTaskData(perTaskSlot16), &value);
    void** address = mdsGetPerTaskDataAddress(perTaskSlot16);
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(*address, &value);
    *address = nullptr;
    EXPECT_EQ(mdsGetPerTaskData(perTaskSlot16), nullptr);
    mdsSetPerTaskData(perTaskSlot16, before);
    EXPECT_EQ(mdsGetPerTaskData(static_cast<PerTaskData>(17)), nullptr);
    EXPECT_EQ(mdsGetPerTaskDataAddress(static_cast<PerTaskData>(-1)), nullptr);
    EXPECT_NE(mdsGetPerTaskData(perTaskThreadList), nullptr);
}

TEST_F(ThreadTable, PerThreadSlotsArePrivateToEachThread) {
    int mine = 0, theirs = 0;
    ASSERT_EQ(mdsSetPerThreadData(perThreadSlot3, &mine), koSuccess);
    std::thread t([&] {
        EXPECT_EQ(mdsGetPerThreadData(perThreadSlot3), nullptr); // a new record starts empty
        EXPECT_EQ(mdsSetPerThreadData(perThreadSlot3, &theirs), koSuccess);
        EXPECT_EQ(*mdsGetPerThreadDataAddress(perThreadSlot3), &theirs);
    });
    t.join();
    EXPECT_EQ(mdsGetPerThreadData(perThreadSlot3), &mine);
    EXPECT_EQ(mdsGetPerThreadDataAddress(static_cast<PerThreadData>(6)), nullptr);
    EXPECT_EQ(mdsSetPerThreadData(static_cast<PerThreadData>(6), &mine), koFailure);
    mdsSetPerThreadData(perThreadSlot3, nullptr);
}

TEST_F(ThreadTable, SecondThreadGetsItsOwnRecordAndLaterFindsItWithoutTheLock) {
    std::promise<uint32_t> made;
    std::promise<void> go;
    std::promise<KoThreadInfo*> again;
    KoThreadInfo* first = nullptr;
    std::thread t([&] {
        first = getThreadInfo(GetCurrentThreadId());
        made.set_value(GetCurrentThreadId());
        go.get_future().wait();
        again.set_value(getThreadInfo(GetCurrentThreadId()));
    });
    uint32_t id = made.get_future().get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->threadId.load(), id);
    EXPECT_NE(first, getThreadInfo(GetCurrentThreadId()));
    EXPECT_EQ(recordsOf(id), 1u);
    // With the table's lock held here, the known thread's lookup still completes.
    KoCriticalSection& lock = koStaticCriticalSection(koStaticLockThreadTable);
    lock.enter();
    go.set_value();
    auto f = again.get_future();
    bool finished = f.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    lock.leave();
    EXPECT_TRUE(finished);
    EXPECT_EQ(f.get(), first);
    t.join();
}

TEST_F(ThreadTable, RecordsOfEndedThreadsAreReusedSoTheTableStaysSmall) {
    for (int i = 0; i < 3; ++i)
        std::thread([] { koRaiseError(2716); }).join();
    unsigned base = tableSize();
    for (int i = 0; i < 200; ++i) {
        std::thread([] {
            KoErrorList l;
            KoErrorKeeper::setErrorList(&l);
            koRaiseError(2716);
            EXPECT_EQ(l.count, 1u);
            KoErrorKeeper::giveUpErrorList();
        }).join();
    }
    EXPECT_EQ(tableSize(), base);
    // Batches of concurrent threads need no more records than run at once.
    for (int round = 0; round < 20; ++round) {
        std::vector<std::thread> ts;
        for (int i = 0; i < 6; ++i)
            ts.emplace_back([] { mdsSetPerThreadData(perThreadSlot1, u("x")); });
        for (auto& t : ts)
            t.join();
    }
    EXPECT_LE(tableSize(), base + 6);
}

TEST_F(ThreadTable, ReusedRecordStartsWithEmptySlots) {
    std::thread([] {
        mdsSetPerThreadData(perThreadSlot2, u("left behind"));
        KoErrorList* leaked = nullptr;
        KoErrorKeeper::setErrorList(leaked); // null: nothing is installed
    }).join();
    for (int i = 0; i < 10; ++i) {
        std::thread([] {
            EXPECT_EQ(mdsGetPerThreadData(perThreadSlot2), nullptr);
            EXPECT_EQ(KoErrorKeeper::getErrorList(), nullptr);
        }).join();
    }
}

TEST_F(ThreadTable, ThreadWhoseRecordCannotBeAllocatedDropsErrorsSafely) {
    std::thread([] {
        ramFailAt(1, true);
        KoThreadInfo* info =
            getThreadInfo(GetCurrentThreadId() ^ 0x40000000u); // a fresh id needs a new record
        bool hit = ramFailureHit();
        void* slot = mdsGetPerThreadData(perThreadSlot1);
        KoErrorList l;
        KoErrorKeeper::setErrorList(&l);
        KoError& e = koRaiseError(2716);
        ramFailAt(0);
        if (hit) {
            EXPECT_EQ(info, nullptr);
        }
        EXPECT_EQ(slot, nullptr);
        (void)e;
        // Once memory is back the thread gets its record.
        KoErrorKeeper::setErrorList(&l);
        koRaiseError(2716);
        EXPECT_EQ(KoErrorKeeper::giveUpErrorList(), &l);
        EXPECT_GE(l.count, 1u);
    }).join();
}

TEST_F(ThreadTable, ConcurrentThreadsEachSeeOnlyTheirOwnErrors) {
    constexpr int threads = 8, rounds = 200;
    std::atomic<int> wrong{0};
    std::vector<std::thread> ts;
    for (int t = 0; t < threads; ++t) {
        ts.emplace_back([t, &wrong] {
            KoErrorList outer(nullptr);
            KoErrorKeeper::setErrorList(&outer);
            for (int r = 0; r < rounds; ++r) {
                KoErrorList inner(&outer, r % 2);
                KoErrorKeeper::setErrorList(&inner);
                koRaiseError(2733) << uint32_t(t); // the marker takes a text: no substitution
                addDatabaseError(uint16_t(t), r, u("db"), errorTypeWarning, koCPAnsi);
                if (KoErrorKeeper::getOwnerOfList() != &outer) ++wrong;
                if (KoErrorKeeper::getLastNativeError() != (r % 2 ? r : 0)) ++wrong;
                if (KoErrorKeeper::giveUpErrorList() != &inner) ++wrong;
                koRaiseError(1509) << std::to_string(t).c_str();
            }
            if (outer.count != unsigned(rounds)) ++wrong;
            std::string expect = "The file \"" + std::to_string(t) + "\" does not exist.";
            for (KoNode* n = outer.getFirstNode(); n; n = outer.getNextNode())
                if (reinterpret_cast<const char*>(static_cast<KoError*>(n)->getErrorText()) != expect)
                    ++wrong;
            if (KoErrorKeeper::giveUpErrorList() != &outer) ++wrong;
        });
    }
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ThreadTable, PerTaskReferenceCountsOnTheLoadedResourceLibrary) {
    ASSERT_NE(resourceModule, nullptr);
    uint32_t before = resourceRefCount;
    ASSERT_GE(before, 1u);
    EXPECT_EQ(mdsPerTaskInit(), 1);
    EXPECT_EQ(resourceRefCount, before + 1);
    mdsPerTaskTerm();
    EXPECT_EQ(resourceRefCount, before);
    mdsPerTaskTerm(); // gives back only what it took
    EXPECT_EQ(resourceRefCount, before);
    EXPECT_NE(resourceModule, nullptr);

    // Without a loaded library nothing is loaded, and the result is still 1.
    HINSTANCE module = resourceModule;
    resourceModule = nullptr;
    resourceRefCount = 0;
    EXPECT_EQ(mdsPerTaskInit(), 1);
    EXPECT_EQ(resourceModule, nullptr);
    EXPECT_EQ(resourceRefCount, 0u);
    mdsPerTaskTerm();
    resourceModule = module;
    resourceRefCount = before;
}

// Runs last in this program's order: the table is torn down and built again.
TEST_F(ThreadTable, UnloadEmptiesTheTableAndLoadStartsItAgain) {
    koLibraryUnload();
    EXPECT_EQ(mdsGetPerTaskData(perTaskThreadList), nullptr);
    EXPECT_EQ(getThreadInfo(GetCurrentThreadId()), nullptr);
    EXPECT_EQ(mdsGetPerThreadData(perThreadErrorList), nullptr);
    EXPECT_EQ(mdsSetPerThreadData(perThreadSlot1, u("x")), koFailure);
    EXPECT_EQ(&koRaiseError(2716), &KoErrorList().getDummyError());
    std::thread([] {}).join(); // a thread ending now finds no table

    ramFailAt(1);
    EXPECT_EQ(koLibraryLoad(), koFailure); // the loading thread's record is required
    ramFailAt(0);
    ASSERT_EQ(koLibraryLoad(), koSuccess);
    EXPECT_EQ(tableSize(), 1u);
    KoThreadInfo* head = static_cast<KoThreadInfo*>(mdsGetPerTaskData(perTaskThreadList));
    EXPECT_EQ(head->threadId.load(), GetCurrentThreadId());
    EXPECT_EQ(getThreadInfo(GetCurrentThreadId()), head);
    EXPECT_EQ(koLibraryLoad(), koSuccess); // loading again keeps the table
    EXPECT_EQ(tableSize(), 1u);
}

} // namespace
