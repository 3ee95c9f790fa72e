#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

// Runs the test body under another ANSI code page and restores the process's one afterwards.
class CodePage932 : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetACP();
        ASSERT_TRUE(koSetAnsiCodePage(932));
    }
    void TearDown() override { koSetAnsiCodePage(saved_); }

private:
    UINT saved_ = 1252;
};

class CodePage1252 : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = GetACP();
        ASSERT_TRUE(koSetAnsiCodePage(1252));
    }
    void TearDown() override { koSetAnsiCodePage(saved_); }

private:
    UINT saved_ = 1252;
};

LPSTR asCharacter(unsigned char c) {
    return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c));
}
unsigned char fromCharacter(LPSTR r) {
    return static_cast<unsigned char>(reinterpret_cast<uintptr_t>(r));
}

} // namespace

TEST(CodePage, TheEnvironmentChoosesTheCodePageOnce) {
    // A child process of this test program reports the code page it started with.
    if (getenv("KO_CODEPAGE_PROBE")) {
        printf("ACP=%u LEAD81=%d\n", GetACP(), IsDBCSLeadByte(0x81));
        return;
    }
    char self[1024];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    auto run = [&self](const char* env) {
        std::string cmd = std::string("KO_CODEPAGE_PROBE=1 ") + env + " " + self +
                          " --gtest_filter=CodePage.TheEnvironmentChoosesTheCodePageOnce 2>&1";
        std::string out;
        if (FILE* f = popen(cmd.c_str(), "r")) {
            char line[512];
            while (fgets(line, sizeof line, f))
                out += line;
            pclose(f);
        }
        return out;
    };
    EXPECT_NE(run("KO_ANSI_CODEPAGE=932").find("ACP=932 LEAD81=1"), std::string::npos);
    EXPECT_NE(run("KO_ANSI_CODEPAGE=").find("ACP=1252 LEAD81=0"), std::string::npos);
    EXPECT_NE(run("KO_ANSI_CODEPAGE=12x").find("ACP=1252 LEAD81=0"), std::string::npos) << "not a number";
    EXPECT_NE(run("KO_ANSI_CODEPAGE=4").find("ACP=1252 LEAD81=0"), std::string::npos) << "no such code page";
}

TEST(CodePage, UnknownCodePagesAreRefused) {
    UINT before = GetACP();
    EXPECT_FALSE(koSetAnsiCodePage(4));
    EXPECT_FALSE(koSetAnsiCodePage(99999));
    EXPECT_EQ(GetACP(), before);
    EXPECT_EQ(GetOEMCP(), before) << "OEM text is ANSI text";
}

TEST_F(CodePage1252, HasNoLeadBytes) {
    EXPECT_EQ(GetACP(), 1252u);
    for (int b = 0; b < 256; ++b)
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(b))) << b;
}

TEST_F(CodePage932, LeadBytesAreThoseOfShiftJis) {
    EXPECT_EQ(GetACP(), 932u);
    for (int b = 0; b < 256; ++b) {
        bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(IsDBCSLeadByte(static_cast<BYTE>(b)) != 0, lead) << "byte " << b;
    }
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x81));
    EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0x81));
    EXPECT_TRUE(IsDBCSLeadByteEx(CP_ACP, 0x81));
}

TEST_F(CodePage1252, CharUpperMapsTheCodePagesLetters) {
    char text[] = "abc\xe9\xff\xdf\xb5z1";
    EXPECT_EQ(CharUpperA(text), text);
    // y with diaeresis has its capital at 0x9F; sharp s and micro sign have none in this code page.
    EXPECT_STREQ(text, "ABC\xc9\x9f\xdf\xb5Z1");
    EXPECT_EQ(fromCharacter(CharUpperA(asCharacter('q'))), 'Q');
    EXPECT_EQ(fromCharacter(CharUpperA(asCharacter(0xE0))), 0xC0);
    EXPECT_EQ(fromCharacter(CharUpperA(asCharacter('7'))), '7');
    char buf[] = "ab\0cd";
    EXPECT_EQ(CharUpperBuffA(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), std::string("AB\0CD", 5)) << "a counted buffer goes past zero bytes";
    char lower[] = "ABC\xc9";
    CharLowerA(lower);
    EXPECT_STREQ(lower, "abc\xe9");
}

TEST_F(CodePage932, CaseMappingLeavesDoubleByteCharactersAlone) {
    // 0x83 0x61 is one character whose trail byte happens to be "a".
    char text[] = "a\x83\x61z";
    CharUpperA(text);
    EXPECT_STREQ(text, "A\x83\x61Z");
    char buf[] = "\x83\x61\x61";
    CharUpperBuffA(buf, 3);
    EXPECT_STREQ(buf, "\x83\x61\x41");
    // A lead byte at the very end of a counted buffer has no trail byte to protect.
    char cut[] = "a\x83";
    EXPECT_EQ(CharUpperBuffA(cut, 2), 2u);
    EXPECT_STREQ(cut, "A\x83");
    EXPECT_EQ(fromCharacter(CharUpperA(asCharacter(0x83))), 0x83);
}

TEST_F(CodePage932, CharPrevAndNextStepOverWholeCharacters) {
    const char text[] = "a\x83\x61"
                        "b";
    EXPECT_EQ(CharPrevA(text, text + 4), text + 3);
    EXPECT_EQ(CharPrevA(text, text + 3), text + 1) << "never lands on the trail byte";
    EXPECT_EQ(CharPrevA(text, text + 1), text);
    EXPECT_EQ(CharPrevA(text, text), text);
    EXPECT_EQ(CharNextA(text + 1), text + 3);
    EXPECT_EQ(CharNextA(text + 4), text + 4) << "the terminator is not passed";
    const char cut[] = "\x83";
    EXPECT_EQ(CharNextA(cut), cut + 1) << "a lead byte before the terminator stands alone";
}

