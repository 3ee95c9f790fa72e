// The help display: the help set's address, browser detection from the ".htm" class, the exchanges
// with a browser that answers DDE, and the browser started when none answers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "foundation/errors/ramalloc.h"
#include "foundation/ui/kohelp.h"
#include "foundation/ui/kohelpstate.h"
#include "platform/system.h"
#include "platform/window.h"
#include "tests/help/helptest.h"
#include "tests/support/odbcsandbox.h"

namespace {

using helptest::FakeBrowser;
using helptest::HelpSandbox;
using helptest::OpenerRun;

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

std::string entryAddress(const std::string& directory) {
    unsigned char out[kHelpAddressSize];
    koHelpEntryAddress(u(directory.c_str()), out, sizeof out);
    return reinterpret_cast<char*>(out);
}

// The JavaScript form as a browser of the family (or another) is sent it, written out by hand.
std::string scriptOf(const std::string& escaped, bool netscape) {
    return "javascript:x=unescape('" + escaped +
           "');if(typeof "
           "window.WWHFrame!='undefined'){window.WWHFrame.WWHHelp.fSetContextDocument(x);}else{" +
           (netscape
                ? R"(y=eval("document.open();document.writeln('<a href=\\""+x+"\\">"+x+"</a>');document.close();");)"
                : "location=x;") +
           "}";
}

const char kGeneral[] = "file:///srv/help/help.htm?context=ODBC&topic=btrgeneral&single=true";

void expectStateEnded(const HelpSandbox& sandbox) {
    const KoHelpState& s = koHelpState();
    EXPECT_EQ(s.baseAddress, nullptr);
    EXPECT_FALSE(s.ready);
    EXPECT_EQ(s.window, -1);
    EXPECT_EQ(sandbox.tempFiles(), std::vector<std::string>{}) << "the temporary file is removed at the end";
}

} // namespace

TEST(HelpAddress, EntryAddressIsAFileUrlOfTheFolder) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    struct Case {
        std::string directory, address;
    } cases[] = {
        {"/srv/help", "file:///srv/help/help.htm"},
        {"/srv/help//", "file:///srv/help/help.htm"},
        {"/", "file:///help.htm"},
        {"/opt/x help/a#b?c%d", "file:///opt/x%20help/a%23b%3Fc%25d/help.htm"},
        {"/q\"`\\<>", "file:///q%22%60%5C%3C%3E/help.htm"},
        {"/it's/$HOME;&(x)=~+,@!*", "file:///it's/$HOME;&(x)=~+,@!*/help.htm"},
        {"/caf\xC3\xA9", "file:///caf%C3%A9/help.htm"},
        {"rel/dir", std::string("file://") + cwd + "/rel/dir/help.htm"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(entryAddress(c.directory), c.address) << c.directory;
    unsigned char small[10];
    EXPECT_EQ(koHelpEntryAddress(u("/srv/help"), small, sizeof small), 25u) << "the full length";
    EXPECT_STREQ(reinterpret_cast<char*>(small), "file:///s") << "cut to the buffer";
}

TEST(HelpAddress, JavaScriptFormEscapesTheAddress) {
    koHelpResetBrowser();
    const char* address = "file:///a b/\"q\"%'&\\?x=1";
    const std::string escaped = "file:///a b/%22q%22%25%27%26%5c%3fx=1";
    unsigned char* plain = koHelpJavaScriptForm(u(address));
    EXPECT_EQ(reinterpret_cast<char*>(plain), scriptOf(escaped, false));
    ramFree(plain);
    koHelpState().netscapeFamily = true;
    unsigned char* netscape = koHelpJavaScriptForm(u(address));
    EXPECT_EQ(reinterpret_cast<char*>(netscape), scriptOf(escaped, true));
    ramFree(netscape);
    koHelpResetBrowser();
}

TEST(HelpFindRoot, ReadsTheDriversHelpFolder) {
    kotest::OdbcSandbox odbc;
    kotest::useBuildResources();
    kotest::ScriptedUser user;
    unsigned char buffer[kHelpAddressSize];
    unsigned char* address = buffer;
    EXPECT_EQ(koFindHelpRoot(u(odbc.driverName), nullptr, sizeof buffer), koFailure);
    EXPECT_EQ(koFindHelpRoot(u(odbc.driverName), &address, 0), koFailure);
    EXPECT_TRUE(koScriptTakeShownBoxes().empty()) << "a missing buffer is no reason to bother the user";

    // Not registered (or no driver named): the user is told what to set and where.
    EXPECT_EQ(koFindHelpRoot(nullptr, &address, sizeof buffer), koFailure);
    EXPECT_EQ(koFindHelpRoot(u(odbc.driverName), &address, sizeof buffer), koFailure);
    auto boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, boxes[0].text);
    EXPECT_EQ(boxes[0].caption, "ODBC Btrieve Driver Help");
    EXPECT_NE(boxes[0].text.find("HelpRootDirectory"), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("odbcinst.ini"), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("btrdsn install"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].style, UINT(MB_OK));
    EXPECT_EQ(boxes[0].owner, nullptr);

    kotest::writeFile(odbc.odbcinstIniPath(),
                      kotest::readFile(odbc.odbcinstIniPath()) + "HelpRootDirectory=/usr/share/my help\n");
    EXPECT_EQ(koFindHelpRoot(u(odbc.driverName), &address, sizeof buffer), koSuccess);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "file:///usr/share/my%20help/help.htm");
    EXPECT_EQ(koFindHelpRoot(u(odbc.driverName), &address, 12), koSuccess);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "file:///usr") << "cut to size";
    EXPECT_TRUE(koScriptTakeShownBoxes().empty());
}

