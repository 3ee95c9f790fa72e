#pragma once
// Fixture of the operating-system service tests: an error list per test and a private folder.
#include <gtest/gtest.h>

#include <string>

#include "foundation/errors/koerror.h"
#include "foundation/os/bos.h"
#include "tests/support/support.h"

class BosTest : public ::testing::Test {
public:
    // A 256-byte path buffer holding s.
    struct Path {
        unsigned char b[256] = {};
        explicit Path(const std::string& s) { s.copy(reinterpret_cast<char*>(b), 255); }
        std::string str() const { return reinterpret_cast<const char*>(b); }
        operator unsigned char*() { return b; }
    };

protected:
    static void SetUpTestSuite() { kotest::useBuildResources(); }
    void SetUp() override {
        list_ = new KoErrorList(this, 1);
        ASSERT_NE(list_, nullptr);
        KoErrorKeeper::setErrorList(list_);
    }
    void TearDown() override {
        KoErrorKeeper::giveUpErrorList();
        delete list_;
    }
    // Number of the last error raised, 0 when there is none.
    static uint16_t lastError() { return KoErrorKeeper::getLastErrorNumber(); }
    uint32_t errorCount() const { return list_->count; }
    void clearErrors() {
        while (list_->count) KoErrorKeeper::clearLastError();
    }
    static const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.c_str()); }
    KoErrorList* list_ = nullptr;
    kotest::TempDir dir_;
};
