// The older registry calls and the tree deletion, over the main calls.
#include "platform/registry.h"
#include "platform/system.h"

#include <cstring>
#include <string>

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (!result) return LONG(ERROR_INVALID_PARAMETER);
    if (!subKey || !*subKey) {
        *result = key;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(key, subKey, 0, MAXIMUM_ALLOWED, result);
}

LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, result,
                           nullptr);
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size) {
    return RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
}

LONG RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD) {
    if (type != REG_SZ || !data) return LONG(ERROR_INVALID_PARAMETER);
    HKEY sub;
    LONG r = RegCreateKeyA(key, subKey, &sub);
    if (r != ERROR_SUCCESS) return r;
    r = RegSetValueExA(sub, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                       DWORD(std::strlen(data) + 1));
    RegCloseKey(sub);
    return r;
}

LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, LONG* size) {
    HKEY sub = key;
    if (subKey && *subKey) {
        LONG r = RegOpenKeyExA(key, subKey, 0, KEY_QUERY_VALUE, &sub);
        if (r != ERROR_SUCCESS) return r;
    }
    DWORD length = size ? DWORD(*size) : 0;
    DWORD type = 0;
    LONG r = RegQueryValueExA(sub, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data),
                              size ? &length : nullptr);
    if (r == ERROR_FILE_NOT_FOUND) {
        // A key without a default value reads as empty text.
        r = ERROR_SUCCESS;
        length = 1;
        if (data && size && *size >= 1)
            data[0] = 0;
        else if (data)
            r = ERROR_MORE_DATA;
    }
    if (size) *size = LONG(length);
    if (sub != key) RegCloseKey(sub);
    return r;
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    HKEY h;
    LONG r = RegOpenKeyExA(key, subKey, 0, KEY_ALL_ACCESS, &h);
    if (r != ERROR_SUCCESS) return r;
    for (;;) {
        char name[256];
        DWORD size = sizeof name;
        r = RegEnumKeyExA(h, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_SUCCESS) r = RegDeleteTreeA(h, name);
        if (r != ERROR_SUCCESS) {
            RegCloseKey(h);
            return r;
        }
    }
    if (!subKey || !*subKey) {
        // Without a subkey the key stays and loses its values.
        for (;;) {
            char name[16384];
            DWORD size = sizeof name;
            r = RegEnumValueA(h, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r == ERROR_SUCCESS) r = RegDeleteValueA(h, name);
            if (r != ERROR_SUCCESS) break;
        }
        RegCloseKey(h);
        return r == ERROR_NO_MORE_ITEMS ? LONG(ERROR_SUCCESS) : r;
    }
    RegCloseKey(h);
    return RegDeleteKeyA(key, subKey);
}

LONG RegFlushKey(HKEY key) {
    DWORD values;
    LONG r = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr);
    return r == ERROR_ACCESS_DENIED ? LONG(ERROR_SUCCESS) : r;
}
