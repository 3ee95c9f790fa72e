#pragma once
// Limits of the process that make file operations fail on purpose, for the storage tests.
#include <sys/resource.h>

#include <csignal>

namespace kotest {

// Caps the size any file of the process may grow to; a write past the cap fails (file too large)
// instead of raising the signal.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        struct rlimit cap = previous_;
        cap.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &cap);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    struct rlimit previous_;
    void (*previousHandler_)(int);
};

// No further file can be opened while it lives (too many open files).
class NoMoreDescriptors {
public:
    NoMoreDescriptors();
    ~NoMoreDescriptors() { setrlimit(RLIMIT_NOFILE, &previous_); }
    NoMoreDescriptors(const NoMoreDescriptors&) = delete;
    NoMoreDescriptors& operator=(const NoMoreDescriptors&) = delete;

private:
    struct rlimit previous_;
};

// The number of descriptors the process has open.
int openDescriptors();

} // namespace kotest
