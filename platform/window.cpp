#include "platform/window.h"
#include "platform/module.h"

#include <stdio.h>
#include <string.h>

#include <deque>
#include <mutex>

namespace {

struct DesktopWindow {
    char tag;
} desktop;

std::mutex frontLock;
KoFrontEnd activeFrontEnd = koFrontEndNone;
std::deque<int> queuedAnswers;
std::vector<KoShownBox> shownBoxes;

// The button a box takes when nobody chooses: its default button among those its style offers.
int defaultButton(UINT type) {
    static const int buttons[][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    UINT kind = type & 0xF;
    if (kind > 5) kind = 0;
    UINT index = (type & 0xF00) >> 8;
    if (index > 2) index = 0;
    return buttons[kind][index];
}

} // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string t = text ? text : "";
    std::string c = caption ? caption : "Error"; // Windows' caption when none is given
    std::lock_guard<std::mutex> g(frontLock);
    int answer = defaultButton(type);
    if (activeFrontEnd == koFrontEndScript) {
        if (!queuedAnswers.empty()) {
            answer = queuedAnswers.front();
            queuedAnswers.pop_front();
        }
        shownBoxes.push_back({t, c, type, owner, answer});
        return answer;
    }
    fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
    fflush(stderr);
    return answer;
}

HWND GetDesktopWindow() {
    return &desktop;
}

BOOL IsWindow(HWND window) {
    return window == &desktop ? TRUE : FALSE;
}

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    typedef const char* (*Accessor)(unsigned);
    auto get = reinterpret_cast<Accessor>(GetProcAddress(module, "koResourceString"));
    const char* s = get ? get(id) : nullptr;
    if (!s) return 0;
    size_t n = strlen(s);
    if (n > static_cast<size_t>(size - 1)) n = size - 1;
    memcpy(buffer, s, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

void koSetFrontEnd(KoFrontEnd frontEnd) {
    std::lock_guard<std::mutex> g(frontLock);
    activeFrontEnd = frontEnd;
}

KoFrontEnd koGetFrontEnd() {
    std::lock_guard<std::mutex> g(frontLock);
    return activeFrontEnd;
}

void koScriptAnswer(int button) {
    std::lock_guard<std::mutex> g(frontLock);
    queuedAnswers.push_back(button);
}

std::vector<KoShownBox> koScriptTakeShownBoxes() {
    std::lock_guard<std::mutex> g(frontLock);
    std::vector<KoShownBox> boxes;
    boxes.swap(shownBoxes);
    return boxes;
}

void koScriptReset() {
    std::lock_guard<std::mutex> g(frontLock);
    queuedAnswers.clear();
    shownBoxes.clear();
}
