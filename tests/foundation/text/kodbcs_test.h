#pragma once
// Fixtures of the character-function tests: each runs its body under one ANSI code page and restores
// the process's code page afterwards.
#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace kotest {

template <UINT CodePage> class UnderCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetACP();
        ASSERT_TRUE(koSetAnsiCodePage(CodePage));
    }
    void TearDown() override { koSetAnsiCodePage(saved_); }

private:
    UINT saved_ = 1252;
};

inline const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

} // namespace kotest

// Double-byte text (Shift-JIS) and single-byte text (Western).
using Dbcs = kotest::UnderCodePage<932>;
using Sbcs = kotest::UnderCodePage<1252>;
