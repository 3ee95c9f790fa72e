// The About page of the sheet that unixODBC's SQLConfigDataSource runs, driven by a script file and
// checked by its transcript: the reel's frames, one reel per visit, none left when the sheet is gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/setup/aboutreel.h"
#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

size_t threadsOfThisProcess() {
    size_t n = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

class AboutRoad : public ::testing::Test {
protected:
    void SetUp() override {
        script = sandbox.privateDir() + "/script";
        transcriptPath = sandbox.privateDir() + "/transcript";
        setenv("KO_UI", "script", 1);
        setenv("KO_UI_SCRIPT", script.c_str(), 1);
        setenv("KO_UI_TRANSCRIPT", transcriptPath.c_str(), 1);
    }
    void TearDown() override {
        for (const char* v : {"KO_UI", "KO_UI_SCRIPT", "KO_UI_TRANSCRIPT", "KO_ABOUT_FRAME_MS"})
            unsetenv(v);
    }
    BOOL run(const std::string& dsn, const std::string& actions) {
        kotest::writeFile(script, actions);
        static int toolkitWindow;
        return sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList({"DSN=" + dsn}),
                                        reinterpret_cast<HWND>(&toolkitWindow));
    }
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> out;
        std::istringstream in(kotest::readFile(transcriptPath));
        for (std::string l; std::getline(in, l);)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    std::vector<std::string> drawn() const {
        std::vector<std::string> ops;
        for (const std::string& l : lines("draw id=0 op=\"")) {
            size_t at = l.find("op=\"") + 4;
            ops.push_back(l.substr(at, l.size() - at - 1));
        }
        return ops;
    }
    OdbcSandbox sandbox;
    std::string script, transcriptPath;
};

TEST_F(AboutRoad, ThreeVisitsRunThreeReelsOneAfterTheOther) {
    setenv("KO_ABOUT_FRAME_MS", "20", 1);
    size_t threads = threadsOfThisProcess();
    std::string actions;
    for (int visit = 0; visit < 3; ++visit)
        actions += "page 2\nsleep 100\ndrawings 0\npage 0\n";
    actions += "page 2\nclick 1\n";
    ASSERT_TRUE(run("Visited", actions)) << kotest::readFile(transcriptPath);
    EXPECT_EQ(sandbox.storedValue("Visited", "ArraySize"), "4096") << "OK on the About page saves";

    ASSERT_EQ(lines("drawings id=0 ").size(), 3u);
    std::string why;
    std::vector<unsigned> runs = reeltest::runs(drawn(), true, &why);
    ASSERT_EQ(runs.size(), 3u) << why;
    // The reels' threads end before the pages are left; the last one before the sheet closes.
    for (int i = 0; i < 100 && threadsOfThisProcess() != threads; ++i)
        Sleep(10);
    EXPECT_EQ(threadsOfThisProcess(), threads) << "no reel outlives the sheet";
}

TEST_F(AboutRoad, AFrameEveryHalfSecond) {
    ASSERT_FALSE(run("Slow", "page 2\nsleep 1250\ndrawings 0\nclick 2\n"));
    std::string why;
    std::vector<unsigned> runs = reeltest::runs(drawn(), false, &why);
    ASSERT_EQ(runs.size(), 1u) << why;
    // Frames at 0, 500 and 1000 milliseconds; a busy machine may still be in the third one's sleep.
    EXPECT_GE(runs[0], 2u);
    EXPECT_LE(runs[0], 3u);
    std::vector<std::string> expected = reeltest::frame(0);
    for (const std::string& op : reeltest::frame(1))
        expected.push_back(op);
    std::vector<std::string> ops = drawn();
    ops.resize(expected.size());
    EXPECT_EQ(ops, expected);
}

} // namespace
