#pragma once
// The window objects behind HWND values and the state the window units share. Internal to the layer.
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include "platform/handle.h"
#include "platform/wndconst.h"

namespace kownd {

enum class Kind : uint8_t { desktop, generic, dialog, button, edit, combo, statik };

// What a dialog window adds: its procedure, the dialog longs and the modal loop's end.
struct DialogState {
    DLGPROC proc = nullptr;
    LRESULT msgResult = 0;
    LONG_PTR user = 0;
    bool ended = false;
    INT_PTR result = 0;
    int defId = 1;
    WORD templateId = 0; // 0 for an in-memory template
};

// Per-window state owned by a unit above the core (the sheet frame's).
struct Extra {
    virtual ~Extra() = default;
};

struct Window : KoHandleObject {
    Window() : KoHandleObject(KoHandleKind::window) {}
    HWND self = nullptr;
    Kind kind = Kind::generic;
    std::string cls;
    WNDPROC proc = nullptr;
    HINSTANCE inst = nullptr;
    std::string text;
    LONG_PTR id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};           // in the parent's client coordinates; screen coordinates for a top-level window
    HWND parent = nullptr; // children only
    HWND owner = nullptr;  // top-level windows only
    std::vector<HWND> children; // in z-order, creation order
    std::vector<std::pair<std::string, HANDLE>> props;
    HFONT font = nullptr;
    LONG_PTR userData = 0;
    bool destroying = false;
    // Controls.
    UINT limit = 30000;
    WPARAM check = BST_UNCHECKED;
    std::vector<std::string> items;
    std::vector<LPARAM> itemData;
    int cursel = -1;
    char passwordChar = 0;
    bool modified = false;
    HICON icon = nullptr;
    // Drawing operations recorded by GDI calls into this window.
    std::vector<std::string> drawings;
    std::unique_ptr<DialogState> dlg;
    std::unique_ptr<Extra> extra;
};

// The lock over every window's fields and the shared state below. Never held while a window
// procedure runs: procedures send messages to other windows and threads draw into windows.
std::recursive_mutex& lock();

// The live window of a handle, referenced; empty with ERROR_INVALID_WINDOW_HANDLE otherwise.
KoHandleRef<Window> ref(HWND h);
// The same, but without touching the thread's last error.
KoHandleRef<Window> peek(HWND h);

HWND desktop();
HWND& focusWindow();
HWND& activeWindow();

// The built-in procedures of the standard classes (controls unit) and of dialogs (dialog unit).
LRESULT buttonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT editProc(HWND, UINT, WPARAM, LPARAM);
LRESULT comboProc(HWND, UINT, WPARAM, LPARAM);
LRESULT staticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT dialogProc(HWND, UINT, WPARAM, LPARAM);

// Sends a notification WM_COMMAND from control to its parent.
void notifyParent(HWND control, WORD code);
// Sets an edit or combo control's text as typing does (the caller has checked limit and styles) and
// sends the notifications typing sends.
void setTyped(HWND control, const std::string& text);

// The top-level window a window belongs to (itself when it is one).
HWND rootOf(HWND h);

// Runs a modal loop over window until its dialog state ends; input from the front end. kind is
// "dialog" or "sheet" for the transcript.
INT_PTR modalLoop(HWND window);

// Display units of the headless screen: a character cell is 8 by 16 pixels, a dialog unit a
// quarter of a cell's width and an eighth of its height.
constexpr int charWidth = 8;
constexpr int charHeight = 16;
constexpr int screenWidth = 1024;
constexpr int screenHeight = 768;

} // namespace kownd
