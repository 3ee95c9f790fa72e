#pragma once
// Process creation with Windows' CreateProcessA: the command line is split into arguments by
// Windows' rules and the program is started directly (posix_spawn), never through a shell, so no
// character of an argument is interpreted. The new process is detached from the caller: it runs in
// a session of its own and is not the caller's child, so it never lingers as the caller's zombie and
// outlives the caller and any module that started it.
#include <string>
#include <vector>
#include "platform/types.h"
#include "platform/handle.h"
#include "platform/thread.h"

#define DEBUG_PROCESS 0x00000001u
#define CREATE_SUSPENDED_PROCESS 0x00000004u
#define DETACHED_PROCESS 0x00000008u
#define CREATE_NEW_CONSOLE 0x00000010u
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define CREATE_NEW_PROCESS_GROUP 0x00000200u
#define CREATE_UNICODE_ENVIRONMENT 0x00000400u
#define CREATE_NO_WINDOW 0x08000000u

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193u
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267u
#endif

#define STARTF_USESHOWWINDOW 0x00000001u
#define STARTF_USESTDHANDLES 0x00000100u

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    unsigned char* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// Starts a program. The program is applicationName when given, else the first argument of
// commandLine; a name without "/" is searched for in PATH. The arguments the program receives are
// commandLine split by koCommandLineToArgv (applicationName alone without a command line).
// environment, when given, is a block of "NAME=value" strings each ended by a NUL, the whole by a
// second NUL (CREATE_UNICODE_ENVIRONMENT is not offered); currentDirectory, when given, is the new
// process's current directory. Without inheritHandles the process gets no descriptor of the caller
// but its standard input, output and error. Debugging and suspended starts are not offered
// (ERROR_NOT_SUPPORTED); window and console flags have nothing to act on and are accepted.
// On success *information holds two handles (the process and its main thread; either is signalled
// when the process ends) that the caller closes with CloseHandle, and the process id (which is also
// the id of its main thread). FALSE with the last error set (ERROR_FILE_NOT_FOUND for a program that
// is not there, ERROR_ACCESS_DENIED for one that may not be run, ERROR_BAD_EXE_FORMAT for a file
// the system cannot run, ERROR_DIRECTORY for a bad current
// directory, ERROR_INVALID_PARAMETER for a missing or empty command).
KO_EXPORT BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                              LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                              BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                              LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                              LPPROCESS_INFORMATION information);

// Splits a command line as Windows programs read theirs. The first argument (the program) ends at
// the first blank or tab, or, when it begins with a double quote, at the next double quote; it knows
// no escapes. The other arguments are separated by blanks and tabs outside double quotes; a double
// quote begins or ends a quoted part and is dropped; 2n backslashes before a double quote give n
// backslashes (and the quote delimits), 2n+1 give n backslashes and a literal double quote; inside a
// quoted part two double quotes give one literal double quote; other backslashes are literal.
KO_EXPORT std::vector<std::string> koCommandLineToArgv(const char* commandLine);

// Waits for a process handle: WAIT_OBJECT_0 once the process has ended, WAIT_TIMEOUT, or WAIT_FAILED
// for a handle that is no process. WaitForSingleObject reaches it for process handles.
DWORD koWaitProcess(HANDLE process, DWORD milliseconds);
