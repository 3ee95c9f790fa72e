#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "foundation/errors/pertask.h"
#include "foundation/sync/kocriticalsection.h"
#include "foundation/sync/kosemaphore.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

// Each test starts with no registry, so the environment it sets is read afresh by the first
// semaphore it creates.
class Semaphores : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koLibraryLoad(), koSuccess);
        kotest::useBuildResources();
    }
    void SetUp() override {
        koSemaphoreInfoDestroy();
        unsetenv("KO_SEMCONTROL");
        unsetenv("KO_SPIN_COUNT");
        unsetenv("KO_SPIN_SLEEP");
    }
    void TearDown() override {
        koSemaphoreInfoDestroy();
        unsetenv("KO_SEMCONTROL");
        koSetFrontEnd(koFrontEndNone);
    }
    static KoSemaphore* make(KoSemaphore** slot) {
        koSemaphoreEnter(slot);
        koSemaphoreExit(slot);
        return *slot;
    }
    static bool registered(KoSemaphore* s) {
        KoSemaphoreInfo* info = koSemaphoreInfo();
        for (uint32_t i = 0; i < info->semaphores.getCount(); ++i)
            if (info->semaphores.getAt(i) == s) return true;
        return false;
    }
};

TEST_F(Semaphores, WithoutControlEverySemaphoreGetsItsOwnHandleAndDefaults) {
    KoSemaphore* slots[4] = {};
    for (auto& s : slots) {
        KoSemaphore* made = make(&s);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->valid, 1u);
        EXPECT_NE(made->handle, nullptr);
        EXPECT_EQ(made->slot, nullptr);
    }
    EXPECT_NE(slots[0]->handle, slots[1]->handle);
    KoSemaphoreInfo* info = koSemaphoreInfo();
    EXPECT_EQ(info, mdsGetPerTaskData(perTaskSemaphoreInfo));
    EXPECT_EQ(info->initialised, 1u);
    EXPECT_EQ(info->spinCount, 25u);
    EXPECT_EQ(info->spinSleep, 0u);
    EXPECT_EQ(info->flags, 0u);
    EXPECT_EQ(info->semaphores.getCount(), 4u);
}

TEST_F(Semaphores, EnterRecordsTheOwnerAndExitClearsIt) {
    KoSemaphore* slot = nullptr;
    koSemaphoreEnter(&slot);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->owner.load(), GetCurrentThreadId());
    // The semaphore is held: another thread cannot take its handle now.
    DWORD other = WAIT_OBJECT_0;
    std::thread([&] { other = WaitForSingleObject(slot->handle, 0); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    koSemaphoreExit(&slot);
    EXPECT_EQ(slot->owner.load(), 0u);
    std::thread([&] {
        other = WaitForSingleObject(slot->handle, 0);
        if (other == WAIT_OBJECT_0) ReleaseSemaphore(slot->handle, 1, nullptr);
    }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0);
    // Exits on slots without a semaphore do nothing.
    KoSemaphore* marks[3] = {KO_SEM_NONE, KO_SEM_CREATING, KO_SEM_DESTROYED};
    for (auto& m : marks)
        koSemaphoreExit(&m);
    EXPECT_EQ(marks[1], KO_SEM_CREATING);
    EXPECT_EQ(marks[2], KO_SEM_DESTROYED);
}

TEST_F(Semaphores, LimitCountsDownAndBackUp) {
    setenv("KO_SEMCONTROL", "2", 1);
    KoSemaphore *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
    EXPECT_EQ(make(&a)->valid, 1u);
    EXPECT_EQ(koSemaphoreInfo()->remaining, 1u);
    EXPECT_EQ(make(&b)->valid, 1u);
    EXPECT_EQ(koSemaphoreInfo()->remaining, 0u);
    KoSemaphore* third = make(&c);
    EXPECT_EQ(third->valid, 0u);
    EXPECT_EQ(third->handle, nullptr);
    EXPECT_EQ(third->spare, 0u);
    // A semaphore without a handle never blocks.
    koSemaphoreEnter(&c);
    koSemaphoreEnter(&c);
    koSemaphoreExit(&c);
    KoSemaphore* first = a;
    delete first;
    a = nullptr;
    EXPECT_EQ(koSemaphoreInfo()->remaining, 1u);
    EXPECT_FALSE(registered(first));
    EXPECT_EQ(make(&d)->valid, 1u);
    EXPECT_EQ(koSemaphoreInfo()->remaining, 0u);
    delete third; // one without a handle gives nothing back
    EXPECT_EQ(koSemaphoreInfo()->remaining, 0u);
}

TEST_F(Semaphores, SwitchedOffMakesEverySemaphoreANoOp) {
    setenv("KO_SEMCONTROL", "524288", 1);
    KoSemaphore* slot = nullptr;
    koSemaphoreEnter(&slot);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->valid, 0u);
    std::atomic<bool> entered{false};
    std::thread([&] {
        koSemaphoreEnter(&slot); // would block if the semaphore locked
        entered = true;
    }).join();
    EXPECT_TRUE(entered.load());
    koSemaphoreExit(&slot);
    koSemaphoreExit(&slot);
    EXPECT_EQ(koSemaphoreInfo()->flags, 524288u);
}

