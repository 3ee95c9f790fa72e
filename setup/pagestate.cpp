// What the setup pages share: the sheet windows they found, the definer and test marks, and the
// connection test that every page's Test Connect command runs.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "setup/setup.h"

HWND generalSheetWnd = nullptr;
HWND advancedSheetWnd = nullptr;
HWND aboutSheetWnd = nullptr;
uint16_t definerUsed = 0;
int inTestConnect = 0;
int sheetWroteDataSource = 0;

DSNInfoStruct* koPageRecordAtCreation(HWND page, LPARAM param) {
    if (GetWindowLongA(page, GWL_STYLE) & WS_CHILD)
        return param ? reinterpret_cast<DSNInfoStruct*>(reinterpret_cast<PROPSHEETPAGEA*>(param)->lParam)
                     : nullptr;
    return reinterpret_cast<DSNInfoStruct*>(param);
}

KoPropertySheet* koPageSheet(HWND page, DSNInfoStruct* info) {
    if (!info || !(GetWindowLongA(page, GWL_STYLE) & WS_CHILD)) return nullptr;
    return info->propSheet;
}

void koRunConnectionTest(HWND sheetWindow, DSNInfoStruct* info) {
    inTestConnect = 1;
    // The sheet's Apply makes every page save its controls into the record; while the mark is set
    // the pages only save, so nothing is written by a test.
    if (sheetWindow) SendMessageA(sheetWindow, WM_COMMAND, MAKEWPARAM(12321, BN_CLICKED), 0);
    {
        TestConnect test(info);
        if (test.testConnect()) MessageBoxA(nullptr, "Connection established!", "Test Connect", MB_OK);
    }
    inTestConnect = 0;
    if (info->propSheet) info->propSheet->dataValid = 1;
}
