#pragma once
// The thread's last error, environment, machine and user names, with Windows' calls and semantics.
#include "platform/types.h"

// Windows error codes that the layer reports through GetLastError.
#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_DATA 13u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_WRITE_PROTECT 19u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_LOCK_VIOLATION 33u
#define ERROR_HANDLE_EOF 38u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_BUFFER_OVERFLOW 111u
#define ERROR_DISK_FULL 112u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_SEEK_ON_DEVICE 132u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_BUSY 170u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_ENVVAR_NOT_FOUND 203u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_FILE_TOO_LARGE 223u
#define ERROR_CANT_RESOLVE_FILENAME 1921u

#define MAX_COMPUTERNAME_LENGTH 15
#define UNLEN 256

// The calling thread's last error code.
DWORD GetLastError();
void SetLastError(DWORD code);
// The Windows error code for a system error number (errno), as the layer reports it.
DWORD koWindowsErrorOfErrno(int error);

// Copies a variable's value and returns its length; when the buffer is too small, returns the size
// needed including the terminator. 0 with ERROR_ENVVAR_NOT_FOUND when the variable is not set (a set
// but empty variable also gives 0, with ERROR_SUCCESS).
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
// Sets a variable, or removes it when value is null.
BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// The machine's name: the host name up to its first ".", cut to MAX_COMPUTERNAME_LENGTH characters.
// *size is the buffer's size on entry and the name's length on success; when the buffer is too small,
// ERROR_BUFFER_OVERFLOW and *size the size needed including the terminator.
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
// The name of the user the process runs as. *size is the buffer's size on entry and on success the
// length including the terminator; when too small, ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL GetUserNameA(LPSTR buffer, LPDWORD size);
