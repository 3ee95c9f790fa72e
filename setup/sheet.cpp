// The dialog branch of a setup request: the three-page sheet over the record. Until the pages' own
// procedures land, each page shows the record's values through the attribute table and, when the user
// confirms, keeps its edits in the record and writes the data source.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "setup/setup.h"

#include <cstring>

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

DSNInfoStruct* recordOf(HWND page) {
    return static_cast<DSNInfoStruct*>(koGetWinPointer(page));
}

// Keeps a page's edits and writes the data source. The General page (it has the name) writes through
// the table's own road, refusing a bad name; the other pages keep the name the General page gave.
bool applyPage(HWND page, DSNInfoStruct* info) {
    if (GetDlgItem(page, 401)) return BaseWriteValuesToIni(page, info) == koSuccess;
    unsigned char* name = info->dsnName ? ramAllocStr(info->dsnName) : nullptr;
    if (info->dsnName && !name) return false;
    KoStatus saved = BaseSaveToInfoArray(page, info);
    ramFree(info->dsnName);
    info->dsnName = name;
    return saved == koSuccess && SetDSNAttributes(info) == 1;
}

INT_PTR pageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* psp = reinterpret_cast<PROPSHEETPAGEA*>(lParam);
        DSNInfoStruct* info = reinterpret_cast<DSNInfoStruct*>(psp->lParam);
        koSetWinPointer(page, info);
        BaseInitSetupDialog(page, info);
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
        sheet->dataValid = applyPage(page, info) ? 1 : 0;
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
        {about, 10, AboutDlgProc, info, PSP_USETITLE, nullptr, nullptr, U("3 of 3")},
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
