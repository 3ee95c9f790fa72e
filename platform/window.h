#pragma once
// The headless window system: windows behind handles, messages, the standard controls, dialogs,
// property sheets, message boxes, the open-file dialog and GDI drawing into per-window records, with
// the user's input coming from the process's front end (KO_UI).
#include <string>
#include <vector>
#include "platform/sheetconst.h"
#include "platform/wndconst.h"

// Message box styles and answers, with Windows' values.
enum : UINT {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
    MB_APPLMODAL = 0x0,
    MB_SYSTEMMODAL = 0x1000,
    MB_TASKMODAL = 0x2000,
    MB_SETFOREGROUND = 0x10000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };
#define MB_ICONEXCLAMATION MB_ICONWARNING
#define MB_ICONSTOP MB_ICONERROR
#define MB_ICONASTERISK MB_ICONINFORMATION

// Message boxes. The answer comes from the front end; without one the box writes "caption: text" to
// standard error and returns its default button.
KO_EXPORT int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Window classes and windows. A handle is a window only while the layer's table holds it: a foreign
// or destroyed value is refused (ERROR_INVALID_WINDOW_HANDLE), never dereferenced.
KO_EXPORT ATOM RegisterClassA(const WNDCLASSA* windowClass);
KO_EXPORT BOOL UnregisterClassA(LPCSTR name, HINSTANCE instance);
KO_EXPORT int GetClassNameA(HWND window, LPSTR buffer, int size);
KO_EXPORT HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR name, DWORD style, int x, int y,
                               int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                               LPVOID param);
KO_EXPORT HWND CreateWindowA(LPCSTR className, LPCSTR name, DWORD style, int x, int y, int width, int height,
                             HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
KO_EXPORT BOOL DestroyWindow(HWND window);
KO_EXPORT BOOL IsWindow(HWND window);
KO_EXPORT HWND GetDesktopWindow();
KO_EXPORT BOOL IsChild(HWND parent, HWND window);
KO_EXPORT HWND GetParent(HWND window);
KO_EXPORT HWND GetAncestor(HWND window, UINT flags);
KO_EXPORT HWND GetWindow(HWND window, UINT command);
KO_EXPORT HWND GetDlgItem(HWND dialog, int id);
KO_EXPORT int GetDlgCtrlID(HWND window);
KO_EXPORT LONG_PTR GetWindowLongPtrA(HWND window, int index);
KO_EXPORT LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
KO_EXPORT LONG GetWindowLongA(HWND window, int index);
KO_EXPORT LONG SetWindowLongA(HWND window, int index, LONG value);
KO_EXPORT int GetWindowTextA(HWND window, LPSTR buffer, int size);
KO_EXPORT int GetWindowTextLengthA(HWND window);
KO_EXPORT BOOL SetWindowTextA(HWND window, LPCSTR text);
KO_EXPORT BOOL EnableWindow(HWND window, BOOL enable);
KO_EXPORT BOOL IsWindowEnabled(HWND window);
KO_EXPORT BOOL ShowWindow(HWND window, int command);
KO_EXPORT BOOL IsWindowVisible(HWND window);
KO_EXPORT BOOL IsIconic(HWND window);
KO_EXPORT HWND GetFocus();
KO_EXPORT HWND SetFocus(HWND window);
KO_EXPORT HWND GetActiveWindow();
KO_EXPORT HWND SetActiveWindow(HWND window);
KO_EXPORT BOOL SetForegroundWindow(HWND window);
KO_EXPORT HWND GetForegroundWindow();
KO_EXPORT BOOL SetPropA(HWND window, LPCSTR name, HANDLE value);
KO_EXPORT HANDLE GetPropA(HWND window, LPCSTR name);
KO_EXPORT HANDLE RemovePropA(HWND window, LPCSTR name);
KO_EXPORT int GetSystemMetrics(int index);

// Geometry. Windows have no frame of their own: the client area is the whole window.
KO_EXPORT BOOL GetWindowRect(HWND window, LPRECT rect);
KO_EXPORT BOOL GetClientRect(HWND window, LPRECT rect);
KO_EXPORT BOOL SetWindowPos(HWND window, HWND after, int x, int y, int width, int height, UINT flags);
KO_EXPORT BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
KO_EXPORT BOOL ClientToScreen(HWND window, LPPOINT point);
KO_EXPORT BOOL ScreenToClient(HWND window, LPPOINT point);
KO_EXPORT int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
KO_EXPORT LONG GetDialogBaseUnits();
KO_EXPORT BOOL MapDialogRect(HWND dialog, LPRECT rect);
KO_EXPORT BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
KO_EXPORT BOOL OffsetRect(LPRECT rect, int dx, int dy);
KO_EXPORT BOOL PtInRect(const RECT* rect, POINT point);
KO_EXPORT BOOL IntersectRect(LPRECT out, const RECT* a, const RECT* b);

// Messages. SendMessageA calls the window's procedure at once; PostMessageA queues, and the modal
// loops (or PeekMessageA and DispatchMessageA) deliver.
KO_EXPORT LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT void PostQuitMessage(int exitCode);
KO_EXPORT BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
KO_EXPORT LRESULT DispatchMessageA(const MSG* msg);
KO_EXPORT BOOL TranslateMessage(const MSG* msg);
KO_EXPORT LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Dialogs, from a module's templates (the resource library's accessor) or from memory.
KO_EXPORT HWND CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param);
KO_EXPORT HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc,
                                          LPARAM param);
