// The About page: what is installed (the driver library's path, date and size, and the setup
// module's version), an icon reel while the page is active, and the sheet's Test Connect while the
// page is the current one.
#include "foundation/foundation.h"
#include "setup/aboutanimation.h"
#include "setup/pages.h"
#include "setup/setup.h"

#include <cstdio>
#include <cstring>

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

const char kVersion[] = "05.00.0011 (B0010, U0007, F0010)";

// The notice lines shown for this project's own drivers.
const char kNotice[] = "btrsetup: the setup module of the Btrieve ODBC driver for unixODBC.";
const char kRights[] = "Distributed under the licence that accompanies the btrsetup source.";
const char kAddressOne[] = "btrsetup project";
const char kAddressTwo[] = "See README.md in the source for building, testing and reporting problems.";

const uint32_t kPathSize = 388;

// Reads the "Driver" entry of section in file into path (kPathSize bytes); "" when there is none.
void readDriverEntry(const unsigned char* section, const char* file, unsigned char* path) {
    path[0] = 0;
    // An empty section would read the list of the file's sections instead of one entry.
    if (!section || !section[0]) return;
    ntGetProfileString(section, U("Driver"), U(""), path, kPathSize, U(file), 0);
}

// The driver library of the record's data source: its own "Driver" entry, else the one registered
// for its driver. unixODBC keeps a driver's description, not its file, in a data source's entry: a
// value that is not a path names the driver whose entry gives the file.
void findDriverLibrary(DSNInfoStruct* info, unsigned char* path) {
    readDriverEntry(info->origDSN, profileName ? profileName : "ODBC.INI", path);
    if (path[0] && !std::strchr(reinterpret_cast<char*>(path), '/')) {
        unsigned char registered[kPathSize];
        readDriverEntry(path, "ODBCINST.INI", registered);
        if (registered[0]) std::memcpy(path, registered, kPathSize);
    }
    if (!path[0]) readDriverEntry(info->driverDesc, "ODBCINST.INI", path);
}

// True when the file's base name (no folder, no extension) begins with "VZ", in either case: the
// drivers of this project's own line.
bool isOwnDriver(const unsigned char* path) {
    const char* base = std::strrchr(reinterpret_cast<const char*>(path), '/');
    base = base ? base + 1 : reinterpret_cast<const char*>(path);
    const char* dot = std::strrchr(base, '.');
    size_t length = dot ? static_cast<size_t>(dot - base) : std::strlen(base);
    return length >= 2 && (base[0] == 'V' || base[0] == 'v') && (base[1] == 'Z' || base[1] == 'z');
}

// A page of the sheet is a child of the sheet's frame; the same procedure run as a nested dialog
// (the General page's About button) owns a top-level window.
bool isSheetPage(HWND page) {
    return (GetWindowLongA(page, GWL_STYLE) & WS_CHILD) != 0;
}

void setResult(HWND page, LRESULT result) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
}

INT_PTR notifyMessage(HWND page, DSNInfoStruct* info, const NMHDR* header) {
    switch (header->code) {
    case PSN_SETACTIVE:
        // Nothing on this page is ever changed, and its activation accepts the sheet's input.
        SendMessageA(header->hwndFrom, PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
        if (info->propSheet) info->propSheet->dataValid = 1;
        koStartAboutAnimation(&info->aboutAnimate, resourceModule, page);
        break;
    case PSN_RESET:
        if (info->propSheet) info->propSheet->dataValid = 1;
        koStopAboutAnimation(&info->aboutAnimate);
        break;
    case PSN_KILLACTIVE:
        koStopAboutAnimation(&info->aboutAnimate);
        break;
    default:
        return FALSE;
    }
    setResult(page, 0);
    return TRUE;
}

} // namespace

KoStatus BaseInitAboutDialog(HWND page, DSNInfoStruct* info) {
    if (!info) return koSuccess;
    unsigned char path[kPathSize];
    findDriverLibrary(info, path);
    if (path[0]) {
        SetDlgItemTextA(page, 605, reinterpret_cast<char*>(path));
        // A missing file keeps the template's texts; an empty one shows no size.
        unsigned char date[16] = "";
        uint32_t size = 0;
        if (bosFileDateSize(path, date, &size) == koSuccess) {
            if (date[0]) SetDlgItemTextA(page, 607, reinterpret_cast<char*>(date));
            if (size) {
                char text[32];
                std::snprintf(text, sizeof text, "%li bytes", static_cast<long>(size));
                SetDlgItemTextA(page, 608, text);
            }
        }
    }
    if (isOwnDriver(path)) {
        SetDlgItemTextA(page, 609, kNotice);
        SetDlgItemTextA(page, 616, kRights);
        SetDlgItemTextA(page, 610, kAddressOne);
        SetDlgItemTextA(page, 611, kAddressTwo);
    } else {
        for (int id = 612; id <= 615; ++id)
            ShowWindow(GetDlgItem(page, id), SW_HIDE);
    }
    return koSuccess;
}

INT_PTR AboutDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // Inside the sheet the creation parameter is the page's description, which carries the
        // record; as a nested dialog it is the record itself.
        DSNInfoStruct* info =
            isSheetPage(page)
                ? reinterpret_cast<DSNInfoStruct*>(reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam)
                : reinterpret_cast<DSNInfoStruct*>(lParam);
        koSetWinPointer(page, info);
        // Only a page's parent is the sheet; a nested dialog's would be its owner, and a Test Connect
        // of the sheet's About page would then apply the wrong window.
        if (isSheetPage(page)) aboutSheetWnd = GetParent(page);
        BaseInitAboutDialog(page, info);
        SetDlgItemTextA(page, 606, kVersion);
        return TRUE;
    }
    auto* info = static_cast<DSNInfoStruct*>(koGetWinPointer(page));
    switch (message) {
    case WM_PAINT:
        koAboutDlgPaint(page);
        return FALSE;
    case WM_NOTIFY:
        return info ? notifyMessage(page, info, reinterpret_cast<const NMHDR*>(lParam)) : FALSE;
    case WM_DESTROY:
        // A sheet that goes without telling the page it is left must not leave the reel running.
        if (info && info->aboutAnimate.window == page) koStopAboutAnimation(&info->aboutAnimate);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            // The sheet's own buttons close the sheet; ending a page would only hide it.
            if (!isSheetPage(page)) EndDialog(page, LOWORD(wParam));
            return TRUE;
        case 319:
            if (info) koRunConnectionTest(aboutSheetWnd, info);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
