#pragma once
// Nested dialogs run from the resource library's templates.
#include "foundation/errors/kostatus.h"
#include "foundation/ui/resourcelib.h"
#include "platform/window.h"

// Runs dialog templateId of the resource library modally over owner (the active window when no owner
// is given or the active window is a child of it), then gives the focus back to the window that was
// active. 1, with library error 9999 raised, when the dialog cannot be created.
KO_EXPORT KoStatus dllDialogBox(HWND owner, unsigned short templateId, DLGPROC dialogProc, const void* param);
