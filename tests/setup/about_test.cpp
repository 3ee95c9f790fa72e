// The About page: the icon reel frame by frame and its thread's lifetime, what the page shows of the
// installed driver, and the page inside the sheet, as a nested dialog and under Test Connect.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utime.h>
#include <vector>

#include "foundation/foundation.h"
#include "platform/handle.h"
#include "platform/win32.h"
#include "setup/aboutanimation.h"
#include "setup/pages.h"
#include "setup/setup.h"
#include "tests/setup/aboutreel.h"
#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

// The frame time of the reel for one test.
class FrameTime {
public:
    explicit FrameTime(const char* ms) { setenv("KO_ABOUT_FRAME_MS", ms, 1); }
    ~FrameTime() { unsetenv("KO_ABOUT_FRAME_MS"); }
};

class Reel : public ::testing::Test {
protected:
    void SetUp() override {
        resources = LoadLibraryA(kotest::buildLib("ztbtr20R.so").c_str());
        ASSERT_NE(resources, nullptr);
        page = CreateWindowExA(0, "STATIC", "About", 0, 0, 0, 600, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(page, nullptr);
    }
    void TearDown() override {
        DestroyWindow(page);
        FreeLibrary(resources);
    }
    HMODULE resources = nullptr;
    HWND page = nullptr;
    KoAboutDlgAnimate animate;
};

TEST_F(Reel, FramesScrollTheIconsAndStopOnAFrameBoundary) {
    FrameTime fast("2");
    uint32_t icons = koHandleCount(KoHandleKind::icon), dcs = koHandleCount(KoHandleKind::dc),
             threads = koHandleCount(KoHandleKind::thread);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resources, page));
    EXPECT_EQ(animate.window, page);
    EXPECT_EQ(animate.instance, resources);
    // Run past frame 32, where the picture begins again.
    std::vector<std::string> ops;
    for (int i = 0; i < 400 && ops.size() < 40 * 5; ++i) {
        Sleep(5);
        for (std::string& op : koTakeDrawings(page))
            ops.push_back(op);
    }
    koStopAboutAnimation(&animate);
    EXPECT_EQ(animate.thread, nullptr);
    for (std::string& op : koTakeDrawings(page))
        ops.push_back(op);

    std::string why;
    std::vector<unsigned> runs = reeltest::runs(ops, false, &why);
    // Frame 32 repeats frame 0: one run of more than 32 frames reads as two, back to back.
    ASSERT_FALSE(runs.empty()) << why;
    unsigned frames = 0;
    for (unsigned r : runs)
        frames += r;
    EXPECT_GE(frames, 40u);
    for (size_t i = 0; i + 1 < runs.size(); ++i)
        EXPECT_EQ(runs[i], 32u) << "only where the picture repeats";

    // Stopped means stopped: nothing more is drawn, and every handle of the reel went back.
    Sleep(20);
    EXPECT_TRUE(koTakeDrawings(page).empty());
    EXPECT_EQ(koHandleCount(KoHandleKind::icon), icons);
    EXPECT_EQ(koHandleCount(KoHandleKind::dc), dcs);
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads);
}

TEST_F(Reel, LeavingWaitsForTheThreadWithinOneFrame) {
    FrameTime slow("300");
    uint32_t threads = koHandleCount(KoHandleKind::thread);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resources, page));
    Sleep(50);
    auto start = std::chrono::steady_clock::now();
    koStopAboutAnimation(&animate);
    auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LE(waited.count(), 300 + 200) << "the stop is seen after the frame's sleep";
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads);
    std::string why;
    EXPECT_EQ(reeltest::runs(koTakeDrawings(page), false, &why), std::vector<unsigned>{1}) << why;
    // Stopping again, or with no reel at all, does nothing.
    koStopAboutAnimation(&animate);
}

TEST_F(Reel, StartingAgainReplacesTheRunningReel) {
    FrameTime fast("5");
    uint32_t threads = koHandleCount(KoHandleKind::thread);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resources, page));
    Sleep(12);
    ASSERT_TRUE(koStartAboutAnimation(&animate, resources, page));
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads + 1) << "one reel at a time";
    Sleep(12);
    koStopAboutAnimation(&animate);
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads);
    std::string why;
    EXPECT_EQ(reeltest::runs(koTakeDrawings(page), false, &why).size(), 2u) << why;
}

TEST(ReelFrameTime, OnlyAShorterWholeNumberIsTaken) {
    struct Case {
        const char* value;
        uint32_t ms;
    } cases[] = {{nullptr, 500}, {"20", 20},  {"500", 500}, {"501", 500},           {"0", 500},
                 {"-5", 500},    {"2x", 500}, {"", 500},    {"99999999999999", 500}};
    for (const Case& c : cases) {
        if (c.value)
            setenv("KO_ABOUT_FRAME_MS", c.value, 1);
        else
            unsetenv("KO_ABOUT_FRAME_MS");
        EXPECT_EQ(koAboutFrameMilliseconds(), c.ms) << (c.value ? c.value : "unset");
    }
    unsetenv("KO_ABOUT_FRAME_MS");
}

