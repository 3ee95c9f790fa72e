// The installer's entry point: one setup request from attribute list to written data source or sheet.
#include "setup/setup.h"
#include "foundation/errors/koerrnum.h"
#include "platform/win32.h"

#include <cstring>

HINSTANCE moduleInstance = nullptr;
const char* profileName = nullptr;
DefinerCallMapper* activeCallMapper = nullptr;

DefinerCallMapper::DefinerCallMapper() : definerAvailable(0) {}

namespace {

void warnIncompleteInstallation() {
    MessageBoxA(nullptr,
                "Some setup features have been disabled due to an incomplete driver or database client "
                "installation.",
                "ODBC Btrieve Driver Setup Warning", MB_OK | MB_TASKMODAL | MB_ICONWARNING);
}

} // namespace

KoStatus DefinerCallMapper::bindDefiner() {
    // The driver library's name is derived from the resource library's; without that library there
    // is nothing to derive it from (the host program's own name would load an unrelated library
    // beside it), so the definer is unavailable.
    if (!resourceModule) {
        warnIncompleteInstallation();
        return koFailure;
    }
    char name[256 + 8];
    DWORD n = GetModuleFileNameA(resourceModule, name, 256);
    if (n == 0) {
        warnIncompleteInstallation();
        return koFailure;
    }
    if (n >= 256) n = 255;
    name[n] = 0;
    // The driver library is named like the resource library without its "R" (or "S") before the
    // extension: ztbtr20R.so belongs to ztbtr20.so.
    char* base = std::strrchr(name, '/');
    base = base ? base + 1 : name;
    char* dot = std::strrchr(base, '.');
    if (dot && dot > base && (dot[-1] == 'R' || dot[-1] == 'S')) {
        std::strcpy(dot - 1, ".DLL");
    } else if (dot) {
        std::strcpy(dot + 1, "DLL");
    } else {
        std::strcat(name, ".DLL");
    }
    KoStatus status = setDLLName(reinterpret_cast<unsigned char*>(name));
    if (!status) status = initialize();
    if (status) {
        warnIncompleteInstallation();
        return status;
    }
    status = setDLLEntryPoint(reinterpret_cast<const unsigned char*>("BringUpDefiner"), 0);
    if (!status) definerAvailable = 1;
    return status;
}

FARPROC DefinerCallMapper::getDefiner() {
    return definerAvailable ? getDLLEntryPoint(0) : nullptr;
}

namespace {

// The request's errors are discarded with it; the installer's caller learns the last one's text
// (a refused attribute list, for one) through the installer's error queue.
void reportFailure(DSNInfoStruct& info) {
    KoError* error = info.errorList ? info.errorList->getLastError() : nullptr;
    if (!error || error->number == 0) return;
    koPostInstallerError(koInstallerErrorCode(error->number),
                         reinterpret_cast<const char*>(error->getErrorText()));
}

} // namespace

namespace {

BOOL configDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszAttributes) {
    if (!koSetupIsAttached()) return FALSE;
    if (!resourceModule) {
        // Without the resource library the request still runs: texts are missing and the file
        // definer is unavailable, which bindDefiner tells the user.
        if (koResourceAcquire(moduleInstance) == koSuccess) profileName = "ODBC.INI";
    }
    if (!profileName) profileName = "ODBC.INI";
    // A window this layer did not make (the caller's own toolkit's, or any value a driver manager
    // passes) asks for the sheet all the same; it runs without an owner, as over the desktop.
    if (hwndParent && !IsWindow(hwndParent)) hwndParent = GetDesktopWindow();
    uint16_t showDialog = 0;
    BOOL result = FALSE;
    DSNInfoStruct info(hwndParent, fRequest, reinterpret_cast<const unsigned char*>(lpszDriver),
                       reinterpret_cast<const unsigned char*>(lpszAttributes), setupInfoTable,
                       setupInfoTableCount);
    if (!info.config(&showDialog)) {
        reportFailure(info);
        koResourceRelease();
        return FALSE;
    }
    activeCallMapper = new DefinerCallMapper;
    if (!activeCallMapper) {
        koResourceRelease();
        koPostInstallerError(ODBC_ERROR_OUT_OF_MEM, "Out of memory.");
        return FALSE;
    }
    // Released on every way out, an exception's included.
    struct MapperGuard {
        ~MapperGuard() {
            delete activeCallMapper;
            activeCallMapper = nullptr;
        }
    } mapperGuard;
    activeCallMapper->bindDefiner();
    if (!showDialog) {
        koResourceRelease();
        result = TRUE;
    } else {
        // The resource library stays loaded for later requests.
        result = koRunSetupSheet(&info);
    }
    return result;
}

} // namespace

// The installer calls in through C: nothing may escape as an exception into the driver manager.
extern "C" KO_EXPORT BOOL INSTAPI ConfigDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver,
                                            LPCSTR lpszAttributes) {
    try {
        return configDSN(hwndParent, fRequest, lpszDriver, lpszAttributes);
    } catch (...) {
        try {
            koPostInstallerError(ODBC_ERROR_OUT_OF_MEM, "Out of memory.");
        } catch (...) {
        }
        return FALSE;
    }
}