// Modal runs: the dialog's result; 0 for an invalid owner, -1 when the dialog cannot be created
// (no such template, or no front end that can show it).
KO_EXPORT INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param);
KO_EXPORT INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc,
                                          LPARAM param);
KO_EXPORT BOOL EndDialog(HWND dialog, INT_PTR result);
KO_EXPORT LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
KO_EXPORT UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
KO_EXPORT BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
KO_EXPORT UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
KO_EXPORT BOOL CheckDlgButton(HWND dialog, int id, UINT check);
KO_EXPORT UINT IsDlgButtonChecked(HWND dialog, int id);
KO_EXPORT BOOL CheckRadioButton(HWND dialog, int first, int last, int check);

// Property sheets.
KO_EXPORT HPROPSHEETPAGE CreatePropertySheetPageA(LPCPROPSHEETPAGEA page);
KO_EXPORT BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);
// Modal: above 0 after a saved change (ID_PSRESTARTWINDOWS or ID_PSREBOOTSYSTEM when a page asked),
// 0 otherwise, -1 on failure. Modeless (PSH_MODELESS): the frame window.
KO_EXPORT INT_PTR PropertySheetA(LPCPROPSHEETHEADERA header);

// The open-file dialog.
KO_EXPORT BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn);
KO_EXPORT DWORD CommDlgExtendedError();

// GDI: device contexts draw into the window's record of drawing operations.
KO_EXPORT HDC GetDC(HWND window);
KO_EXPORT int ReleaseDC(HWND window, HDC dc);
KO_EXPORT HICON LoadIconA(HINSTANCE instance, LPCSTR name);
KO_EXPORT BOOL DestroyIcon(HICON icon);
KO_EXPORT BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
KO_EXPORT HRGN CreateRectRgn(int left, int top, int right, int bottom);
KO_EXPORT HRGN CreateRectRgnIndirect(const RECT* rect);
KO_EXPORT int SelectClipRgn(HDC dc, HRGN region);
KO_EXPORT int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
KO_EXPORT int GetClipBox(HDC dc, LPRECT rect);
KO_EXPORT BOOL DeleteObject(HGDIOBJ object);
KO_EXPORT HGDIOBJ GetStockObject(int index);
KO_EXPORT HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
KO_EXPORT BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
KO_EXPORT BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size);
KO_EXPORT COLORREF SetTextColor(HDC dc, COLORREF color);
KO_EXPORT COLORREF SetBkColor(HDC dc, COLORREF color);
KO_EXPORT int SetBkMode(HDC dc, int mode);
KO_EXPORT COLORREF GetSysColor(int index);
KO_EXPORT HBRUSH GetSysColorBrush(int index);
KO_EXPORT int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
KO_EXPORT BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length);
KO_EXPORT BOOL DrawFocusRect(HDC dc, const RECT* rect);
KO_EXPORT BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
KO_EXPORT BOOL UpdateWindow(HWND window);
// Takes the drawing operations recorded for a window (one line each, oldest first) and clears them.
KO_EXPORT std::vector<std::string> koTakeDrawings(HWND window);

// Reads string id of a module's string table into buffer (at most size - 1 characters, terminated);
// the length copied, 0 when the module has no such string.
KO_EXPORT int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size);

// Where modal input comes from: KO_UI chooses (script, terminal or none; unset: the terminal when
// standard input and output are one) unless a program sets it.
enum KoFrontEnd {
    koFrontEndNone,     // no user: boxes go to standard error and take their default button; dialogs fail
    koFrontEndScript,   // the actions of KO_UI_SCRIPT (and of koScriptPush), recorded in KO_UI_TRANSCRIPT
    koFrontEndTerminal, // a person at the terminal of standard input and output
};
KO_EXPORT void koSetFrontEnd(KoFrontEnd frontEnd);
KO_EXPORT KoFrontEnd koGetFrontEnd();

// A message box as the script front end recorded it.
struct KoShownBox {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
    int answer;
};
// Queues the button the next message box returns ("answer"). A box with nothing queued takes its
// default button, so a script never hangs.
KO_EXPORT void koScriptAnswer(int button);
// Queues one script line, as a script file holds it; false (and a transcript line) when malformed.
KO_EXPORT bool koScriptPush(const char* line);
// Every box shown since the last call (or koScriptReset), oldest first; clears the record.
KO_EXPORT std::vector<KoShownBox> koScriptTakeShownBoxes();
// Every transcript line written since the last call (or koScriptReset); clears the record.
KO_EXPORT std::vector<std::string> koScriptTakeTranscript();
// Clears queued actions, recorded boxes and transcript lines, and forgets the script file read.
KO_EXPORT void koScriptReset();
