#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <string>
#include <vector>

#include "foundation/charset/ucnvconv.h"
#include "resources/converters/equivalents.h"
#include "tests/foundation/charset/oracle.h"

namespace {

using kotest::Converter;

// Every byte, every pair of bytes, and the longer forms some encodings have (three-byte EUC, the
// double bytes between EBCDIC shifts), in one stream.
std::string everySequence() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    for (int l = 0; l < 256; ++l)
        for (int t = 0; t < 256; ++t)
            s += {static_cast<char>(l), static_cast<char>(t)};
    for (int l = 0xA1; l < 0xFF; ++l)
        for (int t = 0xA1; t < 0xFF; ++t)
            s += {'\x8F', static_cast<char>(l), static_cast<char>(t)};
    s += '\x0E';
    for (int l = 0x40; l < 0xFF; ++l)
        for (int t = 0x40; t < 0xFF; ++t)
            s += {static_cast<char>(l), static_cast<char>(t)};
    s += '\x0F';
    return s;
}

// Every code point of the basic plane but the surrogates, and a sample of the others.
std::u16string everyCodePoint() {
    std::u16string s;
    for (char32_t c = 0; c < 0x110000; c += c < 0x10000 ? 1 : 61) {
        if (c >= 0xD800 && c < 0xE000) continue;
        if (c < 0x10000) {
            s += static_cast<char16_t>(c);
        } else {
            s += static_cast<char16_t>(0xD7C0 + (c >> 10));
            s += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        }
    }
    return s;
}

std::u16string decode(UConverter* c, const std::string& bytes) {
    UErrorCode err = U_ZERO_ERROR;
    std::u16string out(bytes.size() * 2 + 8, u'\0');
    int32_t n = ucnv_toUChars(c, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                              static_cast<int32_t>(bytes.size()), &err);
    EXPECT_TRUE(U_SUCCESS(err)) << u_errorName(err);
    out.resize(U_SUCCESS(err) ? static_cast<size_t>(n) : 0);
    return out;
}

std::string encode(UConverter* c, const std::u16string& text, bool fallback) {
    ucnv_setFallback(c, fallback);
    UErrorCode err = U_ZERO_ERROR;
    std::string out(text.size() * 4 + 8, '\0');
    int32_t n = ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                static_cast<int32_t>(text.size()), &err);
    EXPECT_TRUE(U_SUCCESS(err)) << u_errorName(err);
    out.resize(U_SUCCESS(err) ? static_cast<size_t>(n) : 0);
    return out;
}

// Each converter shipped under a name of the tables converts exactly as the ICU converter it stands for,
// both ways, for every byte sequence and code point (substitutions and resynchronisation after illegal
// bytes included).
TEST(ConverterData, ShippedConvertersMatchTheirEquivalents) {
    ucnvIANAidToICUname(0); // makes the shipped data known to ICU
    const std::string bytes = everySequence();
    const std::u16string text = everyCodePoint();
    for (const KoConverterEquivalent& e : koConverterEquivalents) {
        SCOPED_TRACE(e.name);
        Converter ours(e.name), theirs(e.icu);
        ASSERT_TRUE(ours != nullptr);
        ASSERT_TRUE(theirs != nullptr);
        UErrorCode err = U_ZERO_ERROR;
        EXPECT_STREQ(ucnv_getName(ours, &err), e.name);
        EXPECT_EQ(ucnv_getMaxCharSize(ours), ucnv_getMaxCharSize(theirs));
        EXPECT_EQ(ucnv_getMinCharSize(ours), ucnv_getMinCharSize(theirs));
        EXPECT_TRUE(decode(ours, bytes) == decode(theirs, bytes));
        EXPECT_TRUE(encode(ours, text, false) == encode(theirs, text, false));
        EXPECT_TRUE(encode(ours, text, true) == encode(theirs, text, true));
    }
}

} // namespace
