#pragma once
// Window pointers: a page keeps its data-source record as a property of its own window.
#include <cstdint>
#include "platform/types.h"

// Set, read and remove the property "Handle".
KO_EXPORT void koSetWinPointer(HWND window, void* pointer);
KO_EXPORT void* koGetWinPointer(HWND window);
KO_EXPORT void koRemoveWinPointer(HWND window);
// The same with the property "ScaleH"; the 16-bit argument is not used.
KO_EXPORT void koSetWinPointer(HWND window, void* pointer, uint16_t unused);
KO_EXPORT void* koGetWinPointer(HWND window, uint16_t unused);
KO_EXPORT void koRemoveWinPointer(HWND window, uint16_t unused);
