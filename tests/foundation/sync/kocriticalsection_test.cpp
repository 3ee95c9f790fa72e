#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "foundation/sync/kocriticalsection.h"

namespace {

// TRUE when another thread could take the section's lock right now.
bool freeForOthers(KoCriticalSection& cs) {
    bool got = false;
    std::thread([&] {
        got = TryEnterCriticalSection(&cs.section);
        if (got) LeaveCriticalSection(&cs.section);
    }).join();
    return got;
}

TEST(KoCriticalSection, ExcludesOtherThreadsAndIsReentrant) {
    KoCriticalSection cs;
    EXPECT_EQ(cs.flags.load(), uint32_t(KoCriticalSection::initialised));
    cs.enter();
    cs.enter();
    EXPECT_FALSE(freeForOthers(cs));
    cs.leave();
    EXPECT_FALSE(freeForOthers(cs));
    cs.leave();
    EXPECT_TRUE(freeForOthers(cs));

    long counter = 0;
    std::vector<std::thread> ts;
    for (int t = 0; t < 4; ++t)
        ts.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                cs.enter();
                long v = counter;
                counter = v + 1;
                cs.leave();
            }
        });
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(counter, 40000);
}

TEST(KoCriticalSection, DisabledOneDoesNothing) {
    KoCriticalSection cs(1);
    EXPECT_EQ(cs.flags.load(), uint32_t(KoCriticalSection::disabled));
    EXPECT_TRUE(cs.isDisabled());
    cs.enter();
    std::atomic<bool> entered{false};
    std::thread([&] {
        cs.enter();
        entered = true;
        cs.leave();
    }).join();
    EXPECT_TRUE(entered.load());
    cs.leave();
}

TEST(KoCriticalSection, DisablingWhileHeldStillLetsTheHolderLeave) {
    KoCriticalSection cs;
    cs.enter();
    cs.disable();
    EXPECT_FALSE(freeForOthers(cs));
    std::thread([&] { cs.leave(); }).join(); // not the holder: nothing given back
    EXPECT_FALSE(freeForOthers(cs));
    cs.leave();
    EXPECT_TRUE(freeForOthers(cs)) << "a section disabled while held stayed locked";
    cs.enter(); // disabled now: takes nothing
    EXPECT_TRUE(freeForOthers(cs));
    cs.leave();
}

TEST(KoCriticalSection, StaticSectionsExistAndTheInstallerOneIsNeverSwitchedOff) {
    EXPECT_EQ(&koInstallerProfileLock(), &koStaticCriticalSection(koStaticLockInstaller));
    EXPECT_NE(&koStaticCriticalSection(koStaticLockThreadTable),
              &koStaticCriticalSection(koStaticLockFileCache));
    // Switching off is for the whole process and cannot be undone: watch it in a child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            koDisableStaticCriticalSections();
            bool ok = koStaticCriticalSection(koStaticLockThreadTable).isDisabled() &&
                      koStaticCriticalSection(koStaticLockFileCache).isDisabled() &&
                      koStaticCriticalSection(koStaticLockSpare).isDisabled() &&
                      !koInstallerProfileLock().isDisabled();
            KoCriticalSection& installer = koInstallerProfileLock();
            installer.enter();
            ok = ok && !freeForOthers(installer);
            installer.leave();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(koStaticCriticalSection(koStaticLockThreadTable).isDisabled());
}

} // namespace
