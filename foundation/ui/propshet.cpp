#include "foundation/ui/propshet.h"
#include "foundation/errors/ramalloc.h"

KoPropertySheet::KoPropertySheet(PropSheetHeader* header) : sheetHeader(header), dataValid(1) {}

void* KoPropertySheet::operator new(std::size_t size) noexcept {
    return ramAlloc(static_cast<uint32_t>(size));
}

void KoPropertySheet::operator delete(void* p) noexcept {
    ramFree(p);
}

KoStatus KoPropertySheet::CreatePropertySheet() {
    PropSheetHeader* h = sheetHeader;
    uint32_t n = h->pageCount;
    auto* descriptions =
        static_cast<PROPSHEETPAGEA*>(ramAllocZ(static_cast<uint32_t>(sizeof(PROPSHEETPAGEA) * (n ? n : 1))));
    if (!descriptions) return koFailure;
    for (uint32_t i = 0; i < n; ++i) {
        PROPSHEETPAGEA& d = descriptions[i];
        PropSheetPage& p = h->pages[i];
        d.dwSize = PROPSHEETPAGEA_V2_SIZE;
        d.dwFlags = p.flags;
        d.hInstance = h->hInstance;
        d.pszTemplate = MAKEINTRESOURCEA(p.templateId);
        d.pszIcon = nullptr;
        d.pszTitle = reinterpret_cast<const char*>(p.title);
        d.pfnDlgProc = p.dialogProc;
        d.lParam = reinterpret_cast<LPARAM>(p.param);
        d.pfnCallback = nullptr;
        p.hPage = CreatePropertySheetPageA(&d);
    }
    ramFree(descriptions);
    auto* handles =
        static_cast<HPROPSHEETPAGE*>(ramAllocZ(static_cast<uint32_t>(sizeof(HPROPSHEETPAGE) * (n ? n : 1))));
    if (!handles) {
        // The pages were never handed to a sheet, which would have destroyed them: they go here.
        for (uint32_t i = 0; i < n; ++i) {
            if (h->pages[i].hPage) DestroyPropertySheetPage(h->pages[i].hPage);
            h->pages[i].hPage = nullptr;
        }
        return koFailure;
    }
    for (uint32_t i = 0; i < n; ++i)
        handles[i] = h->pages[i].hPage;
    PROPSHEETHEADERA header{};
    header.dwSize = PROPSHEETHEADERA_V2_SIZE;
    header.dwFlags = h->flags;
    header.hwndParent = h->hwndOwner;
    header.hInstance = h->hInstance;
    header.pszIcon = nullptr;
    header.pszCaption = reinterpret_cast<const char*>(h->caption);
    header.nPages = n;
    header.nStartPage = 0;
    header.phpage = handles;
    header.pfnCallback = nullptr;
    INT_PTR result = PropertySheetA(&header);
    ramFree(handles);
    // The sheet destroyed its pages.
    for (uint32_t i = 0; i < n; ++i)
        h->pages[i].hPage = nullptr;
    return result > 0 ? koSuccess : koFailure;
}
