// The About page: the icon reel frame by frame and its thread's life, what the page shows of the
// installed driver, the page as a nested dialog, and its Test Connect.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utime.h>

#include "foundation/foundation.h"
#include "platform/handle.h"
#include "platform/win32.h"
#include "setup/aboutanimation.h"
#include "setup/setup.h"
#include "tests/setup/aboutreel.h"
#include "tests/support/odbcsandbox.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

TEST(Reel, DrawsWholeFramesAndEndsWithinOneFrameOfTheStop) {
    kotest::useBuildResources();
    HWND page = CreateWindowExA(0, "STATIC", "About", 0, 0, 0, 600, 300, nullptr, nullptr, nullptr, nullptr);
    uint32_t icons = koHandleCount(KoHandleKind::icon), threads = koHandleCount(KoHandleKind::thread);
    KoAboutDlgAnimate animate;
    setenv("KO_ABOUT_FRAME_MS", "3", 1);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resourceModule, page));
    Sleep(10);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resourceModule, page)) << "a second start replaces the reel";
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads + 1);
    Sleep(150);
    koStopAboutAnimation(&animate);
    // Two runs one after the other; a run past frame 32, where the picture begins again, reads as two.
    std::vector<unsigned> runs = reeltest::runs(koTakeDrawings(page), false);
    ASSERT_GE(runs.size(), 2u);
    for (size_t i = 1; i + 1 < runs.size(); ++i)
        EXPECT_EQ(runs[i], 32u);

    setenv("KO_ABOUT_FRAME_MS", "300", 1);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resourceModule, page));
    Sleep(50);
    auto start = std::chrono::steady_clock::now();
    koStopAboutAnimation(&animate);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::milliseconds(300 + 200)) << "the stop is seen after the frame's sleep";
    EXPECT_EQ(reeltest::runs(koTakeDrawings(page), false), std::vector<unsigned>{1});
    unsetenv("KO_ABOUT_FRAME_MS");

    EXPECT_EQ(animate.thread, nullptr);
    koStopAboutAnimation(&animate); // without a reel: nothing
    Sleep(10);
    EXPECT_TRUE(koTakeDrawings(page).empty()) << "nothing is drawn after the stop";
    EXPECT_EQ(koHandleCount(KoHandleKind::icon), icons);
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads);
    DestroyWindow(page);
}

TEST(Reel, OnlyAShorterWholeFrameTimeIsTaken) {
    for (auto [value, ms] :
         {std::pair<const char*, uint32_t>{"20", 20}, {"501", 500}, {"0", 500}, {"2x", 500}}) {
        setenv("KO_ABOUT_FRAME_MS", value, 1);
        EXPECT_EQ(koAboutFrameMilliseconds(), ms) << value;
    }
    unsetenv("KO_ABOUT_FRAME_MS");
    EXPECT_EQ(koAboutFrameMilliseconds(), 500u);
}

class AboutPage : public ::testing::Test {
protected:
    void SetUp() override {
        kotest::useBuildResources();
        // unixODBC's installer caches its answers and cannot give them back once unloaded; it stays
        // loaded, as in every process that runs a driver manager.
        static HMODULE installer = LoadLibraryA("libodbcinst.so.2");
        (void)installer;
    }
    std::string text(HWND page, int id) {
        char buffer[512] = "";
        GetDlgItemTextA(page, id, buffer, sizeof buffer);
        return buffer;
    }
    kotest::ScriptedUser user;
    kotest::OdbcSandbox sandbox;
};

