#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "foundation/charset/ucnvconv.h"
#include "foundation/errors/ramalloc.h"
#include "platform/codepage.h"
#include "tests/support/support.h"

namespace {

template <class Row, class Key>
void expectSortedUnique(const Row* rows, int32_t n, Key Row::*key, const char* what) {
    for (int32_t i = 1; i < n; ++i)
        EXPECT_LT(rows[i - 1].*key, rows[i].*key) << what << " row " << i;
}

TEST(CodePageTables, SortedWithoutDuplicatesAndComplete) {
    EXPECT_EQ(ucnvNameTableRows, 287);
    EXPECT_EQ(ucnvMorvexTableRows, 78);
    EXPECT_EQ(ucnvWindowsTableRows, 73);
    EXPECT_EQ(ucnvIANAToIBMTableRows, 128);
    EXPECT_EQ(ucnvIBMToIANATableRows, 143);
    expectSortedUnique(ucnvNameTable, ucnvNameTableRows, &UcnvNameRow::id, "names");
    expectSortedUnique(ucnvMorvexTable, ucnvMorvexTableRows, &UcnvNumberRow::from, "Morvex");
    expectSortedUnique(ucnvWindowsTable, ucnvWindowsTableRows, &UcnvNumberRow::from, "Windows");
    expectSortedUnique(ucnvIANAToIBMTable, ucnvIANAToIBMTableRows, &UcnvNumberRow::from, "MIBenum to IBM");
    expectSortedUnique(ucnvIBMToIANATable, ucnvIBMToIANATableRows, &UcnvNumberRow::from, "IBM to MIBenum");
    int privateRows = 0;
    for (int32_t i = 0; i < ucnvNameTableRows; ++i)
        privateRows += ucnvNameTable[i].id > 2000000000;
    EXPECT_EQ(privateRows, 42);
}

// Every row is found by its lookup, and numbers between, before and after the rows are not.
template <class Lookup>
void expectLookups(const UcnvNumberRow* rows, int32_t n, Lookup lookup, const char* what) {
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_EQ(lookup(rows[i].from), rows[i].to) << what << " " << rows[i].from;
        if (i > 0 && rows[i].from - rows[i - 1].from > 1) {
            EXPECT_EQ(lookup(rows[i].from - 1), ucnvNoMatch) << what << " " << rows[i].from - 1;
        }
    }
    EXPECT_EQ(lookup(rows[0].from - 1), ucnvNoMatch) << what;
    EXPECT_EQ(lookup(rows[n - 1].from + 1), ucnvNoMatch) << what;
    EXPECT_EQ(lookup(INT32_MIN), ucnvNoMatch) << what;
    EXPECT_EQ(lookup(INT32_MAX), ucnvNoMatch) << what;
}

TEST(CodePageTables, EveryRowIsFoundAndNothingElse) {
    for (int32_t i = 0; i < ucnvNameTableRows; ++i) {
        EXPECT_STREQ(ucnvIANAidToICUname(ucnvNameTable[i].id), ucnvNameTable[i].name);
        if (i > 0 && ucnvNameTable[i].id - ucnvNameTable[i - 1].id > 1) {
            EXPECT_EQ(ucnvIANAidToICUname(ucnvNameTable[i].id - 1), nullptr) << ucnvNameTable[i].id - 1;
        }
    }
    for (int32_t id : {INT32_MIN, -1, 0, 1, 2, 107, 2260, 2000000000, 2000005037, INT32_MAX})
        EXPECT_EQ(ucnvIANAidToICUname(id), nullptr) << id;
    expectLookups(ucnvMorvexTable, ucnvMorvexTableRows, ucnvMorvexToIANA, "Morvex");
    expectLookups(ucnvWindowsTable, ucnvWindowsTableRows, ucnvWindowsToIANA, "Windows");
    expectLookups(ucnvIANAToIBMTable, ucnvIANAToIBMTableRows, ucnvIANAToIBM, "MIBenum to IBM");
    expectLookups(ucnvIBMToIANATable, ucnvIBMToIANATableRows, ucnvIBMToIANA, "IBM to MIBenum");
}