TEST_F(Semaphores, SettingsComeFromTheEnvironmentOncePerRegistry) {
    setenv("KO_SPIN_COUNT", " 7", 1);
    setenv("KO_SPIN_SLEEP", "12ms", 1);
    setenv("KO_SEMCONTROL", "junk", 1);
    KoSemaphore* slot = nullptr;
    make(&slot);
    KoSemaphoreInfo* info = koSemaphoreInfo();
    EXPECT_EQ(info->spinCount, 7u);
    EXPECT_EQ(info->spinSleep, 12u);
    EXPECT_EQ(info->flags, 0u);
    setenv("KO_SPIN_COUNT", "9", 1);
    KoSemaphore* other = nullptr;
    make(&other);
    EXPECT_EQ(info->spinCount, 7u) << "the environment was read twice";
    unsetenv("KO_SPIN_COUNT");
    unsetenv("KO_SPIN_SLEEP");
}

TEST_F(Semaphores, DiagnosticsShowSettingsOnceThenABoxPerSemaphoreMadeAndFreed) {
    koSetFrontEnd(koFrontEndScript);
    koScriptReset();
    setenv("KO_SEMCONTROL", "65537", 1); // diagnostics and a limit of 1
    setenv("KO_SPIN_COUNT", "0", 1);
    KoSemaphore *a = nullptr, *b = nullptr;
    make(&a);
    make(&b);
    delete a;
    delete b;
    unsetenv("KO_SPIN_COUNT");
    std::vector<KoShownBox> boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].caption, "Semaphore settings");
    EXPECT_EQ(boxes[0].text,
              "Semaphores switched off: No\r\nSemaphore limit: 1\r\nSpin count: 1\r\nSpin sleep: 0\r\n");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].style & 0xF0, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(boxes[1].caption, "Semaphore created");
    EXPECT_EQ(boxes[1].text, "Semaphore created\r\nSystem semaphore: Yes\r\n");
    EXPECT_EQ(boxes[2].text, "Semaphore created\r\nSystem semaphore: No\r\n"); // the limit is used up
    EXPECT_EQ(boxes[3].caption, "Semaphore freed");
    EXPECT_EQ(boxes[3].text, "Semaphore freed:\nSystem semaphore: Yes\n");
    EXPECT_EQ(boxes[4].text, "Semaphore freed:\nSystem semaphore: No\n");

    // A switched-off layer says so.
    koSemaphoreInfoDestroy();
    setenv("KO_SEMCONTROL", "589824", 1);
    KoSemaphore* c = nullptr;
    make(&c);
    boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text,
              "Semaphores switched off: Yes\r\nSemaphore limit: 0\r\nSpin count: 25\r\nSpin sleep: 0\r\n");
    EXPECT_EQ(boxes[1].text, "Semaphore created\r\nSystem semaphore: No\r\n");
}

