// The registry calls over the store: handles, paths, access rights and Windows' results.
#include "platform/registry.h"
#include "platform/handle.h"
#include "platform/regstore.h"
#include "platform/system.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

class KoRegHandle : public KoHandleObject {
public:
    KoRegHandle() : KoHandleObject(KoHandleKind::registryKey) {}
    KoRegRoot root = KoRegRoot::user;
    std::vector<std::string> path;
    REGSAM access = 0;
};

const DWORD kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u, kGenericAll = 0x10000000u;

REGSAM grantedAccess(REGSAM asked) {
    REGSAM granted = asked & 0x00FF003Fu;
    if (asked & (MAXIMUM_ALLOWED | kGenericAll)) granted |= KEY_ALL_ACCESS;
    if (asked & kGenericRead) granted |= KEY_READ;
    if (asked & kGenericWrite) granted |= KEY_WRITE;
    return granted;
}

// Where a handle points; ERROR_INVALID_HANDLE for anything that is not a live key handle.
DWORD resolve(HKEY key, KoRegRoot* root, std::vector<std::string>* path, REGSAM* access) {
    uintptr_t v = reinterpret_cast<uintptr_t>(key);
    if (v >= 0x80000000u && v <= 0x80000002u) {
        *root = KoRegRoot(v - 0x80000000u);
        path->clear();
        *access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    if (!key) return ERROR_INVALID_HANDLE;
    auto h = koHandleLookup<KoRegHandle>(reinterpret_cast<HANDLE>(key), KoHandleKind::registryKey);
    if (!h) return ERROR_INVALID_HANDLE;
    *root = h->root;
    *path = h->path;
    *access = h->access;
    return ERROR_SUCCESS;
}

// The key's root and path, once the handle was opened with the access right an operation needs.
DWORD resolveFor(HKEY key, REGSAM need, KoRegRoot* root, std::vector<std::string>* path) {
    REGSAM access;
    DWORD e = resolve(key, root, path, &access);
    if (e != ERROR_SUCCESS) return e;
    return (access & need) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Appends the parts of a subkey name; ERROR_BAD_PATHNAME for a leading backslash.
DWORD appendPath(std::vector<std::string>* path, LPCSTR subKey) {
    if (!subKey) return ERROR_SUCCESS;
    if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    std::string_view s(subKey);
    while (!s.empty()) {
        size_t sep = s.find('\\');
        std::string_view part = s.substr(0, sep);
        if (!part.empty()) path->emplace_back(part);
        if (sep == std::string_view::npos) break;
        s.remove_prefix(sep + 1);
    }
    return ERROR_SUCCESS;
}

DWORD newHandle(KoRegRoot root, std::vector<std::string> path, REGSAM access, PHKEY result) {
    auto* h = new KoRegHandle;
    h->root = root;
    h->path = std::move(path);
    h->access = grantedAccess(access);
    HANDLE value = koHandleCreate(h);
    if (!value) return ERROR_NOT_ENOUGH_MEMORY;
    *result = reinterpret_cast<HKEY>(value);
    return ERROR_SUCCESS;
}

// Clears the "offered, not stored" mark along a path about to be written.
void markStored(KoRegSession& s, const std::vector<std::string>& path) {
    KoRegKey* k = s.top();
    k->builtIn = false;
    for (const std::string& part : path) {
        k = k->child(part);
        if (!k) return;
        k->builtIn = false;
    }
}

// Copies data for the query and enumeration calls: ERROR_MORE_DATA when it does not fit.
DWORD giveData(const KoRegValue& v, LPDWORD type, BYTE* data, LPDWORD size) {
    if (type) *type = v.type;
    if (!size) return ERROR_SUCCESS;
    DWORD need = DWORD(v.data.size());
    if (data && *size < need) {
        *size = need;
        return ERROR_MORE_DATA;
    }
    if (data) {
        std::memcpy(data, v.data.data(), need);
        bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
        if (text && *size > need && (need == 0 || v.data.back() != 0)) data[need] = 0;
    }
    *size = need;
    return ERROR_SUCCESS;
}

// The text an INI entry gets for a value written under an ODBC key.
bool iniText(DWORD type, const std::string& data, std::string* text) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        text->assign(data.c_str(), strnlen(data.data(), data.size()));
        return true;
    }
    if (type == REG_DWORD && data.size() == 4) {
        uint32_t n;
        std::memcpy(&n, data.data(), 4);
        *text = std::to_string(n);
        return true;
    }
    return false;
}

