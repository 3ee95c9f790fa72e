// File names: splitting, full paths, the current directory and sibling libraries.
#include <cstring>

#include "foundation/errors/koerror.h"
#include "foundation/os/bos.h"
#include "foundation/os/bosinternal.h"
#include "platform/win32.h"

namespace {

// Longest path a path buffer holds.
constexpr size_t pathMax = 255;
// Longest name part bosParseName keeps.
constexpr size_t nameMax = 128;

// Removes "/../" with the component before it, repeatedly, and a final "/.." the same way; at the
// root ".." stays at the root.
void removeParentSteps(char* p) {
    for (;;) {
        char* up = strstr(p, "/../");
        size_t len = strlen(p);
        if (!up && len >= 3 && strcmp(p + len - 3, "/..") == 0) up = p + len - 3;
        if (!up) return;
        char* from = up + 3; // keeps the "/" after "..", or the terminator
        char* start = up;
        while (start > p && start[-1] != '/')
            --start;
        if (start > p) --start; // the "/" before the component
        if (*from == 0 && start == p) {
            // "/x/.." or "/..": the root is what remains.
            p[0] = '/';
            p[1] = 0;
            return;
        }
        memmove(start, from, strlen(from) + 1);
        if (p[0] == 0) {
            p[0] = '/';
            p[1] = 0;
        }
    }
}

} // namespace

KoStatus bosParseName(unsigned char* path, unsigned char* name, unsigned char* ext, unsigned int complain) {
    if (ext) ext[0] = 0;
    if (!path) {
        if (name) name[0] = 0;
        return koSuccess;
    }
    char* p = reinterpret_cast<char*>(path);
    char* slash = strrchr(p, '/');
    char* part = slash ? slash + 1 : p;
    char* dot = strchr(part, '.');
    size_t partLen = dot ? size_t(dot - part) : strlen(part);
    if (dot && ext) {
        size_t n = strnlen(dot + 1, 3);
        memcpy(ext, dot + 1, n);
        ext[n] = 0;
    }
    KoStatus status = koSuccess;
    if (partLen > nameMax) {
        if (complain) {
            koRaiseError(bosErrNameTooLong) << path;
            status = koFailure;
        }
        partLen = nameMax;
    }
    if (name) {
        memmove(name, part, partLen);
        name[partLen] = 0;
    }
    *part = 0;
    return status;
}

void bosfpath(unsigned char* path, int oem) {
    (void)oem; // OEM text is ANSI text here, and names keep their case
    if (!path) return;
    char* p = reinterpret_cast<char*>(path);
    if (p[0] != '/') {
        char cwd[pathMax + 1];
        DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
        if (n == 0 || n >= sizeof cwd) return; // no full path can be made within the bound
        char joined[2 * (pathMax + 1) + 1];
        size_t rel = strnlen(p, pathMax);
        memcpy(joined, cwd, n);
        if (n == 0 || cwd[n - 1] != '/') joined[n++] = '/';
        memcpy(joined + n, p, rel);
        joined[n + rel] = 0;
        size_t total = strlen(joined);
        if (total > pathMax) total = pathMax;
        memcpy(p, joined, total);
        p[total] = 0;
    }
    removeParentSteps(p);
}

void bosgtcwd(unsigned char* buf, uint16_t slash) {
    if (!buf) return;
    char* b = reinterpret_cast<char*>(buf);
    DWORD n = GetCurrentDirectoryA(pathMax + 1, b);
    if (n == 0 || n > pathMax) {
        b[0] = 0;
        return;
    }
    if (slash && b[n - 1] != '/') {
        // The separator must fit within the 255 characters too.
        if (n + 1 > pathMax) {
            b[0] = 0;
            return;
        }
        b[n] = '/';
        b[n + 1] = 0;
    }
}

void bosdllname(unsigned char* buf) {
    if (buf) strcat(reinterpret_cast<char*>(buf), "10");
}

HINSTANCE bosLoadLibrary(const unsigned char* base, uint16_t sibling) {
    if (!base || !*base) return nullptr;
    const char* b = reinterpret_cast<const char*>(base);
    if (!sibling) return LoadLibraryA(b);
    static const char tail[] = "10.DLL";
    char path[4096];
    DWORD n = GetModuleFileNameA(koModuleOfAddress(reinterpret_cast<const void*>(&bosLoadLibrary)), path,
                                 sizeof path);
    if (n == 0 || n >= sizeof path - 1) return nullptr;
    unsigned char name[nameMax + 1];
    unsigned char ext[4];
    bosParseName(reinterpret_cast<unsigned char*>(path), name, ext, 0);
    size_t dir = strlen(path);
    if (dir + strlen(b) + sizeof tail > sizeof path) return nullptr;
    strcpy(path + dir, b);
    bosdllname(reinterpret_cast<unsigned char*>(path));
    strcat(path, ".DLL");
    return LoadLibraryA(path);
}
