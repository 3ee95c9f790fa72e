#pragma once
// The data-source file behind "ODBC.INI" as the installer writes it: which file that is, an advisory
// lock that serialises a request's whole read-modify-write of it across threads and processes, and a
// saved copy that puts it back when a write did not land.
#include <cstdint>
#include "foundation/errors/kostatus.h"

// The file the installer writes data sources to in its current configuration mode (the user's
// odbc.ini, or the system's while a system data source is handled). 0 when the installer library is
// not there or names no file.
int koProfileFilePath(char* path, uint32_t size);

// Holds the profile lock for its lifetime once acquired. Nested guards of one thread share the lock;
// other threads of the process, and other processes taking the same lock, wait.
class KoProfileLock {
public:
    KoProfileLock() = default;
    ~KoProfileLock() { release(); }
    KoProfileLock(const KoProfileLock&) = delete;
    KoProfileLock& operator=(const KoProfileLock&) = delete;

    // Takes the lock (a lock file beside the profile). Without an installer there is no file and
    // nothing to lock: success. 1 with a library error when the lock file cannot be made or another
    // process keeps the lock too long.
    KoStatus acquire();
    void release();

private:
    bool held_ = false;
};

// A copy of the profile file taken before a write, so that a write cut short by a full disk or a file
// size limit loses nothing: the copy is put back in place. The copy is removed at destruction.
class KoProfileSnapshot {
public:
    KoProfileSnapshot() = default;
    ~KoProfileSnapshot();
    KoProfileSnapshot(const KoProfileSnapshot&) = delete;
    KoProfileSnapshot& operator=(const KoProfileSnapshot&) = delete;

    // Copies the file aside. 1 with a library error when the copy cannot be written (then writing
    // the profile would not be safe either). Success without a copy when there is no installer.
    KoStatus take();
    // Puts the file back as it was when the copy was taken; 1 with a library error when it cannot.
    KoStatus restore();
    // Reads the file as it is now: *othersIntact tells whether every section other than those named
    // except1 and except2 (ignoring case; either may be null) holds what it held when the copy was
    // taken, *present whether a section named except1 is there. 1 when the file cannot be read or
    // memory runs out. Without a copy there is nothing to compare: both answers are yes.
    KoStatus compare(const unsigned char* except1, const unsigned char* except2, bool* othersIntact,
                     bool* present);

private:
    unsigned char* before_ = nullptr;
    uint32_t beforeLength_ = 0;
    char path_[4096] = "";
    char copy_[4096 + 16] = "";
    bool existed_ = false;
    bool taken_ = false;
};
