#pragma once
// Owner-drawn list items: an icon and a text per item, in the system's selection colours. Offered to
// other modules; the setup pages draw nothing of their own this way.
#include <cstdint>
#include "platform/window.h"

// Sets the item height of the MEASUREITEMSTRUCT that measureItem points to (the message's lParam) to
// the height of the text "A" in the window plus extraHeight; 1 when it did, 0 for a null record (or a
// window that cannot be measured, which leaves the record alone).
KO_EXPORT int koMeasureItem(HWND window, LPARAM measureItem, uint32_t extraHeight);
// Draws one item: the background in the highlight or window colour, the icon iconName of instance
// 4 right and 3 down of the item's corner, text transparently from 39 right and 11 down, and the
// focus rectangle when the item has the focus. The device context's text colour and background mode
// are given back as they were.
KO_EXPORT void koOwnerDrawControl(HINSTANCE instance, const DRAWITEMSTRUCT* item, const unsigned char* text,
                                  const unsigned char* iconName);
