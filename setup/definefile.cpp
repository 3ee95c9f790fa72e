// The Advanced page's "Define File" open dialog and its check of a data-file extension.
#include "foundation/foundation.h"
#include "platform/win32.h"
#include "setup/pages.h"

#include <cstring>

namespace {

const char btrieveName[] = "Btrieve Files";
const char btrievePattern[] = "*.dta;*.dat;*.btr";
const char allName[] = "All Files";
const char allPattern[] = "*.*";

// Appends text with its terminating NUL at *at.
void put(char*& at, const char* text) {
    size_t n = std::strlen(text) + 1;
    std::memcpy(at, text, n);
    at += n;
}

} // namespace

uint16_t defineFileDialog(HWND owner, const unsigned char* directory, unsigned char* path,
                          unsigned char* extension) {
    CharLowerA(reinterpret_cast<char*>(extension));
    const char* ext = reinterpret_cast<const char*>(extension);
    bool standard = !std::strcmp(ext, "dta") || !std::strcmp(ext, "dat") || !std::strcmp(ext, "btr");
    // Name and pattern pairs, each NUL-terminated, the list ended by a second NUL; another extension
    // is offered first, with the standard ones beside it.
    size_t size = sizeof btrieveName + std::strlen(ext) + 3 + sizeof btrievePattern + sizeof allName +
                  sizeof allPattern + 1;
    char* filter = static_cast<char*>(ramAlloc(static_cast<uint32_t>(size)));
    if (!filter) return 0;
    char* at = filter;
    put(at, btrieveName);
    if (standard) {
        put(at, btrievePattern);
    } else {
        std::memcpy(at, "*.", 2);
        std::memcpy(at + 2, ext, std::strlen(ext));
        at += 2 + std::strlen(ext);
        *at++ = ';';
        put(at, btrievePattern);
    }
    put(at, allName);
    put(at, allPattern);
    *at = 0;

    char file[256] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = directory && directory[0] ? reinterpret_cast<const char*>(directory) : nullptr;
    ofn.lpstrTitle = "Define File";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    BOOL chosen = GetOpenFileNameA(&ofn);
    ramFree(filter);
    if (!chosen) return 0;
    std::memcpy(path, file, std::strlen(file) + 1);
    return 1;
}

int isValidFileExtension(const unsigned char* text) {
    size_t n = std::strlen(reinterpret_cast<const char*>(text));
    if (n == 0 || n >= 4) return 0;
    // Path characters and the separators of the filter and connection string.
    return strDoesNotContain(text, static_cast<uint32_t>(n),
                             reinterpret_cast<const unsigned char*>("\\:.,/()|"), 0, koCPAnsi)
               ? 1
               : 0;
}
