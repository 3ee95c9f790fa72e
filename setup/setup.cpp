// The per-request data-source record: filling every attribute row and writing the data source.
#include "setup/setup.h"
#include "platform/win32.h"

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

// Length of the installer's list: the offset of its closing double NUL, looked for in the first
// 2048 bytes; a list without one there is taken as 2048 bytes long.
uint32_t measureList(const unsigned char* list) {
    for (uint32_t i = 0; i < 2048; ++i)
        if (list[i] == 0 && list[i + 1] == 0) return i;
    return 2048;
}

const unsigned char* findByte(const unsigned char* p, const unsigned char* end, unsigned char c) {
    const void* hit = std::memchr(p, c, end - p);
    return hit ? static_cast<const unsigned char*>(hit) : end;
}

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

    uint32_t length = measureList(attrList);
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
    KoSubString text(list, length, koCPAnsi);
    KoValueParser* parser = new KoValueParser(&text, 0, nullptr, 0);
    do {
        if (!parser || parser->initialize()) break;

        const KoSubString* dsn = parser->getAttributeValue(U("DSN"));
        origDSN = dsn ? ramAllocStr(dsn->text, dsn->length) : ramAllocStr(U(""));
        dsnName = dsn ? ramAllocStr(dsn->text, dsn->length) : ramAllocStr(U(""));
        if (!origDSN || !dsnName) break;

        bool filled = true;
        for (uint16_t i = 0; i < setupInfoCount && filled; ++i) {
            const SetupInfo& row = setupInfo[i];
            const KoSubString* value = parser->getAttributeValue(row.keyword);
            if (!value && row.abbreviation && row.abbreviation[0])
                value = parser->getAttributeValue(row.abbreviation);
            if (value) {
                infoArray[i] = ramAllocStr(value->text, value->length);
            } else {
                char buffer[256];
                buffer[0] = 0;
                int n = SQLGetPrivateProfileString(str(dsnName), str(row.keyword), str(row.defaultValue),
                                                   buffer, 255, "ODBC.INI");
                if (n < 1 || buffer[0] == 0) {
                    std::strncpy(buffer, str(row.defaultValue), 255);
                    buffer[255] = 0;
                }
                infoArray[i] = ramAllocStr(U(buffer));
            }
            filled = infoArray[i] != nullptr;
        }
        if (!filled) break;

        if (request == ODBC_REMOVE_DSN) {
            *showDialog = 0;
            result = SQLRemoveDSNFromIni(str(dsnName)) ? 1 : 0;
        } else if (hwnd && IsWindow(hwnd)) {
            *showDialog = 1;
            if (hwnd == GetDesktopWindow()) hwnd = nullptr;
            result = 1;
        } else {
            *showDialog = 0;
            result = SetDSNAttributes(this);
        }
    } while (false);

    ramFree(listCopy);
    delete parser;
    return result;
}

unsigned int SetDSNAttributes(DSNInfoStruct* info) {
    if (!info->dsnName || !info->dsnName[0]) return 0;
    if (!SQLValidDSN(str(info->dsnName))) return 0;
    if (info->origDSN && info->origDSN[0] && strCompareCi(info->dsnName, info->origDSN) != 0) {
        if (!SQLRemoveDSNFromIni(str(info->origDSN))) return 0;
    }
    if (!SQLWriteDSNToIni(str(info->dsnName), str(info->driverDesc))) return 0;

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
            if (!stored) return 0;
            koPasswordToProfile(stored, value, len);
            ramFree(value);
            info->infoArray[i] = value = stored;
        }
        if (!SQLWritePrivateProfileString(str(info->dsnName), str(row.keyword), str(value), "ODBC.INI"))
            return 0;
    }
    return 1;
}
