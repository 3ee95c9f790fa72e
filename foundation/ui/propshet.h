#pragma once
// The property-sheet wrapper: the description of a sheet and its pages, and the object that creates
// the pages and runs the sheet modally.
#include <cstddef>
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/window.h"

// One page of a sheet.
struct KO_EXPORT PropSheetPage {
    const unsigned char* title;   // the tab's title
    uint32_t templateId;          // the page's dialog template in the resource library
    DLGPROC dialogProc;           // the page's procedure
    void* param;                  // handed to the page at creation
    uint32_t flags;               // page style flags (PSP_USETITLE)
    HWND hwndPage;                // the page's window, when a page records it
    HPROPSHEETPAGE hPage;         // the system's page, filled by CreatePropertySheet
    const unsigned char* tabText; // "1 of 3" and so on; displayed nowhere
};

// The description of a sheet.
struct KO_EXPORT PropSheetHeader {
    HWND hwndOwner;               // none for the desktop
    HWND hwndSheet;               // the frame, once a page records it
    HINSTANCE hInstance;          // where the page templates live
    const unsigned char* caption; // the sheet's caption
    uint32_t flags;               // sheet style flags
    uint32_t pageCount;
    PropSheetPage* pages; // pageCount pages, in tab order
};

class KO_EXPORT KoPropertySheet {
public:
    explicit KoPropertySheet(PropSheetHeader* header);
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* p) noexcept;

    // Creates the pages and runs the sheet modally: 0 when the user saved changes (OK or Apply), 1
    // after Cancel or when the sheet could not run.
    KoStatus CreatePropertySheet();

    PropSheetHeader* sheetHeader; // not owned
    int dataValid;                // 1 while the pages' input is acceptable
};
