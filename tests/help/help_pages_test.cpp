// The driver's help set in a real browser (headless Chromium), registered by btrdsn install and
// opened by the help display.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ui/kohelp.h"
#include "foundation/ui/kohelpstate.h"
#include "tests/help/helptest.h"
#include "tests/support/odbcsandbox.h"

namespace {

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a command; its standard output, and its exit status in *status.
std::string run(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
        out.append(buffer, n);
    int rc = pclose(p);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string chromium() {
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (access(candidate, X_OK) == 0) return candidate;
    return "";
}

// The page's document after its scripts ran, as headless Chromium shows it.
std::string renderedPage(const std::string& address) {
    std::string browser = chromium();
    if (browser.empty()) {
        ADD_FAILURE()
            << "Chromium is needed to check the help pages and is not installed: install the Debian "
               "package chromium (scripts/install-deps.sh does)";
        return "";
    }
    kotest::TempDir profile;
    std::string command = "timeout 60 " + browser +
                          " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                          " --disable-background-networking --disable-component-update --disable-sync"
                          " --user-data-dir=" +
                          shellQuoted(profile.path()) + " --dump-dom " + shellQuoted(address) +
                          " 2>/dev/null";
    int status = -1;
    std::string dom = run(command, &status);
    EXPECT_EQ(status, 0) << command;
    return dom;
}

std::string sourceHelp() {
    char real[PATH_MAX];
    return realpath(KO_SOURCE_DIR "/help", real) ? real : KO_SOURCE_DIR "/help";
}

// The help set's entry address, as the help display forms it.
std::string entryAddress() {
    unsigned char out[kHelpAddressSize];
    koHelpEntryAddress(reinterpret_cast<const unsigned char*>(sourceHelp().c_str()), out, sizeof out);
    return reinterpret_cast<char*>(out);
}

} // namespace

TEST(HelpPages, EachTopicOpensAtItsHeading) {
    std::string entry = entryAddress();
    struct Case {
        const char* query;
        const char* heading;
    } cases[] = {
        {"?context=ODBC&topic=btrgeneral&single=true", "<h1 id=\"topic\">The General page</h1>"},
        {"?context=ODBC&topic=btradvanced&single=true", "<h1 id=\"topic\">The Advanced page</h1>"},
        {"?context=ODBC&topic=btrnothing&single=true", "This help has no topic"},
        {"?single=true", "<h1>ODBC Btrieve Driver Help</h1>"},
    };
    // One browser per page at once: each starts on its own profile.
    std::string doms[std::size(cases)];
    std::vector<std::thread> browsers;
    for (size_t i = 0; i < std::size(cases); ++i)
        browsers.emplace_back([&, i] { doms[i] = renderedPage(entry + cases[i].query); });
    for (std::thread& t : browsers)
        t.join();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_NE(doms[i].find(cases[i].heading), std::string::npos) << cases[i].query << "\n"
                                                                     << doms[i].substr(0, 400);
}

TEST(HelpPages, InstallRegistersTheHelpThatDisplayHelpOpens) {
    kotest::OdbcSandbox odbc;
    helptest::HelpSandbox sandbox;
    std::string btrdsn = shellQuoted(kotest::buildBin("btrdsn"));
    int status = -1;
    run("KO_HELP_DIR= " + btrdsn + " install --help-dir " + shellQuoted(sandbox.dir().path()) + " 2>&1",
        &status);
    EXPECT_EQ(status, 1) << "a folder without help.htm is refused";
    run("KO_HELP_DIR= " + btrdsn + " install >/dev/null 2>&1", &status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(kotest::readFile(odbc.odbcinstIniPath()).find("HelpRootDirectory=" + sourceHelp() + "\n"),
              std::string::npos)
        << "a build tree's btrdsn registers the source tree's help\n"
        << kotest::readFile(odbc.odbcinstIniPath());

    sandbox.registerBrowser("htmlfile", "\"%1\"");
    koDisplayHelp(reinterpret_cast<const unsigned char*>(odbc.driverName),
                  reinterpret_cast<const unsigned char*>("btradvanced"));
    helptest::OpenerRun opened;
    ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &opened));
    std::string address = entryAddress() + "?context=ODBC&topic=btradvanced&single=true";
    ASSERT_EQ(opened.args, std::vector<std::string>{address});
    EXPECT_NE(renderedPage(address).find("The Advanced page"), std::string::npos);
}
