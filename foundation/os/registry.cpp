// Registry-backed profile strings: routing a file name, reads with their lists, writes and deletions.
#include "foundation/os/registry.h"
#include "foundation/os/callmapper.h"
#include "platform/win32.h"

#include <cstring>

namespace {

const char kListedNames[] = "ODBC.INI ODBCINST.INI CONTROL.INI PELMORA.INI PELMINST.INI TLZEPH7.INI "
                            "KOLIB.INI KESTRUNE.INI VELORIN.INI";

struct ProfileRow {
    HKEY root;
    const char* keyPath;
};
// In the order of the listed names.
const ProfileRow kRows[] = {
    {HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBCINST.INI\\"},
    {HKEY_CURRENT_USER, "Control Panel\\"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Kestrune\\PELMORA.INI\\"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune\\PELMINST.INI\\"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Kestrune\\TLZEPH7.INI\\"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Kestrune\\KOLIB.INI\\"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune\\"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Velorin\\"},
};

const uint32_t kKeyPathSize = 512;
const uint32_t kValueSize = 2048;
const uint32_t kListSize = 2048;
const uint32_t kScratchSize = 512;
const uint32_t kClassSize = 80;

enum class Route { windows, installerFirst, registry };

struct Target {
    Route route = Route::windows;
    HKEY root = nullptr;
    char keyPath[kKeyPathSize] = "";
};

const char* C(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

bool empty(const unsigned char* s) {
    return !s || !*s;
}

// The row of a last name component: a case-sensitive search in the list that counts only where a
// listed name begins (so "CONTROL" selects CONTROL.INI and "INST.INI" nothing).
int rowOf(const char* component) {
    if (!*component || std::strchr(component, ' ')) return -1;
    for (const char* at = std::strstr(kListedNames, component); at; at = std::strstr(at + 1, component)) {
        if (at != kListedNames && at[-1] != ' ') continue;
        int row = 0;
        for (const char* p = kListedNames; p < at; ++p)
            row += *p == ' ';
        return row;
    }
    return -1;
}

Target route(const unsigned char* fileName, int allowRegistryPath) {
    Target t;
    if (empty(fileName)) return t;
    const char* name = C(fileName);
    // Windows names split at a backslash, ours at a slash: either ends the folder part.
    const char* last = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') last = p + 1;
    int row = rowOf(last);
    if (row >= 0) {
        t.route = row == 0 ? Route::installerFirst : Route::registry;
        t.root = kRows[row].root;
        std::strcpy(t.keyPath, kRows[row].keyPath);
        return t;
    }
    const char* slash = std::strchr(name, '\\');
    if (!allowRegistryPath || !slash) return t;
    if (std::strncmp(name, "HKEY_LOCAL_MACHINE", 18) == 0)
        t.root = HKEY_LOCAL_MACHINE;
    else if (std::strncmp(name, "HKEY_CURRENT_USER", 17) == 0)
        t.root = HKEY_CURRENT_USER;
    else
        return t;
    size_t length = std::strlen(slash + 1);
    // A path given without its closing backslash still names the key the section goes under.
    bool addSeparator = length > 0 && slash[length] != '\\';
    if (length + addSeparator >= kKeyPathSize) return t;
    std::memcpy(t.keyPath, slash + 1, length + 1);
    if (addSeparator) std::strcat(t.keyPath, "\\");
    t.route = Route::registry;
    return t;
}

// The key path with the section appended; false when it does not fit, so that a long section name
// never reaches, cut short, another section's key.
bool sectionPath(const Target& t, const unsigned char* section, char* path) {
    size_t a = std::strlen(t.keyPath), b = std::strlen(C(section));
    if (a + b + 1 > kKeyPathSize) return false;
    std::memcpy(path, t.keyPath, a);
    std::memcpy(path + a, section, b + 1);
    return true;
}

uint32_t copyText(const char* text, unsigned char* buffer, uint32_t size) {
    uint32_t n = uint32_t(std::strlen(text));
    if (n > size - 1) n = size - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
    return n;
}

uint32_t copyDefault(const unsigned char* defaultValue, unsigned char* buffer, uint32_t size) {
    return copyText(defaultValue ? C(defaultValue) : "", buffer, size);
}

// Copies a built list of length bytes (each name NUL-terminated; the final NUL not counted) and
// returns what the buffer really holds: the length, or size - 2 when it had to be cut.
uint32_t copyList(const char* list, uint32_t length, unsigned char* buffer, uint32_t size) {
    if (length + 1 <= size) {
        std::memcpy(buffer, list, length);
        buffer[length] = 0;
        return length;
    }
    std::memcpy(buffer, list, size);
    buffer[size - 1] = 0;
    if (size < 2) return 0;
    buffer[size - 2] = 0;
    return size - 2;
}

uint32_t readValue(HKEY root, const char* path, const unsigned char* key, const unsigned char* defaultValue,
                   unsigned char* buffer, uint32_t size) {
    HKEY h;
    char value[kValueSize + 1];
    bool found = false;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &h) == ERROR_SUCCESS) {
        DWORD length = kValueSize;
        DWORD type;
        if (RegQueryValueExA(h, C(key), nullptr, &type, reinterpret_cast<BYTE*>(value), &length) ==
            ERROR_SUCCESS) {
            value[length] = 0; // whatever the type, the data is taken as text
            found = true;
        }
        RegCloseKey(h);
    }
    return found ? copyText(value, buffer, size) : copyDefault(defaultValue, buffer, size);
}

// Names of a key's values (values) or subkeys, with the room checks of a 2048-byte list; false when
// the key does not open or has nothing to list.
bool listNames(HKEY root, const char* path, bool values, char* list, uint32_t* length) {
    HKEY h;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    uint32_t offset = 0;
    DWORD index = 0;
    for (;; ++index) {
        char name[kListSize];
        DWORD nameLength = sizeof name;
        DWORD dataSize = 0;
        LONG r;
        if (values) {
            r = RegEnumValueA(h, index, name, &nameLength, nullptr, nullptr, nullptr, &dataSize);
        } else {
            char keyClass[kClassSize];
            DWORD classLength = sizeof keyClass;
            r = RegEnumKeyExA(h, index, name, &nameLength, nullptr, keyClass, &classLength, nullptr);
        }
        if (r != ERROR_SUCCESS) {
            break;
        }
        // A value's data counts against the room as if read into the scratch area.
        uint32_t need =
            offset + nameLength + (values ? (dataSize < kScratchSize ? dataSize : kScratchSize) + 2 : 1);
        if (need >= kListSize) break; // overflow: the list keeps the names that had room
        std::memcpy(list + offset, name, nameLength + 1);
        offset += nameLength + 1;
    }
    RegCloseKey(h);
    list[offset] = 0;
    *length = offset;
    return index > 0;
}

// Deletes a key with its subkeys. A subkey that cannot be deleted stops the deletion there: going on
// would loop on the same first subkey for ever, and what is left is reported rather than hidden.
bool deleteTree(HKEY parent, const char* name) {
    HKEY h;
    LONG r = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &h);
    if (r != ERROR_SUCCESS) return r == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    for (;;) {
        char sub[kKeyPathSize];
        char keyClass[kClassSize];
        DWORD subLength = sizeof sub, classLength = sizeof keyClass;
        r = RegEnumKeyExA(h, 0, sub, &subLength, nullptr, keyClass, &classLength, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || !deleteTree(h, sub)) {
            ok = false;
            break;
        }
    }
    RegCloseKey(h);
    return ok && RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

} // namespace

