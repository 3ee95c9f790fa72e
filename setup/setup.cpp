// The per-request data-source record: filling every attribute row and writing the data source.
#include "setup/setup.h"
#include "foundation/errors/koerrnum.h"
#include "platform/win32.h"
#include "setup/dsncheck.h"
#include "setup/keptentries.h"
#include "setup/profilefile.h"

#include <cstring>

#define U(s) reinterpret_cast<const unsigned char*>(s)

const SetupInfo setupInfoTable[] = {
    {U("Description"), 402, controlEdit, U(""), U(""), 80, U(""), 0, 1},
    {U("Database"), 300, controlEdit, U(""), U(""), 127, U("DB"), 1, 1},
    {U("UndefinedTable"), 304, controlRadio, U("PROMPT"), U("PROMPT"), 0, U("UT"), 1, 1},
    {U("UndefinedTable"), 305, controlRadio, U("ERROR"), U("PROMPT"), 0, U("UT"), 1, 1},
    {U("DataFileExtension"), 313, controlEdit, U(""), U("DTA"), 3, U("DFE"), 1, 1},
    {U("FileOpenCache"), 301, controlEdit, U(""), U("0"), 5, U("FOC"), 1, 1},
    {U("UseLongQualifiers"), 315, controlCheck, U("1"), U("0"), 0, U("ULQ"), 1, 1},
    {U("LogonID"), 303, controlEdit, U(""), U(""), 32, U("UID"), 1, 1},
    {U("IntlSort"), 307, controlCheck, U("1"), U("0"), 0, U("IS"), 1, 1},
    {U("ArraySize"), 311, controlEdit, U(""), U("4096"), 5, U("AS"), 1, 1},
    {U("ApplicationUsingThreads"), 314, controlCheck, U("1"), U("1"), 0, U("AUT"), 1, 1},
};
const uint16_t setupInfoTableCount = sizeof setupInfoTable / sizeof setupInfoTable[0];

