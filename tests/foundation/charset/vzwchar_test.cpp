#include <gtest/gtest.h>

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/charset/vzwchar.h"
#include "foundation/errors/ramalloc.h"
#include "platform/codepage.h"
#include "tests/foundation/charset/oracle.h"
#include "tests/support/support.h"

namespace {

using kotest::Converter;
using kotest::Guarded;

std::u16string swapped(std::u16string s) {
    for (char16_t& c : s)
        c = static_cast<char16_t>((c << 8) | (c >> 8));
    return s;
}

uint16_t* units(std::u16string& s) {
    return reinterpret_cast<uint16_t*>(s.data());
}

// Each UTF-16 text of the corpus, its UTF-8 and every output size: the measuring forms keep whole
// characters (never half a surrogate pair) and a terminator inside the buffer, report the complete
// length, and succeed exactly when the terminated output fits; the checked forms fail on overflow.
TEST(Utf16Conversion, Utf8BothWaysForEveryOutputSize) {
    for (const std::string& text : kotest::corpus()) {
        const std::u16string wide = kotest::utf16(text);
        const int32_t bytes = static_cast<int32_t>(text.size()), wunits = static_cast<int32_t>(wide.size());
        for (int swap = 0; swap <= 1; ++swap) {
            for (int32_t size = 0; size <= bytes + 2; ++size) {
                SCOPED_TRACE(text + " swap " + std::to_string(swap) + " size " + std::to_string(size));
                std::u16string src = swap ? swapped(wide) : wide;
                Guarded dst(static_cast<size_t>(size));
                int32_t out = -1;
                KoConvertReturn r = vzUTF16ToUTF8ReqLen(dst.data(), size, units(src), wunits, &out, swap);
                ASSERT_TRUE(dst.intact());
                ASSERT_EQ(out, bytes);
                ASSERT_EQ(r, size > bytes ? koConvertOk : koConvertTruncated);
                if (size > 0) {
                    std::string got(reinterpret_cast<char*>(dst.data()));
                    ASSERT_EQ(text.compare(0, got.size(), got), 0);
                    ASSERT_TRUE(got.size() == text.size() || !U8_IS_TRAIL(text[got.size()]));
                    ASSERT_GE(got.size() + 4, static_cast<size_t>(size)); // the longest prefix that fits
                }
                if (size > 0) {
                    src = swap ? swapped(wide) : wide;
                    out = -1;
                    r = vzUTF16ToUTF8(dst.data(), size, units(src), wunits, &out, swap);
                    ASSERT_EQ(out, bytes);
                    ASSERT_EQ(r, size > bytes ? koConvertOk : koConvertTruncated);
                    if (r == koConvertOk) {
                        ASSERT_EQ(std::string(reinterpret_cast<char*>(dst.data())), text);
                    }
                    ASSERT_TRUE(dst.intact());
                }
            }
            for (int32_t size = 0; size <= wunits + 2; ++size) {
                SCOPED_TRACE(text + " swap " + std::to_string(swap) + " units " + std::to_string(size));
                std::vector<uint16_t> dst(static_cast<size_t>(size) + 2, 0xEEEE);
                int32_t out = -1;
                KoConvertReturn r = vzUTF8ToUTF16ReqLen(size ? dst.data() + 1 : nullptr, size,
                                                        reinterpret_cast<const unsigned char*>(text.data()),
                                                        bytes, &out, swap);
                ASSERT_EQ(dst.front(), 0xEEEE);
                ASSERT_EQ(dst.back(), 0xEEEE);
                ASSERT_EQ(out, wunits);
                ASSERT_EQ(r, size > wunits ? koConvertOk : koConvertTruncated);
                if (size > 0) {
                    std::u16string got(reinterpret_cast<char16_t*>(dst.data() + 1));
                    if (swap) got = swapped(got);
                    ASSERT_EQ(wide.compare(0, got.size(), got), 0);
                    ASSERT_TRUE(got.empty() || !U16_IS_LEAD(got.back()));
                    ASSERT_GE(got.size() + 2, static_cast<size_t>(size));
                }
                if (size > 0) {
                    r = vzUTF8ToUTF16(dst.data() + 1, size,
                                      reinterpret_cast<const unsigned char*>(text.data()), bytes, &out, swap);
                    ASSERT_EQ(r, size > wunits ? koConvertOk : koConvertTruncated);
                    std::u16string got(reinterpret_cast<char16_t*>(dst.data() + 1),
                                       static_cast<size_t>(std::min(out, size)));
                    ASSERT_EQ(swap ? swapped(got) : got, wide.substr(0, got.size()));
                    ASSERT_EQ(dst.back(), 0xEEEE);
                }
            }
        }
    }
}

TEST(Utf16Conversion, NullTerminatedAndInvalidSources) {
    std::u16string text = u"ab\u00E9";
    unsigned char dst[16];
    int32_t out = 0;
    // The ODBC marker reads to the zero unit and ignores the swap flag; the measuring form refuses it.
    EXPECT_EQ(vzUTF16ToUTF8(dst, 16, units(text), vzNullTerminated, &out, 1), koConvertOk);
    EXPECT_EQ(out, 4);
    EXPECT_STREQ(reinterpret_cast<char*>(dst), "ab\xC3\xA9");
    EXPECT_EQ(text, u"ab\u00E9");
    EXPECT_EQ(vzUTF16ToUTF8ReqLen(dst, 16, units(text), vzNullTerminated, &out, 0), koConvertFailed);
    EXPECT_EQ(vzUTF16ToUTF8ReqLen(dst, 16, units(text), -1, &out, 0), koConvertOk);
    EXPECT_EQ(out, 4);
    // A lone surrogate, invalid UTF-8.
    std::u16string lone = u"a\xD800z";
    EXPECT_EQ(vzUTF16ToUTF8(dst, 16, units(lone), 3, &out, 0), koConvertFailed);
    uint16_t wide[8];
    EXPECT_EQ(vzUTF8ToUTF16(wide, 8, reinterpret_cast<const unsigned char*>("a\xC3"), 2, &out, 0),
              koConvertFailed);
    EXPECT_EQ(vzUTF8ToUTF16(nullptr, 8, reinterpret_cast<const unsigned char*>("a"), 1, &out, 0),
              koConvertFailed);
    // Measuring into nothing only measures.
    EXPECT_EQ(vzUTF8ToUTF16ReqLen(nullptr, 0, reinterpret_cast<const unsigned char*>("abc"), 3, &out, 0),
              koConvertTruncated);
    EXPECT_EQ(out, 3);
}

// UTF-16 and code pages, both forms, against ICU's whole conversion.
TEST(Utf16Conversion, CodePagesForEveryOutputSize) {
    for (const char* name : {"windows-1252", "windows-932-2000", "GB18030", "ibm-930"}) {
        Converter cp(name);
        ASSERT_TRUE(cp != nullptr) << name;
        for (const std::string& text : kotest::corpus()) {
            const std::u16string wide = kotest::utf16(text);
            const std::string whole = kotest::icuConvert(name, "UTF-16LE", kotest::bytesOf(wide));
            const int32_t n = static_cast<int32_t>(whole.size());
            for (int32_t size = 0; size <= n + 2; ++size) {
                SCOPED_TRACE(std::string(name) + " " + text + " size " + std::to_string(size));
                std::u16string src = swapped(wide);
                Guarded dst(static_cast<size_t>(size));
                int32_t out = -1;
                KoConvertReturn r = vzUCS2ToAnsi(reinterpret_cast<char*>(dst.data()), size, units(src),
                                                 static_cast<int32_t>(src.size()), &out, cp, 1);
                ASSERT_TRUE(dst.intact());
                EXPECT_EQ(src, wide); // swapped in place, and left so
                ASSERT_EQ(out, n);
                ASSERT_EQ(r, size > n ? koConvertOk : koConvertTruncated);
                if (size > 0) {
                    std::string got(reinterpret_cast<char*>(dst.data()));
                    ASSERT_EQ(whole.compare(0, got.size(), got), 0);
                }
                if (size == 0) continue;
                int32_t used = -1;
                src = wide;
                r = vzUCS2ToAnsi(reinterpret_cast<char*>(dst.data()), size, units(src),
                                 static_cast<int32_t>(src.size()), &out, &used, cp, 0);
                ASSERT_TRUE(dst.intact());
                ASSERT_EQ(r, size >= n ? koConvertOk : koConvertTruncated);
                if (r == koConvertOk) {
                    ASSERT_EQ(dst.text(static_cast<size_t>(out)), whole);
                    ASSERT_EQ(used, static_cast<int32_t>(src.size()));
                }
            }
            // And back.
            const int32_t w =
                static_cast<int32_t>(kotest::utf16(kotest::icuConvert("UTF-8", name, whole)).size());
            const std::u16string back = kotest::utf16(kotest::icuConvert("UTF-8", name, whole));
            for (int32_t size = 0; size <= w + 2; ++size) {
                SCOPED_TRACE(std::string(name) + " back " + text + " size " + std::to_string(size));
                std::vector<uint16_t> dst(static_cast<size_t>(size) + 2, 0xEEEE);
                int32_t out = -1;
                KoConvertReturn r =
                    vzAnsiToUCS2(size ? dst.data() + 1 : nullptr, size, whole.data(), n, &out, cp, 1);
                ASSERT_EQ(dst.front(), 0xEEEE);
                ASSERT_EQ(dst.back(), 0xEEEE);
                ASSERT_EQ(out, w);
                ASSERT_EQ(r, size > w ? koConvertOk : koConvertTruncated);
                if (size > 0) {
                    std::u16string got = swapped(std::u16string(reinterpret_cast<char16_t*>(dst.data() + 1)));
                    ASSERT_EQ(back.compare(0, got.size(), got), 0);
                    ASSERT_TRUE(got.empty() || !U16_IS_LEAD(got.back()));
                }
            }
        }
    }
}

TEST(Utf16Helpers, CodePointForms) {
    EXPECT_EQ(UTF16CharFromUTF8Char(0x10000), 0xDC00D800u);
    EXPECT_EQ(UTF16CharFromUTF8Char(0x110000), 0u);
    for (uint32_t c = 0; c <= 0x10FFFF; c += (c < 0x800 ? 1 : 7)) {
        UChar u16[2];
        int32_t n = 0;
        U16_APPEND_UNSAFE(u16, n, c);
        uint32_t packed = UTF16CharFromUTF8Char(c);
        ASSERT_EQ(packed, n == 1 ? u16[0] : (u16[0] | (static_cast<uint32_t>(u16[1]) << 16))) << c;
        uint8_t u8[4] = {0, 0, 0, 0};
        n = 0;
        U8_APPEND_UNSAFE(u8, n, c);
        unsigned char buf[5] = {0, 0, 0, 0, 0xEE};
        ASSERT_EQ(vzAppendUTF8(buf, c), buf + n) << c;
        ASSERT_EQ(memcmp(buf, u8, static_cast<size_t>(n)), 0) << c;
        ASSERT_EQ(UTF8CharFromUTF16Char(c),
                  u8[0] | (u8[1] << 8) | (u8[2] << 16) | (static_cast<uint32_t>(u8[3]) << 24));
    }
}

TEST(Utf16Helpers, LengthCopyDuplicateAndSwap) {
    const uint16_t text[] = {'a', 0xD83D, 0xDE00, 'z', 0};
    EXPECT_EQ(vzUnicodeLen(text), 4u);
    EXPECT_EQ(vzUCS2Len(text), 4u);
    EXPECT_EQ(vzUnicodeLen(nullptr), 0u);
    uint16_t copy[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(vzUnicodeCopy(copy, text), 4u);
    EXPECT_EQ(copy[3], 'z');
    EXPECT_EQ(copy[4], 9); // no terminator
    const uint16_t empty[] = {0};
    EXPECT_EQ(vzUnicodeCopy(copy, empty), 0u);
    EXPECT_EQ(copy[0], 'a');
    EXPECT_EQ(vzUnicodeCopy(nullptr, text), 0u);

    uint16_t* dup = nullptr;
    kotest::forEachAllocationFailure([&] { dup = vzUnicodeDup(text); },
                                     [&](unsigned, bool failed) {
                                         if (failed) {
                                             EXPECT_EQ(dup, nullptr);
                                         } else {
                                             ASSERT_NE(dup, nullptr);
                                             EXPECT_EQ(memcmp(dup, text, sizeof text), 0);
                                         }
                                         ramFree(dup);
                                     });

    // Every alignment and count, in place and copied, against a unit-by-unit swap.
    alignas(16) uint16_t src[40], dst[40];
    for (int i = 0; i < 40; ++i)
        src[i] = static_cast<uint16_t>(0x0102 * (i + 1));
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            for (int count = 0; count < 20; ++count) {
                memset(dst, 0xEE, sizeof dst);
                vzUCS2Swap(dst + to, src + from, count);
                for (int i = 0; i < 40; ++i) {
                    bool inside = i >= to && i < to + count;
                    uint16_t s = inside ? src[from + i - to] : 0;
                    ASSERT_EQ(dst[i], inside ? static_cast<uint16_t>((s << 8) | (s >> 8)) : 0xEEEE)
                        << from << " " << to << " " << count << " " << i;
                }
            }
    uint16_t same[5] = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A};
    vzUCS2Swap(same, same, 5);
    EXPECT_EQ(same[4], 0x0A09);
}

TEST(Utf16Helpers, AnsiLengthOfUnicodeText) {
    UINT saved = GetACP();
    ASSERT_TRUE(koSetAnsiCodePage(1252));
    const uint16_t text[] = {'a', 0x00E9, 0x65E5, 0x672C, 0};
    EXPECT_EQ(vzAsciiLenOfUnicodeStr(text), 4u); // the kanji become "?"
    EXPECT_EQ(vzAsciiLenOfUnicodeStr(932, text), 6u);
    EXPECT_EQ(vzAsciiLenOfUnicodeStr(65001, text), 9u);
    EXPECT_EQ(vzAsciiLenOfUnicodeStr(text, 2), 2u);
    EXPECT_EQ(vzAsciiLenOfUnicodeStr(932, text, 3), 4u);
    ASSERT_TRUE(koSetAnsiCodePage(932));
    EXPECT_EQ(vzAsciiLenOfUnicodeStr(text), 6u);
    koSetAnsiCodePage(saved);
}

// Upper case in place: every code point whose upper case has the same length is mapped; nothing else
// changes, and nothing at or beyond the length is read or written.
TEST(Utf8Upper, InPlaceWithinTheLength) {
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        if (U_IS_SURROGATE(c)) continue;
        unsigned char buf[8];
        int32_t n = 0;
        U8_APPEND_UNSAFE(buf, n, c);
        buf[n] = 0xEE;
        vzUTF8Upper(buf, n);
        UChar32 up = u_toupper(c);
        UChar32 expected = U8_LENGTH(up) == n ? up : c;
        int32_t i = 0;
        UChar32 got;
        U8_NEXT(buf, i, n, got);
        ASSERT_EQ(got, expected) << c;
        ASSERT_EQ(buf[n], 0xEE);
    }
    struct {
        std::string in, out;
    } cases[] = {
        {"abc\xC3\xA9", "ABC\xC3\x89"},                     // é
        {"a\x80z", "A\x80Z"},                               // a stray continuation byte stays one byte
        {"\xC4\xB1x", "\xC4\xB1X"},                         // dotless i: its upper case is shorter
        {"\xC8\xBFx", "\xC8\xBFX"},                         // U+023F: its upper case is longer
        {"x\xE6\x97", "X\xE6\x97"},                         // a character cut off by the end
        {"\xF0\x90\x90\xA8!", "\xF0\x90\x90\x80!"},         // Deseret, above U+FFFF
        {"\xC0\xAF\xED\xA0\x80q", "\xC0\xAF\xED\xA0\x80Q"}, // overlong, encoded surrogate
    };
    for (auto& c : cases) {
        std::string s = c.in + "\xC3\xA9";
        vzUTF8Upper(reinterpret_cast<unsigned char*>(s.data()), static_cast<int32_t>(c.in.size()));
        EXPECT_EQ(s, c.out + "\xC3\xA9") << c.in;
    }
    char z[] = "stra\xC3\x9F"
               "e";
    vzUTF8Upper(reinterpret_cast<unsigned char*>(z));
    EXPECT_STREQ(z, "STRA\xC3\x9F"
                    "E");
}

} // namespace
