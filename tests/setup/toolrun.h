#pragma once
// Runs the built command-line tool as a separate process, optionally under a file size limit (a disk
// that fills up), and collects its exit status and everything it printed.
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/support.h"

namespace kotest {

struct ToolResult {
    int status = -1;
    std::string out; // standard output and standard error, interleaved
};

// Starts btrdsn with args; the child's output goes to a pipe whose read end is returned in *outFd.
// fileSizeLimit, when not RLIM_INFINITY, makes every write past that many bytes of a file fail as on a
// full disk (the signal that would end the process is ignored, so the write reports the failure).
inline pid_t startTool(const std::vector<std::string>& args, int* outFd,
                       rlim_t fileSizeLimit = RLIM_INFINITY) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::string program = buildBin("btrdsn");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        if (fileSizeLimit != RLIM_INFINITY) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit {
                fileSizeLimit, fileSizeLimit
            };
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    *outFd = fds[0];
    return pid;
}

inline ToolResult finishTool(pid_t pid, int outFd) {
    ToolResult r;
    char buffer[512];
    ssize_t n;
    while ((n = read(outFd, buffer, sizeof buffer)) > 0)
        r.out.append(buffer, static_cast<size_t>(n));
    close(outFd);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

inline ToolResult runTool(const std::vector<std::string>& args, rlim_t fileSizeLimit = RLIM_INFINITY) {
    int fd = -1;
    pid_t pid = startTool(args, &fd, fileSizeLimit);
    if (pid < 0) return {};
    return finishTool(pid, fd);
}

} // namespace kotest