TEST_F(Semaphores, SlotMarkTwoComesBackAfterDestructionButZeroDoesNot) {
    KoSemaphore* fromZero = nullptr;
    KoSemaphore* fromTwo = KO_SEM_DESTROYED;
    KoSemaphore* s0 = make(&fromZero);
    KoSemaphore* s2 = make(&fromTwo);
    EXPECT_EQ(s0->slot, nullptr);
    EXPECT_EQ(s2->slot, &fromTwo);
    delete s2;
    EXPECT_EQ(fromTwo, KO_SEM_DESTROYED);
    // The next enter makes a new one that again remembers the slot.
    KoSemaphore* again = make(&fromTwo);
    ASSERT_FALSE(again == KO_SEM_DESTROYED);
    EXPECT_EQ(again->slot, &fromTwo);
    delete s0;
    EXPECT_EQ(fromZero, s0); // nothing written back (the caller's pointer dangles, as before)
}

TEST_F(Semaphores, DestroyingTheRegistryDeletesEverySemaphoreLastFirst) {
    KoSemaphore* kept[3] = {KO_SEM_DESTROYED, KO_SEM_DESTROYED, KO_SEM_DESTROYED};
    for (auto& s : kept)
        make(&s);
    EXPECT_EQ(koSemaphoreInfo()->semaphores.getCount(), 3u);
    koSemaphoreInfoDestroy();
    EXPECT_EQ(mdsGetPerTaskData(perTaskSemaphoreInfo), nullptr);
    for (auto& s : kept)
        EXPECT_EQ(s, KO_SEM_DESTROYED);
    koSemaphoreInfoDestroy(); // nothing left: nothing happens
}

TEST_F(Semaphores, EnterUnderEveryAllocationFailureNeverBlocksAndNeverLeaks) {
    kotest::forEachAllocationFailure(
        [&] {
            KoSemaphore* slot = nullptr;
            koSemaphoreEnter(&slot);
            koSemaphoreExit(&slot);
            if (slot) {
                KoSemaphore* s = slot;
                EXPECT_EQ(s->valid, 1u); // a semaphore that exists always locks
                // One that could not be registered is not the registry's to delete.
                if (!registered(s)) delete s;
            }
        },
        [&](unsigned, bool) { koSemaphoreInfoDestroy(); });
}

// Many threads race to the first enter of one fresh slot and keep entering; a counter changed only
// inside stays exact, so no thread ever ran unlocked or on a second semaphore.
void hammer(KoSemaphore** slot) {
    constexpr int threads = 8, rounds = 2000;
    long counter = 0;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> ts;
    for (int t = 0; t < threads; ++t) {
        ts.emplace_back([&] {
            ready.fetch_add(1);
            while (!go.load()) {
            }
            for (int i = 0; i < rounds; ++i) {
                koSemaphoreEnter(slot);
                long v = counter;
                if (i % 64 == 0) Sleep(0);
                counter = v + 1;
                koSemaphoreExit(slot);
            }
        });
    }
    while (ready.load() < threads) {
    }
    go = true;
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(counter, long(threads) * rounds);
}

TEST_F(Semaphores, MutualExclusionFromTheVeryFirstEnter) {
    for (int trial = 0; trial < 5; ++trial) {
        KoSemaphore* slot = nullptr;
        hammer(&slot);
        EXPECT_EQ(koSemaphoreInfo()->semaphores.getCount(), unsigned(trial + 1))
            << "more than one semaphore made";
        KoSemaphore* recreated = KO_SEM_DESTROYED;
        hammer(&recreated);
        EXPECT_EQ(recreated->slot, &recreated);
        delete recreated;
    }
}

TEST(KoPosixSemaphore, IsAPlainObject) {
    auto* p = new KoPosixSemaphore;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->compare(p), 0);
    delete p;
}

} // namespace
