// The About page in the sheet that unixODBC's SQLConfigDataSource runs, driven by a script file and
// checked by its transcript: one reel per visit, each ended before the next page shows, none left
// when the sheet is gone, and what the page shows of the installed driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "tests/setup/aboutreel.h"
#include "tests/support/odbcsandbox.h"

namespace {

size_t threadsOfThisProcess() {
    auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return size_t(std::distance(begin(tasks), end(tasks)));
}

TEST(AboutRoad, ThreeVisitsRunThreeReelsOneAfterTheOther) {
    kotest::OdbcSandbox sandbox;
    std::string script = sandbox.privateDir() + "/script", transcript = sandbox.privateDir() + "/transcript";
    std::string actions;
    for (int visit = 0; visit < 3; ++visit)
        actions += "page 2\nsleep 100\ndrawings 0\npage 0\n";
    kotest::writeFile(script, actions + "page 2\ndump\nclick 1\n");
    setenv("KO_UI", "script", 1);
    setenv("KO_UI_SCRIPT", script.c_str(), 1);
    setenv("KO_UI_TRANSCRIPT", transcript.c_str(), 1);
    setenv("KO_ABOUT_FRAME_MS", "20", 1);
    std::thread([] {}).join(); // a sanitizer's helper thread, started with the first thread, is counted now
    size_t threads = threadsOfThisProcess();
    static int toolkitWindow;
    ASSERT_TRUE(sandbox.configDataSource(ODBC_ADD_DSN, kotest::OdbcSandbox::driverName,
                                         kotest::attributeList({"DSN=Visited"}),
                                         reinterpret_cast<HWND>(&toolkitWindow)))
        << kotest::readFile(transcript);
    EXPECT_EQ(sandbox.storedValue("Visited", "ArraySize"), "4096") << "OK on the About page saves";

    std::vector<std::string> ops;
    std::string dump, captures;
    std::istringstream in(kotest::readFile(transcript));
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("draw id=0 op=\"", 0) == 0) ops.push_back(l.substr(14, l.size() - 15));
        if (l.rfind("drawings id=0 ", 0) == 0) captures += "|";
        if (l.rfind("control id=6", 0) == 0) dump += l + "\n";
    }
    EXPECT_EQ(captures, "|||");
    // The fourth visit's frames were never taken; the first three visits' are whole, in turn.
    EXPECT_EQ(reeltest::runs(ops, true).size(), 3u);
    for (int i = 0; i < 100 && threadsOfThisProcess() != threads; ++i)
        Sleep(10);
    EXPECT_EQ(threadsOfThisProcess(), threads) << "no reel outlives the sheet";

    EXPECT_NE(dump.find("id=605 class=STATIC text=\"" + kotest::buildLib("ztbtr20.so") + "\""),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("id=606 class=STATIC text=\"05.00.0011 (B0010, U0007, F0010)\" enabled=1 visible=1"),
              std::string::npos);
    EXPECT_NE(dump.find("id=612 class=STATIC text=\"Driver:\" enabled=1 visible=0"), std::string::npos)
        << "ztbtr20 is not one of the VZ drivers";
    for (const char* v : {"KO_UI", "KO_UI_SCRIPT", "KO_UI_TRANSCRIPT", "KO_ABOUT_FRAME_MS"})
        unsetenv(v);
}

} // namespace
