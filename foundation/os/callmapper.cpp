#include "foundation/os/callmapper.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/sync/kocriticalsection.h"
#include "platform/win32.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <cstring>

namespace {

// unixODBC's installer library plays the part of the Windows installer DLL.
const char kInstallerName[] = "libodbcinst.so.2";
const char kInstallerCaption[] = "ODBC Installer Error";

// Set by the first call that loads the library; never released, so that function addresses handed
// out stay valid for the life of the process. Any thread may call a forwarder first.
std::atomic<HMODULE> installerModule{nullptr};
std::mutex installerChoiceLock;

typedef DWORD (*GetFileVersionInfoSizeFn)(LPCSTR, LPDWORD);
typedef BOOL (*GetFileVersionInfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL (*VerQueryValueFn)(LPCVOID, LPCSTR, LPVOID*, UINT*);

// The three functions of the version library, bound together or not at all.
struct VersionFunctions {
    HMODULE library = nullptr;
    GetFileVersionInfoSizeFn size = nullptr;
    GetFileVersionInfoFn info = nullptr;
    VerQueryValueFn query = nullptr;

    bool bind() {
        library = LoadLibraryA("version.dll");
        if (!library) return false;
        size = reinterpret_cast<GetFileVersionInfoSizeFn>(GetProcAddress(library, "GetFileVersionInfoSizeA"));
        info = reinterpret_cast<GetFileVersionInfoFn>(GetProcAddress(library, "GetFileVersionInfoA"));
        query = reinterpret_cast<VerQueryValueFn>(GetProcAddress(library, "VerQueryValueA"));
        if (size && info && query) return true;
        release();
        return false;
    }
    void release() {
        if (library) FreeLibrary(library);
        library = nullptr;
    }
};

// The 64-bit file version of a file, read through its version resource.
bool fileVersion(const VersionFunctions& v, const char* file, DWORD size, uint64_t* version) {
    void* block = ramAlloc(size);
    if (!block) return false;
    bool ok = false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (v.info(file, 0, size, block) && v.query(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &length) &&
        fixed) {
        *version = (static_cast<uint64_t>(fixed->dwFileVersionMS) << 32) | fixed->dwFileVersionLS;
        ok = true;
    }
    ramFree(block);
    return ok;
}

// Loads the installer library, preferring the newer of the copy found by the normal search and the
// copy in the system directory, after putting aside a broken stub in the system directory.
HMODULE chooseInstallerLibrary() {
    char systemDir[261];
    UINT n = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (n == 0 || n >= sizeof systemDir) systemDir[0] = 0;
    char systemPath[261 + sizeof kInstallerName + 1];
    std::snprintf(systemPath, sizeof systemPath, "%s/%s", systemDir, kInstallerName);

    // A stub of the installer without a version, left behind by some installations, would shadow
    // the real library: move it aside.
    // Its size is read without opening it, so no handle or lock outlives the check.
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (GetFileAttributesExA(systemPath, GetFileExInfoStandard, &attributes) &&
        attributes.nFileSizeHigh == 0 && attributes.nFileSizeLow < 20000) {
        VersionFunctions v;
        if (v.bind()) {
            DWORD handle = 0;
            if (v.size(systemPath, &handle) == 0) {
                char badPath[261 + 32];
                std::snprintf(badPath, sizeof badPath, "%s/%s", systemDir, "libodbcinst.bad");
                MoveFileExA(systemPath, badPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
            }
            v.release();
        }
    }

    HMODULE byName = LoadLibraryA(kInstallerName);
    HMODULE bySystemPath = LoadLibraryA(systemPath);
    if (!byName || !bySystemPath) return byName ? byName : bySystemPath;
    if (byName == bySystemPath) {
        FreeLibrary(bySystemPath);
        return byName;
    }
    VersionFunctions v;
    if (!v.bind()) {
        FreeLibrary(bySystemPath);
        return byName;
    }
    // The copy found by name wins unless the system copy is known to be newer.
    HMODULE winner = byName;
    char byNamePath[522];
    if (GetModuleFileNameA(byName, byNamePath, sizeof byNamePath)) {
        DWORD sizeByName = v.size(byNamePath, nullptr);
        DWORD sizeSystem = v.size(systemPath, nullptr);
        uint64_t versionByName = 0, versionSystem = 0;
        if (sizeByName && sizeSystem && fileVersion(v, byNamePath, sizeByName, &versionByName) &&
            fileVersion(v, systemPath, sizeSystem, &versionSystem) && versionByName < versionSystem)
            winner = bySystemPath;
    }
    FreeLibrary(winner == byName ? bySystemPath : byName);
    v.release();
    return winner;
}

// The installer library, chosen once; null while no installer can be found (a later call looks again).
HMODULE installer() {
    HMODULE m = installerModule.load(std::memory_order_acquire);
    if (m) return m;
    std::lock_guard<std::mutex> g(installerChoiceLock);
    m = installerModule.load(std::memory_order_relaxed);
    if (!m) {
        m = chooseInstallerLibrary();
        installerModule.store(m, std::memory_order_release);
    }
    return m;
}

// The installer's function of that name, or null after telling the user why it cannot be called.
FARPROC resolveInstallerFunction(const char* name) {
    HMODULE module = installer();
    if (!module) {
        MessageBoxA(nullptr, "The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.",
                    kInstallerCaption, MB_OK | MB_ICONINFORMATION);
        return nullptr;
    }
    FARPROC f = GetProcAddress(module, name);
    if (!f) {
        char installerPath[261] = "";
        char hostPath[261] = "";
        GetModuleFileNameA(module, installerPath, sizeof installerPath);
        GetModuleFileNameA(nullptr, hostPath, sizeof hostPath);
        char message[1024];
        std::snprintf(message, sizeof message,
                      "The program %s, or one of its DLLs attempted to call the function %s which is not "
                      "supported in the loaded ODBC installer DLL (%s).  Press OK to proceed.",
                      hostPath, name, installerPath);
        MessageBoxA(nullptr, message, kInstallerCaption, MB_OK | MB_ICONINFORMATION);
    }
    return f;
}

template <class Fn> Fn resolve(const char* name) {
    return reinterpret_cast<Fn>(resolveInstallerFunction(name));
}

} // namespace

BOOL koPostInstallerError(DWORD code, const char* text) {
    HMODULE module = installer();
    if (!module || !text) return FALSE;
    auto post =
        reinterpret_cast<SQLRETURN (*)(DWORD, LPCSTR)>(GetProcAddress(module, "SQLPostInstallerError"));
    return post && post(code, text) == SQL_SUCCESS ? TRUE : FALSE;
}

namespace {

// Profile-function binding of the registry-backed profile layer, guarded by its static critical
// section.
HMODULE profileModule = nullptr;
KoWritePrivateProfileStringFn boundWrite = nullptr;
KoGetPrivateProfileStringFn boundGet = nullptr;

} // namespace

extern "C" {

KO_EXPORT BOOL INSTAPI SQLWriteDSNToIni(LPCSTR dsn, LPCSTR driver) {
    try {
        auto f = resolve<BOOL (*)(LPCSTR, LPCSTR)>("SQLWriteDSNToIni");
        return f ? f(dsn, driver) : FALSE;
    } catch (...) { // the caller is C: nothing escapes
        return FALSE;
    }
}

KO_EXPORT BOOL INSTAPI SQLRemoveDSNFromIni(LPCSTR dsn) {
    try {
        auto f = resolve<BOOL (*)(LPCSTR)>("SQLRemoveDSNFromIni");
        return f ? f(dsn) : FALSE;
    } catch (...) { // the caller is C: nothing escapes
        return FALSE;
    }
}

KO_EXPORT BOOL INSTAPI SQLValidDSN(LPCSTR dsn) {
    try {
        auto f = resolve<BOOL (*)(LPCSTR)>("SQLValidDSN");
        return f ? f(dsn) : FALSE;
    } catch (...) { // the caller is C: nothing escapes
        return FALSE;
    }
}

KO_EXPORT BOOL INSTAPI SQLWritePrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    try {
        auto f = resolve<KoWritePrivateProfileStringFn>("SQLWritePrivateProfileString");
        return f ? f(section, key, value, file) : FALSE;
    } catch (...) { // the caller is C: nothing escapes
        return FALSE;
    }
}

KO_EXPORT int INSTAPI SQLGetPrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                                                 LPSTR buffer, int size, LPCSTR file) {
    try {
        auto f = resolve<KoGetPrivateProfileStringFn>("SQLGetPrivateProfileString");
        return f ? f(section, key, defaultValue, buffer, size, file) : 0;
    } catch (...) { // the caller is C: nothing escapes
        return 0;
    }
}

KO_EXPORT BOOL INSTAPI SQLGetTranslator(HWND owner, LPSTR name, WORD nameMax, WORD* nameOut, LPSTR path,
                                        WORD pathMax, WORD* pathOut, DWORD* option) {
    try {
        auto f = resolve<BOOL (*)(HWND, LPSTR, WORD, WORD*, LPSTR, WORD, WORD*, DWORD*)>("SQLGetTranslator");
        return f ? f(owner, name, nameMax, nameOut, path, pathMax, pathOut, option) : FALSE;
    } catch (...) { // the caller is C: nothing escapes
        return FALSE;
    }
}

} // extern "C"