TEST(CodePageTables, KnownRows) {
    EXPECT_STREQ(ucnvIANAidToICUname(106), "UTF-8");
    EXPECT_STREQ(ucnvIANAidToICUname(3), "ANSI_X3.4-1968");
    EXPECT_STREQ(ucnvIANAidToICUname(2000005036), "TESSARA_CID_CP5035YEN");
    EXPECT_STREQ(ucnvIANAidToICUname(2000000939), "ibm-939");
    EXPECT_EQ(ucnvWindowsToIANA(1252), 2252);
    EXPECT_EQ(ucnvWindowsToIANA(65001), 106);
    EXPECT_EQ(ucnvWindowsToIANA(1200), 1014);
    EXPECT_EQ(ucnvMorvexToIANA(-1), 1015);
    EXPECT_EQ(ucnvMorvexToIANA(8), ucnvNoMatch);
    EXPECT_EQ(ucnvIBMToIANA(819), 4);
    EXPECT_EQ(ucnvIANAToIBM(4), 1252);
    EXPECT_EQ(ucnvIBMToIANA(17586), 1014);
}

// The names no ICU converter stands for; every other name of the table opens, those shipped with the
// module included.
const std::set<int32_t> withoutEquivalent = {
    14,         15,         19,         20,         21,         22,         23,         24,
    25,         26,         27,         28,         29,         31,         32,         33,
    34,         35,         41,         42,         43,         44,         45,         46,
    47,         48,         49,         50,         51,         52,         53,         54,
    55,         56,         58,         59,         60,         61,         62,         63,
    64,         65,         66,         67,         68,         69,         70,         71,
    72,         73,         74,         75,         76,         77,         78,         79,
    80,         83,         86,         87,         88,         89,         90,         91,
    92,         93,         94,         95,         96,         97,         98,         99,
    100,        101,        102,        112,        1002,       1003,       1004,       1005,
    1006,       1007,       1008,       1009,       1010,       2000,       2001,       2002,
    2003,       2006,       2007,       2008,       2012,       2014,       2015,       2017,
    2018,       2019,       2020,       2021,       2022,       2023,       2029,       2031,
    2032,       2036,       2042,       2057,       2058,       2059,       2060,       2061,
    2064,       2065,       2066,       2067,       2068,       2069,       2070,       2071,
    2072,       2073,       2074,       2075,       2076,       2077,       2078,       2079,
    2080,       2081,       2082,       2083,       2090,       2103,       2000000001, 2000000007,
    2000000008, 2000000010, 2000000011, 2000000300, 2000000833, 2000000834, 2000000835, 2000000836,
    2000000837};

TEST(CodePageTables, EveryNameWithAnEquivalentOpens) {
    for (int32_t i = 0; i < ucnvNameTableRows; ++i) {
        const UcnvNameRow& row = ucnvNameTable[i];
        UErrorCode err = U_ZERO_ERROR;
        UConverter* c = ucnv_open(ucnvIANAidToICUname(row.id), &err);
        bool opened = U_SUCCESS(err) && c;
        if (c) ucnv_close(c);
        EXPECT_EQ(opened, withoutEquivalent.count(row.id) == 0)
            << row.id << " " << row.name << " " << u_errorName(err);
    }
}

// Connection strings: the code page found and the data-source name captured.
struct Scan {
    const char16_t* text;
    int32_t expected;
    const char16_t* dsn; // null: none captured
};

