// The dialog branch of a setup request: the three-page sheet over the record. Until the pages' own
// procedures land, each page shows the record's values in its controls and, when the user confirms,
// keeps its edits in the record and writes the data source.
#include "foundation/foundation.h"
#include "setup/setup.h"

#include <cstring>

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

DSNInfoStruct* recordOf(HWND page) {
    return static_cast<DSNInfoStruct*>(koGetWinPointer(page));
}

void fillPage(HWND page, DSNInfoStruct* info) {
    if (info->dsnName) SetDlgItemTextA(page, 401, reinterpret_cast<const char*>(info->dsnName));
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        const SetupInfo& row = info->setupInfo[i];
        HWND c = GetDlgItem(page, row.controlId);
        if (!c) continue;
        const char* v =
            info->infoArray && info->infoArray[i] ? reinterpret_cast<const char*>(info->infoArray[i]) : "";
        switch (row.controlType) {
        case controlEdit:
        case controlPassword:
            SendMessageA(c, EM_LIMITTEXT, row.maxLength, 0);
            SetWindowTextA(c, v);
            break;
        case controlRadio:
            if (*v && strCompareCi(U(v), row.controlValue) == 0) SendMessageA(c, BM_SETCHECK, BST_CHECKED, 0);
            break;
        case controlCheck:
            SendMessageA(c, BM_SETCHECK, std::strcmp(v, "1") == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        }
    }
    SendDlgItemMessageA(page, 401, EM_LIMITTEXT, 32, 0);
    SendDlgItemMessageA(page, 402, EM_LIMITTEXT, 255, 0);
    if (info->request == ODBC_ADD_DSN && info->dsnName && info->dsnName[0]) {
        EnableWindow(GetDlgItem(page, 401), FALSE);
        EnableWindow(GetDlgItem(page, 403), FALSE);
    }
}

// Keeps the page's values in the record; false when memory runs out.
bool savePage(HWND page, DSNInfoStruct* info) {
    char text[256];
    if (GetDlgItem(page, 401)) {
        GetDlgItemTextA(page, 401, text, sizeof text);
        unsigned char* name = ramAllocStr(U(text));
        if (!name) return false;
        ramFree(info->dsnName);
        info->dsnName = name;
    }
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        const SetupInfo& row = info->setupInfo[i];
        HWND c = GetDlgItem(page, row.controlId);
        if (!c || !info->infoArray) continue;
        const unsigned char* value = nullptr;
        switch (row.controlType) {
        case controlEdit:
        case controlPassword:
            GetWindowTextA(c, text, sizeof text);
            value = U(text);
            break;
        case controlRadio:
            if (SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED) value = row.controlValue;
            break;
        case controlCheck:
            value = U(SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1" : "0");
            break;
        default:
            continue;
        }
        unsigned char* copy = value ? ramAllocStr(value) : nullptr;
        if (value && !copy) return false;
        ramFree(info->infoArray[i]);
        info->infoArray[i] = copy;
    }
    return true;
}

INT_PTR pageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* psp = reinterpret_cast<PROPSHEETPAGEA*>(lParam);
        DSNInfoStruct* info = reinterpret_cast<DSNInfoStruct*>(psp->lParam);
        koSetWinPointer(page, info);
        fillPage(page, info);
        return TRUE;
    }
    DSNInfoStruct* info = recordOf(page);
    if (message != WM_NOTIFY || !info || !info->propSheet) return FALSE;
    KoPropertySheet* sheet = info->propSheet;
    HWND frame = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
    LRESULT result = 0;
    switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE:
        sheet->dataValid = 1;
        if (GetDlgItem(page, 401)) {
            sheet->sheetHeader->hwndSheet = frame;
            sheet->sheetHeader->pages[0].hwndPage = page;
        }
        SendMessageA(frame, PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
        break;
    case PSN_KILLACTIVE:
        result = sheet->dataValid ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        // Every page keeps its edits and writes: the last write holds the edits of all pages.
        sheet->dataValid = savePage(page, info) && SetDSNAttributes(info) ? 1 : 0;
        result = sheet->dataValid ? PSNRET_NOERROR : PSNRET_INVALID;
        break;
    case PSN_RESET:
        sheet->dataValid = 1;
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace

BOOL koRunSetupSheet(DSNInfoStruct* info) {
    unsigned char general[16], advanced[16], about[16];
    winGetString(general, 20153);
    winGetString(advanced, 20152);
    winGetString(about, 20151);
    PropSheetPage pages[3] = {
        {general, 1, pageProc, info, PSP_USETITLE, nullptr, nullptr, U("1 of 3")},
        {advanced, 2, pageProc, info, PSP_USETITLE, nullptr, nullptr, U("2 of 3")},
        {about, 10, pageProc, info, PSP_USETITLE, nullptr, nullptr, U("3 of 3")},
    };
    // A window this layer did not make (the caller's own toolkit's, or whatever the driver manager
    // passes) is treated as the desktop: the sheet runs without an owner.
    HWND owner =
        info->hwnd && IsWindow(info->hwnd) && info->hwnd != GetDesktopWindow() ? info->hwnd : nullptr;
    PropSheetHeader header{owner, nullptr, resourceModule, U("ODBC Btrieve Driver Setup"), 0, 3, pages};
    KoPropertySheet* sheet = new KoPropertySheet(&header);
    if (!sheet) return FALSE;
    info->propSheet = sheet;
    KoStatus status = sheet->CreatePropertySheet();
    info->propSheet = nullptr;
    delete sheet;
    return status == koSuccess ? TRUE : FALSE;
}
