#pragma once
// The headless window system: window handles made by this layer, message boxes and resource strings,
// with the user's input coming from the active front end.
#include <string>
#include <vector>
#include "platform/types.h"

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

// Shows a message box through the active front end and returns the button chosen.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HWND GetDesktopWindow();
// True only for a window this layer made and that has not been destroyed.
BOOL IsWindow(HWND window);
// Reads string id of a module's string table into buffer (at most size - 1 characters, terminated);
// the length copied, 0 when the module has no such string.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size);

// Where modal input comes from.
enum KoFrontEnd {
    koFrontEndNone,   // no user: boxes go to standard error and take their default button (the default)
    koFrontEndScript, // tests and automation: queued answers, every box recorded
};
void koSetFrontEnd(KoFrontEnd frontEnd);
KoFrontEnd koGetFrontEnd();

// A message box as the script front end recorded it.
struct KoShownBox {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
    int answer;
};
// Queues the button the next unanswered message box returns. A box with nothing queued takes its
// default button, so a script never hangs.
void koScriptAnswer(int button);
// Every box shown since the last call (or koScriptReset), oldest first; clears the record.
std::vector<KoShownBox> koScriptTakeShownBoxes();
// Clears queued answers and recorded boxes.
void koScriptReset();
