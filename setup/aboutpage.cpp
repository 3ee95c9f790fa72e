// The About page. Placeholder until the page lands: it records its record and keeps the sheet valid.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "setup/setup.h"

INT_PTR AboutDlgProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* psp = reinterpret_cast<PROPSHEETPAGEA*>(lParam);
        koSetWinPointer(page, reinterpret_cast<DSNInfoStruct*>(psp->lParam));
        aboutSheetWnd = GetParent(page);
        return TRUE;
    }
    auto* info = static_cast<DSNInfoStruct*>(koGetWinPointer(page));
    if (message != WM_NOTIFY || !info || !info->propSheet) return FALSE;
    switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE:
    case PSN_RESET:
        info->propSheet->dataValid = 1;
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
    return TRUE;
}
