// Process creation: Windows' command-line rules, posix_spawn through a short-lived intermediate so
// that the started program is never the caller's child.
#include "platform/process.h"
#include "platform/oserror.h"
#include "platform/system.h"
#include "platform/thread.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

extern char** environ;

namespace {

struct Process : KoHandleObject {
    pid_t pid;
    int pidfd; // -1 when the kernel offers none: the wait then polls
    Process(pid_t p, int fd) : KoHandleObject(KoHandleKind::process), pid(p), pidfd(fd) {}
    ~Process() override {
        if (pidfd >= 0) close(pidfd);
    }
};

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The program file for name: as given when it holds a "/", else the first executable regular file
// of that name in PATH (an empty PATH entry is the current directory).
DWORD findProgram(const std::string& name, std::string* path) {
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    auto check = [](const std::string& candidate) -> DWORD {
        struct stat st;
        if (stat(candidate.c_str(), &st) != 0) return koWindowsErrorOfErrno(errno);
        if (!S_ISREG(st.st_mode) || access(candidate.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    };
    if (name.find('/') != std::string::npos) {
        *path = name;
        DWORD e = check(name);
        return e == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : e;
    }
    std::string search;
    if (!koGetEnvironment("PATH", &search)) search = "/usr/local/bin:/usr/bin:/bin";
    DWORD found = ERROR_FILE_NOT_FOUND;
    size_t start = 0;
    while (start <= search.size()) {
        size_t end = search.find(':', start);
        if (end == std::string::npos) end = search.size();
        std::string dir = search.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        DWORD e = check(candidate);
        if (e == ERROR_SUCCESS) {
            *path = candidate;
            return ERROR_SUCCESS;
        }
        if (e == ERROR_ACCESS_DENIED) found = e; // there, but not runnable: say so if nothing better
        start = end + 1;
    }
    return found;
}

DWORD errorOfSpawn(int error) {
    switch (error) {
    case ENOEXEC:
    case ELIBBAD:
        return ERROR_BAD_EXE_FORMAT;
    case ENOTDIR:
        return ERROR_DIRECTORY;
    default:
        return koWindowsErrorOfErrno(error);
    }
}

struct SpawnReport {
    int stage; // 0 started, 1 the current directory failed, 2 the spawn failed
    int error;
    pid_t pid;
};

void closePair(int* fds) {
    for (int i = 0; i < 2; ++i)
        if (fds[i] >= 0) close(fds[i]);
    fds[0] = fds[1] = -1;
}

// Runs in the intermediate (a fork of a possibly threaded caller): only calls that are safe there.
[[noreturn]] void intermediate(int report, int ack, const char* program, char* const* argv, char* const* envp,
                               const char* directory, bool inherit, const posix_spawnattr_t* attributes) {
    SpawnReport r{0, 0, -1};
    if (directory && chdir(directory) != 0) {
        r.stage = 1;
        r.error = errno;
    } else {
        if (!inherit) {
            // Every descriptor of the caller but the standard three stays behind.
#ifdef SYS_close_range
            syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
#endif
        }
        int rc = posix_spawn(&r.pid, program, nullptr, attributes, argv, envp);
        if (rc != 0) {
            r.stage = 2;
            r.error = rc;
        }
    }
    ssize_t ignored = write(report, &r, sizeof r);
    (void)ignored;
    if (r.stage == 0) {
        // Stay the program's parent until the caller holds a descriptor of it, so its id cannot be
        // reused by another process in between.
        char c;
        while (read(ack, &c, 1) < 0 && errno == EINTR) {
        }
    }
    _exit(0);
}

HANDLE newProcessHandle(pid_t pid, int pidfd) {
    Process* p = new (std::nothrow) Process(pid, pidfd);
    if (!p) {
        if (pidfd >= 0) close(pidfd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return koHandleCreate(p);
}

} // namespace

std::vector<std::string> koCommandLineToArgv(const char* commandLine) {
    std::vector<std::string> out;
    if (!commandLine) return out;
    const char* s = commandLine;
    // The program: quotes delimit, nothing escapes.
    std::string arg;
    if (*s == '"') {
        for (++s; *s && *s != '"'; ++s)
            arg += *s;
        if (*s) ++s;
    } else {
        for (; *s && !isBlank(*s); ++s)
            arg += *s;
    }
    if (arg.empty() && !*commandLine) return out;
    out.push_back(arg);
    while (isBlank(*s))
        ++s;
    while (*s) {
        std::string a;
        bool quoted = false;
        while (*s && (quoted || !isBlank(*s))) {
            if (*s == '\\') {
                size_t n = 0;
                while (s[n] == '\\')
                    ++n;
                if (s[n] == '"') {
                    a.append(n / 2, '\\');
                    s += n;
                    if (n % 2) {
                        a += '"';
                        ++s;
                    }
                } else {
                    a.append(n, '\\');
                    s += n;
                }
            } else if (*s == '"') {
                if (quoted && s[1] == '"') {
                    a += '"';
                    s += 2;
                } else {
                    quoted = !quoted;
                    ++s;
                }
            } else {
                a += *s++;
            }
        }
        out.push_back(a);
        while (isBlank(*s))
            ++s;
    }
    return out;
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA, LPPROCESS_INFORMATION information) {
    if (!information || (!applicationName && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (creationFlags & (DEBUG_PROCESS | CREATE_SUSPENDED_PROCESS | 0x2u /* DEBUG_ONLY_THIS_PROCESS */)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (creationFlags & CREATE_UNICODE_ENVIRONMENT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> args;
    std::string program;
    try {
        args = commandLine ? koCommandLineToArgv(commandLine) : std::vector<std::string>{applicationName};
        if (args.empty() || (!applicationName && args[0].empty())) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DWORD e = findProgram(applicationName ? std::string(applicationName) : args[0], &program);
        if (e != ERROR_SUCCESS) {
            SetLastError(e);
            return FALSE;
        }
        if (currentDirectory) {
            struct stat st;
            if (stat(currentDirectory, &st) != 0 || !S_ISDIR(st.st_mode)) {
                SetLastError(ERROR_DIRECTORY);
                return FALSE;
            }
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }

    // Everything the intermediate needs is made before the fork: it allocates nothing.
    std::vector<char*> argv, envp;
    try {
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (environment) {
            for (char* e = static_cast<char*>(environment); *e; e += std::strlen(e) + 1)
                envp.push_back(e);
            envp.push_back(nullptr);
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // The program starts as from a fresh session: its own session (no terminal signal of the
    // caller's reaches it), no blocked signals, and every signal at its default action.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    int report[2] = {-1, -1}, ack[2] = {-1, -1};
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(ack, O_CLOEXEC) != 0) {
        koFailErrno(errno);
        closePair(report);
        closePair(ack);
        posix_spawnattr_destroy(&attributes);
        return FALSE;
    }
    pid_t middle = fork();
    if (middle == 0) {
        close(report[0]);
        close(ack[1]);
        intermediate(report[1], ack[0], program.c_str(), argv.data(), environment ? envp.data() : environ,
                     currentDirectory, inheritHandles != FALSE, &attributes);
    }
    int forkError = errno;
    close(report[1]);
    close(ack[0]);
    report[1] = ack[0] = -1;
    posix_spawnattr_destroy(&attributes);
    if (middle < 0) {
        closePair(report);
        closePair(ack);
        koFailErrno(forkError);
        return FALSE;
    }
    SpawnReport r{2, EIO, -1};
    ssize_t got;
    do {
        got = read(report[0], &r, sizeof r);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof r)) r = SpawnReport{2, EIO, -1};
    int pidfd = r.stage == 0 ? openPidfd(r.pid) : -1;
    closePair(ack); // lets the intermediate end
    closePair(report);
    while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (r.stage != 0) {
        SetLastError(r.stage == 1 ? ERROR_DIRECTORY : errorOfSpawn(r.error));
        return FALSE;
    }
    int threadFd = pidfd >= 0 ? fcntl(pidfd, F_DUPFD_CLOEXEC, 0) : -1;
    HANDLE process = newProcessHandle(r.pid, pidfd);
    HANDLE thread = process ? newProcessHandle(r.pid, threadFd) : nullptr;
    if (!process || !thread) {
        // The program runs; only its handles could not be made.
        if (process)
            CloseHandle(process);
        else if (threadFd >= 0)
            close(threadFd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    information->hProcess = process;
    information->hThread = thread;
    information->dwProcessId = static_cast<DWORD>(r.pid);
    information->dwThreadId = static_cast<DWORD>(r.pid);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD koWaitProcess(HANDLE handle, DWORD milliseconds) {
    auto p = koHandleLookup<Process>(handle, KoHandleKind::process);
    if (!p) return WAIT_FAILED;
    if (p->pidfd >= 0) {
        pollfd fd{p->pidfd, POLLIN, 0};
        for (;;) {
            int timeout = milliseconds == INFINITE ? -1
                          : milliseconds > INT_MAX ? INT_MAX
                                                   : static_cast<int>(milliseconds);
            int rc = poll(&fd, 1, timeout);
            if (rc > 0) return WAIT_OBJECT_0;
            if (rc == 0) return WAIT_TIMEOUT;
            if (errno != EINTR) break;
        }
        koFailErrno(errno);
        return WAIT_FAILED;
    }
    // Without a process descriptor: ask whether the process is still there, every 10 milliseconds.
    for (DWORD waited = 0;; waited += 10) {
        if (kill(p->pid, 0) != 0 && errno == ESRCH) return WAIT_OBJECT_0;
        if (milliseconds != INFINITE && waited >= milliseconds) return WAIT_TIMEOUT;
        usleep(10000);
    }
}
