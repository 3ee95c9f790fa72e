#pragma once
// The setup module's exported functions and types: the installer's ConfigDSN entry, the per-request
// data-source record over the setup attribute table, and the accessors the pages use.
#include <atomic>
#include <cstdint>
#include "foundation/foundation.h"
#include "platform/types.h"

class KoErrorList;
class KoPropertySheet;

// Control type codes of an attribute row: how its control shows, saves and writes the value.
enum SetupControlType : uint32_t {
    controlEdit = 0,
    controlRadio = 1,
    controlCheck = 2,
    controlComboFixed = 3,
    controlComboFilled = 4,
    controlNone = 5,
    controlPassword = 6,
};

// One row of the setup attribute table.
struct KO_EXPORT SetupInfo {
    const unsigned char* keyword;      // keyword in the attribute list and in the profile
    uint16_t controlId;                // dialog control that shows the attribute
    uint32_t controlType;              // SetupControlType
    const unsigned char* controlValue; // radio: its value; filled combo: the entries; check box: "1"
    const unsigned char* defaultValue; // when neither the list nor the profile gives one
    uint16_t maxLength;                // text limit of an edit control
    const unsigned char* abbreviation; // short keyword of the attribute list; "" for none
    uint32_t flagOne;
    uint32_t flagTwo;
};

// The driver's eleven attributes, in the order every operation visits them.
KO_EXPORT extern const SetupInfo setupInfoTable[];
KO_EXPORT extern const uint16_t setupInfoTableCount;

// The About page's icon animation, shared by the page's thread and the animation thread: the page
// fills it before it starts the thread, and afterwards writes only stop, which the thread reads once
// per frame.
struct KO_EXPORT KoAboutDlgAnimate {
    HINSTANCE instance = nullptr; // where the icons are loaded from: the resource library
    HWND window = nullptr;        // the About page, drawn into
    HANDLE thread = nullptr;      // the animation thread while it runs
    std::atomic<int> stop{0};     // 1: end at the next frame
    uint16_t icon1 = 601;         // the reel's icons, top to bottom
    uint16_t icon2 = 602;
    uint16_t icon3 = 603;
    uint16_t icon4 = 604;
};

// The record of one setup request.
struct KO_EXPORT DSNInfoStruct {
    enum Flags : uint32_t { ownsPerTaskRef = 1, ownsErrorList = 2, ownsSetupInfo = 8, ownsAttrList = 16 };

    HWND hwnd;                       // parent window; none for none or the desktop
    int16_t request;                 // ODBC_ADD_DSN, ODBC_CONFIG_DSN, ODBC_REMOVE_DSN
    const unsigned char* driverDesc; // not owned
    const unsigned char* attrList;   // double-NUL-terminated; owned with ownsAttrList
    const SetupInfo* setupInfo;      // owned with ownsSetupInfo
    uint16_t setupInfoCount;
    unsigned char** infoArray;  // current value of each row; a slot may hold none
    unsigned char* origDSN;     // the name the request gave, or ""
    unsigned char* dsnName;     // the name to write
    KoPropertySheet* propSheet; // the running sheet, not owned
    KoAboutDlgAnimate aboutAnimate;
    KoErrorList* errorList; // the request's error list
    uint32_t flags;

    DSNInfoStruct(HWND hwnd, uint16_t request, const unsigned char* driverDesc, const unsigned char* attrList,
                  const SetupInfo* setupInfo, uint16_t setupInfoCount);
    ~DSNInfoStruct();
    DSNInfoStruct(const DSNInfoStruct&) = delete;
    DSNInfoStruct& operator=(const DSNInfoStruct&) = delete;

    // Gives every row its value (list, profile, default), then removes or writes the data source
    // when no dialog is to run. Nonzero on success; *showDialog is then 1 when the sheet is to run.
    unsigned int config(uint16_t* showDialog);
};

// Writes the data source and every row that holds a value into "ODBC.INI"; 1 on success.
KO_EXPORT unsigned int SetDSNAttributes(DSNInfoStruct* info);
// The installer's error code (ODBC_ERROR_*) that a request's library error is reported under.
KO_EXPORT unsigned int koInstallerErrorCode(uint16_t number);
// Current value of the first row shown by controlId, or null.
KO_EXPORT const unsigned char* BaseGetInfoValue(DSNInfoStruct* info, uint16_t controlId);
// Gives the first row shown by controlId an owned copy of value; 1 when no row matches or the copy fails.
KO_EXPORT KoStatus BaseSetInfoValue(DSNInfoStruct* info, uint16_t controlId, const unsigned char* value);

// Fills the page's controls from the record: every row whose control is on the page, the name (401)
// and the description (402); 1 when memory runs out.
KO_EXPORT KoStatus BaseInitSetupDialog(HWND page, DSNInfoStruct* info);
// Reads the page's controls back into the record; rows of controls the page lacks keep their values.
// 1 when memory runs out (rows done keep their new values, the failing row's slot is empty).
KO_EXPORT KoStatus BaseSaveToInfoArray(HWND page, DSNInfoStruct* info);
// Saves the page and writes the data source; an empty or invalid name is refused with a message box.
// 0 when the data source was written.
KO_EXPORT KoStatus BaseWriteValuesToIni(HWND page, DSNInfoStruct* info);

// Binds the driver library's file definer for the Advanced page.
class KO_EXPORT DefinerCallMapper : public UtlLibCallMapper {
public:
    DefinerCallMapper();
    // Derives the driver library's name from the resource library's and binds "BringUpDefiner".
    KoStatus bindDefiner();
    // The definer, or null when it is not available.
    FARPROC getDefiner();

    int definerAvailable;
};

// Module globals: one setup request at a time per process.
KO_EXPORT extern HINSTANCE moduleInstance;
KO_EXPORT extern const char* profileName;
KO_EXPORT extern DefinerCallMapper* activeCallMapper;

// Runs the property sheet over the record (the dialog branch of ConfigDSN); TRUE when the user saved.
BOOL koRunSetupSheet(DSNInfoStruct* info);

// Process attach and detach of the module; attach fails (0) when the library cannot be set up.
KO_EXPORT int koSetupAttach(HINSTANCE instance);
KO_EXPORT void koSetupDetach();
// 1 between a successful attach and the detach.
KO_EXPORT int koSetupIsAttached();
#include "setup/testconn.h"
#include "setup/pages.h"
