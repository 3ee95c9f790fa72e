#include "foundation/ui/winprop.h"
#include "platform/window.h"

namespace {
const char handleName[] = "Handle";
const char scaleName[] = "ScaleH";
} // namespace

void koSetWinPointer(HWND window, void* pointer) {
    SetPropA(window, handleName, pointer);
}

void* koGetWinPointer(HWND window) {
    return GetPropA(window, handleName);
}

void koRemoveWinPointer(HWND window) {
    RemovePropA(window, handleName);
}

void koSetWinPointer(HWND window, void* pointer, uint16_t) {
    SetPropA(window, scaleName, pointer);
}

void* koGetWinPointer(HWND window, uint16_t) {
    return GetPropA(window, scaleName);
}

void koRemoveWinPointer(HWND window, uint16_t) {
    RemovePropA(window, scaleName);
}
