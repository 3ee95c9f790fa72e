// unixODBC's generic data-source editors ask the setup library for the driver's attributes through
// ODBCINSTGetProperties and free what it returns with ODBCINSTDestructProperties. The list is built
// from the same attribute table as a setup request, so the two never disagree.
#include <odbcinstext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "setup/setup.h"

namespace {

const char* str(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

// What the table cannot say: a short help text per attribute, and which edit names a file.
struct AttributeHelp {
    const char* keyword;
    const char* help;
    bool fileName;
};
const AttributeHelp helpTexts[] = {
    {"Database", "Directory of the Btrieve data files and their data dictionary.", true},
    {"UndefinedTable", "PROMPT asks for a table's definition when the dictionary lacks it; ERROR fails.",
     false},
    {"DataFileExtension", "Extension of data files created through the driver, without the dot.", false},
    {"FileOpenCache", "How many data files the driver keeps open between uses.", false},
    {"UseLongQualifiers", "1 lets table names carry a full path as their qualifier.", false},
    {"LogonID", "User name for data files secured by owner names.", false},
    {"IntlSort", "1 sorts text by the language's rules instead of by byte value.", false},
    {"ArraySize", "Bytes the driver fetches ahead in one call.", false},
    {"ApplicationUsingThreads", "1 when the application calls the driver from several threads.", false},
};

const AttributeHelp* helpFor(const char* keyword) {
    for (const AttributeHelp& h : helpTexts)
        if (std::strcmp(h.keyword, keyword) == 0) return &h;
    return nullptr;
}

const char* const yesNo[] = {"0", "1", nullptr};

// ODBCINSTDestructProperties frees each property, its prompt array and its help with free(): they
// are allocated with the C library's allocator, not the library's own.
HODBCINSTPROPERTY newProperty(const char* name, const char* value, int promptType) {
    auto* p = static_cast<HODBCINSTPROPERTY>(std::calloc(1, sizeof(ODBCINSTPROPERTY)));
    if (!p) return nullptr;
    std::snprintf(p->szName, sizeof p->szName, "%s", name);
    std::snprintf(p->szValue, sizeof p->szValue, "%s", value);
    p->nPromptType = promptType;
    return p;
}

// A prompt array of the given values; the strings themselves are never freed by the caller.
char** promptData(const char* const* values, size_t count) {
    auto** data = static_cast<char**>(std::calloc(count + 1, sizeof(char*)));
    if (!data) return nullptr;
    for (size_t i = 0; i < count; ++i)
        data[i] = const_cast<char*>(values[i]);
    return data;
}

char* helpText(const char* text, uint16_t limit) {
    char buffer[256];
    if (limit)
        std::snprintf(buffer, sizeof buffer, "%s At most %u characters.", text ? text : "", limit);
    else
        std::snprintf(buffer, sizeof buffer, "%s", text ? text : "");
    size_t n = std::strlen(buffer);
    if (n == 0) return nullptr;
    auto* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy) std::memcpy(copy, buffer, n + 1);
    return copy;
}

// One property for the attribute of table row `row` (a radio group's rows make one list).
HODBCINSTPROPERTY propertyOfRow(uint16_t row) {
    const SetupInfo& info = setupInfoTable[row];
    const char* keyword = str(info.keyword);
    const AttributeHelp* help = helpFor(keyword);
    HODBCINSTPROPERTY p = nullptr;
    char** data = nullptr;
    switch (info.controlType) {
    case controlRadio: {
        const char* values[16];
        size_t n = 0;
        for (uint16_t r = row; r < setupInfoTableCount && n < 15; ++r)
            if (setupInfoTable[r].controlType == controlRadio &&
                std::strcmp(str(setupInfoTable[r].keyword), keyword) == 0)
                values[n++] = str(setupInfoTable[r].controlValue);
        p = newProperty(keyword, str(info.defaultValue), ODBCINST_PROMPTTYPE_LISTBOX);
        data = p ? promptData(values, n) : nullptr;
        break;
    }
    case controlCheck:
        p = newProperty(keyword, str(info.defaultValue), ODBCINST_PROMPTTYPE_LISTBOX);
        data = p ? promptData(yesNo, 2) : nullptr;
        break;
    case controlPassword:
        p = newProperty(keyword, str(info.defaultValue), ODBCINST_PROMPTTYPE_TEXTEDIT_PASSWORD);
        break;
    default:
        p = newProperty(keyword, str(info.defaultValue),
                        help && help->fileName ? ODBCINST_PROMPTTYPE_FILENAME : ODBCINST_PROMPTTYPE_TEXTEDIT);
        break;
    }
    if (!p) return nullptr;
    if ((info.controlType == controlRadio || info.controlType == controlCheck) && !data) {
        std::free(p);
        return nullptr;
    }
    p->aPromptData = data;
    p->pszHelp = helpText(help ? help->help : nullptr, info.controlType == controlEdit ? info.maxLength : 0);
    return p;
}

bool seenBefore(uint16_t row) {
    for (uint16_t r = 0; r < row; ++r)
        if (std::strcmp(str(setupInfoTable[r].keyword), str(setupInfoTable[row].keyword)) == 0) return true;
    return false;
}

} // namespace

// Appends the driver's attributes after hLastProperty (unixODBC has already made "Name",
// "Description" and "Driver"). On lack of memory the list ends where it could; the caller frees it.
extern "C" KO_EXPORT int INSTAPI ODBCINSTGetProperties(HODBCINSTPROPERTY hLastProperty) {
    if (!hLastProperty) return ODBCINST_ERROR;
    while (hLastProperty->pNext)
        hLastProperty = hLastProperty->pNext;
    for (uint16_t row = 0; row < setupInfoTableCount; ++row) {
        const char* keyword = str(setupInfoTable[row].keyword);
        if (seenBefore(row) || std::strcmp(keyword, "Description") == 0) continue;
        HODBCINSTPROPERTY p = propertyOfRow(row);
        if (!p) return ODBCINST_ERROR;
        p->hDLL = hLastProperty->hDLL;
        hLastProperty->pNext = p;
        hLastProperty = p;
    }
    return ODBCINST_SUCCESS;
}
