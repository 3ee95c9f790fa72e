// Property sheets: pages created on first activation, the PSN_* protocol in Windows' order, the
// frame's OK, Cancel, Apply and Help buttons, and the PSM_* messages.
#include "platform/frontend.h"
#include "platform/system.h"
#include "platform/window.h"
#include "platform/wndinternal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

using namespace kownd;

struct KoSheetPage {
    PROPSHEETPAGEA psp{};
    std::string title;
    std::string templateName;
};

namespace kownd {
void* loadLayout(HINSTANCE inst, LPCSTR name, const DLGTEMPLATE* memory);
void freeLayout(void* layout);
int layoutWidth(const void* layout);
int layoutHeight(const void* layout);
HWND createDialog(const void* layout, HINSTANCE inst, HWND owner, DLGPROC proc, LPARAM param, bool child);
} // namespace kownd

namespace {

std::mutex pagesLock;
std::set<KoSheetPage*>& livePages() {
    static std::set<KoSheetPage*>* s = new std::set<KoSheetPage*>;
    return *s;
}

bool isLivePage(HPROPSHEETPAGE p) {
    std::lock_guard<std::mutex> g(pagesLock);
    return p && livePages().count(p);
}

struct PageEntry {
    HPROPSHEETPAGE page;
    HWND hwnd = nullptr;
    bool dirty = false;
};

struct SheetState : Extra {
    std::vector<PageEntry> pages;
    int active = -1;
    DWORD flags = 0;
    bool modeless = false;
    bool creatingPage = false;
    bool ended = false;
    INT_PTR result = 0;
    HINSTANCE inst = nullptr;
    RECT pageRect{};
};

// Button geometry in pixels: 50 by 14 dialog units, 4 apart.
const int buttonWidth = 100, buttonHeight = 28, buttonGap = 8, margin = 14;

SheetState* stateOf(HWND frame) {
    KoHandleRef<Window> w = peek(frame);
    std::lock_guard<std::recursive_mutex> g(lock());
    return w ? static_cast<SheetState*>(w->extra.get()) : nullptr;
}

LRESULT notify(HWND frame, HWND page, UINT code, LPARAM lParam) {
    PSHNOTIFY psn{{frame, 0, code}, lParam};
    return SendMessageA(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&psn));
}

std::string pageTitle(HPROPSHEETPAGE p) {
    return p->title;
}