TEST_F(AboutPage, ShowsTheDriverOfTheDataSourceOrOfItsDriverDescription) {
    auto file = [&](const std::string& name, size_t size) {
        std::string path = sandbox.privateDir() + "/" + name;
        kotest::writeFile(path, std::string(size, 'x'));
        struct utimbuf t {
            1614859200, 1614859200
        }; // 2021-03-04 12:00 UTC
        utime(path.c_str(), &t);
        return path;
    };
    std::string own = file("vzbtr20.so", 1234), other = file("xyz.so", 0),
                gone = sandbox.privateDir() + "/vzx.so";
    kotest::writeFile(sandbox.odbcinstIniPath(), kotest::readFile(sandbox.odbcinstIniPath()) +
                                                     "[Own]\nDriver=" + own + "\n[Other]\nDriver=" + other +
                                                     "\n");
    const std::string kept = "template";
    struct Case {
        const char *dsn, *stored, *driverDesc;
        std::string path, date, size;
        bool ownDriver;
    } cases[] = {
        {"A", own.c_str(), "Other", own, "03/04/2021", "1234 bytes", true}, // a path
        {"B", "Own", "Other", own, "03/04/2021", "1234 bytes", true},       // a driver's description
        {"C", "", "Other", other, "03/04/2021", kept, false},               // none: the request's driver
        {"D", "libnone.so", "Own", "libnone.so", kept, kept, false},        // no such description
        {"E", gone.c_str(), "Own", gone, kept, kept, true},                 // no such file
        {"", "", "Own", own, "03/04/2021", "1234 bytes", true},             // a new data source
        {"F", "", "Unknown", kept, kept, kept, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("data source ") + c.dsn);
        if (*c.stored) {
            ASSERT_TRUE(sandbox.writeString(c.dsn, "Driver", c.stored));
        }
        DSNInfoStruct info(nullptr, ODBC_CONFIG_DSN, U(c.driverDesc), nullptr, setupInfoTable,
                           setupInfoTableCount);
        info.origDSN = ramAllocStr(U(c.dsn));
        HWND page = CreateDialogParamA(
            resourceModule, MAKEINTRESOURCEA(10), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        for (int id : {605, 607, 608, 609, 616, 610, 611})
            SetDlgItemTextA(page, id, kept.c_str());
        EXPECT_EQ(BaseInitAboutDialog(page, &info), koSuccess);
        EXPECT_EQ(text(page, 605), c.path);
        EXPECT_EQ(text(page, 607), c.date);
        EXPECT_EQ(text(page, 608), c.size);
        for (int id = 612; id <= 615; ++id)
            EXPECT_EQ((GetWindowLongA(GetDlgItem(page, id), GWL_STYLE) & WS_VISIBLE) != 0, c.ownDriver) << id;
        EXPECT_EQ(text(page, 609).find("btrsetup") != std::string::npos, c.ownDriver);
        EXPECT_EQ(text(page, 611) == kept, !c.ownDriver);
        DestroyWindow(page);
    }
}

TEST_F(AboutPage, AsANestedDialogItTakesTheRecordItselfAndStartsNoReel) {
    DSNInfoStruct info(nullptr, ODBC_CONFIG_DSN, U(kotest::OdbcSandbox::driverName), nullptr, setupInfoTable,
                       setupInfoTableCount);
    info.origDSN = ramAllocStr(U(""));
    HWND before = aboutSheetWnd;
    for (const char* action : {"sleep 30", "drawings 0", "dump", "click 2"})
        ASSERT_TRUE(koScriptPush(action));
    EXPECT_EQ(dllDialogBox(nullptr, 10, AboutDlgProc, &info), koSuccess);
    std::string transcript;
    for (const std::string& l : koScriptTakeTranscript())
        transcript += l + "\n";
    EXPECT_NE(transcript.find("end dialog template=10 result=2"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("drawings id=0 count=0"), std::string::npos) << "never activated as a page";
    EXPECT_NE(transcript.find("text=\"" + kotest::buildLib("ztbtr20.so") + "\""), std::string::npos);
    EXPECT_NE(transcript.find("text=\"05.00.0011 (B0010, U0007, F0010)\""), std::string::npos);
    EXPECT_EQ(aboutSheetWnd, before) << "a dialog's owner is no sheet";
}

TEST_F(AboutPage, TestConnectAnnouncesTheConnectionAndWritesNothing) {
    std::string list = kotest::attributeList({"DSN=Conn", "Database=" + sandbox.privateDir()});
    DSNInfoStruct info(GetDesktopWindow(), ODBC_ADD_DSN, U(kotest::OdbcSandbox::driverName), U(list.c_str()),
                       setupInfoTable, setupInfoTableCount);
    uint16_t show = 0;
    ASSERT_NE(info.config(&show), 0u);
    HWND page = CreateDialogParamA(resourceModule, MAKEINTRESOURCEA(10), nullptr, AboutDlgProc,
                                   reinterpret_cast<LPARAM>(&info));
    aboutSheetWnd = nullptr;
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(319, BN_CLICKED), 0);
    std::vector<KoShownBox> boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text + "|" + boxes[0].caption, "Connection established!|Test Connect");
    EXPECT_EQ(boxes[0].style, UINT(MB_OK));
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(inTestConnect, 0);
    EXPECT_EQ(sandbox.readOdbcIni().count("Conn"), 0u);
    DestroyWindow(page);
}

} // namespace
