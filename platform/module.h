#pragma once
// Modules: dynamic libraries behind a reference-counted table keyed by base name.
#include "platform/types.h"

// Loads a library. A name ending in ".DLL" (any case) has it replaced by ".so"; a name without an
// extension gets ".so". A name without "/" is looked for in the system's search order.
HMODULE LoadLibraryA(LPCSTR name);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// A module already loaded in the process, found by its file name (after the same name mapping), or
// null; takes no reference.
HMODULE GetModuleHandleA(LPCSTR name);
// The module's full path (of the executable for a null module); the length copied, 0 on failure. A
// name longer than the buffer is cut to size - 1 characters and terminated, as Windows does.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
// The module that contains an address (the instance handle a library gets at attach), without a
// reference of its own.
HMODULE koModuleOfAddress(const void* address);

// The system directory: where the system's copy of the installer library lives. KO_SYSTEM_DIR names
// it (tests); otherwise it is the folder of the C library, the system's library folder. Returns the
// length, or the size needed (with the terminator) when the buffer is too small.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);

// Version resources of "version.dll", which LoadLibraryA serves from the layer itself: a library's
// file version is the numeric suffix of its real file name (libx.so.2.0.0 is 2.0.0.0).
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length);