void loadOdbcInst() {
    KoCriticalSection& lock = koInstallerProfileLock();
    lock.enter();
    if (!profileModule) {
        profileModule = LoadLibraryA(kInstallerName);
        if (profileModule) {
            boundWrite = reinterpret_cast<KoWritePrivateProfileStringFn>(
                GetProcAddress(profileModule, "SQLWritePrivateProfileString"));
            boundGet = reinterpret_cast<KoGetPrivateProfileStringFn>(
                GetProcAddress(profileModule, "SQLGetPrivateProfileString"));
        }
    }
    lock.leave();
}

void unloadOdbcInst() {
    KoCriticalSection& lock = koInstallerProfileLock();
    lock.enter();
    if (profileModule) {
        FreeLibrary(profileModule);
        profileModule = nullptr;
        boundWrite = nullptr;
        boundGet = nullptr;
    }
    lock.leave();
}

KoWritePrivateProfileStringFn koBoundWritePrivateProfileString() {
    KoCriticalSection& lock = koInstallerProfileLock();
    lock.enter();
    KoWritePrivateProfileStringFn f = boundWrite;
    lock.leave();
    return f;
}

KoGetPrivateProfileStringFn koBoundGetPrivateProfileString() {
    KoCriticalSection& lock = koInstallerProfileLock();
    lock.enter();
    KoGetPrivateProfileStringFn f = boundGet;
    lock.leave();
    return f;
}

