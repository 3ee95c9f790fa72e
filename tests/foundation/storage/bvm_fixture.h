#pragma once
// Files to read through the paged file cache, with the system's own positioned read as the oracle.
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "foundation/storage/kovm.h"
#include "tests/foundation/os/bostest.h"

class BvmTest : public BosTest {
protected:
    void TearDown() override {
        for (int h : handles_)
            bosFileClose(h);
        EXPECT_EQ(mdsGetPerTaskData(perTaskFileCache), nullptr) << "every bvmInit was matched by a bvmTerm";
        // A test that stopped early must not hand its cache to the next one.
        while (BvmCache* c = static_cast<BvmCache*>(mdsGetPerTaskData(perTaskFileCache)))
            bvmTerm(c);
        BosTest::TearDown();
    }
    // A new file of n bytes of the given pattern, opened read-write; its handle.
    int makeFile(const std::string& name, uint32_t n, uint32_t seed) {
        std::string text(n, 0);
        for (uint32_t i = 0; i < n; ++i)
            text[i] = char(seed * 37 + i * 11 + (i >> 9));
        kotest::writeFile(dir_.file(name), text);
        Path path(dir_.file(name));
        int h = 0;
        EXPECT_EQ(bosFileOpen(path, bosOpenReadWrite, &h), koSuccess);
        handles_.push_back(h);
        return h;
    }
    // Forgets a handle closed by the test itself.
    void closed(int h) { std::erase(handles_, h); }
    // What the file holds at offset: up to len bytes, straight from the system.
    static std::vector<unsigned char> pread(int handle, int64_t offset, uint32_t len) {
        std::vector<unsigned char> v(len);
        ssize_t n = ::pread(handle - 1, v.data(), len, off_t(offset));
        v.resize(n > 0 ? size_t(n) : 0);
        return v;
    }
    // The page numbers the cache holds for handle.
    static std::set<uint32_t> cachedPages(const BvmCache* c, int handle) {
        std::set<uint32_t> s;
        for (uint32_t chain = 0; chain < BvmCache::chainCount; ++chain)
            for (uint32_t i = c->chains[chain]; i != BvmCache::bvmNone; i = c->entries[i].next)
                if (c->entries[i].handle == handle) s.insert(c->entries[i].page);
        return s;
    }

private:
    std::vector<int> handles_;
};