// Creates page i's window; false (the page then removed) when it cannot be created.
bool createPage(HWND frame, SheetState* s, size_t i) {
    PageEntry& e = s->pages[i];
    if (e.hwnd) return true;
    KoSheetPage* p = e.page;
    if ((p->psp.dwFlags & PSP_USECALLBACK) && p->psp.pfnCallback &&
        !p->psp.pfnCallback(nullptr, PSPCB_CREATE, &p->psp))
        return false;
    LPCSTR name = p->templateName.empty() ? p->psp.pszTemplate : p->templateName.c_str();
    void* layout = (p->psp.dwFlags & PSP_DLGINDIRECT)
                       ? loadLayout(p->psp.hInstance, nullptr, p->psp.pResource)
                       : loadLayout(p->psp.hInstance, name, nullptr);
    if (!layout) return false;
    s->creatingPage = true;
    HWND h = createDialog(layout, p->psp.hInstance, frame, p->psp.pfnDlgProc,
                          reinterpret_cast<LPARAM>(&p->psp), true);
    s->creatingPage = false;
    freeLayout(layout);
    if (!h) return false;
    ShowWindow(h, SW_HIDE);
    SetWindowPos(h, nullptr, s->pageRect.left, s->pageRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    s->pages[i].hwnd = h;
    return true;
}

void releasePage(HPROPSHEETPAGE p) {
    {
        std::lock_guard<std::mutex> g(pagesLock);
        if (!livePages().erase(p)) return;
    }
    if ((p->psp.dwFlags & PSP_USECALLBACK) && p->psp.pfnCallback)
        p->psp.pfnCallback(nullptr, PSPCB_RELEASE, &p->psp);
    delete p;
}

void removePage(HWND frame, SheetState* s, size_t i) {
    PageEntry e = s->pages[i];
    s->pages.erase(s->pages.begin() + i);
    if (s->active == static_cast<int>(i))
        s->active = -1;
    else if (s->active > static_cast<int>(i))
        --s->active;
    if (e.hwnd) DestroyWindow(e.hwnd);
    releasePage(e.page);
    (void)frame;
}

void updateApply(HWND frame, SheetState* s) {
    bool dirty = std::any_of(s->pages.begin(), s->pages.end(), [](const PageEntry& e) { return e.dirty; });
    EnableWindow(GetDlgItem(frame, IDC_APPLY_BUTTON), dirty ? TRUE : FALSE);
}

// Shows page i without notifications (the page is already accepted).
void showPage(HWND frame, SheetState* s, int i) {
    if (s->active >= 0 && s->active != i && s->pages[s->active].hwnd)
        ShowWindow(s->pages[s->active].hwnd, SW_HIDE);
    s->active = i;
    HWND h = s->pages[i].hwnd;
    ShowWindow(h, SW_SHOW);
    EnableWindow(GetDlgItem(frame, IDHELP), (s->pages[i].page->psp.dwFlags & PSP_HASHELP) ? TRUE : FALSE);
    transcript("page index=" + std::to_string(i) + " title=" + quoteText(pageTitle(s->pages[i].page)));
}

int indexOfResource(SheetState* s, LRESULT id) {
    for (size_t i = 0; i < s->pages.size(); ++i) {
        const PROPSHEETPAGEA& p = s->pages[i].page->psp;
        if (!(p.dwFlags & PSP_DLGINDIRECT) && IS_INTRESOURCE(p.pszTemplate) &&
            reinterpret_cast<LRESULT>(p.pszTemplate) == id)
            return static_cast<int>(i);
    }
    return -1;
}

// Activates page index with the protocol: the current page may refuse to be left, the new page is
// created on its first activation and may redirect (-1: the next one; a template ID: that page).
BOOL setCurSel(HWND frame, SheetState* s, int index) {
    if (index < 0 || index >= static_cast<int>(s->pages.size())) return FALSE;
    if (index == s->active) return TRUE;
    if (s->active >= 0 && s->pages[s->active].hwnd &&
        notify(frame, s->pages[s->active].hwnd, PSN_KILLACTIVE, 0))
        return FALSE;
    int direction = index >= s->active ? 1 : -1;
    for (int guard = 0; guard <= static_cast<int>(s->pages.size()); ++guard) {
        if (index < 0 || index >= static_cast<int>(s->pages.size())) return FALSE;
        if (!createPage(frame, s, index)) {
            removePage(frame, s, index);
            if (s->active < 0 && !s->pages.empty()) return setCurSel(frame, s, 0);
            return TRUE;
        }
        LRESULT r = notify(frame, s->pages[index].hwnd, PSN_SETACTIVE, 0);
        if (r == 0) break;
        if (r == -1) {
            index += direction;
            continue;
        }
        int to = indexOfResource(s, r);
        if (to < 0) break;
        index = to;
    }
    showPage(frame, s, index);
    return TRUE;
}

// OK (closing) or Apply: the current page is asked to be left, then every created page applies.
bool apply(HWND frame, SheetState* s, bool closing) {
    if (s->active < 0) return false;
    HWND current = s->pages[s->active].hwnd;
    if (notify(frame, current, PSN_KILLACTIVE, 0)) return false;
    for (size_t i = 0; i < s->pages.size(); ++i) {
        HWND h = s->pages[i].hwnd;
        if (!h) continue;
        LRESULT r = notify(frame, h, PSN_APPLY, closing ? TRUE : FALSE);
        if (r == PSNRET_INVALID) {
            showPage(frame, s, static_cast<int>(i));
            return false;
        }
        if (r == PSNRET_INVALID_NOCHANGEPAGE) return false;
    }
    for (PageEntry& e : s->pages)
        e.dirty = false;
    if (s->result == 0) s->result = IDOK;
    if (!closing && s->active >= 0) {
        // The page stays: it is told it is active again, as after any change of page.
        EnableWindow(GetDlgItem(frame, IDC_APPLY_BUTTON), FALSE);
        notify(frame, s->pages[s->active].hwnd, PSN_SETACTIVE, 0);
    }
    return true;
}

void cancel(HWND frame, SheetState* s) {
    if (s->active >= 0 && s->pages[s->active].hwnd &&
        notify(frame, s->pages[s->active].hwnd, PSN_QUERYCANCEL, 0))
        return;
    for (PageEntry& e : s->pages)
        if (e.hwnd) notify(frame, e.hwnd, PSN_RESET, 0);
    s->ended = true;
}

void finish(HWND frame, SheetState* s) {
    if (!s->ended) return;
    if (!s->modeless) {
        KoHandleRef<Window> w = peek(frame);
        std::lock_guard<std::recursive_mutex> g(lock());
        w->dlg->ended = true;
        w->dlg->result = s->result;
    }
}

int pageIndexOf(SheetState* s, HWND page, HPROPSHEETPAGE hpage) {
    for (size_t i = 0; i < s->pages.size(); ++i)
        if ((page && s->pages[i].hwnd == page) || (hpage && s->pages[i].page == hpage))
            return static_cast<int>(i);
    return -1;
}

LRESULT sheetMessage(HWND frame, SheetState* s, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case PSM_SETCURSEL: {
        int i = lParam ? pageIndexOf(s, nullptr, reinterpret_cast<HPROPSHEETPAGE>(lParam))
                       : static_cast<int>(wParam);
        return setCurSel(frame, s, i);
    }
    case PSM_SETCURSELID:
        return setCurSel(frame, s, indexOfResource(s, static_cast<LRESULT>(lParam)));
    case PSM_CHANGED:
    case PSM_UNCHANGED: {
        // A page that marks itself while it is being created is not yet part of the sheet's state.
        if (s->creatingPage) return TRUE;
        int i = pageIndexOf(s, reinterpret_cast<HWND>(wParam), nullptr);
        if (i < 0) return FALSE;
        s->pages[i].dirty = message == PSM_CHANGED;
        updateApply(frame, s);
        return TRUE;
    }
    case PSM_APPLY:
        return apply(frame, s, false);
    case PSM_CANCELTOCLOSE:
        EnableWindow(GetDlgItem(frame, IDCANCEL), FALSE);
        SetDlgItemTextA(frame, IDOK, "Close");
        return TRUE;
    case PSM_RESTARTWINDOWS:
        if (s->result != ID_PSREBOOTSYSTEM) s->result = ID_PSRESTARTWINDOWS;
        return TRUE;
    case PSM_REBOOTSYSTEM:
        s->result = ID_PSREBOOTSYSTEM;
        return TRUE;
    case PSM_QUERYSIBLINGS:
        for (PageEntry& e : s->pages)
            if (e.hwnd) {
                LRESULT r = SendMessageA(e.hwnd, PSM_QUERYSIBLINGS, wParam, lParam);
                if (r) return r;
            }
        return 0;
    case PSM_SETTITLEA: {
        const char* t = reinterpret_cast<const char*>(lParam);
        std::string title = (wParam & PSH_PROPTITLE) ? std::string("Properties for ") : std::string();
        if (t && !IS_INTRESOURCE(t)) title += t;
        SetWindowTextA(frame, title.c_str());
        return TRUE;
    }
    case PSM_PRESSBUTTON: {
        int id = wParam == PSBTN_OK         ? IDOK
                 : wParam == PSBTN_CANCEL   ? IDCANCEL
                 : wParam == PSBTN_APPLYNOW ? IDC_APPLY_BUTTON
                 : wParam == PSBTN_HELP     ? IDHELP
                                            : 0;
        if (!id) return FALSE;
        HWND b = GetDlgItem(frame, id);
        if (b && !IsWindowEnabled(b)) return FALSE; // as a click on a disabled button
        SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
        return TRUE;
    }
    case PSM_ADDPAGE:
    case PSM_INSERTPAGE: {
        HPROPSHEETPAGE p = reinterpret_cast<HPROPSHEETPAGE>(lParam);
        if (!isLivePage(p)) return FALSE;
        size_t at = s->pages.size();
        if (message == PSM_INSERTPAGE) {
            if (IS_INTRESOURCE(reinterpret_cast<void*>(wParam)))
                at = std::min<size_t>(wParam, s->pages.size());
            else {
                int after = pageIndexOf(s, nullptr, reinterpret_cast<HPROPSHEETPAGE>(wParam));
                at = after < 0 ? s->pages.size() : after + 1;
            }
        }
        try {
            s->pages.insert(s->pages.begin() + at, PageEntry{p});
        } catch (...) {
            return FALSE;
        }
        if (s->active >= static_cast<int>(at)) ++s->active;
        if ((p->psp.dwFlags & PSP_PREMATURE) && !createPage(frame, s, at)) {
            s->pages.erase(s->pages.begin() + at);
            if (s->active > static_cast<int>(at)) --s->active;
            return FALSE;
        }
        return TRUE;
    }
    case PSM_REMOVEPAGE: {
        int i = lParam ? pageIndexOf(s, nullptr, reinterpret_cast<HPROPSHEETPAGE>(lParam))
                       : static_cast<int>(wParam);
        if (i < 0 || i >= static_cast<int>(s->pages.size())) return FALSE;
        bool wasActive = s->active == i;
        removePage(frame, s, i);
        if (wasActive && !s->pages.empty()) setCurSel(frame, s, std::max(0, i - 1));
        return TRUE;
    }
    case PSM_GETCURRENTPAGEHWND:
        return reinterpret_cast<LRESULT>(s->active >= 0 && !s->ended ? s->pages[s->active].hwnd : nullptr);
    case PSM_HWNDTOINDEX:
        return pageIndexOf(s, reinterpret_cast<HWND>(wParam), nullptr);
    case PSM_INDEXTOHWND:
        return wParam < s->pages.size() ? reinterpret_cast<LRESULT>(s->pages[wParam].hwnd) : 0;
    case PSM_PAGETOINDEX:
        return pageIndexOf(s, nullptr, reinterpret_cast<HPROPSHEETPAGE>(lParam));
    case PSM_INDEXTOPAGE:
        return wParam < s->pages.size() ? reinterpret_cast<LRESULT>(s->pages[wParam].page) : 0;
    case PSM_IDTOINDEX:
        return indexOfResource(s, static_cast<LRESULT>(lParam));
    case PSM_INDEXTOID: {
        if (wParam >= s->pages.size()) return 0;
        const PROPSHEETPAGEA& p = s->pages[wParam].page->psp;
        return (p.dwFlags & PSP_DLGINDIRECT) ? 0 : reinterpret_cast<LRESULT>(p.pszTemplate);
    }
    case PSM_GETRESULT:
        return s->ended ? s->result : -1;
    case PSM_GETTABCONTROL:
    case PSM_ISDIALOGMESSAGE:
        return 0;
    }
    return 0;
}

