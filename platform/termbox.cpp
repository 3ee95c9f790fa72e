// The terminal front end's message boxes: the text, the style's buttons, its default button first
// in focus.
#include "platform/termui.h"

#include <algorithm>
#include <cctype>
#include <new>

using namespace kownd;

namespace {

const char* const buttonFaces[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};

const char* iconMark(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return "(x) ";
    case MB_ICONQUESTION:
        return "(?) ";
    case MB_ICONWARNING:
        return "(!) ";
    case MB_ICONINFORMATION:
        return "(i) ";
    }
    return "";
}

struct BoxView {
    std::string text, caption;
    UINT type = 0;
    const int* buttons = nullptr;
    int count = 0;
    int focus = 0;
    std::vector<Region> regions; // control: null; tab: the button's index
};

void drawBox(BoxView& b) {
    b.regions.clear();
    int cols = screenCols();
    int textWidth = std::max(10, std::min(64, cols - 6));
    std::vector<std::string> lines = wrapText(iconMark(b.type) + b.text, textWidth);
    int widest = static_cast<int>(b.caption.size()) + 4;
    for (const std::string& l : lines)
        widest = std::max(widest, static_cast<int>(l.size()));
    int buttonsWidth = b.count * 12;
    int width = std::min(std::max(widest, buttonsWidth) + 4, std::max(cols, 14));
    int height = static_cast<int>(lines.size()) + 4;
    int row = std::max(0, (screenRows() - height) / 2), col = std::max(0, (cols - width) / 2);
    screenBox(row, col, height, width, b.caption);
    for (size_t i = 0; i < lines.size(); ++i)
        screenPut(row + 1 + static_cast<int>(i), col + 2, lines[i], attrNormal, width - 4);
    int at = col + (width - buttonsWidth) / 2;
    for (int i = 0; i < b.count; ++i) {
        std::string face = std::string("[ ") + buttonFaces[b.buttons[i]] + " ]";
        screenPut(row + height - 2, at, face, i == b.focus ? attrReverse | attrBold : attrNormal);
        screenPut(row + height - 2, at + 2, std::string(1, face[2]),
                  (i == b.focus ? attrReverse | attrBold : attrNormal) | attrUnderline);
        b.regions.push_back({row + height - 2, at, 1, static_cast<int>(face.size()), nullptr, i});
        at += 12;
    }
}

int runBox(const std::string& text, const std::string& caption, UINT type, const int* buttons, int count,
           int defaultAnswer);

} // namespace

namespace kownd {

int terminalMessageBox(HWND, const std::string& text, const std::string& caption, UINT type,
                       const int* buttons, int count, int defaultAnswer) {
    try {
        return runBox(text, caption, type, buttons, count, defaultAnswer);
    } catch (const std::bad_alloc&) {
        // Without memory for the box nobody can choose: it takes its default button.
        return defaultAnswer;
    }
}

} // namespace kownd

namespace {

int runBox(const std::string& text, const std::string& caption, UINT type, const int* buttons, int count,
           int defaultAnswer) {
    ScreenRun run;
    if (count <= 0 || !run.taken()) return defaultAnswer;
    BoxView b;
    b.text = text;
    b.caption = caption;
    b.type = type;
    b.buttons = buttons;
    b.count = count;
    for (int i = 0; i < count; ++i)
        if (buttons[i] == defaultAnswer) b.focus = i;
    run.show([&b] { drawBox(b); });
    int answer = 0;
    while (!answer) {
        drawLayers();
        drawBox(b);
        screenShow(-1, -1);
        Input in = screenRead(200);
        if (in.kind == Input::lost || in.kind == Input::interrupt) screenAbandon(in);
        if (in.kind != Input::key) continue;
        int k = in.code;
        if (k == '\t' || k == keyRight || k == keyDown) {
            b.focus = (b.focus + 1) % count;
        } else if (k == keyBackTab || k == keyLeft || k == keyUp) {
            b.focus = (b.focus + count - 1) % count;
        } else if (k == '\r' || k == '\n' || k == keyEnter || k == ' ') {
            answer = buttons[b.focus];
        } else if (k == 27 && !in.alt) {
            // Escape is Cancel where the box has it; a box with OK alone takes OK.
            for (int i = 0; i < count; ++i)
                if (buttons[i] == IDCANCEL) answer = IDCANCEL;
            if (count == 1 && buttons[0] == IDOK) answer = IDOK;
        } else if (k == keyMouse) {
            for (const Region& r : b.regions)
                if (in.mouse.y == r.row && in.mouse.x >= r.col && in.mouse.x < r.col + r.width &&
                    (in.mouse.buttons & (mouseButton1Pressed | mouseButton1Clicked)))
                    answer = buttons[r.tab];
        } else if (k > 0 && k < 0x80 && std::isalpha(k)) {
            for (int i = 0; i < count; ++i)
                if (std::tolower(buttonFaces[buttons[i]][0]) == std::tolower(k)) answer = buttons[i];
        }
    }
    return answer;
}

} // namespace
