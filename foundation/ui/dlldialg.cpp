#include "foundation/ui/dlldialg.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"

KoStatus dllDialogBox(HWND owner, unsigned short templateId, DLGPROC dialogProc, const void* param) {
    HWND active = GetActiveWindow();
    if (!owner || (active && IsChild(owner, active))) owner = active;
    INT_PTR result = DialogBoxParamA(resourceModule, MAKEINTRESOURCEA(templateId), owner, dialogProc,
                                     reinterpret_cast<LPARAM>(param));
    if (active && IsWindow(active) && GetActiveWindow() != active) SetFocus(active);
    if (result == -1) {
        koRaiseError(koErrDialogCreate);
        return koFailure;
    }
    return koSuccess;
}