TEST(ConnectionString, CodePageAndDataSourceName) {
    const Scan cases[] = {
        {u"DSN=x;AppCodePage=1252;IACP=106", 106, u"x"},
        {u"acp = 1252", 2252, nullptr},
        {u"IACP 106;ACP=0", 3, nullptr},
        {u"IACP=;ACP=0", 0, nullptr},
        {u"", ucnvNoMatch, nullptr},
        {u"DRIVER={x};UID=a;PWD=b", ucnvNoMatch, nullptr},
        {u"IanaAppCodePage=2252;IACP=106", 2252, nullptr},
        {u"  \t iacp\u3000=\u2003 -17 trailing", -17, nullptr},
        {u"ACP=1252;ACP=8", ucnvNoMatch, nullptr}, // a later attribute replaces an earlier one
        {u"ACP=8;APPCODEPAGE=1252", 2252, nullptr},
        {u"IACP=abc;ACP=1250", 0, nullptr},   // no digits read as 0, which stops the scan
        {u"ACP=", ucnvNoMatch, nullptr},      // the text ends after "="
        {u"ACPX=1252", ucnvNoMatch, nullptr}, // what follows the keyword must be "="
        {u"DSN = my source ;DSN=other;ACP=1252", 2252, u"my source "},
        {u"dsn=;acp=1252", 2252, u""},
        {u"XDSN=no;IACP=4", 4, nullptr},
        {u"\U0001F600IACP=4", 4, nullptr}, // a surrogate pair before a keyword is skipped
        {u"D\U0001F600SN=x;IACP=4", 4, nullptr},
        {u"IACP=4294967297", 1, nullptr}, // 32-bit arithmetic
    };
    for (const Scan& c : cases) {
        std::u16string text(c.text);
        uint16_t* dsn = nullptr;
        int32_t got = ucnvUnicodeIANAAppCodePage(reinterpret_cast<const uint16_t*>(text.data()),
                                                 static_cast<int32_t>(text.size()), &dsn);
        std::string shown(text.begin(), text.end());
        EXPECT_EQ(got, c.expected) << shown;
        if (c.dsn) {
            ASSERT_NE(dsn, nullptr) << shown;
            EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(dsn)), std::u16string(c.dsn)) << shown;
        } else {
            EXPECT_EQ(dsn, nullptr) << shown;
        }
        free(dsn);
    }
}

TEST(ConnectionString, StopsAtTheGivenLengthAndKeepsAGivenName) {
    std::u16string text = u"ACP=1252;IACP=106";
    uint16_t* dsn = nullptr;
    EXPECT_EQ(ucnvUnicodeIANAAppCodePage(reinterpret_cast<const uint16_t*>(text.data()), 8, &dsn), 2252);
    EXPECT_EQ(ucnvUnicodeIANAAppCodePage(reinterpret_cast<const uint16_t*>(text.data()), 7, &dsn),
              ucnvNoMatch);
    // A name already there is not replaced.
    uint16_t given[] = {'g', 0};
    dsn = given;
    std::u16string withName = u"DSN=x;ACP=0";
    EXPECT_EQ(ucnvUnicodeIANAAppCodePage(reinterpret_cast<const uint16_t*>(withName.data()),
                                         static_cast<int32_t>(withName.size()), &dsn),
              3);
    EXPECT_EQ(dsn, given);
}

TEST(ConnectionString, AnsiTextInTheProcessCodePage) {
    UINT saved = GetACP();
    ASSERT_TRUE(koSetAnsiCodePage(1252));
    const char text[] = "DSN=Caf\xE9 \x80;ACP=1251";
    unsigned char* dsn = nullptr;
    EXPECT_EQ(ucnvAnsiIANAAppCodePage(reinterpret_cast<const unsigned char*>(text), sizeof text - 1, &dsn),
              2251);
    ASSERT_NE(dsn, nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(dsn), "Caf\xE9 \x80");
    free(dsn);

    ASSERT_TRUE(koSetAnsiCodePage(932));
    const char sjis[] = "DSN=\x93\x8C\x8B\x9E;IACP=17"; // two kanji
    dsn = nullptr;
    EXPECT_EQ(ucnvAnsiIANAAppCodePage(reinterpret_cast<const unsigned char*>(sjis), sizeof sjis - 1, &dsn),
              17);
    ASSERT_NE(dsn, nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(dsn), "\x93\x8C\x8B\x9E");
    free(dsn);
    EXPECT_EQ(ucnvAnsiIANAAppCodePage(nullptr, 3, &dsn), ucnvNoMatch);
    koSetAnsiCodePage(saved);
}

TEST(ConnectionString, AnsiScanWithoutMemoryFindsNothingAndLeaksNothing) {
    const char text[] = "DSN=name;ACP=1252";
    int32_t result = 0;
    unsigned char* dsn = nullptr;
    kotest::forEachAllocationFailure(
        [&] {
            dsn = nullptr;
            result =
                ucnvAnsiIANAAppCodePage(reinterpret_cast<const unsigned char*>(text), sizeof text - 1, &dsn);
        },
        [&](unsigned, bool failed) {
            if (failed) {
                EXPECT_EQ(result, ucnvNoMatch);
                EXPECT_EQ(dsn, nullptr);
            } else {
                EXPECT_EQ(result, 2252);
                ASSERT_NE(dsn, nullptr);
                EXPECT_STREQ(reinterpret_cast<char*>(dsn), "name");
            }
            free(dsn);
        });
}

} // namespace
