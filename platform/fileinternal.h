#pragma once
// Shared by the file units of the layer; not part of its interface.
#include <sys/stat.h>
#include <time.h>

#include <string>

#include "platform/file.h"
#include "platform/handle.h"
#include "platform/oserror.h"
#include "platform/system.h"

// An open file behind a HANDLE. The descriptor is closed with the last reference, so a read on
// another thread never meets a descriptor number that was closed and reused under it.
struct KoFileObject : KoHandleObject {
    int fd;
    // A runtime descriptor's handle (_get_osfhandle) only borrows it: the descriptor's _close ends both.
    bool borrowed;
    explicit KoFileObject(int descriptor, bool borrowedFd = false)
        : KoHandleObject(KoHandleKind::file), fd(descriptor), borrowed(borrowedFd) {}
    ~KoFileObject() override;
    // CloseHandle dropped the handle: when no other reference holds the file, close it now and
    // report the close's own result.
    bool handleClosed() override;
};

// The file of a live file handle, referenced; empty with ERROR_INVALID_HANDLE otherwise.
inline KoHandleRef<KoFileObject> koFileOf(HANDLE h) {
    return koHandleLookup<KoFileObject>(h, KoHandleKind::file);
}

std::string koParentOf(const std::string& name);
bool koIsDirectory(const std::string& name);
// Records a failure on a path: Windows tells a missing file from a missing directory on the way.
void koFailPath(const char* name, int error);
// A file without any write permission bit has Windows' read-only attribute.
inline bool koReadOnlyMode(mode_t mode) {
    return (mode & 0222) == 0;
}
DWORD koAttributesOf(const struct stat& st, const std::string& name);
// A time stamp as 100-nanosecond intervals since 1601, and that split into a FILETIME.
uint64_t koFileTimeOf(const struct timespec& t);
FILETIME koSplitTime(uint64_t v);

struct KoOpenRequest {
    int access;      // O_RDONLY, O_WRONLY or O_RDWR
    bool create;     // create when missing
    bool mustCreate; // fail when present
    bool truncate;
    bool append;
    bool exclusive; // deny other handles
    bool readOnlyNew;
};
// Gives up the handle _get_osfhandle made for a descriptor that is being closed.
void koForgetOsHandle(int fd);
// Opens with Windows' rules; the descriptor or -1 with the errors set. *existed (may be null) tells
// whether the file was there before.
int koOpenFile(const char* name, const KoOpenRequest& r, bool* existed);
