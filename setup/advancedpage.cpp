// The Advanced page: the Btrieve options, the check of the data-file extension, the file definer of
// the driver library and the translator choice.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "platform/win32.h"
#include "setup/setup.h"

namespace {

// The driver library's file definer: directory and name of the chosen file, driver description, 0.
using Definer = int (*)(const unsigned char*, const unsigned char*, const unsigned char*, int);

DSNInfoStruct* recordOf(HWND page) {
    return static_cast<DSNInfoStruct*>(koGetWinPointer(page));
}

void warn(HWND page, const char* text) {
    MessageBoxA(page, text, "Warning", MB_TASKMODAL | MB_ICONWARNING);
}

// The definer loads Btrieve's interface library and leaves it loaded; the page gives that reference
// back when it is left or checked.
void releaseBtrieveInterface() {
    if (HMODULE library = GetModuleHandleA("WBTRCALL")) FreeLibrary(library);
}

// Command 2: keeps the page's edits and checks the extension.
void saveAndCheck(HWND page, DSNInfoStruct* info, WPARAM wParam) {
    KoPropertySheet* sheet = koPageSheet(page, info);
    if (BaseSaveToInfoArray(page, info) != koSuccess) {
        if (sheet) sheet->dataValid = 0;
        return;
    }
    unsigned char extension[256];
    GetDlgItemTextA(page, 313, reinterpret_cast<char*>(extension), sizeof extension);
    strRightTrim(extension, koCPAnsi);
    bool refused = true;
    if (!extension[0])
        warn(page, "Data File Extension cannot be blank");
    else if (!isValidFileExtension(extension))
        warn(page, "Data File Extension is invalid.");
    else
        refused = false;
    if (definerUsed) releaseBtrieveInterface();
    if (sheet)
        sheet->dataValid = refused ? 0 : 1;
    else if (!refused)
        EndDialog(page, static_cast<INT_PTR>(wParam));
}

// Command 306: the open dialog and the definer, again and again until the user cancels.
void defineFiles(HWND page, DSNInfoStruct* info) {
    unsigned char directory[256], extension[4], path[256];
    GetDlgItemTextA(page, 300, reinterpret_cast<char*>(directory), sizeof directory);
    GetDlgItemTextA(page, 313, reinterpret_cast<char*>(extension), sizeof extension);
    while (defineFileDialog(page, directory, path, extension)) {
        definerUsed = 1;
        unsigned char* slash = strFindReverse(path, '/');
        const unsigned char* folder = path;
        const unsigned char* name = path;
        if (slash) {
            name = slash + 1;
            // A file in the root keeps "/" as its folder rather than none.
            *slash = 0;
            if (slash == path) folder = reinterpret_cast<const unsigned char*>("/");
        } else {
            folder = reinterpret_cast<const unsigned char*>("");
        }
        auto definer = activeCallMapper ? reinterpret_cast<Definer>(activeCallMapper->getDefiner()) : nullptr;
        if (definer) definer(folder, name, info->driverDesc, 0);
    }
}

void chooseTranslator(HWND page, DSNInfoStruct* info) {
    if (BaseGetTranslator(page, info) == koSuccess) return;
    if (KoError* error = KoErrorKeeper::getLastError())
        MessageBoxA(page, reinterpret_cast<const char*>(error->getErrorText()), "Warning",
                    MB_TASKMODAL | MB_ICONWARNING);
}

// PSN_APPLY: this page is checked, then the General page writes with the edits of both pages.
LRESULT applyPage(HWND page, KoPropertySheet* sheet) {
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (sheet->dataValid == 0) return PSNRET_INVALID;
    if (HWND general = sheet->sheetHeader->pages[0].hwndPage)
        SendMessageA(general, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return sheet->dataValid == 1 ? PSNRET_NOERROR : PSNRET_INVALID;
}

BOOL notification(HWND page, DSNInfoStruct* info, const NMHDR* header) {
    KoPropertySheet* sheet = koPageSheet(page, info);
    if (!sheet) return FALSE;
    LRESULT result = 0;
    switch (header->code) {
    case PSN_SETACTIVE:
        sheet->dataValid = 1;
        SendMessageA(header->hwndFrom, PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
        break;
    case PSN_KILLACTIVE:
        // After a refusal the page is checked again (see the General page).
        if (sheet->dataValid == 0) SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (sheet->dataValid == 0) {
            result = TRUE;
        } else if (definerUsed) {
            releaseBtrieveInterface();
        }
        break;
    case PSN_APPLY:
        result = applyPage(page, sheet);
        break;
    case PSN_RESET:
        sheet->dataValid = 1;
        break;
    case PSN_HELP:
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDHELP, BN_CLICKED), 0);
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR command(HWND page, DSNInfoStruct* info, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        saveAndCheck(page, info, wParam);
        break;
    case IDHELP:
        koDisplayHelp(info->driverDesc, reinterpret_cast<const unsigned char*>("btradvanced"));
        return TRUE;
    case 304:
    case 305:
        CheckRadioButton(page, 304, 305, LOWORD(wParam));
        return TRUE;
    case 306:
        defineFiles(page, info);
        break;
    case 310:
        chooseTranslator(page, info);
        break;
    case 319:
        koRunConnectionTest(advancedSheetWnd, info);
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR AdvancedDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        definerUsed = 0;
        DSNInfoStruct* info = koPageRecordAtCreation(page, lParam);
        koSetWinPointer(page, info);
        // A nested dialog (command 312 of the General page) leaves the sheet's window as it is.
        if (GetWindowLongA(page, GWL_STYLE) & WS_CHILD) advancedSheetWnd = GetParent(page);
        winCenterBox(page);
        if (!info || BaseInitSetupDialog(page, info) != koSuccess) return TRUE;
        // The page offers "ERROR" whatever the stored choice.
        CheckRadioButton(page, 304, 305, 305);
        if (!activeCallMapper || !activeCallMapper->definerAvailable)
            EnableWindow(GetDlgItem(page, 306), FALSE);
        SetFocus(GetDlgItem(page, 303));
        return FALSE;
    }
    DSNInfoStruct* info = recordOf(page);
    if (!info) return FALSE;
    switch (message) {
    case WM_NOTIFY:
        return notification(page, info, reinterpret_cast<const NMHDR*>(lParam));
    case WM_HELP:
    case WM_CONTEXTMENU:
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDHELP, BN_CLICKED), 0);
        return TRUE;
    case WM_COMMAND:
        return command(page, info, wParam);
    }
    return FALSE;
}
