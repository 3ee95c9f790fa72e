// Profile files over the INI text and the safe file writes.
#include "platform/profile.h"
#include "platform/inifile.h"
#include "platform/profilecache.h"
#include "platform/safefile.h"
#include "platform/system.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

std::string profileFolder() {
    return koUserConfigFolder() + "/ztbtr20";
}

std::string profilePath(LPCSTR fileName) {
    std::string name = fileName && *fileName ? fileName : "win.ini";
    if (name.find('/') != std::string::npos) return name;
    return profileFolder() + "/" + name;
}

// Copies a double-NUL list of names; the result as the profile read gives it.
DWORD copyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    DWORD at = 0;
    for (const std::string& n : names) {
        if (at + n.size() + 1 > size - 1) {
            // Cut: what fits, then the two closing NULs in the buffer's last bytes.
            size_t room = size > at ? size - at : 0;
            std::memcpy(buffer + at, n.data(), std::min<size_t>(room, n.size()));
            buffer[size - 1] = 0;
            if (size >= 2) buffer[size - 2] = 0;
            return size >= 2 ? size - 2 : 0;
        }
        std::memcpy(buffer + at, n.c_str(), n.size() + 1);
        at += DWORD(n.size() + 1);
    }
    buffer[at] = 0;
    if (at == 0 && size >= 2) buffer[1] = 0;
    return at;
}

DWORD copyText(std::string_view text, LPSTR buffer, DWORD size) {
    DWORD n = DWORD(std::min<size_t>(text.size(), size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return n;
}

DWORD getString(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size, LPCSTR fileName) {
    std::shared_ptr<const KoProfileSnapshot> file = koProfileSnapshot(profilePath(fileName));
    DWORD failure = file->readable ? ERROR_SUCCESS : file->error;
    if (!section) {
        DWORD n = copyList(file->ini.sections(), buffer, size);
        SetLastError(failure);
        return n;
    }
    std::string_view s = koTrimBlanks(section);
    if (!key) {
        std::vector<std::string> keys;
        for (auto& e : file->ini.entries(s))
            keys.push_back(std::move(e.first));
        DWORD n = copyList(keys, buffer, size);
        SetLastError(failure);
        return n;
    }
    if (const std::string* value = file->find(s, koTrimBlanks(key))) {
        SetLastError(ERROR_SUCCESS);
        return copyText(*value, buffer, size);
    }
    std::string_view d = defaultValue ? defaultValue : "";
    while (!d.empty() && d.back() == ' ')
        d.remove_suffix(1);
    DWORD n = copyText(d, buffer, size);
    SetLastError(failure != ERROR_SUCCESS ? failure : ERROR_FILE_NOT_FOUND);
    return n;
}

BOOL writeString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    std::string path = profilePath(fileName);
    if (!fileName || !std::strchr(fileName, '/')) {
        DWORD e = koMakeFolders(koFolderOf(path));
        if (e != ERROR_SUCCESS) {
            SetLastError(e);
            return FALSE;
        }
    }
    KoFileWriteLock lock(path);
    if (lock.status() != ERROR_SUCCESS) {
        SetLastError(lock.status());
        return FALSE;
    }
    std::string text;
    bool exists = false;
    DWORD error = koReadWholeFile(path, &text, &exists);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    KoIniFile ini;
    if (!ini.parse(std::move(text))) {
        // What the user wrote stays as it is until they mend it.
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::string_view s = koTrimBlanks(section);
    bool changed;
    if (!key)
        changed = ini.removeSection(s);
    else if (!value)
        changed = ini.removeKey(s, koTrimBlanks(key));
    else {
        std::string before = ini.text();
        std::string_view v = value;
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
            v.remove_prefix(1);
        ini.set(s, koTrimBlanks(key), v);
        changed = !exists || ini.text() != before;
    }
    if (changed) {
        error = koReplaceFile(path, ini.text());
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
    if (!buffer || size == 0) return 0;
    try {
        return getString(section, key, defaultValue, buffer, size, fileName);
    } catch (const std::bad_alloc&) {
        buffer[0] = 0;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    if (!section && !key && !value) return FALSE; // the cache flush: nothing is cached here
    if (!section) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    try {
        return writeString(section, key, value, fileName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

void koProfileFileName(LPCSTR fileName, char* path, DWORD size) {
    if (!path || size == 0) return;
    try {
        std::string p = profilePath(fileName);
        copyText(p, path, size);
    } catch (const std::bad_alloc&) {
        path[0] = 0;
    }
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    try {
        std::string folder = profileFolder();
        if (!buffer || folder.size() + 1 > size) return UINT(folder.size() + 1);
        std::memcpy(buffer, folder.c_str(), folder.size() + 1);
        return UINT(folder.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
