#pragma once
// Whole-file reads and atomic replacement under an advisory lock, for the small text stores of the
// layer (the registry files, profile files): a reader always sees the old or the new file, never a
// torn one, and writers of several threads or processes take turns.
#include <string>
#include "platform/types.h"

// Reads the whole file. A missing file reads as empty with *exists false. ERROR_SUCCESS or the
// Windows error code of the failure.
DWORD koReadWholeFile(const std::string& path, std::string* text, bool* exists);

// Replaces the file by text: a temporary file in the same folder, flushed to disk, renamed over the
// old one, the folder flushed too. Missing folders are made. ERROR_SUCCESS or the error code; the old
// file is untouched on failure.
DWORD koReplaceFile(const std::string& path, const std::string& text);

// The exclusive advisory lock of a store file, held for the object's lifetime: a lock file beside it
// ("<file>.lock", the same one the setup request takes over its profile). Every acquisition opens the
// lock file anew, so threads of one process exclude each other like processes do.
class KoFileWriteLock {
public:
    explicit KoFileWriteLock(const std::string& path);
    ~KoFileWriteLock();
    KoFileWriteLock(const KoFileWriteLock&) = delete;
    KoFileWriteLock& operator=(const KoFileWriteLock&) = delete;
    // ERROR_SUCCESS once held; an error code when the lock file cannot be made or the holder keeps it
    // past a generous wait (ERROR_LOCK_VIOLATION).
    DWORD status() const { return status_; }

private:
    int fd_ = -1;
    DWORD status_;
};

// Makes the folder and those above it (mode 0700) when missing.
DWORD koMakeFolders(const std::string& folder);
// The folder part of a path ("." for none).
std::string koFolderOf(const std::string& path);
// The user's configuration folder: $XDG_CONFIG_HOME, else $HOME/.config.
std::string koUserConfigFolder();
