#pragma once
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/types.h"

// The installer library is never linked: the module exports the installer functions it calls under
// their own names (SQLWriteDSNToIni, SQLRemoveDSNFromIni, SQLValidDSN, SQLWritePrivateProfileString,
// SQLGetPrivateProfileString, SQLGetTranslator, declared by odbcinst.h), and each one finds the real
// function in the installer library at the moment of the call. A missing library or function is
// reported in a message box and the call returns 0.

// Hands a reason for a failed request to the installer's error queue, where the caller of
// SQLConfigDataSource reads it with SQLInstallerError. Silent: nothing is shown when the installer
// library or its function is missing. TRUE when the installer took it.
KO_EXPORT BOOL koPostInstallerError(DWORD code, const char* text);

// Binding of the two profile functions for the registry-backed profile layer, under its own lock.
KO_EXPORT void loadOdbcInst();
KO_EXPORT void unloadOdbcInst();
typedef BOOL (*KoWritePrivateProfileStringFn)(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
typedef int (*KoGetPrivateProfileStringFn)(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                           int size, LPCSTR file);
// The bound functions (null when not bound); read them after loadOdbcInst.
KO_EXPORT KoWritePrivateProfileStringFn koBoundWritePrivateProfileString();
KO_EXPORT KoGetPrivateProfileStringFn koBoundGetPrivateProfileString();

// General run-time binder: loads a library by name and keeps its entry points in a table by index.
class KO_EXPORT UtlLibCallMapper {
public:
    UtlLibCallMapper();
    virtual ~UtlLibCallMapper();
    UtlLibCallMapper(const UtlLibCallMapper&) = delete;
    UtlLibCallMapper& operator=(const UtlLibCallMapper&) = delete;

    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

protected:
    // Copies the library name; fails while a library is loaded or for a name over 255 characters.
    KoStatus setDLLName(const unsigned char* name);
    // Sets the highest valid index; fails while a library is loaded.
    KoStatus setMaxDLLEntries(uint32_t count);
    // Loads the library (error 2733 when it does not load) and allocates the entry table.
    KoStatus initialize();
    // Looks entryName up and stores it at index (error 2734 when the library lacks it).
    KoStatus setDLLEntryPoint(const unsigned char* entryName, uint32_t index);
    // The same for a function a subclass can do without: 1 when it is missing, nothing raised.
    KoStatus setOptionalDLLEntryPoint(const unsigned char* entryName, uint32_t index);
    // The address stored at index, or null.
    FARPROC getDLLEntryPoint(uint32_t index);
    int getInitialized();
    // Gives the table and the library back: the binder is as constructed but for its name and
    // count, and can be initialized again (after a failed initialize that left the library loaded).
    void release();

private:
    FARPROC* entryTable;
    uint32_t maxEntries;
    HMODULE module;
    unsigned char libraryName[256];
    int initialized;
};
