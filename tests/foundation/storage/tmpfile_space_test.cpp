// Reserving and giving back regions of the temporary file.
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/errors/koerrnum.h"
#include "foundation/storage/kotmpfile.h"
#include "tests/foundation/os/bostest.h"

namespace {

using TmpFileSpace = BosTest;

// The free list as (offset, length) pairs.
std::vector<std::pair<uint32_t, uint32_t>> freeRegions(const KoTmpFile& f) {
    std::vector<std::pair<uint32_t, uint32_t>> v;
    for (uint32_t i = 0; i < f.freeList.getCount(); ++i) {
        const TmpSpace* r = static_cast<const TmpSpace*>(f.freeList.getAt(i));
        v.emplace_back(r->offset, r->length);
    }
    return v;
}

using Regions = std::vector<std::pair<uint32_t, uint32_t>>;

} // namespace

// Each row builds a state with reservations and frees, then checks the answer of one more call, the
// end and the free list.
TEST_F(TmpFileSpace, ReservingAndGivingBack) {
    struct Row {
        const char* what;
        void (*setup)(KoTmpFile&);
        bool contiguous; // the last call: getContiguousSpace, else tmpFindSpace
        uint32_t len;
        uint32_t offset;   // its answer
        uint32_t end;      // end afterwards
        Regions freeAfter; // the free list afterwards
    };
    auto none = [](KoTmpFile&) {};
    const Row rows[] = {
        {"a new space starts at 1", none, false, 10, 1, 11, {}},
        {"contiguous space is 4-aligned", none, true, 10, 4, 14, {}},
        {"contiguous space that does not fit the page moves to the next",
         [](KoTmpFile& f) { f.end = 2000; },
         true,
         100,
         2048,
         2148,
         {}},
        {"contiguous space that fits stays", [](KoTmpFile& f) { f.end = 1945; }, true, 100, 1948, 2048, {}},
        {"a region longer than a page starts on a page",
         [](KoTmpFile& f) { f.end = 10; },
         true,
         5000,
         2048,
         7048,
         {}},
        {"at a page boundary a long region stays",
         [](KoTmpFile& f) { f.end = 4096; },
         true,
         5000,
         4096,
         9096,
         {}},
        {"a free region keeps its tail",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(1000, &o);
             f.tmpFindSpace(400, &o);
             f.tmpFindSpace(10, &o);
             f.tmpFreeSpace(1001, 400);
         },
         false, 100, 1001, 1411, Regions{{1101, 300}}},
        {"a tail below 256 bytes is dropped with the region",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(1000, &o);
             f.tmpFindSpace(355, &o);
             f.tmpFindSpace(10, &o);
             f.tmpFreeSpace(1001, 355);
         },
         false,
         100,
         1001,
         1366,
         {}},
        {"first fit, not best fit",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(5000, &o);
             f.tmpFreeSpace(1, 1000);
             f.tmpFreeSpace(2001, 300);
         },
         false, 290, 1, 5001, Regions{{291, 710}, {2001, 300}}},
        {"adjacent regions merge",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(5000, &o);
             f.tmpFreeSpace(1001, 300);
             f.tmpFreeSpace(1601, 300);
             f.tmpFreeSpace(1301, 300);
         },
         false,
         900,
         1001,
         5001,
         {}},
        {"short regions away from the end are forgotten",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(5000, &o);
             f.tmpFreeSpace(1001, 255);
         },
         false,
         100,
         5001,
         5101,
         {}},
        {"giving back the last region moves the end and swallows free regions before it",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(5000, &o);
             f.tmpFreeSpace(3001, 1000);
             f.tmpFreeSpace(4001, 1000);
         },
         false,
         10,
         3001,
         3011,
         {}},
        {"everything from the end on",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(100, &o);
         },
         false,
         0xFFFFFFFFu,
         101,
         0xFFFFFFFFu,
         {}},
        {"giving back everything from an offset",
         [](KoTmpFile& f) {
             uint32_t o;
             f.tmpFindSpace(0xFFFFFFFFu, &o);
             f.tmpFreeSpace(50, 0xFFFFFFFFu);
         },
         false,
         10,
         50,
         60,
         {}},
        {"no contiguous space beyond 128 MiB",
         [](KoTmpFile& f) { f.end = KoTmpFile::spaceSize - 10; },
         true,
         100,
         0,
         KoTmpFile::spaceSize - 10,
         {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        KoTmpFile f;
        r.setup(f);
        uint32_t offset = 12345;
        if (r.contiguous)
            offset = f.getContiguousSpace(r.len);
        else
            EXPECT_EQ(f.tmpFindSpace(r.len, &offset), koSuccess);
        EXPECT_EQ(offset, r.offset);
        EXPECT_EQ(f.end, r.end);
        EXPECT_EQ(freeRegions(f), r.freeAfter);
    }
    EXPECT_EQ(errorCount(), 0u);
}