TEST(HelpDisplay, NoHelpFolderShowsTheMessageAndNothingElse) {
    kotest::OdbcSandbox odbc;
    HelpSandbox sandbox;
    kotest::useBuildResources();
    kotest::ScriptedUser user;
    sandbox.registerBrowser("htmlfile", "\"%1\"");
    koDisplayHelp(u(odbc.driverName), u("btrgeneral"));
    EXPECT_EQ(koScriptTakeShownBoxes().size(), 1u);
    usleep(100000);
    EXPECT_NE(access(sandbox.log().c_str(), F_OK), 0) << "no browser was started";
    expectStateEnded(sandbox);
}

TEST(HelpDetection, FromTheHtmClass) {
    HelpSandbox sandbox;
    KoHelpState& s = koHelpState();
    // The desktop's opener when the user has no class of their own: started, never asked over DDE.
    ASSERT_EQ(koHelpDetectBrowser(), koSuccess);
    EXPECT_STREQ(s.openCommand, "xdg-open \"%1\"");
    EXPECT_STREQ(s.ddeService, "");
    EXPECT_TRUE(s.detected);

    struct Case {
        const char* className;
        const char* command;     // null: no open command
        const char* application; // null: no ddeexec key
        KoStatus result;
        const char* service;
        bool family, longItems, explorer;
    } cases[] = {
        {"NetscapeMarkup", "netscape \"%1\"", nullptr, koSuccess, "NETSCAPE", true, true, false},
        {"MozillaHTML", "C:\\NETSCP6.EXE -url \"%1\"", nullptr, koSuccess, "Netscape6", true, false, false},
        {"MozillaHTML", "C:\\MOZILLA.EXE -url \"%1\"", nullptr, koSuccess, "Mozilla", true, false, false},
        {"MozillaHTML", "C:\\mozilla.exe -url \"%1\"", nullptr, koSuccess, "", true, false, false},
        {"netscapemarkup", "netscape \"%1\"", nullptr, koSuccess, "", false, false, false},
        {"htmlfile", "iexplore \"%1\"", "IExplore", koSuccess, "IExplore", false, false, true},
        {"NetscapeMarkup", "netscape \"%1\"", "Other", koSuccess, "Other", true, true, false},
        {"Opera", "opera \"%1\"", "iexplore", koSuccess, "iexplore", false, false, false},
        {"NoCommand", nullptr, nullptr, koFailure, "", false, false, false},
    };
    for (const Case& c : cases) {
        HelpSandbox fresh;
        fresh.setClassValue(".htm", c.className);
        if (c.command) fresh.setClassValue(std::string(c.className) + "\\shell\\open\\command", c.command);
        if (c.application)
            fresh.setClassValue(std::string(c.className) + "\\shell\\open\\ddeexec\\Application",
                                c.application);
        EXPECT_EQ(koHelpDetectBrowser(), c.result) << c.className;
        if (c.result != koSuccess) continue;
        EXPECT_STREQ(s.ddeService, c.service) << c.className;
        EXPECT_EQ(s.netscapeFamily, c.family) << c.className;
        EXPECT_EQ(s.longItemFile, c.longItems) << c.className;
        EXPECT_EQ(s.internetExplorer, c.explorer) << c.className;
        EXPECT_STREQ(s.openCommand, c.command);
    }
    koHelpResetBrowser();
}

