#pragma once
// Files, directories and file names with Windows' calls and semantics, on POSIX.
//
// Names use "/" and are passed to the file system exactly as given: volumes are case-sensitive and
// case-preserving. Every failing call sets the thread's last error (GetLastError) to a Windows
// error code; the runtime-level calls (_sopen, _read, ...) also set the thread's runtime error number
// (_get_errno) with the Windows runtime's values.
//
// Sharing is enforced between handles of this layer with advisory locks: a handle that shares both
// reading and writing takes a shared lock, any other share mode an exclusive one, so a handle that
// denies others anything excludes every other handle of the file (in this process or another).
#include "platform/types.h"

// ---- Win32 handle level --------------------------------------------------------------------------

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)-1)

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define SEM_FAILCRITICALERRORS 0x0001u
#define SEM_NOGPFAULTERRORBOX 0x0002u
#define SEM_NOOPENFILEERRORBOX 0x8000u

#define FILE_CASE_SENSITIVE_SEARCH 0x00000001u
#define FILE_CASE_PRESERVED_NAMES 0x00000002u
#define FILE_UNICODE_ON_DISK 0x00000004u

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 };

// Opens or creates a file. access: GENERIC_READ and/or GENERIC_WRITE; share: FILE_SHARE_* bits;
// disposition: CREATE_NEW ... TRUNCATE_EXISTING; flags: FILE_ATTRIBUTE_READONLY makes a created file
// read-only, other flags are accepted and ignored. A directory cannot be opened (access denied).
// CREATE_ALWAYS and OPEN_ALWAYS set ERROR_ALREADY_EXISTS when the file was there. The handle is never
// null; INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPVOID security, DWORD disposition, DWORD flags,
                   HANDLE templateFile);
// Reads up to toRead bytes at the file pointer; *read is 0 at the end of the file (no error).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID overlapped);
// Writes all bytes unless the file system refuses part of them; *written tells how many were written.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID overlapped);
// Moves the file pointer; with high null the distance is a signed 32-bit value. Returns the low 32 bits
// of the new position (and the high ones in *high), INVALID_SET_FILE_POINTER with the last error set on
// failure (ERROR_NEGATIVE_SEEK before the start).
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method);
// The size's low 32 bits (high ones in *high when not null); INVALID_FILE_SIZE with an error on failure.
DWORD GetFileSize(HANDLE file, LPDWORD high);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);

BOOL DeleteFileA(LPCSTR name);
// Renames a file; an existing target is replaced only with MOVEFILE_REPLACE_EXISTING, a move across
// file systems is done by copying only with MOVEFILE_COPY_ALLOWED. A null target is not supported
// (there is no deletion at reboot): ERROR_INVALID_PARAMETER.
BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
BOOL CreateDirectoryA(LPCSTR name, LPVOID security);
BOOL RemoveDirectoryA(LPCSTR name);
// Attributes of a file or directory (FILE_ATTRIBUTE_*), INVALID_FILE_ATTRIBUTES when it cannot be
// reached. A file without any write permission bit is read-only; a name starting with "." is hidden.
DWORD GetFileAttributesA(LPCSTR name);
// Only FILE_ATTRIBUTE_READONLY has an effect: it clears or restores the write permission bits.
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes);
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info);

// Directory search with Windows' wildcard rules: "*" any characters, "?" one character but none at a
// "." or at the end of the name, "*.*" every name, a pattern ending in "." names without extension,
// "*" before "." never passes the name's last dot. Matching is case-sensitive like the volumes. Entries
// come in name order and include "." and ".." when they match. Failure: ERROR_FILE_NOT_FOUND (no
// match), ERROR_PATH_NOT_FOUND (no such directory); the end of the search: ERROR_NO_MORE_FILES.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE search);

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);

// The temporary directory ($TMPDIR, else /tmp) with a trailing "/". Returns its length; when the buffer
// is too small, the size needed including the terminator (the buffer is left alone).
DWORD GetTempPathA(DWORD size, LPSTR buffer);
// Makes "<path>/<first three characters of prefix><hex number>.TMP" in buffer (MAX_PATH bytes). With
// unique 0 the number is chosen so that the file does not exist yet and the file is created, empty,
// private to the user (mode 0600), atomically, so that two creators never get the same name; returns
// the number, 0 on failure. With unique not 0 the name is only formed and unique is returned.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer);

// The current directory, without a trailing "/". Returns its length; when the buffer is too small, the
// size needed including the terminator.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR name);

// Critical-error boxes do not exist here; the mode is only remembered (process-wide) and returned.
UINT SetErrorMode(UINT mode);

// Volume of a root ("/" or a directory; null: the current directory's). Every volume searches names
// case-sensitively, preserves case and stores Unicode names; the file system name is the kernel's
// (for example "ext4", "tmpfs").
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize);

// ---- Runtime (descriptor) level ------------------------------------------------------------------
// The C runtime's low-level file calls: descriptors are small non-negative integers; -1 reports a
// failure whose reason _get_errno gives.

#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000
#define _O_NOINHERIT 0x0080

#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40

#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

// Error numbers of the Windows runtime, as _get_errno reports them (their names carry a prefix so as
// not to collide with the system's own errno macros).
enum {
    crtEPERM = 1,
    crtENOENT = 2,
    crtEIO = 5,
    crtEBADF = 9,
    crtEAGAIN = 11,
    crtENOMEM = 12,
    crtEACCES = 13,
    crtEEXIST = 17,
    crtEXDEV = 18,
    crtENOTDIR = 20,
    crtEISDIR = 21,
    crtEINVAL = 22,
    crtENFILE = 23,
    crtEMFILE = 24,
    crtEFBIG = 27,
    crtENOSPC = 28,
    crtESPIPE = 29,
    crtEROFS = 30,
    crtEDEADLOCK = 36,
    crtENAMETOOLONG = 38,
    crtENOLCK = 39,
    crtENOTEMPTY = 41
};

// Opens a file with a sharing mode (_SH_*). Text mode is not translated: every descriptor is binary.
// pmode (_S_IREAD, _S_IWRITE) applies when the file is created: without _S_IWRITE it is read-only.
int _sopen(const char* name, int oflag, int shflag, int pmode);
// Reads up to count bytes; 0 at the end of the file.
int _read(int fd, void* buffer, unsigned int count);
// Writes count bytes; returns the number written, which is short only when the file system refused
// the rest (disk full, file size limit), and -1 when nothing could be written.
int _write(int fd, const void* buffer, unsigned int count);
// Moves the position (origin 0 start, 1 current, 2 end); the new position or -1 (a position that does
// not fit in 32 bits gives EINVAL and leaves the position unchanged).
LONG _lseek(int fd, LONG offset, int origin);
int64_t _lseeki64(int fd, int64_t offset, int origin);
int _close(int fd);
// Flushes the file's data to the device.
int _commit(int fd);
LONG _filelength(int fd);
int64_t _filelengthi64(int fd);
// Sets the file's size (extending with zero bytes).
int _chsize(int fd, LONG size);
// The file handle behind a descriptor, for the calls that take a HANDLE: the same handle every time,
// owned by the descriptor (_close gives it up; do not close it with CloseHandle). INVALID_HANDLE_VALUE
// with EBADF for a descriptor that is not open.
intptr_t _get_osfhandle(int fd);
// The runtime error number of the calling thread's last failing runtime call; returns 0.
int _get_errno(int* value);
int _set_errno(int value);
