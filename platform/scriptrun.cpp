// The modal loop and the script's actions on the active dialog, page or sheet frame.
#include "platform/frontend.h"
#include "platform/system.h"
#include "platform/termui.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform/wndinternal.h"

#include <cstdio>

using namespace kownd;

namespace {

int loopDepth = 0;

bool isSheet(HWND h) {
    KoHandleRef<Window> w = peek(h);
    std::lock_guard<std::recursive_mutex> g(lock());
    return w && w->extra;
}

bool ended(HWND h, INT_PTR* result) {
    KoHandleRef<Window> w = peek(h);
    if (!w) return true;
    std::lock_guard<std::recursive_mutex> g(lock());
    if (!w->dlg || !w->dlg->ended) return false;
    *result = w->dlg->result;
    return true;
}

void forceEnd(HWND h, INT_PTR result) {
    KoHandleRef<Window> w = peek(h);
    if (!w) return;
    std::lock_guard<std::recursive_mutex> g(lock());
    if (w->dlg && !w->dlg->ended) {
        w->dlg->ended = true;
        w->dlg->result = result;
    }
}

// The window whose controls the script addresses: the current page of a sheet, else the dialog.
HWND target(HWND h) {
    if (isSheet(h)) {
        HWND page = currentPage(h);
        return page ? page : h;
    }
    return h;
}

// A control of the active page (or dialog), else of the sheet frame.
HWND findControl(HWND h, long id) {
    HWND t = target(h);
    HWND c = GetDlgItem(t, static_cast<int>(id));
    if (!c && t != h) c = GetDlgItem(h, static_cast<int>(id));
    return c;
}

std::string className(HWND c) {
    char name[64];
    GetClassNameA(c, name, sizeof name);
    return name;
}

// Why a user could not act on control c, or "" when they could.
std::string unusable(HWND c, long id) {
    if (!c) return "no control " + std::to_string(id) + " on the active page or dialog";
    if (!IsWindowVisible(c)) return "control " + std::to_string(id) + " is hidden";
    if (!IsWindowEnabled(c)) return "control " + std::to_string(id) + " is disabled";
    return "";
}

void dumpControls(HWND parent, HWND skipPagesOf) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        KoHandleRef<Window> w = peek(c);
        if (!w || (skipPagesOf && w->kind == Kind::dialog)) continue;
        std::string text;
        long limit = 0, selection = -1;
        int checked = 0;
        size_t entries = 0;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            text = w->text;
            if (w->kind == Kind::edit && w->passwordChar) text.assign(text.size(), w->passwordChar);
            if (w->kind == Kind::edit || w->kind == Kind::combo) limit = static_cast<long>(w->limit);
            if (w->kind == Kind::combo) {
                selection = w->cursel;
                entries = w->items.size();
            }
            checked = static_cast<int>(w->check);
        }
        std::string line = "control id=" + std::to_string(GetDlgCtrlID(c)) + " class=" + className(c) +
                           " text=" + quoteText(text) + " enabled=" + (IsWindowEnabled(c) ? "1" : "0") +
                           " visible=" + (IsWindowVisible(c) ? "1" : "0") +
                           " checked=" + std::to_string(checked) + " limit=" + std::to_string(limit) +
                           " selection=" + std::to_string(selection);
        if (w->kind == Kind::combo) line += " entries=" + std::to_string(entries);
        transcript(line);
    }
}

void dump(HWND h) {
    HWND t = target(h);
    char text[256];
    GetWindowTextA(t, text, sizeof text);
    if (t != h)
        transcript("dump page=" + std::to_string(currentPageIndex(h)) + " title=" + quoteText(text));
    else
        transcript("dump window=" + quoteText(text));
    dumpControls(t, nullptr);
    if (t != h) dumpControls(h, h);
}