namespace {

const char* str(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

const uint32_t kListMax = 2048;

// Length of the installer's list: the offset of its closing double NUL, which must lie within the
// first 2048 bytes. A longer list is refused (false) rather than read in part: cutting it would drop
// attributes and store a value cut in the middle.
bool measureList(const unsigned char* list, uint32_t* length) {
    for (uint32_t i = 0; i < kListMax; ++i) {
        if (list[i] == 0 && list[i + 1] == 0) {
            *length = i;
            return true;
        }
    }
    // Byte 2048 was read above; only when it ends an entry may the next one be the closing NUL.
    if (list[kListMax] == 0 && list[kListMax + 1] == 0) {
        *length = kListMax;
        return true;
    }
    koRaiseError(koErrSetupListTooLong);
    return false;
}

// The file the messages name: the installer's data-source file, else the profile's own name.
struct ProfileName {
    char text[4096];
    ProfileName() {
        if (!koProfileFilePath(text, sizeof text)) std::strcpy(text, "ODBC.INI");
    }
    const unsigned char* get() const { return U(text); }
};

const unsigned char* findByte(const unsigned char* p, const unsigned char* end, unsigned char c) {
    const void* hit = std::memchr(p, c, end - p);
    return hit ? static_cast<const unsigned char*>(hit) : end;
}

unsigned int removeDataSource(const unsigned char* name);

} // namespace

DSNInfoStruct::DSNInfoStruct(HWND hwnd_, uint16_t request_, const unsigned char* driverDesc_,
                             const unsigned char* attrList_, const SetupInfo* setupInfo_, uint16_t count_)
    : hwnd(hwnd_), request(static_cast<int16_t>(request_)), driverDesc(driverDesc_), attrList(attrList_),
      setupInfo(setupInfo_), setupInfoCount(count_), infoArray(nullptr), origDSN(nullptr), dsnName(nullptr),
      propSheet(nullptr), errorList(nullptr), flags(0) {}

DSNInfoStruct::~DSNInfoStruct() {
    ramFree(origDSN);
    ramFree(dsnName);
    if (infoArray) {
        for (uint16_t i = 0; i < setupInfoCount; ++i)
            ramFree(infoArray[i]);
        ramFree(infoArray);
    }
    if (flags & ownsSetupInfo) {
        for (uint16_t i = 0; i < setupInfoCount; ++i) {
            ramFree(setupInfo[i].keyword);
            ramFree(setupInfo[i].abbreviation);
            ramFree(setupInfo[i].controlValue);
            ramFree(setupInfo[i].defaultValue);
        }
        ramFree(setupInfo);
    }
    if (flags & ownsAttrList) ramFree(attrList);
    if (flags & ownsErrorList) {
        // Errors of a request never reach the caller's own list.
        errorList->clearMemoryError();
        KoErrorKeeper::giveUpErrorList();
        delete errorList;
    }
    if (flags & ownsPerTaskRef) mdsPerTaskTerm();
}

unsigned int DSNInfoStruct::config(uint16_t* showDialog) {
    if (!mdsPerTaskInit()) return 0;
    flags |= ownsPerTaskRef;

    if (!attrList) {
        unsigned char* empty = static_cast<unsigned char*>(ramAllocZ(2));
        if (!empty) return 0;
        attrList = empty;
        flags |= ownsAttrList;
    }

    errorList = new KoErrorList(nullptr, 1);
    if (!errorList) return 0;
    KoErrorKeeper::setErrorList(errorList);
    flags |= ownsErrorList;

    infoArray = static_cast<unsigned char**>(ramAllocZ(setupInfoCount * sizeof(unsigned char*)));
    if (!infoArray) return 0;

    uint32_t length = 0;
    if (!measureList(attrList, &length)) return 0;
    const unsigned char* list = attrList;
    unsigned char* listCopy = nullptr;

    // Some installers pass "(description)" as the second entry of a configure or remove request;
    // it is no attribute and is dropped.
    if (request == ODBC_CONFIG_DSN || request == ODBC_REMOVE_DSN) {
        const unsigned char* end = list + length;
        const unsigned char* firstEnd = findByte(list, end, 0);
        if (firstEnd < end) {
            const unsigned char* second = firstEnd + 1;
            const unsigned char* secondEnd = findByte(second, end, 0);
            uint32_t secondLength = static_cast<uint32_t>(secondEnd - second);
            if (secondLength && second[0] == '(' &&
                second[koCharLast(second, secondLength, koCPAnsi)] == ')') {
                listCopy = static_cast<unsigned char*>(ramAlloc(length + 2));
                if (!listCopy) return 0;
                // The first entry, then everything from the NUL that ends the second.
                uint32_t head = static_cast<uint32_t>(firstEnd - list);
                uint32_t tail = static_cast<uint32_t>(end - secondEnd);
                std::memcpy(listCopy, list, head);
                std::memcpy(listCopy + head, secondEnd, tail);
                length -= secondLength + 1;
                listCopy[length] = 0;
                listCopy[length + 1] = 0;
                list = listCopy;
            }
        }
    }

    unsigned int result = 0;
    // A request without a dialog reads and writes the profile in one go: no other request may
    // change it in between. The dialog's write takes the lock itself.
    KoProfileLock lock;
    bool dialog = request != ODBC_REMOVE_DSN && hwnd && IsWindow(hwnd);
    KoSubString text(list, length, koCPAnsi);
    KoValueParser* parser = new KoValueParser(&text, 0, nullptr, 0);
    // The parser and the list copy go back on every way out, a failure thrown by the profile layer's
    // allocations included (ConfigDSN turns that into an out-of-memory result).
    struct Release {
        KoValueParser*& parser;
        unsigned char*& listCopy;
        ~Release() {
            delete parser;
            ramFree(listCopy);
        }
    } release{parser, listCopy};
    do {
        if (!parser || koCheckListLineBreaks(list, length) || parser->initialize()) break;

        const KoSubString* dsn = parser->getAttributeValue(U("DSN"));
        origDSN = dsn ? ramAllocStr(dsn->text, dsn->length) : ramAllocStr(U(""));
        dsnName = dsn ? ramAllocStr(dsn->text, dsn->length) : ramAllocStr(U(""));
        if (!origDSN || !dsnName) break;
        // A name that could break the file, or that names one of the driver manager's own sections,
        // is refused whatever the request; a removal may name what the installer would not accept.
        if (dsnName[0] && koCheckDataSourceName(dsnName, 0)) break;
        if (!dialog && lock.acquire()) break;

        bool filled = true;
        for (uint16_t i = 0; i < setupInfoCount && filled; ++i) {
            const SetupInfo& row = setupInfo[i];
            const KoSubString* value = parser->getAttributeValue(row.keyword);
            if (!value && row.abbreviation && row.abbreviation[0])
                value = parser->getAttributeValue(row.abbreviation);
            if (value) {
                infoArray[i] = ramAllocStr(value->text, value->length);
            } else {
                // Read whole: a value that is kept must not come back cut.
                infoArray[i] = koReadProfileValue(dsnName, row.keyword, row.defaultValue);
            }
            filled = infoArray[i] != nullptr;
        }
        if (!filled) break;

        if (request == ODBC_REMOVE_DSN) {
            *showDialog = 0;
            result = removeDataSource(dsnName);
        } else if (dialog) {
            *showDialog = 1;
            if (hwnd == GetDesktopWindow()) hwnd = nullptr;
            result = 1;
        } else {
            *showDialog = 0;
            result = SetDSNAttributes(this);
        }
    } while (false);
    return result;
}

namespace {

// Makes every value that holds one ready to store: the number of a "2 - Medium" combo value, the
// scrambled form of a password. 0 when memory runs out.
bool prepareValues(DSNInfoStruct* info) {
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        unsigned char* value = info->infoArray[i];
        if (!value) continue;
        const SetupInfo& row = info->setupInfo[i];
        if (row.controlType == controlComboFixed || row.controlType == controlComboFilled) {
            // "2 - Medium" is stored as its number.
            if (value[0] >= '0' && value[0] <= '9') {
                unsigned char* digitsEnd = value;
                while (*digitsEnd >= '0' && *digitsEnd <= '9')
                    ++digitsEnd;
                const unsigned char* after = koSkipBlanks(digitsEnd, koCPAnsi);
                if (*after == '-') *digitsEnd = 0;
            }
        } else if (row.controlType == controlPassword && !koPasswordIsStored(value)) {
            // A stored form read back from the profile has lost its leading blank; it is recognised
            // by its tag, so it is never scrambled twice.
            // Scrambled, in a form that a text profile keeps intact and that starts with a blank.
            uint32_t len = static_cast<uint32_t>(std::strlen(str(value)));
            auto* stored = static_cast<unsigned char*>(ramAlloc(koPasswordStoredSize(len)));
            if (!stored) return false;
            koPasswordToProfile(stored, value, len);
            ramFree(value);
            info->infoArray[i] = stored;
        }
    }
    return true;
}

// The keyword of the first row, at or after row i, whose stored value differs from what was written
// (the last row of a keyword is the one that stands); null when everything landed.
const unsigned char* firstMismatch(DSNInfoStruct* info, bool* noMemory) {
    *noMemory = false;
    unsigned char* driver = koReadProfileValue(info->dsnName, U("Driver"), U(""));
    if (!driver) {
        *noMemory = true;
        return nullptr;
    }
    bool same = koSameStoredValue(info->driverDesc, driver);
    ramFree(driver);
    if (!same) return U("Driver");
    for (uint16_t i = 0; i < info->setupInfoCount; ++i) {
        const unsigned char* value = info->infoArray[i];
        if (!value) continue;
        const unsigned char* keyword = info->setupInfo[i].keyword;
        bool overwritten = false;
        for (uint16_t j = i + 1; j < info->setupInfoCount && !overwritten; ++j)
            overwritten = info->infoArray[j] && strCompareCi(info->setupInfo[j].keyword, keyword) == 0;
        if (overwritten) continue;
        unsigned char* stored = koReadProfileValue(info->dsnName, keyword, U(""));
        if (!stored) {
            *noMemory = true;
            return nullptr;
        }
        same = koSameStoredValue(value, stored);
        ramFree(stored);
        if (!same) return keyword;
    }
    return nullptr;
}

} // namespace

