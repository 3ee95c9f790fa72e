#pragma once
// The pages of the setup sheet (General, Advanced, About), the globals they share, and the functions
// of the About page and the translator choice.
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/window.h"
#include "foundation/ui/ownerdraw.h"

struct DSNInfoStruct;
struct KoAboutDlgAnimate;

// Dialog procedures of the three pages; as nested dialogs (commands 312 and 600) they take the record
// as the creation parameter, inside the sheet the page description that carries it.
KO_EXPORT INT_PTR GeneralDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT INT_PTR AdvancedDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
KO_EXPORT INT_PTR AboutDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Shared by the pages; one sheet runs at a time, on one thread.
KO_EXPORT extern HWND generalSheetWnd;  // the sheet as the General page found it
KO_EXPORT extern HWND advancedSheetWnd; // the same for the Advanced page
KO_EXPORT extern HWND aboutSheetWnd;    // the same for the About page
KO_EXPORT extern uint16_t definerUsed;  // the Advanced page ran the file definer since its creation
KO_EXPORT extern int inTestConnect;     // a page is running a connection test

// The Test Connect command of any page: the sheet applies every page into the record without
// writing, the connection is tried, success is announced, and the sheet's input counts as valid.
KO_EXPORT void koRunConnectionTest(HWND sheetWindow, DSNInfoStruct* info);

// The Advanced page's file definer dialog: 1 and the chosen full path in path (256 bytes) when the
// user chose a file, else 0. The extension is lowered in place.
KO_EXPORT uint16_t defineFileDialog(HWND owner, const unsigned char* directory, unsigned char* path,
                                    unsigned char* extension);
// 1 when text is a valid data-file extension.
KO_EXPORT int isValidFileExtension(const unsigned char* text);

// About page: fills the driver's path, date and size and the notice lines; always 0.
KO_EXPORT KoStatus BaseInitAboutDialog(HWND page, DSNInfoStruct* info);
// Runs the installer's translator dialog and appends the choice as three rows; 0 also when the user
// cancels. 1 when memory runs out, with the memory error as the thread's last error.
KO_EXPORT KoStatus BaseGetTranslator(HWND owner, DSNInfoStruct* info);
// Called on every paint of the About page; painting then goes on by default.
KO_EXPORT void koAboutDlgPaint(HWND page);
// Body of the About page's animation thread: draws the icon reel into the page, one frame every
// 500 milliseconds (KO_ABOUT_FRAME_MS shortens it), until stop is set; its result is 0.
KO_EXPORT DWORD koPerformAnimation(KoAboutDlgAnimate* animate);

// Internal to the pages.
// The record handed to a page at its creation: inside the sheet the parameter is the page description
// that carries the record, in a nested dialog (commands 312 and 600) the record itself. A sheet page
// is a child window of the sheet frame; a template run as a nested dialog is a window of its own, so
// the page's style tells the two apart.
DSNInfoStruct* koPageRecordAtCreation(HWND page, LPARAM param);
// The running sheet when page is one of its pages; null for a nested dialog or a record without one.
class KoPropertySheet* koPageSheet(HWND page, DSNInfoStruct* info);
// Saves the page into the record and refuses an empty or invalid data-source name with the message of
// the name check; 0 when the page was saved and the name is acceptable.
KoStatus koSaveAndCheckName(HWND page, DSNInfoStruct* info);
// Set when the pages wrote the data source during the current run of the sheet.
extern int sheetWroteDataSource;