TEST(HelpDisplay, SteersANetscapeBrowserOverDde) {
    HelpSandbox sandbox;
    sandbox.registerBrowser("NetscapeMarkup", "\"%1\"");
    FakeBrowser browser("NETSCAPE");
    browser.answerOpen(7);
    koDisplayHelp2(u("/srv/help"), u("ODBC"), u("btrgeneral"));
    auto e = browser.exchanges();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].topic + " " + e[0].item, "WWW_Version WWW_Version");
    // The script is longer than a DDE item may be: it travels through the temporary file.
    EXPECT_EQ(e[1].topic, "WWW_OpenURL");
    EXPECT_EQ(e[1].item.substr(0, 2), "\"^");
    EXPECT_NE(e[1].item.find("/wwh"), std::string::npos) << e[1].item;
    EXPECT_EQ(e[1].item.substr(e[1].item.size() - 7), "\",,-1,3") << "any window, on a fresh request";
    EXPECT_EQ(e[1].fileContent,
              scriptOf("file:///srv/help/help.htm%3fcontext=ODBC%26topic=btrgeneral%26single=true", true));
    EXPECT_EQ(e[2].topic + " " + e[2].item, "WWW_Activate 7,0");
    usleep(100000);
    EXPECT_NE(access(sandbox.log().c_str(), F_OK), 0) << "a browser that answered is not started again";
    expectStateEnded(sandbox);

    // The next request asks for any window again.
    browser.answerOpen(8);
    koDisplayHelp2(u("/srv/help"), u("ODBC"), u("btradvanced"));
    e = browser.exchanges();
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[4].item.substr(e[4].item.size() - 7), "\",,-1,3");
    EXPECT_EQ(e[5].item, "8,0");
}

TEST(HelpDisplay, OpenAnswers) {
    HelpSandbox sandbox;
    sandbox.registerBrowser("MozillaHTML", "\"%1\"", "Mozilla");
    FakeBrowser browser("Mozilla");
    KoHelpState& s = koHelpState();
    ASSERT_EQ(koHelpStart(u("file:///h/help.htm")), koSuccess);
    ASSERT_EQ(koHelpDetectBrowser(), koSuccess);
    const unsigned char* address = u("file:///h/help.htm?single=true");

    // A window that is gone (answer 0) makes one more open for any window.
    s.window = 5;
    browser.answerOpen(0);
    browser.answerOpen(9);
    EXPECT_TRUE(koHelpDdeOpen(address));
    EXPECT_EQ(s.window, 9);
    auto e = browser.exchanges();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].item, "\"file:///h/help.htm?single=true\",,5,3");
    EXPECT_EQ(e[1].item, "\"file:///h/help.htm?single=true\",,-1,3");

    struct Case {
        int32_t window;
        std::string raw; // used when not empty
        size_t requests;
    } failures[] = {
        {0, "", 1},      // no window for "any window"
        {-1, "", 1},     // refused
        {0, "abc", 1},   // not a window number
        {0, "12345", 1}, // not a window number either
        {9, "", 2},      // a window gone twice: one retry only (the second answer is 0 too)
    };
    for (const Case& c : failures) {
        size_t before = browser.exchanges().size();
        s.window = c.window == 9 ? 9 : -1;
        if (c.window == 9) {
            browser.answerOpen(0);
            browser.answerOpen(0);
        } else if (c.raw.empty()) {
            browser.answerOpen(c.window);
        } else {
            browser.answerOpenBytes(c.raw);
        }
        EXPECT_FALSE(koHelpDdeOpen(address)) << c.window << " " << c.raw;
        EXPECT_EQ(browser.exchanges().size() - before, c.requests) << c.window << " " << c.raw;
    }

    // A long item fails without the temporary file, which this class does not use...
    std::string longAddress = "file:///" + std::string(260, 'x');
    size_t before = browser.exchanges().size();
    EXPECT_FALSE(koHelpDdeOpen(u(longAddress.c_str())));
    EXPECT_EQ(browser.exchanges().size(), before) << "nothing is asked";
    // ...and goes through it for NetscapeMarkup.
    s.longItemFile = true;
    s.window = -1;
    EXPECT_TRUE(koHelpDdeOpen(u(longAddress.c_str())));
    e = browser.exchanges();
    EXPECT_EQ(e.back().item, std::string("\"^") + s.tempFile + "\",,-1,3");
    EXPECT_EQ(e.back().fileContent, longAddress);
    // An item of exactly 255 characters still goes directly, one of 256 through the file.
    std::string edge(255 - 7, 'y');
    EXPECT_TRUE(koHelpDdeOpen(u(edge.c_str())));
    EXPECT_EQ(browser.exchanges().back().item, "\"" + edge + "\",,1,3");
    edge += 'y';
    EXPECT_TRUE(koHelpDdeOpen(u(edge.c_str())));
    EXPECT_EQ(browser.exchanges().back().item, std::string("\"^") + s.tempFile + "\",,1,3");
    koHelpEnd();
    expectStateEnded(sandbox);
}