TEST_F(CodePage1252, LocaleComparisonSortsLikeADictionary) {
    EXPECT_LT(lstrcmpA("apple", "Banana"), 0) << "letters before case, unlike byte order";
    EXPECT_GT(strcmp("apple", "Banana"), 0);
    EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
    EXPECT_NE(lstrcmpA("abc", "ABC"), 0);
    EXPECT_EQ(lstrcmpiA("abc", "ABC"), 0);
    EXPECT_EQ(lstrcmpiA("\xe9t\xe9", "\xc9T\xc9"), 0) << "accented letters fold too";
    EXPECT_NE(lstrcmpiA("ete", "\xe9t\xe9"), 0) << "accents still count";
    EXPECT_LT(lstrcmpA("\xe9t\xe9", "f"), 0) << "e-acute sorts with e, not after z";
    EXPECT_LT(lstrcmpA("ab", "abc"), 0);
    EXPECT_GT(lstrcmpA("b", "abc"), 0);
    EXPECT_LT(lstrcmpA(nullptr, "a"), 0);
    EXPECT_GT(lstrcmpA("a", nullptr), 0);
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
    std::string longA(2000, 'x'), longB(2000, 'x');
    longB[1999] = 'y';
    EXPECT_LT(lstrcmpA(longA.c_str(), longB.c_str()), 0) << "texts longer than any internal buffer";
}

TEST_F(CodePage1252, WideToAnsiFollowsWindowsSizeRules) {
    const WCHAR text[] = {'A', 0xE9, 0x20AC, 0};
    char out[16];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), 4)
        << "terminator counted";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 3, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 3, out, sizeof out, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(out, 4), "A\xe9\x80Z") << "nothing written past the converted bytes";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 3, nullptr, nullptr), 0) << "too small";
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr), 7);
    EXPECT_STREQ(out, "A\xc3\xa9\xe2\x82\xac");

    const WCHAR han[] = {'x', 0x4E00, 0};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(1252, 0, han, -1, out, sizeof out, nullptr, &used), 3);
    EXPECT_STREQ(out, "x?");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, han, -1, out, sizeof out, "#", &used), 3);
    EXPECT_STREQ(out, "x#");
    EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, out, sizeof out, nullptr, &used), 4);
    EXPECT_FALSE(used);

    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, han, -1, out, sizeof out, nullptr, &used), 0)
        << "UTF-8 takes no default character";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 0, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(4, 0, text, -1, out, sizeof out, nullptr, nullptr), 0)
        << "unknown code page";

    // Longer than any internal piece: measuring and converting agree.
    std::basic_string<WCHAR> big(3000, 0x20AC);
    int need = WideCharToMultiByte(CP_UTF8, 0, big.c_str(), 3000, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(need, 9000);
    std::string bigOut(need, 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, big.c_str(), 3000, bigOut.data(), need, nullptr, nullptr),
              9000);
    EXPECT_EQ(bigOut.substr(8997), "\xe2\x82\xac");
}

TEST_F(CodePage932, WideToAnsiWritesDoubleByteCharacters) {
    const WCHAR text[] = {0x3042, 'a', 0};
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr), 4);
    EXPECT_STREQ(out, "\x82\xa0"
                      "a");
    WCHAR back[8];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, out, -1, back, 8), 3);
    EXPECT_EQ(back[0], 0x3042);
    EXPECT_EQ(back[1], 'a');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x82", 1, back, 8), 0) << "cut character";
}

TEST_F(CodePage1252, ClassificationFollowsTheCodePage) {
    EXPECT_TRUE(koAcpIsAlpha('a'));
    EXPECT_TRUE(koAcpIsAlpha(0xE9));
    EXPECT_TRUE(koAcpIsAlpha(0x8A)) << "S caron";
    EXPECT_FALSE(koAcpIsAlpha(0xD7)) << "multiplication sign";
    EXPECT_FALSE(koAcpIsAlpha('1'));
    EXPECT_TRUE(koAcpIsDigit('0'));
    EXPECT_TRUE(koAcpIsDigit('9'));
    EXPECT_FALSE(koAcpIsDigit(0xB2)) << "superscript two is no digit";
    EXPECT_TRUE(koAcpIsSpace(' '));
    EXPECT_TRUE(koAcpIsSpace('\t'));
    EXPECT_TRUE(koAcpIsSpace('\r'));
    EXPECT_FALSE(koAcpIsSpace(0xA0)) << "no-break space is kept as text";
    EXPECT_TRUE(koAcpIsUpper(0xC0));
    EXPECT_TRUE(koAcpIsLower(0xE0));
    EXPECT_TRUE(koAcpIsLower(0xDF));
    EXPECT_EQ(koAcpToUpper(0xE0), 0xC0);
    EXPECT_EQ(koAcpToLower(0xC0), 0xE0);
    EXPECT_EQ(koAcpToUpper(0xDF), 0xDF);
    EXPECT_EQ(koAcpToUpper(-1), -1) << "EOF passes through";
    EXPECT_FALSE(koAcpIsAlpha(256));
}

TEST_F(CodePage932, LeadBytesAreNeitherLettersNorBlanks) {
    for (int b = 0x81; b <= 0x9F; ++b) {
        EXPECT_FALSE(koAcpIsAlpha(b)) << b;
        EXPECT_FALSE(koAcpIsSpace(b)) << b;
        EXPECT_EQ(koAcpToUpper(b), b) << b;
    }
    EXPECT_TRUE(koAcpIsAlpha(0xB1)) << "half-width katakana A";
    EXPECT_TRUE(koAcpIsAlpha('Z'));
    EXPECT_EQ(koAcpToUpper('z'), 'Z');
}
