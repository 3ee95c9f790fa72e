// The open-file dialog: the choice comes from the front end's "file" and "file-cancel" actions, and
// the must-exist options are checked as the dialog checks them before it closes.
#include "platform/frontend.h"
#include "platform/system.h"
#include "platform/termui.h"
#include "platform/window.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

using namespace kownd;

namespace {

thread_local DWORD lastDialogError = 0;

std::string filterText(LPCSTR filter) {
    std::string out;
    for (const char* p = filter; p && *p; p += std::strlen(p) + 1) {
        if (!out.empty()) out += "|";
        out += p;
    }
    return out;
}

bool exists(const std::string& path, bool directory) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
}

// Why the dialog refuses a name and stays open, as Windows' does after its warning; "" to accept.
std::string refusal(const OPENFILENAMEA* ofn, const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if ((ofn->Flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !exists(folder, true))
        return "the folder does not exist";
    if ((ofn->Flags & OFN_FILEMUSTEXIST) && !exists(path, false)) return "the file does not exist";
    return "";
}

// Hands the chosen path to the caller.
BOOL deliver(LPOPENFILENAMEA ofn, const std::string& path) {
    if (path.size() + 1 > ofn->nMaxFile) {
        // Too small: the first two bytes hold the size needed.
        if (ofn->nMaxFile >= 2) {
            WORD need = static_cast<WORD>(path.size() + 1);
            std::memcpy(ofn->lpstrFile, &need, 2);
        }
        lastDialogError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
    size_t base = path.rfind('/') + 1;
    ofn->nFileOffset = static_cast<WORD>(base);
    size_t dot = path.rfind('.');
    ofn->nFileExtension = static_cast<WORD>(dot != std::string::npos && dot > base ? dot + 1 : path.size());
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        size_t n = std::min<size_t>(path.size() - base, ofn->nMaxFileTitle - 1);
        std::memcpy(ofn->lpstrFileTitle, path.c_str() + base, n);
        ofn->lpstrFileTitle[n] = 0;
    }
    return TRUE;
}

} // namespace

DWORD CommDlgExtendedError() {
    return lastDialogError;
}

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn) {
    lastDialogError = 0;
    if (!ofn || (ofn->lStructSize != sizeof(OPENFILENAMEA) &&
                 ofn->lStructSize != offsetof(OPENFILENAMEA, pvReserved))) {
        lastDialogError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
        lastDialogError = CDERR_INITIALIZATION;
        return FALSE;
    }
    std::string title = ofn->lpstrTitle ? ofn->lpstrTitle : "Open";
    std::string dir = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "";
    std::string head = "open title=" + quoteText(title) +
                       " filter=" + quoteText(filterText(ofn->lpstrFilter)) + " dir=" + quoteText(dir) +
                       " owner=" + ownerName(ofn->hwndOwner);
    if (terminalActive() && terminalReady()) {
        std::string path;
        auto check = [ofn](const std::string& p) { return refusal(ofn, p); };
        bool chosen;
        try {
            chosen = terminalOpenFile(title, filterText(ofn->lpstrFilter),
                                      static_cast<int>(ofn->nFilterIndex), dir, check, &path);
        } catch (const std::bad_alloc&) {
            lastDialogError = CDERR_MEMALLOCFAILURE;
            return FALSE;
        }
        if (!chosen) {
            transcript(head + " answer=cancel");
            return FALSE;
        }
        transcript(head + " answer=" + quoteText(path));
        return deliver(ofn, path);
    }
    if (!scriptActive()) {
        lastDialogError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    refreshScript();
    for (;;) {
        Action a;
        if (!peekAction(&a)) {
            transcript("script exhausted");
            break;
        }
        if (a.verb != "file" && a.verb != "file-cancel") break; // not for this dialog: it is cancelled
        takeAction(&a);
        if (a.verb == "file-cancel") break;
        std::string path = a.text;
        if (path[0] != '/' && !dir.empty()) path = dir + "/" + path;
        std::string why = refusal(ofn, path);
        if (!why.empty()) {
            refuse(a, why);
            continue;
        }
        transcript(head + " answer=" + quoteText(path));
        return deliver(ofn, path);
    }
    transcript(head + " answer=cancel");
    return FALSE;
}
