// The General page: the data-source name and description, the sheet's Test Connect button, and the
// write of the data source when the user confirms.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "setup/setup.h"

namespace {

const int testConnectId = 319;

DSNInfoStruct* recordOf(HWND page) {
    return static_cast<DSNInfoStruct*>(koGetWinPointer(page));
}

// The Test Connect button stands on the sheet frame 7 units left of OK, with OK's size and font.
void createTestConnectButton(HWND sheet) {
    HWND ok = GetDlgItem(sheet, IDOK);
    if (!ok || GetDlgItem(sheet, testConnectId)) return;
    RECT r;
    GetWindowRect(ok, &r);
    POINT corner{r.left, r.top};
    ScreenToClient(sheet, &corner);
    int width = r.right - r.left, height = r.bottom - r.top;
    HWND button = CreateWindowExA(0, "BUTTON", "&Test Connect", WS_CHILD | WS_TABSTOP | BS_VCENTER,
                                  corner.x - width - 7, corner.y, width, height, sheet,
                                  reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(testConnectId)),
                                  resourceModule, nullptr);
    if (!button) return;
    SendMessageA(button, WM_SETFONT, static_cast<WPARAM>(SendMessageA(ok, WM_GETFONT, 0, 0)), TRUE);
    ShowWindow(button, SW_SHOW);
}

// The Advanced page of the running sheet, once it has been created.
HWND advancedPageOf(HWND sheet) {
    LRESULT index = SendMessageA(sheet, PSM_IDTOINDEX, 0, 2);
    return index < 0 ? nullptr : reinterpret_cast<HWND>(SendMessageA(sheet, PSM_INDEXTOHWND, index, 0));
}

// Command 1: during a connection test only the page's edits are kept; otherwise the data source is
// written. Outside the sheet a successful write ends the dialog.
void confirm(HWND page, DSNInfoStruct* info, WPARAM wParam) {
    KoPropertySheet* sheet = koPageSheet(page, info);
    bool ok;
    if (inTestConnect) {
        BaseSaveToInfoArray(page, info);
        ok = true;
    } else {
        ok = BaseWriteValuesToIni(page, info) == koSuccess;
        if (ok) sheetWroteDataSource = 1;
    }
    if (sheet) sheet->dataValid = ok ? 1 : 0;
    if (!sheet && ok) EndDialog(page, static_cast<INT_PTR>(wParam));
}

// PSN_APPLY. Once the Advanced page exists it checks its own controls after this page and then has
// this page write; writing here first would store the General edits even when the Advanced page
// then refuses its input and the user cancels. So the name is only checked here in that case.
LRESULT applyPage(HWND page, DSNInfoStruct* info, KoPropertySheet* sheet, HWND frame) {
    HWND advanced = advancedPageOf(frame);
    if (advanced && advanced != page && !inTestConnect)
        sheet->dataValid = koSaveAndCheckName(page, info) == koSuccess ? 1 : 0;
    else
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return sheet->dataValid == 1 ? PSNRET_NOERROR : PSNRET_INVALID;
}

BOOL notification(HWND page, DSNInfoStruct* info, const NMHDR* header) {
    KoPropertySheet* sheet = koPageSheet(page, info);
    if (!sheet) return FALSE;
    LRESULT result = 0;
    switch (header->code) {
    case PSN_SETACTIVE:
        sheet->sheetHeader->hwndSheet = header->hwndFrom;
        sheet->sheetHeader->pages[0].hwndPage = page;
        sheet->dataValid = 1;
        SendMessageA(header->hwndFrom, PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
        break;
    case PSN_KILLACTIVE:
        // After a refusal the page is checked again, so input the user has corrected since lets
        // the sheet go on; refused input keeps it here, with its message again.
        if (sheet->dataValid != 1) sheet->dataValid = koSaveAndCheckName(page, info) == koSuccess ? 1 : 0;
        result = sheet->dataValid == 1 ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        result = applyPage(page, info, sheet, header->hwndFrom);
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
    case IDOK:
        confirm(page, info, wParam);
        break;
    case IDCANCEL:
        EndDialog(page, static_cast<INT_PTR>(wParam));
        break;
    case IDHELP:
        koDisplayHelp(info->driverDesc, reinterpret_cast<const unsigned char*>("btrgeneral"));
        return TRUE;
    case 312:
        dllDialogBox(page, 2, AdvancedDlgProc, info);
        break;
    case testConnectId:
        koRunConnectionTest(generalSheetWnd, info);
        break;
    case 401:
        if (HIWORD(wParam) == EN_CHANGE) {
            char name[256];
            GetDlgItemTextA(page, 401, name, sizeof name);
            EnableWindow(GetDlgItem(page, IDOK), name[0] ? TRUE : FALSE);
        }
        break;
    case 600:
        dllDialogBox(page, 10, AboutDlgProc, info);
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR GeneralDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        DSNInfoStruct* info = koPageRecordAtCreation(page, lParam);
        koSetWinPointer(page, info);
        if (GetWindowLongA(page, GWL_STYLE) & WS_CHILD) {
            // A nested dialog leaves the sheet's window and its button alone.
            generalSheetWnd = GetParent(page);
            createTestConnectButton(generalSheetWnd);
        }
        winCenterBox(page);
        if (!info || BaseInitSetupDialog(page, info) != koSuccess) return TRUE;
        SetFocus(GetDlgItem(page, 401));
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
