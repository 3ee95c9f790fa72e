#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/convert.h"
#include "tests/foundation/text/kodbcs_test.h"
#include "tests/support/support.h"

namespace {

using kotest::u;

// Every test has its own error list; failures are read back as "number: text".
class Convert : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koLibraryLoad(), koSuccess);
        kotest::useBuildResources();
    }
    void SetUp() override {
        list_ = new KoErrorList();
        ASSERT_NE(list_, nullptr);
        KoErrorKeeper::setErrorList(list_);
    }
    void TearDown() override {
        KoErrorKeeper::giveUpErrorList();
        delete list_;
    }

    // The last error raised, taken off the list, or "none".
    std::string takeError() {
        KoError* e = KoErrorKeeper::getLastError();
        if (!e) return "none";
        std::string s = std::to_string(e->number) + ": " + reinterpret_cast<const char*>(e->getErrorText());
        KoErrorKeeper::clearLastError();
        return s;
    }

    // Parses text into a T that starts as 77; returns "ok <value>" or the error, and checks that a
    // failure leaves the output alone.
    template <class T> std::string parse(const char* text) {
        T v = 77;
        KoStatus st = convert(u(text), &v);
        if (st == koSuccess) {
            std::string err = takeError();
            return err == "none" ? "ok " + std::to_string(v) : "success with error " + err;
        }
        EXPECT_EQ(v, 77) << "output written on failure: " << text;
        return takeError();
    }

    template <class T> std::string parseCounted(const char* text, uint16_t length) {
        T v = 77;
        if (convert(u(text), length, &v) == koSuccess) return "ok " + std::to_string(v);
        EXPECT_EQ(v, 77);
        return takeError();
    }

    KoErrorList* list_ = nullptr;
};

std::string range(const char* text) {
    return std::string("2701: The number \"") + text + "\" is out of range.";
}
std::string invalid(const char* text) {
    return std::string("2702: \"") + text + "\" is not a valid number.";
}

// The plain form as "count:text".
template <class T> std::string plain(T v) {
    unsigned char buf[32];
    memset(buf, 'Z', sizeof buf);
    uint16_t n = convert(buf, v);
    EXPECT_EQ(buf[n], 0);
    return std::to_string(n) + ":" + reinterpret_cast<char*>(buf);
}

// The field form as "count:[field]"; the byte after the terminator must be untouched.
template <class T> std::string field(uint16_t width, T v, uint16_t left) {
    unsigned char buf[40];
    memset(buf, 'Z', sizeof buf);
    uint16_t n = convert(buf, width, v, left);
    EXPECT_EQ(buf[width], 0);
    EXPECT_EQ(buf[width + 1], 'Z') << "written past the field";
    return std::to_string(n) + ":[" + reinterpret_cast<char*>(buf) + "]";
}

} // namespace

TEST_F(Convert, BlanksAndPlusSignsAroundDigits) {
    EXPECT_EQ(parse<uint64_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<int64_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<int32_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<uint32_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<uint16_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<int16_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<uint8_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<int8_t>(" +42 "), "ok 42");
    EXPECT_EQ(parse<uint64_t>("+ +\t+7\r\n"), "ok 7") << "blanks and plus signs in any mix";
    EXPECT_EQ(parse<uint64_t>(""), "ok 0");
    EXPECT_EQ(parse<int32_t>("   "), "ok 0");
    EXPECT_EQ(parse<uint64_t>("+"), "ok 0");
    EXPECT_EQ(parse<uint64_t>("007"), "ok 7");
}

TEST_F(Convert, AnythingElseAfterTheDigitsIsNotANumber) {
    EXPECT_EQ(parse<uint64_t>("42x"), invalid("42x"));
    EXPECT_EQ(parse<uint64_t>("  +42x"), invalid("42x")) << "the text after blanks and plus signs";
    EXPECT_EQ(parse<uint64_t>("4 2"), invalid("4 2"));
    EXPECT_EQ(parse<int16_t>("1.5"), invalid("1.5"));
    EXPECT_EQ(parse<uint16_t>("-1"), invalid("-1")) << "a minus is not a digit";
    EXPECT_EQ(parse<uint8_t>("0x10"), invalid("0x10"));
    EXPECT_EQ(parse<int64_t>("+-7"), invalid("-7"));
    EXPECT_EQ(parse<int64_t>("--7"), invalid("-7")) << "one minus sign only";
}

TEST_F(Convert, UnsignedSixtyFourBitLimits) {
    EXPECT_EQ(parse<uint64_t>("18446744073709551615"), "ok 18446744073709551615");
    EXPECT_EQ(parse<uint64_t>("18446744073709551616"), range("18446744073709551616"));
    EXPECT_EQ(parse<uint64_t>("18446744073709551620"), range("18446744073709551620"));
    EXPECT_EQ(parse<uint64_t>(" 99999999999999999999999x"), range("99999999999999999999999x"))
        << "overflow is found while reading digits, before what follows";
    EXPECT_EQ(parse<uint64_t>("1844674407370955161"), "ok 1844674407370955161");
}

