#include "foundation/ui/resourcelib.h"
#include "platform/win32.h"

#include <cstring>

HINSTANCE resourceModule = nullptr;
uint32_t resourceRefCount = 0;

KoStatus getDllFileNameAndDirectory(HINSTANCE module, unsigned char* directory, unsigned char* fileName) {
    char path[256];
    DWORD n = GetModuleFileNameA(module, path, sizeof path);
    if (n == 0 || n >= sizeof path) return koFailure;
    const char* slash = std::strrchr(path, '/');
    if (!slash || slash == path) return koFailure;
    if (directory) {
        std::memcpy(directory, path, slash - path);
        directory[slash - path] = 0;
    }
    if (fileName) std::strcpy(reinterpret_cast<char*>(fileName), slash + 1);
    return koSuccess;
}

KoStatus bosLoadResourceDLL(HINSTANCE module, int flag, HINSTANCE* handle, uint32_t* refCount) {
    unsigned char directory[256];
    char fileName[256 + 8]; // room for the longer resource name
    if (getDllFileNameAndDirectory(module, directory, reinterpret_cast<unsigned char*>(fileName)))
        return koFailure;
    if (*refCount != 0) {
        ++*refCount;
        return koSuccess;
    }
    *handle = nullptr;
    // The last "." of the file name, never its first character.
    char* dot = nullptr;
    for (size_t i = std::strlen(fileName); i > 1; --i)
        if (fileName[i - 1] == '.') {
            dot = fileName + i - 1;
            break;
        }
    if (!dot) return koFailure;
    // "R.DLL" is mapped to the platform's library name by the loader.
    std::strcpy(flag ? dot - 1 : dot, "R.DLL");
    char fullName[sizeof directory + sizeof fileName + 1];
    std::strcpy(fullName, reinterpret_cast<char*>(directory));
    std::strcat(fullName, "/");
    std::strcat(fullName, fileName);
    HINSTANCE h = LoadLibraryA(fullName);
    if (!h) h = LoadLibraryA(fileName);
    if (!h) return koFailure;
    *handle = h;
    ++*refCount;
    return koSuccess;
}

KoStatus bosFreeResourceDLL(HINSTANCE* handle, uint32_t* refCount) {
    if (!*handle) return koSuccess;
    if (*refCount > 0 && --*refCount == 0) {
        FreeLibrary(*handle);
        *handle = nullptr;
    }
    return koSuccess;
}

uint16_t winGetString(unsigned char* out, uint16_t id) {
    char buffer[512];
    int n = resourceModule ? LoadStringA(resourceModule, id, buffer, sizeof buffer) : 0;
    if (n <= 0) {
        out[0] = 0;
        return 0;
    }
    std::memcpy(out, buffer, n + 1);
    return static_cast<uint16_t>(n);
}

KoStatus koResourceAcquire(HINSTANCE module) {
    return bosLoadResourceDLL(module, 1, &resourceModule, &resourceRefCount);
}

KoStatus koResourceAddRef() {
    // Only a library already loaded is counted: without one there is no module to name it by, and
    // deriving a name from the executable's would bring unrelated code into the process.
    if (resourceRefCount == 0 || !resourceModule) return koFailure;
    return bosLoadResourceDLL(nullptr, 0, &resourceModule, &resourceRefCount);
}

void koResourceRelease() {
    bosFreeResourceDLL(&resourceModule, &resourceRefCount);
}