// What the page shows of the installed driver, read through the profiles as the page reads them.
class AboutInfo : public ::testing::Test {
protected:
    void SetUp() override { kotest::useBuildResources(); }
    // A fresh page of the About template whose texts are marked, so what is not filled shows.
    void makePage() {
        page = CreateDialogParamA(resourceModule, MAKEINTRESOURCEA(10), nullptr, quietProc, 0);
        ASSERT_NE(page, nullptr);
        for (int id : {605, 607, 608, 609, 616, 610, 611})
            SetDlgItemTextA(page, id, "template");
    }
    static INT_PTR quietProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

    std::string text(int id) {
        char buffer[512] = "";
        GetDlgItemTextA(page, id, buffer, sizeof buffer);
        return buffer;
    }
    bool shown(int id) { return (GetWindowLongA(GetDlgItem(page, id), GWL_STYLE) & WS_VISIBLE) != 0; }
    // A driver file of size bytes, last written on 4 March 2021.
    std::string driverFile(const std::string& name, size_t size) {
        std::string path = sandbox.privateDir() + "/" + name;
        kotest::writeFile(path, std::string(size, 'x'));
        struct utimbuf t {
            1614859200, 1614859200
        }; // 2021-03-04 12:00 UTC
        utime(path.c_str(), &t);
        return path;
    }
    void registerDriver(const std::string& description, const std::string& path) {
        std::string ini = kotest::readFile(sandbox.odbcinstIniPath());
        kotest::writeFile(sandbox.odbcinstIniPath(), ini + "[" + description + "]\nDriver=" + path + "\n");
    }
    OdbcSandbox sandbox;
    HWND page = nullptr;
};

TEST_F(AboutInfo, PathDateAndSizeComeFromTheDataSourceOrItsDriver) {
    std::string own = driverFile("vzbtr20.so", 1234);
    std::string other = driverFile("xyz.so", 0);
    std::string missing = sandbox.privateDir() + "/gone/vzgone.so";
    registerDriver("Own Driver", own);
    registerDriver("Other Driver", other);
    registerDriver("Missing Driver", missing);
    struct Case {
        const char* what;
        const char* dsn;
        std::string storedDriver; // the data source's "Driver" entry, "" for none
        const char* driverDesc;
        std::string path, date, size;
        bool ownDriver;
    } cases[] = {
        {"a path in the data source", "A", own, "Other Driver", own, "03/04/2021", "1234 bytes", true},
        {"a driver's description in the data source", "B", "Own Driver", "Other Driver", own, "03/04/2021",
         "1234 bytes", true},
        {"no entry: the request's driver", "C", "", "Other Driver", other, "03/04/2021", "template", false},
        {"a description that names no driver is kept", "D", "libunknown.so", "Own Driver", "libunknown.so",
         "template", "template", false},
        {"a missing file", "E", missing, "Own Driver", missing, "template", "template", true},
        {"a new data source", "", "", "Own Driver", own, "03/04/2021", "1234 bytes", true},
        {"nothing anywhere", "F", "", "No Such Driver", "template", "template", "template", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.storedDriver.empty()) {
            ASSERT_TRUE(sandbox.writeString(c.dsn, "Driver", c.storedDriver));
        }
        DSNInfoStruct info(nullptr, ODBC_CONFIG_DSN, U(c.driverDesc), nullptr, setupInfoTable,
                           setupInfoTableCount);
        info.origDSN = ramAllocStr(U(c.dsn));
        makePage();
        EXPECT_EQ(BaseInitAboutDialog(page, &info), koSuccess);
        EXPECT_EQ(text(605), c.path);
        EXPECT_EQ(text(607), c.date);
        EXPECT_EQ(text(608), c.size);
        for (int id = 612; id <= 615; ++id)
            EXPECT_EQ(shown(id), c.ownDriver) << id;
        if (c.ownDriver) {
            EXPECT_NE(text(609).find("btrsetup"), std::string::npos);
            for (int id : {616, 610, 611})
                EXPECT_NE(text(id), "template") << id;
        } else {
            for (int id : {609, 616, 610, 611})
                EXPECT_EQ(text(id), "template") << id;
        }
        DestroyWindow(page);
    }
}

