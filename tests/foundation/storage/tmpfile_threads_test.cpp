// One temporary file shared by several threads.
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "foundation/storage/kotmpfile.h"
#include "tests/foundation/os/bostest.h"

using TmpFileThreads = BosTest;

// Each thread writes and reads its own stretch of the space (pages of all threads share the slots),
// while one thread reserves, gives back and closes the file: every thread reads what it wrote.
TEST_F(TmpFileThreads, SharedBetweenThreads) {
    KoTmpFile f(8192);
    constexpr int writers = 4;
    constexpr uint32_t stretch = 96 * 1024;
    std::atomic<int> wrong{0}, failed{0};
    std::atomic<bool> done{false};
    auto writer = [&](int t) {
        KoErrorList list;
        KoErrorKeeper::setErrorList(&list);
        std::mt19937 rng(t);
        std::vector<unsigned char> mine(stretch, 0), buf(6000);
        const uint32_t base = 1 + uint32_t(t) * 20 * 1024 * 1024;
        for (int op = 0; op < 6000; ++op) {
            const uint32_t len = 1 + rng() % 5000;
            const uint32_t pos = rng() % (stretch - len);
            if (rng() % 2) {
                for (uint32_t i = 0; i < len; ++i)
                    buf[i] = static_cast<unsigned char>(rng());
                if (f.tmpWrite(base + pos, buf.data(), len) != koSuccess) ++failed;
                memcpy(&mine[pos], buf.data(), len);
            } else {
                if (f.tmpRead(base + pos, buf.data(), len) != koSuccess) ++failed;
                if (memcmp(buf.data(), &mine[pos], len) != 0) ++wrong;
            }
        }
        KoErrorKeeper::giveUpErrorList();
    };
    auto keeper = [&] {
        KoErrorList list;
        KoErrorKeeper::setErrorList(&list);
        uint32_t o = 0;
        while (!done) {
            // Reservations live above the writers' stretches.
            if (f.tmpFindSpace(3000, &o) == koSuccess && o > 100 * 1024 * 1024) f.tmpFreeSpace(o, 3000);
            f.getContiguousSpace(16);
            f.tmpLoseFocus();
            std::this_thread::yield();
        }
        KoErrorKeeper::giveUpErrorList();
    };
    uint32_t o = 0;
    ASSERT_EQ(f.tmpFindSpace(110 * 1024 * 1024, &o), koSuccess);
    std::vector<std::thread> threads;
    for (int t = 0; t < writers; ++t)
        threads.emplace_back(writer, t);
    std::thread k(keeper);
    for (std::thread& t : threads)
        t.join();
    done = true;
    k.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(wrong, 0);
}
