// Temporary names, the current directory, the error mode and volume information.
#include "platform/fileinternal.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

namespace {
std::atomic<UINT> errorMode{0};
std::atomic<unsigned> tempCounter{0};
} // namespace

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    char value[4096];
    DWORD n = GetEnvironmentVariableA("TMPDIR", value, sizeof value);
    std::string dir = n > 0 && n < sizeof value ? std::string(value) : std::string("/tmp");
    if (dir.back() != '/') dir += '/';
    if (!buffer || size <= dir.size()) return DWORD(dir.size() + 1);
    memcpy(buffer, dir.c_str(), dir.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return DWORD(dir.size());
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer) {
    if (!path || !buffer) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return 0;
    }
    std::string base(*path ? path : ".");
    if (base.back() != '/') base += '/';
    if (prefix) base.append(prefix, strnlen(prefix, 3));
    // Room for four hex digits, ".tmp" and the terminator in a MAX_PATH buffer.
    if (base.size() + 9 > MAX_PATH) {
        koFailWindows(ERROR_BUFFER_OVERFLOW, crtENAMETOOLONG);
        return 0;
    }
    auto form = [&](unsigned number) {
        snprintf(buffer, MAX_PATH, "%s%X.tmp", base.c_str(), number & 0xFFFFu);
    };
    if (unique != 0) {
        form(unique);
        return unique & 0xFFFFu;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned start =
        unsigned(now.tv_nsec / 1000) ^ unsigned(getpid()) * 40503u ^ tempCounter.fetch_add(7919u);
    for (unsigned i = 0; i < 0x10000u; ++i) {
        unsigned number = (start + i) & 0xFFFFu;
        if (number == 0) continue;
        form(number);
        int fd = open(buffer, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            // The umask cannot widen 0600, but a failing chmod means the file is not what we made.
            int e = fchmod(fd, 0600) == 0 ? 0 : errno;
            close(fd);
            if (e) {
                unlink(buffer);
                koFailErrno(e);
                return 0;
            }
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        if (errno != EEXIST) {
            koFailPath(buffer, errno);
            return 0;
        }
    }
    koFailWindows(ERROR_FILE_EXISTS, crtEEXIST);
    return 0;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::vector<char> cwd(PATH_MAX);
    while (!getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE) {
            koFailErrno(errno);
            return 0;
        }
        cwd.resize(cwd.size() * 2);
    }
    size_t n = strlen(cwd.data());
    if (!buffer || size <= n) return DWORD(n + 1);
    memcpy(buffer, cwd.data(), n + 1);
    return DWORD(n);
}

BOOL SetCurrentDirectoryA(LPCSTR name) {
    if (!name || chdir(name) != 0) {
        koFailPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    return TRUE;
}

UINT SetErrorMode(UINT mode) {
    return errorMode.exchange(mode);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
    struct statfs fs;
    if (statfs(root && *root ? root : ".", &fs) != 0) {
        koFailPath(root && *root ? root : ".", errno);
        return FALSE;
    }
    const char* type;
    switch ((unsigned long)fs.f_type) {
    case 0xEF53:
        type = "ext4";
        break;
    case 0x01021994:
        type = "tmpfs";
        break;
    case 0x794C7630:
        type = "overlay";
        break;
    case 0x9123683E:
        type = "btrfs";
        break;
    case 0x58465342:
        type = "xfs";
        break;
    case 0x6969:
        type = "nfs";
        break;
    case 0x65735546:
        type = "fuse";
        break;
    case 0x2FC12FC1:
        type = "zfs";
        break;
    default:
        type = "unknown";
        break;
    }
    if (volumeName && volumeNameSize) volumeName[0] = 0;
    if (serialNumber) *serialNumber = DWORD(fs.f_fsid.__val[0] ^ fs.f_fsid.__val[1]);
    if (maxComponentLength) *maxComponentLength = DWORD(fs.f_namelen);
    if (fileSystemFlags)
        *fileSystemFlags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    if (fileSystemName && fileSystemNameSize) {
        if (strlen(type) >= fileSystemNameSize) {
            koFailWindows(ERROR_BUFFER_OVERFLOW, crtENAMETOOLONG);
            return FALSE;
        }
        strcpy(fileSystemName, type);
    }
    return TRUE;
}