namespace {

// Removes a data source under the profile lock; a removal whose rewrite lost other data sources or
// left the section behind puts the file back. 1 on success.
unsigned int removeDataSource(const unsigned char* name) {
    KoProfileLock lock;
    if (lock.acquire()) return 0;
    KoProfileSnapshot snapshot;
    if (snapshot.take()) return 0;
    bool othersIntact = true, present = false;
    if (SQLRemoveDSNFromIni(str(name)) && !snapshot.compare(name, nullptr, &othersIntact, &present) &&
        othersIntact && !present)
        return 1;
    snapshot.restore();
    koRaiseError(koErrSetupRemoveFailed) << name << ProfileName().get();
    return 0;
}

} // namespace

unsigned int SetDSNAttributes(DSNInfoStruct* info) {
    if (!info->dsnName || koCheckDataSourceName(info->dsnName, 1)) return 0;
    if (!prepareValues(info)) return 0;
    // Every value is checked before the first write, so a refused one leaves the file untouched.
    for (uint16_t i = 0; i < info->setupInfoCount; ++i)
        if (info->infoArray[i] && koCheckProfileValue(info->setupInfo[i].keyword, info->infoArray[i]))
            return 0;

    KoProfileLock lock;
    if (lock.acquire()) return 0;
    KoProfileSnapshot snapshot;
    if (snapshot.take()) return 0;

    // From here on a failure puts the file back as it was and says why.
    bool renamed = info->origDSN && info->origDSN[0] && strCompareCi(info->dsnName, info->origDSN) != 0;
    const unsigned char* failedKey = nullptr;
    bool written = false;
    // The installer writes a section anew: entries of no row (a translator, another tool's switch)
    // are carried over, from the old name on a rename.
    KoKeptEntries kept;
    if (kept.collect(renamed ? info->origDSN : info->dsnName, info->setupInfo, info->setupInfoCount))
        return 0;
    do {
        if (renamed && !SQLRemoveDSNFromIni(str(info->origDSN))) break;
        if (!SQLWriteDSNToIni(str(info->dsnName), str(info->driverDesc))) break;
        if (!kept.restore(info->dsnName)) break;
        bool all = true;
        for (uint16_t i = 0; i < info->setupInfoCount && all; ++i) {
            const unsigned char* value = info->infoArray[i];
            if (value)
                all = SQLWritePrivateProfileString(str(info->dsnName), str(info->setupInfo[i].keyword),
                                                   str(value), "ODBC.INI");
        }
        if (!all) break;
        // The installer reports success even when the disk was full: read back what was written,
        // and check that the rewrite kept every other data source.
        bool noMemory = false, othersIntact = true, present = true;
        failedKey = firstMismatch(info, &noMemory);
        if (noMemory ||
            snapshot.compare(info->dsnName, renamed ? info->origDSN : nullptr, &othersIntact, &present))
            break;
        if (!failedKey && !othersIntact) failedKey = U("the other data sources");
        written = true;
    } while (false);

    if (written && !failedKey) return 1;
    snapshot.restore();
    ProfileName file;
    if (failedKey)
        koRaiseError(koErrSetupNotWritten) << info->dsnName << file.get() << failedKey;
    else
        koRaiseError(koErrSetupWriteFailed) << info->dsnName << file.get();
    return 0;
}

unsigned int koInstallerErrorCode(uint16_t number) {
    switch (number) {
    case koErrSyntax:
    case koErrSyntaxContext:
    case koErrDuplicate:
    case koErrBothSpellings:
    case koErrSetupListTooLong:
    case koErrSetupLineBreak:
    case koErrSetupValueTooLong:
        return ODBC_ERROR_INVALID_KEYWORD_VALUE;
    case koErrSetupNameInvalid:
    case koErrSetupNameEmpty:
    case koErrSetupNameReserved:
        return ODBC_ERROR_INVALID_NAME;
    case koErrSetupNoFolder:
    case koErrSetupNotWritable:
        return ODBC_ERROR_INVALID_PATH;
    case koErrSetupRemoveFailed:
        return ODBC_ERROR_REMOVE_DSN_FAILED;
    case koErrSetupNotWritten:
    case koErrSetupWriteFailed:
    case koErrSetupNoRoom:
    case koErrSetupNotRestored:
        return ODBC_ERROR_WRITING_SYSINFO_FAILED;
    default:
        return ODBC_ERROR_REQUEST_FAILED;
    }
}
