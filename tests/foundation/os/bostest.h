#pragma once
// Fixture of the operating-system service tests: an error list per test and a private folder.
#include <gtest/gtest.h>

#include <string>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
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
    static void SetUpTestSuite() {
        static bool loaded = false;
        if (!loaded) {
            ASSERT_EQ(koLibraryLoad(), koSuccess);
        }
        loaded = true;
        kotest::useBuildResources();
    }
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
    // Text of the last error, "" when there is none.
    static std::string lastText() {
        KoError* e = KoErrorKeeper::getLastError();
        return e ? reinterpret_cast<const char*>(e->getErrorText()) : "";
    }
    // Whether texts get their parameters in this build (the string layer fills template markers).
    static bool substitutionWorks() {
        KoParamString p;
        return p.initialize(reinterpret_cast<const unsigned char*>("%s1")) == koSuccess &&
               p.setParam(reinterpret_cast<const unsigned char*>("x")) == koSuccess;
    }
    // Checks that the last error's text names what it is about.
    static void expectNamed(const std::string& name) {
        if (substitutionWorks()) {
            EXPECT_NE(lastText().find(name), std::string::npos) << lastText();
        }
    }
    uint32_t errorCount() const { return list_->count; }
    void clearErrors() {
        while (list_->count)
            KoErrorKeeper::clearLastError();
    }
    static const unsigned char* u(const std::string& s) {
        return reinterpret_cast<const unsigned char*>(s.c_str());
    }
    KoErrorList* list_ = nullptr;
    kotest::TempDir dir_;
};