uint32_t ntGetProfileString(const unsigned char* section, const unsigned char* key,
                            const unsigned char* defaultValue, unsigned char* buffer, uint32_t size,
                            const unsigned char* fileName, int allowRegistryPath) {
    if (!buffer || size == 0) return 0;
    Target t = route(fileName, allowRegistryPath);
    if (t.route == Route::windows)
        return GetPrivateProfileStringA(C(section), C(key), C(defaultValue), reinterpret_cast<char*>(buffer),
                                        size, C(fileName));
    if (t.route == Route::installerFirst) {
        loadOdbcInst();
        if (KoGetPrivateProfileStringFn get = koBoundGetPrivateProfileString()) {
            // A single byte holds only the terminator, whatever the installer would make of it.
            if (size == 1) {
                buffer[0] = 0;
                return 0;
            }
            int n = get(C(section), C(key), C(defaultValue), reinterpret_cast<char*>(buffer),
                        size > 0x7fffffffu ? 0x7fffffff : int(size), "ODBC.INI");
            return n < 0 ? 0 : uint32_t(n);
        }
    }
    char list[kListSize + 1];
    uint32_t length = 0;
    if (empty(section)) {
        if (!listNames(t.root, t.keyPath, false, list, &length))
            return copyDefault(defaultValue, buffer, size);
        return copyList(list, length, buffer, size);
    }
    char path[kKeyPathSize];
    if (!sectionPath(t, section, path)) return copyDefault(defaultValue, buffer, size);
    if (!empty(key)) return readValue(t.root, path, key, defaultValue, buffer, size);
    if (!listNames(t.root, path, true, list, &length)) return copyDefault(defaultValue, buffer, size);
    return copyList(list, length, buffer, size);
}

