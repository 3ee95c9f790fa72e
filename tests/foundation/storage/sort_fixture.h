#pragma once
// Record sort tests: an error list and a private temporary folder per test, record generators, and
// an oracle that orders records by the keys independently of the sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/containers/koobject.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/storage/kosort.h"
#include "foundation/text/strcomp.h"
#include "tests/support/support.h"

namespace sorttest {

using Record = std::vector<unsigned char>;

// Sets an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const std::string& value) : name_(name) {
        const char* old = getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

// An ordered object for object-pointer keys.
class Value : public KoObject {
public:
    int v;
    explicit Value(int value) : v(value) {}
    int16_t compare(const KoObject* other) const override {
        int o = static_cast<const Value*>(other)->v;
        return v < o ? -1 : v > o ? 1 : 0;
    }
};

// A compare function on little-endian 16-bit values that answers with the extremes of its range.
inline int16_t extremeCompare(void* context, const void* a, const void* b) {
    ++*static_cast<int*>(context);
    int16_t x, y;
    memcpy(&x, a, 2);
    memcpy(&y, b, 2);
    return x < y ? int16_t(-32768) : x > y ? int16_t(32767) : int16_t(0);
}

// Order of two records by keys, written from the keys' meaning, not from the sort's code.
inline int oracleKey(const KoSortKey& k, const unsigned char* a, const unsigned char* b) {
    int r;
    if (k.flags & koSortKeyObject) {
        const Value* x;
        const Value* y;
        memcpy(&x, a, sizeof x);
        memcpy(&y, b, sizeof y);
        r = (x->v > y->v) - (x->v < y->v);
    } else if (k.flags & koSortKeyIntl) {
        r = strCompareIntl(a + k.offset, k.length, b + k.offset, k.length);
    } else if ((k.flags & koSortKeyFunction) && k.compare) {
        int16_t x, y;
        memcpy(&x, a + k.offset, 2);
        memcpy(&y, b + k.offset, 2);
        r = (x > y) - (x < y);
    } else {
        r = memcmp(a + k.offset, b + k.offset, k.length);
    }
    r = (r > 0) - (r < 0);
    return (k.flags & koSortKeyDescending) ? -r : r;
}

inline int oracleOrder(const std::vector<KoSortKey>& keys, const unsigned char* a, const unsigned char* b,
                       size_t from = 0) {
    for (size_t i = from; i < keys.size(); ++i)
        if (int r = oracleKey(keys[i], a, b)) return r;
    return 0;
}

// The records that stable_sort puts in order by keys.
inline std::vector<Record> oracleSorted(std::vector<Record> records, const std::vector<KoSortKey>& keys) {
    std::stable_sort(records.begin(), records.end(), [&](const Record& a, const Record& b) {
        return oracleOrder(keys, a.data(), b.data()) < 0;
    });
    return records;
}

// Checks that got is an ordering of the same records as want (want in oracle order): position by position
// equal on every key, and the same records overall.
inline void expectSameOrder(const std::vector<Record>& got, const std::vector<Record>& want,
                            const std::vector<KoSortKey>& keys) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(oracleOrder(keys, got[i].data(), want[i].data()), 0) << "position " << i;
    std::vector<Record> a = got, b = want;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_TRUE(a == b) << "the records differ";
}

// Every record of a pass from its first.
inline std::vector<Record> drain(KoSort& sort) {
    std::vector<Record> out;
    unsigned char* r = nullptr;
    EXPECT_EQ(sort.getFirstRecord(&r), koSuccess);
    while (r) {
        out.emplace_back(r, r + sort.recordLength);
        if (sort.getNextRecord(&r) != koSuccess) {
            ADD_FAILURE() << "fetch failed after " << out.size();
            break;
        }
    }
    return out;
}

// Records from first, then next, until null; a failing fetch fails the test.
inline std::vector<Record> collect(KoSort& sort, KoStatus (KoSort::*first)(unsigned char**),
                                   KoStatus (KoSort::*next)(unsigned char**)) {
    std::vector<Record> out;
    unsigned char* r = nullptr;
    for (KoStatus st = (sort.*first)(&r);; st = (sort.*next)(&r)) {
        if (st != koSuccess) {
            ADD_FAILURE() << "fetch failed after " << out.size();
            break;
        }
        if (!r) break;
        out.emplace_back(r, r + sort.recordLength);
    }
    return out;
}

inline void addAll(KoSort& sort, const std::vector<Record>& records) {
    for (const Record& r : records)
        ASSERT_EQ(sort.addRecord(r.data()), koSuccess);
}

// Adds records, letting the sort allocate only `buffers` buffers: more records than those hold are
// spilled in runs of buffers x perBuffer records, so many runs come from little data.
inline void addWithBuffers(KoSort& sort, const std::vector<Record>& records, uint16_t buffers) {
    for (const Record& r : records) {
        const bool full = sort.buffers == buffers && sort.slotsUsed == uint32_t(buffers) * sort.perBuffer;
        if (full && !(sort.flags & KoSort::spilled)) ramFailAt(1);
        KoStatus status = sort.addRecord(r.data());
        ramFailAt(0);
        ASSERT_EQ(status, koSuccess);
    }
}

// Records of `length` bytes with bytes from a small alphabet, so that keys tie often.
inline std::vector<Record> randomRecords(std::mt19937& rng, size_t count, uint16_t length, int alphabet = 4,
                                         unsigned char base = 'a') {
    std::vector<Record> out(count, Record(length));
    for (Record& r : out)
        for (unsigned char& c : r)
            c = static_cast<unsigned char>(base + rng() % alphabet);
    return out;
}

// Writes a 16-bit value into every record at offset.
inline void put16(std::vector<Record>& records, std::mt19937& rng, uint32_t offset, int spread) {
    for (Record& r : records) {
        int16_t v = static_cast<int16_t>(int(rng() % spread) - spread / 2);
        if (rng() % 8 == 0) v = rng() % 2 ? int16_t(-32768) : int16_t(32767);
        memcpy(r.data() + offset, &v, 2);
    }
}

// Names of the files in a folder.
std::vector<std::string> filesIn(const std::string& dir);

class SortTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static bool loaded = false;
        if (!loaded) {
            ASSERT_EQ(koLibraryLoad(), koSuccess);
        }
        loaded = true;
        kotest::useBuildResources();
    }
    void SetUp() override {
        tmp_ = new kotest::TempDir();
        env_ = new EnvOverride("TMPDIR", tmp_->path());
        list_ = new KoErrorList(this, 1);
        KoErrorKeeper::setErrorList(list_);
    }
    void TearDown() override {
        KoErrorKeeper::giveUpErrorList();
        delete list_;
        // Whatever happened, no run file outlives its sort.
        EXPECT_TRUE(filesIn(tmp_->path()).empty());
        delete env_;
        delete tmp_;
    }
    static uint16_t lastError() { return KoErrorKeeper::getLastErrorNumber(); }
    const std::string& tmpDir() const { return tmp_->path(); }

    kotest::TempDir* tmp_ = nullptr;
    EnvOverride* env_ = nullptr;
    KoErrorList* list_ = nullptr;
};

} // namespace sorttest