TEST(HelpDisplay, StartsTheBrowserWhenNoneAnswers) {
    struct Case {
        const char* className;
        const char* application;
        const char* fakeService; // a browser that answers the version only
        const char* context;
        const char* topic;
        const char* expected;
    } cases[] = {
        // Nothing registered under the service: the browser is started on the plain address.
        {"NetscapeMarkup", nullptr, nullptr, "ODBC", "btrgeneral", kGeneral},
        // A browser without DDE.
        {"htmlfile", nullptr, nullptr, "ODBC", "btradvanced",
         "file:///srv/help/help.htm?context=ODBC&topic=btradvanced&single=true"},
        // Internet Explorer answers, but there is no shell window list to steer it through.
        {"htmlfile", "IExplore", "IExplore", "ODBC", "btrgeneral", kGeneral},
        // The script is too long for an item, and this browser takes no file.
        {"MozillaHTML", "Mozilla", "Mozilla", "ODBC", "btrgeneral", kGeneral},
        // Without a topic or a context: the entry page alone.
        {"htmlfile", nullptr, nullptr, "ODBC", "", "file:///srv/help/help.htm?single=true"},
        {"htmlfile", nullptr, nullptr, "", "btrgeneral", "file:///srv/help/help.htm?single=true"},
    };
    for (const Case& c : cases) {
        HelpSandbox sandbox;
        sandbox.registerBrowser(c.className, "\"%1\"", c.application ? c.application : "");
        std::unique_ptr<FakeBrowser> fake;
        if (c.fakeService) fake = std::make_unique<FakeBrowser>(c.fakeService);
        koDisplayHelp2(u("/srv/help"), u(c.context), u(c.topic));
        OpenerRun run;
        ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &run)) << c.className;
        EXPECT_EQ(run.args, std::vector<std::string>{c.expected}) << c.className;
        if (fake) {
            auto e = fake->exchanges();
            ASSERT_EQ(e.size(), 1u) << c.className;
            EXPECT_EQ(e[0].topic, "WWW_Version");
        }
        expectStateEnded(sandbox);
    }
}

TEST(HelpDisplay, ShellCharactersReachTheBrowserAsOneArgument) {
    HelpSandbox sandbox;
    for (const char* tail : {"\"%1\"", "%1", "", "--x \"%1\" --y"}) {
        unlink(sandbox.log().c_str());
        sandbox.registerBrowser("htmlfile", tail);
        std::string folder = "/tmp/it's $HOME;&(x) `id` \"q\" \\b\\";
        koDisplayHelp2(u(folder.c_str()), u("O'D\"B C"), u("$(id)`x`"));
        OpenerRun run;
        ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &run)) << tail;
        std::string address = entryAddress(folder) + "?context=O'D\"B C&topic=$(id)`x`&single=true";
        std::vector<std::string> expected{address};
        if (std::string(tail).find("--x") == 0) expected = {"--x", address, "--y"};
        EXPECT_EQ(run.args, expected) << tail;
    }
}

TEST(HelpDisplay, StartIsRefusedWhileARequestRuns) {
    HelpSandbox sandbox;
    rmdir(sandbox.dir().file("tmp").c_str()); // a temporary folder that is missing is made
    EXPECT_EQ(koHelpStart(u("")), koFailure);
    ASSERT_EQ(koHelpStart(u("file:///a/help.htm")), koSuccess);
    std::string tempFile = koHelpState().tempFile;
    EXPECT_EQ(sandbox.tempFiles().size(), 1u);
    EXPECT_EQ(koHelpStart(u("file:///b/help.htm")), koFailure);
    EXPECT_STREQ(reinterpret_cast<char*>(koHelpState().baseAddress), "file:///a/help.htm");
    EXPECT_EQ(koHelpState().tempFile, tempFile);
    koHelpEnd();
    expectStateEnded(sandbox);
}

TEST(HelpDisplay, MemoryFailuresLeaveNothingBehind) {
    HelpSandbox sandbox;
    sandbox.registerBrowser("NetscapeMarkup", "\"%1\"");
    FakeBrowser browser("NETSCAPE");
    size_t opened = 0;
    unsigned runs =
        kotest::forEachAllocationFailure([&] { koDisplayHelp2(u("/srv/help"), u("ODBC"), u("btrgeneral")); },
                                         [&](unsigned n, bool failed) {
                                             expectStateEnded(sandbox);
                                             size_t now = browser.exchanges().size();
                                             if (!failed) {
                                                 EXPECT_EQ(now - opened, 3u)
                                                     << "the run without a failure shows the topic";
                                             }
                                             opened = now;
                                             (void)n;
                                         });
    EXPECT_GT(runs, 3u);
}
