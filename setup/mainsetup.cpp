// The installer's entry point: one setup request from attribute list to written data source or sheet.
#include "setup/setup.h"
#include "platform/win32.h"

#include <cstring>

HINSTANCE moduleInstance = nullptr;
const char* profileName = nullptr;
DefinerCallMapper* activeCallMapper = nullptr;

DefinerCallMapper::DefinerCallMapper() : definerAvailable(0) {}

KoStatus DefinerCallMapper::bindDefiner() {
    char name[256 + 8];
    DWORD n = GetModuleFileNameA(resourceModule, name, 256);
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
        MessageBoxA(nullptr,
                    "Some setup features have been disabled due to an incomplete driver or database client "
                    "installation.",
                    "ODBC Btrieve Driver Setup Warning", MB_OK | MB_TASKMODAL | MB_ICONWARNING);
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

extern "C" KO_EXPORT BOOL INSTAPI ConfigDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver,
                                            LPCSTR lpszAttributes) {
    if (!koSetupIsAttached()) return FALSE;
    if (!resourceModule) {
        bosLoadResourceDLL(moduleInstance, 1, &resourceModule, &resourceRefCount);
        profileName = "ODBC.INI";
    }
    uint16_t showDialog = 0;
    BOOL result = FALSE;
    {
        DSNInfoStruct info(hwndParent, fRequest, reinterpret_cast<const unsigned char*>(lpszDriver),
                           reinterpret_cast<const unsigned char*>(lpszAttributes), setupInfoTable,
                           setupInfoTableCount);
        if (!info.config(&showDialog)) {
            reportFailure(info);
            bosFreeResourceDLL(&resourceModule, &resourceRefCount);
            return FALSE;
        }
        activeCallMapper = new DefinerCallMapper;
        if (!activeCallMapper) return FALSE;
        activeCallMapper->bindDefiner();
        if (!showDialog) {
            bosFreeResourceDLL(&resourceModule, &resourceRefCount);
            result = TRUE;
        } else {
            // The resource library stays loaded for later requests.
            result = koRunSetupSheet(&info);
        }
        delete activeCallMapper;
        activeCallMapper = nullptr;
    }
    return result;
}