INT_PTR sheetProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    SheetState* s = stateOf(frame);
    if (!s) return FALSE;
    if (message >= PSM_SETCURSEL && message <= PSM_GETRESULT) {
        LRESULT r = sheetMessage(frame, s, message, wParam, lParam);
        SetWindowLongPtrA(frame, DWLP_MSGRESULT, r);
        finish(frame, s);
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id == IDOK) {
            if (apply(frame, s, true)) s->ended = true;
        } else if (id == IDCANCEL) {
            cancel(frame, s);
        } else if (id == IDC_APPLY_BUTTON) {
            apply(frame, s, false);
        } else if (id == IDHELP) {
            if (s->active >= 0) notify(frame, s->pages[s->active].hwnd, PSN_HELP, 0);
        } else if (s->active >= 0 && s->pages[s->active].hwnd) {
            // Commands of other controls of the frame belong to the current page.
            SendMessageA(s->pages[s->active].hwnd, WM_COMMAND, wParam, lParam);
        }
        finish(frame, s);
        return TRUE;
    }
    case WM_CLOSE:
        SendMessageA(frame, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return TRUE;
    case WM_NCDESTROY: {
        std::vector<PageEntry> pages;
        pages.swap(s->pages);
        for (PageEntry& e : pages)
            releasePage(e.page);
        return TRUE;
    }
    }
    return FALSE;
}

