#include <gtest/gtest.h>
#include "platform/win32.h"
#include "tests/support/support.h"

class MessageBoxes : public ::testing::Test {
protected:
    kotest::ScriptedUser user;
};

TEST_F(MessageBoxes, UnansweredBoxesTakeTheirDefaultButton) {
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
}

TEST_F(MessageBoxes, ScriptAnswersInOrderAndRecordsEveryBox) {
    koScriptAnswer(IDNO);
    HWND desk = GetDesktopWindow();
    EXPECT_EQ(MessageBoxA(desk, "Save?", "Setup", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Done.", nullptr, MB_OK | MB_TASKMODAL), IDOK);
    auto boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Save?");
    EXPECT_EQ(boxes[0].caption, "Setup");
    EXPECT_EQ(boxes[0].style, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[0].owner, desk);
    EXPECT_EQ(boxes[1].caption, "Error") << "a box without caption is captioned Error";
    EXPECT_EQ(boxes[1].answer, IDOK);
    EXPECT_TRUE(koScriptTakeShownBoxes().empty());
}

TEST(Windows, OnlyWindowsOfTheLayerAreWindows) {
    EXPECT_TRUE(IsWindow(GetDesktopWindow()));
    int notAWindow = 0;
    EXPECT_FALSE(IsWindow(&notAWindow));
    EXPECT_FALSE(IsWindow(nullptr));
}

TEST(Windows, NoFrontEndWritesCaptionAndTextToStandardError) {
    koSetFrontEnd(koFrontEndNone);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Disk full.", "Writer", MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Writer: Disk full.\n");
}

TEST(Strings, LoadStringReadsTheResourceTable) {
    HMODULE r = LoadLibraryA(kotest::buildLib("ztbtr20R.so").c_str());
    ASSERT_NE(r, nullptr);
    char buf[64];
    EXPECT_EQ(LoadStringA(r, 20153, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "General");
    EXPECT_EQ(LoadStringA(r, 20153, buf, 4), 3) << "cut to the buffer, terminated";
    EXPECT_STREQ(buf, "Gen");
    EXPECT_EQ(LoadStringA(r, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    FreeLibrary(r);
}