TEST_F(Convert, SignedSixtyFourBitLimits) {
    EXPECT_EQ(parse<int64_t>("-9223372036854775808"), "ok -9223372036854775808");
    EXPECT_EQ(parse<int64_t>("9223372036854775807"), "ok 9223372036854775807");
    EXPECT_EQ(parse<int64_t>("9223372036854775808"), range("9223372036854775808"));
    EXPECT_EQ(parse<int64_t>(" -9223372036854775809"), range("9223372036854775809")) << "text after the sign";
    EXPECT_EQ(parse<int64_t>("- 5"), "ok -5");
    EXPECT_EQ(parse<int64_t>("-0"), "ok 0");
}

TEST_F(Convert, SignedThirtyTwoBitLimitsAndTheSecondMinus) {
    EXPECT_EQ(parse<int32_t>("-2147483648"), "ok -2147483648");
    EXPECT_EQ(parse<int32_t>("2147483647"), "ok 2147483647");
    EXPECT_EQ(parse<int32_t>("2147483648"), range("2147483648"));
    EXPECT_EQ(parse<int32_t>(" -2147483649"), range("2147483649"));
    EXPECT_EQ(parse<int32_t>("--5"), "ok 5") << "two minus signs cancel";
    EXPECT_EQ(parse<int32_t>("--2147483648"), range("-2147483648"));
    EXPECT_EQ(parse<int32_t>("--9223372036854775808"), range("-9223372036854775808"))
        << "negating the smallest 64-bit value is out of range, not undefined";
    EXPECT_EQ(parse<int32_t>("---5"), invalid("-5"));
    EXPECT_EQ(parse<int32_t>("99999999999999999999"), range("99999999999999999999"));
}

TEST_F(Convert, UnsignedThirtyTwoBitRefusesAMinus) {
    EXPECT_EQ(parse<uint32_t>("4294967295"), "ok 4294967295");
    EXPECT_EQ(parse<uint32_t>("4294967296"), range("4294967296"));
    EXPECT_EQ(parse<uint32_t>(" -1"), invalid("1")) << "the text after the minus";
    EXPECT_EQ(parse<uint32_t>("-0"), invalid("0"));
    // A null output only checks the text.
    EXPECT_EQ(convert(u("123"), static_cast<uint32_t*>(nullptr)), koSuccess);
    EXPECT_EQ(convert(u("12a"), static_cast<uint32_t*>(nullptr)), koFailure);
    EXPECT_EQ(takeError(), invalid("12a"));
}

TEST_F(Convert, NarrowTypesReportTheWholeText) {
    EXPECT_EQ(parse<uint16_t>("65535"), "ok 65535");
    EXPECT_EQ(parse<uint16_t>(" 65536"), range(" 65536"));
    EXPECT_EQ(parse<int16_t>("-32768"), "ok -32768");
    EXPECT_EQ(parse<int16_t>("32767"), "ok 32767");
    EXPECT_EQ(parse<int16_t>("-32769"), range("-32769"));
    EXPECT_EQ(parse<int16_t>(" 32768"), range(" 32768"));
    EXPECT_EQ(parse<uint8_t>("255"), "ok 255");
    EXPECT_EQ(parse<uint8_t>("256"), range("256"));
    EXPECT_EQ(parse<int8_t>("-128"), "ok -128");
    EXPECT_EQ(parse<int8_t>("127"), "ok 127");
    EXPECT_EQ(parse<int8_t>("128"), range("128"));
    EXPECT_EQ(parse<int8_t>("-129"), range("-129"));
}

TEST_F(Convert, CountedTextsParseExactlyTheirBytes) {
    EXPECT_EQ(parseCounted<uint16_t>("123456", 3), "ok 123");
    EXPECT_EQ(parseCounted<int32_t>(" -42 tail", 4), "ok -42");
    EXPECT_EQ(parseCounted<uint32_t>("42x", 3), invalid("42x"));
    EXPECT_EQ(parseCounted<int64_t>("-9223372036854775808", 20), "ok -9223372036854775808");
    EXPECT_EQ(parseCounted<uint64_t>("18446744073709551615", 20), "ok 18446744073709551615");
    EXPECT_EQ(parseCounted<uint64_t>("5", 0), "ok 0");
    // Longer than the usual 79 bytes: parsed whole, not cut and not overrunning.
    std::string blanks(200, ' ');
    std::string longText = blanks + "7" + blanks;
    EXPECT_EQ(parseCounted<uint64_t>(longText.c_str(), static_cast<uint16_t>(longText.size())), "ok 7");
    std::string exact79 = std::string(78, ' ') + "9";
    EXPECT_EQ(parseCounted<int32_t>(exact79.c_str(), 79), "ok 9");
}