template <class F> LONG guarded(F f) {
    try {
        return LONG(f());
    } catch (const std::bad_alloc&) {
        return LONG(ERROR_NOT_ENOUGH_MEMORY);
    }
}

DWORD openKey(HKEY key, LPCSTR subKey, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    REGSAM parentAccess;
    DWORD e = resolve(key, &root, &path, &parentAccess);
    if (e == ERROR_SUCCESS) e = appendPath(&path, subKey);
    if (e != ERROR_SUCCESS) return e;
    KoRegSession s(root, path, false);
    if (s.status() != ERROR_SUCCESS) return s.status();
    if (!s.find(path)) return ERROR_FILE_NOT_FOUND;
    return newHandle(root, std::move(path), access, result);
}

DWORD createKey(HKEY key, LPCSTR subKey, LPSTR keyClass, REGSAM access, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    REGSAM parentAccess;
    DWORD e = resolve(key, &root, &path, &parentAccess);
    size_t parentDepth = path.size();
    if (e == ERROR_SUCCESS) e = appendPath(&path, subKey);
    if (e != ERROR_SUCCESS) return e;
    for (size_t i = parentDepth; i < path.size(); ++i)
        if (path[i].size() > 255) return ERROR_INVALID_PARAMETER;
    {
        // Opening what is there needs no write.
        KoRegSession s(root, path, false);
        if (s.status() != ERROR_SUCCESS) return s.status();
        if (!s.find({path.begin(), path.begin() + long(parentDepth)})) return ERROR_KEY_DELETED;
        if (s.find(path)) {
            if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
            return newHandle(root, std::move(path), access, result);
        }
    }
    if (!(parentAccess & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    KoRegSession s(root, path, true);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find({path.begin(), path.begin() + long(parentDepth)});
    if (!k) return ERROR_KEY_DELETED;
    bool made = false;
    size_t depth = s.iniDepth(path);
    for (size_t i = parentDepth; i < path.size(); ++i) {
        KoRegKey* next = k->child(path[i]);
        if (!next) {
            // Under an ODBC key only sections can be made: the INI file has no deeper level.
            if (depth && i != depth) return ERROR_ACCESS_DENIED;
            next = k->addChild(path[i]);
            if (!depth && keyClass && i + 1 == path.size()) next->keyClass = keyClass;
            made = true;
        }
        k = next;
    }
    if (made) {
        if (depth)
            s.ini()->addSection(path[depth]);
        else
            markStored(s, path);
        e = s.save(depth != 0);
        if (e != ERROR_SUCCESS) return e;
    }
    if (disposition) *disposition = made ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return newHandle(root, std::move(path), access, result);
}

DWORD queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD size) {
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    DWORD e = resolveFor(key, KEY_QUERY_VALUE, &root, &path);
    if (e != ERROR_SUCCESS) return e;
    KoRegSession s(root, path, false);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find(path);
    if (!k) return ERROR_KEY_DELETED;
    KoRegValue* v = k->value(name ? name : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    return giveData(*v, type, data, size);
}

DWORD setValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size) {
    if (!data && size) return ERROR_NOACCESS;
    KoRegRoot root;
    std::vector<std::string> path;
    DWORD e = resolveFor(key, KEY_SET_VALUE, &root, &path);
    if (e != ERROR_SUCCESS) return e;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if ((type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && size && bytes.back() != 0)
        bytes.push_back(0);
    std::string valueName = name ? name : "";
    KoRegSession s(root, path, true);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find(path);
    if (!k) return ERROR_KEY_DELETED;
    if (size_t depth = s.iniDepth(path)) {
        std::string text;
        if (path.size() != depth + 1) return ERROR_ACCESS_DENIED;
        if (valueName.empty() || !iniText(type, bytes, &text)) return ERROR_INVALID_PARAMETER;
        s.ini()->set(path[depth], valueName, text);
        return s.save(true);
    }
    markStored(s, path);
    if (KoRegValue* v = k->value(valueName)) {
        v->type = type;
        v->data = std::move(bytes);
    } else
        k->values.push_back({valueName, type, std::move(bytes)});
    return s.save(false);
}

DWORD enumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                BYTE* data, LPDWORD size) {
    if (!name || !nameSize || reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    DWORD e = resolveFor(key, KEY_QUERY_VALUE, &root, &path);
    if (e != ERROR_SUCCESS) return e;
    KoRegSession s(root, path, false);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find(path);
    if (!k) return ERROR_KEY_DELETED;
    if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    const KoRegValue& v = k->values[index];
    if (v.name.size() >= *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    *nameSize = DWORD(v.name.size());
    return giveData(v, type, data, size);
}

DWORD enumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
              LPDWORD classSize, FILETIME* lastWrite) {
    if (!name || !nameSize || reserved) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    DWORD e = resolveFor(key, KEY_ENUMERATE_SUB_KEYS, &root, &path);
    if (e != ERROR_SUCCESS) return e;
    KoRegSession s(root, path, false);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find(path);
    if (!k) return ERROR_KEY_DELETED;
    if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const KoRegKey& sub = *k->subkeys[index];
    if (sub.name.size() >= *nameSize) return ERROR_MORE_DATA;
    if (keyClass && classSize && sub.keyClass.size() >= *classSize) return ERROR_MORE_DATA;
    std::memcpy(name, sub.name.c_str(), sub.name.size() + 1);
    *nameSize = DWORD(sub.name.size());
    if (keyClass && classSize) std::memcpy(keyClass, sub.keyClass.c_str(), sub.keyClass.size() + 1);
    if (classSize) *classSize = DWORD(sub.keyClass.size());
    if (lastWrite) *lastWrite = FILETIME{};
    return ERROR_SUCCESS;
}

DWORD queryInfo(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength,
                LPDWORD maxValueLength, LPDWORD securityDescriptor, FILETIME* lastWrite) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    DWORD e = resolveFor(key, KEY_QUERY_VALUE, &root, &path);
    if (e != ERROR_SUCCESS) return e;
    KoRegSession s(root, path, false);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find(path);
    if (!k) return ERROR_KEY_DELETED;
    DWORD result = ERROR_SUCCESS;
    if (keyClass && classSize) {
        if (k->keyClass.size() >= *classSize)
            result = ERROR_MORE_DATA;
        else
            std::memcpy(keyClass, k->keyClass.c_str(), k->keyClass.size() + 1);
    }
    if (classSize) *classSize = DWORD(k->keyClass.size());
    DWORD maxSub = 0, maxClass = 0, maxName = 0, maxData = 0;
    for (const auto& sub : k->subkeys) {
        maxSub = std::max(maxSub, DWORD(sub->name.size()));
        maxClass = std::max(maxClass, DWORD(sub->keyClass.size()));
    }
    for (const KoRegValue& v : k->values) {
        maxName = std::max(maxName, DWORD(v.name.size()));
        maxData = std::max(maxData, DWORD(v.data.size()));
    }
    if (subKeys) *subKeys = DWORD(k->subkeys.size());
    if (maxSubKeyLength) *maxSubKeyLength = maxSub;
    if (maxClassLength) *maxClassLength = maxClass;
    if (values) *values = DWORD(k->values.size());
    if (maxValueNameLength) *maxValueNameLength = maxName;
    if (maxValueLength) *maxValueLength = maxData;
    if (securityDescriptor) *securityDescriptor = 0;
    if (lastWrite) *lastWrite = FILETIME{};
    return result;
}

DWORD deleteValue(HKEY key, LPCSTR name) {
    KoRegRoot root;
    std::vector<std::string> path;
    DWORD e = resolveFor(key, KEY_SET_VALUE, &root, &path);
    if (e != ERROR_SUCCESS) return e;
    std::string valueName = name ? name : "";
    KoRegSession s(root, path, true);
    if (s.status() != ERROR_SUCCESS) return s.status();
    KoRegKey* k = s.find(path);
    if (!k) return ERROR_KEY_DELETED;
    if (size_t depth = s.iniDepth(path)) {
        if (path.size() != depth + 1 || !s.ini()->removeKey(path[depth], valueName))
            return ERROR_FILE_NOT_FOUND;
        return s.save(true);
    }
    for (auto it = k->values.begin(); it != k->values.end(); ++it) {
        if (!koNameEquals(it->name, valueName)) continue;
        k->values.erase(it);
        markStored(s, path);
        return s.save(false);
    }
    return ERROR_FILE_NOT_FOUND;
}

DWORD deleteKey(HKEY key, LPCSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    KoRegRoot root;
    std::vector<std::string> path;
    REGSAM access;
    DWORD e = resolve(key, &root, &path, &access);
    if (e == ERROR_SUCCESS) e = appendPath(&path, subKey);
    if (e != ERROR_SUCCESS) return e;
    if (path.empty()) return ERROR_ACCESS_DENIED; // a root stays
    KoRegSession s(root, path, true);
    if (s.status() != ERROR_SUCCESS) return s.status();
    std::vector<std::string> parentPath(path.begin(), path.end() - 1);
    KoRegKey* parent = s.find(parentPath);
    KoRegKey* k = parent ? parent->child(path.back()) : nullptr;
    if (!k) return ERROR_FILE_NOT_FOUND;
    if (!k->subkeys.empty()) return ERROR_ACCESS_DENIED;
    size_t depth = s.iniDepth(path);
    if (depth) {
        if (path.size() != depth + 1) return ERROR_ACCESS_DENIED;
        s.ini()->removeSection(path[depth]);
        return s.save(true);
    }
    if (k->builtIn) return ERROR_ACCESS_DENIED; // offered by the layer (an ODBC key, the browser class)
    for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it)
        if (it->get() == k) {
            parent->subkeys.erase(it);
            break;
        }
    markStored(s, parentPath);
    return s.save(false);
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    return guarded([&] { return openKey(key, subKey, access, result); });
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR keyClass, DWORD, REGSAM access, void*,
                     PHKEY result, LPDWORD disposition) {
    return guarded([&] { return createKey(key, subKey, keyClass, access, result, disposition); });
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD size) {
    return guarded([&] { return queryValue(key, name, reserved, type, data, size); });
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return guarded([&] { return setValue(key, name, type, data, size); });
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                   BYTE* data, LPDWORD size) {
    return guarded([&] { return enumValue(key, index, name, nameSize, reserved, type, data, size); });
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classSize, FILETIME* lastWrite) {
    return guarded(
        [&] { return enumKey(key, index, name, nameSize, reserved, keyClass, classSize, lastWrite); });
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                      LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptor,
                      FILETIME* lastWrite) {
    return guarded([&] {
        return queryInfo(key, keyClass, classSize, reserved, subKeys, maxSubKeyLength, maxClassLength, values,
                         maxValueNameLength, maxValueLength, securityDescriptor, lastWrite);
    });
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
    return guarded([&] { return deleteValue(key, name); });
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return guarded([&] { return deleteKey(key, subKey); });
}

LONG RegCloseKey(HKEY key) {
    uintptr_t v = reinterpret_cast<uintptr_t>(key);
    if (v >= 0x80000000u && v <= 0x80000002u) return ERROR_SUCCESS;
    if (!key) return LONG(ERROR_INVALID_HANDLE);
    return koHandleClose(reinterpret_cast<HANDLE>(key), KoHandleKind::registryKey)
               ? LONG(ERROR_SUCCESS)
               : LONG(ERROR_INVALID_HANDLE);
}
