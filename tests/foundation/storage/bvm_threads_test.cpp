// The task's paged file cache read and written by several threads at once.
#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "tests/foundation/storage/bvm_fixture.h"

// Every thread reads two shared files and writes and reads a file of its own; all reads equal the
// files, with pages of all files competing for a small cache.
TEST_F(BvmTest, ThreadsShareTheCache) {
    constexpr int threads = 4;
    const uint32_t page = BvmCache::pageSize;
    const int shared[] = {makeFile("s0", 30 * page + 5, 1), makeFile("s1", 7 * page, 2)};
    int own[threads];
    for (int t = 0; t < threads; ++t)
        own[t] = makeFile("own" + std::to_string(t), 10 * page + 100, 10 + t);
    BvmCache* c = bvmInit(2);
    ASSERT_NE(c, nullptr);
    std::atomic<int> wrong{0}, failed{0};
    auto run = [&](int t) {
        KoErrorList list;
        KoErrorKeeper::setErrorList(&list);
        BvmCache* mine = bvmInit(2);
        std::mt19937 rng(t);
        std::vector<unsigned char> buf(3 * page);
        for (int op = 0; op < 3000; ++op) {
            const uint32_t pick = rng() % 10;
            const int h = pick < 6 ? shared[pick % 2] : own[t];
            const uint32_t offset = rng() % (32 * page);
            const uint32_t len = 1 + rng() % (3 * page);
            if (h == own[t] && pick >= 8) {
                for (uint32_t i = 0; i < len; ++i)
                    buf[i] = static_cast<unsigned char>(rng());
                if (bvmFileWrite(mine, h, int32_t(offset % (12 * page)), buf.data(), len) != koSuccess)
                    ++failed;
                continue;
            }
            uint32_t got = 0;
            if (bvmFileRead(mine, h, int32_t(offset), buf.data(), len, &got, VmHintType(rng() % 2)) !=
                koSuccess)
                ++failed;
            std::vector<unsigned char> want = pread(h, offset, len);
            if (got != want.size() || memcmp(buf.data(), want.data(), got) != 0) ++wrong;
        }
        bvmTerm(mine);
        KoErrorKeeper::giveUpErrorList();
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(run, t);
    for (std::thread& w : workers)
        w.join();
    bvmTerm(c);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(wrong, 0);
}
