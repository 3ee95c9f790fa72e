// The section-wide and numeric forms of the profile calls, over the string calls and the INI text.
#include "platform/inifile.h"
#include "platform/profile.h"
#include "platform/profilecache.h"
#include "platform/safefile.h"
#include "platform/system.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

std::string pathOf(LPCSTR fileName) {
    char path[4096];
    koProfileFileName(fileName, path, sizeof path);
    return path;
}

} // namespace

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
    if (!buffer || size == 0 || !section) return 0;
    try {
        std::shared_ptr<const KoProfileSnapshot> file = koProfileSnapshot(pathOf(fileName));
        std::string list;
        for (auto& e : file->ini.entries(koTrimBlanks(section)))
            list += e.first + "=" + e.second + '\0';
        if (list.size() + 1 <= size) {
            std::memcpy(buffer, list.data(), list.size());
            buffer[list.size()] = 0;
            if (list.empty() && size >= 2) buffer[1] = 0;
            return DWORD(list.size());
        }
        std::memcpy(buffer, list.data(), size);
        buffer[size - 1] = 0;
        if (size < 2) return 0;
        buffer[size - 2] = 0;
        return size - 2;
    } catch (const std::bad_alloc&) {
        buffer[0] = 0;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL WritePrivateProfileSectionA(LPCSTR section, LPCSTR entries, LPCSTR fileName) {
    if (!section) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (!entries) return WritePrivateProfileStringA(section, nullptr, nullptr, fileName);
    try {
        std::string path = pathOf(fileName);
        KoFileWriteLock lock(path);
        if (lock.status() != ERROR_SUCCESS) {
            SetLastError(lock.status());
            return FALSE;
        }
        std::string text;
        bool exists = false;
        DWORD error = koReadWholeFile(path, &text, &exists);
        KoIniFile ini;
        if (error == ERROR_SUCCESS && !ini.parse(std::move(text))) error = ERROR_INVALID_DATA;
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        std::string_view s = koTrimBlanks(section);
        ini.removeSection(s);
        ini.addSection(s);
        for (const char* p = entries; *p; p += std::strlen(p) + 1) {
            std::string_view line(p);
            size_t eq = line.find('=');
            std::string_view value = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
            ini.set(s, koTrimBlanks(line.substr(0, eq)), koTrimBlanks(value));
        }
        error = koReplaceFile(path, ini.text());
        SetLastError(error);
        return error == ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) {
    return GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, size, fileName);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int defaultValue, LPCSTR fileName) {
    char value[64];
    if (GetPrivateProfileStringA(section, key, "\x01", value, sizeof value, fileName) == 1 && value[0] == 1)
        return UINT(defaultValue);
    return UINT(std::strtol(value, nullptr, 10));
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, "win.ini");
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) {
    return WritePrivateProfileStringA(section, key, value, "win.ini");
}
