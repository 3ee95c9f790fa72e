#pragma once
// Operating-system services: a thin, status-returning layer over files, directories, file names,
// the environment and libraries. Every failure raises a library error on the calling thread's error
// list (except where noted) and returns koFailure.
//
// A file handle is the runtime's file descriptor plus 1, so 0 means no file. An offset of -1 means the
// current position. Path buffers hold at most 255 characters and a terminator.
#include <cstdint>
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/kostatus.h"
#include "platform/types.h"

// Mode bits of bosFileOpen.
enum : uint32_t {
    bosOpenCreate = 0x01,     // create (truncating an existing file), read-write
    bosOpenReadWrite = 0x02,  // open read-write (otherwise read-only)
    bosOpenSearchPath = 0x10, // when the open fails, try each directory of PATH
    bosOpenExclusive = 0x20,  // deny other handles reading and writing
    bosOpenTempName = 0x40,   // first create a new temporary file and put its name into the buffer
    bosOpenTempFixed = 0x80   // the same (there are no drive letters to choose from)
};

// Library error numbers raised here.
enum : uint16_t {
    bosErrCreate = koErrFileCreate,         // a file could not be created (name)
    bosErrDelete = koErrFileDelete,         // a file could not be deleted (name)
    bosErrNoMemory = koErrNoSystemMemory,   // the system ran out of memory
    bosErrWroteNothing = koErrWroteNothing, // a write wrote nothing
    bosErrBadHandle = koErrBadHandle,       // a bad file handle
    bosErrAccess = koErrAccessDenied,       // access denied (name)
    bosErrNotFound = koErrFileNotFound,     // no such file (name)
    bosErrLocked = koErrLocked,             // a locking violation
    bosErrNameTooLong = koErrNameTooLong,   // a file name longer than 128 characters (name)
    bosErrOpen = koErrFileOpen,             // a file could not be opened (name)
    bosErrSystem = koErrSystem,             // any other system error; also a write that was cut short
    bosErrTooManyFiles = koErrTooManyFiles  // too many open files
};

// Opens, creates, or creates under a new temporary name (mode: bosOpen* bits). name is a buffer of at
// least 256 bytes; in the temporary-name modes it receives the full name of the new file, which is
// private to the user. *handle receives the handle, 0 on failure.
KO_EXPORT KoStatus bosFileOpen(unsigned char* name, uint32_t mode, int* handle);
// Reads up to len bytes at offset (-1: the current position); *got is the number read, fewer than len
// at the end of the file (no error).
KO_EXPORT KoStatus bosFileRead(int handle, int32_t offset, void* buf, uint32_t len, uint32_t* got);
// Writes len bytes at offset (-1: the current position), in pieces of at most 65,534 bytes. A piece
// written short raises 1506 when nothing was written, else 30041.
KO_EXPORT KoStatus bosFileWrite(int handle, int32_t offset, const void* buf, uint32_t len);
// Moves the file to offset and gives the system's handle of the file, for calls that take one
// (TransmitFile); it stays the file's and goes with bosFileClose.
KO_EXPORT KoStatus bosFileSystemHandle(int handle, int32_t offset, HANDLE* file);
// Closes a handle; handle 0 does nothing.
KO_EXPORT KoStatus bosFileClose(int handle);
// Removes a file; a file that does not exist counts as removed.
KO_EXPORT KoStatus bosFileDelete(const unsigned char* name);
// 0: does not exist; 1: a file; 5: a read-only file; 2: a directory (".." always).
KO_EXPORT uint16_t bosfattr(const unsigned char* name);
// 1 for an existing file, 0 for directories and missing names.
KO_EXPORT uint16_t bosexist(const unsigned char* name);
// *size = the low 32 bits of the file's size; date = its last write time in universal time as
// "MM/DD/YYYY" (11 bytes). Returns 1 without recording an error when the file cannot be found.
KO_EXPORT KoStatus bosFileDateSize(const unsigned char* name, unsigned char* date, uint32_t* size);
// Directory search. With *cursor null, starts a search for the pattern in name (wildcards as the
// system matches them); each call puts the next matching name (without directory, never "." or "..")
// into name and returns 0. When nothing (more) matches, frees the cursor, sets *cursor to null and
// returns 0; 1 (no error recorded) only when the cursor cannot be allocated.
KO_EXPORT KoStatus bosFindFiles(unsigned char** cursor, unsigned char* name);
// Splits path in place: path keeps the directory with its trailing "/", name receives the name part
// up to its first ".", ext up to three characters after that dot (ext is at least 4 bytes, name 129).
// A name part of 129 characters or more is cut to 128; with complain set that raises 1524 and
// returns 1.
KO_EXPORT KoStatus bosParseName(unsigned char* path, unsigned char* name, unsigned char* ext,
                                unsigned int complain);
// Makes path (a 256-byte buffer) a full path: a relative path is joined to the current directory (the
// whole cut to 255 characters) and every "/../" removes itself with the component before it.
KO_EXPORT void bosfpath(unsigned char* path, int oem);
// The current directory into buf (256 bytes), with a trailing "/" when slash is not 0; an empty text
// when it does not fit.
KO_EXPORT void bosgtcwd(unsigned char* buf, uint16_t slash);
// The variable's value in a 700-byte buffer of the calling thread, valid until the thread's next call;
// null when the variable is missing, empty or longer than 699 bytes.
KO_EXPORT unsigned char* bosGetEnv(const unsigned char* var);
// The computer name (at most 15 characters) or the user name (at most 255): copied whole when shorter
// than len, else its first len characters and a terminator at dst[len] (dst holds len + 1 bytes). A
// null dst or zero len does nothing and returns 0; a system failure returns 1 without an error record.
KO_EXPORT KoStatus bosGetMachineName(char* dst, uint32_t len);
KO_EXPORT KoStatus bosGetHostUser(char* dst, uint32_t len);
// With sibling 0 loads base as given; otherwise base, the generation suffix and ".DLL" from this
// module's directory. Null when it cannot be loaded (no error recorded).
KO_EXPORT HINSTANCE bosLoadLibrary(const unsigned char* base, uint16_t sibling);
// Appends the library generation suffix "10".
KO_EXPORT void bosdllname(unsigned char* buf);