HWND makeButton(HWND frame, const char* text, int id, int x, int y, DWORD extra) {
    return CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra, x, y, buttonWidth,
                           buttonHeight, frame, reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(id)), nullptr,
                           nullptr);
}

} // namespace

namespace kownd {

HWND currentPage(HWND frame) {
    return reinterpret_cast<HWND>(SendMessageA(frame, PSM_GETCURRENTPAGEHWND, 0, 0));
}

int currentPageIndex(HWND frame) {
    SheetState* s = stateOf(frame);
    return s ? s->active : -1;
}

std::vector<std::string> pageTitles(HWND frame) {
    std::vector<std::string> titles;
    SheetState* s = stateOf(frame);
    if (s)
        for (const PageEntry& e : s->pages)
            titles.push_back(pageTitle(e.page));
    return titles;
}

} // namespace kownd

HPROPSHEETPAGE CreatePropertySheetPageA(LPCPROPSHEETPAGEA psp) {
    if (!psp || psp->dwSize < PROPSHEETPAGEA_V1_SIZE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    KoSheetPage* p = new (std::nothrow) KoSheetPage;
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        std::memcpy(&p->psp, psp, std::min<size_t>(psp->dwSize, sizeof p->psp));
        if ((psp->dwFlags & PSP_USETITLE) && psp->pszTitle) {
            if (IS_INTRESOURCE(psp->pszTitle)) {
                char t[256];
                LoadStringA(psp->hInstance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(psp->pszTitle)), t,
                            sizeof t);
                p->title = t;
            } else {
                p->title = psp->pszTitle;
            }
        }
        p->psp.pszTitle = p->title.c_str();
        if (!(psp->dwFlags & PSP_DLGINDIRECT) && psp->pszTemplate && !IS_INTRESOURCE(psp->pszTemplate))
            p->templateName = psp->pszTemplate;
        std::lock_guard<std::mutex> g(pagesLock);
        livePages().insert(p);
    } catch (...) {
        delete p;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((p->psp.dwFlags & PSP_USECALLBACK) && p->psp.pfnCallback)
        p->psp.pfnCallback(nullptr, PSPCB_ADDREF, &p->psp);
    return p;
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page) {
    if (!isLivePage(page)) return FALSE;
    releasePage(page);
    return TRUE;
}

