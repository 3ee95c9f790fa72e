#include "foundation/ui/wincenter.h"
#include "platform/window.h"

void winCenterBox(HWND window) {
    RECT r;
    if (!GetWindowRect(window, &r)) return;
    // 16-bit signed arithmetic, as the placement rules are stated in it.
    int16_t w = static_cast<int16_t>(r.right - r.left);
    int16_t h = static_cast<int16_t>(r.bottom - r.top);
    int16_t screenW = static_cast<int16_t>(GetSystemMetrics(SM_CXSCREEN));
    int16_t screenH = static_cast<int16_t>(GetSystemMetrics(SM_CYSCREEN));
    HWND parent = GetParent(window);
    RECT ref{0, 0, screenW, screenH};
    if (parent && !IsIconic(GetAncestor(window, GA_ROOT))) GetWindowRect(parent, &ref);
    int16_t x = static_cast<int16_t>(ref.left + static_cast<int16_t>(ref.right - ref.left - w) / 2);
    int16_t y = static_cast<int16_t>(ref.top + static_cast<int16_t>(ref.bottom - ref.top - h) / 2);
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (static_cast<uint16_t>(w) > static_cast<uint16_t>(screenW))
        x = 0;
    else if (static_cast<uint16_t>(x + w) > static_cast<uint16_t>(screenW))
        x = static_cast<int16_t>(screenW - w);
    if (static_cast<uint16_t>(h) > static_cast<uint16_t>(screenH))
        y = 0;
    else if (static_cast<uint16_t>(y + h) > static_cast<uint16_t>(screenH))
        y = static_cast<int16_t>(screenH - h);
    // Positions of a child window are in its parent's client coordinates.
    POINT p{x, y};
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) ScreenToClient(parent, &p);
    SetWindowPos(window, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
