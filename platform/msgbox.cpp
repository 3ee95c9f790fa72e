// Message boxes: the answer comes from the front end; without one the box is written to standard
// error and takes its default button.
#include "platform/frontend.h"
#include "platform/termui.h"
#include "platform/system.h"
#include "platform/window.h"
#include "platform/wndinternal.h"

#include <cstdio>

using namespace kownd;

namespace kownd {
void recordBox(const KoShownBox& box);
}

namespace {

const char* const buttonNames[] = {"none", "ok", "cancel", "abort", "retry", "ignore", "yes", "no"};

// The buttons a style offers, in order.
const int* buttonsOf(UINT type, int* count) {
    static const int sets[][3] = {
        {IDOK, 0, 0},     {IDOK, IDCANCEL, 0},    {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
        {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0},
    };
    static const int counts[] = {1, 2, 3, 3, 2, 2};
    UINT kind = type & 0xF;
    if (kind > 5) kind = 0;
    *count = counts[kind];
    return sets[kind];
}

// The button a box takes when nobody chooses: its default button, the first when the style names
// one it does not have.
int defaultButton(UINT type) {
    int count;
    const int* b = buttonsOf(type, &count);
    int index = static_cast<int>((type & 0xF00) >> 8);
    return index < count ? b[index] : b[0];
}

bool offers(UINT type, int button) {
    int count;
    const int* b = buttonsOf(type, &count);
    for (int i = 0; i < count; ++i)
        if (b[i] == button) return true;
    return false;
}

} // namespace

namespace kownd {

std::string ownerName(HWND owner) {
    if (!owner || owner == GetDesktopWindow() || !IsWindow(owner)) return "none";
    char text[256];
    GetWindowTextA(owner, text, sizeof text);
    return quoteText(text);
}

} // namespace kownd

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string t = text ? text : "";
    std::string c = caption ? caption : "Error"; // Windows' caption when none is given
    int answer = defaultButton(type);
    // A box at the terminal belongs to a dialog run, or to a window; a program that asked for no
    // window keeps its boxes on standard error.
    std::string ui;
    bool chosen = koGetEnvironment("KO_UI", &ui) && ui == "terminal";
    if (terminalActive() && terminalReady() && (chosen || screenActive() || (owner && IsWindow(owner)))) {
        int count;
        const int* buttons = buttonsOf(type, &count);
        answer = terminalMessageBox(owner, t, c, type, buttons, count, answer);
        char style[16];
        std::snprintf(style, sizeof style, "0x%08X", type);
        transcript("msgbox caption=" + quoteText(c) + " text=" + quoteText(t) + " style=" + style +
                   " owner=" + ownerName(owner) + " answer=" + buttonNames[answer] + " by=user");
        recordBox({t, c, type, owner, answer});
        return answer;
    }
    if (!scriptActive()) {
        std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
        std::fflush(stderr);
        return answer;
    }
    refreshScript();
    Action a;
    const char* how = "default";
    if (!peekAction(&a)) {
        transcript("script exhausted");
    } else if (a.verb == "answer") {
        takeAction(&a);
        if (offers(type, static_cast<int>(a.number))) {
            answer = static_cast<int>(a.number);
            how = "script";
        } else {
            refuse(a, "the message box has no such button");
        }
    }
    char style[16];
    std::snprintf(style, sizeof style, "0x%08X", type);
    transcript("msgbox caption=" + quoteText(c) + " text=" + quoteText(t) + " style=" + style +
               " owner=" + ownerName(owner) + " answer=" + buttonNames[answer] + " by=" + how);
    recordBox({t, c, type, owner, answer});
    return answer;
}
