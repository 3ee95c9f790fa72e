#include "foundation/ui/ownerdraw.h"

#include <cstring>

int koMeasureItem(HWND window, LPARAM measureItem, uint32_t extraHeight) {
    auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(measureItem);
    if (!item) return 0;
    HDC dc = GetDC(window);
    if (!dc) return 0;
    SIZE size{};
    BOOL measured = GetTextExtentPoint32A(dc, "A", 1, &size);
    ReleaseDC(window, dc);
    if (!measured) return 0;
    item->itemHeight = static_cast<UINT>(size.cy) + extraHeight;
    return 1;
}

void koOwnerDrawControl(HINSTANCE instance, const DRAWITEMSTRUCT* item, const unsigned char* text,
                        const unsigned char* iconName) {
    if (!item) return;
    HDC dc = item->hDC;
    const RECT& r = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    COLORREF oldColor = SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    if (iconName) {
        // Loaded for this one drawing: the icon is a handle of its own here and goes straight back.
        HICON icon = LoadIconA(instance, reinterpret_cast<LPCSTR>(iconName));
        if (icon) {
            DrawIcon(dc, r.left + 4, r.top + 3, icon);
            DestroyIcon(icon);
        }
    }
    int oldMode = SetBkMode(dc, TRANSPARENT);
    if (text) {
        const char* t = reinterpret_cast<const char*>(text);
        TextOutA(dc, r.left + 39, r.top + 11, t, static_cast<int>(std::strlen(t)));
    }
    SetTextColor(dc, oldColor);
    if (oldMode) SetBkMode(dc, oldMode);
    if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}
