#pragma once
// The thread's last error, environment, machine and user names, with Windows' calls and semantics.
#include <string>
#include "platform/types.h"

// Windows error codes that the layer reports through GetLastError.
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0u
#endif
#ifndef ERROR_INVALID_FUNCTION
#define ERROR_INVALID_FUNCTION 1u
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2u
#endif
#ifndef ERROR_PATH_NOT_FOUND
#define ERROR_PATH_NOT_FOUND 3u
#endif
#ifndef ERROR_TOO_MANY_OPEN_FILES
#define ERROR_TOO_MANY_OPEN_FILES 4u
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5u
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6u
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8u
#endif
#ifndef ERROR_INVALID_DATA
#define ERROR_INVALID_DATA 13u
#endif
#ifndef ERROR_OUTOFMEMORY
#define ERROR_OUTOFMEMORY 14u
#endif
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17u
#endif
#ifndef ERROR_NO_MORE_FILES
#define ERROR_NO_MORE_FILES 18u
#endif
#ifndef ERROR_WRITE_PROTECT
#define ERROR_WRITE_PROTECT 19u
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31u
#endif
#ifndef ERROR_SHARING_VIOLATION
#define ERROR_SHARING_VIOLATION 32u
#endif
#ifndef ERROR_LOCK_VIOLATION
#define ERROR_LOCK_VIOLATION 33u
#endif
#ifndef ERROR_HANDLE_EOF
#define ERROR_HANDLE_EOF 38u
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50u
#endif
#ifndef ERROR_FILE_EXISTS
#define ERROR_FILE_EXISTS 80u
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87u
#endif
#ifndef ERROR_BROKEN_PIPE
#define ERROR_BROKEN_PIPE 109u
#endif
#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111u
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112u
#endif
#ifndef ERROR_INSUFFICIENT_BUFFER
#define ERROR_INSUFFICIENT_BUFFER 122u
#endif
#ifndef ERROR_INVALID_NAME
#define ERROR_INVALID_NAME 123u
#endif
#ifndef ERROR_TOO_MANY_POSTS
#define ERROR_TOO_MANY_POSTS 298u
#endif
#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126u
#endif
#ifndef ERROR_PROC_NOT_FOUND
#define ERROR_PROC_NOT_FOUND 127u
#endif
#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131u
#endif
#ifndef ERROR_SEEK_ON_DEVICE
#define ERROR_SEEK_ON_DEVICE 132u
#endif
#ifndef ERROR_DIR_NOT_EMPTY
#define ERROR_DIR_NOT_EMPTY 145u
#endif
#ifndef ERROR_BUSY
#define ERROR_BUSY 170u
#endif
#ifndef ERROR_ALREADY_EXISTS
#define ERROR_ALREADY_EXISTS 183u
#endif
#ifndef ERROR_ENVVAR_NOT_FOUND
#define ERROR_ENVVAR_NOT_FOUND 203u
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206u
#endif
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223u
#endif
#ifndef ERROR_CANT_RESOLVE_FILENAME
#define ERROR_CANT_RESOLVE_FILENAME 1921u
#endif

#define MAX_COMPUTERNAME_LENGTH 15
#define UNLEN 256

// The calling thread's last error code.
DWORD GetLastError();
void SetLastError(DWORD code);

// A variable's value, read under the layer's environment lock like every other read and write of
// the environment; false when it is not set. For the layer's own settings.
bool koGetEnvironment(const char* name, std::string* value);

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