INT_PTR PropertySheetA(LPCPROPSHEETHEADERA h) {
    if (!h || h->dwSize < PROPSHEETHEADERA_V1_SIZE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    bool modeless = (h->dwFlags & PSH_MODELESS) != 0;
    // The sheet owns the pages it is given, whether it runs or not.
    std::vector<HPROPSHEETPAGE> pages;
    bool bad = false;
    try {
        for (UINT i = 0; i < h->nPages; ++i) {
            HPROPSHEETPAGE p =
                (h->dwFlags & PSH_PROPSHEETPAGE) ? CreatePropertySheetPageA(&h->ppsp[i]) : h->phpage[i];
            if (isLivePage(p))
                pages.push_back(p);
            else
                bad = true;
        }
    } catch (...) {
        bad = true;
    }
    auto releaseAll = [&pages] {
        for (HPROPSHEETPAGE p : pages)
            releasePage(p);
    };
    HWND owner = h->hwndParent == GetDesktopWindow() ? nullptr : h->hwndParent;
    if (bad || (owner && !IsWindow(owner)) || (!modeless && !canRunModal())) {
        releaseAll();
        SetLastError(bad                         ? ERROR_INVALID_PARAMETER
                     : owner && !IsWindow(owner) ? ERROR_INVALID_WINDOW_HANDLE
                                                 : ERROR_NOT_SUPPORTED);
        return -1;
    }
    if ((h->dwFlags & PSH_USECALLBACK) && h->pfnCallback) h->pfnCallback(nullptr, PSCB_PRECREATE, 0);
    std::string caption = (h->dwFlags & PSH_PROPTITLE) ? "Properties for " : "";
    if (h->pszCaption && !IS_INTRESOURCE(h->pszCaption)) caption += h->pszCaption;
    // The frame fits the largest page template (an 80 by 24 cell screen holds the setup sheet).
    int pageW = 0, pageH = 0;
    for (HPROPSHEETPAGE p : pages) {
        LPCSTR name = p->templateName.empty() ? p->psp.pszTemplate : p->templateName.c_str();
        void* layout = (p->psp.dwFlags & PSP_DLGINDIRECT)
                           ? loadLayout(p->psp.hInstance, nullptr, p->psp.pResource)
                           : loadLayout(p->psp.hInstance, name, nullptr);
        if (!layout) continue;
        pageW = std::max(pageW, layoutWidth(layout));
        pageH = std::max(pageH, layoutHeight(layout));
        freeLayout(layout);
    }
    int width = std::max(pageW + 2 * margin, 4 * buttonWidth + 5 * buttonGap);
    int height = pageH + 3 * margin + buttonHeight;
    HWND root = owner ? rootOf(owner) : nullptr;
    HWND frame = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, "#32770", caption.c_str(),
                                 WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP |
                                     DS_MODALFRAME | DS_SETFONT | DS_3DLOOK,
                                 (screenWidth - width) / 2, (screenHeight - height) / 2, width, height, root,
                                 nullptr, h->hInstance, nullptr);
    SheetState* s = frame ? new (std::nothrow) SheetState : nullptr;
    if (!s) {
        if (frame) DestroyWindow(frame);
        releaseAll();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    try {
        for (HPROPSHEETPAGE p : pages)
            s->pages.push_back(PageEntry{p});
    } catch (...) {
        delete s;
        DestroyWindow(frame);
        releaseAll();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    pages.clear(); // the frame owns them now
    s->flags = h->dwFlags;
    s->modeless = modeless;
    s->inst = h->hInstance;
    s->pageRect = {margin, margin, margin + pageW, margin + pageH};
    {
        KoHandleRef<Window> w = peek(frame);
        std::lock_guard<std::recursive_mutex> g(lock());
        w->extra.reset(s);
        w->dlg->proc = sheetProc;
    }
    int y = height - margin - buttonHeight;
    int x = width - 4 * (buttonWidth + buttonGap);
    bool ok = makeButton(frame, "OK", IDOK, x, y, BS_DEFPUSHBUTTON) &&
              makeButton(frame, "Cancel", IDCANCEL, x + (buttonWidth + buttonGap), y, 0) &&
              makeButton(frame, "&Apply", IDC_APPLY_BUTTON, x + 2 * (buttonWidth + buttonGap), y, 0) &&
              makeButton(frame, "Help", IDHELP, x + 3 * (buttonWidth + buttonGap), y, 0);
    if (!ok) {
        DestroyWindow(frame);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    EnableWindow(GetDlgItem(frame, IDC_APPLY_BUTTON), FALSE);
    if (h->dwFlags & PSH_NOAPPLYNOW) ShowWindow(GetDlgItem(frame, IDC_APPLY_BUTTON), SW_HIDE);
    if (!(h->dwFlags & PSH_HASHELP)) ShowWindow(GetDlgItem(frame, IDHELP), SW_HIDE);
    SendMessageA(frame, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    for (size_t i = 0; i < s->pages.size(); ++i)
        if (s->pages[i].page->psp.dwFlags & PSP_PREMATURE) createPage(frame, s, i);
    if ((h->dwFlags & PSH_USECALLBACK) && h->pfnCallback) h->pfnCallback(frame, PSCB_INITIALIZED, 0);
    transcript("sheet caption=" + quoteText(caption) + " pages=" + std::to_string(s->pages.size()) +
               " owner=" + ownerName(root));
    int start = 0;
    if (h->dwFlags & PSH_USEPSTARTPAGE) {
        for (size_t i = 0; i < s->pages.size(); ++i)
            if (s->pages[i].page->title == (h->pStartPage ? h->pStartPage : "")) start = static_cast<int>(i);
    } else if (h->nStartPage < s->pages.size()) {
        start = static_cast<int>(h->nStartPage);
    }
    if (!s->pages.empty() && !setCurSel(frame, s, start) && s->active < 0) setCurSel(frame, s, 0);
    if (s->active < 0 && !s->pages.empty()) {
        // No page could be created: the sheet fails as Windows' does.
        DestroyWindow(frame);
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        transcript("end sheet result=-1");
        return -1;
    }
    ShowWindow(frame, SW_SHOW);
    SetActiveWindow(frame);
    if (s->active >= 0) SetFocus(s->pages[s->active].hwnd);
    if (modeless) return reinterpret_cast<INT_PTR>(frame);
    bool ownerWasEnabled = root && IsWindowEnabled(root);
    if (ownerWasEnabled) EnableWindow(root, FALSE);
    INT_PTR result = modalLoop(frame);
    if (!s->ended) result = 0; // ended by force
    if (ownerWasEnabled) EnableWindow(root, TRUE);
    transcript("end sheet result=" + std::to_string(result));
    DestroyWindow(frame);
    if (root && IsWindow(root)) SetActiveWindow(root);
    return result;
}
