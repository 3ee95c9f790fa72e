#include "platform/module.h"
#include "platform/system.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// "version.dll" is served by the layer itself; its handle is the address of this marker.
char versionModuleMarker;
HMODULE const versionModule = &versionModuleMarker;

struct LoadedModule {
    void* handle;
    std::string baseName;
    unsigned refs;
};

std::mutex tableLock;
std::vector<LoadedModule>& table() {
    static std::vector<LoadedModule>* t = new std::vector<LoadedModule>; // outlives static destructors
    return *t;
}

bool endsWithCi(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

std::string baseNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Windows library names on Linux: ".DLL" becomes ".so"; no extension gets ".so".
std::string mapLibraryName(const char* name) {
    std::string s(name);
    if (endsWithCi(s, ".dll")) return s.substr(0, s.size() - 4) + ".so";
    if (baseNameOf(s).find('.') == std::string::npos) return s + ".so";
    return s;
}

bool isVersionLibrary(const std::string& mapped) {
    return strcasecmp(baseNameOf(mapped).c_str(), "version.so") == 0;
}

std::string pathOfHandle(void* handle) {
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name) {
        char exe[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0) return "";
        exe[n] = 0;
        return exe;
    }
    char real[PATH_MAX];
    if (realpath(map->l_name, real)) return real;
    return map->l_name;
}

} // namespace

namespace {

HMODULE loadLibrary(LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string mapped = mapLibraryName(name);
    if (isVersionLibrary(mapped)) return versionModule;
    // KO_LIBRARY_PATH, when set, is the whole search order for bare names (tests use it to stand
    // for a machine whose libraries they choose).
    std::string dirs;
    if (koGetEnvironment("KO_LIBRARY_PATH", &dirs) && mapped.find('/') == std::string::npos) {
        std::string found;
        for (size_t start = 0; start <= dirs.size() && found.empty();) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            std::string candidate = dirs.substr(start, end - start) + "/" + mapped;
            if (end > start && access(candidate.c_str(), F_OK) == 0) found = candidate;
            start = end + 1;
        }
        if (found.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        mapped = found;
    }
    void* h = dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(tableLock);
    for (auto& m : table())
        if (m.handle == h) {
            ++m.refs;
            return h;
        }
    try {
        table().push_back({h, baseNameOf(pathOfHandle(h)), 1});
    } catch (...) {
        dlclose(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return h;
}

} // namespace

HMODULE LoadLibraryA(LPCSTR name) {
    try {
        return loadLibrary(name);
    } catch (...) { // the name's copies could not be made
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL FreeLibrary(HMODULE module) {
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (module == versionModule) return TRUE;
    bool found = false;
    {
        std::lock_guard<std::mutex> g(tableLock);
        auto& t = table();
        for (size_t i = 0; i < t.size() && !found; ++i)
            if (t[i].handle == module) {
                found = true;
                if (--t[i].refs == 0) t.erase(t.begin() + i);
            }
    }
    // Only what LoadLibraryA counted is given back; a foreign value never reaches dlclose.
    if (!found || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    FARPROC f = nullptr;
    if (!module || !name) {
        SetLastError(module ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (module == versionModule) {
        if (!strcmp(name, "GetFileVersionInfoSizeA"))
            return reinterpret_cast<FARPROC>(&GetFileVersionInfoSizeA);
        if (!strcmp(name, "GetFileVersionInfoA")) return reinterpret_cast<FARPROC>(&GetFileVersionInfoA);
        if (!strcmp(name, "VerQueryValueA")) return reinterpret_cast<FARPROC>(&VerQueryValueA);
    } else {
        // dlsym on the handle searches that library (and its dependencies), never the global
        // namespace first.
        f = reinterpret_cast<FARPROC>(dlsym(module, name));
    }
    if (!f) SetLastError(ERROR_PROC_NOT_FOUND);
    return f;
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (!name) return dlopen(nullptr, RTLD_NOW); // the executable
    std::string mapped = mapLibraryName(name);
    if (isVersionLibrary(mapped)) return versionModule;
    std::string base = baseNameOf(mapped);
    {
        std::lock_guard<std::mutex> g(tableLock);
        for (auto& m : table())
            if (m.baseName == base) return m.handle;
    }
    void* h = dlopen(mapped.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return nullptr;
    dlclose(h); // RTLD_NOLOAD still counts a reference; GetModuleHandle takes none
    return h;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    std::string path;
    if (!module) {
        char exe[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0) return 0;
        exe[n] = 0;
        path = exe;
    } else if (module == versionModule) {
        path = "version.so";
    } else {
        path = pathOfHandle(module);
    }
    if (path.empty()) return 0;
    size_t n = path.size() < size ? path.size() : size - 1;
    memcpy(buffer, path.data(), n);
    buffer[n] = 0;
    return static_cast<DWORD>(n == path.size() ? n : size);
}

HMODULE koModuleOfAddress(const void* address) {
    Dl_info info;
    if (!dladdr(address, &info) || !info.dli_fname) return nullptr;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        char real[PATH_MAX];
        if (realpath(info.dli_fname, real) && strcmp(real, exe) == 0) return dlopen(nullptr, RTLD_NOW);
    }
    void* h = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    std::string dir;
    if (koGetEnvironment("KO_SYSTEM_DIR", &dir) && !dir.empty()) {
    } else {
        Dl_info info;
        char real[PATH_MAX];
        if (dladdr(reinterpret_cast<const void*>(&malloc), &info) && info.dli_fname &&
            realpath(info.dli_fname, real)) {
            dir = real;
            dir = dir.substr(0, dir.rfind('/'));
        } else {
            dir = "/usr/lib";
        }
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (!buffer || dir.size() + 1 > size) return static_cast<UINT>(dir.size() + 1);
    memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<UINT>(dir.size());
}