// ConfigDSN below runs in this program's copy of the module, attached (with the built module's
// instance, so the resource library is found) by the program's environment in configdsn_test.cpp.
class AboutPage : public ::testing::Test {
protected:
    std::vector<std::string> lines(const char* prefix) {
        std::vector<std::string> out;
        for (const std::string& l : transcript)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    bool has(const std::string& line) {
        for (const std::string& l : transcript)
            if (l == line) return true;
        return false;
    }
    // The last dump of control id, "" when none was written.
    std::string control(int id) {
        std::vector<std::string> dumps = lines(("control id=" + std::to_string(id) + " ").c_str());
        return dumps.empty() ? "" : dumps.back();
    }
    // The drawing operations of the transcript, in order.
    std::vector<std::string> drawn() {
        std::vector<std::string> ops;
        for (const std::string& l : lines("draw id=0 op=\"")) {
            size_t at = l.find("op=\"") + 4;
            ops.push_back(l.substr(at, l.size() - at - 1));
        }
        return ops;
    }
    void push(std::initializer_list<const char*> actions) {
        for (const char* a : actions)
            ASSERT_TRUE(koScriptPush(a)) << a;
    }
    kotest::ScriptedUser user;
    OdbcSandbox sandbox;
    std::vector<std::string> transcript;
};

TEST_F(AboutPage, EachVisitRunsOneReelThatEndsWhenThePageIsLeft) {
    FrameTime fast("10");
    uint32_t threads = koHandleCount(KoHandleKind::thread);
    for (int visit = 0; visit < 3; ++visit)
        push({"page 2", "sleep 60", "drawings 0", "page 0"});
    push({"page 2", "dump", "click 2"});
    HWND owner = CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    std::string list = attributeList({"DSN=Reel"});
    EXPECT_FALSE(ConfigDSN(owner, ODBC_ADD_DSN, OdbcSandbox::driverName, list.c_str())) << "cancelled";
    transcript = koScriptTakeTranscript();
    EXPECT_EQ(koHandleCount(KoHandleKind::thread), threads) << "no reel outlives the sheet";
    DestroyWindow(owner);

    ASSERT_EQ(lines("drawings id=0").size(), 3u);
    // The fourth visit's frames were never taken: the first three visits' are whole, in turn.
    std::string why;
    std::vector<unsigned> runs = reeltest::runs(drawn(), true, &why);
    ASSERT_EQ(runs.size(), 3u) << why;
    for (unsigned r : runs)
        EXPECT_GE(r, 1u);

    EXPECT_NE(control(606).find("text=\"05.00.0011 (B0010, U0007, F0010)\""), std::string::npos)
        << control(606);
    EXPECT_NE(control(605).find("text=\"" + kotest::buildLib("ztbtr20.so") + "\""), std::string::npos)
        << "the registered driver library: " << control(605);
    EXPECT_NE(control(612).find("visible=0"), std::string::npos) << "ztbtr20 is not one of the VZ drivers";
    EXPECT_NE(control(609).find("visible=1"), std::string::npos) << control(609);
    EXPECT_TRUE(koScriptTakeShownBoxes().empty());
}

TEST_F(AboutPage, AsANestedDialogItTakesTheRecordAndEndsWithItsCommand) {
    kotest::useBuildResources();
    DSNInfoStruct info(nullptr, ODBC_CONFIG_DSN, U(OdbcSandbox::driverName), nullptr, setupInfoTable,
                       setupInfoTableCount);
    info.origDSN = ramAllocStr(U(""));
    HWND before = aboutSheetWnd;
    push({"sleep 30", "drawings 0", "dump", "click 2"});
    EXPECT_EQ(dllDialogBox(nullptr, 10, AboutDlgProc, &info), koSuccess);
    transcript = koScriptTakeTranscript();
    EXPECT_TRUE(has("end dialog template=10 result=2"));
    EXPECT_TRUE(has("drawings id=0 count=0")) << "a nested dialog is never activated as a page";
    EXPECT_EQ(info.aboutAnimate.thread, nullptr);
    EXPECT_EQ(aboutSheetWnd, before) << "a dialog's owner is no sheet";
    EXPECT_NE(control(605).find(kotest::buildLib("ztbtr20.so")), std::string::npos) << control(605);
    EXPECT_NE(control(606).find("05.00.0011"), std::string::npos) << control(606);
}

TEST_F(AboutPage, TestConnectAnnouncesTheConnection) {
    kotest::useBuildResources();
    std::string list = attributeList({"DSN=Conn", "Database=" + sandbox.privateDir()});
    DSNInfoStruct info(GetDesktopWindow(), ODBC_ADD_DSN, U(OdbcSandbox::driverName), U(list.c_str()),
                       setupInfoTable, setupInfoTableCount);
    uint16_t show = 0;
    ASSERT_NE(info.config(&show), 0u);
    HWND page = CreateDialogParamA(resourceModule, MAKEINTRESOURCEA(10), nullptr, AboutDlgProc,
                                   reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(page, nullptr);
    aboutSheetWnd = nullptr;
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(319, BN_CLICKED), 0);
    std::vector<KoShownBox> boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Connection established!");
    EXPECT_EQ(boxes[0].caption, "Test Connect");
    EXPECT_EQ(boxes[0].style, UINT(MB_OK));
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(inTestConnect, 0);
    EXPECT_EQ(sandbox.readOdbcIni().count("Conn"), 0u) << "a test writes nothing";
    DestroyWindow(page);
}

} // namespace
