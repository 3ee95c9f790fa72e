// The dialog branch of a setup request: the three-page sheet over the record.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "setup/setup.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

} // namespace

BOOL koRunSetupSheet(DSNInfoStruct* info) {
    unsigned char general[16], advanced[16], about[16];
    winGetString(general, 20153);
    winGetString(advanced, 20152);
    winGetString(about, 20151);
    PropSheetPage pages[3] = {
        {general, 1, GeneralDlgProc, info, PSP_USETITLE, nullptr, nullptr, U("1 of 3")},
        {advanced, 2, AdvancedDlgProc, info, PSP_USETITLE, nullptr, nullptr, U("2 of 3")},
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
    sheetWroteDataSource = 0;
    KoStatus status = sheet->CreatePropertySheet();
    info->propSheet = nullptr;
    delete sheet;
    // The sheet counts the Apply of a connection test as a saved change, but that Apply only keeps the
    // edits in the record: the request succeeded only when the pages wrote the data source.
    return status == koSuccess && sheetWroteDataSource ? TRUE : FALSE;
}