void typeInto(HWND c, const Action& a) {
    KoHandleRef<Window> w = peek(c);
    std::string text = a.text;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        bool edit = w->kind == Kind::edit;
        if (!edit && !(w->kind == Kind::combo && (w->style & 3) != CBS_DROPDOWNLIST))
            return refuse(a, "control " + std::to_string(a.number) + " is a " + w->cls +
                                 ", not an edit control");
        if (edit && (w->style & ES_READONLY))
            return refuse(a, "control " + std::to_string(a.number) + " is read-only");
        if (text.size() > w->limit)
            return refuse(a, "text of " + std::to_string(text.size()) + " characters exceeds the limit of " +
                                 std::to_string(w->limit));
        if (edit && (w->style & ES_NUMBER) && text.find_first_not_of("0123456789") != std::string::npos)
            return refuse(a, "control " + std::to_string(a.number) + " takes digits only");
        for (char& ch : text) {
            if (edit && (w->style & ES_UPPERCASE) && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
            if (edit && (w->style & ES_LOWERCASE) && ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
        }
    }
    transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
    SetFocus(c);
    setTyped(c, text);
}

void apply(HWND h, const Action& a) {
    if (a.verb == "answer") return refuse(a, "no message box is waiting");
    if (a.verb == "file" || a.verb == "file-cancel") return refuse(a, "no open-file dialog is waiting");
    if (a.verb == "dump") return dump(h);
    if (a.verb == "sleep") {
        Sleep(static_cast<DWORD>(a.number));
        return;
    }
    if (a.verb == "page") {
        if (!isSheet(h)) return refuse(a, "the active window is not a property sheet");
        int before = currentPageIndex(h);
        if (!SendMessageA(h, PSM_SETCURSEL, static_cast<WPARAM>(a.number), 0))
            return refuse(a, "the sheet has no page " + std::to_string(a.number));
        transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
        if (currentPageIndex(h) == before && before != a.number)
            transcript("page-refused index=" + std::to_string(before));
        return;
    }
    HWND c = a.number == 0 && a.verb == "drawings" ? target(h) : findControl(h, a.number);
    if (a.verb == "drawings") {
        if (!c) return refuse(a, "no control " + std::to_string(a.number) + " on the active page or dialog");
        KoHandleRef<Window> w = peek(c);
        std::vector<std::string> ops;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            ops.swap(w->drawings);
        }
        transcript("drawings id=" + std::to_string(a.number) + " count=" + std::to_string(ops.size()));
        for (const std::string& op : ops)
            transcript("draw id=" + std::to_string(a.number) + " op=" + quoteText(op));
        return;
    }
    if (a.verb == "help") {
        // F1: WM_HELP goes to the window with the focus, and up from there.
        HWND f = GetFocus();
        if (!f || (f != target(h) && !IsChild(target(h), f))) f = target(h);
        HELPINFO hi{sizeof(HELPINFO), HELPINFO_WINDOW, GetDlgCtrlID(f), f, 0, {0, 0}};
        transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
        SendMessageA(f, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
        return;
    }
    if (!c && a.verb == "click" && (a.number == IDOK || a.number == IDCANCEL) && !isSheet(h)) {
        // A dialog without the button: Enter and Escape send its command all the same.
        transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
        SendMessageA(h, WM_COMMAND, MAKEWPARAM(a.number, BN_CLICKED), 0);
        return;
    }
    std::string why = unusable(c, a.number);
    if (!why.empty()) return refuse(a, why);
    KoHandleRef<Window> w = peek(c);
    if (a.verb == "type") return typeInto(c, a);
    if (a.verb == "select") {
        if (w->kind != Kind::combo)
            return refuse(a, "control " + std::to_string(a.number) + " is not a combo box");
        LRESULT i =
            SendMessageA(c, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(a.text.c_str()));
        if (i == CB_ERR) return refuse(a, "no entry begins with " + quoteText(a.text));
        transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
        SetFocus(c);
        SendMessageA(c, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        notifyParent(c, CBN_SELCHANGE);
        return;
    }
    if (w->kind != Kind::button) return refuse(a, "control " + std::to_string(a.number) + " is not a button");
    DWORD type = static_cast<DWORD>(GetWindowLongA(c, GWL_STYLE)) & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return refuse(a, "control " + std::to_string(a.number) + " is a group box");
    if (a.verb == "click") {
        transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
        SetFocus(c);
        SendMessageA(c, BM_CLICK, 0, 0);
        return;
    }
    bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
    bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
    if (!radio && !box) return refuse(a, "control " + std::to_string(a.number) + " is a push button");
    WPARAM want = a.verb == "check" ? BST_CHECKED : BST_UNCHECKED;
    if (radio && want == BST_UNCHECKED) return refuse(a, "a radio button is cleared by checking another");
    transcript("action line=" + std::to_string(a.line) + " text=" + quoteText(a.raw));
    SetFocus(c);
    // As a user clicks until the box shows the state: a three-state box may need two clicks.
    for (int i = 0; i < 3 && static_cast<WPARAM>(SendMessageA(c, BM_GETCHECK, 0, 0)) != want; ++i) {
        SendMessageA(c, BM_CLICK, 0, 0);
        if (!IsWindow(c) || !(type == BS_AUTO3STATE || type == BS_3STATE)) break;
    }
}

} // namespace

namespace kownd {

bool canRunModal() {
    return scriptActive() || (terminalActive() && terminalReady());
}

void dialogShown(HWND dialog, WORD templateId) {
    char caption[256];
    GetWindowTextA(dialog, caption, sizeof caption);
    transcript("dialog template=" + std::to_string(templateId) + " caption=" + quoteText(caption) +
               " owner=" + ownerName(GetWindow(dialog, GW_OWNER)));
}

void dialogEnded(HWND, WORD templateId, INT_PTR result) {
    transcript("end dialog template=" + std::to_string(templateId) + " result=" + std::to_string(result));
}

INT_PTR modalLoop(HWND h) {
    if (terminalActive()) return terminalModalLoop(h);
    if (loopDepth++ == 0) refreshScript();
    INT_PTR result = 0;
    for (;;) {
        deliverPosted();
        if (ended(h, &result)) break;
        Action a;
        if (!takeAction(&a)) {
            // Nothing left to do: the window is cancelled as a user pressing Escape would, and ended
            // by force if it refuses, so no run can hang.
            transcript("script exhausted");
            bool sheet = isSheet(h);
            if (sheet)
                SendMessageA(h, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            else
                SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
            deliverPosted();
            if (!ended(h, &result)) {
                forceEnd(h, sheet ? 0 : IDCANCEL);
                ended(h, &result);
            }
            break;
        }
        apply(h, a);
    }
    --loopDepth;
    return result;
}

} // namespace kownd
