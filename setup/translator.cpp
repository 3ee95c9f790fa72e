// The translator choice: the installer's translator dialog, and the choice appended to the record
// as three attribute rows that are written with the data source.
#include "setup/translator.h"
#include "foundation/foundation.h"
#include "platform/win32.h"
#include "setup/pages.h"
#include "setup/setup.h"

#include <cstdio>
#include <cstring>

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

const uint16_t kRowsPerChoice = 3;

// A copy of s, or null for null; *failed is set when the copy could not be made.
const unsigned char* duplicate(const unsigned char* s, bool* failed) {
    if (!s) return nullptr;
    unsigned char* copy = ramAllocStr(s);
    if (!copy) *failed = true;
    return copy;
}

void freeRowTexts(const SetupInfo& row) {
    ramFree(row.keyword);
    ramFree(row.abbreviation);
    ramFree(row.controlValue);
    ramFree(row.defaultValue);
}

// A private copy of the shared table with room for the rows of one choice; the record takes it over.
// The flag words are nobody's business and start at 0 in the copy.
bool makePrivateTable(DSNInfoStruct* info, uint32_t rows) {
    auto* copy = static_cast<SetupInfo*>(ramAllocZ(rows * sizeof(SetupInfo)));
    if (!copy) return false;
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        const SetupInfo& from = info->setupInfo[i];
        SetupInfo& to = copy[i];
        bool failed = false;
        to.keyword = duplicate(from.keyword, &failed);
        to.abbreviation = duplicate(from.abbreviation, &failed);
        to.controlValue = duplicate(from.controlValue, &failed);
        to.defaultValue = duplicate(from.defaultValue, &failed);
        to.controlId = from.controlId;
        to.controlType = from.controlType;
        to.maxLength = from.maxLength;
        if (failed) {
            for (uint16_t j = 0; j <= i; ++j)
                freeRowTexts(copy[j]);
            ramFree(copy);
            return false;
        }
    }
    info->setupInfo = copy;
    info->flags |= DSNInfoStruct::ownsSetupInfo;
    return true;
}

// Room for the rows of one choice in both the values and the table; slots beyond the row count
// hold nothing, so a record left with spare room is still whole.
bool makeRoom(DSNInfoStruct* info) {
    uint32_t rows = uint32_t(info->setupInfoCount) + kRowsPerChoice;
    if (rows > 0xFFFF) return false; // the row count is 16 bits wide
    void* slots = info->infoArray;
    if (ramResize(&slots, rows * sizeof(unsigned char*))) return false;
    info->infoArray = static_cast<unsigned char**>(slots);
    for (uint32_t i = info->setupInfoCount; i < rows; ++i)
        info->infoArray[i] = nullptr;
    if (!(info->flags & DSNInfoStruct::ownsSetupInfo)) return makePrivateTable(info, rows);
    void* table = const_cast<SetupInfo*>(info->setupInfo);
    if (ramResize(&table, rows * sizeof(SetupInfo))) return false;
    std::memset(static_cast<SetupInfo*>(table) + info->setupInfoCount, 0, kRowsPerChoice * sizeof(SetupInfo));
    info->setupInfo = static_cast<SetupInfo*>(table);
    return true;
}

// Appends one row of no control whose keyword and short keyword are both keyword.
bool appendRow(DSNInfoStruct* info, const char* keyword, const unsigned char* value) {
    bool failed = false;
    SetupInfo row{};
    row.keyword = duplicate(U(keyword), &failed);
    row.abbreviation = duplicate(U(keyword), &failed);
    row.controlType = controlNone;
    const unsigned char* copy = duplicate(value, &failed);
    if (failed) {
        freeRowTexts(row);
        ramFree(copy);
        return false;
    }
    uint16_t at = info->setupInfoCount;
    const_cast<SetupInfo*>(info->setupInfo)[at] = row;
    info->infoArray[at] = const_cast<unsigned char*>(copy);
    info->setupInfoCount = static_cast<uint16_t>(at + 1);
    return true;
}

} // namespace

KoStatus koAppendTranslatorRows(DSNInfoStruct* info, const unsigned char* name, const unsigned char* path,
                                uint32_t option) {
    char optionText[16];
    std::snprintf(optionText, sizeof optionText, "%u", static_cast<unsigned>(option));
    if (!makeRoom(info)) return koFailure;
    if (!appendRow(info, "TranslationName", name ? name : U(""))) return koFailure;
    if (!appendRow(info, "TranslationDll", path ? path : U(""))) return koFailure;
    if (!appendRow(info, "TranslationOption", U(optionText))) return koFailure;
    return koSuccess;
}

KoStatus BaseGetTranslator(HWND owner, DSNInfoStruct* info) {
    // The dialog starts at the data source's current choice.
    unsigned char name[64] = "";
    unsigned char path[256] = "";
    const unsigned char* file = U(profileName ? profileName : "ODBC.INI");
    // An empty section would read the list of the file's sections: a new data source has no choice.
    if (info->origDSN && info->origDSN[0]) {
        ntGetProfileString(info->origDSN, U("TranslationName"), U(""), name, sizeof name, file, 0);
        ntGetProfileString(info->origDSN, U("TranslationDll"), U(""), path, sizeof path, file, 0);
    }
    WORD nameLength = 0, pathLength = 0;
    DWORD option = 0;
    if (!SQLGetTranslator(owner, reinterpret_cast<LPSTR>(name), sizeof name - 1, &nameLength,
                          reinterpret_cast<LPSTR>(path), sizeof path - 1, &pathLength, &option))
        return koSuccess; // cancelled, or an installer without the dialog: nothing changes
    // The buffers' last bytes are never handed out, so the texts always end within them.
    name[sizeof name - 1] = 0;
    path[sizeof path - 1] = 0;
    if (pathLength == 0) {
        // No translator: the choice is stored as empty texts and option 0.
        name[0] = 0;
        path[0] = 0;
        option = 0;
    }
    if (koAppendTranslatorRows(info, name, path, option) == koSuccess) return koSuccess;
    // The choice is lost: the page tells the user why.
    KoErrorKeeper::addMemoryError();
    return koFailure;
}