KoStatus ntWriteProfileString(const unsigned char* section, const unsigned char* key,
                              const unsigned char* value, const unsigned char* fileName,
                              int allowRegistryPath) {
    // No section and no key is the profile cache's flush: there is nothing to delete. Taken as a
    // section deletion it would remove the whole key path, every section of the file.
    if (empty(section) && empty(key)) return koSuccess;
    if (empty(section)) return koFailure; // an entry needs a section
    Target t = route(fileName, allowRegistryPath);
    if (t.route == Route::windows)
        return WritePrivateProfileStringA(C(section), C(key), C(value), C(fileName)) ? koSuccess : koFailure;
    if (t.route == Route::installerFirst) {
        loadOdbcInst();
        if (KoWritePrivateProfileStringFn write = koBoundWritePrivateProfileString())
            return write(C(section), C(key), C(value), "ODBC.INI") ? koSuccess : koFailure;
    }
    if (empty(key)) {
        if (std::strlen(t.keyPath) + std::strlen(C(section)) + 1 > kKeyPathSize) return koFailure;
        HKEY h;
        LONG r = RegOpenKeyExA(t.root, t.keyPath, 0, KEY_ALL_ACCESS, &h);
        if (r == ERROR_FILE_NOT_FOUND) return koSuccess;
        if (r != ERROR_SUCCESS) return koFailure;
        bool ok = deleteTree(h, C(section));
        RegCloseKey(h);
        return ok ? koSuccess : koFailure;
    }
    char path[kKeyPathSize];
    if (!sectionPath(t, section, path)) return koFailure;
    HKEY h;
    if (!empty(value)) {
        char keyClass[] = "REG_SZ";
        if (RegCreateKeyExA(t.root, path, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &h,
                            nullptr) != ERROR_SUCCESS)
            return koFailure;
        LONG r = RegSetValueExA(h, C(key), 0, REG_SZ, value, DWORD(std::strlen(C(value)) + 1));
        RegCloseKey(h);
        return r == ERROR_SUCCESS ? koSuccess : koFailure;
    }
    LONG r = RegOpenKeyExA(t.root, path, 0, KEY_ALL_ACCESS, &h);
    if (r == ERROR_FILE_NOT_FOUND) return koSuccess;
    if (r != ERROR_SUCCESS) return koFailure;
    r = RegDeleteValueA(h, C(key));
    RegCloseKey(h);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? koSuccess : koFailure;
}
