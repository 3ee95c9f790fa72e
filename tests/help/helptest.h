#pragma once
// Test support of the help display: a private registry and temporary folder, the stand-in browser
// program that records how it was started, and a fake browser that answers DDE.
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dde.h"
#include "tests/support/support.h"

namespace helptest {

// What the stand-in browser recorded: its arguments (after the log file) and its situation.
struct OpenerRun {
    std::vector<std::string> args;
    std::map<std::string, std::string> facts; // cwd, echo, fds, session
};

// The stand-in browser program.
std::string openerPath();
// Waits (up to 10 seconds) for the stand-in's record in log; false when none came.
bool waitForOpener(const std::string& log, OpenerRun* run);

// A private registry (KO_REGISTRY_DIR) and temporary folder (TMPDIR) for one test; both restored
// at the end.
class HelpSandbox {
public:
    HelpSandbox();
    ~HelpSandbox();
    HelpSandbox(const HelpSandbox&) = delete;
    HelpSandbox& operator=(const HelpSandbox&) = delete;

    // Sets the default value of a key of the classes root.
    void setClassValue(const std::string& key, const std::string& value);
    // Registers className for ".htm" with an open command that runs the stand-in browser, with
    // commandTail after the log file (for example "\"%1\""), and optionally a DDE application.
    void registerBrowser(const std::string& className, const std::string& commandTail,
                         const std::string& ddeApplication = "");
    // The stand-in's log file of this sandbox.
    std::string log() const { return dir_.file("opener.log"); }
    // The help's files ("wwh" names) in the temporary folder; other programs' files do not count.
    std::vector<std::string> tempFiles() const;
    const kotest::TempDir& dir() const { return dir_; }

private:
    kotest::TempDir dir_;
    std::map<std::string, std::string> saved_;
};

// A browser that answers DDE under a service name and records every request it is asked.
class FakeBrowser {
public:
    struct Exchange {
        std::string topic, item;
        std::string fileContent; // for an item naming a file with "^": what the file held then
    };
    explicit FakeBrowser(const char* service);
    ~FakeBrowser();

    // Answers of the next open requests, in order: a window number, or raw bytes. Without a queued
    // answer an open gets window 1.
    void answerOpen(int32_t window);
    void answerOpenBytes(const std::string& bytes);
    // Whether version and activate requests are answered (yes by default).
    void answerVersion(bool yes) { answerVersion_ = yes; }

    std::vector<Exchange> exchanges();

private:
    static HDDEDATA callback(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item, HDDEDATA data,
                             ULONG_PTR, ULONG_PTR);
    HDDEDATA request(HSZ topic, HSZ item);

    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    std::mutex mutex_;
    std::vector<Exchange> exchanges_;
    std::deque<std::string> openAnswers_;
    bool answerVersion_ = true;
};

} // namespace helptest