// A reservation past 128 MiB fails with the range error; the free list is still used.
TEST_F(TmpFileSpace, ReservationsStayBelow128MiB) {
    KoTmpFile f;
    uint32_t o = 0;
    ASSERT_EQ(f.tmpFindSpace(KoTmpFile::spaceSize - 1, &o), koSuccess);
    EXPECT_EQ(f.tmpFindSpace(2, &o), koFailure);
    EXPECT_EQ(lastError(), koErrOutOfRange);
    clearErrors();
    f.tmpFreeSpace(1000, 500);
    ASSERT_EQ(f.tmpFindSpace(200, &o), koSuccess);
    EXPECT_EQ(o, 1000u);
    ASSERT_EQ(f.tmpFindSpace(0xFFFFFFFFu, &o), koSuccess);
    EXPECT_EQ(f.tmpFindSpace(1, &o), koSuccess) << "the 300 bytes left in the free list";
    EXPECT_EQ(o, 1200u);
    EXPECT_EQ(f.tmpFindSpace(400, &o), koFailure);
}

// Random reserves and frees: live regions never overlap each other or a free region, the free list
// stays ordered with gaps between its regions, and everything lies below the end.
TEST_F(TmpFileSpace, RandomReservationsNeverOverlap) {
    std::mt19937 rng(77);
    KoTmpFile f;
    std::map<uint32_t, uint32_t> live; // offset -> length
    for (int op = 0; op < 20000; ++op) {
        const uint32_t r = rng() % 100;
        if (r < 55 || live.empty()) {
            const uint32_t len = 1 + (rng() % 4 == 0 ? rng() % 6000 : rng() % 600);
            uint32_t o = 0;
            if (r < 15) {
                o = f.getContiguousSpace(len);
                ASSERT_NE(o, 0u);
                ASSERT_LE((o & 2047) + std::min(len, 2048u), 2048u) << "the region crosses a page";
            } else {
                ASSERT_EQ(f.tmpFindSpace(len, &o), koSuccess);
            }
            ASSERT_NE(o, 0u);
            live[o] = len;
        } else {
            auto it = live.begin();
            std::advance(it, rng() % live.size());
            f.tmpFreeSpace(it->first, it->second);
            live.erase(it);
        }
        if (op % 97 != 0) continue;
        uint64_t prevEnd = 0;
        for (auto [o, len] : live) {
            ASSERT_GE(o, prevEnd) << "live regions overlap at " << o;
            prevEnd = uint64_t(o) + len;
        }
        ASSERT_LE(prevEnd, f.end);
        Regions fr = freeRegions(f);
        for (size_t i = 0; i < fr.size(); ++i) {
            const auto [o, len] = fr[i];
            ASSERT_GE(len, 1u);
            ASSERT_LT(uint64_t(o) + len, f.end) << "a free region at the end stays in the list";
            if (i + 1 < fr.size()) {
                ASSERT_LT(uint64_t(o) + len, fr[i + 1].first) << "unmerged or unordered";
            }
            auto after = live.lower_bound(o);
            if (after != live.end()) {
                ASSERT_LE(uint64_t(o) + len, after->first) << "free overlaps live";
            }
            if (after != live.begin()) {
                auto before = std::prev(after);
                ASSERT_LE(uint64_t(before->first) + before->second, o) << "live overlaps free";
            }
        }
    }
}

// Without memory a region given back is simply not reused: the caller's own errors stay on its list,
// and the space stays consistent.
TEST_F(TmpFileSpace, GivingBackUnderMemoryFailure) {
    KoTmpFile* f = nullptr;
    uint32_t o = 0, callerErrors = 0;
    uint16_t callerLast = 0;
    bool reserved = false;
    kotest::forEachAllocationFailure(
        [&] {
            f = new KoTmpFile;
            reserved = f && f->tmpFindSpace(10000, &o) == koSuccess;
            if (!reserved) return;
            koRaiseError(koErrSortStackFull); // the caller's own error, raised before
            callerErrors = errorCount();
            callerLast = lastError();
            for (uint32_t i = 0; i < 20; ++i)
                f->tmpFreeSpace(1 + i * 400, 300);
        },
        [&](unsigned n, bool) {
            if (!f) return;
            if (reserved) {
                EXPECT_EQ(errorCount(), callerErrors) << n;
                EXPECT_EQ(lastError(), callerLast) << n;
            }
            Regions fr = freeRegions(*f);
            for (size_t i = 0; i + 1 < fr.size(); ++i)
                EXPECT_LT(fr[i].first, fr[i + 1].first);
            clearErrors();
            delete f;
            f = nullptr;
        });
}
