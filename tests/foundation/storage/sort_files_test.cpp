// Record sort: its run file — private, removed, and failures of the disk or the temporary folder
// reported, never a wrong result.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/errors/koerrnum.h"
#include "tests/foundation/storage/sort_fixture.h"

namespace sorttest {
namespace {

constexpr uint16_t length = 1000;                 // 65 records a buffer
constexpr uint32_t perRun = 2 * (65536 / length); // with two buffers
constexpr uint32_t runBytes = perRun * length;

// Caps the size of files this process writes, for the life of the object; a write past it fails as on
// a full disk.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        previous_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        struct rlimit l = saved_;
        l.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &l), 0);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

private:
    struct rlimit saved_;
    sighandler_t previous_;
};

// Adds one record with at most two buffers, so that a run is written every perRun records.
KoStatus addLimited(KoSort& sort, const Record& r) {
    const bool full = sort.buffers == 2 && sort.slotsUsed == perRun;
    if (full && !(sort.flags & KoSort::spilled)) ramFailAt(1);
    KoStatus status = sort.addRecord(r.data());
    ramFailAt(0);
    return status;
}

class SortFiles : public SortTest {
protected:
    std::vector<KoSortKey> keys = {{0, 10, 3, nullptr, nullptr},
                                   {koSortKeyDescending, 0, 2, nullptr, nullptr}};
    void addKeys(KoSort& sort) {
        for (const KoSortKey& k : keys)
            sort.addKey(k.flags, k.offset, k.length);
    }
};

TEST_F(SortFiles, RunFileIsPrivateAndGoesWithTheSort) {
    std::mt19937 rng(31);
    std::vector<Record> recs = randomRecords(rng, perRun + 1, length);
    for (bool fetchFirst : {false, true}) {
        {
            KoSort sort(length);
            addKeys(sort);
            for (const Record& r : recs)
                ASSERT_EQ(addLimited(sort, r), koSuccess);
            ASSERT_NE(sort.fileHandle, 0);
            const std::string name = reinterpret_cast<const char*>(sort.fileName);
            EXPECT_EQ(name.rfind(tmpDir() + "/", 0), 0u) << name;
            struct stat st;
            ASSERT_EQ(stat(name.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
            if (fetchFirst) expectSameOrder(drain(sort), oracleSorted(recs, keys), keys);
        }
        EXPECT_TRUE(filesIn(tmpDir()).empty()) << "left behind after destruction";
    }
}

TEST_F(SortFiles, MissingTemporaryFolderFailsTheSpillUntilItIsBack) {
    std::mt19937 rng(32);
    std::vector<Record> recs = randomRecords(rng, perRun * 3 + 5, length);
    const std::string folder = tmpDir() + "/later";
    EnvOverride tmp("TMPDIR", folder);
    {
        KoSort sort(length);
        addKeys(sort);
        size_t added = 0;
        for (; added < perRun; ++added)
            ASSERT_EQ(addLimited(sort, recs[added]), koSuccess);
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_EQ(addLimited(sort, recs[added]), koFailure);
            EXPECT_NE(lastError(), 0);
            EXPECT_EQ(sort.recordCount, perRun);
            EXPECT_EQ(sort.fileHandle, 0);
            EXPECT_FALSE(sort.flags & KoSort::spilled);
        }
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        for (; added < recs.size(); ++added)
            ASSERT_EQ(addLimited(sort, recs[added]), koSuccess);
        EXPECT_EQ(sort.runs, 3);
        expectSameOrder(drain(sort), oracleSorted(recs, keys), keys);
    }
    EXPECT_TRUE(filesIn(folder).empty());
    rmdir(folder.c_str());
}

// A full disk at each write of the sort: the first run, a later run and the last run written when the
// sort finishes. Each fails with a file error, and once there is room the sort carries on to the
// complete result.
TEST_F(SortFiles, FullDiskFailsTheWriteAndTheSortCarriesOn) {
    std::mt19937 rng(33);
    std::vector<Record> recs = randomRecords(rng, perRun * 3 + 20, length);
    struct Case {
        rlim_t cap;
        size_t failsAt; // record whose adding fails; recs.size() when finishing fails
    };
    for (const Case c : {Case{runBytes / 3, perRun}, Case{2 * runBytes + 10, 3 * perRun},
                         Case{3 * runBytes + 10, recs.size()}}) {
        SCOPED_TRACE(c.failsAt);
        KoSort sort(length);
        addKeys(sort);
        {
            FileSizeCap cap(c.cap);
            size_t i = 0;
            for (; i < c.failsAt; ++i)
                ASSERT_EQ(addLimited(sort, recs[i]), koSuccess) << i;
            const uint16_t runsBefore = sort.runs;
            unsigned char* r = nullptr;
            if (i < recs.size()) {
                EXPECT_EQ(addLimited(sort, recs[i]), koFailure);
                EXPECT_EQ(sort.recordCount, i);
            } else {
                EXPECT_EQ(sort.getFirstRecord(&r), koFailure);
                EXPECT_EQ(r, nullptr);
            }
            const uint16_t error = lastError();
            EXPECT_TRUE(error == koErrWroteNothing || error == koErrSystem) << error;
            EXPECT_EQ(sort.runs, runsBefore);
            if (runsBefore == 0) {
                EXPECT_EQ(sort.fileHandle, 0);
                EXPECT_TRUE(filesIn(tmpDir()).empty());
            }
        }
        for (size_t i = c.failsAt; i < recs.size(); ++i)
            ASSERT_EQ(addLimited(sort, recs[i]), koSuccess);
        expectSameOrder(drain(sort), oracleSorted(recs, keys), keys);
    }
}

TEST_F(SortFiles, RunFileCutShortGivesAnErrorNotAShortResult) {
    std::mt19937 rng(34);
    std::vector<Record> recs = randomRecords(rng, perRun * 4, length);
    KoSort sort(length);
    addKeys(sort);
    for (const Record& r : recs)
        ASSERT_EQ(addLimited(sort, r), koSuccess);
    unsigned char* r = nullptr;
    ASSERT_EQ(sort.getFirstRecord(&r), koSuccess);
    ASSERT_EQ(truncate(reinterpret_cast<const char*>(sort.fileName), off_t(runBytes) * 3 / 2), 0);
    size_t fetched = 1;
    KoStatus status = koSuccess;
    while (r && (status = sort.getNextRecord(&r)) == koSuccess && r)
        ++fetched;
    EXPECT_EQ(status, koFailure) << "ended after " << fetched << " of " << recs.size();
    EXPECT_LT(fetched, recs.size());
    EXPECT_EQ(lastError(), koErrSystem);
}

} // namespace
} // namespace sorttest