UtlLibCallMapper::UtlLibCallMapper() : entryTable(nullptr), maxEntries(100), module(nullptr), initialized(0) {
    libraryName[0] = 0;
}

UtlLibCallMapper::~UtlLibCallMapper() {
    release();
}

void UtlLibCallMapper::release() {
    ramFree(entryTable);
    entryTable = nullptr;
    if (module) FreeLibrary(module);
    module = nullptr;
    initialized = 0;
}

void* UtlLibCallMapper::operator new(std::size_t size) noexcept {
    return ramAlloc(static_cast<uint32_t>(size));
}

void UtlLibCallMapper::operator delete(void* block) noexcept {
    ramFree(block);
}

KoStatus UtlLibCallMapper::setDLLName(const unsigned char* name) {
    if (module || !name) return koFailure;
    size_t n = std::strlen(reinterpret_cast<const char*>(name));
    if (n > 255) return koFailure;
    std::memcpy(libraryName, name, n + 1);
    return koSuccess;
}

KoStatus UtlLibCallMapper::setMaxDLLEntries(uint32_t count) {
    if (module) return koFailure;
    maxEntries = count;
    return koSuccess;
}

KoStatus UtlLibCallMapper::initialize() {
    if (module) return koFailure;
    module = LoadLibraryA(reinterpret_cast<const char*>(libraryName));
    if (!module) {
        koRaiseError(koErrLibraryLoad) << static_cast<const unsigned char*>(libraryName);
        return koFailure;
    }
    // One slot more than the highest index; a count that cannot be sized is refused like exhaustion.
    uint64_t bytes = (static_cast<uint64_t>(maxEntries) + 1) * sizeof(FARPROC);
    if (bytes > UINT32_MAX) return koFailure;
    entryTable = static_cast<FARPROC*>(ramAllocZ(static_cast<uint32_t>(bytes)));
    if (!entryTable) return koFailure;
    initialized = 1;
    return koSuccess;
}

KoStatus UtlLibCallMapper::setDLLEntryPoint(const unsigned char* entryName, uint32_t index) {
    if (!module || !entryTable || index > maxEntries) return koFailure;
    FARPROC f = GetProcAddress(module, reinterpret_cast<const char*>(entryName));
    if (!f) {
        koRaiseError(koErrLibraryEntry) << entryName << static_cast<const unsigned char*>(libraryName);
        return koFailure;
    }
    entryTable[index] = f;
    return koSuccess;
}

KoStatus UtlLibCallMapper::setOptionalDLLEntryPoint(const unsigned char* entryName, uint32_t index) {
    if (!module || !entryTable || index > maxEntries) return koFailure;
    FARPROC f = GetProcAddress(module, reinterpret_cast<const char*>(entryName));
    if (!f) return koFailure;
    entryTable[index] = f;
    return koSuccess;
}

FARPROC UtlLibCallMapper::getDLLEntryPoint(uint32_t index) {
    if (!module || !entryTable || index > maxEntries) return nullptr;
    return entryTable[index];
}

int UtlLibCallMapper::getInitialized() {
    return initialized;
}
