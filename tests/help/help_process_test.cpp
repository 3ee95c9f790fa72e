// Process creation as Windows does it: the command line split by Windows' rules, the program started
// directly with exactly those arguments, detached from its starter.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "foundation/errors/ramalloc.h"
#include "foundation/ui/kohelpstate.h"
#include "platform/process.h"
#include "platform/system.h"
#include "tests/help/helptest.h"

namespace {

using Args = std::vector<std::string>;

BOOL start(std::string commandLine, PROCESS_INFORMATION* pi, LPVOID environment = nullptr,
           const char* directory = nullptr, BOOL inherit = FALSE) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, inherit, 0, environment, directory,
                          &si, pi);
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

} // namespace

TEST(CommandLine, SplitsByWindowsRules) {
    struct Case {
        const char* line;
        Args expected;
    } cases[] = {
        {"prog", {"prog"}},
        {"prog a b", {"prog", "a", "b"}},
        {"  prog", {"", "prog"}}, // the program name ends at the first blank, even a leading one
        {"prog \t a\t\tb  ", {"prog", "a", "b"}},
        {"\"C:\\Program Files\\x.exe\" a", {"C:\\Program Files\\x.exe", "a"}},
        {"\"a\\\"b c", {"a\\", "b", "c"}}, // the program knows no escapes
        {"p \"a b\" c", {"p", "a b", "c"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p \\\"a", {"p", "\"a"}},
        {"p \\\\\"a b\"", {"p", "\\a b"}},
        {"p \\\\\\\"a", {"p", "\\\"a"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        {"p a\\", {"p", "a\\"}},
        {"p \"\"", {"p", ""}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p \"unterminated arg", {"p", "unterminated arg"}},
        {"p $HOME `id` ;|&<>", {"p", "$HOME", "`id`", ";|&<>"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(koCommandLineToArgv(c.line), c.expected) << "command line: " << c.line;
    EXPECT_TRUE(koCommandLineToArgv("").empty());
}

// The browser's command line made from any open command and any address splits back into the
// command's own arguments with the address, whole, in place of %1.
TEST(CommandLine, BrowserCommandCarriesAnyAddressAsOneArgument) {
    std::mt19937 random(20261208);
    const std::string alphabet = "ab/:%?&=\"\\ \t$`'*;|<>(){}~!#";
    struct Template {
        const char* command;
        Args before, after;
    } templates[] = {
        {"browser \"%1\"", {"browser"}, {}},
        {"browser %1", {"browser"}, {}},
        {"browser", {"browser"}, {}},
        {"\"/opt/my browser/run\" --new \"%1\" --end", {"/opt/my browser/run", "--new"}, {"--end"}},
        {"browser -url=\"%1\"", {"browser"}, {}},
    };
    for (int round = 0; round < 400; ++round) {
        std::string address;
        for (int n = random() % 12; n > 0; --n)
            address += alphabet[random() % alphabet.size()];
        for (const Template& t : templates) {
            unsigned char* command =
                koHelpBrowserCommand(t.command, reinterpret_cast<const unsigned char*>(address.c_str()));
            ASSERT_NE(command, nullptr);
            Args expected = t.before;
            expected.push_back(std::strstr(t.command, "-url=") ? "-url=" + address : address);
            expected.insert(expected.end(), t.after.begin(), t.after.end());
            EXPECT_EQ(koCommandLineToArgv(reinterpret_cast<char*>(command)), expected)
                << "command " << t.command << " address [" << address << "] gave [" << command << "]";
            ramFree(command);
        }
    }
}

TEST(CommandLine, PlainAddressKeepsTheCommandAsWritten) {
    const unsigned char* address =
        reinterpret_cast<const unsigned char*>("file:///srv/help/help.htm?single=true");
    for (auto [command, expected] :
         {std::pair<const char*, const char*>{"xdg-open \"%1\"",
                                              "xdg-open \"file:///srv/help/help.htm?single=true\""},
          {"b %1 x", "b file:///srv/help/help.htm?single=true x"},
          {"b", "b \"file:///srv/help/help.htm?single=true\""},
          {"b \"%1\" %1", "b \"file:///srv/help/help.htm?single=true\" %1"}}) {
        unsigned char* line = koHelpBrowserCommand(command, address);
        EXPECT_STREQ(reinterpret_cast<char*>(line), expected);
        ramFree(line);
    }
}

TEST(CreateProcess, StartsTheProgramWithExactlyItsArguments) {
    helptest::HelpSandbox sandbox;
    Args args = {"it's a \"quoted\" $HOME", "`id`;rm -rf /", "back\\slash\\", "", "tab\there"};
    std::string line = quoted(helptest::openerPath()) + " " + quoted(sandbox.log());
    for (const std::string& a : args) {
        unsigned char* part =
            koHelpBrowserCommand("x \"%1\"", reinterpret_cast<const unsigned char*>(a.c_str()));
        line += reinterpret_cast<char*>(part) + 1; // " \"...\""
        ramFree(part);
    }
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(start(line, &pi)) << GetLastError();
    helptest::OpenerRun run;
    ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &run));
    EXPECT_EQ(run.args, args);
    EXPECT_EQ(run.facts["session"], "leader") << "the program runs in a session of its own";
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(pi.dwProcessId, pi.dwThreadId);
    // It is not our child: nothing of it is left for us to reap.
    errno = 0;
    EXPECT_EQ(waitpid(static_cast<pid_t>(pi.dwProcessId), nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "no child of ours, intermediate or program, is left";
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_FALSE(CloseHandle(pi.hThread)) << "a handle is closed once";
}

TEST(CreateProcess, EnvironmentDirectoryAndHandles) {
    helptest::HelpSandbox sandbox;
    int leaked = open("/dev/null", O_RDONLY); // inheritable: no close-on-exec
    ASSERT_GE(leaked, 0);
    std::string line = quoted(helptest::openerPath()) + " " + quoted(sandbox.log());
    const char environment[] = "HELP_OPENER_ECHO=from the block\0PATH=/usr/bin:/bin\0";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(start(line, &pi, const_cast<char*>(environment), "/", FALSE));
    helptest::OpenerRun run;
    ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &run));
    EXPECT_EQ(run.facts["echo"], "from the block");
    EXPECT_EQ(run.facts["cwd"], "/");
    EXPECT_EQ(run.facts["fds"], "0") << "without inheritHandles no descriptor of ours is passed on";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    unlink(sandbox.log().c_str());

    // With inheritHandles, what is inheritable is passed on; without a block, our own environment.
    SetEnvironmentVariableA("HELP_OPENER_ECHO", "ours");
    ASSERT_TRUE(start(line, &pi, nullptr, nullptr, TRUE));
    ASSERT_TRUE(helptest::waitForOpener(sandbox.log(), &run));
    EXPECT_EQ(run.facts["echo"], "ours");
    EXPECT_NE(run.facts["fds"], "0");
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    SetEnvironmentVariableA("HELP_OPENER_ECHO", nullptr);
    close(leaked);
}

TEST(CreateProcess, WaitsForTheEndOfTheProcess) {
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(start("sleep 0.3", &pi)) << "found in PATH";
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_FAILED);
}

TEST(CreateProcess, Refusals) {
    helptest::HelpSandbox sandbox;
    PROCESS_INFORMATION pi{};
    struct Case {
        std::string line;
        const char* directory;
        DWORD error;
    } cases[] = {
        {"no-such-program-anywhere x", nullptr, ERROR_FILE_NOT_FOUND},
        {"/no/such/program", nullptr, ERROR_FILE_NOT_FOUND},
        {sandbox.dir().path(), nullptr, ERROR_ACCESS_DENIED}, // a folder
        {quoted(helptest::openerPath()) + " x", "/no/such/folder", ERROR_DIRECTORY},
        {"", nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(start(c.line, &pi, nullptr, c.directory)) << c.line;
        EXPECT_EQ(GetLastError(), c.error) << c.line;
    }
    kotest::writeFile(sandbox.dir().file("script"), "not a program\n");
    chmod(sandbox.dir().file("script").c_str(), 0700);
    EXPECT_FALSE(start(sandbox.dir().file("script"), &pi));
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
    EXPECT_FALSE(
        CreateProcessA(nullptr, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