TEST_F(Convert, LongCountedTextWithoutMemoryFailsWithoutARecord) {
    std::string longText = std::string(100, ' ') + "12";
    uint64_t v = 77;
    KoStatus st = koSuccess;
    kotest::forEachAllocationFailure([&] { st = convert(u(longText.c_str()), 102, &v); },
                                     [&](unsigned, bool failed) {
                                         if (failed) {
                                             EXPECT_EQ(st, koFailure);
                                             EXPECT_EQ(v, 77u);
                                             EXPECT_EQ(takeError(), "none");
                                         } else {
                                             EXPECT_EQ(st, koSuccess);
                                             EXPECT_EQ(v, 12u);
                                         }
                                     });
}

TEST_F(Convert, IdeographicSpaceIsABlankInDoubleByteText) {
    UINT saved = GetACP();
    ASSERT_TRUE(koSetAnsiCodePage(932));
    EXPECT_EQ(parse<int32_t>("\x81\x40-12\x81\x40"), "ok -12");
    EXPECT_EQ(parse<uint16_t>("12\x81\x41"), invalid("12\x81\x41"));
    koSetAnsiCodePage(saved);
}

TEST(ConvertToText, PlainNumbers) {
    EXPECT_EQ(plain(uint64_t{0}), "1:0");
    EXPECT_EQ(plain(uint64_t{7}), "1:7");
    EXPECT_EQ(plain(uint64_t{10}), "2:10");
    EXPECT_EQ(plain(uint64_t{1000000}), "7:1000000");
    EXPECT_EQ(plain(UINT64_MAX), "20:18446744073709551615");
    EXPECT_EQ(plain(uint64_t{10000000000000000000ull}), "20:10000000000000000000");
    EXPECT_EQ(plain(int64_t{0}), "1:0");
    EXPECT_EQ(plain(int64_t{-1}), "2:-1");
    EXPECT_EQ(plain(int64_t{-100}), "4:-100");
    EXPECT_EQ(plain(INT64_MAX), "19:9223372036854775807");
    EXPECT_EQ(plain(INT64_MIN), "20:-9223372036854775808");
}

TEST(ConvertToText, FixedWidthFields) {
    EXPECT_EQ(field(5, uint64_t{42}, 0), "2:[   42]");
    EXPECT_EQ(field(5, uint64_t{42}, 1), "2:[42   ]");
    EXPECT_EQ(field(3, uint64_t{5000}, 0), "0:[** ]");
    EXPECT_EQ(field(3, uint64_t{5000}, 1), "0:[** ]");
    EXPECT_EQ(field(3, uint64_t{0}, 0), "0:[   ]");
    EXPECT_EQ(field(3, uint64_t{0}, 1), "0:[   ]");
    EXPECT_EQ(field(3, uint64_t{999}, 0), "3:[999]");
    EXPECT_EQ(field(3, uint64_t{1000}, 0), "0:[** ]");
    EXPECT_EQ(field(6, uint64_t{1005}, 0), "4:[  1005]") << "inner zeros are digits";
    EXPECT_EQ(field(6, uint64_t{1005}, 1), "4:[1005  ]");
    EXPECT_EQ(field(1, uint64_t{9}, 0), "1:[9]");
    EXPECT_EQ(field(1, uint64_t{10}, 0), "0:[ ]");
    EXPECT_EQ(field(0, uint64_t{5}, 0), "0:[]");
    // Ten digit positions at most.
    EXPECT_EQ(field(10, uint64_t{9999999999ull}, 0), "10:[9999999999]");
    EXPECT_EQ(field(10, uint64_t{10000000000ull}, 0), "0:[********* ]");
    EXPECT_EQ(field(12, uint64_t{42}, 0), "2:[          42]");
    EXPECT_EQ(field(12, uint64_t{42}, 1), "2:[42          ]");
    EXPECT_EQ(field(12, uint64_t{12345678901ull}, 0), "0:[  ********* ]");
    EXPECT_EQ(field(12, uint64_t{12345678901ull}, 1), "0:[*********   ]");
    EXPECT_EQ(field(12, UINT64_MAX, 0), "0:[  ********* ]");
}

TEST(ConvertToText, SignedFixedWidthFields) {
    EXPECT_EQ(field(5, int64_t{-42}, 0), "2:[  -42]");
    EXPECT_EQ(field(5, int64_t{-42}, 1), "2:[-42  ]");
    EXPECT_EQ(field(5, int64_t{42}, 0), "2:[   42]");
    EXPECT_EQ(field(3, int64_t{-99}, 0), "2:[-99]");
    EXPECT_EQ(field(3, int64_t{-99}, 1), "2:[-99]");
    EXPECT_EQ(field(12, int64_t{-42}, 0), "2:[         -42]");
    EXPECT_EQ(field(12, int64_t{-42}, 1), "2:[-42         ]");
    EXPECT_EQ(field(11, int64_t{-9999999999ll}, 0), "10:[-9999999999]");
    EXPECT_EQ(field(0, int64_t{-5}, 0), "0:[]") << "no room even for the sign";
    EXPECT_EQ(field(1, int64_t{-5}, 1), "0:[-]");
}
