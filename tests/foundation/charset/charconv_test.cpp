#include <gtest/gtest.h>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <string>

#include "foundation/charset/charconv.h"
#include "foundation/charset/ucnvconv.h"
#include "tests/foundation/charset/oracle.h"

namespace {

using kotest::Converter;
using kotest::Guarded;

using Streaming = KoConvertReturn (*)(unsigned char*, int32_t, const unsigned char*, int32_t, int32_t*,
                                      int32_t*, UConverter*, UConverter*);
using Measuring = KoConvertReturn (*)(unsigned char*, int32_t, const unsigned char*, int32_t, int32_t*,
                                      UConverter*, UConverter*);

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::u16string decodeAll(UConverter* c, const std::string& s) {
    std::u16string out(s.size() + 8, u'\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(c, out.data(), static_cast<int32_t>(out.size()), s.data(),
                              static_cast<int32_t>(s.size()), &err);
    out.resize(U_SUCCESS(err) ? static_cast<size_t>(n) : 0);
    return out;
}

// One direction of conversion: the functions, the converters in the order the functions take them, and
// the ICU names of the source and target encodings.
struct Direction {
    const char* what;
    Streaming stream;
    Measuring measure;
    const char* first;  // first converter argument
    const char* second; // second converter argument
    const char* from;   // encoding of the source
    const char* to;     // encoding of the output
    int terminator;     // zero bytes after a complete measured output
    bool cpg;           // from one code page to another: two zero bytes end a streamed output
};

const Direction directions[] = {
    {"UTF-8 to windows-1252", vzUTF8ToAnsi, vzUTF8ToAnsi, "windows-1252", "UTF-8", "UTF-8", "windows-1252", 1,
     false},
    {"UTF-8 to Shift-JIS", vzUTF8ToAnsi, vzUTF8ToAnsi, "windows-932-2000", "UTF-8", "UTF-8",
     "windows-932-2000", 1, false},
    {"UTF-8 to EUC-KR", vzUTF8ToAnsi, vzUTF8ToAnsi, "EUC-KR", "UTF-8", "UTF-8", "EUC-KR", 1, false},
    {"UTF-8 to GB18030", vzUTF8ToAnsi, vzUTF8ToAnsi, "GB18030", "UTF-8", "UTF-8", "GB18030", 1, false},
    {"UTF-8 to EBCDIC", vzUTF8ToAnsi, vzUTF8ToAnsi, "ibm-037", "UTF-8", "UTF-8", "ibm-037", 1, false},
    {"Shift-JIS to UTF-8", vzAnsiToUTF8, vzAnsiToUTF8, "windows-932-2000", "UTF-8", "windows-932-2000",
     "UTF-8", 1, false},
    {"UTF-16 as a code page to UTF-8", vzAnsiToUTF8, vzAnsiToUTF8, "UTF-16LE", "UTF-8", "UTF-16LE", "UTF-8",
     1, false},
    {"UTF-8 to ISO-2022-JP", vzCpgToCpg, vzCpgToCpg, "UTF-8", "ISO-2022-JP", "UTF-8", "ISO-2022-JP", 1, true},
    {"UTF-8 to UTF-16BE", vzCpgToCpg, vzCpgToCpg, "UTF-8", "UTF-16BE", "UTF-8", "UTF-16BE", 2, true},
    {"EUC-JP to IBM 930", vzCpgToCpg, vzCpgToCpg, "EUC-JP", "TESSARA_CID_CP930", "EUC-JP",
     "TESSARA_CID_CP930", 1, true},
};

// The corpus in a direction's source encoding; texts the source encoding cannot hold are skipped.
std::vector<std::string> sources(const Direction& d) {
    std::vector<std::string> out;
    for (const std::string& text : kotest::corpus()) {
        UErrorCode err = U_ZERO_ERROR;
        std::string s = kotest::icuConvert(d.from, "UTF-8", text, &err);
        if (U_SUCCESS(err) && !s.empty() && s.find('\0') == std::string::npos) out.push_back(s);
    }
    return out;
}

// Streaming: for every output size, the result, the lengths and the terminator follow from the whole
// conversion that ICU makes, the output is a prefix of it and nothing is written past the size.
TEST(CodePageConversion, StreamingAgreesWithIcuForEveryOutputSize) {
    ucnvIANAidToICUname(0);
    for (const Direction& d : directions) {
        Converter first(d.first), second(d.second);
        ASSERT_TRUE(first != nullptr && second != nullptr) << d.what;
        for (const std::string& src : sources(d)) {
            const std::string whole = kotest::icuConvert(d.to, d.from, src);
            const int32_t n = static_cast<int32_t>(whole.size());
            for (int32_t size = 1; size <= n + 3; ++size) {
                SCOPED_TRACE(std::string(d.what) + ", size " + std::to_string(size) + ": " + src);
                Guarded dst(static_cast<size_t>(size));
                int32_t out = -1, used = -1;
                KoConvertReturn r = d.stream(dst.data(), size, bytes(src), static_cast<int32_t>(src.size()),
                                             &out, &used, first, second);
                ASSERT_TRUE(dst.intact());
                if (size >= n) {
                    ASSERT_EQ(r, koConvertOk);
                    ASSERT_EQ(out, n);
                    ASSERT_EQ(used, static_cast<int32_t>(src.size()));
                    ASSERT_EQ(dst.text(n), whole);
                    for (int32_t i = n; i < size && i < n + (d.cpg ? 2 : 1); ++i)
                        ASSERT_EQ(dst.data()[i], 0) << "terminator at " << i;
                } else {
                    ASSERT_EQ(r, koConvertTruncated);
                    ASSERT_LE(out, size);
                    ASSERT_LE(used, static_cast<int32_t>(src.size()));
                    // Stateful encodings are cut where their escapes stand; the rest is an exact prefix.
                    if (!d.cpg || d.terminator == 2) {
                        ASSERT_EQ(dst.text(out), whole.substr(0, out));
                    }
                }
            }
        }
    }
}

// Measuring: whole characters, a terminator, the complete length; success exactly when the terminated
// output fits; size 0 writes nothing.
TEST(CodePageConversion, MeasuringAgreesWithIcuForEveryOutputSize) {
    ucnvIANAidToICUname(0);
    for (const Direction& d : directions) {
        Converter first(d.first), second(d.second);
        for (const std::string& src : sources(d)) {
            if (!d.cpg && src.find('\0') != std::string::npos) continue;
            const std::string whole = kotest::icuConvert(d.to, d.from, src);
            const int32_t n = static_cast<int32_t>(whole.size());
            std::string previous;
            for (int32_t size = 0; size <= n + d.terminator + 1; ++size) {
                SCOPED_TRACE(std::string(d.what) + ", size " + std::to_string(size) + ": " + src);
                Guarded dst(static_cast<size_t>(size), 0xEE);
                dst.setCanaries();
                int32_t out = -1;
                KoConvertReturn r = d.measure(dst.data(), size, bytes(src), static_cast<int32_t>(src.size()),
                                              &out, first, second);
                ASSERT_TRUE(dst.intact());
                ASSERT_EQ(out, n);
                ASSERT_EQ(r, size >= n + d.terminator ? koConvertOk : koConvertTruncated);
                if (size < d.terminator) continue; // not even a terminator fits
                // The output ends in a terminator; what precedes it is a prefix of whole characters that
                // grows with the size (and is the whole output when it fits).
                std::string got = dst.text(static_cast<size_t>(size));
                size_t end = 0;
                while (end < got.size() &&
                       got.compare(end, d.terminator, std::string(d.terminator, '\0')) != 0)
                    end += d.terminator;
                ASSERT_LT(end, got.size());
                std::string text = got.substr(0, end);
                if (r == koConvertOk) {
                    ASSERT_EQ(text, whole);
                }
                if (d.to != std::string("ISO-2022-JP") && d.to != std::string("TESSARA_CID_CP930")) {
                    ASSERT_EQ(whole.compare(0, text.size(), text), 0);
                    ASSERT_GE(text.size(), previous.size());
                    // Whole characters: read back, the prefix is a prefix of the whole output read back
                    // (a character cut in two would read as a substitute).
                    Converter check(d.to);
                    ASSERT_EQ(decodeAll(check, whole)
                                  .compare(0, decodeAll(check, text).size(), decodeAll(check, text)),
                              0);
                }
                previous = text;
            }
        }
    }
}

// A supplementary character cut by the pivot's boundary reaches the writer whole: the conversion equals
// ICU's for every position of the character around the boundary, and nothing is substituted.
TEST(CodePageConversion, SurrogatePairsSurvivePivotRounds) {
    Converter utf8("UTF-8"), gb("GB18030"), latin("ISO-8859-1");
    for (int lead = 1990; lead < 2010; ++lead) {
        std::string src = "\xC3\xA9" + std::string(static_cast<size_t>(lead), 'a') + "\xF0\x9F\x98\x80 end";
        for (UConverter* target : {static_cast<UConverter*>(utf8), static_cast<UConverter*>(gb)}) {
            UErrorCode err = U_ZERO_ERROR;
            const char* toName = ucnv_getName(target, &err);
            std::string whole = kotest::icuConvert(toName, "UTF-8", src);
            std::string dst(whole.size() + 2, '\x7F');
            int32_t out = 0, used = 0;
            ASSERT_EQ(vzCpgToCpg(reinterpret_cast<unsigned char*>(dst.data()),
                                 static_cast<int32_t>(dst.size()), bytes(src),
                                 static_cast<int32_t>(src.size()), &out, &used, utf8, target),
                      koConvertOk)
                << lead;
            EXPECT_EQ(dst.substr(0, static_cast<size_t>(out)), whole) << lead;
        }
    }
}

// ASCII is copied without a converter only where the encodings are ASCII-compatible.
TEST(CodePageConversion, AsciiShortcutOnlyForAsciiEncodings) {
    const std::string ascii = "SELECT * FROM t WHERE a = 'b' AND c < 10;";
    Converter utf8("UTF-8");
    for (const char* name : {"ibm-037", "UTF-16BE", "UTF-16LE", "ISO-2022-JP", "UTF-7", "ibm-943_P130-1999",
                             "windows-1252", "TESSARA_CID_CP930"}) {
        Converter cp(name);
        std::string whole = kotest::icuConvert("UTF-8", name, ascii);
        std::string dst(whole.size() + 1, '\x7F');
        int32_t out = 0, used = 0;
        ASSERT_EQ(vzAnsiToUTF8(reinterpret_cast<unsigned char*>(dst.data()), static_cast<int32_t>(dst.size()),
                               bytes(ascii), static_cast<int32_t>(ascii.size()), &out, &used, cp, utf8),
                  koConvertOk)
            << name;
        EXPECT_EQ(dst.substr(0, static_cast<size_t>(out)), whole) << name;
    }
}

TEST(CodePageConversion, FastPathLengthsAndTerminator) {
    Converter cp("windows-1252"), utf8("UTF-8");
    const std::string twenty = "abcdefghijklmnopqrst";
    struct Case {
        int32_t srcLen, dstLen;
        KoConvertReturn r;
        int32_t out;
        bool terminated;
    } cases[] = {{20, 10, koConvertTruncated, 10, false}, {10, 10, koConvertOk, 10, false},
                 {10, 11, koConvertOk, 10, true},         {0, 4, koConvertOk, 0, true},
                 {7, 30, koConvertOk, 7, true},           {19, 18, koConvertTruncated, 18, false}};
    for (const Case& c : cases) {
        Guarded dst(static_cast<size_t>(c.dstLen), 0xEE);
        dst.setCanaries();
        int32_t out = -1, used = -1;
        EXPECT_EQ(vzAnsiToUTF8(dst.data(), c.dstLen, bytes(twenty), c.srcLen, &out, &used, cp, utf8), c.r);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(used, c.out);
        EXPECT_EQ(dst.text(static_cast<size_t>(c.out)), twenty.substr(0, static_cast<size_t>(c.out)));
        if (c.out < c.dstLen) {
            EXPECT_EQ(dst.data()[c.out], c.terminated ? 0 : 0xEE);
        }
        EXPECT_TRUE(dst.intact());
    }
}

TEST(CodePageConversion, RefusedArgumentsAndErrors) {
    Converter cp("windows-1252"), utf8("UTF-8");
    unsigned char dst[16];
    int32_t out = 7, used = 0;
    const unsigned char* src = reinterpret_cast<const unsigned char*>("abc");
    EXPECT_EQ(vzAnsiToUTF8(nullptr, 16, src, 3, &out, &used, cp, utf8), koConvertFailed);
    EXPECT_EQ(vzAnsiToUTF8(dst, 0, src, 3, &out, &used, cp, utf8), koConvertFailed);
    EXPECT_EQ(vzAnsiToUTF8(dst, 16, nullptr, 3, &out, &used, cp, utf8), koConvertFailed);
    EXPECT_EQ(vzAnsiToUTF8(dst, 16, src, 3, nullptr, &used, cp, utf8), koConvertFailed);
    EXPECT_EQ(vzUTF8ToAnsi(dst, 0, src, 3, &out, &used, cp, utf8), koConvertFailed);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(vzCpgToCpg(dst, 16, src, 0, &out, &used, cp, utf8), koConvertOk);
    EXPECT_EQ(out, 0);

    // With the stop callbacks: an illegal sequence, an unmappable character.
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setToUCallBack(utf8, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(cp, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    EXPECT_EQ(vzUTF8ToAnsi(dst, 16, bytes("ab\xC3\x28"), 4, &out, &used, cp, utf8), koConvertIllegalChar);
    EXPECT_EQ(vzUTF8ToAnsi(dst, 16, bytes("ab\xE4\xB8\x80"), 5, &out, &used, cp, utf8), koConvertFailed);
    EXPECT_EQ(vzUTF8ToAnsi(dst, 16, bytes("ab\xC3\x28"), 4, &out, cp, utf8), koConvertIllegalChar);
    EXPECT_EQ(out, 2);
    // Measuring into nothing only measures: even an empty text does not fit with its terminator.
    dst[0] = 0x77;
    EXPECT_EQ(vzCpgToCpg(dst, 0, src, 0, &out, cp, utf8), koConvertTruncated);
    EXPECT_EQ(vzAnsiToUTF8(dst, 0, src, 3, &out, cp, utf8), koConvertTruncated);
    EXPECT_EQ(out, 3);
    EXPECT_EQ(dst[0], 0x77);
    // Measuring stops at a zero byte.
    EXPECT_EQ(vzUTF8ToAnsi(dst, 16, bytes("\0abc"), 4, &out, cp, utf8), koConvertOk);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(dst[0], 0);
}

TEST(CodePageConversion, ResultCodesAndSizes) {
    const struct {
        UErrorCode status;
        KoConvertReturn r;
    } map[] = {{U_ZERO_ERROR, koConvertOk},
               {U_BUFFER_OVERFLOW_ERROR, koConvertTruncated},
               {U_STRING_NOT_TERMINATED_WARNING, koConvertTruncated},
               {U_ILLEGAL_CHAR_FOUND, koConvertIllegalChar},
               {U_INVALID_TABLE_FORMAT, koConvertBadTable},
               {U_INVALID_TABLE_FILE, koConvertBadTable},
               {U_FILE_ACCESS_ERROR, koConvertNoFile},
               {U_INVALID_CHAR_FOUND, koConvertFailed},
               {U_TRUNCATED_CHAR_FOUND, koConvertFailed},
               {U_AMBIGUOUS_ALIAS_WARNING, koConvertFailed},
               {U_MEMORY_ALLOCATION_ERROR, koConvertFailed}};
    for (const auto& m : map)
        EXPECT_EQ(mapICUreturn(m.status), m.r) << u_errorName(m.status);
    for (int r = 0; r <= 6; ++r)
        EXPECT_EQ(setConversionReturnLength(static_cast<KoConvertReturn>(r), 42), r <= 3 ? 42 : 0);

    EXPECT_EQ(vzMaxCharSize(106), 3u);
    EXPECT_EQ(vzMaxCharSize(2252), 1u);
    EXPECT_EQ(vzMaxCharSize(2024), 2u);
    EXPECT_EQ(vzMaxCharSize(2000000001), 0u);
    EXPECT_EQ(vzMaxCharSize(static_cast<UConverter*>(nullptr)), 0u);
    EXPECT_EQ(VerifyCodePage(0), 1);
    EXPECT_EQ(VerifyCodePage(107), 1);
    EXPECT_EQ(VerifyCodePage(2000000930), 1);
    EXPECT_EQ(VerifyCodePage(2000000010), 0);
}

} // namespace
