// The pages' binding to the attribute table: every row's value shown in its control, read back into
// the record, and written as the data source. A page lacks the controls of other pages' rows.
#include "foundation/foundation.h"
#include "setup/pages.h"
#include "setup/setup.h"

#include <cstring>

namespace {

// Texts read from controls pass through a buffer of this size: at most 255 characters.
const int kTextSize = 256;

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}
const char* C(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

// The first row with that control ID; rows are visited in table order.
int rowOfControl(const DSNInfoStruct* info, uint16_t controlId) {
    for (uint16_t i = 0; i < info->setupInfoCount; ++i)
        if (info->setupInfo[i].controlId == controlId) return i;
    return -1;
}

// The text of a control, or empty text for an absent one.
void controlText(HWND page, uint16_t id, char* text) {
    text[0] = 0;
    GetDlgItemTextA(page, id, text, kTextSize);
}

bool isChecked(HWND page, uint16_t id) {
    return GetDlgItem(page, id) && SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Cuts the text at its first white-space character: a filled combo box shows "2 - High" for "2".
void cutAtWhiteSpace(unsigned char* text) {
    for (unsigned char* p = text; *p; p += koIsLeadByte(p) && p[1] ? 2 : 1)
        if (koIsWhiteSpace(p)) {
            *p = 0;
            return;
        }
}

void selectPrefix(HWND page, uint16_t id, const unsigned char* value) {
    if (value) SendDlgItemMessageA(page, id, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(value));
}

// Adds the entries of a filled combo box: the pieces of the row's list between commas, leading
// white space skipped; an empty piece ends the list. False when the copy cannot be made.
bool fillCombo(HWND page, const SetupInfo& row) {
    unsigned char* list = ramAllocStr(row.controlValue ? row.controlValue : U(""));
    if (!list) return false;
    for (unsigned char* piece = list; piece;) {
        unsigned char* comma =
            reinterpret_cast<unsigned char*>(std::strchr(reinterpret_cast<char*>(piece), ','));
        if (comma) *comma = 0;
        unsigned char* text = koSkipBlanks(piece);
        if (!*text) break;
        SendDlgItemMessageA(page, row.controlId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        piece = comma ? comma + 1 : nullptr;
    }
    ramFree(list);
    return true;
}

// Shows a stored password: a leading blank marks a scrambled one, shown unscrambled.
bool showPassword(HWND page, const SetupInfo& row, const unsigned char* value) {
    SendDlgItemMessageA(page, row.controlId, EM_LIMITTEXT, row.maxLength, 0);
    unsigned char* copy = ramAllocStr(value ? value : U(""));
    if (!copy) return false;
    const unsigned char* shown = copy;
    if (copy[0] == ' ') {
        decrypt(copy + 1, uint32_t(std::strlen(C(copy + 1))), 3);
        shown = copy + 1;
    }
    SetDlgItemTextA(page, row.controlId, C(shown));
    ramFree(copy);
    return true;
}

} // namespace

const unsigned char* BaseGetInfoValue(DSNInfoStruct* info, uint16_t controlId) {
    int row = rowOfControl(info, controlId);
    return row < 0 || !info->infoArray ? nullptr : info->infoArray[row];
}

KoStatus BaseSetInfoValue(DSNInfoStruct* info, uint16_t controlId, const unsigned char* value) {
    int row = rowOfControl(info, controlId);
    if (row < 0 || !info->infoArray) return koFailure;
    ramFree(info->infoArray[row]);
    info->infoArray[row] = value ? ramAllocStr(value) : nullptr;
    return info->infoArray[row] ? koSuccess : koFailure;
}

KoStatus BaseInitSetupDialog(HWND page, DSNInfoStruct* info) {
    SetDlgItemTextA(page, 401, info->dsnName ? C(info->dsnName) : "");
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        const SetupInfo& row = info->setupInfo[i];
        const unsigned char* v = info->infoArray ? info->infoArray[i] : nullptr;
        uint16_t c = row.controlId;
        switch (row.controlType) {
        case controlEdit:
            SendDlgItemMessageA(page, c, EM_LIMITTEXT, row.maxLength, 0);
            SetDlgItemTextA(page, c, v ? C(v) : "");
            break;
        case controlRadio:
            if (v && *v && row.controlValue && strCompareCi(v, row.controlValue) == 0)
                SendDlgItemMessageA(page, c, BM_SETCHECK, BST_CHECKED, 0);
            break;
        case controlCheck:
            SendDlgItemMessageA(page, c, BM_SETCHECK,
                                v && std::strcmp(C(v), "1") == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case controlComboFixed:
            selectPrefix(page, c, v);
            break;
        case controlComboFilled:
            if (!fillCombo(page, row)) return koFailure;
            selectPrefix(page, c, v);
            break;
        case controlPassword:
            if (!showPassword(page, row, v)) return koFailure;
            break;
        default:
            break;
        }
    }
    SendDlgItemMessageA(page, 401, EM_LIMITTEXT, 32, 0);
    SendDlgItemMessageA(page, 402, EM_LIMITTEXT, 255, 0);
    // A data source added under a given name keeps that name; a configured one may be renamed.
    if (info->request == ODBC_ADD_DSN && info->dsnName && info->dsnName[0]) {
        EnableWindow(GetDlgItem(page, 401), FALSE);
        EnableWindow(GetDlgItem(page, 403), FALSE);
    }
    return koSuccess;
}

KoStatus BaseSaveToInfoArray(HWND page, DSNInfoStruct* info) {
    char text[kTextSize];
    controlText(page, 401, text);
    ramFree(info->dsnName);
    info->dsnName = ramAllocStr(U(text));
    if (!info->dsnName) return koFailure;
    if (!info->infoArray) return koSuccess;
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        const SetupInfo& row = info->setupInfo[i];
        unsigned char*& slot = info->infoArray[i];
        uint16_t c = row.controlId;
        if (row.controlType != controlNone && slot) {
            if (!GetDlgItem(page, c)) {
                // Another page's row keeps its value; a filled combo's as the code it stands for.
                if (row.controlType == controlComboFilled) cutAtWhiteSpace(slot);
                continue;
            }
            ramFree(slot);
            slot = nullptr;
        }
        const unsigned char* value = nullptr;
        switch (row.controlType) {
        case controlEdit:
        case controlComboFixed:
        case controlPassword:
        case controlComboFilled:
            controlText(page, c, text);
            if (row.controlType == controlComboFilled)
                cutAtWhiteSpace(reinterpret_cast<unsigned char*>(text));
            value = U(text);
            break;
        case controlRadio:
            if (isChecked(page, c)) value = row.controlValue;
            break;
        case controlCheck:
            value = U(isChecked(page, c) ? "1" : "0");
            break;
        default:
            break;
        }
        if (!value) continue;
        slot = ramAllocStr(value);
        if (!slot) return koFailure;
    }
    return koSuccess;
}

KoStatus koSaveAndCheckName(HWND page, DSNInfoStruct* info) {
    if (BaseSaveToInfoArray(page, info) != koSuccess) return koFailure;
    if (info->dsnName && info->dsnName[0] && SQLValidDSN(C(info->dsnName))) return koSuccess;
    MessageBoxA(
        page,
        "Invalid data source name.  The first character must be a letter, and the name cannot contain any "
        "of the following characters:  [ ] { } ( ) ? * = ! @ , ;",
        "Error", MB_TASKMODAL | MB_ICONERROR);
    return koFailure;
}

KoStatus BaseWriteValuesToIni(HWND page, DSNInfoStruct* info) {
    if (koSaveAndCheckName(page, info) != koSuccess) return koFailure;
    return SetDSNAttributes(info) == 1 ? koSuccess : koFailure;
}
